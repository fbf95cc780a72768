#include "midi_core/scaling.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace midicore {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// The min-centre-max upscaling as the MIDI 2.0 packet standard publishes it: shift up, and above
// the centre repeat the bits below the top bit downward until they run out.
uint64_t referenceUpscale(uint64_t value, unsigned sourceBits, unsigned targetBits) {
    const unsigned scaleBits = targetBits - sourceBits;
    uint64_t shifted = value << scaleBits;
    if (value <= (uint64_t{1} << (sourceBits - 1))) return shifted;
    const unsigned repeatBits = sourceBits - 1;
    uint64_t repeat = value & ((uint64_t{1} << repeatBits) - 1);
    repeat = scaleBits > repeatBits ? repeat << (scaleBits - repeatBits)
                                    : repeat >> (repeatBits - scaleBits);
    while (repeat != 0) {
        shifted |= repeat;
        repeat >>= repeatBits;
    }
    return shifted;
}

TEST(ScalingTest, UnitIntervalToIntegersTruncatesEachHalf) {
    struct Case {
        double x;
        unsigned u7;
        unsigned u14;
        unsigned u16;
        uint32_t u32;
    };
    const Case cases[] = {
        {0.0, 0, 0, 0, 0},
        {0.25, 32, 4096, 16384, 0x40000000},
        {0.5, 64, 8192, 32768, 0x80000000},
        {0.75, 95, 12287, 49151, 0xBFFFFFFF},
        {1.0, 127, 16383, 65535, 0xFFFFFFFF},
        {1.5, 127, 16383, 65535, 0xFFFFFFFF},
        {inf, 127, 16383, 65535, 0xFFFFFFFF},
        {-0.2, 0, 0, 0, 0},
        {-0.0, 0, 0, 0, 0},
        {-inf, 0, 0, 0, 0},
        {nan, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unitIntervalToUInt7(c.x), c.u7) << c.x;
        EXPECT_EQ(unitIntervalToUInt14(c.x), c.u14) << c.x;
        EXPECT_EQ(unitIntervalToUInt16(c.x), c.u16) << c.x;
        EXPECT_EQ(unitIntervalToUInt32(c.x), c.u32) << c.x;
    }
    EXPECT_EQ(unitIntervalToUInt7(0.001), 0);
    EXPECT_EQ(unitIntervalToUInt16(0.001), 65);
    EXPECT_EQ(unitIntervalToUInt32(std::nextafter(1.0, 0.0)), 0xFFFFFFFEu);
}

TEST(ScalingTest, IntegersToUnitInterval) {
    EXPECT_EQ(unitIntervalFromUInt7(UInt7(64)), 0.5);
    EXPECT_EQ(unitIntervalFromUInt7(UInt7(96)), 0.7539682539705822);
    EXPECT_EQ(unitIntervalFromUInt7(UInt7(127)), 1.0);
    EXPECT_EQ(unitIntervalFromUInt7(UInt7(1)), 0.0078125);
    EXPECT_EQ(unitIntervalFromUInt14(UInt14(16383)), 1.0);
    EXPECT_EQ(unitIntervalFromUInt16(1), std::ldexp(1.0, -16));
    EXPECT_EQ(unitIntervalFromUInt32(0xFFFFFFFF), 1.0);
    EXPECT_EQ(unitIntervalFromUInt32(0x80000000), 0.5);
    // Just above the centre the result lies above 0.5 by more than one step of rounding.
    EXPECT_GT(unitIntervalFromUInt7(UInt7(65)), 0.5 + 1.0 / 126);
}

TEST(ScalingTest, EverySevenFourteenAndSixteenBitIntegerSurvivesTheUnitInterval) {
    for (int v = 0; v < 128; ++v) {
        ASSERT_EQ(unitIntervalToUInt7(unitIntervalFromUInt7(UInt7(v))), v);
    }
    for (int v = 0; v < 16384; ++v) {
        ASSERT_EQ(unitIntervalToUInt14(unitIntervalFromUInt14(UInt14(v))), v);
    }
    for (uint32_t v = 0; v < 65536; ++v) {
        ASSERT_EQ(unitIntervalToUInt16(unitIntervalFromUInt16(static_cast<uint16_t>(v))), v);
    }
}

TEST(ScalingTest, UnitAndBipolarIntervals) {
    struct Case {
        double unit;
        double bipolar;
    };
    for (const Case& c : {Case{0.0, -1.0}, Case{0.25, -0.5}, Case{0.5, 0.0}, Case{1.0, 1.0}}) {
        EXPECT_EQ(bipolarUnitIntervalFromUnitInterval(c.unit), c.bipolar);
        EXPECT_EQ(unitIntervalFromBipolarUnitInterval(c.bipolar), c.unit);
    }
    EXPECT_EQ(bipolarUnitIntervalFromUnitInterval(2.0), 1.0);
    EXPECT_EQ(bipolarUnitIntervalFromUnitInterval(-2.0), -1.0);
    EXPECT_EQ(bipolarUnitIntervalFromUnitInterval(nan), -1.0);
    EXPECT_EQ(unitIntervalFromBipolarUnitInterval(3.0), 2.0);  // not clamped
    EXPECT_EQ(unitIntervalFromBipolarUnitInterval(-0.5f), 0.25);
    EXPECT_TRUE(std::isnan(unitIntervalFromBipolarUnitInterval(nan)));
}

TEST(ScalingTest, BipolarIntervalAndThirtyTwoBits) {
    struct Case {
        double bipolar;
        uint32_t value;
    };
    for (const Case& c : {Case{-1.0, 0}, Case{-0.5, 0x40000000}, Case{0.0, 0x80000000},
                          Case{0.5, 0xBFFFFFFF}, Case{1.0, 0xFFFFFFFF}}) {
        EXPECT_EQ(uInt32FromBipolarUnitInterval(c.bipolar), c.value) << c.bipolar;
    }
    for (const Case& c : {Case{-1.0, 0}, Case{0.0, 0x80000000}, Case{1.0, 0xFFFFFFFF}}) {
        EXPECT_EQ(bipolarUnitIntervalFromUInt32(c.value), c.bipolar) << c.value;
    }
    EXPECT_EQ(bipolarUnitIntervalFromUInt32(0x40000000), -0.5);
    EXPECT_EQ(uInt32FromBipolarUnitInterval(5.0), 0xFFFFFFFFu);
    EXPECT_EQ(uInt32FromBipolarUnitInterval(-5.0), 0u);
    EXPECT_EQ(uInt32FromBipolarUnitInterval(inf), 0xFFFFFFFFu);
    EXPECT_EQ(uInt32FromBipolarUnitInterval(nan), 0u);
    // In single precision 2^31 - 1 rounds up to 2^31; the result still stays in 32 bits.
    EXPECT_EQ(uInt32FromBipolarUnitInterval(1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(uInt32FromBipolarUnitInterval(-1.0f), 0u);
    EXPECT_EQ(uInt32FromBipolarUnitInterval(std::numeric_limits<long double>::infinity()),
              0xFFFFFFFFu);
}

TEST(ScalingTest, WideningRepeatsBitsAsTheStandardPublishesIt) {
    EXPECT_EQ(upscaledUInt16FromUInt7(UInt7(64)), 0x8000);
    EXPECT_EQ(upscaledUInt16FromUInt7(UInt7(65)), 0x8208);
    EXPECT_EQ(upscaledUInt16FromUInt7(UInt7(127)), 0xFFFF);
    EXPECT_EQ(upscaledUInt32FromUInt7(UInt7(64)), 0x80000000u);
    EXPECT_EQ(upscaledUInt32FromUInt7(UInt7(65)), 0x82082082u);
    EXPECT_EQ(upscaledUInt32FromUInt7(UInt7(127)), 0xFFFFFFFFu);
    EXPECT_EQ(upscaledUInt32FromUInt14(UInt14(8192)), 0x80000000u);
    EXPECT_EQ(upscaledUInt32FromUInt14(UInt14(16383)), 0xFFFFFFFFu);
    for (int v = 0; v < 128; ++v) {
        ASSERT_EQ(upscaledUInt16FromUInt7(UInt7(v)), referenceUpscale(v, 7, 16)) << v;
        ASSERT_EQ(upscaledUInt32FromUInt7(UInt7(v)), referenceUpscale(v, 7, 32)) << v;
    }
    for (int v = 0; v < 16384; ++v) {
        ASSERT_EQ(upscaledUInt32FromUInt14(UInt14(v)), referenceUpscale(v, 14, 32)) << v;
    }
}

TEST(ScalingTest, NarrowingAWidenedValueGivesItBack) {
    for (int v = 0; v < 128; ++v) {
        ASSERT_EQ(narrowedUInt7FromUInt16(upscaledUInt16FromUInt7(UInt7(v))), v);
        ASSERT_EQ(narrowedUInt7FromUInt32(upscaledUInt32FromUInt7(UInt7(v))), v);
    }
    for (int v = 0; v < 16384; ++v) {
        ASSERT_EQ(narrowedUInt14FromUInt32(upscaledUInt32FromUInt14(UInt14(v))), v);
    }
    EXPECT_EQ(narrowedUInt7FromUInt16(0xFE00), 127);
    EXPECT_EQ(narrowedUInt14FromUInt32(0x0003FFFF), 0);
}

TEST(ScalingTest, AnyDoubleGivesAnInRangeResult) {
    // Random bit patterns cover NaNs, infinities, subnormals and huge magnitudes; under the
    // undefined-behaviour sanitizer an out-of-range float-to-integer step would stop the test.
    std::mt19937_64 random(11);
    for (int i = 0; i < 20000; ++i) {
        const double x = std::bit_cast<double>(random());
        EXPECT_LE(unitIntervalToUInt7(x), 127);
        EXPECT_LE(unitIntervalToUInt14(x), 16383);
        (void)unitIntervalToUInt16(x);
        (void)unitIntervalToUInt32(x);
        (void)uInt32FromBipolarUnitInterval(x);
        (void)uInt32FromBipolarUnitInterval(static_cast<float>(x));
        EXPECT_LE(UInt14::fromBipolarUnitInterval(x), 16383);
        const double bipolar = bipolarUnitIntervalFromUnitInterval(x);
        EXPECT_TRUE(bipolar >= -1.0 && bipolar <= 1.0) << x;
    }
}

}  // namespace
}  // namespace midicore
