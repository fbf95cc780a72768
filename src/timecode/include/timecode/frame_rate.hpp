// The 22 timecode frame rates and every per-rate constant.
//
//     TimecodeFrameRate rate = TimecodeFrameRate::_29_97_drop;
//     rate.rawValue();                 // "29.97d"
//     rate.maxTotalFrames(UpperLimit::_24hours);   // 2589408
//     TimecodeFrameRate::fromRate(Fraction(30, 1), true);   // _30_drop
//
// Rates compare and hash by their raw value (which is one per case). The rate and frame-duration
// fractions are stored unreduced, as the tables give them (100/2400 at 24, not 1/24).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "timecode/fraction.hpp"
#include "timecode/settings.hpp"

namespace timecode {

class VideoFrameRate;

class TimecodeFrameRate {
  public:
    enum class Case : uint8_t {
        _23_976, _24, _24_98, _25, _29_97, _29_97_drop, _30, _30_drop, _47_952, _48, _50,
        _59_94, _59_94_drop, _60, _60_drop, _95_904, _96, _100, _119_88, _119_88_drop, _120,
        _120_drop,
    };
    static constexpr size_t caseCount = 22;

    // The families of rates that share frame timing.
    enum class CompatibleGroup : uint8_t { NTSC, NTSC_drop, ATSC, ATSC_drop };
    static constexpr std::array<CompatibleGroup, 4> allCompatibleGroups{
        CompatibleGroup::NTSC, CompatibleGroup::NTSC_drop, CompatibleGroup::ATSC,
        CompatibleGroup::ATSC_drop};
    // "NTSC", "NTSC Drop-Frame", "ATSC", "ATSC Drop-Frame".
    static std::string_view description(CompatibleGroup group);
    // The members of every group, in group order; built once, on first use, and never changed.
    using CompatibilityTable = std::array<std::pair<CompatibleGroup, std::vector<TimecodeFrameRate>>, 4>;
    static const CompatibilityTable& compatibilityTable();

    constexpr TimecodeFrameRate(Case c) : case_(c) {}  // NOLINT: a case is a rate

    static const TimecodeFrameRate _23_976, _24, _24_98, _25, _29_97, _29_97_drop, _30, _30_drop,
        _47_952, _48, _50, _59_94, _59_94_drop, _60, _60_drop, _95_904, _96, _100, _119_88,
        _119_88_drop, _120, _120_drop;

    constexpr Case rateCase() const { return case_; }
    constexpr size_t index() const { return static_cast<size_t>(case_); }

    // All 22 rates in case order.
    static std::span<const TimecodeFrameRate, caseCount> allCases();
    // The drop and the non-drop rates in case order, built once on first use.
    static const std::vector<TimecodeFrameRate>& allDrop();
    static const std::vector<TimecodeFrameRate>& allNonDrop();

    // "23.976" ... "120d"; also stringValue, description and id.
    std::string_view rawValue() const;
    std::string_view stringValue() const { return rawValue(); }
    // "29.97 fps drop".
    std::string_view verboseStringValue() const;
    static std::optional<TimecodeFrameRate> fromRawValue(std::string_view text);
    static std::optional<TimecodeFrameRate> fromStringValue(std::string_view text) {
        return fromRawValue(text);
    }

    Fraction rate() const;
    Fraction frameDuration() const;
    // 1000/x form of the frame duration of the NTSC rates; absent for the others.
    std::optional<Fraction> alternateFrameDuration() const;
    MediaTime frameDurationMediaTime() const;
    MediaTime rateMediaTime() const;

    bool isDrop() const;
    // Frames per second used for counting: the nominal whole number at non-drop rates (also 24 at
    // 23.976), 29.97, 59.94 or 119.88 at drop rates.
    double fps() const;
    double countingRate() const { return fps(); }
    // Whole frames per timecode second (24, 25, 30, 48, 50, 60, 96, 100, 120).
    int64_t timecodeBase() const;
    int64_t nominalFPS() const { return timecodeBase(); }
    int64_t maxFrameNumber() const { return timecodeBase() - 1; }
    int numberOfFrameDigits() const;
    int frameDigits() const { return numberOfFrameDigits(); }
    // Frame numbers skipped at the start of every minute not divisible by ten: 0, 2, 4 or 8.
    int64_t framesDroppedPerMinute() const;
    // ";" at drop rates, ":" otherwise.
    char frameSeparator() const { return isDrop() ? ';' : ':'; }

    // Frames in 24 hours (x100 for 100 days).
    int64_t maxTotalFrames(UpperLimit limit) const;
    int64_t maxFrameIndex(UpperLimit limit) const { return maxTotalFrames(limit) - 1; }
    int64_t maxTotalSubFrames(UpperLimit limit, SubFramesBase base) const {
        return maxTotalFrames(limit) * divisor(base);
    }
    int64_t maxSubFrameIndex(UpperLimit limit, SubFramesBase base) const {
        return maxTotalSubFrames(limit, base) - 1;
    }

    // {"30000/1001", "false", "30"} for 29.97.
    std::array<std::string, 3> rateTextFields() const;
    // {"1001/30000", "NDF"} for 29.97.
    std::array<std::string, 2> frameDurationTextFields() const;

    CompatibleGroup compatibleGroup() const;
    const std::vector<TimecodeFrameRate>& compatibleGroupRates() const;
    bool isCompatible(const TimecodeFrameRate& other) const;

    // The first rate in case order whose rate (or frame duration, or alternate duration) matches
    // exactly or by equal double quotient and whose drop flag equals `drop`; a media time counts
    // as value / timescale. A zero denominator matches nothing.
    static std::optional<TimecodeFrameRate> fromRate(const Fraction& rate, bool drop);
    static std::optional<TimecodeFrameRate> fromRate(const MediaTime& rate, bool drop);
    static std::optional<TimecodeFrameRate> fromFrameDuration(const Fraction& duration, bool drop);
    static std::optional<TimecodeFrameRate> fromFrameDuration(const MediaTime& duration, bool drop);

    // The video rate of this timecode rate, progressive or interlaced.
    std::optional<VideoFrameRate> videoFrameRate(bool interlaced) const;

    friend constexpr bool operator==(const TimecodeFrameRate&, const TimecodeFrameRate&) = default;

  private:
    Case case_;
};

inline constexpr TimecodeFrameRate TimecodeFrameRate::_23_976{Case::_23_976};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_24{Case::_24};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_24_98{Case::_24_98};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_25{Case::_25};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_29_97{Case::_29_97};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_29_97_drop{Case::_29_97_drop};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_30{Case::_30};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_30_drop{Case::_30_drop};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_47_952{Case::_47_952};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_48{Case::_48};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_50{Case::_50};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_59_94{Case::_59_94};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_59_94_drop{Case::_59_94_drop};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_60{Case::_60};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_60_drop{Case::_60_drop};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_95_904{Case::_95_904};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_96{Case::_96};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_100{Case::_100};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_119_88{Case::_119_88};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_119_88_drop{Case::_119_88_drop};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_120{Case::_120};
inline constexpr TimecodeFrameRate TimecodeFrameRate::_120_drop{Case::_120_drop};

}  // namespace timecode

template <>
struct std::hash<timecode::TimecodeFrameRate> {
    size_t operator()(const timecode::TimecodeFrameRate& r) const noexcept {
        return std::hash<std::string_view>{}(r.rawValue());
    }
};
