// The 22 frame rates against the rate table, and the lookups.
#include <gtest/gtest.h>

#include <set>

#include "timecode/frame_rate.hpp"

using namespace timecode;
using R = TimecodeFrameRate;
using G = R::CompatibleGroup;

namespace {

struct Row {
    R rate;
    const char* raw;
    const char* verbose;
    int64_t rn, rd, dn, dd, altDen;
    double fps;
    int64_t maxFrame, perDay;
    bool drop;
    int64_t dropped;
    char separator;
    int digits;
    G group;
};

// Transcribed from the rate table, column by column.
const Row table[] = {
    {R::_23_976, "23.976", "23.976 fps", 24000, 1001, 1001, 24000, 23976, 24, 23, 2073600, false, 0, ':', 2, G::NTSC},
    {R::_24, "24", "24 fps", 24, 1, 100, 2400, 0, 24, 23, 2073600, false, 0, ':', 2, G::ATSC},
    {R::_24_98, "24.98", "24.98 fps", 25000, 1001, 1001, 25000, 24980, 25, 24, 2160000, false, 0, ':', 2, G::NTSC},
    {R::_25, "25", "25 fps", 25, 1, 100, 2500, 0, 25, 24, 2160000, false, 0, ':', 2, G::ATSC},
    {R::_29_97, "29.97", "29.97 fps", 30000, 1001, 1001, 30000, 29970, 30, 29, 2592000, false, 0, ':', 2, G::NTSC},
    {R::_29_97_drop, "29.97d", "29.97 fps drop", 30000, 1001, 1001, 30000, 29970, 29.97, 29, 2589408, true, 2, ';', 2, G::NTSC_drop},
    {R::_30, "30", "30 fps", 30, 1, 100, 3000, 0, 30, 29, 2592000, false, 0, ':', 2, G::ATSC},
    {R::_30_drop, "30d", "30 fps drop", 30, 1, 100, 3000, 0, 29.97, 29, 2589408, true, 2, ';', 2, G::ATSC_drop},
    {R::_47_952, "47.952", "47.952 fps", 48000, 1001, 1001, 48000, 47952, 48, 47, 4147200, false, 0, ':', 2, G::NTSC},
    {R::_48, "48", "48 fps", 48, 1, 100, 4800, 0, 48, 47, 4147200, false, 0, ':', 2, G::ATSC},
    {R::_50, "50", "50 fps", 50, 1, 100, 5000, 0, 50, 49, 4320000, false, 0, ':', 2, G::ATSC},
    {R::_59_94, "59.94", "59.94 fps", 60000, 1001, 1001, 60000, 59940, 60, 59, 5184000, false, 0, ':', 2, G::NTSC},
    {R::_59_94_drop, "59.94d", "59.94 fps drop", 60000, 1001, 1001, 60000, 59940, 59.94, 59, 5178816, true, 4, ';', 2, G::NTSC_drop},
    {R::_60, "60", "60 fps", 60, 1, 100, 6000, 0, 60, 59, 5184000, false, 0, ':', 2, G::ATSC},
    {R::_60_drop, "60d", "60 fps drop", 60, 1, 100, 6000, 0, 59.94, 59, 5178816, true, 4, ';', 2, G::ATSC_drop},
    {R::_95_904, "95.904", "95.904 fps", 96000, 1001, 1001, 96000, 95904, 96, 95, 8294400, false, 0, ':', 2, G::NTSC},
    {R::_96, "96", "96 fps", 96, 1, 100, 9600, 0, 96, 95, 8294400, false, 0, ':', 2, G::ATSC},
    {R::_100, "100", "100 fps", 100, 1, 100, 10000, 0, 100, 99, 8640000, false, 0, ':', 2, G::ATSC},
    {R::_119_88, "119.88", "119.88 fps", 120000, 1001, 1001, 120000, 119880, 120, 119, 10368000, false, 0, ':', 3, G::NTSC},
    {R::_119_88_drop, "119.88d", "119.88 fps drop", 120000, 1001, 1001, 120000, 119880, 119.88, 119, 10357632, true, 8, ';', 3, G::NTSC_drop},
    {R::_120, "120", "120 fps", 120, 1, 100, 12000, 0, 120, 119, 10368000, false, 0, ':', 3, G::ATSC},
    {R::_120_drop, "120d", "120 fps drop", 120, 1, 100, 12000, 0, 119.88, 119, 10357632, true, 8, ';', 3, G::ATSC_drop},
};

}  // namespace

TEST(TimecodeFrameRate, EveryRowOfTheRateTable) {
    ASSERT_EQ(std::size(table), R::allCases().size());
    for (size_t i = 0; i < std::size(table); ++i) {
        const Row& row = table[i];
        const R r = row.rate;
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(R::allCases()[i], r);
        EXPECT_EQ(r.rawValue(), row.raw);
        EXPECT_EQ(r.verboseStringValue(), row.verbose);
        EXPECT_EQ(R::fromRawValue(row.raw), r);
        EXPECT_EQ(r.rate(), Fraction(row.rn, row.rd));
        EXPECT_EQ(r.rate().isReducedFlag(), false);
        EXPECT_EQ(r.frameDuration(), Fraction(row.dn, row.dd));
        EXPECT_EQ(r.frameDurationMediaTime(), MediaTime::make(row.dn, static_cast<int32_t>(row.dd)));
        EXPECT_EQ(r.alternateFrameDuration().has_value(), row.altDen != 0);
        if (row.altDen != 0) {
            EXPECT_EQ(*r.alternateFrameDuration(), Fraction(1000, row.altDen));
        }
        EXPECT_EQ(r.fps(), row.fps);
        EXPECT_EQ(r.maxFrameNumber(), row.maxFrame);
        EXPECT_EQ(r.timecodeBase(), row.maxFrame + 1);
        EXPECT_EQ(r.maxTotalFrames(UpperLimit::_24hours), row.perDay);
        EXPECT_EQ(r.maxTotalFrames(UpperLimit::_100days), row.perDay * 100);
        EXPECT_EQ(r.isDrop(), row.drop);
        EXPECT_EQ(r.framesDroppedPerMinute(), row.dropped);
        EXPECT_EQ(r.frameSeparator(), row.separator);
        EXPECT_EQ(r.numberOfFrameDigits(), row.digits);
        EXPECT_EQ(r.compatibleGroup(), row.group);
        EXPECT_TRUE(r.isCompatible(r));
        // The frame duration and the rate are reciprocal.
        EXPECT_TRUE(Fraction(row.rn * row.dn, row.rd * row.dd).isEqual(Fraction(1, 1)));
        auto fields = r.rateTextFields();
        EXPECT_EQ(fields[0], std::to_string(row.rn) + "/" + std::to_string(row.rd));
        EXPECT_EQ(fields[1], row.drop ? "true" : "false");
        EXPECT_EQ(fields[2], std::to_string(row.maxFrame + 1));
        EXPECT_EQ(r.frameDurationTextFields()[1], row.drop ? "DF" : "NDF");
        // Every rate is found again by its own rate and duration with its own drop flag.
        EXPECT_EQ(R::fromRate(r.rate(), r.isDrop()), r);
        EXPECT_EQ(R::fromFrameDuration(r.frameDurationMediaTime(), r.isDrop()), r);
    }
}

TEST(TimecodeFrameRate, LookupsAndLimits) {
    struct Case {
        std::optional<R> got, want;
    } cases[] = {
        {R::fromRate(Fraction(30, 1), true), R::_30_drop},
        {R::fromRate(Fraction(30, 1), false), R::_30},
        {R::fromRate(Fraction(30000, 1001), false), R::_29_97},
        {R::fromRate(Fraction(30000, 1001), true), R::_29_97_drop},
        {R::fromRate(Fraction(60000, 2002), false), R::_29_97},
        {R::fromRate(Fraction(2997, 100), false), std::nullopt},
        {R::fromRate(Fraction(2997, 100), true), std::nullopt},
        {R::fromRate(Fraction(24, 1), true), std::nullopt},
        {R::fromRate(Fraction(24, 0), false), std::nullopt},
        {R::fromRate(MediaTime::make(50, 1), false), R::_50},
        {R::fromRate(MediaTime::invalid(), false), std::nullopt},
        {R::fromFrameDuration(Fraction(1000, 23976), false), R::_23_976},
        {R::fromFrameDuration(Fraction(1000, 23976), true), std::nullopt},
        {R::fromFrameDuration(Fraction(1, 24), false), R::_24},
        {R::fromFrameDuration(Fraction(1001, 60000), true), R::_59_94_drop},
        {R::fromRawValue("29.97 fps drop"), std::nullopt},
        {R::fromRawValue("29.97D"), std::nullopt},
        {R::fromRawValue("23.98"), std::nullopt},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].want) << i;

    EXPECT_EQ(R::_120_drop.maxTotalFrames(UpperLimit::_100days), 1035763200);
    EXPECT_EQ(R::_24.maxSubFrameIndex(UpperLimit::_24hours, SubFramesBase::_80SubFrames), 165887999);
    EXPECT_EQ(R::_24.frameDurationMediaTime().value(), 100);
    EXPECT_EQ(R::_24.frameDurationMediaTime().timescale(), 2400);
    EXPECT_TRUE(R::_25.isCompatible(R::_50));
    EXPECT_FALSE(R::_29_97.isCompatible(R::_29_97_drop));
    EXPECT_EQ(R::description(R::_30_drop.compatibleGroup()), "ATSC Drop-Frame");
}

TEST(TimecodeFrameRate, GroupsAndDropListsPartitionTheRates) {
    std::set<size_t> seen;
    for (const auto& [group, members] : R::compatibilityTable()) {
        for (auto r : members) {
            EXPECT_TRUE(seen.insert(r.index()).second) << r.rawValue();
            EXPECT_EQ(r.compatibleGroup(), group);
            bool dropGroup = group == G::NTSC_drop || group == G::ATSC_drop;
            EXPECT_EQ(r.isDrop(), dropGroup);
        }
    }
    EXPECT_EQ(seen.size(), R::caseCount);
    EXPECT_EQ(R::allDrop().size(), 6u);
    EXPECT_EQ(R::allDrop().size() + R::allNonDrop().size(), R::caseCount);
    EXPECT_EQ(R::allDrop().front(), R::_29_97_drop);
    EXPECT_EQ(R::allNonDrop().back(), R::_120);
}

