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
using Bytes = std::vector<uint8_t>;

template <class Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A JACK server of the test's own, on the dummy driver, under a name no other run uses. It runs
// synchronously with a long client timeout: on a loaded machine (or under a sanitizer) a late
// client then delays the cycle instead of being skipped, which would replay its last buffer.
class JackServer {
  public:
    JackServer() {
        static std::atomic<int> counter{0};
        name_ = "tessaloom-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        std::vector<std::string> args{"jackd", "--no-realtime", "-S",  "-t", "5000", "-n",
                                      name_,   "-d",            "dummy", "-r", "48000", "-p",
                                      "1024"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // The server ends with the test process even when that dies (a sanitizer's abort).
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp("jackd", argv.data());
            _exit(127);
        }
        if (pid_ < 0) {
            pid_ = 0;
            return;
        }
        ready_ = waitFor([&] {
            jack_status_t status;
            jack_client_t* probe =
                jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                 &status, name_.c_str());
            if (probe) jack_client_close(probe);
            return probe != nullptr;
        });
    }
    ~JackServer() {
        if (pid_ == 0) return;
        kill(pid_, SIGTERM);
        int status;
        if (!waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10s)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    bool ready() const { return ready_; }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    pid_t pid_ = 0;
    bool ready_ = false;
};

// A peer program on the JACK graph: an output port playing queued messages (as many per cycle as
// fit) and an input port recording what arrives.
class Peer {
  public:
    explicit Peer(const std::string& name) {
        client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
        if (!client_) return;
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(
            client_, [](jack_nframes_t n, void* self) { return static_cast<Peer*>(self)->process(n); },
            this);
        jack_activate(client_);
    }
    ~Peer() { close(); }
    void close() {
        if (client_) jack_client_close(std::exchange(client_, nullptr));
    }
    bool ok() const { return client_ && out_ && in_; }
    std::string port(const char* shortName) const {
        return std::string(jack_get_client_name(client_)) + ":" + shortName;
    }
    int connect(const std::string& from, const std::string& to) {
        return jack_connect(client_, from.c_str(), to.c_str());
    }
    int disconnect(const std::string& from, const std::string& to) {
        return jack_disconnect(client_, from.c_str(), to.c_str());
    }
    void play(std::vector<Bytes> messages) {
        std::lock_guard lock(mutex_);
        queued_.insert(queued_.end(), messages.begin(), messages.end());
    }
    std::vector<Bytes> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

  private:
    int process(jack_nframes_t frames) {
        void* out = jack_port_get_buffer(out_, frames);
        void* in = jack_port_get_buffer(in_, frames);
        jack_midi_clear_buffer(out);
        std::lock_guard lock(mutex_);  // the test's own client: no realtime rules here
        while (next_ < queued_.size() &&
               jack_midi_event_write(out, 0, queued_[next_].data(), queued_[next_].size()) == 0)
            ++next_;
        for (uint32_t i = 0, n = jack_midi_get_event_count(in); i < n; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) == 0)
                received_.emplace_back(event.buffer, event.buffer + event.size);
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::mutex mutex_;
    std::vector<Bytes> queued_, received_;
    size_t next_ = 0;
};

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

std::vector<Bytes> notes(size_t count) {
    std::vector<Bytes> messages;
    for (size_t i = 0; i < count; ++i)
        messages.push_back({static_cast<uint8_t>(0x90 | (i % 16)), static_cast<uint8_t>(i % 128),
                            static_cast<uint8_t>(1 + (i / 128) % 127)});
    return messages;
}

// Compares message lists, naming the first difference rather than printing thousands of them.
::testing::AssertionResult sameMessages(const std::vector<Bytes>& actual,
                                        const std::vector<Bytes>& expected) {
    const size_t common = std::min(actual.size(), expected.size());
    size_t i = 0;
    while (i < common && actual[i] == expected[i]) ++i;
    if (i == common && actual.size() == expected.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.size() << " messages for " << expected.size()
                                         << ", first difference at " << i;
}

// Connects `port` to every source the services list.
void connectAllSources(MIDIPortRef port) {
    for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i)
        ASSERT_EQ(MIDIPortConnectSource(port, MIDIGetSource(i), nullptr), noErr);
}

// libjack reports every failed attempt to reach a server on stderr; the tests expect many.
const bool quietJack = [] {
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    return true;
}();

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
        ASSERT_TRUE(waitFor([&] { return peer.received().size() >= expected.size(); }));
        EXPECT_EQ(peer.received(), expected);
    }
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
