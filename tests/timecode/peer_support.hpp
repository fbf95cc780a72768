// Frame numbers that the peer comparisons sample over a day: every 307th frame, and the first
// six and last two frames of every minute of the day.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "timecode/timecode.hpp"

// Whether a peer tool can be run.
inline bool onPath(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<int64_t> sampledFramesOfADay(timecode::TimecodeFrameRate rate) {
    using namespace timecode;
    std::vector<int64_t> out;
    const int64_t total = rate.maxTotalFrames(UpperLimit::_24hours);
    for (int64_t minute = 0; minute < 1440; ++minute) {
        const int64_t start =
            Timecode::fromComponents({0, minute / 60, minute % 60, 0, minimumFrame(rate, minute % 60, 0), 0}, rate)
                .frameCount()
                .wholeFrames();
        for (int64_t k = -2; k < 6; ++k)
            if (start + k >= 0 && start + k < total) out.push_back(start + k);
    }
    for (int64_t n = 0; n < total; n += 307) out.push_back(n);
    return out;
}

struct PeerRate {
    timecode::TimecodeFrameRate rate;
    int num, den;
    bool drop;
};

inline const PeerRate peerRates[] = {
    {timecode::TimecodeFrameRate::_29_97_drop, 30000, 1001, true},
    {timecode::TimecodeFrameRate::_59_94_drop, 60000, 1001, true},
    {timecode::TimecodeFrameRate::_23_976, 24000, 1001, false},
    {timecode::TimecodeFrameRate::_25, 25, 1, false},
    {timecode::TimecodeFrameRate::_30, 30, 1, false},
};
