#include <gtest/gtest.h>

#include <vector>

#include "midi_support/data_conversion.hpp"

using namespace midisupport;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr auto big = NumberEndianness::bigEndian;
constexpr auto little = NumberEndianness::littleEndian;
constexpr auto native = NumberEndianness::platformDefault;

TEST(DataConversion, ReadingNeedsTheExactLength) {
    EXPECT_EQ(toUInt16(Bytes{0x01, 0x02}, big), 0x0102);
    EXPECT_EQ(toUInt16(Bytes{0x01, 0x02}, little), 0x0201);
    EXPECT_EQ(toUInt32(Bytes{0x00, 0x00, 0x00, 0x06}, big), 6u);
    EXPECT_EQ(toUInt32(Bytes{0x06, 0x00, 0x00, 0x00}, little), 6u);
    EXPECT_EQ(toUInt64(Bytes{1, 2, 3, 4, 5, 6, 7, 8}, big), 0x0102030405060708u);
    EXPECT_EQ(fromBytes<int16_t>(Bytes{0xFF, 0xFE}, big), -2);
    EXPECT_EQ(fromBytes<int32_t>(Bytes{0xFF, 0xFF, 0xFF, 0xFF}, little), -1);
    EXPECT_EQ(fromBytes<int64_t>(Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}, big), INT64_MIN);
    EXPECT_EQ(toUInt8(Bytes{0xF0}), 0xF0);
    EXPECT_EQ(toInt8(Bytes{0xF0}), -16);

    const Bytes wrongLengths[] = {{}, {1}, {1, 2, 3}, {1, 2, 3, 4, 5}, Bytes(9, 0)};
    for (const auto& bytes : wrongLengths) {
        EXPECT_EQ(toUInt16(bytes, big), std::nullopt) << bytes.size();
        EXPECT_EQ(toUInt32(bytes, big), std::nullopt) << bytes.size();
        EXPECT_EQ(toUInt64(bytes, big), std::nullopt) << bytes.size();
        EXPECT_EQ(toDouble(bytes, big), std::nullopt) << bytes.size();
    }
    EXPECT_EQ(toUInt8(Bytes{1, 2}), std::nullopt);
    EXPECT_EQ(toInt8(Bytes{}), std::nullopt);
}

TEST(DataConversion, FloatingPointFromIEEE754Patterns) {
    // Bit patterns from IEEE 754: 1.0, -2.0 and 0.1 (rounded) in single and double precision.
    EXPECT_EQ(toFloat32(Bytes{0x3F, 0x80, 0x00, 0x00}, big), 1.0f);
    EXPECT_EQ(toFloat32(Bytes{0x00, 0x00, 0x00, 0xC0}, little), -2.0f);
    EXPECT_EQ(toDouble(Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, big), 1.0);
    EXPECT_EQ(toDouble(Bytes{0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}, big), 0.1);
    EXPECT_EQ(toData(1.0f, big), (Bytes{0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(toData(0.1, big), (Bytes{0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}));
}

TEST(DataConversion, WritingInEachOrder) {
    EXPECT_EQ(toData(uint32_t{6}, big), (Bytes{0, 0, 0, 6}));
    EXPECT_EQ(toData(uint32_t{6}, little), (Bytes{6, 0, 0, 0}));
    EXPECT_EQ(toData(uint16_t{0x4D54}, big), (Bytes{0x4D, 0x54}));
    EXPECT_EQ(toData(int16_t{-2}, big), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(toData(uint8_t{0x7F}, big), (Bytes{0x7F}));
    // platformDefault is the host's own order, whichever it is.
    const Bytes hostOrder = toData(uint32_t{0x01020304}, systemEndianness);
    EXPECT_EQ(toData(uint32_t{0x01020304}, native), hostOrder);
    EXPECT_EQ(toUInt32(hostOrder, native), 0x01020304u);
    EXPECT_EQ(toUInt32(toData(uint32_t{0xDEADBEEF}, big), big), 0xDEADBEEFu);
}

TEST(DataConversion, CollectionsToBuffers) {
    const std::vector<int> values = {0x4D, 0x54, 0x72, 0x6B};
    EXPECT_EQ(toData(values), (Bytes{0x4D, 0x54, 0x72, 0x6B}));
    EXPECT_EQ(toData(std::string("MThd")), (Bytes{0x4D, 0x54, 0x68, 0x64}));
    EXPECT_TRUE(toData(Bytes{}).empty());
}

}  // namespace
