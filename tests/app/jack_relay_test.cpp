// The window's MIDI input over a real JACK server (dummy driver, started by the test): Start joins
// the graph and relays what a program plays to a fake headset; Stop leaves the graph, so that no
// port of ours stays and no program, one started meanwhile included, is connected to us; the next
// Start finds the same endpoints under the same unique IDs and relays exactly again.
#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/bridged_midi_input.hpp"
#include "harness.hpp"
#include "jack_test_server.hpp"
#include "midiservices/services.hpp"
#include "midiservices/test_driver.hpp"

namespace companion::testing {
namespace {

using jacktest::Bytes;
using jacktest::JackServer;
using jacktest::Peer;
using midiservices::jack::MIDIBackend;

constexpr const char* kOurClient = "Tessaloom";

// A JACK client of the test's own, without ports, that looks at the graph.
class GraphView {
  public:
    explicit GraphView(const std::string& server)
        : client_(jack_client_open("graph-view",
                                   static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                   nullptr, server.c_str())) {}
    ~GraphView() {
        if (client_) jack_client_close(client_);
    }
    GraphView(const GraphView&) = delete;
    GraphView& operator=(const GraphView&) = delete;
    bool ok() const { return client_ != nullptr; }

    // The ports of our client: JACK names a second client of the same name "<name>-NN".
    std::vector<std::string> ourPorts() const {
        std::vector<std::string> found;
        if (const char** names = jack_get_ports(client_, nullptr, nullptr, 0)) {
            const std::string exact = std::string(kOurClient) + ":";
            const std::string numbered = std::string(kOurClient) + "-";
            for (const char** n = names; *n; ++n) {
                const std::string name = *n;
                if (name.rfind(exact, 0) == 0 || name.rfind(numbered, 0) == 0)
                    found.push_back(name);
            }
            jack_free(names);
        }
        return found;
    }
    // The ports connected to `port`.
    std::vector<std::string> connections(const std::string& port) const {
        std::vector<std::string> found;
        jack_port_t* p = jack_port_by_name(client_, port.c_str());
        if (p == nullptr) return found;
        if (const char** names = jack_port_get_all_connections(client_, p)) {
            for (const char** n = names; *n; ++n)
                found.emplace_back(*n);
            jack_free(names);
        }
        return found;
    }
    // Whether `port` is connected to a port of our client.
    bool connectedToUs(const std::string& port) const {
        const auto ours = ourPorts();
        const auto peers = connections(port);
        return std::any_of(peers.begin(), peers.end(), [&](const std::string& p) {
            return std::find(ours.begin(), ours.end(), p) != ours.end();
        });
    }

  private:
    jack_client_t* client_;
};

// The unique IDs of the source and the destination of a program's device, as the services list
// them; zeros when the services have no such device.
struct EndpointIDs {
    midiservices::MIDIUniqueID source = 0, destination = 0;
    friend bool operator==(const EndpointIDs&, const EndpointIDs&) = default;
};
EndpointIDs endpointIDsOf(const std::string& program) {
    using namespace midiservices;
    for (ItemCount d = 0; d < MIDIGetNumberOfDevices(); ++d) {
        const MIDIDeviceRef device = MIDIGetDevice(d);
        std::string name;
        MIDIObjectGetStringProperty(device, kMIDIPropertyName, &name);
        if (name != program || MIDIDeviceGetNumberOfEntities(device) != 1) continue;
        const MIDIEntityRef entity = MIDIDeviceGetEntity(device, 0);
        if (MIDIEntityGetNumberOfSources(entity) != 1 ||
            MIDIEntityGetNumberOfDestinations(entity) != 1)
            continue;
        EndpointIDs ids;
        MIDIObjectGetIntegerProperty(MIDIEntityGetSource(entity, 0), kMIDIPropertyUniqueID,
                                     &ids.source);
        MIDIObjectGetIntegerProperty(MIDIEntityGetDestination(entity, 0), kMIDIPropertyUniqueID,
                                     &ids.destination);
        return ids;
    }
    return {};
}

// What a program plays, and what the headset must get for it: positions [first, first + count)
// of jacktest::notes, each Note On followed by its release, a Note Off at even positions and a
// Note On of velocity 0 at odd ones (which the headset gets as a Note Off).
struct NoteRun {
    std::vector<Bytes> played, relayed;
};
NoteRun noteRun(size_t first, size_t count) {
    const auto ons = jacktest::notes(first + count);
    NoteRun run;
    for (size_t i = first; i < first + count; ++i) {
        const Bytes& on = ons[i];
        const uint8_t channel = on[0] & 0x0F;
        const uint8_t key = on[1];
        run.played.push_back(on);
        run.relayed.push_back(on);
        if (i % 2 == 0) {
            const Bytes off{static_cast<uint8_t>(0x80 | channel), key, 0x40};
            run.played.push_back(off);
            run.relayed.push_back(off);
        } else {
            run.played.push_back({static_cast<uint8_t>(0x90 | channel), key, 0});
            run.relayed.push_back({static_cast<uint8_t>(0x80 | channel), key, 0});
        }
    }
    return run;
}

// Pumps the main queue until `predicate` holds; bounded, with room for a loaded machine and the
// sanitizers.
bool pumpUntil(const std::function<bool()>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    return dispatch::Queue::main()->runUntil(predicate, timeout);
}

// Pumps the main queue while `peer` runs `cycles` more process cycles: JACK and our threads have
// had that long to act on whatever came before.
bool pumpCycles(const Peer& peer, uint64_t cycles) {
    const uint64_t until = peer.cycles() + cycles;
    return pumpUntil([&] { return peer.cycles() >= until; });
}

TEST(JackRelay, StopLeavesTheGraphAndTheNextStartRelaysExactlyAgain) {
    JackServer server;
    ASSERT_TRUE(server.ready()) << "jackd (Debian package jackd2) could not be started";
    midiservices::testdriver::SimulatedSystem system;
    const std::string defaultsFile = "/tmp/app_jack_relay_" + std::to_string(::getpid());
    struct RemoveFile {
        std::string path;
        ~RemoveFile() { std::filesystem::remove(path); }
    } removeDefaults{defaultsFile};
    auto defaults = std::make_shared<midiio::KeyValueStore>(defaultsFile);
    struct Lines {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    auto printed = std::make_shared<Lines>();
    auto sink = [printed](const std::string& line) {
        std::lock_guard lock(printed->mutex);
        printed->lines.push_back(line);
    };

    GraphView graph(server.name());
    ASSERT_TRUE(graph.ok());
    Peer keys("keys");
    ASSERT_TRUE(keys.ok());
    CompanionOptions options;
    options.makeMidiInput = bridgedMidiInput(
        MIDIBackend::jack, {.serverName = server.name(), .clientName = kOurClient}, defaults, sink);
    auto harness = std::make_unique<Harness>(FakeHeadset::Options{}, options);
    Harness& h = *harness;
    const std::string ourInput = std::string(kOurClient) + ":" + MidiReader::inputName;
    auto hasOurInput = [&] {
        const auto ours = graph.ourPorts();
        return std::find(ours.begin(), ours.end(), ourInput) != ours.end();
    };
    std::vector<Bytes> expected;
    auto relays = [&](Peer& program, const NoteRun& run) -> ::testing::AssertionResult {
        expected.insert(expected.end(), run.relayed.begin(), run.relayed.end());
        program.play(run.played);
        std::vector<Bytes> got;
        pumpUntil([&] { return h.headset->datagrams().size() >= expected.size(); });
        // A note relayed twice would come a little later: give it a few cycles.
        pumpCycles(program, 4);
        for (const auto& datagram : h.headset->datagrams())
            got.push_back(datagram.bytes);
        return jacktest::sameMessages(got, expected);
    };

    // A Start whose reader cannot be made (the services refuse its virtual input) leaves nothing
    // in the graph either.
    system.injectStatus(midiservices::testdriver::Call::destinationCreate,
                        midiservices::kMIDIServerStartErr);
    h.controller->start();
    ASSERT_EQ(h.controller->midiErrorText.get(), "Could not connect to MIDI device");
    EXPECT_TRUE(pumpUntil([&] {
        return graph.ourPorts().empty() && graph.connections(keys.port("out")).empty();
    })) << graph.ourPorts().size()
        << " ports of ours remain";
    h.controller->stop();
    system.clearInjectedStatuses();

    // Start: our client joins the graph, listens to keys' output and feeds its input.
    h.controller->start();
    ASSERT_TRUE(h.controller->isRunning.get());
    ASSERT_EQ(h.controller->midiErrorText.get(), "");
    {
        std::lock_guard lock(printed->mutex);
        ASSERT_EQ(printed->lines.size(), 2u);
        for (const auto& line : printed->lines)
            EXPECT_NE(line.find("using the JACK server"), std::string::npos) << line;
    }
    ASSERT_TRUE(pumpUntil([&] {
        return graph.connectedToUs(keys.port("out")) && graph.connectedToUs(keys.port("in")) &&
               hasOurInput();
    })) << "keys was not bridged";
    // Connections made during a cycle take effect from the next one.
    ASSERT_TRUE(pumpCycles(keys, 2));
    const EndpointIDs keysIDs = endpointIDsOf("keys");
    ASSERT_NE(keysIDs.source, 0);
    ASSERT_NE(keysIDs.destination, 0);
    ASSERT_TRUE(relays(keys, noteRun(0, 48)));

    // Stop: nothing of ours stays in the graph, and the bridged devices leave the services.
    h.controller->stop();
    ASSERT_TRUE(pumpUntil([&] {
        return graph.ourPorts().empty() && graph.connections(keys.port("out")).empty() &&
               graph.connections(keys.port("in")).empty();
    })) << graph.ourPorts().size()
        << " ports of ours remain";
    EXPECT_EQ(midiservices::MIDIGetNumberOfDevices(), 0u);
    midiservices::MIDIObjectRef found = 0;
    midiservices::MIDIObjectType type{};
    EXPECT_EQ(midiservices::MIDIObjectFindByUniqueID(keysIDs.source, &found, &type),
              midiservices::kMIDIObjectNotFound);

    // A program started while stopped is left alone, and what keys plays meanwhile goes nowhere.
    Peer late("late");
    ASSERT_TRUE(late.ok());
    keys.play(noteRun(200, 8).played);
    ASSERT_TRUE(pumpUntil([&] { return keys.played(); }));
    ASSERT_TRUE(pumpCycles(late, 24));
    EXPECT_TRUE(graph.ourPorts().empty());
    for (const std::string& port :
         {keys.port("out"), keys.port("in"), late.port("out"), late.port("in")})
        EXPECT_TRUE(graph.connections(port).empty()) << port;
    EXPECT_EQ(midiservices::MIDIGetNumberOfDevices(), 0u);

    // Start again: the same endpoints under the same unique IDs, both programs relayed exactly.
    h.controller->start();
    ASSERT_TRUE(h.controller->isRunning.get());
    ASSERT_EQ(h.controller->midiErrorText.get(), "");
    ASSERT_TRUE(pumpUntil([&] {
        return graph.connectedToUs(keys.port("out")) && graph.connectedToUs(keys.port("in")) &&
               graph.connectedToUs(late.port("out")) && graph.connectedToUs(late.port("in")) &&
               hasOurInput();
    })) << "the programs were not bridged again";
    ASSERT_TRUE(pumpCycles(keys, 2));
    EXPECT_EQ(endpointIDsOf("keys"), keysIDs);
    EXPECT_NE(endpointIDsOf("late").source, 0);
    ASSERT_TRUE(relays(keys, noteRun(48, 48)));
    ASSERT_TRUE(relays(late, noteRun(96, 48)));

    // A controller released while it runs leaves the graph too.
    harness.reset();
    EXPECT_TRUE(pumpUntil([&] {
        return graph.ourPorts().empty() && graph.connections(keys.port("out")).empty() &&
               graph.connections(late.port("out")).empty();
    }));
    EXPECT_EQ(midiservices::MIDIGetNumberOfDevices(), 0u);
}

}  // namespace
}  // namespace companion::testing
