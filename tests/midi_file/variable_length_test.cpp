#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "midi_file/variable_length.hpp"

using namespace midifile;

namespace {

using Bytes = std::vector<uint8_t>;

// The examples of the Standard MIDI File specification's table of quantities.
TEST(VariableLength, StandardExamplesBothWays) {
    const struct {
        uint32_t value;
        Bytes bytes;
    } cases[] = {
        {0x00000000, {0x00}},
        {0x00000040, {0x40}},
        {0x0000007F, {0x7F}},
        {0x00000080, {0x81, 0x00}},
        {0x00002000, {0xC0, 0x00}},
        {0x00003FFF, {0xFF, 0x7F}},
        {0x00004000, {0x81, 0x80, 0x00}},
        {0x00100000, {0xC0, 0x80, 0x00}},
        {0x001FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x00200000, {0x81, 0x80, 0x80, 0x00}},
        {0x08000000, {0xC0, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeVariableLengthValue(c.value), c.bytes) << c.value;
        Bytes withJunk = c.bytes;
        withJunk.push_back(0xFF);
        EXPECT_EQ(decodeVariableLengthValue(withJunk),
                  (VariableLengthValue{c.value, static_cast<int64_t>(c.bytes.size())}))
            << c.value;
    }
}

TEST(VariableLength, BeyondFourBytesAndBelowOne) {
    EXPECT_EQ(encodeVariableLengthValue(uint32_t{0x10000000}), (Bytes{0x81, 0x80, 0x80, 0x80, 0x00}));
    EXPECT_EQ(encodeVariableLengthValue(uint32_t{0xFFFFFFFF}), (Bytes{0x8F, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(encodeVariableLengthValue(int64_t{-5}), (Bytes{0x00}));
    EXPECT_EQ(encodeVariableLengthValue(INT64_MIN), (Bytes{0x00}));
    EXPECT_EQ(encodeVariableLengthValue(INT64_MAX).size(), 9u);
    EXPECT_EQ(encodeVariableLengthValue(UINT64_MAX).size(), 10u);
}

TEST(VariableLength, DecodingRefusesWhatIsNoQuantity) {
    const struct {
        Bytes bytes;
        std::optional<VariableLengthValue> value;
    } cases[] = {
        {{}, std::nullopt},
        {{0x81}, std::nullopt},
        {{0x81, 0x80}, std::nullopt},
        {{0x80, 0x80, 0x80, 0x80}, std::nullopt},
        {{0x80, 0x80, 0x80, 0x80, 0x00}, std::nullopt},  // five bytes are too many
        {{0x80, 0x00}, VariableLengthValue{0, 2}},        // longer forms than needed are read
        {{0x80, 0x80, 0x7F}, VariableLengthValue{127, 3}},
        {{0x80, 0x05}, VariableLengthValue{5, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeVariableLengthValue(c.bytes), c.value) << testing::PrintToString(c.bytes);
    }
}

TEST(VariableLength, RandomValuesRoundTrip) {
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t value = random() >> (random() % 32) & 0x0FFFFFFF;
        const Bytes bytes = encodeVariableLengthValue(value);
        const auto decoded = decodeVariableLengthValue(bytes);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->value, value);
        EXPECT_EQ(decoded->byteLength, static_cast<int64_t>(bytes.size()));
    }
}

TEST(VariableLength, ReaderStepsOverTheQuantityOnly) {
    const Bytes bytes{0xFF, 0x7F, 0x81, 0x00, 0x55};
    midisupport::PassiveDataReader reader(bytes);
    reader.advanceBy(2);
    EXPECT_EQ(readVariableLength(reader), 128);
    EXPECT_EQ(reader.readOffset(), 4);

    const Bytes broken{0x81, 0x81};
    midisupport::PassiveDataReader brokenReader(broken);
    EXPECT_EQ(readVariableLength(brokenReader), std::nullopt);
    EXPECT_EQ(brokenReader.readOffset(), 0);
    // With nothing left the reader's own error comes through.
    brokenReader.advanceBy(2);
    EXPECT_THROW(readVariableLength(brokenReader), midisupport::PassiveDataReader::ReadError);
}

}  // namespace
