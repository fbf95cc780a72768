// Virtual outputs, output connections and the send path, observed from other software's ports.
#include <gtest/gtest.h>

#include "io_bench.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/input.hpp"
#include "midi_io/output.hpp"
#include "midi_io/output_connection.hpp"
#include "midi_support/internal_error.hpp"

namespace {

using midicore::MIDIEvent;
using midicore::MIDIIOError;
using midicore::MIDIProtocolVersion;
using midiio::CoreMIDIAPIVersion;
using midiio::MIDIConnectionMode;
using midiio::MIDIEndpointFilter;
using midiio::MIDIEndpointIdentitySet;
using midiio::MIDIIdentifierPersistence;
using midiio::MIDIManager;
using midiiotest::Inbox;
using midiiotest::OtherSoftware;
using midiiotest::startedManager;
using midiservices::testdriver::Call;
using midiservices::testdriver::SimulatedSystem;
namespace ms = midiservices;

// One list as another program's port received it: its packets, as bytes or words.
struct Received {
    std::vector<std::vector<uint8_t>> bytePackets;
    std::vector<std::vector<uint32_t>> wordPackets;
    ms::MIDIProtocolID protocol = ms::MIDIProtocolID::midi1_0;
};

// Another program's input port, in the form of `api`, connected to `source`.
class Listener {
  public:
    Listener(const OtherSoftware& other, ms::MIDIEndpointRef source, const CoreMIDIAPIVersion& api) {
        if (const auto protocol = api.protocol()) {
            const auto id = *protocol == MIDIProtocolVersion::_1_0 ? ms::MIDIProtocolID::midi1_0
                                                                    : ms::MIDIProtocolID::midi2_0;
            EXPECT_EQ(ms::MIDIInputPortCreateWithProtocol(
                          other.client, "listen", id, &port_,
                          [this](const ms::MIDIEventList* list, void*) {
                              Received r;
                              r.protocol = list->protocol;
                              const ms::MIDIEventPacket* packet = &list->packet[0];
                              for (uint32_t i = 0; i < list->numPackets; ++i) {
                                  r.wordPackets.emplace_back(packet->words,
                                                             packet->words + packet->wordCount);
                                  packet = ms::MIDIEventPacketNext(packet);
                              }
                              add(std::move(r));
                          }),
                      ms::noErr);
        } else {
            EXPECT_EQ(ms::MIDIInputPortCreateWithBlock(
                          other.client, "listen", &port_,
                          [this](const ms::MIDIPacketList* list, void*) {
                              Received r;
                              midisupport::forEachPacket(*list, [&](const ms::MIDIPacket* p) {
                                  r.bytePackets.push_back(midisupport::midiPacketBytes(p));
                              });
                              add(std::move(r));
                          }),
                      ms::noErr);
        }
        EXPECT_EQ(ms::MIDIPortConnectSource(port_, source, nullptr), ms::noErr);
    }
    std::vector<Received> lists() const {
        std::lock_guard lock(mutex_);
        return lists_;
    }

  private:
    void add(Received r) {
        std::lock_guard lock(mutex_);
        lists_.push_back(std::move(r));
    }
    mutable std::mutex mutex_;
    std::vector<Received> lists_;
    ms::MIDIPortRef port_ = 0;
};

MIDIEvent noteOn(uint8_t note, uint8_t velocity) {
    return MIDIEvent::noteOn(midicore::MIDINote(midicore::UInt7(note)),
                             midicore::ChanVoice7Bit16BitValue::midi1(midicore::UInt7(velocity)));
}

TEST(SendPath, OneEventInEachInterface) {
    struct Case {
        CoreMIDIAPIVersion api;
        std::vector<std::vector<uint8_t>> bytes;
        std::vector<std::vector<uint32_t>> words;
    };
    // Note On, channel 1, note 60, velocity 100; the MIDI 2.0 velocity 0xC924 is the standard's
    // min-centre-max scaling of 100.
    const Case cases[] = {
        {CoreMIDIAPIVersion::legacyCoreMIDI(), {{0x90, 0x3C, 0x64}}, {}},
        {CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_1_0), {}, {{0x20903C64}}},
        {CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0), {},
         {{0x40903C00, 0xC9240000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.api.description());
        SimulatedSystem system;
        const auto manager = startedManager(c.api);
        manager->addOutput("Out", "out", MIDIIdentifierPersistence::adHoc());
        const auto output = manager->managedOutputs().at("out");
        OtherSoftware other;
        Listener listener(other, *output->coreMIDIOutputPortRef(), c.api);
        output->send(noteOn(60, 100));
        ASSERT_TRUE(system.drain());
        const auto lists = listener.lists();
        ASSERT_EQ(lists.size(), 1u);
        EXPECT_EQ(lists[0].bytePackets, c.bytes);
        EXPECT_EQ(lists[0].wordPackets, c.words);
    }
}

TEST(SendPath, BatchesAndLongMessages) {
    SimulatedSystem system;
    const auto manager = startedManager(CoreMIDIAPIVersion::legacyCoreMIDI());
    manager->addOutput("Out", "out", MIDIIdentifierPersistence::adHoc());
    const auto output = manager->managedOutputs().at("out");
    OtherSoftware other;
    Listener listener(other, *output->coreMIDIOutputPortRef(), CoreMIDIAPIVersion::legacyCoreMIDI());

    output->send(std::vector{noteOn(60, 100), noteOn(61, 5)});  // one list, a packet each
    ASSERT_TRUE(system.drain());
    ASSERT_EQ(listener.lists().size(), 1u);
    EXPECT_EQ(listener.lists()[0].bytePackets,
              (std::vector<std::vector<uint8_t>>{{0x90, 0x3C, 0x64}, {0x90, 0x3D, 0x05}}));

    // With System Exclusive in the batch: one list per event. A message longer than 256 bytes is
    // split into packets in order, never cut short.
    std::vector<uint8_t> data(600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 0x80);
    const auto sysEx = MIDIEvent::sysEx7(MIDIEvent::SysExManufacturer::oneByte(midicore::UInt7(0x41)), data);
    output->send(std::vector{noteOn(62, 1), sysEx});
    ASSERT_TRUE(system.drain());
    const auto lists = listener.lists();
    ASSERT_EQ(lists.size(), 3u);
    std::vector<uint8_t> joined;
    for (const auto& packet : lists[2].bytePackets) {
        EXPECT_LE(packet.size(), 256u);
        joined.insert(joined.end(), packet.begin(), packet.end());
    }
    EXPECT_EQ(joined, sysEx.midi1RawBytes().toVector());

    // A batch too large for one list.
    try {
        output->send(std::vector<MIDIEvent>(7000, noteOn(1, 1)));
        FAIL() << "no error";
    } catch (const midisupport::VOREDuvInternalError& error) {
        EXPECT_STREQ(error.what(), "Data is too large (91004 bytes). Maximum size is 65536 bytes.");
    }
}

TEST(OutputConnection, AllEndpointsWithTheOwnedFilter) {
    SimulatedSystem system;
    const auto device = system.plug(midiiotest::keyboard("Synth"));
    OtherSoftware other;
    std::atomic<int> otherReceived{0};
    ms::MIDIEndpointRef otherDestination = 0;
    ASSERT_EQ(ms::MIDIDestinationCreateWithBlock(other.client, "Other In", &otherDestination,
                                                 [&](const ms::MIDIPacketList*, void*) { ++otherReceived; }),
              ms::noErr);
    const auto manager = startedManager();
    Inbox own;
    manager->addInput("Own In", "own", MIDIIdentifierPersistence::adHoc(), own.receiver());
    manager->addOutputConnection(std::vector<midiio::MIDIEndpointIdentity>{}, "out",
                                 MIDIConnectionMode::allEndpoints, MIDIEndpointFilter::ownedFilter());
    auto connection = manager->managedOutputConnections().at("out");
    EXPECT_EQ(connection->coreMIDIInputEndpointRefs(),
              (midiio::MIDIOutputConnection::EndpointRefs{device.destination(0), otherDestination}));
    connection->send(noteOn(60, 100));
    ASSERT_TRUE(device.capture(0).waitForCount(1));
    ASSERT_TRUE(testsupport::waitFor([&] { return otherReceived.load() == 1; }));

    // A destination that vanished does not stop the others.
    ASSERT_EQ(ms::MIDIEndpointDispose(otherDestination), ms::noErr);
    connection->send(noteOn(61, 100));
    ASSERT_TRUE(device.capture(0).waitForCount(2));
    ASSERT_TRUE(midiiotest::settled(system, *manager));
    EXPECT_TRUE(own.events().empty());

    connection->removeAllInputs();
    EXPECT_NO_THROW(connection->send(noteOn(62, 100)));
    ASSERT_TRUE(system.drain());
    EXPECT_EQ(device.capture(0).packets().size(), 2u);
    connection.reset();
    manager->removeAll();
    EXPECT_EQ(system.liveObjects(manager->coreMIDIClientRef()).total(), 0u);
}

TEST(SendPath, FailuresAndTexts) {
    SimulatedSystem system;
    const auto manager = startedManager();
    system.injectStatus(Call::sourceCreate, ms::kMIDINotPermitted);
    EXPECT_THROW(manager->addOutput("Out", "out", MIDIIdentifierPersistence::adHoc()), MIDIIOError);
    system.injectStatus(Call::portCreate, ms::kMIDIInvalidClient);
    try {
        manager->addOutputConnection(MIDIEndpointIdentitySet{}, "out",
                                     MIDIConnectionMode::allEndpoints, {});
        FAIL() << "no error";
    } catch (const MIDIIOError& error) {
        EXPECT_EQ(error.errorCase(), MIDIIOError::Case::osStatus);
    }
    struct Case {
        const char* text;
        std::function<void()> send;
    };
    const Case cases[] = {
        {"Port reference is nil.",
         [&] { manager->managedOutputs().at("out")->send(noteOn(1, 1)); }},
        {"Output port reference is nil.",
         [&] { manager->managedOutputConnections().at("out")->send(noteOn(1, 1)); }},
    };
    for (const auto& c : cases) {
        try {
            c.send();
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const MIDIIOError& error) {
            EXPECT_EQ(error.errorCase(), MIDIIOError::Case::internalInconsistency);
            EXPECT_STREQ(error.what(), c.text);
        }
    }
}

}  // namespace
