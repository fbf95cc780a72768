// Rounding to decimal places and clamping to ranges.
#pragma once

#include <concepts>
#include <limits>
#include <string>

#include "midi_support/range_error.hpp"

namespace midisupport {

enum class RoundingRule {
    toNearestOrAwayFromZero,
    toNearestOrEven,
    up,
    down,
    towardZero,
    awayFromZero,
};

// `value` rounded to an integral value by `rule`.
double rounded(double value, RoundingRule rule);

// `value` rounded by `rule` to `decimalPlaces` places: round(value x 10^places) / 10^places, or
// plain rounding for fewer than 1 place. When value x 10^places has no finite value (more places
// than a double can hold), `value` is returned as it is.
double rounded(double value, RoundingRule rule, int decimalPlaces);

namespace detail {
[[noreturn]] void throwInvertedBounds();
[[noreturn]] void throwEmptyRange();
}  // namespace detail

// Clamped to the closed range lower...upper. Throws RangeError (invertedBounds) when
// lower > upper.
template <class T>
requires std::totally_ordered<T> T clamped(const T& value, const T& lower, const T& upper) {
    if (upper < lower) detail::throwInvertedBounds();
    if (value < lower) return lower;
    if (upper < value) return upper;
    return value;
}

// Clamped to lower... (at least lower).
template <class T>
requires std::totally_ordered<T> T clampedFrom(const T& value, const T& lower) {
    return value < lower ? lower : value;
}

// Clamped to ...upper (at most upper).
template <class T>
requires std::totally_ordered<T> T clampedThrough(const T& value, const T& upper) {
    return upper < value ? upper : value;
}

// Clamped to ..<end (at most end - 1). Throws RangeError (emptyRange) when nothing lies below
// `end`.
template <std::integral T>
T clampedUpTo(T value, T end) {
    if (end == std::numeric_limits<T>::min()) detail::throwEmptyRange();
    return clampedThrough(value, static_cast<T>(end - 1));
}

// Clamped to the half-open range lower..<end. Throws RangeError: invertedBounds when
// lower > end, emptyRange when lower == end.
template <std::integral T>
T clampedHalfOpen(T value, T lower, T end) {
    if (end < lower) detail::throwInvertedBounds();
    if (end == lower) detail::throwEmptyRange();
    return clamped(value, lower, static_cast<T>(end - 1));
}

}  // namespace midisupport
