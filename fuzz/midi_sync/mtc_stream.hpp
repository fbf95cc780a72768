// Splits fuzz input into what an MTC consumer receives: F1 xx is a quarter frame; F0 ... F7 is a
// universal System Exclusive message when the byte after F0 is 7E or 7F and four header bytes are
// there (otherwise it is dropped); the other status bytes F4, F5, F8, F9 are commands of the
// target with one argument byte; every other byte is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "timecode/frame_rate.hpp"

namespace mtcfuzz {

using midicore::MIDIEvent;

inline void check(bool condition) {
    if (!condition) __builtin_trap();
}

// The timecode rate of a byte, none above 21.
inline std::optional<timecode::TimecodeFrameRate> rateOf(uint8_t b) {
    if (b >= timecode::TimecodeFrameRate::caseCount) return std::nullopt;
    return timecode::TimecodeFrameRate::allCases()[b];
}

inline void split(std::span<const uint8_t> in, const std::function<void(const MIDIEvent&)>& event,
                  const std::function<void(uint8_t command, uint8_t argument)>& command) {
    size_t i = 0;
    const auto next = [&]() -> uint8_t { return i < in.size() ? in[i++] : 0; };
    while (i < in.size()) {
        const uint8_t b = in[i++];
        if (b == 0xF1) {
            event(MIDIEvent::timecodeQuarterFrame(midicore::UInt7(static_cast<uint8_t>(next() & 0x7F))));
        } else if (b == 0xF0) {
            std::vector<uint8_t> body;
            while (i < in.size() && in[i] < 0x80) body.push_back(in[i++]);
            if (i < in.size() && in[i] == 0xF7) ++i;
            if (body.size() < 4 || (body[0] != 0x7E && body[0] != 0x7F)) continue;
            using T = MIDIEvent::UniversalSysExType;
            event(MIDIEvent::universalSysEx7(body[0] == 0x7F ? T(T::realTime) : T(T::nonRealTime),
                                             midicore::UInt7(body[1]), midicore::UInt7(body[2]),
                                             midicore::UInt7(body[3]),
                                             std::vector<uint8_t>(body.begin() + 4, body.end())));
        } else if (b == 0xF4 || b == 0xF5 || b == 0xF8 || b == 0xF9) {
            command(b, next());
        }
    }
}

}  // namespace mtcfuzz
