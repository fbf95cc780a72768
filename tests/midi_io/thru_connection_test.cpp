// Thru connections: the services' record, routing and its filters on systems that route natively
// and through the in-process proxy, and persistent connections found and removed by owner ID.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "io_bench.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/thru_connection.hpp"

namespace {

using midicore::MIDIIOError;
using midiio::MIDIInputEndpoint;
using midiio::MIDIManager;
using midiio::MIDIOutputEndpoint;
using midiio::MIDIThruConnection;
using midiiotest::startedManager;
using midiservices::testdriver::SimulatedDevice;
using midiservices::testdriver::SimulatedSystem;
namespace ms = midiservices;
using Lifecycle = MIDIThruConnection::Lifecycle;

const std::vector<uint8_t> noteOn{0x90, 60, 100};
const std::vector<uint8_t> controlChange{0xB0, 7, 90};
const std::vector<uint8_t> sysEx{0xF0, 0x7D, 0x01, 0xF7};
const std::vector<uint8_t> clock{0xF8};

// Every byte a device's destination received, in order.
std::vector<uint8_t> bytesAt(const SimulatedDevice& device) {
    std::vector<uint8_t> all;
    for (const auto& p : device.capture(0).packets()) all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

// Plays the four messages on `from`, then a closing note; returns what `to` received once the
// closing note arrived (or the wait gave up).
std::vector<uint8_t> relay(SimulatedSystem& system, const SimulatedDevice& from,
                           const SimulatedDevice& to) {
    for (const auto& m : {noteOn, controlChange, sysEx, clock})
        EXPECT_EQ(system.play(from.source(0), m), ms::noErr);
    const std::vector<uint8_t> closing{0x80, 61, 0};
    EXPECT_EQ(system.play(from.source(0), closing), ms::noErr);
    testsupport::waitFor([&] {
        const auto b = bytesAt(to);
        return b.size() >= 3 && std::equal(closing.begin(), closing.end(), b.end() - 3);
    }, std::chrono::seconds(3));
    return bytesAt(to);
}

std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    all.insert(all.end(), {0x80, 61, 0});
    return all;
}

TEST(ThruConnectionValues, LifecycleAndRecord) {
    EXPECT_EQ(Lifecycle::nonPersistent(), Lifecycle::nonPersistent());
    EXPECT_NE(Lifecycle::persistent("a"), Lifecycle::persistent("b"));
    EXPECT_NE(Lifecycle::persistent(""), Lifecycle::nonPersistent());
    EXPECT_NE(Lifecycle::persistent("a").hash(), Lifecycle::nonPersistent().hash());
    EXPECT_EQ(Lifecycle::persistent("x.y").description(), "persistent(x.y)");

    // Nine of each: only the first eight are kept and described to the services.
    std::vector<MIDIOutputEndpoint> outputs;
    std::vector<MIDIInputEndpoint> inputs;
    for (int i = 1; i <= 9; ++i) {
        outputs.emplace_back("S", 100 + i, 10 + i, "S");
        inputs.emplace_back("D", 200 + i, 20 + i, "D");
    }
    MIDIThruConnection::Parameters params;
    params.filterOutMTC = true;
    const MIDIThruConnection thru(outputs, inputs, Lifecycle::nonPersistent(), params, {},
                                  midiio::CoreMIDIAPIVersion::legacyCoreMIDI());
    EXPECT_EQ(thru.outputs().size(), 8u);
    EXPECT_EQ(thru.inputs().size(), 8u);
    const auto record = thru.coreMIDIParams();
    EXPECT_EQ(record.numSources, 8u);
    EXPECT_EQ(record.numDestinations, 8u);
    EXPECT_EQ(record.sources[7].uniqueID, 108);
    EXPECT_EQ(record.destinations[7].endpointRef, 28u);
    EXPECT_EQ(record.filterOutMTC, 1);
    EXPECT_EQ(record.filterOutSysEx + record.filterOutBeatClock + record.filterOutTuneRequest +
                  record.filterOutAllControls, 0);
    const auto text = thru.description();
    EXPECT_EQ(text.rfind("MIDIThruConnection(ref: nil, outputs: [", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 17), "], nonPersistent)") << text;
}

// Routing on a native system (version 13 on) and through the proxy (versions 11 and 12): the
// filters apply either way, and releasing the connection stops the routing.
TEST(ThruConnectionRouting, FiltersApplyAndReleaseStops) {
    struct Case {
        ms::OperatingSystemVersion os;
        bool proxied;
    };
    for (const Case& c : {Case{{15, 0, 0}, false}, Case{{13, 0, 0}, false}, Case{{12, 0, 0}, true},
                          Case{{11, 0, 0}, true}}) {
        SCOPED_TRACE(c.os.major);
        SimulatedSystem system;
        system.setOperatingSystemVersion(c.os);
        const auto from = system.plug(midiiotest::keyboard("From"));
        const auto to = system.plug(midiiotest::keyboard("To"));
        const auto manager = startedManager();
        MIDIThruConnection::Parameters params;
        params.filterOutAllControls = true;
        params.filterOutSysEx = true;
        manager->addThruConnection({MIDIOutputEndpoint(from.source(0))},
                                   {MIDIInputEndpoint(to.destination(0))}, "thru",
                                   Lifecycle::nonPersistent(), params);
        {
            const auto thru = manager->managedThruConnections().at("thru");
            EXPECT_EQ(thru->proxy() != nullptr, c.proxied);
            ASSERT_TRUE(thru->coreMIDIThruConnectionRef());
            EXPECT_EQ(*thru->coreMIDIThruConnectionRef() == 0, c.proxied);
        }
        EXPECT_EQ(relay(system, from, to), joined({noteOn, clock}));

        // A persistent connection is refused where the proxy stands in.
        if (c.proxied) {
            try {
                manager->addThruConnection({MIDIOutputEndpoint(from.source(0))},
                                           {MIDIInputEndpoint(to.destination(0))}, "p",
                                           Lifecycle::persistent("org.test.thru"));
                ADD_FAILURE() << "persistent connection created";
            } catch (const MIDIIOError& e) {
                EXPECT_EQ(e.errorCase(), MIDIIOError::Case::notSupported);
            }
        }

        manager->remove(MIDIManager::ManagedType::nonPersistentThruConnection,
                        MIDIManager::TagSelection::all());
        to.capture(0).clear();
        EXPECT_EQ(system.play(from.source(0), noteOn), ms::noErr);
        system.drain();
        manager->eventQueue()->sync([] {});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(to.capture(0).packets().empty());
    }
}

TEST(ThruConnectionPersistent, OutlivesManagerAndIsRemovedByOwner) {
    SimulatedSystem system;
    const auto from = system.plug(midiiotest::keyboard("From"));
    const auto to = system.plug(midiiotest::keyboard("To"));
    {
        const auto manager = startedManager();
        manager->addThruConnection({MIDIOutputEndpoint(from.source(0))},
                                   {MIDIInputEndpoint(to.destination(0))}, "ignored",
                                   Lifecycle::persistent("org.test.thru"));
        EXPECT_EQ(manager->registeredCount(MIDIManager::ManagedType::nonPersistentThruConnection), 0u);
    }
    const auto manager = startedManager();
    EXPECT_EQ(manager->unmanagedPersistentThruConnections("org.test.thru").size(), 1u);
    EXPECT_TRUE(manager->unmanagedPersistentThruConnections("org.test.other").empty());
    EXPECT_EQ(relay(system, from, to), joined({noteOn, controlChange, sysEx, clock}));

    EXPECT_EQ(manager->removeAllUnmanagedPersistentThruConnections("org.test.other"), 0u);
    EXPECT_EQ(manager->removeAllUnmanagedPersistentThruConnections("org.test.thru"), 1u);
    EXPECT_TRUE(manager->unmanagedPersistentThruConnections("org.test.thru").empty());
    // Finding fails for an empty owner ID: thrown by the query, 0 from the removal.
    EXPECT_THROW(manager->unmanagedPersistentThruConnections(""), MIDIIOError);
    EXPECT_EQ(manager->removeAllUnmanagedPersistentThruConnections(""), 0u);
}

}  // namespace
