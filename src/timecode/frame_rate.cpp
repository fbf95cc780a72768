#include "timecode/frame_rate.hpp"

#include "counting.hpp"

#include <utility>

namespace timecode {

namespace {

using Group = TimecodeFrameRate::CompatibleGroup;

struct RateRow {
    std::string_view raw;
    std::string_view verbose;
    int64_t rateNum, rateDen;
    int64_t durNum, durDen;
    int64_t altDen;  // 0: no alternate duration (numerator 1000 otherwise)
    double fps;
    int64_t base;
    bool drop;
    int64_t dropped;
    Group group;
};

// One row per case, in case order.
constexpr std::array<RateRow, TimecodeFrameRate::caseCount> rows{{
    {"23.976", "23.976 fps", 24000, 1001, 1001, 24000, 23976, 24, 24, false, 0, Group::NTSC},
    {"24", "24 fps", 24, 1, 100, 2400, 0, 24, 24, false, 0, Group::ATSC},
    {"24.98", "24.98 fps", 25000, 1001, 1001, 25000, 24980, 25, 25, false, 0, Group::NTSC},
    {"25", "25 fps", 25, 1, 100, 2500, 0, 25, 25, false, 0, Group::ATSC},
    {"29.97", "29.97 fps", 30000, 1001, 1001, 30000, 29970, 30, 30, false, 0, Group::NTSC},
    {"29.97d", "29.97 fps drop", 30000, 1001, 1001, 30000, 29970, 29.97, 30, true, 2, Group::NTSC_drop},
    {"30", "30 fps", 30, 1, 100, 3000, 0, 30, 30, false, 0, Group::ATSC},
    {"30d", "30 fps drop", 30, 1, 100, 3000, 0, 29.97, 30, true, 2, Group::ATSC_drop},
    {"47.952", "47.952 fps", 48000, 1001, 1001, 48000, 47952, 48, 48, false, 0, Group::NTSC},
    {"48", "48 fps", 48, 1, 100, 4800, 0, 48, 48, false, 0, Group::ATSC},
    {"50", "50 fps", 50, 1, 100, 5000, 0, 50, 50, false, 0, Group::ATSC},
    {"59.94", "59.94 fps", 60000, 1001, 1001, 60000, 59940, 60, 60, false, 0, Group::NTSC},
    {"59.94d", "59.94 fps drop", 60000, 1001, 1001, 60000, 59940, 59.94, 60, true, 4, Group::NTSC_drop},
    {"60", "60 fps", 60, 1, 100, 6000, 0, 60, 60, false, 0, Group::ATSC},
    {"60d", "60 fps drop", 60, 1, 100, 6000, 0, 59.94, 60, true, 4, Group::ATSC_drop},
    {"95.904", "95.904 fps", 96000, 1001, 1001, 96000, 95904, 96, 96, false, 0, Group::NTSC},
    {"96", "96 fps", 96, 1, 100, 9600, 0, 96, 96, false, 0, Group::ATSC},
    {"100", "100 fps", 100, 1, 100, 10000, 0, 100, 100, false, 0, Group::ATSC},
    {"119.88", "119.88 fps", 120000, 1001, 1001, 120000, 119880, 120, 120, false, 0, Group::NTSC},
    {"119.88d", "119.88 fps drop", 120000, 1001, 1001, 120000, 119880, 119.88, 120, true, 8, Group::NTSC_drop},
    {"120", "120 fps", 120, 1, 100, 12000, 0, 120, 120, false, 0, Group::ATSC},
    {"120d", "120 fps drop", 120, 1, 100, 12000, 0, 119.88, 120, true, 8, Group::ATSC_drop},
}};

template <size_t... I>
constexpr std::array<TimecodeFrameRate, sizeof...(I)> makeCases(std::index_sequence<I...>) {
    return {TimecodeFrameRate(static_cast<TimecodeFrameRate::Case>(I))...};
}
constexpr auto cases = makeCases(std::make_index_sequence<TimecodeFrameRate::caseCount>{});

const RateRow& row(const TimecodeFrameRate& r) { return rows[r.index()]; }

std::vector<TimecodeFrameRate> ratesWhere(bool drop) {
    std::vector<TimecodeFrameRate> out;
    for (auto r : cases)
        if (r.isDrop() == drop) out.push_back(r);
    return out;
}

template <class Matches>
std::optional<TimecodeFrameRate> firstMatch(bool drop, Matches&& m) {
    for (auto r : cases)
        if (m(row(r)) && r.isDrop() == drop) return r;
    return std::nullopt;
}

}  // namespace

bool detail::fractionMatches(int64_t num, int64_t den, const Fraction& arg) {
    if (num == arg.numerator() && den == arg.denominator()) return true;
    if (den == 0 || arg.denominator() == 0) return false;
    return static_cast<double>(num) / static_cast<double>(den) == arg.doubleValue();
}

std::string_view TimecodeFrameRate::description(CompatibleGroup group) {
    switch (group) {
        case CompatibleGroup::NTSC: return "NTSC";
        case CompatibleGroup::NTSC_drop: return "NTSC Drop-Frame";
        case CompatibleGroup::ATSC: return "ATSC";
        case CompatibleGroup::ATSC_drop: break;
    }
    return "ATSC Drop-Frame";
}

const TimecodeFrameRate::CompatibilityTable& TimecodeFrameRate::compatibilityTable() {
    // Built once under the guard of the function-local static; read-only afterwards.
    static const CompatibilityTable table = [] {
        CompatibilityTable t;
        for (size_t g = 0; g < t.size(); ++g) {
            t[g].first = allCompatibleGroups[g];
            for (auto r : cases)
                if (rows[r.index()].group == t[g].first) t[g].second.push_back(r);
        }
        return t;
    }();
    return table;
}

std::span<const TimecodeFrameRate, TimecodeFrameRate::caseCount> TimecodeFrameRate::allCases() {
    return cases;
}

const std::vector<TimecodeFrameRate>& TimecodeFrameRate::allDrop() {
    static const std::vector<TimecodeFrameRate> list = ratesWhere(true);
    return list;
}

const std::vector<TimecodeFrameRate>& TimecodeFrameRate::allNonDrop() {
    static const std::vector<TimecodeFrameRate> list = ratesWhere(false);
    return list;
}

std::string_view TimecodeFrameRate::rawValue() const { return row(*this).raw; }
std::string_view TimecodeFrameRate::verboseStringValue() const { return row(*this).verbose; }

std::optional<TimecodeFrameRate> TimecodeFrameRate::fromRawValue(std::string_view text) {
    for (auto r : cases)
        if (r.rawValue() == text) return r;
    return std::nullopt;
}

Fraction TimecodeFrameRate::rate() const {
    return Fraction::withReducedFlag(row(*this).rateNum, row(*this).rateDen, false);
}

Fraction TimecodeFrameRate::frameDuration() const {
    return Fraction::withReducedFlag(row(*this).durNum, row(*this).durDen, false);
}

std::optional<Fraction> TimecodeFrameRate::alternateFrameDuration() const {
    if (row(*this).altDen == 0) return std::nullopt;
    return Fraction::withReducedFlag(1000, row(*this).altDen, false);
}

MediaTime TimecodeFrameRate::frameDurationMediaTime() const { return frameDuration().mediaTimeValue(); }
MediaTime TimecodeFrameRate::rateMediaTime() const { return rate().mediaTimeValue(); }

bool TimecodeFrameRate::isDrop() const { return row(*this).drop; }
double TimecodeFrameRate::fps() const { return row(*this).fps; }
int64_t TimecodeFrameRate::timecodeBase() const { return row(*this).base; }
int TimecodeFrameRate::numberOfFrameDigits() const { return index() >= 18 ? 3 : 2; }
int64_t TimecodeFrameRate::framesDroppedPerMinute() const { return row(*this).dropped; }

int64_t TimecodeFrameRate::maxTotalFrames(UpperLimit limit) const {
    // 86400 seconds of whole frames, less the dropped numbers of the 1296 minutes of a day that
    // are not a multiple of ten.
    int64_t day = row(*this).base * 86400 - row(*this).dropped * 1296;
    return limit == UpperLimit::_100days ? day * 100 : day;
}

std::array<std::string, 3> TimecodeFrameRate::rateTextFields() const {
    return {rate().description(), isDrop() ? "true" : "false", std::to_string(timecodeBase())};
}

std::array<std::string, 2> TimecodeFrameRate::frameDurationTextFields() const {
    return {frameDuration().description(), isDrop() ? "DF" : "NDF"};
}

TimecodeFrameRate::CompatibleGroup TimecodeFrameRate::compatibleGroup() const {
    for (const auto& [group, members] : compatibilityTable())
        for (auto r : members)
            if (r == *this) return group;
    return row(*this).group;  // every rate is in the table; kept for completeness
}

const std::vector<TimecodeFrameRate>& TimecodeFrameRate::compatibleGroupRates() const {
    const auto& table = compatibilityTable();
    return table[static_cast<size_t>(compatibleGroup())].second;
}

bool TimecodeFrameRate::isCompatible(const TimecodeFrameRate& other) const {
    for (auto r : compatibleGroupRates())
        if (r == other) return true;
    return false;
}

std::optional<TimecodeFrameRate> TimecodeFrameRate::fromRate(const Fraction& rate, bool drop) {
    return firstMatch(drop, [&](const RateRow& r) { return detail::fractionMatches(r.rateNum, r.rateDen, rate); });
}

std::optional<TimecodeFrameRate> TimecodeFrameRate::fromRate(const MediaTime& rate, bool drop) {
    return fromRate(Fraction(rate.value(), rate.timescale()), drop);
}

std::optional<TimecodeFrameRate> TimecodeFrameRate::fromFrameDuration(const Fraction& duration, bool drop) {
    return firstMatch(drop, [&](const RateRow& r) {
        if (detail::fractionMatches(r.durNum, r.durDen, duration)) return true;
        return r.altDen != 0 && detail::fractionMatches(1000, r.altDen, duration);
    });
}

std::optional<TimecodeFrameRate> TimecodeFrameRate::fromFrameDuration(const MediaTime& duration, bool drop) {
    return fromFrameDuration(Fraction(duration.value(), duration.timescale()), drop);
}

}  // namespace timecode
