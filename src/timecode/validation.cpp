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

ComponentSet invalidComponents(const Components& components, const TimecodeFrameRate& rate,
                               UpperLimit limit, SubFramesBase base) {
    ComponentSet invalid;
    for (auto c : allComponents) {
        auto [low, high] = validRange(c, rate, limit, base, components.m, components.s);
        int64_t v = components[c];
        if (v < low || v > high) invalid.insert(c);
    }
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
