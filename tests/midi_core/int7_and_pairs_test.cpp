#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "midi_core/bytes.hpp"
#include "midi_core/int7.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "raised.hpp"

namespace midicore {
namespace {

TEST(Int7Test, CheckedConstructionStoresTheTwosComplementPattern) {
    struct Case {
        int source;
        int sixBits;
        bool negative;
        uint8_t pattern;
    };
    for (const Case& c : {Case{-64, 0, true, 0x40}, Case{-1, 63, true, 0x7F}, Case{0, 0, false, 0},
                          Case{63, 63, false, 0x3F}, Case{-3, 61, true, 0x7D}}) {
        const Int7 v(c.source);
        EXPECT_EQ(v.sixBitStorage(), c.sixBits) << c.source;
        EXPECT_EQ(v.isNegative(), c.negative) << c.source;
        EXPECT_EQ(v.intValue(), c.source);
        EXPECT_EQ(v.uInt8Value(), c.pattern);
        EXPECT_EQ(v.uInt7Value(), c.pattern);
    }
    EXPECT_OVERFLOW(Int7(64), "Int7");
    EXPECT_UNDERFLOW(Int7(-65), "Int7");
    EXPECT_OVERFLOW(Int7(uint64_t{0xFFFFFFFFFFFFFFC0}), "Int7");  // not read as -64
    EXPECT_EQ(Int7::exactly(100), std::nullopt);
    EXPECT_EQ(Int7::exactly(-100), std::nullopt);
    EXPECT_EQ(Int7::exactly(int8_t{-64}), Int7(-64));
}

TEST(Int7Test, BitPatternsIgnoreHigherBits) {
    struct Case {
        unsigned pattern;
        int value;
    };
    for (const Case& c :
         {Case{0x7F, -1}, Case{0x40, -64}, Case{0x3F, 63}, Case{0xFF, -1}, Case{0x180, 0}}) {
        const Int7 v = Int7::fromBitPattern(c.pattern);
        EXPECT_EQ(v.intValue(), c.value) << c.pattern;
        EXPECT_EQ(v.uInt8Value(), c.pattern & 0x7F);
    }
    EXPECT_EQ(Int7::fromBitPattern(UInt7(0x41)).intValue(), -63);
    EXPECT_EQ(Int7::fromBitPattern(-1).intValue(), -1);
}

TEST(Int7Test, OrdersEqualsAndHashesBySignedValue) {
    const std::array ordered{Int7(-64), Int7(-1), Int7(0), Int7(63)};
    for (size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_LT(ordered[i], ordered[i + 1]);
        EXPECT_GT(ordered[i + 1], ordered[i]);
    }
    EXPECT_EQ(Int7::min(), Int7(-64));
    EXPECT_EQ(Int7::max(), Int7(63));
    std::unordered_set<size_t> hashes;
    for (int v = -64; v <= 63; ++v) {
        EXPECT_EQ(Int7(v), Int7::fromBitPattern(v & 0x7F));
        EXPECT_EQ(Int7(v).hash(), Int7::fromBitPattern(v + 128).hash());
        hashes.insert(Int7(v).hash());
    }
    EXPECT_EQ(hashes.size(), 128u);
}

TEST(Int7Test, TextShowsTheSignedValueAndTheSevenBitPattern) {
    EXPECT_EQ(Int7(-3).description(), "-3");
    EXPECT_EQ(Int7(63).description(), "63");
    EXPECT_EQ(Int7(0).binaryString(), "0b0000000");
    EXPECT_EQ(Int7(-1).binaryString(), "0b1111111");
    EXPECT_EQ(Int7(5).binaryString(), "0b0000101");
    EXPECT_EQ(Int7(-64).binaryString(), "0b1000000");
}

TEST(BytePairTest, ConvertsToAndFromSixteenBits) {
    const BytePair pair(0x12, 0x34);
    EXPECT_EQ(pair.uInt16Value(), 0x1234);
    EXPECT_EQ(BytePair(uint16_t{0x1234}), pair);
    EXPECT_NE(BytePair(0x34, 0x12), pair);
    EXPECT_NE(BytePair(0x34, 0x12).hash(), pair.hash());
    for (uint32_t v = 0; v <= 0xFFFF; v += 0x101) {
        ASSERT_EQ(BytePair(static_cast<uint16_t>(v)).uInt16Value(), v);
    }
}

TEST(UInt7PairTest, JoinsToFourteenBitsAndPrintsHexHalves) {
    struct Case {
        int msb;
        int lsb;
        int value;
    };
    for (const Case& c : {Case{1, 0, 128}, Case{127, 127, 16383}, Case{0, 127, 127}}) {
        EXPECT_EQ((UInt7Pair{UInt7(c.msb), UInt7(c.lsb)}).uInt14Value(), UInt14(c.value));
    }
    EXPECT_EQ((UInt7Pair{UInt7(1), UInt7(127)}).description(), "[msb: 0x01, lsb: 0x7F]");
    const UInt7Pair a{UInt7(2), UInt7(3)};
    const UInt7Pair b{UInt7(3), UInt7(2)};
    EXPECT_NE(a, b);
    EXPECT_EQ(a, (UInt7Pair{UInt7(2), UInt7(3)}));
    EXPECT_NE(a.hash(), b.hash());
}

TEST(WordPackingTest, PacksBigEndian) {
    EXPECT_EQ(uInt32FromBytes(0x01, 0x02, 0x03, 0x04), 0x01020304u);
    EXPECT_EQ(uInt32FromHalves(0xA0B0, 0xC0D0), 0xA0B0C0D0u);
    const std::vector<uint32_t> words{0x01020304, 0xA0B0C0D0};
    EXPECT_EQ(bytes(words), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0}));
    EXPECT_TRUE(bytes(std::vector<uint32_t>{}).empty());
}

}  // namespace
}  // namespace midicore
