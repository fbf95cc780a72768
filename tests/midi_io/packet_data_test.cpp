// Endpoint records, splitting event packets into UMP messages, and copying packet lists and event
// lists into records: bounded by the list's real size whatever its counts claim, and with the
// source the services name.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "midi_io/packet_data.hpp"
#include "midiservices/io.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

using namespace midiservices;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint32_t>;

MIDIDriverDeviceDescription keyboard() {
    return {"Keys", "K", "Maker", MIDIProtocolID::midi1_0, {{"Port", {"Out", "Out 2"}, {"In"}}}};
}

void* refConOf(MIDIEndpointRef ref) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(ref));
}

TEST(EndpointRecords, ReadTheServicesAndCompareByUniqueIDOnly) {
    testdriver::SimulatedSystem system;
    const auto device = system.plug(keyboard());
    const MIDIEndpointRef out = device.source(0);
    const MIDIOutputEndpoint before(out);
    EXPECT_EQ(before.name, "Out");
    EXPECT_FALSE(before.displayName.empty());
    EXPECT_NE(before.uniqueID, 0);
    EXPECT_EQ(before.coreMIDIObjectRef, out);
    EXPECT_EQ(before.debugDescription(),
              "MIDIOutputEndpoint(name: \"Out\", uniqueID: " + std::to_string(before.uniqueID) + ")");
    EXPECT_EQ(MIDIInputEndpoint(device.destination(0)).debugDescription().rfind("MIDIInputEndpoint(name: \"In\"", 0), 0u);

    ASSERT_EQ(MIDIObjectSetStringProperty(out, kMIDIPropertyName, "Renamed"), noErr);
    const MIDIOutputEndpoint after(out);
    EXPECT_EQ(after.name, "Renamed");
    EXPECT_EQ(after, before);
    EXPECT_EQ(after.hash(), before.hash());
    EXPECT_NE(MIDIOutputEndpoint(device.source(0, 1)), before);

    // Unreadable references: empty names, ID 0, and equal to each other.
    const MIDIOutputEndpoint none(0);
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.displayName, "");
    EXPECT_EQ(none.uniqueID, 0);
    EXPECT_EQ(none.coreMIDIObjectRef, 0u);
    EXPECT_EQ(none, MIDIOutputEndpoint(0xFFFFFF));

    EXPECT_EQ(currentOutputEndpoints(), (std::vector<MIDIOutputEndpoint>{before, MIDIOutputEndpoint(device.source(0, 1))}));
    EXPECT_EQ(currentInputEndpointSet().count(MIDIInputEndpoint(device.destination(0))), 1u);
}

TEST(PacketDecoding, SplitsEventPacketsIntoMessagesStepOverUnknownTypes) {
    const struct {
        const char* name;
        Words words;
        std::vector<Words> expected;
    } cases[] = {
        {"MIDI 2.0 note, then a system message", {0x40903C00, 0x80000000, 0x10F80000},
         {{0x40903C00, 0x80000000}, {0x10F80000}}},
        {"types 6-F are stepped over by their sizes",
         {0x20903C64, 0x60000000, 0x80000000, 0, 0xB0000000, 0, 0, 0xD0000000, 0, 0, 0, 0x10F80000},
         {{0x20903C64}, {0x10F80000}}},
        {"a message cut off at the end", {0x20903C64, 0x50000000, 0, 0}, {{0x20903C64}}},
        {"an unknown message cut off at the end", {0xF0000000, 0, 0}, {}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitUMPMessages(c.words), c.expected) << c.name;
}

// A packet list of `packets` and the bytes it spans.
PacketListStorage packetList(const std::vector<Bytes>& packets, size_t* used) {
    PacketListStorage storage(2048);
    MIDIPacket* at = MIDIPacketListInit(storage.list());
    MIDITimeStamp stamp = 100;
    for (const Bytes& p : packets) {
        at = MIDIPacketListAdd(storage.list(), storage.byteCount(), at, stamp++, p.size(), p.data());
    }
    *used = static_cast<size_t>(reinterpret_cast<const unsigned char*>(at->data) + at->length -
                                reinterpret_cast<const unsigned char*>(storage.list()));
    return storage;
}

TEST(PacketDecoding, CopiesPacketListsWithinTheirSize) {
    size_t used = 0;
    auto storage = packetList({{0x90, 0x3C, 0x64}, {}, {0xF8}}, &used);
    const auto records = packetDataArray(storage.list(), used, nullptr, false);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(records[1].bytes, Bytes{});
    EXPECT_EQ(records[2].bytes, Bytes{0xF8});
    EXPECT_EQ(records[2].timeStamp, 102u);
    EXPECT_FALSE(records[0].source);

    // A count that claims more packets than the size holds, and a length that runs past the end.
    storage.list()->numPackets = 0xFFFFFFFF;
    EXPECT_EQ(packetDataArray(storage.list(), used, nullptr, false).size(), 3u);
    storage.list()->numPackets = 1;
    EXPECT_EQ(packetDataArray(storage.list(), used - 1, nullptr, false).size(), 1u);
    EXPECT_TRUE(packetDataArray(storage.list(), 12, nullptr, false).empty());
    storage.list()->numPackets = 0;
    EXPECT_TRUE(packetDataArray(storage.list(), used, nullptr, false).empty());
    EXPECT_TRUE(packetDataArray(storage.list(), 3, nullptr, false).empty());
}

TEST(PacketDecoding, CopiesEventListsMessageByMessageWithinTheirSize) {
    EventListStorage storage(2048);
    MIDIEventPacket* at = MIDIEventListInit(storage.list(), MIDIProtocolID::midi2_0);
    const Words first{0x40903C00, 0x80000000, 0x10F80000};
    const Words second{0x20903C7F};
    at = MIDIEventListAdd(storage.list(), storage.byteCount(), at, 7, first.size(), first.data());
    at = MIDIEventListAdd(storage.list(), storage.byteCount(), at, 8, second.size(), second.data());
    const size_t used = static_cast<size_t>(reinterpret_cast<const unsigned char*>(at->words + 1) -
                                            reinterpret_cast<const unsigned char*>(storage.list()));
    const auto records = universalPacketDataArray(storage.list(), used, nullptr, false);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].bytes, (Bytes{0x40, 0x90, 0x3C, 0x00, 0x80, 0x00, 0x00, 0x00}));
    EXPECT_EQ(records[1].bytes, (Bytes{0x10, 0xF8, 0x00, 0x00}));
    EXPECT_EQ(records[1].timeStamp, 7u);
    EXPECT_EQ(records[2].bytes, (Bytes{0x20, 0x90, 0x3C, 0x7F}));
    EXPECT_EQ(records[2].timeStamp, 8u);

    storage.list()->numPackets = 1000;
    EXPECT_EQ(universalPacketDataArray(storage.list(), used, nullptr, false).size(), 3u);
    EXPECT_EQ(universalPacketDataArray(storage.list(), used - 1, nullptr, false).size(), 2u);
    storage.list()->packet[0].wordCount = 65;
    EXPECT_TRUE(universalPacketDataArray(storage.list(), storage.byteCount(), nullptr, false).empty());
    storage.list()->numPackets = 0;
    EXPECT_TRUE(universalPacketDataArray(storage.list(), used, nullptr, false).empty());
}

TEST(PacketDecoding, FindsTheSourceOnlyWhenAskedAndKnown) {
    testdriver::SimulatedSystem system;
    const auto device = system.plug(keyboard());
    size_t used = 0;
    auto storage = packetList({{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x00}}, &used);
    const MIDIOutputEndpoint expected(device.source(0));

    const auto known = packetDataArray(storage.list(), used, refConOf(device.source(0)), true);
    ASSERT_EQ(known.size(), 2u);
    for (const auto& record : known) {
        ASSERT_TRUE(record.source);
        EXPECT_EQ(record.source->uniqueID, expected.uniqueID);
        EXPECT_EQ(record.source->displayName, expected.displayName);
    }
    EXPECT_FALSE(packetDataArray(storage.list(), used, refConOf(device.source(0)), false)[0].source);
    EXPECT_FALSE(packetDataArray(storage.list(), used, refConOf(0xFFFFFF), true)[0].source);
    EXPECT_FALSE(outputEndpointFromRefCon(nullptr, true));
}

// The way the receive path uses the decoders: inside a port's block, with the reference value the
// port connected the source under.
TEST(PacketDecoding, DecodesWhatAPortReceivesFromASource) {
    testdriver::SimulatedSystem system;
    const auto device = system.plug(keyboard());
    MIDIClientRef client = 0;
    ASSERT_EQ(MIDIClientCreateWithBlock("client", &client, {}), noErr);
    std::mutex mutex;
    std::vector<MIDIPacketData> received;
    std::vector<UniversalMIDIPacketData> receivedUMP;
    MIDIPortRef bytesPort = 0;
    MIDIPortRef umpPort = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(client, "bytes", &bytesPort,
                                           [&](const MIDIPacketList* list, void* refCon) {
                                               auto records = packetDataArray(list, refCon, true);
                                               std::lock_guard lock(mutex);
                                               for (auto& r : records) received.push_back(std::move(r));
                                           }),
              noErr);
    ASSERT_EQ(MIDIInputPortCreateWithProtocol(client, "ump", MIDIProtocolID::midi1_0, &umpPort,
                                              [&](const MIDIEventList* list, void* refCon) {
                                                  auto records = universalPacketDataArray(list, refCon, true);
                                                  std::lock_guard lock(mutex);
                                                  for (auto& r : records) receivedUMP.push_back(std::move(r));
                                              }),
              noErr);
    ASSERT_EQ(MIDIPortConnectSource(bytesPort, device.source(0), refConOf(device.source(0))), noErr);
    ASSERT_EQ(MIDIPortConnectSource(umpPort, device.source(0), refConOf(device.source(0))), noErr);
    ASSERT_EQ(system.play(device.source(0), {0x90, 0x3C, 0x64}, 42), noErr);
    ASSERT_TRUE(system.drain());
    MIDIClientDispose(client);

    std::lock_guard lock(mutex);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(received[0].timeStamp, 42u);
    ASSERT_TRUE(received[0].source);
    EXPECT_EQ(*received[0].source, MIDIOutputEndpoint(device.source(0)));
    ASSERT_EQ(receivedUMP.size(), 1u);
    EXPECT_EQ(receivedUMP[0].bytes, (Bytes{0x20, 0x90, 0x3C, 0x64}));
    EXPECT_EQ(receivedUMP[0].source, received[0].source);
}

}  // namespace
}  // namespace midiio
