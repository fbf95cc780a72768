// The MIDI Timecode vocabulary shared by the encoder, decoder, generator and receiver: the four
// MTC frame rates and how the 22 timecode rates map onto them, the direction of a quarter-frame
// stream, the two message kinds, and the wire layout of both messages.
//
//     MTCFrameRate rate = mtcFrameRate(TimecodeFrameRate::_48);      // mtc24
//     rate.scaledFrames(10, 5, TimecodeFrameRate::_48);               // 22.5 local frames
//     mtcFrames(TimecodeFrameRate::_48, 46.0);                         // {22, 4}
//
// Nothing here keeps state: every operation is a pure function of its arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "timecode/timecode.hpp"

namespace midisync {

using timecode::Timecode;
using timecode::TimecodeFrameRate;

// What the MTC objects throw for input outside what MIDI Timecode can carry.
class MTCError : public std::invalid_argument {
  public:
    enum class Case {
        // A frame count that is not finite, negative, or beyond any day's count.
        invalidFrameCount,
        // Hours, minutes, seconds, frames or days outside 0...255.
        invalidComponents,
    };
    MTCError(Case c, const std::string& message) : std::invalid_argument(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// One of the four MTC frame rates. The case's position is the two-bit rate code on the wire.
class MTCFrameRate {
  public:
    enum class Case : uint8_t { mtc24, mtc25, mtc2997d, mtc30 };
    using enum Case;

    constexpr MTCFrameRate(Case c) : case_(c) {}  // NOLINT: a case is a rate

    static constexpr std::array<MTCFrameRate, 4> allCases() { return {mtc24, mtc25, mtc2997d, mtc30}; }
    // The rate of a two-bit code; only the low two bits are read, so every byte names a rate.
    static constexpr MTCFrameRate fromRateCode(uint8_t code) { return MTCFrameRate(static_cast<Case>(code & 0x03)); }

    constexpr Case rateCase() const { return case_; }
    // 0...3: the position, as carried in the full frame's hours byte and in piece 7.
    constexpr uint8_t rateCode() const { return static_cast<uint8_t>(case_); }

    // "SMPTE-24", "SMPTE-25", "SMPTE-29.97d", "SMPTE-30".
    std::string_view stringValue() const;
    constexpr bool isDrop() const { return case_ == mtc2997d; }
    // 24, 25, 29.97d or 30.
    TimecodeFrameRate directEquivalentFrameRate() const;
    // Every timecode rate carried at this MTC rate, in timecode rate order.
    std::vector<TimecodeFrameRate> derivedFrameRates() const;
    bool isCompatible(TimecodeFrameRate rate) const;

    // MTC frames (plus 0-7 quarter frames) as frames at the local rate `to`; none when `to` is not
    // carried at this MTC rate. The quarter-frame count is held at 7 at most and the frames at 0 at
    // least.
    std::optional<double> scaledFrames(int64_t rawMTCFrames, uint8_t quarterFrames, TimecodeFrameRate to) const;

    friend constexpr bool operator==(MTCFrameRate, MTCFrameRate) = default;
    size_t hash() const { return static_cast<size_t>(case_); }

  private:
    Case case_;
};

// The MTC rate a timecode rate travels at, and how many local frames make one MTC frame.
MTCFrameRate mtcFrameRate(TimecodeFrameRate rate);
double mtcScaleFactor(TimecodeFrameRate rate);

// Local frames at `rate` as a position in MTC terms: the even MTC frame that starts the current
// two-frame quarter-frame cycle, and the quarter frames (0-7) into it. Throws
// MTCError::invalidFrameCount for a count that is not finite, is negative, or lies beyond a
// 100-day span of frames (where no timecode can be).
struct MTCFramePosition {
    int64_t rawMTCFrames = 0;
    uint8_t rawMTCQuarterFrames = 0;
    friend constexpr bool operator==(const MTCFramePosition&, const MTCFramePosition&) = default;
};
MTCFramePosition mtcFrames(TimecodeFrameRate rate, double scaledFrames);

// The direction of a quarter-frame stream judged from two consecutive piece indices.
class MTCDirection {
  public:
    enum class Case : uint8_t { forwards, backwards, ambiguous };
    using enum Case;

    constexpr MTCDirection(Case c) : case_(c) {}  // NOLINT: a case is a direction

    // Forwards for the next piece (7 then 0 included), backwards for the previous one (0 then 7
    // included), ambiguous for a repeated or skipped piece or an index above 7.
    static constexpr MTCDirection fromQuarterFrames(uint8_t previousQF, uint8_t newQF) {
        if (previousQF > 7 || newQF > 7) return ambiguous;
        if (previousQF == newQF) return ambiguous;
        if (previousQF == 7 && newQF == 0) return forwards;
        if (previousQF == 0 && newQF == 7) return backwards;
        if (newQF == previousQF + 1) return forwards;
        if (previousQF >= 1 && newQF == previousQF - 1) return backwards;
        return ambiguous;
    }

    constexpr Case directionCase() const { return case_; }
    // "forwards", "backwards", "ambiguous".
    std::string_view stringValue() const;
    friend constexpr bool operator==(MTCDirection, MTCDirection) = default;
    size_t hash() const { return static_cast<size_t>(case_); }

  private:
    Case case_;
};

// Which message a decoded timecode came from.
enum class MTCMessageType : uint8_t { fullFrame, quarterFrame };
// "fullFrame", "quarterFrame".
std::string_view toString(MTCMessageType type);

// The wire layout.
namespace wire {
// Full frame: F0 7F 7F 01 01 hr mn sc fr F7, as a universal real-time SysEx message.
inline constexpr uint8_t fullFrameDeviceID = 0x7F;
inline constexpr uint8_t fullFrameSubID1 = 0x01;
inline constexpr uint8_t fullFrameSubID2 = 0x01;
// The hours byte: 0 rr hhhhh.
constexpr uint8_t hoursByte(int64_t hours, MTCFrameRate rate) {
    return static_cast<uint8_t>((static_cast<uint64_t>(hours) & 0x1F) | (rate.rateCode() << 5));
}
// The value piece `index` (0-7) carries of the four values (piece 7 also carries the rate).
constexpr uint8_t quarterFrameNibble(uint8_t index, int64_t hours, int64_t minutes, int64_t seconds,
                                     int64_t frames, MTCFrameRate rate) {
    const auto u = [](int64_t v) { return static_cast<uint64_t>(v); };
    switch (index & 0x07) {
        case 0: return static_cast<uint8_t>(u(frames) & 0x0F);
        case 1: return static_cast<uint8_t>((u(frames) >> 4) & 0x01);
        case 2: return static_cast<uint8_t>(u(seconds) & 0x0F);
        case 3: return static_cast<uint8_t>((u(seconds) >> 4) & 0x03);
        case 4: return static_cast<uint8_t>(u(minutes) & 0x0F);
        case 5: return static_cast<uint8_t>((u(minutes) >> 4) & 0x03);
        case 6: return static_cast<uint8_t>(u(hours) & 0x0F);
        default: return static_cast<uint8_t>(((u(hours) >> 4) & 0x01) | (rate.rateCode() << 1));
    }
}
}  // namespace wire

// The settings of every timecode the MTC objects make: 24-hour limit, 100 subframes per frame,
// the default string format.
Timecode mtcTimecode(TimecodeFrameRate rate);

}  // namespace midisync

template <>
struct std::hash<midisync::MTCFrameRate> {
    size_t operator()(midisync::MTCFrameRate r) const noexcept { return r.hash(); }
};
template <>
struct std::hash<midisync::MTCDirection> {
    size_t operator()(midisync::MTCDirection d) const noexcept { return d.hash(); }
};
