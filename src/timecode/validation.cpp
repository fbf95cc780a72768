#include "timecode/validation.hpp"

#include <algorithm>

namespace timecode {

int64_t minimumFrame(const TimecodeFrameRate& rate, int64_t minutes, int64_t seconds) {
    if (rate.isDrop() && minutes % 10 != 0 && seconds == 0) return rate.framesDroppedPerMinute();
    return 0;
}

std::pair<int64_t, int64_t> validRange(Component component, const TimecodeFrameRate& rate,
                                       UpperLimit limit, SubFramesBase base, int64_t minutes,
                                       int64_t seconds) {
    switch (component) {
        case Component::days: return {0, maxDays(limit)};
        case Component::hours: return {0, 23};
        case Component::minutes:
        case Component::seconds: return {0, 59};
        case Component::frames: return {minimumFrame(rate, minutes, seconds), rate.maxFrameNumber()};
        case Component::subFrames: break;
    }
    return {0, maxSubFrames(base)};
}

ComponentSet invalidComponents(const Components& c, const TimecodeFrameRate& rate, UpperLimit limit,
                               SubFramesBase base) {
    // The ranges of validRange, written out: this runs once per conversion.
    ComponentSet invalid;
    auto outside = [](int64_t v, int64_t low, int64_t high) { return v < low || v > high; };
    if (outside(c.d, 0, maxDays(limit))) invalid.insert(Component::days);
    if (outside(c.h, 0, 23)) invalid.insert(Component::hours);
    if (outside(c.m, 0, 59)) invalid.insert(Component::minutes);
    if (outside(c.s, 0, 59)) invalid.insert(Component::seconds);
    if (outside(c.f, minimumFrame(rate, c.m, c.s), rate.maxFrameNumber())) invalid.insert(Component::frames);
    if (outside(c.sf, 0, maxSubFrames(base))) invalid.insert(Component::subFrames);
    return invalid;
}

Components clampedComponents(Components c, const TimecodeFrameRate& rate, UpperLimit limit,
                             SubFramesBase base) {
    c.d = std::clamp<int64_t>(c.d, 0, maxDays(limit));
    c.h = std::clamp<int64_t>(c.h, 0, 23);
    c.m = std::clamp<int64_t>(c.m, 0, 59);
    c.s = std::clamp<int64_t>(c.s, 0, 59);
    c.f = std::min(std::max(c.f, minimumFrame(rate, c.m, c.s)), rate.maxFrameNumber());
    c.sf = std::clamp<int64_t>(c.sf, 0, maxSubFrames(base));
    return c;
}

}  // namespace timecode
