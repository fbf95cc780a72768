#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "midi_support/number_text.hpp"

using namespace midisupport;

namespace {

TEST(NumberText, SingleValues) {
    const struct {
        std::string text, expected;
    } cases[] = {
        {hexString(10, 2, true), "0x0A"},
        {hexString(0x1234, 2, true), "0x1234"},  // never truncated
        {hexString(0xABCDEF), "ABCDEF"},
        {hexString(uint8_t{0}, true), "0x0"},
        {hexString(-10), "-A"},
        {hexString(-5, 4, true), "0x00-5"},  // padding and prefix before the sign
        {hexString(int8_t{-128}, 2), "-80"},
        {hexString(INT64_MIN), "-8000000000000000"},
        {hexString(UINT64_MAX, true), "0xFFFFFFFFFFFFFFFF"},
        {hexString(0x7F, -3), "7F"},
        {binaryString(5, 8), "00000101"},
        {binaryString(5, 8, true), "0b00000101"},
        {binaryString(0x1FF, 8, true), "0b111111111"},
        {binaryString(0), "0"},
        {binaryString(-2, true), "0b-10"},
        {decimalString(7, 3), "007"},
        {decimalString(12345, 2), "12345"},
        {decimalString(-42, 5), "-0042"},
        {decimalString(-42, 2), "-42"},
        {decimalString(0, 2), "00"},
        {decimalString(5, 0), "5"},
        {decimalString(5, -4), "5"},
        {decimalString(UINT64_MAX, 1), "18446744073709551615"},
        {decimalString(INT64_MIN, 21), "-09223372036854775808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, c.expected);
}

TEST(NumberText, Collections) {
    const std::vector<uint8_t> sysEx = {0xF0, 0x7E, 0x01};
    const std::vector<int> none;
    const struct {
        std::string text, expected;
    } cases[] = {
        {hexString(std::vector<uint8_t>{0xF0, 0x7E}, 2, false, " "), "F0 7E"},
        {hexString(sysEx, 2, true, " "), "0xF0 0x7E 0x01"},
        {hexString(sysEx, true, ","), "0xF0,0x7E,0x1"},
        {hexString(sysEx, 0, false, ""), "F07E1"},
        {hexString(none, 2, true, " "), ""},
        {binaryString(sysEx, 8, false, " "), "11110000 01111110 00000001"},
        {binaryString(sysEx, true, "|"), "0b11110000|0b1111110|0b1"},
        {hexArrayString(none, 2), "[]"},
        {hexArrayString(sysEx, 2), "[0xF0, 0x7E, 0x01]"},
        {hexArrayString(std::array<uint16_t, 2>{0x1234, 0x5}, 2), "[0x1234, 0x05]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, c.expected);
}

TEST(NumberText, Bits) {
    const struct {
        long long value;
        int position;
        long long bit;
    } cases[] = {
        {0b1010, 0, 0}, {0b1010, 1, 1}, {0b1010, 3, 1},     {0b1010, 4, 0},
        {-1, 63, 1},    {-1, 64, 1},    {-1, 1000, 1},      {5, 64, 0},
        {5, -1, 0},     {-1, -1, 0},    {LLONG_MIN, 63, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bit(c.value, c.position), c.bit) << c.value << "@" << c.position;
    EXPECT_EQ(bit(uint8_t{0x80}, 7), 1);
    EXPECT_EQ(bit(uint8_t{0xFF}, 8), 0);
    EXPECT_EQ(bit(int8_t{-128}, 7), 1);
}

}  // namespace
