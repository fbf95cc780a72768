#include "midi_io/midi1_parser.hpp"

#include <algorithm>

#include "midi_core/parse_error.hpp"

namespace midiio {

using midicore::ChanVoice14Bit32BitValue;
using midicore::ChanVoice7Bit16BitValue;
using midicore::ChanVoice7Bit32BitValue;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;

namespace {

// Data bytes of a channel message by its status nibble.
constexpr uint8_t channelDataBytes(uint8_t statusNibble) {
    return statusNibble == 0xC || statusNibble == 0xD ? 1 : 2;
}

// A channel or system common message of at most three bytes, being collected.
struct Message {
    uint8_t bytes[3]{};
    uint8_t length = 0;
};

UInt7 data7(uint8_t byte) {
    return UInt7::truncating(byte);
}

UInt14 data14(uint8_t lsb, uint8_t msb) {
    return UInt14::truncating(static_cast<uint16_t>((msb & 0x7F) << 7 | (lsb & 0x7F)));
}

// One collected message (status byte first, data bytes below 0x80) to its event, if it is whole.
void decodeMessage(const Message& m, bool translateZeroVelocity, UInt4 group,
                   std::vector<MIDIEvent>& events) {
    const uint8_t s = m.bytes[0];
    const bool d1 = m.length >= 2;
    const bool d2 = m.length >= 3;
    const uint8_t b1 = m.bytes[1];
    const uint8_t b2 = m.bytes[2];
    const UInt4 channel = UInt4::truncating(s);
    switch (s >> 4) {
        case 0x8:
            if (d2) {
                events.push_back(MIDIEvent::noteOff(data7(b1), ChanVoice7Bit16BitValue::midi1(data7(b2)),
                                                    MIDIEvent::NoteAttribute::none(), channel, group));
            }
            return;
        case 0x9:
            if (!d2) return;
            if (b2 == 0 && translateZeroVelocity) {
                events.push_back(MIDIEvent::noteOff(data7(b1), ChanVoice7Bit16BitValue::midi1(UInt7(0)),
                                                    MIDIEvent::NoteAttribute::none(), channel, group));
            } else {
                events.push_back(MIDIEvent::noteOn(data7(b1), ChanVoice7Bit16BitValue::midi1(data7(b2)),
                                                   MIDIEvent::NoteAttribute::none(), channel, group,
                                                   false));
            }
            return;
        case 0xA:
            if (d2) {
                events.push_back(MIDIEvent::notePressure(
                    data7(b1), ChanVoice7Bit32BitValue::midi1(data7(b2)), channel, group));
            }
            return;
        case 0xB:
            if (d2) {
                events.push_back(MIDIEvent::cc(data7(b1), ChanVoice7Bit32BitValue::midi1(data7(b2)),
                                               channel, group));
            }
            return;
        case 0xC:
            if (d1) {
                events.push_back(MIDIEvent::programChange(
                    data7(b1), MIDIEvent::ProgramChange::Bank::noBankSelect(), channel, group));
            }
            return;
        case 0xD:
            if (d1) {
                events.push_back(
                    MIDIEvent::pressure(ChanVoice7Bit32BitValue::midi1(data7(b1)), channel, group));
            }
            return;
        case 0xE:
            if (d2) {
                events.push_back(
                    MIDIEvent::pitchBend(ChanVoice14Bit32BitValue::midi1(data14(b1, b2)), channel, group));
            }
            return;
        default:
            break;
    }
    switch (s) {
        case 0xF1:
            if (d1) events.push_back(MIDIEvent::timecodeQuarterFrame(data7(b1), group));
            return;
        case 0xF2:
            if (d2) events.push_back(MIDIEvent::songPositionPointer(data14(b1, b2), group));
            return;
        case 0xF3:
            if (d1) events.push_back(MIDIEvent::songSelect(data7(b1), group));
            return;
        case 0xF6:
            events.push_back(MIDIEvent::tuneRequest(group));
            return;
        default:
            return;
    }
}

// The event of a real-time byte (0xF8-0xFF); none for the undefined 0xF9 and 0xFD.
void appendRealTime(uint8_t byte, UInt4 group, std::vector<MIDIEvent>& events) {
    switch (byte) {
        case 0xF8: events.push_back(MIDIEvent::timingClock(group)); return;
        case 0xFA: events.push_back(MIDIEvent::start(group)); return;
        case 0xFB: events.push_back(MIDIEvent::continue_(group)); return;
        case 0xFC: events.push_back(MIDIEvent::stop(group)); return;
        case 0xFE: events.push_back(MIDIEvent::activeSensing(group)); return;
        case 0xFF: events.push_back(MIDIEvent::systemReset(group)); return;
        default: return;
    }
}

// A finished message's buffer larger than this is released rather than kept for the next one.
constexpr size_t keptSysExCapacity = 64 * 1024;

}  // namespace

std::vector<MIDIEvent> MIDI1Parser::parsedEvents(std::span<const uint8_t> bytes, UInt4 group) {
    std::vector<MIDIEvent> events;
    parse(bytes, group, events);
    return events;
}

void MIDI1Parser::appendSysEx(std::span<const uint8_t> data) {
    if (sysEx_ != SysEx::open) return;
    if (data.size() > maxSysExSize_ || sysExBytes_.size() > maxSysExSize_ - data.size()) {
        // Too long to keep: the whole message is dropped, and so is the rest of it.
        sysEx_ = SysEx::overflowed;
        std::vector<uint8_t>().swap(sysExBytes_);
        return;
    }
    sysExBytes_.insert(sysExBytes_.end(), data.begin(), data.end());
}

void MIDI1Parser::closeSysEx(UInt4 group, std::vector<MIDIEvent>& events) {
    if (sysEx_ == SysEx::open) {
        try {
            events.push_back(MIDIEvent::sysEx7FromRawBytes(sysExBytes_, group));
        } catch (const midicore::MIDIEventParseError&) {
            // A message the System Exclusive decoder refuses yields no event.
        }
    }
    sysEx_ = SysEx::closed;
    if (sysExBytes_.capacity() > keptSysExCapacity) {
        std::vector<uint8_t>().swap(sysExBytes_);
    } else {
        sysExBytes_.clear();
    }
}

void MIDI1Parser::parse(std::span<const uint8_t> bytes, UInt4 group, std::vector<MIDIEvent>& events) {
    Message message;
    // Data bytes the message being collected takes; 0 when data bytes are not collected.
    uint8_t needed = runningStatus_ ? channelDataBytes(*runningStatus_ >> 4) : 0;
    auto flush = [&] {
        if (sysEx_ != SysEx::closed) {
            closeSysEx(group, events);
        } else if (message.length > 0) {
            decodeMessage(message, translateZeroVelocity_, group, events);
        }
        message.length = 0;
    };

    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = bytes[i];
        if (b < 0x80) {
            if (sysEx_ != SysEx::closed) {
                // A run of data bytes goes into the open message at once.
                const auto end = std::find_if(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                                              [](uint8_t x) { return x >= 0x80; });
                const auto runEnd = static_cast<size_t>(end - bytes.begin());
                appendSysEx(bytes.subspan(i, runEnd - i));
                i = runEnd;
                continue;
            }
            ++i;
            if (message.length == 0) {
                // Without a running status a data byte opens nothing.
                if (!runningStatus_) continue;
                message.bytes[0] = *runningStatus_;
                message.length = 1;
            }
            if (needed == 0) continue;
            message.bytes[message.length++] = b;
            if (message.length == needed + 1) {
                decodeMessage(message, translateZeroVelocity_, group, events);
                message.length = 0;
            }
            continue;
        }
        ++i;
        if (b >= 0xF8) {
            // Real time: its event at once, the message around it untouched.
            appendRealTime(b, group, events);
            continue;
        }
        // A message ended by its F7 goes to the decoder whole: a universal message needs it.
        if (b == 0xF7 && sysEx_ == SysEx::open) sysExBytes_.push_back(0xF7);
        flush();
        if (b < 0xF0) {
            needed = channelDataBytes(b >> 4);
            message.bytes[0] = b;
            message.length = 1;
            runningStatus_ = b;
            continue;
        }
        runningStatus_.reset();
        needed = 0;
        switch (b) {
            case 0xF0:
                sysEx_ = SysEx::open;
                sysExBytes_.push_back(0xF0);
                break;
            case 0xF1:
            case 0xF3:
                needed = 1;
                message.bytes[0] = b;
                message.length = 1;
                break;
            case 0xF2:
                needed = 2;
                message.bytes[0] = b;
                message.length = 1;
                break;
            case 0xF6:
                message.bytes[0] = b;
                message.length = 1;
                break;
            default:  // 0xF4, 0xF5 (undefined) and 0xF7 (the end of a message) open nothing.
                break;
        }
    }
    // An open System Exclusive message waits for the next packet; anything else is decoded now.
    if (sysEx_ == SysEx::closed && message.length > 0) {
        decodeMessage(message, translateZeroVelocity_, group, events);
    }
}

}  // namespace midiio
