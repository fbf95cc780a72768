// Shared pieces of the fixed-width MIDI integers: which source types they accept, how a source's
// number is read, and how a range violation is raised.
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace midicore {

template <unsigned Bits>
requires(Bits >= 1 && Bits <= 31) class MIDIUnsignedInteger;

namespace detail {

template <class T>
struct IsMIDIUnsignedInteger : std::false_type {};
template <unsigned Bits>
struct IsMIDIUnsignedInteger<MIDIUnsignedInteger<Bits>> : std::true_type {};

// The integer types that std::cmp_* accepts: every integer type except bool and the character
// types.
template <class T>
concept StandardInteger =
    std::integral<T> && !std::same_as<std::remove_cv_t<T>, bool> &&
    !std::same_as<std::remove_cv_t<T>, char> && !std::same_as<std::remove_cv_t<T>, wchar_t> &&
    !std::same_as<std::remove_cv_t<T>, char8_t> && !std::same_as<std::remove_cv_t<T>, char16_t> &&
    !std::same_as<std::remove_cv_t<T>, char32_t>;

// A source the MIDI integers are built from and compared with: a standard integer or another
// MIDI unsigned integer.
template <class T>
concept IntegerSource = StandardInteger<T> || IsMIDIUnsignedInteger<std::remove_cv_t<T>>::value;

// The number a source stands for, as a standard integer.
template <IntegerSource T>
constexpr auto integerValue(T source) {
    if constexpr (StandardInteger<T>) {
        return source;
    } else {
        return source.value();
    }
}

// The magnitude of a source as an unsigned 64-bit number (also for the most negative value).
template <StandardInteger T>
constexpr uint64_t magnitudeOf(T source) {
    if constexpr (std::is_signed_v<T>) {
        if (source < 0) return static_cast<uint64_t>(-(static_cast<int64_t>(source) + 1)) + 1;
    }
    return static_cast<uint64_t>(source);
}

// Raise the overflow, underflow or division-by-zero exception with the reason `integerName`
// followed by " integer overflowed", " integer underflowed" or " integer division by zero".
// They do not return.
[[noreturn]] void raiseOverflow(const char* integerName);
[[noreturn]] void raiseUnderflow(const char* integerName);
[[noreturn]] void raiseDivisionByZero(const char* integerName);

// `source` if lower <= source <= upper; raises underflow (tested first) or overflow otherwise.
template <IntegerSource T>
constexpr int64_t checkedInRange(T source, int64_t lower, int64_t upper, const char* integerName) {
    const auto number = integerValue(source);
    if (std::cmp_less(number, lower)) raiseUnderflow(integerName);
    if (std::cmp_greater(number, upper)) raiseOverflow(integerName);
    return static_cast<int64_t>(number);
}

// True when lower <= source <= upper, compared exactly.
template <IntegerSource T>
constexpr bool isInRange(T source, int64_t lower, int64_t upper) {
    const auto number = integerValue(source);
    return !std::cmp_less(number, lower) && !std::cmp_greater(number, upper);
}

// "UInt" followed by the width in decimal, as a zero-terminated text.
template <unsigned Bits>
inline constexpr auto unsignedIntegerName = [] {
    struct Text {
        char chars[7] = {'U', 'I', 'n', 't', 0, 0, 0};
    } text;
    unsigned i = 4;
    if (Bits >= 10) text.chars[i++] = static_cast<char>('0' + Bits / 10);
    text.chars[i] = static_cast<char>('0' + Bits % 10);
    return text;
}();

}  // namespace detail
}  // namespace midicore
