// The legal range of each timecode component, the set of components out of range, and clamping
// every component into its range.
//
// Frames have a lower bound above 0 at a drop rate when the minutes are not a multiple of ten and
// the seconds are 0: the number of frame numbers the rate skips there (2, 4 or 8). The bound is
// taken from the minutes and seconds as given, even when those are out of range themselves.
#pragma once

#include <cstdint>
#include <utility>

#include "timecode/frame_rate.hpp"
#include "timecode/settings.hpp"

namespace timecode {

// The lowest existing frame number at `minutes`:`seconds` at `rate`.
int64_t minimumFrame(const TimecodeFrameRate& rate, int64_t minutes, int64_t seconds);

// The closed range of legal values of `component`; for frames, `minutes` and `seconds` choose the
// lower bound.
std::pair<int64_t, int64_t> validRange(Component component, const TimecodeFrameRate& rate,
                                       UpperLimit limit, SubFramesBase base, int64_t minutes = 0,
                                       int64_t seconds = 0);

// The components outside their ranges; empty when all are valid. Negative values are always out.
ComponentSet invalidComponents(const Components& components, const TimecodeFrameRate& rate,
                               UpperLimit limit, SubFramesBase base);

// Every component moved into its range: days, hours, minutes and seconds first, then frames
// raised to the minimum of the clamped minutes and seconds and lowered to the maximum, then
// subframes. The result always passes invalidComponents.
Components clampedComponents(Components components, const TimecodeFrameRate& rate, UpperLimit limit,
                             SubFramesBase base);

}  // namespace timecode
