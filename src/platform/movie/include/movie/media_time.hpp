// A point or span of media time: a count of ticks of a timescale (ticks per second). A timescale of
// 0 is never divided by: it makes the time invalid, and an invalid time compares unordered.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

namespace movie {

struct MediaTime {
    // The flag bit that marks a time as valid.
    static constexpr uint32_t validFlag = 1;

    int64_t value = 0;
    int32_t timescale = 0;
    uint32_t flags = 0;

    // value / timescale seconds; invalid when the timescale is not positive.
    static constexpr MediaTime make(int64_t value, int32_t timescale) {
        return MediaTime{value, timescale, timescale > 0 ? validFlag : 0u};
    }
    static constexpr MediaTime invalid() { return MediaTime{}; }
    static constexpr MediaTime zero() { return make(0, 1); }

    constexpr bool isValid() const { return (flags & validFlag) != 0 && timescale > 0; }

    // The time in seconds, none when invalid.
    std::optional<double> seconds() const;

    // The same time in another timescale, rounded to the nearest tick (halves away from zero);
    // invalid when either side is invalid or the result does not fit 64 bits.
    MediaTime convertScale(int32_t newTimescale) const;

    // Compares the times exactly, whatever their timescales (1/2 equals 50/100); invalid times are
    // unordered against everything.
    friend std::partial_ordering operator<=>(const MediaTime& a, const MediaTime& b);
    friend bool operator==(const MediaTime& a, const MediaTime& b) {
        return (a <=> b) == std::partial_ordering::equivalent;
    }
};

}  // namespace movie
