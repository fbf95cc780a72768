#include "timecode/video_frame_rate.hpp"

#include <cmath>
#include <utility>

#include "counting.hpp"

namespace timecode {

namespace {

using T = TimecodeFrameRate;

struct VideoRow {
    std::string_view raw;
    bool interlaced;
    int64_t rateNum, rateDen, durNum, durDen;
    int64_t altNum, altDen;  // altDen 0: none
    std::optional<T> noDrop, drop;
};

constexpr std::array<VideoRow, VideoFrameRate::caseCount> rows{{
    {"23.98p", false, 24000, 1001, 1001, 24000, 1000, 23976, T::_23_976, std::nullopt},
    {"24p", false, 24, 1, 100, 2400, 0, 0, T::_24, std::nullopt},
    {"25p", false, 25, 1, 100, 2500, 0, 0, T::_25, std::nullopt},
    {"25i", true, 25, 1, 200, 5000, 0, 0, T::_25, std::nullopt},
    {"29.97p", false, 30000, 1001, 1001, 30000, 1000, 29970, T::_29_97, T::_29_97_drop},
    {"29.97i", true, 30000, 1001, 2002, 60000, 2000, 59940, T::_29_97, T::_29_97_drop},
    {"30p", false, 30, 1, 100, 3000, 0, 0, T::_30, T::_30_drop},
    {"47.95p", false, 48000, 1001, 1001, 48000, 1000, 47952, T::_47_952, std::nullopt},
    {"48p", false, 48, 1, 100, 4800, 0, 0, T::_48, std::nullopt},
    {"50p", false, 50, 1, 100, 5000, 0, 0, T::_50, std::nullopt},
    {"50i", true, 50, 1, 200, 10000, 0, 0, T::_50, std::nullopt},
    {"59.94p", false, 60000, 1001, 1001, 60000, 1000, 59940, T::_59_94, T::_59_94_drop},
    {"59.94i", true, 60000, 1001, 2002, 120000, 2000, 119880, T::_59_94, T::_59_94_drop},
    {"60p", false, 60, 1, 100, 6000, 0, 0, T::_60, T::_60_drop},
    {"60i", true, 60, 1, 200, 12000, 0, 0, T::_60, std::nullopt},
    {"95.9p", false, 96000, 1001, 1001, 96000, 1000, 95904, T::_95_904, std::nullopt},
    {"96p", false, 96, 1, 100, 9600, 0, 0, T::_96, std::nullopt},
    {"100p", false, 100, 1, 100, 10000, 0, 0, T::_100, std::nullopt},
    {"119.88p", false, 120000, 1001, 1001, 120000, 1000, 119880, T::_119_88, T::_119_88_drop},
    {"120p", false, 120, 1, 100, 12000, 0, 0, T::_120, std::nullopt},
}};

template <size_t... I>
constexpr std::array<VideoFrameRate, sizeof...(I)> makeCases(std::index_sequence<I...>) {
    return {VideoFrameRate(static_cast<VideoFrameRate::Case>(I))...};
}
constexpr auto cases = makeCases(std::make_index_sequence<VideoFrameRate::caseCount>{});

const VideoRow& row(const VideoFrameRate& r) { return rows[r.index()]; }

template <class Matches>
std::optional<VideoFrameRate> firstMatch(bool interlaced, Matches&& m) {
    for (auto r : cases)
        if (m(row(r)) && r.isInterlaced() == interlaced) return r;
    return std::nullopt;
}

double cut(double x, int places) {
    const double scale = std::pow(10.0, places);
    return std::trunc(x * scale) / scale;
}

}  // namespace

std::span<const VideoFrameRate, VideoFrameRate::caseCount> VideoFrameRate::allCases() { return cases; }
std::string_view VideoFrameRate::rawValue() const { return row(*this).raw; }

std::optional<VideoFrameRate> VideoFrameRate::fromRawValue(std::string_view text) {
    for (auto r : cases)
        if (r.rawValue() == text) return r;
    return std::nullopt;
}

bool VideoFrameRate::isInterlaced() const { return row(*this).interlaced; }
Fraction VideoFrameRate::rate() const { return Fraction(row(*this).rateNum, row(*this).rateDen); }
Fraction VideoFrameRate::frameDuration() const { return Fraction(row(*this).durNum, row(*this).durDen); }

std::optional<Fraction> VideoFrameRate::alternateFrameDuration() const {
    if (row(*this).altDen == 0) return std::nullopt;
    return Fraction(row(*this).altNum, row(*this).altDen);
}

std::optional<VideoFrameRate> VideoFrameRate::fromRate(const Fraction& rate, bool interlaced) {
    return firstMatch(interlaced, [&](const VideoRow& r) { return detail::fractionMatches(r.rateNum, r.rateDen, rate); });
}

std::optional<VideoFrameRate> VideoFrameRate::fromRate(const MediaTime& rate, bool interlaced) {
    return fromRate(Fraction(rate.value(), rate.timescale()), interlaced);
}

std::optional<VideoFrameRate> VideoFrameRate::fromFrameDuration(const Fraction& duration, bool interlaced) {
    return firstMatch(interlaced, [&](const VideoRow& r) {
        return detail::fractionMatches(r.durNum, r.durDen, duration) ||
               (r.altDen != 0 && detail::fractionMatches(r.altNum, r.altDen, duration));
    });
}

std::optional<VideoFrameRate> VideoFrameRate::fromFrameDuration(const MediaTime& duration, bool interlaced) {
    return fromFrameDuration(Fraction(duration.value(), duration.timescale()), interlaced);
}

std::optional<VideoFrameRate> VideoFrameRate::fromFPS(double fps, bool interlaced, bool strict) {
    if (!std::isfinite(fps)) return std::nullopt;
    const int places = strict ? 3 : 1;
    const double wanted = cut(fps, places);
    return firstMatch(interlaced, [&](const VideoRow& r) {
        return cut(static_cast<double>(r.rateNum) / static_cast<double>(r.rateDen), places) == wanted;
    });
}

std::optional<TimecodeFrameRate> VideoFrameRate::timecodeFrameRate(bool drop) const {
    return drop ? row(*this).drop : row(*this).noDrop;
}

std::optional<VideoFrameRate> TimecodeFrameRate::videoFrameRate(bool interlaced) const {
    using V = VideoFrameRate;
    struct Pair {
        V progressive;
        std::optional<V> interlaced;
    };
    static constexpr std::array<Pair, TimecodeFrameRate::caseCount> map{{
        {V::_23_98p, std::nullopt}, {V::_24p, std::nullopt},   {V::_25p, std::nullopt},
        {V::_25i, V::_25i},         {V::_29_97p, V::_29_97i},  {V::_29_97p, V::_29_97i},
        {V::_30p, std::nullopt},    {V::_30p, std::nullopt},   {V::_47_95p, std::nullopt},
        {V::_48p, std::nullopt},    {V::_50p, V::_50i},        {V::_59_94p, std::nullopt},
        {V::_59_94p, std::nullopt}, {V::_60p, V::_60i},        {V::_60p, std::nullopt},
        {V::_95_9p, std::nullopt},  {V::_96p, std::nullopt},   {V::_100p, std::nullopt},
        {V::_119_88p, std::nullopt}, {V::_119_88p, std::nullopt}, {V::_120p, std::nullopt},
        {V::_120p, std::nullopt},
    }};
    const Pair& p = map[index()];
    if (interlaced) return p.interlaced;
    return p.progressive;
}

}  // namespace timecode
