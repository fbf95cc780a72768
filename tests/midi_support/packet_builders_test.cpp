#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "midi_support/packet_builders.hpp"

using namespace midisupport;
using midiservices::MIDIPacket;
using midiservices::MIDIProtocolID;

namespace {

std::string malformedMessage(const std::function<void()>& build) {
    try {
        build();
    } catch (const VOREDuvInternalError& e) {
        EXPECT_EQ(e.errorCase(), VOREDuvInternalError::Case::malformed);
        return e.what();
    }
    return "(no error)";
}

std::vector<uint32_t> countingWords(size_t n) {
    std::vector<uint32_t> words(n);
    std::iota(words.begin(), words.end(), 0x20903C00u);
    return words;
}

TEST(EventPacket, WordCountLimits) {
    const std::string zero = "A Universal MIDI Packet cannot contain zero UInt32 words.";
    const std::string tooMany = "A Universal MIDI Packet cannot contain more than 64 UInt32 words.";
    const struct {
        size_t words;
        std::string error;
    } cases[] = {{0, zero}, {1, ""}, {64, ""}, {65, tooMany}, {1000, tooMany}};
    for (const auto& c : cases) {
        const auto words = countingWords(c.words);
        const auto expected = c.error.empty() ? "(no error)" : c.error;
        EXPECT_EQ(malformedMessage([&] { makeEventPacket(words, 42); }), expected) << c.words;
        EXPECT_EQ(malformedMessage([&] { makeEventList(MIDIProtocolID::midi2_0, words, 42); }),
                  expected)
            << c.words;
    }
}

TEST(EventPacket, HoldsTheWordsInOrderAndZeroesTheRest) {
    const auto words = countingWords(3);
    const auto packet = makeEventPacket(words, 0x1122334455667788);
    EXPECT_EQ(packet.timeStamp, 0x1122334455667788u);
    EXPECT_EQ(packet.wordCount, 3u);
    EXPECT_EQ(wordsArray(packet), words);
    for (size_t i = 3; i < 64; ++i)
        EXPECT_EQ(packet.words[i], 0u) << i;

    const auto full = countingWords(64);
    EXPECT_EQ(wordsArray(makeEventPacket(full, 0)), full);

    const auto list = makeEventList(MIDIProtocolID::midi1_0, words, 9);
    EXPECT_EQ(list.protocol, MIDIProtocolID::midi1_0);
    EXPECT_EQ(list.numPackets, 1u);
    EXPECT_EQ(wordsArray(list.packet[0]), words);
    EXPECT_EQ(list.packet[0].timeStamp, 9u);
}

TEST(EventPacket, WordsArrayOfAnImpossibleCountIsEmpty) {
    midiservices::MIDIEventPacket packet{};
    EXPECT_TRUE(wordsArray(packet).empty());
    packet.wordCount = 65;
    EXPECT_TRUE(wordsArray(packet).empty());
}

// Walks a built list and checks each packet's place, bytes and the shared time stamp.
void expectWalk(const midiservices::PacketListStorage& storage,
                const std::vector<std::vector<uint8_t>>& messages,
                const std::vector<size_t>& offsets) {
    const auto* base = reinterpret_cast<const uint8_t*>(storage.list());
    std::vector<std::vector<uint8_t>> seen;
    std::vector<size_t> seenOffsets;
    std::vector<MIDITimeStamp> stamps;
    forEachPacket(storage, [&](const MIDIPacket* packet) {
        seen.push_back(midiPacketBytes(packet));
        seenOffsets.push_back(static_cast<size_t>(reinterpret_cast<const uint8_t*>(packet) - base));
        stamps.push_back(midiPacketTimeStamp(packet));
    });
    EXPECT_EQ(seen, messages);
    if (!offsets.empty()) {
        EXPECT_EQ(seenOffsets, offsets);
    }
    for (auto stamp : stamps)
        EXPECT_EQ(stamp, stamps.front());

    // The trusting walk over the list itself visits the same packets.
    size_t visited = 0;
    forEachPacket(*storage.list(), [&](const MIDIPacket* packet) {
        EXPECT_EQ(midiPacketBytes(*packet), messages.at(visited++));
    });
    EXPECT_EQ(visited, messages.size());
}

TEST(PacketListBuilder, OnePacketPerMessageAtAlignedOffsetsWithOneTimeStamp) {
    const std::vector<std::vector<uint8_t>> messages = {{0xF8}, {0xC0, 0x05}, {0x90, 0x3C, 0x7F}};
    const auto before = midiservices::currentHostTime();
    const auto storage = makePacketList(messages);
    const auto after = midiservices::currentHostTime();
    expectWalk(storage, messages, {4, 16, 28});
    const auto stamp = midiPacketTimeStamp(storage.list()->packet[0]);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
}

TEST(PacketListBuilder, SingleMessagesAndEdgeSizes) {
    const std::vector<std::vector<uint8_t>> cases[] = {
        {},
        {{0xFE}},
        {{}},
        {{}, {0xF8}, {}},
        {std::vector<uint8_t>(256, 0x01)},
        {std::vector<uint8_t>(300, 0x02)},
    };
    for (const auto& messages : cases) {
        expectWalk(makePacketList(messages), messages, {});
        if (messages.size() == 1) {
            expectWalk(makePacketList(messages[0]), messages, {4});
        }
    }
}

TEST(PacketListBuilder, SizeLimitCountsHeadersAndDataWithoutPadding) {
    const auto tooLarge = [](size_t n) {
        return "Data is too large (" + std::to_string(n) + " bytes). Maximum size is 65536 bytes.";
    };
    const struct {
        std::vector<size_t> lengths;
        size_t total;  // 4 + sum of (10 + length)
    } cases[] = {
        {{65522}, 65536},
        {{65523}, 65537},
        // The unpadded sum is exactly the limit, while the padding after the odd-sized first
        // packets makes the laid-out list longer: the last add must still find room.
        {{1, 65511}, 65536},
        {{1, 2, 3, 65486}, 65536},
        {{1, 65512}, 65537},
        {std::vector<size_t>(6553, 0), 65534},
        {std::vector<size_t>(6554, 0), 65544},
    };
    for (const auto& c : cases) {
        std::vector<std::vector<uint8_t>> messages;
        for (size_t length : c.lengths)
            messages.emplace_back(length, 0x42);
        if (c.total <= maxPacketListSize) {
            expectWalk(makePacketList(messages), messages, {});
        } else {
            EXPECT_EQ(malformedMessage([&] { makePacketList(messages); }), tooLarge(c.total));
        }
        if (messages.size() == 1 && c.total > maxPacketListSize) {
            EXPECT_EQ(malformedMessage([&] { makePacketList(messages[0]); }), tooLarge(c.total));
        }
    }
}

TEST(PacketListBuilder, WalkOfDamagedStorageStopsWithAnError) {
    const std::vector<std::vector<uint8_t>> messages = {{0x90, 0x3C, 0x7F}};
    auto storage = makePacketList(messages);
    storage.list()->numPackets = 50;
    size_t visited = 0;
    EXPECT_EQ(malformedMessage([&] {
                  forEachPacket(storage, [&](const MIDIPacket*) { ++visited; });
              }).rfind("MIDI packet ", 0),
              0u);
    EXPECT_GE(visited, 1u);
    EXPECT_LT(visited, 50u);
}

TEST(PacketListBuilder, EmptyPacketGivesNoBytes) {
    midiservices::MIDIPacket packet{};
    packet.timeStamp = 77;
    EXPECT_TRUE(midiPacketBytes(packet).empty());
    EXPECT_EQ(midiPacketTimeStamp(&packet), 77u);
}

}  // namespace
