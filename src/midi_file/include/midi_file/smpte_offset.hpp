// The SMPTE offset meta event (FF 54 05 hr mn se fr ff): the SMPTE time at which a track starts,
// and its conversion to and from the timecode library's Timecode.
//
// The rate index sits in bits 5-6 of the hours byte (24, 25, 29.97 drop-frame, 30 fps). Every
// setter clamps: hours to 23, minutes and seconds to 59, subframes (hundredths of a frame) to 99,
// frames to the last frame of the current rate; the constructor clamps the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"
#include "midi_file/time_base.hpp"
#include "timecode/timecode.hpp"

namespace midifile {

// The timecode rate of an SMPTE offset rate: 24, 25, 29.97 drop-frame or 30.
timecode::TimecodeFrameRate timecodeFrameRate(MIDIFileSMPTEOffsetFrameRate rate);
// The SMPTE offset rate used for any timecode rate: the 24 family, the 25 family, the drop-frame
// rates and the other 30 family rates.
MIDIFileSMPTEOffsetFrameRate midiFileSMPTEOffsetRate(timecode::TimecodeFrameRate rate);

// A timecode scaled onto one of the four SMPTE offset rates with 100 subframes: converted by real
// time when its rate differs, its subframes rescaled to hundredths. The timecode is none when the
// conversion fails; the rate is always the one chosen.
std::pair<std::optional<timecode::Timecode>, MIDIFileSMPTEOffsetFrameRate> scaledToMIDIFileSMPTE(
    const timecode::Timecode& timecode);

class SMPTEOffset {
  public:
    using FrameRate = MIDIFileSMPTEOffsetFrameRate;
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::smpteOffset;

    SMPTEOffset() = default;
    SMPTEOffset(uint8_t hours, uint8_t minutes, uint8_t seconds, uint8_t frames,
                uint8_t subframes, FrameRate frameRate);
    // The timecode scaled onto an SMPTE offset rate (scaledToMIDIFileSMPTE); zero time at the
    // chosen rate when that fails. Values are stored as scaled and then clamped, so that every
    // record encodes to a valid event.
    explicit SMPTEOffset(const timecode::Timecode& scaling);

    uint8_t hours() const { return hours_; }
    uint8_t minutes() const { return minutes_; }
    uint8_t seconds() const { return seconds_; }
    uint8_t frames() const { return frames_; }
    uint8_t subframes() const { return subframes_; }
    FrameRate frameRate() const { return frameRate_; }
    void setHours(int64_t value);
    void setMinutes(int64_t value);
    void setSeconds(int64_t value);
    // Clamped to the last frame of the current rate.
    void setFrames(int64_t value);
    void setSubframes(int64_t value);
    // Keeps the frames as they are.
    void setFrameRate(FrameRate rate) { frameRate_ = rate; }

    // Days 0 and the five fields.
    timecode::Timecode::Components components() const;
    // The fields at the record's rate, 24-hour limit, 100 subframes, unvalidated.
    timecode::Timecode timecode() const;

    static DecodeResult<SMPTEOffset> tryFromRawBytes(std::span<const uint8_t> bytes);
    static SMPTEOffset fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<SMPTEOffset> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "smpte: 1:02:03:04.5 @ 25fps"; "SMPTEOffset(" + that + ")".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const SMPTEOffset&, const SMPTEOffset&) = default;
    size_t hash() const;

  private:
    uint8_t hours_ = 0;
    uint8_t minutes_ = 0;
    uint8_t seconds_ = 0;
    uint8_t frames_ = 0;
    uint8_t subframes_ = 0;
    FrameRate frameRate_ = FrameRate::_30fps;
};

}  // namespace midifile

template <>
struct std::hash<midifile::SMPTEOffset> {
    size_t operator()(const midifile::SMPTEOffset& p) const { return p.hash(); }
};
