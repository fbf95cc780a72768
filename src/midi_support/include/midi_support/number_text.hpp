// Hexadecimal and binary text of integers and integer collections, as every description and log
// line of MIDI values shows them. Digits are upper-case. A negative value's digit string starts
// with a minus sign; padding and prefix go in front of it. Padding counts the digit string alone
// and never truncates.
#pragma once

#include <concepts>
#include <cstdint>
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
            const auto magnitude = static_cast<unsigned long long>(-(static_cast<long long>(value) + 1)) + 1;
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

// Each element by hexString(element, padEachTo, prefixes), joined with the separator.
template <class Range>
std::string hexString(const Range& values, int padEachTo, bool prefixes, const std::string& separator) {
    std::string out;
    bool first = true;
    for (const auto& v : values) {
        if (!first) out += separator;
        first = false;
        out += hexString(v, padEachTo, prefixes);
    }
    return out;
}

}  // namespace midisupport
