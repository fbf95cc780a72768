// Time specifications: whole seconds plus nanoseconds, read from the monotonic raw clock and used
// to measure short intervals between incoming MIDI messages.
#pragma once

#include <compare>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace midisupport {

class TimespecError : public std::runtime_error {
  public:
    enum class Case {
        clockFailed,       // the monotonic clock could not be read
        notRepresentable,  // a number of seconds has no 64-bit nanosecond count
        overflow,          // a sum or difference left the 64-bit range
    };
    TimespecError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// Seconds and nanoseconds, as the POSIX record of the same name (which it shadows inside this
// namespace: elsewhere, name it `midisupport::timespec`, not through a using-declaration). A
// normalised value has 0 <= tv_nsec < 1000000000. Ordered by (tv_sec, tv_nsec).
struct timespec {
    int64_t tv_sec = 0;
    int64_t tv_nsec = 0;

    constexpr timespec() = default;
    constexpr timespec(int64_t seconds, int64_t nanoseconds)
        : tv_sec(seconds), tv_nsec(nanoseconds) {}
    // From a number of seconds: seconds x 1e9 truncated toward zero to whole nanoseconds, then
    // split. A negative number gives a negative tv_nsec (-1.5 s is (-1, -500000000)). Throws
    // TimespecError::Case::notRepresentable when the nanosecond count has no 64-bit value.
    explicit timespec(double seconds);

    template <class T>
    requires std::is_floating_point_v<T>
    static timespec fromSeconds(T seconds);

    // The value in seconds: tv_sec + tv_nsec / 1e9.
    double doubleValue() const {
        return static_cast<double>(tv_sec) + static_cast<double>(tv_nsec) / 1e9;
    }

    friend constexpr bool operator==(const timespec&, const timespec&) = default;
    friend constexpr auto operator<=>(const timespec&, const timespec&) = default;
};

// The sum and the difference (left minus right), normalised for normalised inputs. Throw
// TimespecError::Case::overflow when a 64-bit step overflows.
timespec operator+(const timespec& a, const timespec& b);
timespec operator-(const timespec& a, const timespec& b);

// The current reading of the raw monotonic clock, which wall-clock adjustments do not move.
// Throws TimespecError::Case::clockFailed if the clock cannot be read.
timespec timespecNow();

namespace detail {
timespec timespecFromNanoseconds(long double nanoseconds, const char* sourceTypeName);
}

template <class T>
requires std::is_floating_point_v<T> timespec timespec::fromSeconds(T seconds) {
    const char* name = std::is_same_v<T, float>    ? "Float"
                       : std::is_same_v<T, double> ? "Double"
                                                   : "Float80";
    // Multiply in the source type, as the conversion is defined on it.
    return detail::timespecFromNanoseconds(
        static_cast<long double>(seconds * static_cast<T>(1000000000)), name);
}

}  // namespace midisupport
