#include "midi_core/wire.hpp"

#include <gtest/gtest.h>

#include <numeric>

namespace midicore {
namespace {

// Growing element by element and by appends across the inline limit keeps every value in order.
TEST(SmallVector, KeepsOrderAcrossTheInlineLimit) {
    for (size_t total : {0u, 1u, 11u, 12u, 13u, 40u, 1000u}) {
        std::vector<uint8_t> expected(total);
        std::iota(expected.begin(), expected.end(), uint8_t{0});
        MIDI1Bytes pushed;
        for (uint8_t b : expected) pushed.push_back(b);
        MIDI1Bytes appended;
        for (size_t i = 0; i < total; i += 5)
            appended.append(std::span<const uint8_t>(expected).subspan(i, std::min<size_t>(5, total - i)));
        EXPECT_EQ(pushed, expected) << total;
        EXPECT_EQ(appended, expected) << total;
        EXPECT_EQ(pushed.spilled(), total > MIDI1Bytes::inlineCapacity()) << total;
        MIDI1Bytes copy = pushed;
        pushed.clear();
        EXPECT_EQ(copy, expected) << total;
        EXPECT_TRUE(pushed.empty());
    }
}

TEST(UMPPacket, HoldsUpToFourWords) {
    UMPPacket two{0x41923C00, 0xFFFF0000};
    EXPECT_EQ(two, (std::vector<uint32_t>{0x41923C00, 0xFFFF0000}));
    EXPECT_NE(two, (UMPPacket{0x41923C00}));
    EXPECT_THROW((UMPPacket{1, 2, 3, 4, 5}), std::length_error);
    UMPPackets packets;
    for (uint32_t i = 0; i < 6; ++i) packets.push_back(UMPPacket{i});
    EXPECT_EQ(packets.size(), 6u);
    EXPECT_EQ(packets[5], (UMPPacket{5}));
}

}  // namespace
}  // namespace midicore
