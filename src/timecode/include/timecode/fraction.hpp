// Exact rational numbers and the media time they convert to and from.
//
// A Fraction is a signed 64-bit numerator over a signed 64-bit denominator. It is kept exactly as
// given (1/2 and 2/4 are different values under ==; isEqual compares their worth); reduced()
// brings it to lowest terms. A zero denominator is a defined value, never a division: x/0 reduces
// to sign(x)/0, and turns into an invalid MediaTime.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace timecode {

// Raised when a fraction operation has no result in 64 bits (negating or taking the magnitude of
// the smallest 64-bit integer).
class FractionOverflowError : public std::overflow_error {
  public:
    enum class Case { overflow };
    explicit FractionOverflowError(const std::string& message) : std::overflow_error(message) {}
    Case errorCase() const { return Case::overflow; }
};

// A time as a 64-bit value over a 32-bit timescale (value / timescale seconds). Besides numeric
// times there are the invalid time (a zero or negative timescale makes one), the two infinities
// and the indefinite time.
class MediaTime {
  public:
    enum class Kind : uint8_t { numeric, invalid, positiveInfinity, negativeInfinity, indefinite };

    constexpr MediaTime() = default;  // invalid
    // value / timescale; a timescale of 0 or below gives the invalid time.
    static constexpr MediaTime make(int64_t value, int32_t timescale) {
        MediaTime t;
        if (timescale > 0) {
            t.value_ = value;
            t.timescale_ = timescale;
            t.kind_ = Kind::numeric;
        }
        return t;
    }
    static constexpr MediaTime invalid() { return {}; }
    static constexpr MediaTime positiveInfinity() { return special(Kind::positiveInfinity); }
    static constexpr MediaTime negativeInfinity() { return special(Kind::negativeInfinity); }
    static constexpr MediaTime indefinite() { return special(Kind::indefinite); }

    constexpr int64_t value() const { return value_; }
    constexpr int32_t timescale() const { return timescale_; }
    constexpr Kind kind() const { return kind_; }
    constexpr bool isNumeric() const { return kind_ == Kind::numeric; }
    constexpr bool isValid() const { return kind_ != Kind::invalid; }
    // value / timescale in seconds; NaN when invalid or indefinite, +-infinity for the infinities.
    double seconds() const;

    friend constexpr bool operator==(const MediaTime&, const MediaTime&) = default;

  private:
    static constexpr MediaTime special(Kind kind) {
        MediaTime t;
        t.kind_ = kind;
        return t;
    }
    int64_t value_ = 0;
    int32_t timescale_ = 0;
    Kind kind_ = Kind::invalid;
};

class Fraction {
  public:
    constexpr Fraction() = default;  // 0/1
    constexpr Fraction(int64_t numerator, int64_t denominator)
        : numerator_(numerator), denominator_(denominator) {}
    // A numeric media time as value / timescale; an invalid, indefinite or infinite one as 0/1.
    explicit Fraction(const MediaTime& time);
    // A fraction stored with the cached knowledge that it is (or is not) in lowest terms.
    static constexpr Fraction withReducedFlag(int64_t numerator, int64_t denominator, bool reduced) {
        Fraction f(numerator, denominator);
        f.isReducedFlag_ = reduced;
        return f;
    }

    constexpr int64_t numerator() const { return numerator_; }
    constexpr int64_t denominator() const { return denominator_; }
    // The cached flag: true/false when known, absent when not recorded.
    constexpr std::optional<bool> isReducedFlag() const { return isReducedFlag_; }

    // The same value with value = numerator and timescale = denominator. A negative denominator
    // moves its sign to the value; a denominator that does not fit a 32-bit timescale is first
    // reduced, and gives the invalid time if it still does not fit (as does a zero denominator).
    MediaTime mediaTimeValue() const;
    // numerator / denominator; a zero denominator gives +-infinity, 0/0 gives NaN.
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }

    // Lowest terms, flagged as reduced; the sign of each part is kept (-1/2 reduces to 1/-2 only
    // through the divisor's sign, as the gcd walk gives it). x/0 reduces to sign(x)/0.
    Fraction reduced() const;
    bool isReduced() const;
    // Exactly one of numerator and denominator is negative.
    constexpr bool isNegative() const { return (numerator_ < 0) != (denominator_ < 0); }
    // Both parts non-negative, flag absent. Throws FractionOverflowError for the smallest 64-bit
    // integer.
    Fraction magnitude() const;
    void negate();
    Fraction negated() const;
    // Equal worth: 1/2 isEqual 2/4 and -1/2 isEqual 1/-2.
    bool isEqual(const Fraction& other) const;

    std::string description() const;

    friend constexpr bool operator==(const Fraction& a, const Fraction& b) {
        return a.numerator_ == b.numerator_ && a.denominator_ == b.denominator_;
    }

  private:
    int64_t numerator_ = 0;
    int64_t denominator_ = 1;
    std::optional<bool> isReducedFlag_;
};

}  // namespace timecode

template <>
struct std::hash<timecode::Fraction> {
    size_t operator()(const timecode::Fraction& f) const noexcept {
        size_t h = std::hash<int64_t>{}(f.numerator());
        return h ^ (std::hash<int64_t>{}(f.denominator()) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};
