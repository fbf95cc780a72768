#include "counting.hpp"
#include "timecode/timecode.hpp"
#include "timecode/transformer.hpp"

namespace timecode {

TimecodeInterval TimecodeInterval::fromRealTime(const Fraction& secondsValue, TimecodeFrameRate rate,
                                                UpperLimit limit, SubFramesBase base, StringFormat format) {
    return {Timecode::fromRational(secondsValue.magnitude(), rate, limit, base, format), secondsValue.isNegative()};
}

TimecodeInterval TimecodeInterval::fromRealTime(const MediaTime& secondsValue, TimecodeFrameRate rate,
                                                UpperLimit limit, SubFramesBase base, StringFormat format) {
    return fromRealTime(Fraction(secondsValue), rate, limit, base, format);
}

Timecode TimecodeInterval::flattened() const {
    Timecode zero(absoluteInterval.frameRate, absoluteInterval.upperLimit, absoluteInterval.subFramesBase,
                  absoluteInterval.stringFormat);
    return negative ? zero - absoluteInterval : zero + absoluteInterval;
}

Fraction TimecodeInterval::rationalValue() const {
    const Fraction magnitude = absoluteInterval.rationalValue();
    return negative ? Fraction(-magnitude.numerator(), magnitude.denominator()) : magnitude;
}

double TimecodeInterval::realTimeValue() const {
    const double seconds = absoluteInterval.realTimeValue();
    return negative ? -seconds : seconds;
}

std::string TimecodeInterval::description() const {
    return (negative ? "-" : "") + absoluteInterval.stringValue();
}

std::string TimecodeInterval::debugDescription() const { return "TimecodeInterval(" + description() + ")"; }

std::string TimecodeInterval::verboseDescription() const {
    return "TimecodeInterval " + description() + " @ " + std::string(absoluteInterval.frameRate.stringValue());
}

bool operator==(const TimecodeInterval& a, const TimecodeInterval& b) {
    return a.absoluteInterval == b.absoluteInterval && a.negative == b.negative;
}

Timecode TimecodeTransformer::transform(const Timecode& input) const {
    if (!enabled || transforms.empty()) return input;
    Timecode current = input;
    for (const auto& t : transforms) {
        switch (t.transformCase()) {
            case Transform::Case::offset:
                try {
                    current = current.offsetting(*t.interval());
                } catch (const TimecodeValidationError&) {
                    // an interval with no place at the current rate is skipped
                }
                break;
            case Transform::Case::custom: current = t.function()(current); break;
            case Transform::Case::none: break;
        }
    }
    return current;
}

}  // namespace timecode

size_t std::hash<timecode::TimecodeInterval>::operator()(const timecode::TimecodeInterval& i) const {
    const auto& a = i.absoluteInterval;
    size_t h = std::hash<int64_t>{}(timecode::detail::subFramesOfComponents(a.components(), a.frameRate, a.subFramesBase));
    h ^= std::hash<std::string_view>{}(a.frameRate.rawValue()) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h ^ (std::hash<bool>{}(i.negative) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}
