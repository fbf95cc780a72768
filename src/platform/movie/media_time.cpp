#include "movie/media_time.hpp"

#include <limits>

namespace movie {

namespace {
// GCC and clang provide 128-bit integers as an extension; products of two 64-bit values fit them.
__extension__ typedef __int128 Int128;
}  // namespace

std::optional<double> MediaTime::seconds() const {
    if (!isValid()) {
        return std::nullopt;
    }
    return static_cast<double>(value) / static_cast<double>(timescale);
}

MediaTime MediaTime::convertScale(int32_t newTimescale) const {
    if (!isValid() || newTimescale <= 0) {
        return invalid();
    }
    if (newTimescale == timescale) {
        return *this;
    }
    Int128 scaled = static_cast<Int128>(value) * newTimescale;
    Int128 quotient = scaled / timescale;
    Int128 remainder = scaled % timescale;
    if (remainder != 0 && (remainder < 0 ? -remainder : remainder) * 2 >= timescale) {
        quotient += scaled < 0 ? -1 : 1;
    }
    if (quotient > std::numeric_limits<int64_t>::max() || quotient < std::numeric_limits<int64_t>::min()) {
        return invalid();
    }
    return make(static_cast<int64_t>(quotient), newTimescale);
}

std::partial_ordering operator<=>(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid() || !b.isValid()) {
        return std::partial_ordering::unordered;
    }
    // Both timescales are positive, so cross-multiplying keeps the order; 128 bits cannot overflow.
    Int128 left = static_cast<Int128>(a.value) * b.timescale;
    Int128 right = static_cast<Int128>(b.value) * a.timescale;
    return left <=> right;
}

}  // namespace movie
