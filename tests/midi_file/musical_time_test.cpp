#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>

#include "midi_file/musical_time.hpp"

using namespace midifile;

namespace {

TEST(MusicalTimeValue, SplitsTickCounts) {
    const struct {
        int64_t ticks, beatsPerBar, divisions, ppq;
        int64_t bar, beat, division, rest;
        bool negative;
        std::string text;
    } cases[] = {
        {0, 4, 0, 480, 0, 0, 0, 0, false, "0 0 0"},
        {2400, 4, 0, 480, 1, 1, 0, 0, false, "1 1 0"},
        {-2400, 4, 0, 480, 1, 1, 0, 0, true, "-1 1 0"},
        {1000, 4, 4, 480, 0, 2, 0, 40, false, "0 2 0 40"},
        {2400 + 480 + 360, 4, 4, 480, 1, 2, 3, 0, false, "1 2 3 0"},
        // A beat that its divisions do not fill: the parts still add up to the count.
        {960, 4, 7, 960, 0, 1, 0, 0, false, "0 1 0 0"},
        {959, 4, 7, 960, 0, 0, 7, 0, false, "0 0 7 0"},
        {1234, 4, 7, 960, 0, 1, 2, 0, false, "0 1 2 0"},
        // More divisions than ticks per beat: each division is one tick.
        {1000, 4, 8, 4, 62, 2, 0, 0, false, "62 2 0 0"},
        {1001, 3, 100, 10, 33, 1, 1, 0, false, "33 1 1 0"},
        // A meter given out of range is raised to 1 beat, no divisions, 1 tick.
        {5, 0, -3, 0, 5, 0, 0, 0, false, "5 0 0"},
    };
    for (const auto& c : cases) {
        const auto value = MusicalTimeValue::fromTicks(c.ticks, c.beatsPerBar, c.divisions, c.ppq);
        EXPECT_EQ(value.bar, c.bar) << c.ticks;
        EXPECT_EQ(value.beat, c.beat) << c.ticks;
        EXPECT_EQ(value.beatDivision, c.division) << c.ticks;
        EXPECT_EQ(value.ticks, c.rest) << c.ticks;
        EXPECT_EQ(value.isNegative, c.negative) << c.ticks;
        EXPECT_EQ(value.description(), c.text) << c.ticks;
        EXPECT_EQ(value.totalTicks(), c.ticks);
    }
    const auto fiveBeats = MusicalTimeValue::fromTicks(-2400, 4, 0, 480);
    EXPECT_EQ(fiveBeats.totalBeats(), -5.0);
    EXPECT_EQ(MusicalTimeValue(2, 1, 3, 0, 4, 4, 480).stringValue(".", true), "2.1.3.0");
    EXPECT_EQ(MusicalTimeValue(2, 1, 0, 480, 4, 0, 480).stringValue(":", true), "2:1:0:480");
}

TEST(MusicalTimeValue, RandomCountsRoundTrip) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 3000; ++i) {
        const auto ticks = static_cast<int64_t>(random() >> (random() % 64));
        const int64_t signedTicks = i % 2 ? -ticks : ticks;
        const auto beats = static_cast<int64_t>(random() % 13);
        const auto divisions = static_cast<int64_t>(random() % 20);
        const auto ppq = static_cast<int64_t>(random() % 2000);
        const auto value = MusicalTimeValue::fromTicks(signedTicks, beats, divisions, ppq);
        ASSERT_EQ(value.totalTicks(), signedTicks)
            << signedTicks << " " << beats << " " << divisions << " " << ppq;
    }
}

TEST(MusicalTimeValue, ExtremeInputDoesNotOverflow) {
    const auto lowest = MusicalTimeValue::fromTicks(INT64_MIN, 4, 4, 960);
    EXPECT_TRUE(lowest.isNegative);
    EXPECT_EQ(lowest.totalTicks(), INT64_MIN);
    const auto single = MusicalTimeValue::fromTicks(INT64_MIN, 1, 0, 1);
    EXPECT_EQ(single.bar, INT64_MAX);  // one tick short: 2^63 bars do not fit
    EXPECT_EQ(single.totalTicks(), -INT64_MAX);
    // A bar longer than any count.
    const auto huge = MusicalTimeValue::fromTicks(INT64_MAX, INT64_MAX, 3, INT64_MAX);
    EXPECT_EQ(huge.bar, 0);
    EXPECT_EQ(huge.totalTicks(), INT64_MAX);
    // Fields given by hand that overflow saturate.
    EXPECT_EQ(MusicalTimeValue(INT64_MAX, 0, 0, 0, 4, 0, 960).totalTicks(), INT64_MAX);
    EXPECT_EQ(MusicalTimeValue(INT64_MAX, 0, 0, 0, 4, 0, 960, true).totalTicks(), INT64_MIN);
}

TEST(MusicalTimeValue, ComparesByPositionInBeats) {
    const MusicalTimeValue barOne(1, 0, 0, 0, 4, 0, 480);
    const MusicalTimeValue fourBeats(0, 4, 0, 0, 4, 0, 480);
    const MusicalTimeValue threeBeats(0, 3, 0, 0, 4, 0, 480);
    const MusicalTimeValue otherMeter(0, 1, 1, 0, 3, 2, 960);  // 1.5 beats
    EXPECT_EQ(barOne, fourBeats);
    EXPECT_EQ(barOne.hash(), fourBeats.hash());
    EXPECT_GT(barOne, threeBeats);
    EXPECT_LT(otherMeter, threeBeats);
    EXPECT_EQ(otherMeter.totalBeats(), 1.5);
    EXPECT_EQ(MusicalTimeValue(0, 0, 0, 0, 0, -3, 0).ppq(), 1);
    EXPECT_EQ(MusicalTimeValue(0, 0, 0, 0, 0, -3, 0).beatsPerBar(), 1);
    EXPECT_EQ(MusicalTimeValue(0, 0, 0, 0, 0, -3, 0).divisionsPerBeat(), 0);
    EXPECT_EQ(MusicalTimeValue(0, 0, 0, 0, 4, 0, 1, true).hash(),
              MusicalTimeValue(0, 0, 0, 0, 4, 0, 1).hash());
}

}  // namespace
