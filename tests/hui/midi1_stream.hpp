// Reads a stream of MIDI 1.0 bytes into events, as a port would deliver them: each status byte
// starts a message, data bytes without a status and unfinished messages are dropped, System
// Exclusive runs to F7 (or the end). Channel messages keep their channel; a Note On keeps a zero
// velocity as a Note On.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace huitest {

inline std::vector<midicore::MIDIEvent> eventsFromMIDI1(std::span<const std::uint8_t> bytes) {
    using midicore::MIDIEvent;
    using midicore::UInt4;
    using midicore::UInt7;
    std::vector<MIDIEvent> events;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::uint8_t status = bytes[at];
        if (status < 0x80) {
            ++at;
            continue;
        }
        if (status == 0xF0) {
            std::size_t end = at + 1;
            while (end < bytes.size() && bytes[end] < 0x80)
                ++end;
            const bool closed = end < bytes.size() && bytes[end] == 0xF7;
            const auto body = bytes.subspan(at + 1, end - at - 1);
            const auto type = body.empty()
                                  ? std::nullopt
                                  : MIDIEvent::UniversalSysExType::fromRawUInt8Value(body[0]);
            const std::size_t idLength = !body.empty() && body[0] == 0 ? 3 : 1;
            if (type && body.size() >= 4) {
                events.push_back(MIDIEvent::universalSysEx7(
                    *type, UInt7(body[1]), UInt7(body[2]), UInt7(body[3]),
                    std::vector<std::uint8_t>(body.begin() + 4, body.end())));
            } else if (body.size() >= idLength) {
                if (const auto id =
                        MIDIEvent::SysExManufacturer::fromSysEx7RawBytes(body.first(idLength))) {
                    events.push_back(MIDIEvent::sysEx7(
                        *id, std::vector<std::uint8_t>(body.begin() + idLength, body.end())));
                }
            }
            at = closed ? end + 1 : end;
            continue;
        }
        const unsigned kind = status >> 4;
        const std::size_t length = status >= 0xF0                 ? (status == 0xF2                       ? 2
                                                                     : (status == 0xF1 || status == 0xF3) ? 1
                                                                                                          : 0)
                                   : (kind == 0xC || kind == 0xD) ? 1
                                                                  : 2;
        std::size_t taken = 0;
        while (taken < length && at + 1 + taken < bytes.size() && bytes[at + 1 + taken] < 0x80)
            ++taken;
        if (taken < length) {
            at += 1 + taken;
            continue;
        }
        const UInt4 channel = UInt4::truncating(status);
        const UInt7 a = length > 0 ? UInt7(bytes[at + 1]) : UInt7();
        const UInt7 b = length > 1 ? UInt7(bytes[at + 2]) : UInt7();
        using V16 = MIDIEvent::ChanVoice7Bit16BitValue;
        using V32 = MIDIEvent::ChanVoice7Bit32BitValue;
        const auto none = MIDIEvent::NoteAttribute::none();
        switch (status >= 0xF0 ? status : kind << 4) {
            case 0x80:
                events.push_back(MIDIEvent::noteOff(a, V16::midi1(b), none, channel));
                break;
            case 0x90:
                events.push_back(
                    MIDIEvent::noteOn(a, V16::midi1(b), none, channel, UInt4(), false));
                break;
            case 0xA0:
                events.push_back(MIDIEvent::notePressure(a, V32::midi1(b), channel));
                break;
            case 0xB0:
                events.push_back(MIDIEvent::cc(a, V32::midi1(b), channel));
                break;
            case 0xC0:
                events.push_back(MIDIEvent::programChange(
                    a, MIDIEvent::ProgramChange::Bank::noBankSelect(), channel));
                break;
            case 0xD0:
                events.push_back(MIDIEvent::pressure(V32::midi1(a), channel));
                break;
            case 0xF8:
                events.push_back(MIDIEvent::timingClock());
                break;
            case 0xFE:
                events.push_back(MIDIEvent::activeSensing());
                break;
            case 0xFF:
                events.push_back(MIDIEvent::systemReset());
                break;
            default:
                break;
        }
        at += 1 + length;
    }
    return events;
}

// The MIDI 1.0 bytes of events, one after another.
inline std::vector<std::uint8_t> midi1Bytes(const std::vector<midicore::MIDIEvent>& events) {
    std::vector<std::uint8_t> out;
    for (const auto& e : events) {
        const auto bytes = e.midi1RawBytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

}  // namespace huitest
