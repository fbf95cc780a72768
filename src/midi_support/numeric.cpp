#include "midi_support/numeric.hpp"

#include <cmath>

namespace midisupport {

double rounded(double value, RoundingRule rule) {
    switch (rule) {
        case RoundingRule::toNearestOrAwayFromZero:
            return std::round(value);
        case RoundingRule::toNearestOrEven: {
            // nearbyint follows the current rounding mode, whose default is ties to even; the
            // explicit form below does not depend on it.
            const double floor = std::floor(value);
            const double difference = value - floor;
            if (difference < 0.5) return floor;
            if (difference > 0.5) return floor + 1.0;
            return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
        }
        case RoundingRule::up:
            return std::ceil(value);
        case RoundingRule::down:
            return std::floor(value);
        case RoundingRule::towardZero:
            return std::trunc(value);
        case RoundingRule::awayFromZero:
            return value >= 0 ? std::ceil(value) : std::floor(value);
    }
    return value;
}

double rounded(double value, RoundingRule rule, int decimalPlaces) {
    if (decimalPlaces < 1) return rounded(value, rule);
    const double multiplier = std::pow(10.0, decimalPlaces);
    const double scaled = value * multiplier;
    if (!std::isfinite(scaled)) return value;
    return rounded(scaled, rule) / multiplier;
}

namespace detail {

void throwInvertedBounds() {
    throw RangeError(RangeError::Case::invertedBounds,
                     "The range's lower bound is above its upper bound.");
}

void throwEmptyRange() {
    throw RangeError(RangeError::Case::emptyRange, "Cannot clamp to an empty range.");
}

}  // namespace detail

}  // namespace midisupport
