// The host clock that MIDI time stamps are read from.
#pragma once

#include <cstdint>

namespace midiservices {

// A time stamp in host time: nanoseconds of a monotonic clock that wall-clock adjustments do not
// move. 0 means "now" to a receiver that schedules by time stamp.
using MIDITimeStamp = uint64_t;

// The current host time.
MIDITimeStamp currentHostTime();

}  // namespace midiservices
