// Hexadecimal and binary text of integers and integer collections, as every description and log
// line of MIDI values shows them. Digits are upper-case. A negative value's digit string starts
// with a minus sign; padding and prefix go in front of it. Padding counts the digit string alone
// and never truncates.
#pragma once

#include <concepts>
#include <cstdint>
#include <ranges>
#include <string>
#include <type_traits>

namespace midisupport {

namespace detail {

// The digits of `magnitude` in base 2 or 16, upper-case, with a leading '-' when `negative`.
std::string digitString(unsigned long long magnitude, bool negative, unsigned base);
std::string padded(std::string digits, int padTo, const char* prefix);

template <std::integral T>
std::string digitsOf(T value, unsigned base) {
    if constexpr (std::is_signed_v<T>) {
        if (value < 0) {
            // Magnitude of the most negative value without overflow.
            const auto magnitude =
                static_cast<unsigned long long>(-(static_cast<long long>(value) + 1)) + 1;
            return digitString(magnitude, true, base);
        }
    }
    return digitString(static_cast<unsigned long long>(value), false, base);
}

}  // namespace detail

template <std::integral T>
std::string hexString(T value, bool prefix = false) {
    return detail::padded(detail::digitsOf(value, 16), 0, prefix ? "0x" : "");
}

template <std::integral T>
std::string hexString(T value, int padTo, bool prefix = false) {
    return detail::padded(detail::digitsOf(value, 16), padTo, prefix ? "0x" : "");
}

template <std::integral T>
std::string binaryString(T value, bool prefix = false) {
    return detail::padded(detail::digitsOf(value, 2), 0, prefix ? "0b" : "");
}

template <std::integral T>
std::string binaryString(T value, int padTo, bool prefix = false) {
    return detail::padded(detail::digitsOf(value, 2), padTo, prefix ? "0b" : "");
}

namespace detail {

// The elements of `values`, each turned into text by `format`, joined with `separator`.
template <std::ranges::input_range Range, class Format>
std::string joined(const Range& values, const std::string& separator, Format format) {
    std::string out;
    bool first = true;
    for (const auto& v : values) {
        if (!first) out += separator;
        first = false;
        out += format(v);
    }
    return out;
}

}  // namespace detail

// Each element by hexString(element, prefixes), joined with the separator.
template <std::ranges::input_range Range>
std::string hexString(const Range& values, bool prefixes, const std::string& separator) {
    return detail::joined(values, separator, [&](auto v) { return hexString(v, prefixes); });
}

// Each element by hexString(element, padEachTo, prefixes), joined with the separator.
template <std::ranges::input_range Range>
std::string hexString(const Range& values, int padEachTo, bool prefixes,
                      const std::string& separator) {
    return detail::joined(values, separator,
                          [&](auto v) { return hexString(v, padEachTo, prefixes); });
}

// Each element by binaryString(element, prefixes), joined with the separator.
template <std::ranges::input_range Range>
std::string binaryString(const Range& values, bool prefixes, const std::string& separator) {
    return detail::joined(values, separator, [&](auto v) { return binaryString(v, prefixes); });
}

// Each element by binaryString(element, padEachTo, prefixes), joined with the separator.
template <std::ranges::input_range Range>
std::string binaryString(const Range& values, int padEachTo, bool prefixes,
                         const std::string& separator) {
    return detail::joined(values, separator,
                          [&](auto v) { return binaryString(v, padEachTo, prefixes); });
}

// "[" + each element by hexString(element, padEachTo, true), joined with ", " + "]".
template <std::ranges::input_range Range>
std::string hexArrayString(const Range& values, int padEachTo) {
    return "[" + hexString(values, padEachTo, true, ", ") + "]";
}

// Decimal text, zero-filled to a width of at least `padTo` characters, the minus sign of a
// negative value counted in the width and written before the zeros: 7 with 3 gives "007", -42 with
// 5 gives "-0042". Never truncated; no filling for `padTo` below 1.
template <std::integral T>
std::string decimalString(T value, int padTo) {
    std::string digits = detail::digitsOf(value, 10);
    if (digits.front() == '-') return "-" + detail::padded(digits.substr(1), padTo - 1, "");
    return detail::padded(std::move(digits), padTo, "");
}

// The bit of `value` at `position` (0 is the least significant) as 0 or 1. Positions past the
// width give the sign bit (0 for unsigned types); negative positions give 0.
template <std::integral T>
requires(!std::same_as<T, bool>) T bit(T value, int position) {
    constexpr int width = static_cast<int>(sizeof(T) * 8);
    if (position < 0) return T{0};
    if (position >= width) return static_cast<T>(value < T{0} ? 1 : 0);
    using Unsigned = std::make_unsigned_t<T>;
    return static_cast<T>((static_cast<Unsigned>(value) >> position) & Unsigned{1});
}

}  // namespace midisupport
