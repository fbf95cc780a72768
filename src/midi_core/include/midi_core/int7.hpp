// A signed seven-bit integer, -64...63, for relative movements such as control-surface knob and
// wheel deltas. It is stored as its two's-complement pattern: the low six bits and the sign bit.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "midi_core/detail/integer_support.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace midicore {

class Int7 {
  public:
    static constexpr const char* integerName = "Int7";

    // 0.
    constexpr Int7() = default;

    // Checked: raises underflow below -64 ("Int7 integer underflowed") and overflow above 63
    // ("Int7 integer overflowed").
    template <detail::IntegerSource T>
    constexpr explicit Int7(T source)
        : Int7(fromPattern(
              static_cast<uint64_t>(detail::checkedInRange(source, -64, 63, integerName)))) {}

    // The value, or none outside -64...63.
    template <detail::IntegerSource T>
    static constexpr std::optional<Int7> exactly(T source) {
        if (!detail::isInRange(source, -64, 63)) return std::nullopt;
        return Int7(source);
    }

    // From a seven-bit two's-complement pattern: bits 0-5 and the sign in bit 6; higher bits are
    // ignored (0x7F gives -1, 0x40 gives -64, 0x3F gives 63).
    template <detail::IntegerSource T>
    static constexpr Int7 fromBitPattern(T pattern) {
        return fromPattern(static_cast<uint64_t>(detail::integerValue(pattern)));
    }

    static constexpr Int7 min() { return fromPattern(0x40); }
    static constexpr Int7 max() { return fromPattern(0x3F); }

    constexpr uint8_t sixBitStorage() const { return sixBitStorage_; }
    constexpr bool isNegative() const { return isNegative_; }

    // The signed value.
    constexpr int intValue() const { return isNegative_ ? sixBitStorage_ - 64 : sixBitStorage_; }
    // The seven-bit pattern.
    constexpr uint8_t uInt8Value() const {
        return static_cast<uint8_t>(sixBitStorage_ | (isNegative_ ? 0x40 : 0));
    }
    constexpr UInt7 uInt7Value() const { return UInt7::truncating(uInt8Value()); }

    // "0b" and exactly seven binary digits of the pattern (-1 gives "0b1111111").
    std::string binaryString() const;
    // The signed value in decimal ("-3").
    std::string description() const { return std::to_string(intValue()); }

    friend constexpr bool operator==(Int7 a, Int7 b) {
        return a.sixBitStorage_ == b.sixBitStorage_ && a.isNegative_ == b.isNegative_;
    }
    friend constexpr std::strong_ordering operator<=>(Int7 a, Int7 b) {
        return a.intValue() <=> b.intValue();
    }
    friend std::ostream& operator<<(std::ostream& out, Int7 v) { return out << v.description(); }

    // Hashes the signed value.
    size_t hash() const { return std::hash<int>{}(intValue()); }

  private:
    static constexpr Int7 fromPattern(uint64_t pattern) {
        Int7 v;
        v.sixBitStorage_ = static_cast<uint8_t>(pattern & 0x3F);
        v.isNegative_ = (pattern & 0x40) != 0;
        return v;
    }

    uint8_t sixBitStorage_ = 0;
    bool isNegative_ = false;
};

}  // namespace midicore

template <>
struct std::hash<midicore::Int7> {
    size_t operator()(midicore::Int7 v) const { return v.hash(); }
};
