#include "timecode/legacy.hpp"

namespace timecode {

namespace {

constexpr std::array<std::string_view, legacyFrameRateCount> texts{
    "23.976", "24",  "24.98", "25",     "29.97", "29.97d", "30",     "30d",     "47.952", "48",
    "50",     "59.94", "59.94d", "60", "60d",   "100",    "119.88", "119.88d", "120",    "120d"};

constexpr auto all = [] {
    std::array<LegacyFrameRate, legacyFrameRateCount> a{};
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<LegacyFrameRate>(i);
    return a;
}();

}  // namespace

std::span<const LegacyFrameRate, legacyFrameRateCount> allLegacyFrameRates() { return all; }

std::string_view rawValue(LegacyFrameRate rate) { return texts[static_cast<size_t>(rate)]; }

std::optional<LegacyFrameRate> legacyFrameRateFromRawValue(std::string_view text) {
    for (auto r : all)
        if (rawValue(r) == text) return r;
    return std::nullopt;
}

TimecodeFrameRate timecodeFrameRate(LegacyFrameRate rate) {
    // Every legacy text is the text of a current rate.
    return *TimecodeFrameRate::fromRawValue(rawValue(rate));
}

}  // namespace timecode
