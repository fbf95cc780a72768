// Conversions of channel-voice values between fractions and MIDI 1.0 and MIDI 2.0 integers.
//
// Unit interval 0...1 to n bits (N = 2^n, midpoint M = N / 2): 0 for x <= 0; trunc(x * N) up to
// 0.5 (so 0.5 gives M); above, M + trunc((min(x, 1) - 0.5) * (N - 2)), so 1 gives N - 1. Back:
// v / N up to M, 1.0 for N - 1, and (v - M) / (N - 2) plus a number just above 0.5 in between,
// so that every 7-bit and 16-bit integer survives the round trip.
//
// Widening from MIDI 1.0 to MIDI 2.0 widths repeats the bits below the top bit downward above the
// midpoint (min, centre and max map onto min, centre and max); narrowing keeps the top bits, and
// narrowing a widened value gives back the original.
//
// No conversion fails: numbers outside the range clamp to its ends, and a NaN counts as the
// bottom of the range.
#pragma once

#include <concepts>
#include <cstdint>

#include "midi_core/detail/scaling_math.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace midicore {

constexpr UInt7 unitIntervalToUInt7(double x) {
    return UInt7::truncating(detail::unitIntervalToBits<7>(x));
}
constexpr UInt14 unitIntervalToUInt14(double x) {
    return UInt14::truncating(detail::unitIntervalToBits<14>(x));
}
constexpr uint16_t unitIntervalToUInt16(double x) {
    return static_cast<uint16_t>(detail::unitIntervalToBits<16>(x));
}
constexpr uint32_t unitIntervalToUInt32(double x) {
    return static_cast<uint32_t>(detail::unitIntervalToBits<32>(x));
}

constexpr double unitIntervalFromUInt7(UInt7 v) {
    return detail::unitIntervalFromBits<7>(v.value());
}
constexpr double unitIntervalFromUInt14(UInt14 v) {
    return detail::unitIntervalFromBits<14>(v.value());
}
constexpr double unitIntervalFromUInt16(uint16_t v) {
    return detail::unitIntervalFromBits<16>(v);
}
constexpr double unitIntervalFromUInt32(uint32_t v) {
    return detail::unitIntervalFromBits<32>(v);
}

// -1.0 for x <= 0 (and NaN); otherwise (min(x, 1) - 0.5) * 2.
constexpr double bipolarUnitIntervalFromUnitInterval(double x) {
    if (!(x > 0.0)) return -1.0;
    return ((x < 1.0 ? x : 1.0) - 0.5) * 2.0;
}

// x * 0.5 + 0.5, not clamped.
template <std::floating_point T>
constexpr double unitIntervalFromBipolarUnitInterval(T x) {
    return static_cast<double>(x * T(0.5) + T(0.5));
}

// (v - 2^31) / 2^31 up to 0x80000000, (v - 2^31) / (2^31 - 1) above.
constexpr double bipolarUnitIntervalFromUInt32(uint32_t v) {
    return detail::bipolarUnitIntervalFromBits<32>(v);
}

// 0 for x <= -1 (and NaN); 0x80000000 - trunc(|x| * 2^31) up to 0; 0x80000000 +
// trunc(min(x, 1) * (2^31 - 1)) above.
template <std::floating_point T>
constexpr uint32_t uInt32FromBipolarUnitInterval(T x) {
    return static_cast<uint32_t>(detail::bipolarUnitIntervalToBits<32>(x));
}

// v << 9 up to 64; above, the six low bits repeated below (65 gives 0x8208, 127 gives 0xFFFF).
constexpr uint16_t upscaledUInt16FromUInt7(UInt7 v) {
    const uint32_t n = v.value();
    if (n <= 64) return static_cast<uint16_t>(n << 9);
    return static_cast<uint16_t>(n << 9 | (n & 0x3F) << 3 | (n >> 3 & 7));
}

// v << 25 up to 64; above, the six low bits repeated until the word is full (65 gives
// 0x82082082, 127 gives 0xFFFFFFFF).
constexpr uint32_t upscaledUInt32FromUInt7(UInt7 v) {
    const uint32_t n = v.value();
    if (n <= 64) return n << 25;
    const uint32_t p = n & 0x3F;
    return n << 25 | p << 19 | p << 13 | p << 7 | p << 1 | p >> 5;
}

// v << 18 up to 8192; above, the thirteen low bits repeated below (16383 gives 0xFFFFFFFF).
constexpr uint32_t upscaledUInt32FromUInt14(UInt14 v) {
    const uint32_t n = v.value();
    if (n <= 8192) return n << 18;
    const uint32_t p = n & 0x1FFF;
    return n << 18 | p << 5 | p >> 8;
}

// Narrowing keeps the top bits.
constexpr UInt7 narrowedUInt7FromUInt16(uint16_t v) {
    return UInt7::truncating(v >> 9);
}
constexpr UInt7 narrowedUInt7FromUInt32(uint32_t v) {
    return UInt7::truncating(v >> 25);
}
constexpr UInt14 narrowedUInt14FromUInt32(uint32_t v) {
    return UInt14::truncating(v >> 18);
}

}  // namespace midicore
