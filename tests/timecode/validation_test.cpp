// Component ranges, validation and clamping.
#include <gtest/gtest.h>

#include "timecode/validation.hpp"

using namespace timecode;
using R = TimecodeFrameRate;
using C = Component;

TEST(Validation, InvalidComponentSets) {
    const auto L24 = UpperLimit::_24hours;
    const auto L100 = UpperLimit::_100days;
    const auto B80 = SubFramesBase::_80SubFrames;
    struct Case {
        Components c;
        R rate;
        UpperLimit limit;
        SubFramesBase base;
        ComponentSet invalid;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0}, R::_24, L24, B80, {}},
        {{0, 0, 1, 0, 0, 0}, R::_29_97_drop, L24, B80, {C::frames}},
        {{0, 0, 1, 0, 1, 0}, R::_29_97_drop, L24, B80, {C::frames}},
        {{0, 0, 1, 0, 2, 0}, R::_29_97_drop, L24, B80, {}},
        {{0, 0, 10, 0, 0, 0}, R::_29_97_drop, L24, B80, {}},
        {{0, 0, 1, 1, 0, 0}, R::_29_97_drop, L24, B80, {}},
        {{0, 0, 1, 0, 3, 0}, R::_59_94_drop, L24, B80, {C::frames}},
        {{0, 0, 1, 0, 4, 0}, R::_59_94_drop, L24, B80, {}},
        {{0, 0, 1, 0, 7, 0}, R::_119_88_drop, L24, B80, {C::frames}},
        {{0, 0, 1, 0, 8, 0}, R::_120_drop, L24, B80, {}},
        {{0, 0, 20, 0, 0, 0}, R::_120_drop, L24, B80, {}},
        {{0, 0, 1, 0, 0, 0}, R::_30, L24, B80, {}},
        // The bound follows minutes and seconds as they stand, even out of range.
        {{0, 0, 61, 0, 1, 0}, R::_30_drop, L24, B80, {C::minutes, C::frames}},
        {{1, 0, 0, 0, 0, 0}, R::_24, L24, B80, {C::days}},
        {{99, 0, 0, 0, 0, 0}, R::_24, L100, B80, {}},
        {{100, 0, 0, 0, 0, 0}, R::_24, L100, B80, {C::days}},
        {{-1, 0, 0, 0, 0, 0}, R::_24, L100, B80, {C::days}},
        {{0, 24, 60, 60, 24, 80}, R::_24, L24, B80, {C::hours, C::minutes, C::seconds, C::frames, C::subFrames}},
        {{0, -1, -1, -1, -1, -1}, R::_24, L24, B80, {C::hours, C::minutes, C::seconds, C::frames, C::subFrames}},
        {{0, 0, 0, 0, 0, 80}, R::_24, L24, SubFramesBase::_100SubFrames, {}},
        {{0, 0, 0, 0, 0, 4}, R::_24, L24, SubFramesBase::quarterFrames, {C::subFrames}},
        {{0, 0, 0, 0, 119, 0}, R::_120, L24, B80, {}},
        {{0, 0, 0, 0, 120, 0}, R::_120, L24, B80, {C::frames}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& k = cases[i];
        EXPECT_EQ(invalidComponents(k.c, k.rate, k.limit, k.base), k.invalid) << "case " << i;
        EXPECT_EQ(k.c.invalidComponents(k.rate, k.limit, k.base), k.invalid) << "case " << i;
    }
    EXPECT_EQ(validRange(C::frames, R::_59_94_drop, L24, B80, 1, 0), (std::pair<int64_t, int64_t>{4, 59}));
    EXPECT_EQ(validRange(C::days, R::_59_94_drop, L100, B80), (std::pair<int64_t, int64_t>{0, 99}));
}

TEST(Validation, ClampingLandsOnAValidTimecode) {
    struct Case {
        Components in;
        R rate;
        UpperLimit limit;
        SubFramesBase base;
        Components out;
    } cases[] = {
        {{0, 25, -3, 0, 40, 0}, R::_25, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {0, 23, 0, 0, 24, 0}},
        {{0, 0, 61, 0, 0, 0}, R::_30_drop, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {0, 0, 59, 0, 2, 0}},
        {{5, 30, -3, 75, 0, 120}, R::_29_97_drop, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {0, 23, 0, 59, 0, 79}},
        {{0, 0, 1, 0, 0, 0}, R::_59_94_drop, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {0, 0, 1, 0, 4, 0}},
        {{0, 0, 1, 0, 0, 0}, R::_119_88_drop, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {0, 0, 1, 0, 8, 0}},
        {{200, 0, 0, 0, 0, -5}, R::_24, UpperLimit::_100days, SubFramesBase::quarterFrames, {99, 0, 0, 0, 0, 0}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& k = cases[i];
        Components out = clampedComponents(k.in, k.rate, k.limit, k.base);
        EXPECT_EQ(out, k.out) << "case " << i;
        EXPECT_TRUE(invalidComponents(out, k.rate, k.limit, k.base).empty()) << "case " << i;
    }
}

// Counting the valid hours:minutes:seconds:frames of a day gives the rate's frames per day, so
// validation leaves out exactly the numbers the frame counting skips.
TEST(Validation, ValidPositionsOfADayAreTheFramesOfADay) {
    for (auto rate : R::allCases()) {
        int64_t valid = 0;
        for (int64_t m = 0; m < 60; ++m)
            for (int64_t s = 0; s < 60; ++s)
                for (int64_t f = 0; f <= rate.maxFrameNumber(); ++f)
                    valid += invalidComponents({0, 0, m, s, f, 0}, rate, UpperLimit::_24hours,
                                               SubFramesBase::_80SubFrames)
                                 .empty();
        EXPECT_EQ(valid * 24, rate.maxTotalFrames(UpperLimit::_24hours)) << rate.rawValue();
    }
}
