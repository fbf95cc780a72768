// The character tables are built on first use; several threads may get there at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "hui/display_strings.hpp"
#include "hui/switches.hpp"

namespace {

TEST(HUIFirstUse, ThreadsThatMeetAtTheTablesAllSeeThemComplete) {
    constexpr int threadCount = 8;
    std::atomic<int> ready = 0;
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&] {
            ++ready;
            while (ready < threadCount)
                std::this_thread::yield();
            for (int round = 0; round < 20; ++round) {
                if (hui::HUISmallDisplayString("he\u0301!").stringValue() != "he\u0301! ") ++wrong;
                if (hui::HUILargeDisplayString("\u2192").chars()[0] !=
                    hui::HUILargeDisplayCharacter::rightArrow)
                    ++wrong;
                if (hui::HUITimeDisplayString("1.2").stringValue() != "1.2      ") ++wrong;
                if (hui::HUISwitch::fromZoneAndPort(0x0E, midicore::UInt4(4)).description() !=
                    "transport(play)")
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
