// The MIDI manager over the JACK bridge, against a real JACK server (dummy driver, synchronous)
// started by the test: what JACK programs play reaches an input connection whole while the graph
// changes.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jack_test_server.hpp"
#include "midi_io/input_connection.hpp"
#include "midi_io/manager.hpp"
#include "midiservices/jack.hpp"
#include "midiservices/test_driver.hpp"

namespace {

using jacktest::Bytes;
using namespace std::chrono_literals;

// The MIDI 1.0 form of every event an input connection got, in arrival order.
class Heard {
  public:
    midiio::MIDIReceiver receiver() {
        return midiio::MIDIReceiver::events(true, [this](const std::vector<midicore::MIDIEvent>& e) {
            std::lock_guard lock(mutex_);
            for (const auto& event : e) messages_.push_back(event.midi1RawBytes().toVector());
        });
    }
    // The messages whose status (high nibble) is `status`.
    std::vector<Bytes> withStatus(uint8_t status) const {
        std::lock_guard lock(mutex_);
        std::vector<Bytes> kept;
        for (const auto& m : messages_)
            if (!m.empty() && (m[0] & 0xF0) == status) kept.push_back(m);
        return kept;
    }
    size_t count() const {
        std::lock_guard lock(mutex_);
        return messages_.size();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Bytes> messages_;
};

// A sequencer plays 10,000 Note Ons to the application's all-sources connection while three other
// JACK programs start, play eight Note Offs each and quit, one after the other. Every note of the
// sequencer arrives once and in order, and so does everything a program played before it quit.
TEST(JackInputConnection, BurstWithClientChurnLosesNothing) {
    jacktest::JackServer server;
    ASSERT_TRUE(server.ready()) << "jackd (Debian package jackd2) could not be started";
    midiservices::testdriver::SimulatedSystem system;
    std::unique_ptr<midiservices::jack::JackBridge> bridge;
    std::string reason;
    jacktest::waitFor([&] {
        bridge = midiservices::jack::JackBridge::open({.serverName = server.name()}, &reason);
        return bridge != nullptr;
    });
    ASSERT_NE(bridge, nullptr) << reason;

    jacktest::Peer sequencer("sequencer", 100);
    ASSERT_TRUE(sequencer.ok());
    ASSERT_TRUE(bridge->settle());
    auto manager = midiio::MIDIManager::make("TessaloomMIDIModule", "Tessaloom", "Tessaloom");
    manager->start();
    Heard heard;
    manager->addInputConnection(std::vector<midiio::MIDIEndpointIdentity>{}, "in",
                                midiio::MIDIConnectionMode::allEndpoints,
                                midiio::MIDIEndpointFilter::ownedFilter(), heard.receiver());

    const auto burst = jacktest::notes(10'000);
    sequencer.play(burst);
    std::vector<Bytes> parting;
    bool duringTheBurst = false;
    const auto connectedSources = [&] {
        return manager->managedInputConnections().at("in")->coreMIDIOutputEndpointRefs().size();
    };
    for (int round = 0; round < 3; ++round) {
        // The connection learns of the last visitor's departure late on a loaded machine; until
        // it has, its count of two would not show that this visitor is connected.
        ASSERT_TRUE(jacktest::waitFor([&] { return connectedSources() == 1; }));
        jacktest::Peer visitor("visitor");
        ASSERT_TRUE(visitor.ok());
        ASSERT_TRUE(bridge->settle());
        ASSERT_TRUE(jacktest::waitFor([&] { return connectedSources() == 2; }));
        std::vector<Bytes> offs;
        for (uint8_t n = 0; n < 8; ++n)
            offs.push_back({0x80, static_cast<uint8_t>(round * 8 + n), 0x40});
        visitor.play(offs);
        parting.insert(parting.end(), offs.begin(), offs.end());
        ASSERT_TRUE(jacktest::waitFor([&] { return visitor.played(); }));
        // The bridge feeds the visitor's input as it listens to its output: JACK breaks that loop
        // by handing the output over a cycle late, so the visitor stays for a few cycles (counted,
        // not timed: a starved machine runs them late).
        const uint64_t playedBy = visitor.cycles();
        ASSERT_TRUE(jacktest::waitFor([&] { return visitor.cycles() >= playedBy + 3; }));
        visitor.close();
        ASSERT_TRUE(bridge->settle());
        if (round == 0) duringTheBurst = !sequencer.played();
    }
    EXPECT_TRUE(duringTheBurst) << "the first visitor came after the burst: the test proves nothing";

    ASSERT_TRUE(jacktest::waitFor([&] { return heard.count() >= burst.size() + parting.size(); },
                                  60s))
        << heard.count() << " heard, " << heard.withStatus(0x80).size() << " of the visitors";
    ASSERT_TRUE(bridge->settle());
    ASSERT_TRUE(system.drain());
    manager->eventQueue()->sync([] {});
    EXPECT_TRUE(jacktest::sameMessages(heard.withStatus(0x90), burst));
    EXPECT_TRUE(jacktest::sameMessages(heard.withStatus(0x80), parting));
    EXPECT_EQ(bridge->droppedEvents(), 0u);
}

}  // namespace
