#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "midi_support/numeric.hpp"

using namespace midisupport;

namespace {

TEST(Rounding, ByRuleAndDecimalPlaces) {
    using R = RoundingRule;
    const struct {
        double value;
        R rule;
        int places;
        double expected;
    } cases[] = {
        {2.5, R::toNearestOrEven, 0, 2.0},
        {3.5, R::toNearestOrEven, 0, 4.0},
        {-2.5, R::toNearestOrEven, 0, -2.0},
        {2.5, R::toNearestOrAwayFromZero, 0, 3.0},
        {-2.5, R::toNearestOrAwayFromZero, 0, -3.0},
        {1.25, R::down, 1, 1.2},
        {-1.25, R::down, 1, -1.3},
        {1.21, R::up, 1, 1.3},
        {-1.29, R::towardZero, 1, -1.2},
        {-1.21, R::awayFromZero, 1, -1.3},
        {1.21, R::awayFromZero, 1, 1.3},
        {0.125, R::toNearestOrEven, 2, 0.12},
        {120.0004999, R::toNearestOrAwayFromZero, 3, 120.0},
        {7.6, R::down, -2, 7.0},              // fewer than 1 place: plain rounding
        {1.5, R::toNearestOrEven, 400, 1.5},  // more places than a double holds
        {0.0, R::up, 400, 0.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(rounded(c.value, c.rule, c.places), c.expected)
            << c.value << " to " << c.places << " places";
    }
    EXPECT_TRUE(std::isnan(rounded(std::nan(""), R::up, 3)));
    EXPECT_EQ(rounded(-std::numeric_limits<double>::infinity(), R::down, 2),
              -std::numeric_limits<double>::infinity());
}

TEST(Clamping, EachRangeKind) {
    EXPECT_EQ(clamped(200, 0, 127), 127);
    EXPECT_EQ(clamped(-5, 0, 127), 0);
    EXPECT_EQ(clamped(64, 0, 127), 64);
    EXPECT_EQ(clamped(5, 5, 5), 5);
    EXPECT_DOUBLE_EQ(clamped(1.5, 0.0, 1.0), 1.0);
    EXPECT_EQ(clampedFrom(-3, 0), 0);
    EXPECT_EQ(clampedFrom(3, 0), 3);
    EXPECT_EQ(clampedThrough(40000, 32767), 32767);
    EXPECT_EQ(clampedUpTo(10, 5), 4);
    EXPECT_EQ(clampedUpTo(uint8_t{3}, uint8_t{5}), 3);
    EXPECT_EQ(clampedHalfOpen(10, 0, 5), 4);
    EXPECT_EQ(clampedHalfOpen(-10, 0, 5), 0);
    EXPECT_EQ(clampedHalfOpen(int8_t{127}, int8_t{-128}, int8_t{127}), 126);
}

TEST(Clamping, RangesWithoutValuesAreRefused) {
    const auto errorCase = [](auto clamp) {
        try {
            clamp();
        } catch (const RangeError& e) {
            return e.errorCase();
        }
        ADD_FAILURE() << "no error";
        return RangeError::Case::offsetOutOfBounds;
    };
    EXPECT_EQ(errorCase([] { clamped(1, 5, 4); }), RangeError::Case::invertedBounds);
    EXPECT_EQ(errorCase([] { clampedHalfOpen(1, 5, 4); }), RangeError::Case::invertedBounds);
    EXPECT_EQ(errorCase([] { clampedHalfOpen(1, 5, 5); }), RangeError::Case::emptyRange);
    EXPECT_EQ(errorCase([] { clampedUpTo(1, std::numeric_limits<int>::min()); }),
              RangeError::Case::emptyRange);
    EXPECT_EQ(errorCase([] { clampedUpTo(uint8_t{1}, uint8_t{0}); }), RangeError::Case::emptyRange);
}

}  // namespace
