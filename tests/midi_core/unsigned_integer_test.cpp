#include "midi_core/unsigned_integer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <unordered_set>

#include "raised.hpp"

namespace midicore {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Compile-time use: the types are usable in constant expressions and as small as their storage.
static_assert(sizeof(UInt4) == 1 && sizeof(UInt7) == 1 && sizeof(UInt9) == 2);
static_assert(sizeof(UInt14) == 2 && sizeof(UInt25) == 4);
static_assert(UInt7(100) + UInt7(27) == 127);
static_assert(UInt14::midpoint() == 8192 && UInt25::midpoint() == 0x1000000);
static_assert(UInt25::max() == 0x1FFFFFF && UInt9::max() == 511 && UInt4::max() == 15);
static_assert(UInt7::bitWidth == 7 && !UInt7::isSigned);

TEST(MIDIUnsignedIntegerTest, CheckedConstructionKeepsInRangeValuesAndRaisesOutside) {
    EXPECT_EQ(UInt4(15).value(), 15);
    EXPECT_EQ(UInt7(uint64_t{127}).value(), 127);
    EXPECT_EQ(UInt25(0x1FFFFFF).value(), 0x1FFFFFFu);
    EXPECT_EQ(UInt14(UInt7(100)).value(), 100);
    EXPECT_OVERFLOW(UInt4(16), "UInt4");
    EXPECT_UNDERFLOW(UInt4(-1), "UInt4");
    EXPECT_UNDERFLOW(UInt7(int8_t{-128}), "UInt7");
    EXPECT_OVERFLOW(UInt7(uint16_t{255}), "UInt7");
    EXPECT_OVERFLOW(UInt25(0x2000000), "UInt25");
    EXPECT_OVERFLOW(UInt7(UInt14(128)), "UInt7");
    EXPECT_OVERFLOW(UInt9(std::numeric_limits<uint64_t>::max()), "UInt9");
    EXPECT_UNDERFLOW(UInt9(std::numeric_limits<int64_t>::min()), "UInt9");
}

TEST(MIDIUnsignedIntegerTest, FloatingConstructionDropsTheFractionAndChecksTheUnroundedSource) {
    struct Case {
        double source;
        int expected;
    };
    for (const Case& c : {Case{127.0, 127}, Case{126.99, 126}, Case{-0.0, 0}, Case{3.9, 3}}) {
        EXPECT_EQ(UInt7(c.source).value(), c.expected) << c.source;
    }
    for (double source : {127.5, 127.9, 128.0, inf, nan}) {
        EXPECT_OVERFLOW(UInt7(source), "UInt7");
    }
    for (double source : {-0.01, -0.5, -inf}) {
        EXPECT_UNDERFLOW(UInt7(source), "UInt7");
    }
    // A float cannot hold 0x1FFFFFF; 2^25 rounds onto it but still lies above the maximum.
    EXPECT_OVERFLOW(UInt25(33554432.0f), "UInt25");
    EXPECT_EQ(UInt25(33554430.0f).value(), 33554430u);
    EXPECT_EQ(UInt25(33554431.0).value(), 33554431u);
}

TEST(MIDIUnsignedIntegerTest, ExactlyGivesNoValueOutsideTheRange) {
    EXPECT_EQ(UInt7::exactly(3.5), UInt7(3));
    EXPECT_EQ(UInt7::exactly(127.0), UInt7(127));
    EXPECT_EQ(UInt7::exactly(-0.0), UInt7(0));
    for (double source : {128.0, 127.01, -0.01, nan, inf, -inf}) {
        EXPECT_EQ(UInt7::exactly(source), std::nullopt) << source;
    }
    EXPECT_EQ(UInt7::exactly(-1), std::nullopt);
    EXPECT_EQ(UInt14::exactly(16384), std::nullopt);
    EXPECT_EQ(UInt14::exactly(16383u), UInt14(16383));
    EXPECT_EQ(UInt4::exactly(std::numeric_limits<uint64_t>::max()), std::nullopt);
    EXPECT_EQ(UInt25::exactly(33554432.0f), std::nullopt);
}

TEST(MIDIUnsignedIntegerTest, ClampingLimitsAnySourceToTheRange) {
    EXPECT_EQ(UInt7::clamping(-5), UInt7(0));
    EXPECT_EQ(UInt7::clamping(1000), UInt7(127));
    EXPECT_EQ(UInt7::clamping(std::numeric_limits<uint64_t>::max()), UInt7(127));
    EXPECT_EQ(UInt7::clamping(std::numeric_limits<int64_t>::min()), UInt7(0));
    EXPECT_EQ(UInt9::clamping(511), UInt9(511));
    EXPECT_EQ(UInt4::clamping(UInt14(16383)), UInt4(15));
}

TEST(MIDIUnsignedIntegerTest, TruncatingKeepsTheTypesOwnWidthAndNeverFails) {
    EXPECT_EQ(UInt7::truncating(300), UInt7(44));
    EXPECT_EQ(UInt7::truncating(200), UInt7(72));
    EXPECT_EQ(UInt7::truncating(-1), UInt7(127));
    EXPECT_EQ(UInt4::truncating(0x10F), UInt4(15));
    EXPECT_EQ(UInt4::truncating(0x1F0), UInt4(0));
    EXPECT_EQ(UInt25::truncating(std::numeric_limits<int64_t>::min()), UInt25(0));
    EXPECT_EQ(UInt25::truncating(-2), UInt25(0x1FFFFFE));
}

TEST(MIDIUnsignedIntegerTest, ArithmeticResultsOutsideTheRangeRaiseTheNamedException) {
    EXPECT_EQ(UInt7(100) + UInt7(27), UInt7(127));
    EXPECT_OVERFLOW(UInt7(100) + UInt7(28), "UInt7");
    EXPECT_OVERFLOW(UInt7(100) * UInt7(2), "UInt7");
    // Products beyond the storage width raise the same way.
    EXPECT_OVERFLOW(UInt7(127) * UInt7(127), "UInt7");
    EXPECT_OVERFLOW(UInt25(0x1FFFFFF) * UInt25(0x1FFFFFF), "UInt25");
    EXPECT_EQ(UInt14(5) - UInt14(5), UInt14(0));
    EXPECT_UNDERFLOW(UInt14(4) - UInt14(5), "UInt14");
    EXPECT_EQ(UInt7(100) / UInt7(7), UInt7(14));
    EXPECT_EQ(UInt7(100) % UInt7(7), UInt7(2));
    EXPECT_RAISES(UInt7(1) / UInt7(0), divisionByZero, "UInt7 integer division by zero");
    EXPECT_RAISES(UInt7(1) % UInt7(0), divisionByZero, "UInt7 integer division by zero");
    EXPECT_RAISES(UInt9(1).quotientAndRemainder(UInt9(0)), divisionByZero,
                  "UInt9 integer division by zero");
    const auto qr = UInt9(500).quotientAndRemainder(UInt9(7));
    EXPECT_EQ(qr.quotient, UInt9(71));
    EXPECT_EQ(qr.remainder, UInt9(3));
    EXPECT_TRUE(UInt4(0).isMultiple(UInt4(0)));
    EXPECT_FALSE(UInt4(3).isMultiple(UInt4(0)));
    EXPECT_TRUE(UInt4(12).isMultiple(UInt4(4)));
    EXPECT_EQ(UInt4(0).signum(), UInt4(0));
    EXPECT_EQ(UInt4(9).signum(), UInt4(1));

    UInt7 v(10);
    v += UInt7(5);
    v *= UInt7(2);
    v -= UInt7(1);
    EXPECT_EQ(v, UInt7(29));
    EXPECT_OVERFLOW(v *= UInt7(5), "UInt7");
    EXPECT_EQ(v, UInt7(29));  // a raising operation leaves the value as it was
}

TEST(MIDIUnsignedIntegerTest, BitOperationsStayWithinTheWidth) {
    EXPECT_EQ(~UInt4(5), UInt4(10));
    EXPECT_EQ(~UInt14(0), UInt14(16383));
    EXPECT_EQ(~UInt25(0), UInt25::max());
    EXPECT_EQ(UInt7(0x5A) & UInt7(0x0F), UInt7(0x0A));
    EXPECT_EQ(UInt7(0x50) | UInt7(0x0F), UInt7(0x5F));
    EXPECT_EQ(UInt7(0x7F) ^ UInt7(0x0F), UInt7(0x70));
    EXPECT_EQ(UInt4(8).trailingZeroBitCount(), 3u);
    EXPECT_EQ(UInt4(0).trailingZeroBitCount(), 4u);
    EXPECT_EQ(UInt25(0).trailingZeroBitCount(), 25u);
}

TEST(MIDIUnsignedIntegerTest, LeftShiftsThatPushASetBitOutRaiseOverflow) {
    EXPECT_EQ(UInt14(0x1000) << 1, UInt14(0x2000));
    EXPECT_OVERFLOW(UInt14(0x2000) << 1, "UInt14");
    EXPECT_OVERFLOW(UInt14(0x2000) << 3, "UInt14");  // past the storage width as well
    EXPECT_OVERFLOW(UInt7(0x40) << 1, "UInt7");
    EXPECT_OVERFLOW(UInt7(0x40) << 2, "UInt7");
    EXPECT_OVERFLOW(UInt7(1) << 64, "UInt7");
    EXPECT_OVERFLOW(UInt7(1) >> -7, "UInt7");
    EXPECT_EQ(UInt7(0) << 1000, UInt7(0));
    EXPECT_EQ(UInt7(0x40) >> 6, UInt7(1));
    EXPECT_EQ(UInt7(0x40) >> 7, UInt7(0));
    EXPECT_EQ(UInt7(0x40) >> std::numeric_limits<uint64_t>::max(), UInt7(0));
    EXPECT_EQ(UInt7(0x40) << -6, UInt7(1));
    EXPECT_EQ(UInt7(0x40) << std::numeric_limits<int64_t>::min(), UInt7(0));
    EXPECT_EQ(UInt7(3) << UInt4(5), UInt7(96));
    UInt9 v(1);
    v <<= 8;
    EXPECT_EQ(v, UInt9(256));
    v >>= 4;
    EXPECT_EQ(v, UInt9(16));
}

TEST(MIDIUnsignedIntegerTest, ComparesExactlyWithAnyIntegerAndAcrossWidths) {
    EXPECT_TRUE(UInt7(5) == 5);
    EXPECT_TRUE(5 == UInt7(5));
    EXPECT_TRUE(UInt7(0) > -1);
    EXPECT_TRUE(-1 < UInt7(0));
    EXPECT_TRUE(UInt7(0) != -256);  // not equal to a negative number with the same low bits
    EXPECT_TRUE(UInt7(127) < std::numeric_limits<uint64_t>::max());
    EXPECT_TRUE(UInt7(127) > int8_t{-128});
    EXPECT_TRUE(UInt7(100) == UInt14(100));
    EXPECT_TRUE(UInt7(100) < UInt14(101));
    EXPECT_TRUE(UInt25(0x1000000) > UInt4(15));
    EXPECT_TRUE(UInt4(3) < UInt4(4));
    EXPECT_TRUE(UInt4(4) >= UInt4(4));
}

TEST(MIDIUnsignedIntegerTest, StridesCheckOnlyTheResult) {
    EXPECT_EQ(UInt7(3).distance(UInt7(1)), -2);
    EXPECT_EQ(UInt25(0).distance(UInt25::max()), 0x1FFFFFF);
    EXPECT_EQ(UInt7(10).advanced(-1), UInt7(9));
    EXPECT_EQ(UInt7(10).advanced(-10), UInt7(0));
    EXPECT_UNDERFLOW(UInt7(10).advanced(-11), "UInt7");
    EXPECT_EQ(UInt7(10).advanced(117), UInt7(127));
    EXPECT_OVERFLOW(UInt7(10).advanced(118), "UInt7");
    EXPECT_OVERFLOW(UInt7(10).advanced(std::numeric_limits<int64_t>::max()), "UInt7");
    EXPECT_UNDERFLOW(UInt7(10).advanced(std::numeric_limits<int64_t>::min()), "UInt7");
}

TEST(MIDIUnsignedIntegerTest, FourteenBitValuesSplitIntoSevenBitHalves) {
    struct Case {
        int value;
        int msb;
        int lsb;
    };
    for (const Case& c : {Case{16383, 127, 127}, Case{8192, 64, 0}, Case{127, 0, 127}}) {
        const UInt7Pair pair = UInt14(c.value).uInt7Pair();
        EXPECT_EQ(pair.msb, c.msb);
        EXPECT_EQ(pair.lsb, c.lsb);
        EXPECT_EQ(UInt14::fromUInt7Pair(UInt7Pair{UInt7(c.msb), UInt7(c.lsb)}), c.value);
    }
    for (int v = 0; v <= 16383; ++v) {
        ASSERT_EQ(UInt14::fromUInt7Pair(UInt14(v).uInt7Pair()), UInt14(v));
    }
}

TEST(MIDIUnsignedIntegerTest, FourteenBitBipolarValuesScaleEachHalfSeparately) {
    struct Case {
        int value;
        double bipolar;
    };
    for (const Case& c : {Case{0, -1.0}, Case{4096, -0.5}, Case{8192, 0.0}, Case{16383, 1.0}}) {
        EXPECT_EQ(UInt14(c.value).bipolarUnitIntervalValue(), c.bipolar);
        EXPECT_EQ(UInt14::fromBipolarUnitInterval(c.bipolar), c.value);
    }
    EXPECT_FALSE(std::signbit(UInt14(8192).bipolarUnitIntervalValue()));
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(0.5), 12287);  // the upper half scales by 8191
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(-0.0), 8192);
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(2.0), 16383);
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(-3.0), 0);
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(inf), 16383);
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(-inf), 0);
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(nan), 0);
    EXPECT_EQ(UInt14::fromBipolarUnitInterval(0.5f), 12287);
    for (int v = 0; v <= 16383; ++v) {
        ASSERT_EQ(UInt14::fromBipolarUnitInterval(UInt14(v).bipolarUnitIntervalValue()), v);
    }
}

TEST(MIDIUnsignedIntegerTest, BytesSplitIntoNibbles) {
    EXPECT_EQ(nibbles(0xA5), (Nibbles{UInt4(0xA), UInt4(0x5)}));
    EXPECT_EQ(nibbles(0x0F), (Nibbles{UInt4(0), UInt4(15)}));
    for (int byte = 0; byte <= 0xFF; ++byte) {
        const Nibbles n = nibbles(static_cast<uint8_t>(byte));
        ASSERT_EQ(byteFromNibbles(n.high, n.low), byte);
    }
}

TEST(MIDIUnsignedIntegerTest, TextShowsTheDecimalValue) {
    EXPECT_EQ(UInt25(0x1FFFFFF).description(), "33554431");
    EXPECT_EQ(UInt25(0x1FFFFFF).debugDescription(), "UInt25(33554431)");
    EXPECT_EQ(UInt14(8192).debugDescription(), "UInt14(8192)");
    EXPECT_EQ(UInt4(0).description(), "0");
    EXPECT_STREQ(UInt9::integerName, "UInt9");
    testing::internal::CaptureStdout();
    std::cout << UInt7(12);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "12");
}

TEST(MIDIUnsignedIntegerTest, DecodingRefusesNumbersAboveTheMaximum) {
    EXPECT_EQ(UInt7::decoded(127), UInt7(127));
    EXPECT_EQ(UInt14(300).encoded(), uint16_t{300});
    try {
        (void)UInt7::decoded(128);
        FAIL() << "decoded 128 as UInt7";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.errorCase(), DecodingError::Case::dataCorrupted);
        EXPECT_STREQ(error.what(), "Encoded value is not a valid UInt7.");
    }
    EXPECT_THROW((void)UInt4::decoded(16), DecodingError);
}

TEST(MIDIUnsignedIntegerTest, EqualValuesHashEquallyAndDistinctValuesSpread) {
    std::mt19937 random(7);
    std::uniform_int_distribution<uint32_t> any(0, 0x1FFFFFF);
    std::unordered_set<size_t> hashes;
    for (int i = 0; i < 1000; ++i) {
        const uint32_t n = any(random);
        EXPECT_EQ(std::hash<UInt25>{}(UInt25(n)), std::hash<UInt25>{}(UInt25::truncating(n)));
        hashes.insert(std::hash<UInt25>{}(UInt25(n)));
    }
    EXPECT_GT(hashes.size(), 900u);
    std::unordered_set<UInt7> set;
    for (int v = 0; v < 128; ++v)
        set.insert(UInt7(v));
    for (int v = 0; v < 128; ++v)
        set.insert(UInt7::truncating(v + 128));
    EXPECT_EQ(set.size(), 128u);
}

}  // namespace
}  // namespace midicore
