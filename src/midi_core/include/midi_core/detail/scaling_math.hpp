// The arithmetic of scaling MIDI values between fractions and integers of a given bit width,
// shared by the 14-bit integer's bipolar forms and the channel-voice value conversions.
//
// Every float-to-integer step truncates toward zero. A NaN counts as the bottom of its range
// (0 for a unit interval, -1 for a bipolar interval); infinities clamp like any other number
// outside the range.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>

namespace midicore::detail {

// The number just above 0.5 that the upper half of an integer range maps onto, chosen so that
// every 7-bit and 16-bit integer converts to the unit interval and back unchanged.
inline constexpr double upperHalfOffset = std::bit_cast<double>(uint64_t{0x3FE00000000051EB});

// Unit interval 0...1 to an integer of `Bits` bits (N = 2^Bits, midpoint M = N / 2): 0 for
// x <= 0, trunc(x * N) up to 0.5, above that M + trunc((min(x, 1) - 0.5) * (N - 2)).
template <unsigned Bits>
constexpr uint64_t unitIntervalToBits(double x) {
    constexpr uint64_t n = uint64_t{1} << Bits;
    constexpr uint64_t m = n / 2;
    if (!(x > 0.0)) return 0;
    if (x <= 0.5) return static_cast<uint64_t>(x * static_cast<double>(n));
    const double clamped = x < 1.0 ? x : 1.0;
    const uint64_t result = m + static_cast<uint64_t>((clamped - 0.5) * static_cast<double>(n - 2));
    return result < n - 1 ? result : n - 1;
}

// An integer of `Bits` bits to the unit interval: v / N up to the midpoint, exactly 1.0 for the
// maximum, (v - M) / (N - 2) + upperHalfOffset in between.
template <unsigned Bits>
constexpr double unitIntervalFromBits(uint64_t v) {
    constexpr uint64_t n = uint64_t{1} << Bits;
    constexpr uint64_t m = n / 2;
    if (v <= m) return static_cast<double>(v) / static_cast<double>(n);
    if (v >= n - 1) return 1.0;
    return static_cast<double>(v - m) / static_cast<double>(n - 2) + upperHalfOffset;
}

// Bipolar interval -1...1 to an integer of `Bits` bits around the midpoint M: 0 for x <= -1,
// M - trunc(|x| * M) up to 0, M + trunc(min(x, 1) * (M - 1)) above (the upper half has one
// step less).
template <unsigned Bits, std::floating_point T>
constexpr uint64_t bipolarUnitIntervalToBits(T x) {
    constexpr uint64_t m = uint64_t{1} << (Bits - 1);
    if (!(x > T(-1))) return 0;
    if (x <= T(0)) {
        const uint64_t below = static_cast<uint64_t>(-x * static_cast<T>(m));
        return below < m ? m - below : 0;
    }
    const T clamped = x < T(1) ? x : T(1);
    const uint64_t above = static_cast<uint64_t>(clamped * static_cast<T>(m - 1));
    return m + (above < m - 1 ? above : m - 1);
}

// An integer of `Bits` bits to the bipolar interval: (v - M) / M up to the midpoint,
// (v - M) / (M - 1) above.
template <unsigned Bits>
constexpr double bipolarUnitIntervalFromBits(uint64_t v) {
    constexpr uint64_t m = uint64_t{1} << (Bits - 1);
    const double offset = static_cast<double>(v) - static_cast<double>(m);
    return offset / static_cast<double>(v <= m ? m : m - 1);
}

}  // namespace midicore::detail
