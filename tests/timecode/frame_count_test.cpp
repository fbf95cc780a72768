// Frame count values and film footage.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "timecode/frame_count.hpp"

using namespace timecode;
using V = FrameCount::Value;
using B = SubFramesBase;

TEST(FrameCount, DerivedQuantitiesOfEveryForm) {
    struct Case {
        V value;
        B base;
        int64_t whole, sub, total;
        double dbl;
        std::string description;
    } cases[] = {
        {V::split(1, 200), B::_80SubFrames, 1, 200, 280, 3.5, "3.5"},
        {V::frames(24), B::_80SubFrames, 24, 0, 1920, 24, "24"},
        {V::combined(10.5), B::_80SubFrames, 10, 40, 840, 10.5, "10.5"},
        {V::combined(-10.5), B::_80SubFrames, -10, -40, -840, -10.5, "-10.5"},
        {V::combined(0.1), B::_100SubFrames, 0, 10, 10, 0.1, "0.1"},
        {V::combined(2.999999999), B::_80SubFrames, 2, 79, 239, 2.999999999, "2.999999999"},
        {V::combined(10.0), B::_80SubFrames, 10, 0, 800, 10, "10.0"},
        {V::splitUnitInterval(3, 0.5), B::quarterFrames, 3, 2, 14, 3.5, "3.5"},
        // 0.29 x 100 is a hair below 29 in doubles; whole subframes survive.
        {V::splitUnitInterval(0, 0.29), B::_100SubFrames, 0, 29, 29, 0.29, "0.29"},
        {V::splitUnitInterval(0, 0.57), B::_100SubFrames, 0, 57, 57, 0.57, "0.57"},
    };
    for (const auto& c : cases) {
        FrameCount fc(c.value, c.base);
        SCOPED_TRACE(c.value.debugDescription());
        EXPECT_EQ(fc.wholeFrames(), c.whole);
        EXPECT_EQ(fc.subFrames(), c.sub);
        EXPECT_EQ(fc.subFrameCount(), c.total);
        EXPECT_DOUBLE_EQ(fc.doubleValue(), c.dbl);
        EXPECT_EQ(fc.description(), c.description);
        EXPECT_TRUE(fc.decimalValue().isEqual(Fraction(c.total, divisor(c.base))) ||
                    c.value.valueCase() == V::Case::combined);
    }
    EXPECT_EQ(FrameCount(V::combined(2.999999999), B::_80SubFrames).decimalValue(), Fraction(299999999, 100000000));
}

TEST(FrameCount, EqualityArithmeticAndText) {
    EXPECT_EQ(FrameCount(V::split(1, 200), B::_80SubFrames), FrameCount(V::split(3, 40), B::_80SubFrames));
    EXPECT_EQ(FrameCount(V::frames(5), B::_100SubFrames), FrameCount(V::combined(5.0), B::_100SubFrames));
    EXPECT_FALSE(V::frames(5) == V::combined(5.0));
    EXPECT_EQ(FrameCount(V::frames(1), B::_80SubFrames), FrameCount(V::split(0, 80), B::_100SubFrames));
    EXPECT_EQ(std::hash<V>{}(V::combined(0.0)), std::hash<V>{}(V::combined(-0.0)));

    FrameCount diff = FrameCount(V::split(2, 40), B::_80SubFrames) - FrameCount(V::frames(3), B::_80SubFrames);
    EXPECT_EQ(diff.value, V::split(0, -40));
    EXPECT_TRUE(diff.isNegative());
    EXPECT_EQ(diff.description(), "-0.5");
    EXPECT_EQ((FrameCount(V::frames(7), B::_80SubFrames) * 0.5).value, V::split(3, 40));
    EXPECT_EQ((FrameCount(V::split(0, -85), B::_80SubFrames) + FrameCount(V::frames(0), B::_80SubFrames)).value,
              V::split(-1, -5));
    EXPECT_TRUE(FrameCount(V::frames(1), B::_80SubFrames) < FrameCount(V::split(1, 1), B::_80SubFrames));
    EXPECT_EQ(V::split(10, 5).description(), "10.5 frames");
    EXPECT_EQ(V::split(10, 5).debugDescription(), ".split(frames: 10, subFrames: 5)");
    EXPECT_EQ(V::splitUnitInterval(1, 0.25).debugDescription(), ".splitUnitInterval(frames: 1, subFramesUnitInterval: 0.25)");
    EXPECT_TRUE(V::splitUnitInterval(0, -0.0).isZero());
    EXPECT_FALSE(V::split(0, 1).isZero());

    // Values with no 64-bit count are out of bounds, never undefined behaviour.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    constexpr int64_t big = std::numeric_limits<int64_t>::max();
    EXPECT_THROW(FrameCount(V::combined(nan), B::_80SubFrames).subFrameCount(), TimecodeValidationError);
    EXPECT_THROW(FrameCount(V::combined(inf), B::_80SubFrames).wholeFrames(), TimecodeValidationError);
    EXPECT_THROW(FrameCount(V::frames(big), B::_80SubFrames).subFrameCount(), TimecodeValidationError);
    EXPECT_THROW(FrameCount(V::frames(1), B::_80SubFrames) / 0.0, TimecodeValidationError);
    EXPECT_THROW(FrameCount(V::split(big / 80, 0), B::_80SubFrames) + FrameCount(V::frames(big / 80), B::_80SubFrames),
                 TimecodeValidationError);
}

TEST(FeetAndFrames, CountsAndText) {
    struct Case {
        FeetAndFrames footage;
        V count;
        int64_t total;
        std::string text, withSubFrames;
    } cases[] = {
        {{0, 0, 0, B::_80SubFrames}, V::frames(0), 0, "0+00", "0+00.00"},
        {{1, 0, 0, B::_80SubFrames}, V::frames(16), 1280, "1+00", "1+00.00"},
        {{2, 3, 10, B::_80SubFrames}, V::split(35, 10), 2810, "2+03", "2+03.10"},
        {{0, 20, 0, B::_80SubFrames}, V::frames(20), 1600, "0+20", "0+20.00"},
        {{12, 5, 2, B::quarterFrames}, V::split(197, 2), 790, "12+05", "12+05.02"},
        {{-1, -5, 0, B::_80SubFrames}, V::frames(-21), -1680, "-1+-5", "-1+-5.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.footage.frameCount().value, c.count) << c.text;
        EXPECT_EQ(c.footage.frameCount().subFrameCount(), c.total) << c.text;
        EXPECT_EQ(c.footage.description(), c.text);
        EXPECT_EQ(c.footage.descriptionWithSubFrames(), c.withSubFrames);
    }
    FeetAndFrames a{1, 2, 3, B::_80SubFrames}, b{1, 2, 3, B::_100SubFrames};
    EXPECT_NE(a, b);
    EXPECT_NE(std::hash<FeetAndFrames>{}(a), std::hash<FeetAndFrames>{}(b));
}
