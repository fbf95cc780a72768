#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "midiservices/packets.hpp"

using namespace midiservices;

namespace {

size_t offsetIn(const void* list, const void* record) {
    return static_cast<size_t>(static_cast<const std::byte*>(record) -
                               static_cast<const std::byte*>(list));
}

TEST(PacketList, AddWithoutRoomChangesNothing) {
    const uint8_t bytes[300] = {};
    struct Case {
        size_t listSize;
        size_t byteCount;
        bool fits;
    } cases[] = {
        {4 + 10 + 3, 3, true}, {4 + 10 + 3, 4, false}, {4 + 10, 0, true},
        {4 + 9, 0, false},     {0, 0, false},
    };
    for (const auto& c : cases) {
        PacketListStorage storage(300);
        MIDIPacket* first = MIDIPacketListInit(storage.list());
        MIDIPacket* added =
            MIDIPacketListAdd(storage.list(), c.listSize, first, 7, c.byteCount, bytes);
        EXPECT_EQ(added != nullptr, c.fits) << c.listSize << " " << c.byteCount;
        EXPECT_EQ(storage.list()->numPackets, c.fits ? 1u : 0u);
    }
}

TEST(PacketList, LengthAboveSixteenBitsIsRefused) {
    std::vector<uint8_t> bytes(65536);
    PacketListStorage storage(70000);
    MIDIPacket* first = MIDIPacketListInit(storage.list());
    EXPECT_EQ(MIDIPacketListAdd(storage.list(), 70000, first, 0, bytes.size(), bytes.data()),
              nullptr);
    EXPECT_NE(MIDIPacketListAdd(storage.list(), 70000, first, 0, 65535, bytes.data()), nullptr);
}

TEST(EventList, PacketsFollowTheirLastWord) {
    EventListStorage storage(256);
    MIDIEventList* list = storage.list();
    MIDIEventPacket* at = MIDIEventListInit(list, MIDIProtocolID::midi2_0);
    EXPECT_EQ(list->protocol, MIDIProtocolID::midi2_0);
    const uint32_t words[] = {0x40903C00, 0xFFFF0000, 0x10F80000};
    at = MIDIEventListAdd(list, 256, at, 5, 2, words);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(offsetIn(list, at), 8u);
    at = MIDIEventListAdd(list, 256, at, 6, 1, words + 2);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(offsetIn(list, at), 8u + 12 + 8);
    EXPECT_EQ(at->words[0], 0x10F80000u);
    EXPECT_EQ(list->numPackets, 2u);
}

TEST(EventList, WordCountOutsideOneToSixtyFourIsRefused) {
    std::vector<uint32_t> words(65, 0x20903C7F);
    for (size_t count : {size_t{0}, size_t{65}}) {
        EventListStorage storage(1024);
        MIDIEventPacket* first = MIDIEventListInit(storage.list(), MIDIProtocolID::midi1_0);
        EXPECT_EQ(MIDIEventListAdd(storage.list(), 1024, first, 0, count, words.data()), nullptr);
        EXPECT_EQ(storage.list()->numPackets, 0u);
    }
    EventListStorage storage;
    MIDIEventPacket* first = MIDIEventListInit(storage.list(), MIDIProtocolID::midi1_0);
    EXPECT_NE(MIDIEventListAdd(storage.list(), sizeof(MIDIEventList), first, 0, 64, words.data()),
              nullptr);
}

TEST(ListStorage, CopiesAreIndependentAndMovesEmpty) {
    PacketListStorage original(100);
    original.list()->numPackets = 3;
    PacketListStorage copy = original;
    copy.list()->numPackets = 1;
    EXPECT_EQ(original.list()->numPackets, 3u);
    EXPECT_EQ(copy.byteCount(), original.byteCount());
    PacketListStorage moved = std::move(original);
    EXPECT_EQ(moved.list()->numPackets, 3u);
    EXPECT_EQ(original.list(), nullptr);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(original.byteCount(), 0u);
    EXPECT_GE(PacketListStorage(1).byteCount(), sizeof(MIDIPacketList));
}

}  // namespace
