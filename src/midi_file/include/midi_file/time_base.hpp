// The timing vocabulary of a Standard MIDI File: its format, the time base of the header's
// division word, the two SMPTE frame-rate enumerations, and the delta time of a track event.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "midi_file/enumerations.hpp"

namespace midifile {

// The header's format word. MIDIFile names it MIDIFile::Format.
enum class MIDIFileFormat : uint8_t {
    singleTrack = 0,
    multipleTracksSynchronous = 1,
    multipleTracksAsynchronous = 2,
};

// The SMPTE format of a timecode time base; the raw value is the low seven bits of the division
// word's high byte (minus the frame count, in 7-bit two's complement). MIDIFile names it
// MIDIFile::FrameRate.
enum class MIDIFileFrameRate : uint8_t {
    _24fps = 0x68,
    _25fps = 0x67,
    _2997dfps = 0x63,
    _30fps = 0x62,
};

// The frame rate stored in an SMPTE offset meta event. MIDIFile names it
// MIDIFile::SMPTEOffsetFrameRate.
enum class MIDIFileSMPTEOffsetFrameRate : uint8_t {
    _24fps = 0,
    _25fps = 1,
    _2997dfps = 2,
    _30fps = 3,
};

template <>
struct EnumerationCases<MIDIFileFormat> {
    using enum MIDIFileFormat;
    static constexpr std::array cases{singleTrack, multipleTracksSynchronous,
                                      multipleTracksAsynchronous};
};
template <>
struct EnumerationCases<MIDIFileFrameRate> {
    using enum MIDIFileFrameRate;
    static constexpr std::array cases{_24fps, _25fps, _2997dfps, _30fps};
};
template <>
struct EnumerationCases<MIDIFileSMPTEOffsetFrameRate> {
    using enum MIDIFileSMPTEOffsetFrameRate;
    static constexpr std::array cases{_24fps, _25fps, _2997dfps, _30fps};
};

// "Type 0 (single track)", ...; "Format(" + that + ")".
std::string description(MIDIFileFormat format);
std::string debugDescription(MIDIFileFormat format);
// "24fps", "25fps", "29.97dfps", "30fps"; "FrameRate(" + that + ")".
std::string description(MIDIFileFrameRate rate);
std::string debugDescription(MIDIFileFrameRate rate);
// The same rate texts; "SMPTEOffsetFrameRate(" + that + ")".
std::string description(MIDIFileSMPTEOffsetFrameRate rate);
std::string debugDescription(MIDIFileSMPTEOffsetFrameRate rate);

// The header's division word: ticks per quarter note, or an SMPTE frame rate with ticks per
// frame. The default is musical with 960 ticks per quarter note. MIDIFile names it
// MIDIFile::TimeBase.
class MIDIFileTimeBase {
  public:
    enum class Case { musical, timecode };

    struct Timecode {
        MIDIFileFrameRate smpteFormat;
        uint8_t ticksPerFrame;
        friend constexpr bool operator==(const Timecode&, const Timecode&) = default;
    };

    constexpr MIDIFileTimeBase() = default;
    static constexpr MIDIFileTimeBase musical(uint16_t ticksPerQuarterNote) {
        MIDIFileTimeBase base;
        base.ticksPerQuarterNote_ = ticksPerQuarterNote;
        return base;
    }
    static constexpr MIDIFileTimeBase timecode(MIDIFileFrameRate smpteFormat,
                                               uint8_t ticksPerFrame) {
        MIDIFileTimeBase base;
        base.case_ = Case::timecode;
        base.ticksPerQuarterNote_ = 0;
        base.timecode_ = Timecode{smpteFormat, ticksPerFrame};
        return base;
    }

    // The time base of a division word (high byte first); none unless `bytes` holds exactly two
    // bytes that form a musical count (high bit clear) or one of the four SMPTE formats.
    static std::optional<MIDIFileTimeBase> fromRawBytes(std::span<const uint8_t> bytes);
    // The division word. A musical count of 32768 or more loses its top bit, which the word
    // reserves for timecode.
    std::array<uint8_t, 2> rawBytes() const;

    constexpr Case timeBaseCase() const { return case_; }
    // The count of `musical`; none for `timecode`.
    constexpr std::optional<uint16_t> ticksPerQuarterNote() const {
        if (case_ != Case::musical) return std::nullopt;
        return ticksPerQuarterNote_;
    }
    // The fields of `timecode`; none for `musical`.
    constexpr std::optional<Timecode> timecodeValue() const {
        if (case_ != Case::timecode) return std::nullopt;
        return timecode_;
    }

    // "Musical: 960 ticks per quarter" or "Timecode: 25fps 40 ticks per frame".
    std::string description() const;
    // "timeBase(" + description + ")".
    std::string debugDescription() const;

    friend constexpr bool operator==(const MIDIFileTimeBase& a, const MIDIFileTimeBase& b) {
        if (a.case_ != b.case_) return false;
        return a.case_ == Case::musical ? a.ticksPerQuarterNote_ == b.ticksPerQuarterNote_
                                        : a.timecode_ == b.timecode_;
    }
    size_t hash() const;

  private:
    Case case_ = Case::musical;
    uint16_t ticksPerQuarterNote_ = 960;
    Timecode timecode_{MIDIFileFrameRate::_24fps, 0};
};

// The time from the event before to this one: a tick count or a note value whose ticks depend on
// the file's time base. MIDIFileEvent names it MIDIFileEvent::DeltaTime.
//
// Two delta times are equal when they come to the same ticks at 960 ticks per quarter note, so
// ticks(960) equals quarterNote() whatever a file's time base is; hashing agrees.
class DeltaTime {
  public:
    enum class Case {
        none,
        ticks,
        wholeNote,
        halfNote,
        quarterNote,
        _8thNote,
        _16thNote,
        _32ndNote,
        _64thNote,
        _128thNote,
        _256thNote,
    };

    constexpr DeltaTime() = default;
    static constexpr DeltaTime none() { return DeltaTime(Case::none, 0); }
    static constexpr DeltaTime ticks(uint32_t count) { return DeltaTime(Case::ticks, count); }
    static constexpr DeltaTime wholeNote() { return DeltaTime(Case::wholeNote, 0); }
    static constexpr DeltaTime halfNote() { return DeltaTime(Case::halfNote, 0); }
    static constexpr DeltaTime quarterNote() { return DeltaTime(Case::quarterNote, 0); }
    static constexpr DeltaTime _8thNote() { return DeltaTime(Case::_8thNote, 0); }
    static constexpr DeltaTime _16thNote() { return DeltaTime(Case::_16thNote, 0); }
    static constexpr DeltaTime _32ndNote() { return DeltaTime(Case::_32ndNote, 0); }
    static constexpr DeltaTime _64thNote() { return DeltaTime(Case::_64thNote, 0); }
    static constexpr DeltaTime _128thNote() { return DeltaTime(Case::_128thNote, 0); }
    static constexpr DeltaTime _256thNote() { return DeltaTime(Case::_256thNote, 0); }

    constexpr Case deltaCase() const { return case_; }

    // The ticks under a musical time base of p ticks per quarter note: the count of `ticks`,
    // p x 4 for a whole note down to p / 64 (remainder dropped) for a 256th note. Under a
    // timecode time base no tick count is defined: none, for every case.
    std::optional<uint32_t> ticksValue(const MIDIFileTimeBase& timeBase) const;

    // "none", "ticks:480", "quarterNote", "8thNote", ...; "DeltaTime(" + that + ")".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const DeltaTime& a, const DeltaTime& b) {
        return a.ticksAtDefault() == b.ticksAtDefault();
    }
    size_t hash() const { return std::hash<uint32_t>{}(ticksAtDefault()); }

  private:
    constexpr DeltaTime(Case deltaCase, uint32_t count) : case_(deltaCase), ticks_(count) {}
    uint32_t ticksOf(uint32_t ticksPerQuarterNote) const;
    uint32_t ticksAtDefault() const { return ticksOf(960); }

    Case case_ = Case::none;
    uint32_t ticks_ = 0;
};

}  // namespace midifile

template <>
struct std::hash<midifile::MIDIFileTimeBase> {
    size_t operator()(const midifile::MIDIFileTimeBase& base) const { return base.hash(); }
};
template <>
struct std::hash<midifile::DeltaTime> {
    size_t operator()(const midifile::DeltaTime& delta) const { return delta.hash(); }
};
