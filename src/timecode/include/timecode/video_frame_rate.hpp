// The frame rates of video media, progressive and interlaced, and their mapping to and from
// timecode frame rates.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "timecode/fraction.hpp"
#include "timecode/frame_rate.hpp"

namespace timecode {

class VideoFrameRate {
  public:
    enum class Case : uint8_t {
        _23_98p, _24p, _25p, _25i, _29_97p, _29_97i, _30p, _47_95p, _48p, _50p, _50i, _59_94p,
        _59_94i, _60p, _60i, _95_9p, _96p, _100p, _119_88p, _120p,
    };
    static constexpr size_t caseCount = 20;

    constexpr VideoFrameRate(Case c) : case_(c) {}  // NOLINT: a case is a rate
    static const VideoFrameRate _23_98p, _24p, _25p, _25i, _29_97p, _29_97i, _30p, _47_95p, _48p, _50p, _50i,
        _59_94p, _59_94i, _60p, _60i, _95_9p, _96p, _100p, _119_88p, _120p;

    constexpr Case rateCase() const { return case_; }
    constexpr size_t index() const { return static_cast<size_t>(case_); }
    static std::span<const VideoFrameRate, caseCount> allCases();

    // "23.98p" ... "120p"; also stringValue, description and id.
    std::string_view rawValue() const;
    std::string_view stringValue() const { return rawValue(); }
    static std::optional<VideoFrameRate> fromRawValue(std::string_view text);
    static std::optional<VideoFrameRate> fromStringValue(std::string_view text) { return fromRawValue(text); }

    bool isInterlaced() const;
    Fraction rate() const;
    Fraction frameDuration() const;
    std::optional<Fraction> alternateFrameDuration() const;
    MediaTime frameDurationMediaTime() const { return frameDuration().mediaTimeValue(); }
    // The rate as a double quotient.
    double fps() const { return rate().doubleValue(); }

    // Lookups as those of TimecodeFrameRate, the interlaced flag in place of the drop flag.
    static std::optional<VideoFrameRate> fromRate(const Fraction& rate, bool interlaced);
    static std::optional<VideoFrameRate> fromRate(const MediaTime& rate, bool interlaced);
    static std::optional<VideoFrameRate> fromFrameDuration(const Fraction& duration, bool interlaced);
    static std::optional<VideoFrameRate> fromFrameDuration(const MediaTime& duration, bool interlaced);
    // The first rate whose quotient, cut to 3 (strict) or 1 decimal places, equals `fps` cut the
    // same way, with the given interlaced flag.
    static std::optional<VideoFrameRate> fromFPS(double fps, bool interlaced, bool strict = false);
    static std::optional<VideoFrameRate> fromFPS(float fps, bool interlaced) {
        return fromFPS(static_cast<double>(fps), interlaced, false);
    }

    // The timecode rate of this video rate; `drop` asks for the drop-frame variant.
    std::optional<TimecodeFrameRate> timecodeFrameRate(bool drop) const;

    friend constexpr bool operator==(const VideoFrameRate&, const VideoFrameRate&) = default;

  private:
    Case case_;
};

inline constexpr VideoFrameRate VideoFrameRate::_23_98p{Case::_23_98p};
inline constexpr VideoFrameRate VideoFrameRate::_24p{Case::_24p};
inline constexpr VideoFrameRate VideoFrameRate::_25p{Case::_25p};
inline constexpr VideoFrameRate VideoFrameRate::_25i{Case::_25i};
inline constexpr VideoFrameRate VideoFrameRate::_29_97p{Case::_29_97p};
inline constexpr VideoFrameRate VideoFrameRate::_29_97i{Case::_29_97i};
inline constexpr VideoFrameRate VideoFrameRate::_30p{Case::_30p};
inline constexpr VideoFrameRate VideoFrameRate::_47_95p{Case::_47_95p};
inline constexpr VideoFrameRate VideoFrameRate::_48p{Case::_48p};
inline constexpr VideoFrameRate VideoFrameRate::_50p{Case::_50p};
inline constexpr VideoFrameRate VideoFrameRate::_50i{Case::_50i};
inline constexpr VideoFrameRate VideoFrameRate::_59_94p{Case::_59_94p};
inline constexpr VideoFrameRate VideoFrameRate::_59_94i{Case::_59_94i};
inline constexpr VideoFrameRate VideoFrameRate::_60p{Case::_60p};
inline constexpr VideoFrameRate VideoFrameRate::_60i{Case::_60i};
inline constexpr VideoFrameRate VideoFrameRate::_95_9p{Case::_95_9p};
inline constexpr VideoFrameRate VideoFrameRate::_96p{Case::_96p};
inline constexpr VideoFrameRate VideoFrameRate::_100p{Case::_100p};
inline constexpr VideoFrameRate VideoFrameRate::_119_88p{Case::_119_88p};
inline constexpr VideoFrameRate VideoFrameRate::_120p{Case::_120p};

}  // namespace timecode

template <>
struct std::hash<timecode::VideoFrameRate> {
    size_t operator()(const timecode::VideoFrameRate& r) const noexcept {
        return std::hash<std::string_view>{}(r.rawValue());
    }
};
