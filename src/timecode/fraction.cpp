#include "timecode/fraction.hpp"

#include <cmath>
#include <limits>

#include "int128.hpp"

namespace timecode {

namespace {

using detail::Int128;
constexpr auto fits64 = detail::fitsInt64;

[[noreturn]] void overflow(const char* what) {
    throw FractionOverflowError(std::string("The fraction cannot be ") + what + " in 64 bits.");
}

// Lowest terms by the truncating-remainder walk; the divisor can come out negative and carries
// its sign into the parts. x/0 gives sign(x)/0 and 0/0 stays 0/0.
std::pair<Int128, Int128> reducedParts(Int128 n, Int128 d) {
    if (d == 0) return {n > 0 ? 1 : (n < 0 ? -1 : 0), 0};
    Int128 sn = n < 0 ? -1 : 1;
    Int128 sd = d < 0 ? -1 : 1;
    Int128 an = n < 0 ? -n : n;
    Int128 ad = d < 0 ? -d : d;
    Int128 g;
    if (n == 0) {
        g = d;
    } else {
        Int128 a = n, b = d;
        while (a != 0) {
            Int128 r = b % a;
            b = a;
            a = r;
        }
        g = b;
    }
    return {(an / g) * sn, (ad / g) * sd};
}

}  // namespace

double MediaTime::seconds() const {
    switch (kind_) {
        case Kind::numeric: return static_cast<double>(value_) / static_cast<double>(timescale_);
        case Kind::positiveInfinity: return std::numeric_limits<double>::infinity();
        case Kind::negativeInfinity: return -std::numeric_limits<double>::infinity();
        case Kind::invalid:
        case Kind::indefinite: break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

Fraction::Fraction(const MediaTime& time) {
    if (time.isNumeric()) {
        numerator_ = time.value();
        denominator_ = time.timescale();
    }
}

MediaTime Fraction::mediaTimeValue() const {
    if (denominator_ == 0) return MediaTime::invalid();
    Int128 n = numerator_, d = denominator_;
    if (d < 0) {
        n = -n;
        d = -d;
    }
    if (d > std::numeric_limits<int32_t>::max()) {
        auto [rn, rd] = reducedParts(n, d);
        n = rn;
        d = rd;
    }
    if (d > std::numeric_limits<int32_t>::max() || !fits64(n)) return MediaTime::invalid();
    return MediaTime::make(static_cast<int64_t>(n), static_cast<int32_t>(d));
}

double Fraction::doubleValue() const {
    if (denominator_ == 0) {
        if (numerator_ == 0) return std::numeric_limits<double>::quiet_NaN();
        return numerator_ > 0 ? std::numeric_limits<double>::infinity()
                              : -std::numeric_limits<double>::infinity();
    }
    return static_cast<double>(numerator_) / static_cast<double>(denominator_);
}

Fraction Fraction::reduced() const {
    if (isReducedFlag_ == true) return *this;
    auto [n, d] = reducedParts(numerator_, denominator_);
    if (!fits64(n) || !fits64(d)) overflow("reduced");
    return withReducedFlag(static_cast<int64_t>(n), static_cast<int64_t>(d), true);
}

bool Fraction::isReduced() const {
    if (isReducedFlag_ == true) return true;
    auto [n, d] = reducedParts(numerator_, denominator_);
    return n == numerator_ && d == denominator_;
}

Fraction Fraction::magnitude() const {
    if (numerator_ == std::numeric_limits<int64_t>::min() ||
        denominator_ == std::numeric_limits<int64_t>::min())
        overflow("made non-negative");
    return Fraction(numerator_ < 0 ? -numerator_ : numerator_,
                    denominator_ < 0 ? -denominator_ : denominator_);
}

void Fraction::negate() {
    if (numerator_ == std::numeric_limits<int64_t>::min()) overflow("negated");
    numerator_ = -numerator_;
    isReducedFlag_.reset();
}

Fraction Fraction::negated() const {
    Fraction f = *this;
    f.negate();
    return f;
}

bool Fraction::isEqual(const Fraction& other) const {
    auto normal = [](const Fraction& f) {
        auto [n, d] = reducedParts(f.numerator_, f.denominator_);
        if (d < 0) {
            n = -n;
            d = -d;
        }
        return std::pair{n, d};
    };
    return normal(*this) == normal(other);
}

std::string Fraction::description() const {
    return std::to_string(numerator_) + "/" + std::to_string(denominator_);
}

}  // namespace timecode
