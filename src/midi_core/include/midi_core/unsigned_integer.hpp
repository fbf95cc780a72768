// The fixed-width unsigned MIDI integers: UInt4 (channels, groups, nibbles), UInt7 (MIDI 1.0 data
// bytes), UInt9 (the fine part of a 7.9 pitch), UInt14 (pitch bend, song position, 14-bit
// parameter values) and UInt25 (the fine part of a 7.25 pitch).
//
// A value never holds a number outside 0...max. The checked construction, every arithmetic
// result and every left shift raise the overflow or underflow exception of midi_support
// (midisupport::RaisedException, whose what() is e.g. "UInt7 integer overflowed") instead of
// producing an out-of-range value. Code that takes numbers from outside uses `exactly`, which
// gives no value instead, or `clamping` / `truncating`, which never fail.
#pragma once

#include <bit>
#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "midi_core/detail/integer_support.hpp"
#include "midi_core/detail/scaling_math.hpp"

namespace midicore {

struct UInt7Pair;

// Thrown when an encoded MIDI integer holds a number its type cannot hold.
class DecodingError : public std::runtime_error {
  public:
    enum class Case { dataCorrupted };
    DecodingError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

template <unsigned Bits>
requires(Bits >= 1 && Bits <= 31) class MIDIUnsignedInteger {
  public:
    // The smallest standard unsigned integer that holds the width: 8, 16 or 32 bits.
    using Storage = std::conditional_t<(Bits <= 8), uint8_t,
                                       std::conditional_t<(Bits <= 16), uint16_t, uint32_t>>;

    static constexpr unsigned bitWidth = Bits;
    static constexpr bool isSigned = false;
    // The type's name as messages show it ("UInt7").
    static constexpr const char* integerName = detail::unsignedIntegerName<Bits>.chars;

    // 0.
    constexpr MIDIUnsignedInteger() = default;

    // Checked: raises underflow for a negative source and overflow above max().
    template <detail::IntegerSource T>
    constexpr explicit MIDIUnsignedInteger(T source)
        : storage_(
              static_cast<Storage>(detail::checkedInRange(source, 0, maxStorage, integerName))) {}

    // Checked, fraction dropped: raises underflow below 0 (so -0.01 raises while -0.0 gives 0)
    // and overflow above max() (so 127.5 raises for UInt7). A NaN raises overflow.
    template <std::floating_point T>
    constexpr explicit MIDIUnsignedInteger(T source) : storage_(checkedFloatingStorage(source)) {}

    static constexpr MIDIUnsignedInteger min() { return MIDIUnsignedInteger(); }
    static constexpr MIDIUnsignedInteger max() { return fromStorage(maxStorage); }
    static constexpr MIDIUnsignedInteger zero() { return MIDIUnsignedInteger(); }
    // The centre of the range (64, 8192, 0x1000000), for the widths that have one.
    static constexpr MIDIUnsignedInteger midpoint() requires(Bits == 7 || Bits == 14 ||
                                                             Bits == 25) {
        return fromStorage(static_cast<Storage>(Storage{1} << (Bits - 1)));
    }

    // The value, or none when the source lies outside 0...max().
    template <detail::IntegerSource T>
    static constexpr std::optional<MIDIUnsignedInteger> exactly(T source) {
        if (!detail::isInRange(source, 0, maxStorage)) return std::nullopt;
        return fromStorage(static_cast<Storage>(detail::integerValue(source)));
    }

    // None below 0 or above max() (and for NaN); otherwise the value with its fraction dropped
    // (3.5 gives 3).
    template <std::floating_point T>
    static constexpr std::optional<MIDIUnsignedInteger> exactly(T source) {
        if (!isInFloatingRange(source)) return std::nullopt;
        return fromStorage(static_cast<Storage>(source));
    }

    // The source limited to 0...max(), for any source (UINT64_MAX gives max()).
    template <detail::IntegerSource T>
    static constexpr MIDIUnsignedInteger clamping(T source) {
        const auto number = detail::integerValue(source);
        if (std::cmp_less(number, 0)) return min();
        if (std::cmp_greater(number, maxStorage)) return max();
        return fromStorage(static_cast<Storage>(number));
    }

    // The low bitWidth bits of the source's two's-complement form; never fails (UInt7: 300 gives
    // 44, -1 gives 127).
    template <detail::IntegerSource T>
    static constexpr MIDIUnsignedInteger truncating(T source) {
        return fromStorage(
            static_cast<Storage>(static_cast<uint64_t>(detail::integerValue(source)) & maxStorage));
    }

    // Reading an encoded value: the number as stored. Throws DecodingError (dataCorrupted,
    // "Encoded value is not a valid UInt7.") for a number above max().
    static MIDIUnsignedInteger decoded(Storage encoded) {
        if (encoded > maxStorage) {
            throw DecodingError(DecodingError::Case::dataCorrupted,
                                std::string("Encoded value is not a valid ") + integerName + ".");
        }
        return fromStorage(encoded);
    }
    constexpr Storage encoded() const { return storage_; }

    constexpr Storage value() const { return storage_; }
    constexpr Storage magnitude() const { return storage_; }

    // --- Arithmetic. Results outside 0...max() raise; nothing wraps.

    friend constexpr MIDIUnsignedInteger operator+(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromWide(uint64_t{a.storage_} + b.storage_);
    }
    friend constexpr MIDIUnsignedInteger operator-(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        if (a.storage_ < b.storage_) detail::raiseUnderflow(integerName);
        return fromStorage(static_cast<Storage>(a.storage_ - b.storage_));
    }
    friend constexpr MIDIUnsignedInteger operator*(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromWide(uint64_t{a.storage_} * b.storage_);
    }
    // Division and remainder raise the division-by-zero exception for a divisor of 0.
    friend constexpr MIDIUnsignedInteger operator/(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromStorage(static_cast<Storage>(a.storage_ / nonZero(b)));
    }
    friend constexpr MIDIUnsignedInteger operator%(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromStorage(static_cast<Storage>(a.storage_ % nonZero(b)));
    }
    constexpr MIDIUnsignedInteger& operator+=(MIDIUnsignedInteger b) { return *this = *this + b; }
    constexpr MIDIUnsignedInteger& operator-=(MIDIUnsignedInteger b) { return *this = *this - b; }
    constexpr MIDIUnsignedInteger& operator*=(MIDIUnsignedInteger b) { return *this = *this * b; }
    constexpr MIDIUnsignedInteger& operator/=(MIDIUnsignedInteger b) { return *this = *this / b; }
    constexpr MIDIUnsignedInteger& operator%=(MIDIUnsignedInteger b) { return *this = *this % b; }

    struct QuotientAndRemainder {
        MIDIUnsignedInteger quotient;
        MIDIUnsignedInteger remainder;
        friend constexpr bool operator==(const QuotientAndRemainder&,
                                         const QuotientAndRemainder&) = default;
    };
    constexpr QuotientAndRemainder quotientAndRemainder(MIDIUnsignedInteger divisor) const {
        return {*this / divisor, *this % divisor};
    }
    // With a divisor of 0, true only for 0.
    constexpr bool isMultiple(MIDIUnsignedInteger of) const {
        return of.storage_ == 0 ? storage_ == 0 : storage_ % of.storage_ == 0;
    }
    // 0 for 0, else 1.
    constexpr MIDIUnsignedInteger signum() const { return fromStorage(storage_ != 0 ? 1 : 0); }

    // --- Bits.

    friend constexpr MIDIUnsignedInteger operator&(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromStorage(static_cast<Storage>(a.storage_ & b.storage_));
    }
    friend constexpr MIDIUnsignedInteger operator|(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromStorage(static_cast<Storage>(a.storage_ | b.storage_));
    }
    friend constexpr MIDIUnsignedInteger operator^(MIDIUnsignedInteger a, MIDIUnsignedInteger b) {
        return fromStorage(static_cast<Storage>(a.storage_ ^ b.storage_));
    }
    // Every bit within bitWidth inverted: max() - value.
    friend constexpr MIDIUnsignedInteger operator~(MIDIUnsignedInteger a) {
        return fromStorage(static_cast<Storage>(maxStorage ^ a.storage_));
    }
    constexpr MIDIUnsignedInteger& operator&=(MIDIUnsignedInteger b) { return *this = *this & b; }
    constexpr MIDIUnsignedInteger& operator|=(MIDIUnsignedInteger b) { return *this = *this | b; }
    constexpr MIDIUnsignedInteger& operator^=(MIDIUnsignedInteger b) { return *this = *this ^ b; }

    // Shifts by an amount of any integer type; a negative amount shifts the other way. A left
    // shift that would move a set bit beyond bitWidth raises overflow (UInt7: 0x40 << 1 and
    // 0x40 << 2 both raise); right shifts drop bits and never fail.
    template <detail::IntegerSource T>
    friend constexpr MIDIUnsignedInteger operator<<(MIDIUnsignedInteger a, T amount) {
        const auto n = detail::integerValue(amount);
        if (std::cmp_less(n, 0)) return shiftedRight(a.storage_, detail::magnitudeOf(n));
        return shiftedLeft(a.storage_, detail::magnitudeOf(n));
    }
    template <detail::IntegerSource T>
    friend constexpr MIDIUnsignedInteger operator>>(MIDIUnsignedInteger a, T amount) {
        const auto n = detail::integerValue(amount);
        if (std::cmp_less(n, 0)) return shiftedLeft(a.storage_, detail::magnitudeOf(n));
        return shiftedRight(a.storage_, detail::magnitudeOf(n));
    }
    template <detail::IntegerSource T>
    constexpr MIDIUnsignedInteger& operator<<=(T amount) {
        return *this = *this << amount;
    }
    template <detail::IntegerSource T>
    constexpr MIDIUnsignedInteger& operator>>=(T amount) {
        return *this = *this >> amount;
    }

    // The number of trailing zero bits within bitWidth; bitWidth for 0.
    constexpr unsigned trailingZeroBitCount() const {
        return storage_ == 0 ? Bits : static_cast<unsigned>(std::countr_zero(storage_));
    }

    // --- Order and comparison. Comparisons with any integer (or another width) compare the
    // numbers exactly; a negative number is below every value.

    friend constexpr bool operator==(MIDIUnsignedInteger, MIDIUnsignedInteger) = default;
    friend constexpr std::strong_ordering operator<=>(MIDIUnsignedInteger,
                                                      MIDIUnsignedInteger) = default;

    template <detail::StandardInteger T>
    friend constexpr bool operator==(MIDIUnsignedInteger a, T b) {
        return std::cmp_equal(a.storage_, b);
    }
    template <detail::StandardInteger T>
    friend constexpr std::strong_ordering operator<=>(MIDIUnsignedInteger a, T b) {
        if (std::cmp_less(a.storage_, b)) return std::strong_ordering::less;
        if (std::cmp_greater(a.storage_, b)) return std::strong_ordering::greater;
        return std::strong_ordering::equal;
    }

    // --- Strides.

    // The other value minus this one.
    constexpr int64_t distance(MIDIUnsignedInteger to) const {
        return static_cast<int64_t>(to.storage_) - static_cast<int64_t>(storage_);
    }
    // This value moved by n; only the result is checked (10 by -1 is 9, 10 by -11 raises
    // underflow).
    constexpr MIDIUnsignedInteger advanced(int64_t by) const {
        if (by < 0) {
            if (detail::magnitudeOf(by) > storage_) detail::raiseUnderflow(integerName);
            return fromStorage(static_cast<Storage>(storage_ - detail::magnitudeOf(by)));
        }
        if (static_cast<uint64_t>(by) > uint64_t{maxStorage} - storage_) {
            detail::raiseOverflow(integerName);
        }
        return fromStorage(static_cast<Storage>(storage_ + static_cast<uint64_t>(by)));
    }

    // --- 14-bit values.

    // The two 7-bit halves: msb = bits 7-13, lsb = bits 0-6.
    constexpr UInt7Pair uInt7Pair() const requires(Bits == 14);
    // msb x 128 + lsb; always in range.
    static constexpr MIDIUnsignedInteger fromUInt7Pair(const UInt7Pair& pair) requires(Bits == 14);

    // The value in -1...1 around the midpoint: 0 gives -1.0, 8192 gives 0.0, 16383 gives 1.0
    // (the lower half scales by 8192, the upper by 8191).
    constexpr double bipolarUnitIntervalValue() const requires(Bits == 14) {
        return detail::bipolarUnitIntervalFromBits<14>(storage_);
    }
    // The inverse, clamping to -1...1: -1 gives 0, -0.5 gives 4096, 0 gives 8192, 0.5 gives 12287,
    // 1 gives 16383. A NaN gives 0.
    template <std::floating_point T>
    static constexpr MIDIUnsignedInteger fromBipolarUnitInterval(T x) requires(Bits == 14) {
        return fromStorage(static_cast<Storage>(detail::bipolarUnitIntervalToBits<14>(x)));
    }

    // --- Text.

    // The decimal digits.
    std::string description() const { return std::to_string(storage_); }
    // The type name with the decimal digits in parentheses: "UInt14(8192)".
    std::string debugDescription() const {
        return std::string(integerName) + "(" + description() + ")";
    }
    friend std::ostream& operator<<(std::ostream& out, MIDIUnsignedInteger v) {
        return out << v.description();
    }

    size_t hash() const { return std::hash<Storage>{}(storage_); }

  private:
    static constexpr Storage maxStorage = static_cast<Storage>((uint64_t{1} << Bits) - 1);

    static constexpr MIDIUnsignedInteger fromStorage(Storage storage) {
        MIDIUnsignedInteger v;
        v.storage_ = storage;
        return v;
    }
    static constexpr MIDIUnsignedInteger fromWide(uint64_t wide) {
        if (wide > maxStorage) detail::raiseOverflow(integerName);
        return fromStorage(static_cast<Storage>(wide));
    }
    static constexpr Storage nonZero(MIDIUnsignedInteger divisor) {
        if (divisor.storage_ == 0) detail::raiseDivisionByZero(integerName);
        return divisor.storage_;
    }
    static constexpr MIDIUnsignedInteger shiftedLeft(Storage v, uint64_t n) {
        if (v == 0) return MIDIUnsignedInteger();
        if (n >= Bits) detail::raiseOverflow(integerName);
        return fromWide(uint64_t{v} << n);
    }
    static constexpr MIDIUnsignedInteger shiftedRight(Storage v, uint64_t n) {
        return fromStorage(n >= Bits ? Storage{0} : static_cast<Storage>(v >> n));
    }

    template <std::floating_point T>
    static constexpr bool isInFloatingRange(T source) {
        // Compared in long double, which holds every maximum exactly (a float cannot hold
        // 0x1FFFFFF). NaN fails both tests.
        return source >= T(0) &&
               static_cast<long double>(source) <= static_cast<long double>(maxStorage);
    }
    template <std::floating_point T>
    static constexpr Storage checkedFloatingStorage(T source) {
        if (source < T(0)) detail::raiseUnderflow(integerName);
        if (!isInFloatingRange(source)) detail::raiseOverflow(integerName);
        return static_cast<Storage>(source);
    }

    Storage storage_ = 0;
};

// Comparisons across widths compare the numbers.
template <unsigned A, unsigned B>
requires(A != B) constexpr bool operator==(MIDIUnsignedInteger<A> a, MIDIUnsignedInteger<B> b) {
    return std::cmp_equal(a.value(), b.value());
}
template <unsigned A, unsigned B>
requires(A != B) constexpr std::strong_ordering operator<=>(MIDIUnsignedInteger<A> a,
                                                            MIDIUnsignedInteger<B> b) {
    return uint32_t{a.value()} <=> uint32_t{b.value()};
}

using UInt4 = MIDIUnsignedInteger<4>;
using UInt7 = MIDIUnsignedInteger<7>;
using UInt9 = MIDIUnsignedInteger<9>;
using UInt14 = MIDIUnsignedInteger<14>;
using UInt25 = MIDIUnsignedInteger<25>;

// Any of the MIDI unsigned integer types.
template <class T>
concept MIDIUnsignedIntegerType = detail::IsMIDIUnsignedInteger<std::remove_cv_t<T>>::value;

// Two 7-bit data bytes that form one 14-bit quantity (a parameter number, a data-entry value).
struct UInt7Pair {
    UInt7 msb;
    UInt7 lsb;

    // msb x 128 + lsb.
    constexpr UInt14 uInt14Value() const { return UInt14::fromUInt7Pair(*this); }
    // "[msb: 0x01, lsb: 0x7F]".
    std::string description() const;
    size_t hash() const;

    friend constexpr bool operator==(const UInt7Pair&, const UInt7Pair&) = default;
    friend std::ostream& operator<<(std::ostream& out, const UInt7Pair& pair) {
        return out << pair.description();
    }
};

template <unsigned Bits>
requires(Bits >= 1 && Bits <= 31) constexpr UInt7Pair MIDIUnsignedInteger<Bits>::uInt7Pair() const
    requires(Bits == 14) {
    return UInt7Pair{UInt7::truncating(storage_ >> 7), UInt7::truncating(storage_)};
}

template <unsigned Bits>
requires(Bits >= 1 && Bits <= 31) constexpr MIDIUnsignedInteger<Bits> MIDIUnsignedInteger<
    Bits>::fromUInt7Pair(const UInt7Pair& pair) requires(Bits == 14) {
    return fromStorage(static_cast<Storage>(pair.msb.value() * 128u + pair.lsb.value()));
}

// A byte split into its high half (bits 4-7) and low half (bits 0-3).
struct Nibbles {
    UInt4 high;
    UInt4 low;
    friend constexpr bool operator==(const Nibbles&, const Nibbles&) = default;
};

constexpr Nibbles nibbles(uint8_t byte) {
    return Nibbles{UInt4::truncating(byte >> 4), UInt4::truncating(byte)};
}
// high x 16 + low.
constexpr uint8_t byteFromNibbles(UInt4 high, UInt4 low) {
    return static_cast<uint8_t>(high.value() << 4 | low.value());
}

}  // namespace midicore

template <unsigned Bits>
struct std::hash<midicore::MIDIUnsignedInteger<Bits>> {
    size_t operator()(midicore::MIDIUnsignedInteger<Bits> v) const { return v.hash(); }
};

template <>
struct std::hash<midicore::UInt7Pair> {
    size_t operator()(const midicore::UInt7Pair& pair) const { return pair.hash(); }
};
