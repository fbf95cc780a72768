// The JACK bridge against a real JACK server (dummy driver, started and stopped by each test) and
// a peer JACK client of the test's own.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "midiservices/io.hpp"
#include "midiservices/jack.hpp"
#include "midiservices/services.hpp"
#include "midiservices/test_driver.hpp"

#include "jack_test_server.hpp"
#include "replaced_allocation.hpp"

// Allocations made while the bridge's process callback runs.
namespace {
std::atomic<size_t> processAllocations{0};
}  // namespace

void* testsupport::allocateForTest(size_t size) {
    if (midiservices::jack::inProcessCallback()) processAllocations.fetch_add(1);
    return mallocOrThrow(size);
}

namespace midiservices::jack {
namespace {

using namespace std::chrono_literals;
using jacktest::Bytes;
using jacktest::JackServer;
using jacktest::notes;
using jacktest::Peer;
using jacktest::sameMessages;
using jacktest::waitFor;

// What a receive block of the application got, packet by packet.
struct Received {
    std::mutex mutex;
    std::vector<Bytes> packets;
    MIDIReadBlock block() {
        return [this](const MIDIPacketList* list, void*) {
            std::lock_guard lock(mutex);
            const MIDIPacket* packet = &list->packet[0];
            for (uint32_t i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet))
                packets.emplace_back(packet->data, packet->data + packet->length);
        };
    }
    std::vector<Bytes> snapshot() {
        std::lock_guard lock(mutex);
        return packets;
    }
    size_t count() { return snapshot().size(); }
};

// Connects `port` to every source the services list.
void connectAllSources(MIDIPortRef port) {
    for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i)
        ASSERT_EQ(MIDIPortConnectSource(port, MIDIGetSource(i), nullptr), noErr);
}

class JackBridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready()) << "jackd (Debian package jackd2) could not be started";
        // A fresh server on a loaded machine may turn a client away while it is still busy with
        // the previous one (the readiness probe): try again within a bounded time.
        std::string reason;
        waitFor([&] {
            bridge = JackBridge::open({.serverName = server.name()}, &reason);
            return bridge != nullptr;
        });
        ASSERT_NE(bridge, nullptr) << reason;
        ASSERT_EQ(MIDIClientCreateWithBlock("App", &app, {}), noErr);
    }
    JackServer server;
    testdriver::SimulatedSystem system;
    std::unique_ptr<JackBridge> bridge;
    MIDIClientRef app = 0;
};

std::string endpointName(MIDIEndpointRef endpoint) {
    std::string name;
    MIDIObjectGetStringProperty(endpoint, kMIDIPropertyName, &name);
    return name;
}
MIDIUniqueID uniqueID(MIDIObjectRef object) {
    int32_t id = 0;
    MIDIObjectGetIntegerProperty(object, kMIDIPropertyUniqueID, &id);
    return id;
}

// A client that appears after the start becomes a device with one entity, its output port a
// source and its input port a destination, with IDs that a new bridge session gives again; when
// it leaves, the device goes. Both changes reach the clients as notifications.
TEST_F(JackBridgeTest, ClientsBecomeDevicesWithStableIDsAndNotifications) {
    std::mutex mutex;
    std::vector<std::pair<MIDINotificationMessageID, MIDIObjectType>> seen;
    MIDIClientRef watcher = 0;
    ASSERT_EQ(MIDIClientCreateWithBlock("Watcher", &watcher,
                                        [&](const MIDINotification& n) {
                                            std::lock_guard lock(mutex);
                                            auto* ar = MIDINotificationAs<MIDIObjectAddRemoveNotification>(n);
                                            seen.emplace_back(n.messageID, ar ? ar->childType
                                                                              : MIDIObjectType::other);
                                        }),
              noErr);
    auto saw = [&](MIDINotificationMessageID id, MIDIObjectType type) {
        std::lock_guard lock(mutex);
        return std::count(seen.begin(), seen.end(), std::pair{id, type}) > 0;
    };

    auto peer = std::make_unique<Peer>("keys");
    ASSERT_TRUE(peer->ok());
    ASSERT_TRUE(bridge->settle());
    ASSERT_EQ(MIDIGetNumberOfDevices(), 1u);
    const MIDIDeviceRef device = MIDIGetDevice(0);
    ASSERT_EQ(MIDIDeviceGetNumberOfEntities(device), 1u);
    const MIDIEntityRef entity = MIDIDeviceGetEntity(device, 0);
    ASSERT_EQ(MIDIEntityGetNumberOfSources(entity), 1u);
    ASSERT_EQ(MIDIEntityGetNumberOfDestinations(entity), 1u);
    const MIDIEndpointRef source = MIDIEntityGetSource(entity, 0);
    const MIDIEndpointRef destination = MIDIEntityGetDestination(entity, 0);
    EXPECT_EQ(endpointName(device), "keys");
    EXPECT_EQ(endpointName(source), "out");
    EXPECT_EQ(endpointName(destination), "in");
    const std::vector<MIDIUniqueID> ids{uniqueID(device), uniqueID(entity), uniqueID(source),
                                        uniqueID(destination)};
    EXPECT_EQ(std::set<MIDIUniqueID>(ids.begin(), ids.end()).size(), 4u);
    ASSERT_TRUE(system.drain());
    EXPECT_TRUE(saw(MIDINotificationMessageID::objectAdded, MIDIObjectType::device));
    EXPECT_TRUE(saw(MIDINotificationMessageID::objectAdded, MIDIObjectType::source));
    EXPECT_TRUE(saw(MIDINotificationMessageID::setupChanged, MIDIObjectType::other));

    // A new session finds the same ports under the same IDs.
    bridge.reset();
    EXPECT_EQ(MIDIGetNumberOfDevices(), 0u);
    bridge = JackBridge::open({.serverName = server.name()});
    ASSERT_NE(bridge, nullptr);
    MIDIObjectRef found = 0;
    MIDIObjectType type = MIDIObjectType::other;
    ASSERT_EQ(MIDIObjectFindByUniqueID(ids[2], &found, &type), noErr);
    EXPECT_EQ(type, MIDIObjectType::source);
    EXPECT_EQ(endpointName(found), "out");
    ASSERT_EQ(MIDIObjectFindByUniqueID(ids[3], &found, &type), noErr);
    EXPECT_EQ(endpointName(found), "in");

    {
        std::lock_guard lock(mutex);
        seen.clear();
    }
    peer->close();
    ASSERT_TRUE(bridge->settle());
    EXPECT_EQ(MIDIGetNumberOfDevices(), 0u);
    ASSERT_TRUE(system.drain());
    EXPECT_TRUE(saw(MIDINotificationMessageID::objectRemoved, MIDIObjectType::device));
    EXPECT_TRUE(saw(MIDINotificationMessageID::objectRemoved, MIDIObjectType::source));
    MIDIClientDispose(watcher);
}

// A burst from a client that appeared after the start reaches an input port connected to every
// source complete and in order, and the process callback allocates nothing meanwhile.
TEST_F(JackBridgeTest, BurstOfNotesArrivesCompleteAndInOrder) {
    Peer peer("sequencer");
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(bridge->settle());
    Received received;
    MIDIPortRef port = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(app, "All", &port, received.block()), noErr);
    connectAllSources(port);

    processAllocations = 0;
    const auto expected = notes(10'000);
    peer.play(expected);
    ASSERT_TRUE(waitFor([&] { return received.count() >= expected.size(); }, 30s))
        << received.count() << " of " << expected.size();
    ASSERT_TRUE(bridge->settle());
    ASSERT_TRUE(system.drain());
    EXPECT_TRUE(sameMessages(received.snapshot(), expected));
    EXPECT_EQ(processAllocations.load(), 0u);
    EXPECT_EQ(bridge->droppedEvents(), 0u);
}

// Our virtual destination is a JACK port other programs see. A program that plays into it from its
// own output port (also a source, connected to the application's all-sources port) is heard once,
// through the virtual destination; once it stops feeding it, its source is heard again.
TEST_F(JackBridgeTest, VirtualDestinationHearsEachNoteOnce) {
    Received atDestination, atPort;
    MIDIEndpointRef destination = 0;
    ASSERT_EQ(MIDIDestinationCreateWithBlock(app, "Tessaloom MIDI In", &destination,
                                             atDestination.block()),
              noErr);
    Peer peer("player");
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(bridge->settle());

    std::string listing;
    if (FILE* lsp = popen("jack_lsp 2>/dev/null", "r")) {
        char line[512];
        while (fgets(line, sizeof line, lsp)) listing += line;
        pclose(lsp);
    }
    const std::string ourPort = bridge->clientName() + ":Tessaloom MIDI In";
    EXPECT_NE(listing.find(ourPort + "\n"), std::string::npos) << listing;

    MIDIPortRef port = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(app, "All", &port, atPort.block()), noErr);
    connectAllSources(port);

    struct Phase {
        bool feedsDestination;
        size_t count;
    };
    for (const Phase phase : {Phase{true, 500}, Phase{false, 300}, Phase{true, 200}}) {
        SCOPED_TRACE(phase.feedsDestination);
        if (phase.feedsDestination) {
            ASSERT_EQ(peer.connect(peer.port("out"), ourPort), 0);
        } else {
            ASSERT_EQ(peer.disconnect(peer.port("out"), ourPort), 0);
        }
        ASSERT_TRUE(bridge->settle());
        const auto expected = notes(phase.count);
        peer.play(expected);
        Received& hearing = phase.feedsDestination ? atDestination : atPort;
        ASSERT_TRUE(waitFor([&] { return hearing.count() >= expected.size(); }));
        ASSERT_TRUE(bridge->settle());
        ASSERT_TRUE(system.drain());
        EXPECT_TRUE(sameMessages(hearing.snapshot(), expected));
        EXPECT_EQ(atDestination.count() + atPort.count(), expected.size());
        std::lock_guard a(atDestination.mutex), b(atPort.mutex);
        atDestination.packets.clear();
        atPort.packets.clear();
    }
}

// What the application publishes on its virtual source, or sends to a client's input port,
// reaches JACK one whole message per event (running status made explicit), in order.
TEST_F(JackBridgeTest, VirtualSourceAndDeviceDestinationReachJack) {
    MIDIEndpointRef source = 0;
    ASSERT_EQ(MIDISourceCreate(app, "Tessaloom MIDI Out", &source), noErr);
    MIDIPortRef output = 0;
    ASSERT_EQ(MIDIOutputPortCreate(app, "Out", &output), noErr);
    Peer peer("synth");
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(bridge->settle());
    ASSERT_EQ(peer.connect(bridge->clientName() + ":Tessaloom MIDI Out", peer.port("in")), 0);
    ASSERT_TRUE(bridge->settle());
    ASSERT_EQ(MIDIGetNumberOfDevices(), 1u);
    const MIDIEndpointRef synthIn = MIDIEntityGetDestination(MIDIDeviceGetEntity(MIDIGetDevice(0), 0), 0);

    struct Case {
        bool viaVirtualSource;
        Bytes sent;
        std::vector<Bytes> expected;
    };
    const Case cases[] = {
        {true, {0x90, 60, 100, 62, 101, 0xF8, 64, 102},
         {{0x90, 60, 100}, {0x90, 62, 101}, {0xF8}, {0x90, 64, 102}}},
        {false, {0xC1, 5, 6, 0xF0, 0x7E, 0x01, 0xF7, 0xB2, 7, 127},
         {{0xC1, 5}, {0xC1, 6}, {0xF0, 0x7E, 0x01, 0xF7}, {0xB2, 7, 127}}},
    };
    std::vector<Bytes> expected;
    for (const Case& c : cases) {
        PacketListStorage storage(1024);
        MIDIPacket* packet = MIDIPacketListInit(storage.list());
        packet = MIDIPacketListAdd(storage.list(), storage.byteCount(), packet, 0, c.sent.size(),
                                   c.sent.data());
        ASSERT_NE(packet, nullptr);
        ASSERT_EQ(c.viaVirtualSource
                      ? MIDIReceived(source, storage.list(), storage.byteCount())
                      : MIDISend(output, synthIn, storage.list(), storage.byteCount()),
                  noErr);
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        ASSERT_TRUE(waitFor([&] { return peer.received().size() >= expected.size(); }))
            << peer.received().size() << " of " << expected.size() << " messages, "
            << bridge->droppedEvents() << " dropped";
        EXPECT_EQ(peer.received(), expected);
    }
}

// A program registers its ports before it activates, and JACK connects no port of a client that
// is not active yet: once it runs, without any other change to the graph, it is both heard and
// fed.
TEST_F(JackBridgeTest, AProgramThatActivatesLateIsHeardAndFed) {
    Peer peer("late", SIZE_MAX, /*active=*/false);
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(bridge->settle());
    ASSERT_EQ(MIDIGetNumberOfDevices(), 1u);
    const MIDIEntityRef entity = MIDIDeviceGetEntity(MIDIGetDevice(0), 0);
    Received heard;
    MIDIPortRef input = 0, output = 0;
    ASSERT_EQ(MIDIInputPortCreateWithBlock(app, "In", &input, heard.block()), noErr);
    ASSERT_EQ(MIDIPortConnectSource(input, MIDIEntityGetSource(entity, 0), nullptr), noErr);
    ASSERT_EQ(MIDIOutputPortCreate(app, "Out", &output), noErr);
    ASSERT_TRUE(peer.activate());

    const Bytes played{0x90, 60, 100}, sent{0x80, 61, 0};
    peer.play({played});
    ASSERT_TRUE(waitFor([&] { return heard.count() >= 1; })) << "the program was not heard";
    EXPECT_EQ(heard.snapshot(), std::vector<Bytes>{played});
    PacketListStorage storage(256);
    MIDIPacketListAdd(storage.list(), storage.byteCount(), MIDIPacketListInit(storage.list()), 0,
                      sent.size(), sent.data());
    ASSERT_TRUE(waitFor([&] {
        // Sent again until it arrives: the connection may come a cycle after the data.
        if (peer.received().empty())
            MIDISend(output, MIDIEntityGetDestination(entity, 0), storage.list(),
                     storage.byteCount());
        return !peer.received().empty();
    })) << "the program was not fed";
    EXPECT_EQ(peer.received().front(), sent);
}

TEST(JackBackendChoice, FallsBackToInProcessServicesWithoutAServer) {
    struct Case {
        std::string_view setting;
        std::optional<MIDIBackend> backend;
    };
    for (const Case& c : {Case{"auto", MIDIBackend::automatic}, Case{"jack", MIDIBackend::jack},
                          Case{"in-process", MIDIBackend::inProcess}, Case{"JACK", std::nullopt},
                          Case{"", std::nullopt}}) {
        EXPECT_EQ(parseMIDIBackend(c.setting), c.backend) << c.setting;
    }
    const std::string nowhere = "tessaloom-none-" + std::to_string(getpid());
    for (MIDIBackend backend : {MIDIBackend::automatic, MIDIBackend::jack}) {
        auto choice = startMIDIBackend(backend, {.serverName = nowhere});
        EXPECT_EQ(choice.bridge, nullptr);
        EXPECT_NE(choice.logLine.find("falling back to the in-process MIDI services"),
                  std::string::npos)
            << choice.logLine;
    }
    auto chosen = startMIDIBackend(MIDIBackend::inProcess, {.serverName = nowhere});
    EXPECT_EQ(chosen.bridge, nullptr);
    EXPECT_NE(chosen.logLine.find("in-process"), std::string::npos);
}

}  // namespace
}  // namespace midiservices::jack
