// Frame counting shared by the count values and the timecode: exact subframe totals of counts
// and of components, and the split of a total back into components (drop-frame aware).
#pragma once

#include <cstdint>
#include <string>

#include "int128.hpp"
#include "timecode/frame_count.hpp"
#include "timecode/frame_rate.hpp"

namespace timecode::detail {

[[noreturn]] void throwOutOfBounds(const char* what);

// `v` as an int64, or the out-of-bounds error naming `what`.
int64_t checked64(Int128 v, const char* what);

// A finite double truncated toward zero into 64 bits, or the out-of-bounds error.
int64_t truncatedToInt64(double x, const char* what);

// x cut toward zero to 8 fractional digits, as x x 10^8 exactly (its shortest decimal text is
// the decimal the double stands for). Throws for NaN, infinities and |x| >= 2^63.
Int128 decimalTimes1e8(double x);

// Subframes of a unit interval: u x divisor, taken to the nearest integer when it lies within a
// hair of one (0.29 x 100 is 28.999... in doubles), truncated otherwise.
int64_t subFramesOfUnitInterval(double u, int64_t divisor);

// The count in subframes of `base` (exact, 64-bit checked).
Int128 subFrameTotal(const FrameCount::Value& value, SubFramesBase base);

// Whole frames of components at a rate (drop-frame numbering at drop rates), exact.
Int128 framesOfComponents(const Components& c, const TimecodeFrameRate& rate);
// Total subframes of components at a rate and base: frames x divisor + subframes, 64-bit checked.
int64_t subFramesOfComponents(const Components& c, const TimecodeFrameRate& rate, SubFramesBase base);

// The components of a subframe total: a negative total gives a single negative leading component.
Components splitSubFrames(Int128 total, int64_t divisor, const TimecodeFrameRate& rate);

// A table fraction num/den matches `arg` exactly or by equal double quotient; a zero denominator
// on either side matches only exactly.
bool fractionMatches(int64_t num, int64_t den, const Fraction& arg);

// `value` in decimal, zero-padded to at least `width` digits ("%0*lld").
std::string padded(int64_t value, int width);

}  // namespace timecode::detail
