#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midiservices/io.hpp"
#include "midiservices/test_driver.hpp"
#include "wait_for.hpp"

using namespace midiservices;
using midiservices::testdriver::Call;
using midiservices::testdriver::SimulatedSystem;

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint32_t>;

MIDIDriverDeviceDescription keyboard(MIDIProtocolID protocol = MIDIProtocolID::midi1_0) {
    return {"Keys", "K", "Maker", protocol, {{"Port", {"Out"}, {"In"}}}};
}

// One delivered list, copied while the block ran.
struct Delivery {
    void* refCon = nullptr;
    int protocol = 0;  // 0 for a packet list
    std::vector<Bytes> packets;
    std::vector<Words> wordPackets;
    std::thread::id thread;
};

// Collects what a block receives.
class Inbox {
  public:
    MIDIReadBlock readBlock() {
        return [this](const MIDIPacketList* list, void* refCon) {
            Delivery d{refCon, 0, {}, {}, std::this_thread::get_id()};
            const MIDIPacket* p = list->packet;
            for (uint32_t i = 0; i < list->numPackets; ++i, p = MIDIPacketNext(p)) {
                d.packets.emplace_back(p->data, p->data + p->length);
            }
            add(std::move(d));
        };
    }
    MIDIReceiveBlock receiveBlock() {
        return [this](const MIDIEventList* list, void* refCon) {
            Delivery d{refCon, int(list->protocol), {}, {}, std::this_thread::get_id()};
            const MIDIEventPacket* p = list->packet;
            for (uint32_t i = 0; i < list->numPackets; ++i, p = MIDIEventPacketNext(p)) {
                d.wordPackets.emplace_back(p->words, p->words + p->wordCount);
            }
            add(std::move(d));
        };
    }
    std::vector<Delivery> deliveries() {
        std::lock_guard lock(mutex_);
        return deliveries_;
    }
    Words allWords() {
        Words all;
        for (const auto& d : deliveries()) {
            for (const auto& p : d.wordPackets)
                all.insert(all.end(), p.begin(), p.end());
        }
        return all;
    }

  private:
    void add(Delivery d) {
        std::lock_guard lock(mutex_);
        deliveries_.push_back(std::move(d));
    }
    std::mutex mutex_;
    std::vector<Delivery> deliveries_;
};

struct Client {
    Client() { EXPECT_EQ(MIDIClientCreateWithBlock("client", &ref, {}), noErr); }
    ~Client() { MIDIClientDispose(ref); }
    MIDIClientRef ref = 0;
};

// Makes `input`, a port of `client` hearing `source` as MIDI 1.0 UMP, delivering to `inbox`.
void listen(const Client& client, MIDIEndpointRef source, Inbox& inbox, MIDIPortRef* input) {
    ASSERT_EQ(MIDIInputPortCreateWithProtocol(client.ref, "u", MIDIProtocolID::midi1_0, input,
                                              inbox.receiveBlock()),
              noErr);
    ASSERT_EQ(MIDIPortConnectSource(*input, source, nullptr), noErr);
}

// A packet list of the given packets in storage of its exact size.
PacketListStorage packetList(const std::vector<Bytes>& packets, size_t* size) {
    PacketListStorage storage(1024);
    MIDIPacket* at = MIDIPacketListInit(storage.list());
    for (const auto& p : packets)
        at = MIDIPacketListAdd(storage.list(), 1024, at, 0, p.size(), p.data());
    *size = packets.empty() ? packetListHeaderSize
                            : size_t(reinterpret_cast<uint8_t*>(at->data) + at->length -
                                     reinterpret_cast<uint8_t*>(storage.list()));
    return storage;
}

EventListStorage eventList(MIDIProtocolID protocol, const std::vector<Words>& packets,
                           size_t* size) {
    EventListStorage storage(2048);
    MIDIEventPacket* at = MIDIEventListInit(storage.list(), protocol);
    *size = offsetof(MIDIEventList, packet);
    for (const auto& p : packets) {
        at = MIDIEventListAdd(storage.list(), 2048, at, 0, p.size(), p.data());
        *size += offsetof(MIDIEventPacket, words) + 4 * p.size();
    }
    return storage;
}

TEST(MIDIDelivery, AKeyboardNoteReachesEachPortInItsOwnForm) {
    SimulatedSystem system;
    Client client;
    auto device = system.plug(keyboard());
    Inbox legacy, one, two;
    MIDIPortRef ports[3] = {};
    ASSERT_EQ(MIDIInputPortCreateWithBlock(client.ref, "legacy", &ports[0], legacy.readBlock()),
              noErr);
    ASSERT_EQ(MIDIInputPortCreateWithProtocol(client.ref, "one", MIDIProtocolID::midi1_0, &ports[1],
                                              one.receiveBlock()),
              noErr);
    ASSERT_EQ(MIDIInputPortCreateWithProtocol(client.ref, "two", MIDIProtocolID::midi2_0, &ports[2],
                                              two.receiveBlock()),
              noErr);
    int refCons[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(MIDIPortConnectSource(ports[i], device.source(0), &refCons[i]), noErr);
    }
    EXPECT_EQ(system.liveObjects(client.ref).ports, 3u);

    ASSERT_EQ(system.play(device.source(0), {0x90, 0x3C, 0x64}), noErr);
    ASSERT_EQ(system.play(device.source(0), {0x90, 0x3C, 0x00}), noErr);  // note on, velocity 0
    ASSERT_TRUE(system.drain());

    const auto l = legacy.deliveries();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].refCon, &refCons[0]);
    EXPECT_EQ(l[0].packets, (std::vector<Bytes>{{0x90, 0x3C, 0x64}}));
    EXPECT_NE(l[0].thread, std::this_thread::get_id());
    const auto o = one.deliveries();
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0].refCon, &refCons[1]);
    EXPECT_EQ(o[0].protocol, 1);
    EXPECT_EQ(o[0].wordPackets, (std::vector<Words>{{0x20903C64}}));
    const auto t = two.deliveries();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].refCon, &refCons[2]);
    EXPECT_EQ(t[0].protocol, 2);
    EXPECT_EQ(t[0].wordPackets, (std::vector<Words>{{0x40903C00, 0xC9240000}}));
    // A Note On of velocity 0 from a MIDI 1.0 keyboard is a Note Off to a MIDI 2.0 port.
    EXPECT_EQ(t[1].wordPackets, (std::vector<Words>{{0x40803C00, 0x00000000}}));
}

TEST(MIDIDelivery, VirtualEndpointsSendsAndDisconnections) {
    SimulatedSystem system;
    Client client, other;
    Inbox destinationInbox, portA, portB;
    MIDIEndpointRef destination = 0, source = 0;
    ASSERT_EQ(MIDIDestinationCreateWithBlock(client.ref, "in", &destination,
                                             destinationInbox.readBlock()),
              noErr);
    ASSERT_EQ(MIDISourceCreate(client.ref, "out", &source), noErr);
    MIDIPortRef output = 0, inputA = 0, inputB = 0;
    ASSERT_EQ(MIDIOutputPortCreate(other.ref, "o", &output), noErr);
    ASSERT_EQ(MIDIInputPortCreateWithBlock(other.ref, "a", &inputA, portA.readBlock()), noErr);
    ASSERT_EQ(MIDIInputPortCreateWithProtocol(other.ref, "b", MIDIProtocolID::midi1_0, &inputB,
                                              portB.receiveBlock()),
              noErr);
    ASSERT_EQ(MIDIPortConnectSource(inputA, source, nullptr), noErr);
    ASSERT_EQ(MIDIPortConnectSource(inputB, source, &client), noErr);

    // Packets of odd lengths: each starts at the next multiple of 4 after the one before.
    size_t size = 0;
    const std::vector<Bytes> packets{{0xB0, 0x07, 0x64}, {0xF8}, {0xF0, 1, 2, 3, 4, 0xF7}};
    auto several = packetList(packets, &size);
    ASSERT_EQ(size, 4u + 16 + 12 + 16);
    ASSERT_EQ(MIDISend(output, destination, several.list(), size), noErr);
    ASSERT_TRUE(system.drain());
    ASSERT_EQ(destinationInbox.deliveries().size(), 1u);
    EXPECT_EQ(destinationInbox.deliveries()[0].packets, packets);

    auto list = packetList({{0xB0, 0x07, 0x64}}, &size);
    ASSERT_EQ(MIDISend(output, destination, list.list(), size), noErr);
    ASSERT_EQ(MIDIReceived(source, list.list(), size), noErr);
    ASSERT_TRUE(system.drain());
    ASSERT_EQ(destinationInbox.deliveries().size(), 2u);
    EXPECT_EQ(destinationInbox.deliveries()[1].refCon, nullptr);
    EXPECT_EQ(portA.deliveries().size(), 1u);
    EXPECT_EQ(portB.allWords(), (Words{0x20B00764}));
    EXPECT_EQ(portB.deliveries()[0].refCon, &client);

    // Disconnecting one port and disposing the other stop delivery at once.
    ASSERT_EQ(MIDIPortDisconnectSource(inputA, source), noErr);
    EXPECT_EQ(MIDIPortDisconnectSource(inputA, source), kMIDINoConnection);
    ASSERT_EQ(MIDIReceived(source, list.list(), size), noErr);
    ASSERT_TRUE(system.drain());
    EXPECT_EQ(portA.deliveries().size(), 1u);
    EXPECT_EQ(portB.deliveries().size(), 2u);
    ASSERT_EQ(MIDIPortDispose(inputB), noErr);
    ASSERT_EQ(MIDIReceived(source, list.list(), size), noErr);
    ASSERT_TRUE(system.drain());
    EXPECT_EQ(portB.deliveries().size(), 2u);
    EXPECT_EQ(system.liveObjects(other.ref).ports, 2u);

    // A disposed destination takes nothing more, and its reference goes stale.
    ASSERT_EQ(MIDIEndpointDispose(destination), noErr);
    EXPECT_EQ(MIDISend(output, destination, list.list(), size), kMIDIUnknownEndpoint);
    EXPECT_EQ(destinationInbox.deliveries().size(), 2u);
}

TEST(MIDIDelivery, BadPortsEndpointsAndListsGetAStatus) {
    SimulatedSystem system;
    Client client;
    auto device = system.plug(keyboard());
    MIDIPortRef output = 0, input = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client.ref, "o", &output), noErr);
    ASSERT_EQ(MIDIInputPortCreateWithBlock(client.ref, "i", &input, {}), noErr);
    MIDIEndpointRef virtualSource = 0;
    ASSERT_EQ(MIDISourceCreate(client.ref, "v", &virtualSource), noErr);

    size_t size = 0;
    auto good = packetList({{0x90, 0x3C, 0x64}, {0xF8}}, &size);
    size_t eventSize = 0;
    auto events = eventList(MIDIProtocolID::midi2_0, {{0x40903C00, 0xC9240000}}, &eventSize);
    const auto* eventsList = events.list();
    // A copy of the event list whose packet claims more words than it holds.
    EventListStorage tooLong = events;
    tooLong.list()->packet[0].wordCount = 3;
    EventListStorage split = events;
    split.list()->packet[0].wordCount = 1;  // ends inside a two-word message
    EventListStorage badProtocol = events;
    badProtocol.list()->protocol = MIDIProtocolID(3);

    struct Case {
        const char* what;
        OSStatus status;
        OSStatus expected;
    } cases[] = {
        {"send through an input port", MIDISend(input, device.destination(0), good.list(), size),
         kMIDIInvalidPort},
        {"send through port 0", MIDISend(0, device.destination(0), good.list(), size),
         kMIDIInvalidPort},
        {"send to a source", MIDISend(output, device.source(0), good.list(), size),
         kMIDIWrongEndpointType},
        {"send to nothing", MIDISend(output, 12345, good.list(), size), kMIDIUnknownEndpoint},
        {"packets past the end", MIDISend(output, device.destination(0), good.list(), size - 1),
         paramErr},
        {"no header", MIDISend(output, device.destination(0), good.list(), 3), paramErr},
        {"null list", MIDISend(output, device.destination(0), nullptr, 100), paramErr},
        {"event packet past the end",
         MIDISendEventList(output, device.destination(0), tooLong.list(), eventSize), paramErr},
        {"event packet ends inside a message",
         MIDISendEventList(output, device.destination(0), split.list(), eventSize), paramErr},
        {"unknown protocol",
         MIDISendEventList(output, device.destination(0), badProtocol.list(), eventSize), paramErr},
        {"publish on a device's source", MIDIReceived(device.source(0), good.list(), size),
         kMIDINotPermitted},
        {"publish on a destination",
         MIDIReceivedEventList(device.destination(0), eventsList, eventSize),
         kMIDIWrongEndpointType},
        {"connect an output port", MIDIPortConnectSource(output, virtualSource, nullptr),
         kMIDIInvalidPort},
        {"connect a destination", MIDIPortConnectSource(input, device.destination(0), nullptr),
         kMIDIWrongEndpointType},
        {"disconnect what is not connected", MIDIPortDisconnectSource(input, virtualSource),
         kMIDINoConnection},
        {"dispose port 0", MIDIPortDispose(0), kMIDIInvalidPort},
        {"port of no client", MIDIOutputPortCreate(virtualSource, "x", &output),
         kMIDIInvalidClient},
        {"played words that end inside a message", system.playWords(device.source(0), {0x40903C00}),
         paramErr},
        {"played four-word packet cut short",
         system.playWords(device.source(0), {0xF0000000, 0, 0}), paramErr},
        {"played nothing", system.playWords(device.source(0), {}), paramErr},
        {"played bytes and words at once",
         MIDIDriverReceived(device.source(0), {0, {0x90}, {0x20903C64}}), paramErr},
        {"played on a destination", system.play(device.destination(0), {0xF8}),
         kMIDIWrongEndpointType},
        {"played on a virtual source", system.play(virtualSource, {0xF8}), kMIDINotPermitted},
        {"played on nothing", system.play(0, {0xF8}), kMIDIUnknownEndpoint},
        {"good send", MIDISend(output, device.destination(0), good.list(), size), noErr},
        {"good event list", MIDISendEventList(output, device.destination(0), eventsList, eventSize),
         noErr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, c.expected) << c.what;
    system.injectStatus(Call::send, kMIDIMsgIOError);
    EXPECT_EQ(MIDISend(output, device.destination(0), good.list(), size), kMIDIMsgIOError);
    system.drain();
    // Only the two good sends reached the device: note and clock, then the translated note.
    EXPECT_EQ(device.capture(0).packets().size(), 3u);
    EXPECT_EQ(device.capture(0).packets()[2].bytes, (Bytes{0x90, 0x3C, 0x64}));
}

TEST(MIDIDelivery, LongSysExIsSplitForUMPAndRejoinedForBytes) {
    SimulatedSystem system;
    Client client;
    auto device = system.plug(keyboard());
    Inbox ump;
    MIDIPortRef input = 0, output = 0;
    ASSERT_NO_FATAL_FAILURE(listen(client, device.source(0), ump, &input));
    ASSERT_EQ(MIDIOutputPortCreate(client.ref, "o", &output), noErr);

    Bytes sysEx{0xF0};
    for (uint8_t i = 1; i <= 20; ++i)
        sysEx.push_back(i);
    sysEx.push_back(0xF7);
    // Played in two pieces, as a driver may hand it over.
    ASSERT_EQ(system.play(device.source(0), Bytes(sysEx.begin(), sysEx.begin() + 9)), noErr);
    ASSERT_EQ(system.play(device.source(0), Bytes(sysEx.begin() + 9, sysEx.end())), noErr);
    ASSERT_TRUE(system.drain());
    const Words words = ump.allWords();
    ASSERT_EQ(words.size(), 8u);  // 6 + 6 + 6 + 2 bytes
    EXPECT_EQ(words[0] >> 16, 0x3016u);
    EXPECT_EQ(words[2] >> 16, 0x3026u);
    EXPECT_EQ(words[4] >> 16, 0x3026u);
    EXPECT_EQ(words[6] >> 16, 0x3032u);

    // Sent back as UMP to a MIDI 1.0 device, the bytes come out whole again.
    std::vector<Words> packets;
    for (size_t i = 0; i < words.size(); i += 2)
        packets.push_back({words[i], words[i + 1]});
    size_t size = 0;
    auto list = eventList(MIDIProtocolID::midi1_0, packets, &size);
    ASSERT_EQ(MIDISendEventList(output, device.destination(0), list.list(), size), noErr);
    ASSERT_TRUE(device.capture(0).waitForCount(4));
    Bytes joined;
    for (const auto& p : device.capture(0).packets()) {
        joined.insert(joined.end(), p.bytes.begin(), p.bytes.end());
    }
    EXPECT_EQ(joined, sysEx);
}

TEST(MIDIDelivery, ManyEventsArriveInOrderWithoutLoss) {
    SimulatedSystem system;
    Client client;
    auto device = system.plug(keyboard(MIDIProtocolID::midi2_0));
    Inbox inbox;
    MIDIPortRef input = 0;
    ASSERT_NO_FATAL_FAILURE(listen(client, device.source(0), inbox, &input));
    constexpr uint32_t count = 2000;
    std::thread player([&] {
        for (uint32_t i = 0; i < count; ++i) {
            // MIDI 2.0 control changes; the port hears their MIDI 1.0 form.
            EXPECT_EQ(system.playWords(device.source(0), {0x40B00000 | (i % 128) << 8, i << 25}),
                      noErr);
        }
    });
    player.join();
    ASSERT_TRUE(system.drain());
    const Words words = inbox.allWords();
    ASSERT_EQ(words.size(), count);
    for (uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(words[i], 0x20B00000 | (i % 128) << 8 | (i & 0x7F)) << i;
    }
}

TEST(MIDIDelivery, ThruConnectionsRouteFilterAndAreFoundByOwner) {
    SimulatedSystem system;
    Client client;
    auto keys = system.plug(keyboard());
    auto synth = system.plug(keyboard(MIDIProtocolID::midi2_0));
    Inbox virtualInbox;
    MIDIEndpointRef virtualDestination = 0;
    ASSERT_EQ(MIDIDestinationCreateWithProtocol(client.ref, "v", MIDIProtocolID::midi1_0,
                                                &virtualDestination, virtualInbox.receiveBlock()),
              noErr);
    int32_t synthID = 0;
    ASSERT_EQ(MIDIObjectGetIntegerProperty(synth.destination(0), kMIDIPropertyUniqueID, &synthID),
              noErr);

    MIDIThruConnectionParams params;
    MIDIThruConnectionParamsInitialize(&params);
    params.numSources = 1;
    params.sources[0] = {keys.source(0), 0};
    params.numDestinations = 2;
    params.destinations[0] = {0, synthID};  // by unique ID only
    params.destinations[1] = {virtualDestination, 0};
    params.filterOutAllControls = 1;
    params.filterOutBeatClock = 1;
    MIDIThruConnectionRef persistent = 0, plain = 0;
    ASSERT_EQ(MIDIThruConnectionCreate("owner.a", &params, MIDIThruConnectionParamsSize(&params),
                                       &persistent),
              noErr);
    ASSERT_EQ(system.play(keys.source(0), {0x90, 0x3C, 0x64, 0xB0, 0x07, 0x10, 0xF8, 0xFE}), noErr);
    ASSERT_TRUE(synth.capture(0).waitForCount(2));
    system.drain();
    const auto toSynth = synth.capture(0).packets();
    ASSERT_EQ(toSynth.size(), 2u);  // the note (in MIDI 2.0) and active sensing
    EXPECT_EQ(toSynth[0].words, (Words{0x40903C00, 0xC9240000}));
    EXPECT_EQ(toSynth[1].words, (Words{0x10FE0000}));
    EXPECT_EQ(virtualInbox.allWords(), (Words{0x20903C64, 0x10FE0000}));

    // Found by owner, as 32-bit references; an unfiltered one routes everything.
    params.filterOutAllControls = params.filterOutBeatClock = 0;
    params.numDestinations = 1;
    ASSERT_EQ(MIDIThruConnectionCreate("", &params, sizeof params, &plain), noErr);
    std::vector<uint8_t> found;
    ASSERT_EQ(MIDIThruConnectionFind("owner.a", &found), noErr);
    ASSERT_EQ(found.size(), 4u);
    MIDIThruConnectionRef ref = 0;
    std::memcpy(&ref, found.data(), 4);
    EXPECT_EQ(ref, persistent);
    ASSERT_EQ(MIDIThruConnectionDispose(persistent), noErr);
    ASSERT_EQ(MIDIThruConnectionFind("owner.a", &found), noErr);
    EXPECT_TRUE(found.empty());
    synth.capture(0).clear();
    ASSERT_EQ(system.play(keys.source(0), {0xB0, 0x07, 0x10}), noErr);
    ASSERT_TRUE(synth.capture(0).waitForCount(1));
    EXPECT_EQ(synth.capture(0).packets()[0].words, (Words{0x40B00700, 0x20000000}));

    // Bad descriptions.
    params.numSources = 9;
    EXPECT_EQ(MIDIThruConnectionCreate("", &params, sizeof params, &ref), paramErr);
    params.numSources = 1;
    EXPECT_EQ(MIDIThruConnectionCreate("", &params, sizeof params - 1, &ref), paramErr);
    EXPECT_EQ(MIDIThruConnectionFind("", &found), paramErr);
    EXPECT_EQ(MIDIThruConnectionDispose(persistent), kMIDIObjectNotFound);
    EXPECT_EQ(MIDIThruConnectionDispose(plain), noErr);
}

TEST(MIDIDelivery, EndingThingsFromABlockOrAClientStopsLaterDeliveries) {
    SimulatedSystem system;
    Client owner;
    auto device = system.plug(keyboard());
    std::atomic<int> calls{0};
    MIDIPortRef self = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(owner.ref, "self", &self,
                                           [&](const MIDIPacketList*, void*) {
                                               ++calls;
                                               EXPECT_EQ(MIDIPortDispose(self), noErr);
                                           }),
              noErr);
    ASSERT_EQ(MIDIPortConnectSource(self, device.source(0), nullptr), noErr);
    MIDIClientRef doomed = 0;
    ASSERT_EQ(MIDIClientCreateWithBlock("doomed", &doomed, {}), noErr);
    Inbox inbox;
    MIDIPortRef port = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(doomed, "p", &port, inbox.readBlock()), noErr);
    ASSERT_EQ(MIDIPortConnectSource(port, device.source(0), nullptr), noErr);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(system.play(device.source(0), {0xF8}), noErr);
    ASSERT_EQ(MIDIClientDispose(doomed), noErr);
    const size_t seen = inbox.deliveries().size();
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(system.play(device.source(0), {0xF8}), noErr);
    ASSERT_TRUE(system.drain());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(inbox.deliveries().size(), seen);
    EXPECT_EQ(system.liveObjects(owner.ref).ports, 0u);
    EXPECT_EQ(MIDIPortConnectSource(port, device.source(0), nullptr), kMIDIInvalidPort);
}

TEST(MIDIDelivery, EmptyListsDeliverNothingAndLongPacketsAreSplitAtSixtyFourWords) {
    SimulatedSystem system;
    Client client;
    auto device = system.plug(keyboard());
    Inbox inbox;
    MIDIPortRef input = 0, output = 0;
    ASSERT_NO_FATAL_FAILURE(listen(client, device.source(0), inbox, &input));
    ASSERT_EQ(MIDIOutputPortCreate(client.ref, "o", &output), noErr);
    size_t size = 0;
    auto empty = packetList({}, &size);
    EXPECT_EQ(MIDISend(output, device.destination(0), empty.list(), size), noErr);

    // A driver hands over 100 one-word messages at once; ports get event packets of at most 64.
    Words words(100);
    for (uint32_t i = 0; i < 100; ++i)
        words[i] = 0x20B00000 | i;
    ASSERT_EQ(system.playWords(device.source(0), words), noErr);
    ASSERT_TRUE(system.drain());
    EXPECT_TRUE(device.capture(0).packets().empty());
    const auto deliveries = inbox.deliveries();
    ASSERT_EQ(deliveries.size(), 1u);
    ASSERT_EQ(deliveries[0].wordPackets.size(), 2u);
    EXPECT_EQ(deliveries[0].wordPackets[0].size(), 64u);
    EXPECT_EQ(inbox.allWords(), words);
}

TEST(MIDIDelivery, BlocksOnBothThreadsMayEndThingsAtOnce) {
    SimulatedSystem system;
    auto device = system.plug(keyboard());
    Client listener, spare;
    MIDIPortRef sparePort = 0, port = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(listener.ref, "spare", &sparePort, {}), noErr);
    std::atomic<bool> inNotification{false}, inDelivery{false};
    std::atomic<int> done{0};
    // A notification block and a delivery block, each running while the other runs, each ending
    // something: neither may wait for the other's thread.
    MIDIClientRef watcher = 0;
    ASSERT_EQ(MIDIClientCreateWithBlock("watcher", &watcher,
                                        [&](const MIDINotification& n) {
                                            if (n.messageID !=
                                                    MIDINotificationMessageID::propertyChanged ||
                                                inNotification.exchange(true)) {
                                                return;
                                            }
                                            testsupport::waitFor([&] { return inDelivery.load(); });
                                            EXPECT_EQ(MIDIPortDispose(sparePort), noErr);
                                            ++done;
                                        }),
              noErr);
    ASSERT_EQ(MIDIInputPortCreateWithBlock(listener.ref, "p", &port,
                                           [&](const MIDIPacketList*, void*) {
                                               if (inDelivery.exchange(true)) return;
                                               testsupport::waitFor(
                                                   [&] { return inNotification.load(); });
                                               EXPECT_EQ(MIDIClientDispose(spare.ref), noErr);
                                               ++done;
                                           }),
              noErr);
    ASSERT_EQ(MIDIPortConnectSource(port, device.source(0), nullptr), noErr);
    ASSERT_EQ(system.play(device.source(0), {0xF8}), noErr);
    ASSERT_EQ(MIDIObjectSetStringProperty(device.device(), kMIDIPropertyName, "x"), noErr);
    EXPECT_TRUE(testsupport::waitFor([&] { return done == 2; }, std::chrono::seconds(5)));
    MIDIClientDispose(watcher);
}

}  // namespace
