#include "midi_support/timespec.hpp"

#include <cerrno>
#include <ctime>

namespace midisupport {

namespace {

constexpr int64_t nanosecondsPerSecond = 1000000000;

int64_t checkedAdd(int64_t a, int64_t b) {
    int64_t result;
    if (__builtin_add_overflow(a, b, &result)) {
        throw TimespecError(TimespecError::Case::overflow, "timespec arithmetic overflowed");
    }
    return result;
}

int64_t checkedSubtract(int64_t a, int64_t b) {
    int64_t result;
    if (__builtin_sub_overflow(a, b, &result)) {
        throw TimespecError(TimespecError::Case::overflow, "timespec arithmetic overflowed");
    }
    return result;
}

}  // namespace

namespace detail {

timespec timespecFromNanoseconds(long double nanoseconds, const char* sourceTypeName) {
    // The 64-bit range is [-2^63, 2^63); NaN fails both comparisons.
    constexpr long double lower = -9223372036854775808.0L;
    constexpr long double upper = 9223372036854775808.0L;
    if (!(nanoseconds >= lower && nanoseconds < upper)) {
        throw TimespecError(TimespecError::Case::notRepresentable,
                            std::string(sourceTypeName) +
                                " value cannot be converted to Int because it is outside the "
                                "representable range");
    }
    const auto ns = static_cast<int64_t>(nanoseconds);  // truncates toward zero
    const int64_t seconds = ns / nanosecondsPerSecond;
    return {seconds, ns - seconds * nanosecondsPerSecond};
}

}  // namespace detail

timespec::timespec(double seconds) : timespec(fromSeconds(seconds)) {}

timespec operator+(const timespec& a, const timespec& b) {
    const int64_t s = checkedAdd(a.tv_sec, b.tv_sec);
    const int64_t n = checkedAdd(a.tv_nsec, b.tv_nsec);
    const int64_t carry = n / nanosecondsPerSecond;
    return {checkedAdd(s, carry), n - carry * nanosecondsPerSecond};
}

timespec operator-(const timespec& a, const timespec& b) {
    const int64_t d = checkedSubtract(a.tv_nsec, b.tv_nsec);
    const int64_t seconds = checkedSubtract(a.tv_sec, b.tv_sec);
    if (d >= 0) {
        return {checkedAdd(seconds, d / nanosecondsPerSecond), d % nanosecondsPerSecond};
    }
    // Borrow from the seconds.
    const int64_t m = checkedSubtract(0, d);
    const int64_t q = m / nanosecondsPerSecond;
    return {checkedSubtract(checkedSubtract(seconds, 1), q),
            nanosecondsPerSecond - (m - q * nanosecondsPerSecond)};
}

timespec timespecNow() {
    ::timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC_RAW, &now) != 0) {
        throw TimespecError(TimespecError::Case::clockFailed,
                            "Could not execute clock_gettime, errno: " + std::to_string(errno));
    }
    return {static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_nsec)};
}

}  // namespace midisupport
