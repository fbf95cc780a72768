// The earlier form of the frame-rate interface, kept for callers written against it: the 20
// legacy rates (the current 22 less 95.904 and 96), related to the current ones only through
// their texts, and forwarding forms of a few current operations.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "timecode/timecode.hpp"

namespace timecode {

enum class LegacyFrameRate : uint8_t {
    _23_976, _24, _24_98, _25, _29_97, _29_97_drop, _30, _30_drop, _47_952, _48, _50, _59_94,
    _59_94_drop, _60, _60_drop, _100, _119_88, _119_88_drop, _120, _120_drop,
};

inline constexpr size_t legacyFrameRateCount = 20;
std::span<const LegacyFrameRate, legacyFrameRateCount> allLegacyFrameRates();
std::string_view rawValue(LegacyFrameRate rate);
std::optional<LegacyFrameRate> legacyFrameRateFromRawValue(std::string_view text);
// The current rate with the same text (always one).
TimecodeFrameRate timecodeFrameRate(LegacyFrameRate rate);

namespace legacy {

// Forwarding forms: the same inputs, results and failures as the current operations.
inline Components components(const FrameCount::Value& count, SubFramesBase base, TimecodeFrameRate rate) {
    return Timecode::components(count, base, rate);
}
inline Timecode timecode(double realTime, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                         SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) {
    return Timecode::fromRealTime(realTime, rate, limit, base, format);
}
inline void setTimecode(Timecode& t, double realTime) { t.set(RealTime{realTime}); }
inline double samplesValue(const Timecode& t, int64_t sampleRate) { return t.samplesValue(sampleRate); }
inline void setTimecode(Timecode& t, double samples, int64_t sampleRate) { t.set(Samples{samples, sampleRate}); }
inline Fraction fraction(TimecodeFrameRate rate) { return rate.rate(); }

}  // namespace legacy

}  // namespace timecode

template <>
struct std::hash<timecode::LegacyFrameRate> {
    size_t operator()(timecode::LegacyFrameRate r) const noexcept {
        return std::hash<std::string_view>{}(timecode::rawValue(r));
    }
};
