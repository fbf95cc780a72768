#include "midi_file/musical_time.hpp"

#include <algorithm>
#include <limits>

namespace midifile {

namespace {

constexpr int64_t maxInt = std::numeric_limits<int64_t>::max();
constexpr int64_t minInt = std::numeric_limits<int64_t>::min();

// Sums of products of 64-bit fields, in 128 bits with saturation, so that the most negative
// count comes back exactly and anything beyond the 64-bit range ends at its edge.
__extension__ using Wide = __int128;
constexpr Wide wideMax = ~(static_cast<Wide>(1) << 127);
constexpr Wide wideMin = -wideMax - 1;

Wide saturatingAdd(Wide a, Wide b) {
    Wide sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? wideMax : wideMin;
}

Wide saturatingMultiply(Wide a, Wide b) {
    Wide product = 0;
    if (!__builtin_mul_overflow(a, b, &product)) return product;
    return (a < 0) == (b < 0) ? wideMax : wideMin;
}

int64_t narrowed(Wide value) {
    if (value > maxInt) return maxInt;
    if (value < minInt) return minInt;
    return static_cast<int64_t>(value);
}

int64_t storable(uint64_t magnitude) {
    return magnitude > static_cast<uint64_t>(maxInt) ? maxInt : static_cast<int64_t>(magnitude);
}

}  // namespace

MusicalTimeValue::MusicalTimeValue(int64_t bar, int64_t beat, int64_t beatDivision, int64_t ticks,
                                   int64_t beatsPerBar, int64_t divisionsPerBeat, int64_t ppq,
                                   bool isNegative)
    : bar(bar),
      beat(beat),
      beatDivision(beatDivision),
      ticks(ticks),
      isNegative(isNegative),
      beatsPerBar_(std::max<int64_t>(beatsPerBar, 1)),
      divisionsPerBeat_(std::max<int64_t>(divisionsPerBeat, 0)),
      ppq_(std::max<int64_t>(ppq, 1)) {}

int64_t MusicalTimeValue::ticksPerDivision() const {
    return divisionsPerBeat_ > 0 ? std::max<int64_t>(ppq_ / divisionsPerBeat_, 1) : ppq_;
}

MusicalTimeValue MusicalTimeValue::fromTicks(int64_t ticks, int64_t beatsPerBar,
                                             int64_t divisionsPerBeat, int64_t ppq) {
    MusicalTimeValue value(0, 0, 0, 0, beatsPerBar, divisionsPerBeat, ppq, ticks < 0);
    // The magnitude in unsigned arithmetic, where even that of the most negative count fits.
    const uint64_t magnitude = ticks < 0 ? static_cast<uint64_t>(-(ticks + 1)) + 1
                                         : static_cast<uint64_t>(ticks);
    const auto perBeat = static_cast<uint64_t>(value.ppq_);
    uint64_t perBar = 0;
    uint64_t intoBar = magnitude;
    if (!__builtin_mul_overflow(static_cast<uint64_t>(value.beatsPerBar_), perBeat, &perBar)) {
        value.bar = storable(magnitude / perBar);
        intoBar = magnitude % perBar;
    }
    // A bar longer than any 64-bit count: the position lies in bar 0.
    value.beat = storable(intoBar / perBeat);
    const uint64_t intoBeat = intoBar % perBeat;
    if (value.divisionsPerBeat_ > 0) {
        // Split the ticks into the beat, so that the parts add up to the count again whether or
        // not ppq is a multiple of the division length.
        const auto perDivision = static_cast<uint64_t>(value.ticksPerDivision());
        value.beatDivision = static_cast<int64_t>(intoBeat / perDivision);
        value.ticks = static_cast<int64_t>(intoBeat % perDivision);
    } else {
        value.ticks = static_cast<int64_t>(intoBeat);
    }
    return value;
}

int64_t MusicalTimeValue::ticksInBeat() const {
    if (divisionsPerBeat_ == 0) return ticks;
    return narrowed(saturatingAdd(saturatingMultiply(beatDivision, ticksPerDivision()), ticks));
}

int64_t MusicalTimeValue::totalTicks() const {
    const Wide bars = saturatingMultiply(bar, saturatingMultiply(beatsPerBar_, ppq_));
    const Wide total =
        saturatingAdd(saturatingAdd(bars, saturatingMultiply(beat, ppq_)), ticksInBeat());
    return narrowed(isNegative ? saturatingMultiply(total, -1) : total);
}

double MusicalTimeValue::totalBeats() const {
    const double beats = static_cast<double>(bar) * static_cast<double>(beatsPerBar_) +
                         static_cast<double>(beat) +
                         static_cast<double>(ticksInBeat()) / static_cast<double>(ppq_);
    return isNegative ? -beats : beats;
}

std::string MusicalTimeValue::stringValue(const std::string& separator,
                                          bool alwaysShowBeatDivision) const {
    std::string text;
    if (isNegative) text += '-';
    text += std::to_string(bar);
    text += separator;
    text += std::to_string(beat);
    text += separator;
    if (divisionsPerBeat_ > 0 || alwaysShowBeatDivision) {
        text += std::to_string(beatDivision) + separator;
    }
    return text + std::to_string(ticks);
}

}  // namespace midifile
