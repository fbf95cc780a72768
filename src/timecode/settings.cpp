#include "timecode/settings.hpp"

#include <cmath>
#include <limits>

#include "timecode/validation.hpp"

namespace timecode {

std::string_view rawValue(StringFormatParameter) { return "showSubFrames"; }

std::optional<StringFormatParameter> stringFormatParameterFromRawValue(std::string_view text) {
    if (text == "showSubFrames") return StringFormatParameter::showSubFrames;
    return std::nullopt;
}

std::optional<SubFramesBase> subFramesBaseFromRawValue(int64_t raw) {
    for (auto base : allSubFramesBases)
        if (divisor(base) == raw) return base;
    return std::nullopt;
}

std::string description(SubFramesBase base) { return std::to_string(divisor(base)); }

int64_t convert(int64_t subFrames, SubFramesBase from, SubFramesBase to) {
    if (divisor(from) == divisor(to) || subFrames == 0) return subFrames;
    double x = static_cast<double>(subFrames) / static_cast<double>(divisor(from)) *
               static_cast<double>(divisor(to));
    x = std::trunc(x);
    // 2^63 as a double; anything at or beyond it has no 64-bit value.
    constexpr double limit = 9223372036854775808.0;
    if (x >= limit) return std::numeric_limits<int64_t>::max();
    if (x < -limit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

std::string_view rawValue(UpperLimit limit) {
    return limit == UpperLimit::_100days ? "100 days" : "24 hours";
}

std::optional<UpperLimit> upperLimitFromRawValue(std::string_view text) {
    for (auto limit : allUpperLimits)
        if (rawValue(limit) == text) return limit;
    return std::nullopt;
}

int64_t& Components::operator[](Component c) {
    switch (c) {
        case Component::days: return d;
        case Component::hours: return h;
        case Component::minutes: return m;
        case Component::seconds: return s;
        case Component::frames: return f;
        case Component::subFrames: break;
    }
    return sf;
}

int64_t Components::operator[](Component c) const {
    return const_cast<Components&>(*this)[c];
}

ComponentSet Components::invalidComponents(const TimecodeFrameRate& rate, UpperLimit limit,
                                           SubFramesBase base) const {
    return timecode::invalidComponents(*this, rate, limit, base);
}

}  // namespace timecode
