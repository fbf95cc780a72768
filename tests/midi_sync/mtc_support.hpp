// Helpers of the MIDI Timecode tests: raw bytes of events and a decoder that records its reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi_sync/mtc_decoder.hpp"

namespace mtctest {

using midicore::MIDIEvent;
using namespace midisync;

inline std::vector<uint8_t> bytesOf(const std::vector<MIDIEvent>& events) {
    std::vector<uint8_t> out;
    for (const MIDIEvent& e : events) {
        const auto b = e.midi1RawBytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

inline MIDIEvent quarterFrame(uint8_t dataByte) {
    return MIDIEvent::timecodeQuarterFrame(midicore::UInt7(dataByte));
}

// A universal SysEx event from its MIDI 1.0 bytes: F0, type, device ID, sub-IDs, data, F7.
inline MIDIEvent universalSysEx(const std::vector<uint8_t>& b) {
    using T = MIDIEvent::UniversalSysExType;
    return MIDIEvent::universalSysEx7(b.at(1) == 0x7F ? T(T::realTime) : T(T::nonRealTime), midicore::UInt7(b.at(2)),
                                      midicore::UInt7(b.at(3)), midicore::UInt7(b.at(4)),
                                      std::vector<uint8_t>(b.begin() + 5, b.end() - 1));
}

struct Report {
    Timecode::Components components;
    TimecodeFrameRate rate;
    MTCMessageType type;
    MTCDirection direction;
    bool displayNeedsUpdate;
};

// A decoder whose reports are kept in order.
struct RecordingDecoder {
    std::vector<Report> reports;
    std::vector<MTCFrameRate> rateChanges;
    MTCDecoder decoder;

    explicit RecordingDecoder(std::optional<TimecodeFrameRate> local = std::nullopt)
        : decoder(
              local,
              [this](const Timecode& tc, MTCMessageType type, MTCDirection direction, bool update) {
                  reports.push_back({tc.components(), tc.frameRate, type, direction, update});
              },
              [this](MTCFrameRate rate) { rateChanges.push_back(rate); }) {}
};

}  // namespace mtctest
