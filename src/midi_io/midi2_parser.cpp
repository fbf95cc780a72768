#include "midi_io/midi2_parser.hpp"

#include <optional>

#include "midi_core/parse_error.hpp"
#include "midi_core/ump.hpp"

namespace midiio {

using midicore::ChanVoice14Bit32BitValue;
using midicore::ChanVoice32BitValue;
using midicore::ChanVoice7Bit16BitValue;
using midicore::ChanVoice7Bit32BitValue;
using midicore::MIDI2ParameterNumberChange;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using midicore::UInt7Pair;

namespace {

std::optional<UInt7> data7(uint8_t byte) {
    return UInt7::exactly(byte);
}

uint32_t wordAt(std::span<const uint8_t> m, size_t index) {
    return midicore::uInt32FromBytes(m[index], m[index + 1], m[index + 2], m[index + 3]);
}

std::optional<MIDIEvent> systemMessage(std::span<const uint8_t> m, UInt4 group) {
    const auto d1 = data7(m[2]);
    const auto d2 = data7(m[3]);
    switch (m[1]) {
        case 0xF1:
            if (d1) return MIDIEvent::timecodeQuarterFrame(*d1, group);
            return std::nullopt;
        case 0xF2:
            if (d1 && d2) return MIDIEvent::songPositionPointer(UInt7Pair{*d2, *d1}.uInt14Value(), group);
            return std::nullopt;
        case 0xF3:
            if (d1) return MIDIEvent::songSelect(*d1, group);
            return std::nullopt;
        case 0xF6: return MIDIEvent::tuneRequest(group);
        case 0xF8: return MIDIEvent::timingClock(group);
        case 0xFA: return MIDIEvent::start(group);
        case 0xFB: return MIDIEvent::continue_(group);
        case 0xFC: return MIDIEvent::stop(group);
        case 0xFE: return MIDIEvent::activeSensing(group);
        case 0xFF: return MIDIEvent::systemReset(group);
        default: return std::nullopt;
    }
}

std::optional<MIDIEvent> midi1ChannelVoice(std::span<const uint8_t> m, UInt4 group) {
    const UInt4 channel = UInt4::truncating(m[1]);
    const auto d1 = data7(m[2]);
    const auto d2 = data7(m[3]);
    switch (m[1] >> 4) {
        case 0x8:
            if (d1 && d2) {
                return MIDIEvent::noteOff(*d1, ChanVoice7Bit16BitValue::midi1(*d2),
                                          MIDIEvent::NoteAttribute::none(), channel, group);
            }
            return std::nullopt;
        case 0x9:
            if (d1 && d2) {
                return MIDIEvent::noteOn(*d1, ChanVoice7Bit16BitValue::midi1(*d2),
                                         MIDIEvent::NoteAttribute::none(), channel, group, false);
            }
            return std::nullopt;
        case 0xA:
            if (d1 && d2) return MIDIEvent::notePressure(*d1, ChanVoice7Bit32BitValue::midi1(*d2), channel, group);
            return std::nullopt;
        case 0xB:
            if (d1 && d2) return MIDIEvent::cc(*d1, ChanVoice7Bit32BitValue::midi1(*d2), channel, group);
            return std::nullopt;
        case 0xC:
            if (d1) {
                return MIDIEvent::programChange(*d1, MIDIEvent::ProgramChange::Bank::noBankSelect(),
                                                channel, group);
            }
            return std::nullopt;
        case 0xD:
            if (d1) return MIDIEvent::pressure(ChanVoice7Bit32BitValue::midi1(*d1), channel, group);
            return std::nullopt;
        case 0xE:
            if (d1 && d2) {
                return MIDIEvent::pitchBend(ChanVoice14Bit32BitValue::midi1(UInt7Pair{*d2, *d1}.uInt14Value()),
                                            channel, group);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<MIDIEvent> midi2ChannelVoice(std::span<const uint8_t> m, UInt4 group) {
    const UInt4 channel = UInt4::truncating(m[1]);
    const uint8_t opcode = m[1] >> 4;
    const auto note = data7(m[2]);
    const uint32_t word2 = wordAt(m, 4);
    switch (opcode) {
        case 0x0:
            if (!note) return std::nullopt;
            return MIDIEvent::noteCC(
                *note,
                MIDIEvent::NoteCC::PerNoteController::registered(
                    MIDIEvent::NoteCC::PerNoteController::Registered::fromIndex(m[3])),
                ChanVoice32BitValue::midi2(word2), channel, group);
        case 0x1:
            if (!note) return std::nullopt;
            return MIDIEvent::noteCC(*note, MIDIEvent::NoteCC::PerNoteController::assignable(m[3]),
                                     ChanVoice32BitValue::midi2(word2), channel, group);
        case 0x2:
        case 0x3:
        case 0x4:
        case 0x5: {
            const auto bank = data7(m[2]);
            const auto index = data7(m[3]);
            if (!bank || !index) return std::nullopt;
            const bool registered = opcode == 0x2 || opcode == 0x4;
            const auto change = opcode <= 0x3 ? MIDI2ParameterNumberChange::absolute
                                              : MIDI2ParameterNumberChange::relative;
            // The top 14 bits of the data word, as data entry MSB and LSB.
            const UInt7Pair data = UInt14::truncating(word2 >> 18).uInt7Pair();
            const UInt7Pair parameter{*bank, *index};
            return registered
                       ? MIDIEvent::rpn(parameter, data.msb, data.lsb, change, channel, group)
                       : MIDIEvent::nrpn(parameter, data.msb, data.lsb, change, channel, group);
        }
        case 0x6:
            if (!note) return std::nullopt;
            return MIDIEvent::notePitchBend(*note, ChanVoice32BitValue::midi2(word2), channel, group);
        case 0x8:
        case 0x9: {
            if (!note) return std::nullopt;
            const auto velocity = ChanVoice7Bit16BitValue::midi2(static_cast<uint16_t>(m[4] << 8 | m[5]));
            const auto attribute = MIDIEvent::NoteAttribute::fromTypeAndData(
                m[3], static_cast<uint16_t>(m[6] << 8 | m[7]));
            if (opcode == 0x8) return MIDIEvent::noteOff(*note, velocity, attribute, channel, group);
            return MIDIEvent::noteOn(*note, velocity, attribute, channel, group, false);
        }
        case 0xA:
            if (!note) return std::nullopt;
            return MIDIEvent::notePressure(*note, ChanVoice7Bit32BitValue::midi2(word2), channel, group);
        case 0xB:
            if (!note) return std::nullopt;  // the controller number
            return MIDIEvent::cc(*note, ChanVoice7Bit32BitValue::midi2(word2), channel, group);
        case 0xC: {
            const auto program = data7(m[4]);
            const auto bankMSB = data7(m[6]);
            const auto bankLSB = data7(m[7]);
            if (!program || !bankMSB || !bankLSB) return std::nullopt;
            const auto bank = (m[3] & 0x01) != 0
                                  ? MIDIEvent::ProgramChange::Bank::bankSelect(*bankMSB, *bankLSB)
                                  : MIDIEvent::ProgramChange::Bank::noBankSelect();
            return MIDIEvent::programChange(*program, bank, channel, group);
        }
        case 0xD:
            return MIDIEvent::pressure(ChanVoice7Bit32BitValue::midi2(word2), channel, group);
        case 0xE:
            return MIDIEvent::pitchBend(ChanVoice14Bit32BitValue::midi2(word2), channel, group);
        case 0xF:
            if (!note) return std::nullopt;
            return MIDIEvent::noteManagement(
                *note, MIDIEvent::NoteManagement::OptionFlags::fromUMPOptionBits(m[3]), channel, group);
        default:
            return std::nullopt;
    }
}

template <class Make>
void appendParsed(Make&& make, std::vector<MIDIEvent>& events) {
    try {
        events.push_back(make());
    } catch (const midicore::MIDIEventParseError&) {
        // A System Exclusive message the decoders refuse yields no event.
    }
}

// F0, the data, F7: one MIDI 1.0 System Exclusive message for the 7-bit decoder.
std::vector<uint8_t> framedSysEx7(std::span<const uint8_t> data) {
    std::vector<uint8_t> message;
    message.reserve(data.size() + 2);
    message.push_back(0xF0);
    message.insert(message.end(), data.begin(), data.end());
    message.push_back(0xF7);
    return message;
}

}  // namespace

std::vector<MIDIEvent> MIDI2Parser::parsedEvents(std::span<const uint8_t> bytes) {
    std::vector<MIDIEvent> events;
    parse(bytes, events);
    return events;
}

bool MIDI2Parser::append(Buffer& buffer, std::span<const uint8_t> data) {
    if (data.size() > maxSysExSize_ || openBytes_ > maxSysExSize_ - data.size()) {
        drop(buffer);
        return false;
    }
    buffer.bytes.insert(buffer.bytes.end(), data.begin(), data.end());
    openBytes_ += data.size();
    return true;
}

void MIDI2Parser::drop(Buffer& buffer) {
    openBytes_ -= buffer.bytes.size();
    buffer.open = false;
    std::vector<uint8_t>().swap(buffer.bytes);
}

void MIDI2Parser::parse(std::span<const uint8_t> bytes, std::vector<MIDIEvent>& events) {
    if (bytes.empty() || bytes.size() % 4 != 0) return;
    // Utility messages may lead further messages in the same bytes: each is taken in turn.
    while ((bytes[0] >> 4) == static_cast<uint8_t>(midicore::MIDIUMPMessageType::utility)) {
        const UInt4 group = UInt4::truncating(bytes[0]);
        const auto time = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
        switch (bytes[1] >> 4) {
            case 0: events.push_back(MIDIEvent::noOp(group)); break;
            case 1: events.push_back(MIDIEvent::jrClock(time, group)); break;
            case 2: events.push_back(MIDIEvent::jrTimestamp(time, group)); break;
            default: return;
        }
        bytes = bytes.subspan(4);
        if (bytes.empty()) return;
    }

    const uint8_t type = bytes[0] >> 4;
    const UInt4 group = UInt4::truncating(bytes[0]);
    std::optional<MIDIEvent> event;
    switch (type) {
        case 1:
            if (bytes.size() == 4) event = systemMessage(bytes, group);
            break;
        case 2:
            if (bytes.size() == 4) event = midi1ChannelVoice(bytes, group);
            break;
        case 3:
            if (bytes.size() == 8) parseSysEx7(bytes, group, events);
            break;
        case 4:
            if (bytes.size() == 8) event = midi2ChannelVoice(bytes, group);
            break;
        case 5:
            if (bytes.size() == 16) parseSysEx8(bytes, group, events);
            break;
        default:
            break;
    }
    if (event) events.push_back(std::move(*event));
}

void MIDI2Parser::parseSysEx7(std::span<const uint8_t> m, UInt4 group, std::vector<MIDIEvent>& events) {
    const uint8_t status = m[1] >> 4;
    const size_t n = m[1] & 0x0F;
    if (n > 6 || status > 3) return;
    const auto data = m.subspan(2, n);
    Buffer& buffer = sysEx7_[group.value()];
    switch (static_cast<midicore::MIDIUMPSysExStatusField>(status)) {
        case midicore::MIDIUMPSysExStatusField::complete:
            appendParsed([&] { return MIDIEvent::sysEx7FromRawBytes(framedSysEx7(data), group); },
                         events);
            return;
        case midicore::MIDIUMPSysExStatusField::start:
            drop(buffer);
            buffer.open = true;
            append(buffer, data);
            return;
        case midicore::MIDIUMPSysExStatusField::continue_:
            if (buffer.open) append(buffer, data);
            return;
        case midicore::MIDIUMPSysExStatusField::end: {
            if (!buffer.open || !append(buffer, data)) return;
            const auto message = framedSysEx7(buffer.bytes);
            drop(buffer);
            appendParsed([&] { return MIDIEvent::sysEx7FromRawBytes(message, group); }, events);
            return;
        }
    }
}

void MIDI2Parser::parseSysEx8(std::span<const uint8_t> m, UInt4 group, std::vector<MIDIEvent>& events) {
    const uint8_t status = m[1] >> 4;
    const size_t n = m[1] & 0x0F;
    // Statuses 8 and 9 are the mixed data set, which yields no events.
    if (status > 3 || n < 1 || n > 14) return;
    const auto message = m.subspan(2, n);  // the stream ID, then up to 13 data bytes
    const uint8_t streamID = message[0];
    const auto key = std::make_pair(group.value(), streamID);
    switch (static_cast<midicore::MIDIUMPSysExStatusField>(status)) {
        case midicore::MIDIUMPSysExStatusField::complete:
            appendParsed([&] { return MIDIEvent::sysEx8FromRawBytes(message, group); }, events);
            return;
        case midicore::MIDIUMPSysExStatusField::start: {
            Buffer& buffer = sysEx8_[key];
            drop(buffer);
            buffer.open = true;
            if (!append(buffer, message)) sysEx8_.erase(key);
            return;
        }
        case midicore::MIDIUMPSysExStatusField::continue_: {
            const auto found = sysEx8_.find(key);
            if (found == sysEx8_.end()) return;
            if (!append(found->second, message.subspan(1))) sysEx8_.erase(found);
            return;
        }
        case midicore::MIDIUMPSysExStatusField::end: {
            const auto found = sysEx8_.find(key);
            if (found == sysEx8_.end()) return;
            if (!append(found->second, message.subspan(1))) {
                sysEx8_.erase(found);
                return;
            }
            std::vector<uint8_t> whole;
            whole.swap(found->second.bytes);
            openBytes_ -= whole.size();
            sysEx8_.erase(found);
            appendParsed([&] { return MIDIEvent::sysEx8FromRawBytes(whole, group); }, events);
            return;
        }
    }
}

}  // namespace midiio
