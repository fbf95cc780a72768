// First use of the shared rate tables from many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "timecode/frame_rate.hpp"

using namespace timecode;
using R = TimecodeFrameRate;

// The one-time tables are built once and seen complete by every thread (run under TSan with
// scripts/test.sh --sanitize thread).
TEST(TimecodeFrameRateThreads, FirstUseTablesBuildOnce) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    std::vector<const void*> seen(8 * 3);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < 8) {
            }
            seen[t * 3] = &R::compatibilityTable();
            seen[t * 3 + 1] = &R::allDrop();
            seen[t * 3 + 2] = &R::allNonDrop();
            EXPECT_EQ(R::_60_drop.compatibleGroupRates().size(), 3u);
            EXPECT_EQ(R::allDrop().size(), 6u);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 1; t < 8; ++t)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(seen[t * 3 + k], seen[k]);
}
