// Input connections, and the application's configuration end to end on the in-process services.
#include <gtest/gtest.h>

#include "io_bench.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/input.hpp"
#include "midi_io/input_connection.hpp"
#include "midi_io/output.hpp"

namespace {

using midicore::MIDIIOError;
using midiio::CoreMIDIAPIVersion;
using midiio::KeyValueStore;
using midiio::MIDIConnectionMode;
using midiio::MIDIEndpointFilter;
using midiio::MIDIEndpointIdentity;
using midiio::MIDIEndpointIdentitySet;
using midiio::MIDIIdentifierPersistence;
using midiio::MIDIManager;
using midiiotest::Inbox;
using midiiotest::OtherSoftware;
using midiiotest::startedManager;
using midiservices::testdriver::Call;
using midiservices::testdriver::SimulatedSystem;
namespace ms = midiservices;

// Waits until everything sent so far has been delivered and handled.
void settle(SimulatedSystem& system, const MIDIManager& manager) {
    ASSERT_TRUE(midiiotest::settled(system, manager));
    ASSERT_TRUE(midiiotest::settled(system, manager));
}

bool connectedTo(const midiio::MIDIInputConnection& connection, ms::MIDIEndpointRef source) {
    return connection.coreMIDIOutputEndpointRefs().count(source) != 0;
}

TEST(MIDIReaderConfiguration, EndToEnd) {
    SimulatedSystem system;
    midiiotest::TempFolder folder;
    const auto keys = system.plug(midiiotest::keyboard("Keys"));
    OtherSoftware other;
    ms::MIDIEndpointRef otherSource = 0;
    ASSERT_EQ(ms::MIDISourceCreate(other.client, "Other Out", &otherSource), ms::noErr);

    const auto manager = startedManager();
    Inbox inbox(manager->eventQueue());
    manager->addOutput("Own Out", "own", MIDIIdentifierPersistence::adHoc());
    manager->addInput("Tessaloom MIDI In", "Virtual_MIDI_In",
                      MIDIIdentifierPersistence::userDefaultsManaged(
                          "Virtual_MIDI_In", std::make_shared<KeyValueStore>(folder.path() / "d")),
                      inbox.receiver());
    manager->addInputConnection(std::vector<MIDIEndpointIdentity>{}, "Virtual_MIDI_In",
                                MIDIConnectionMode::allEndpoints, MIDIEndpointFilter::ownedFilter(),
                                inbox.receiver());
    auto connection = manager->managedInputConnections().at("Virtual_MIDI_In");
    const auto ownSource = *manager->managedOutputs().at("own")->coreMIDIOutputPortRef();
    EXPECT_EQ(connection->coreMIDIOutputEndpointRefs(),
              (midiio::MIDIInputConnection::EndpointRefs{keys.source(0), otherSource}));

    // The keyboard's Note On of velocity 0 arrives as a Note Off.
    ASSERT_EQ(system.play(keys.source(0), {0x90, 0x40, 0x00}), ms::noErr);
    ASSERT_TRUE(inbox.waitForEvents(1));
    EXPECT_TRUE(midiiotest::isNoteOff(inbox.events()[0]));

    // Other software sends to the virtual input.
    const auto input = *manager->managedInputs().at("Virtual_MIDI_In")->coreMIDIInputPortRef();
    ASSERT_EQ(other.send(input, {0x90, 0x3C, 0x64}), ms::noErr);
    ASSERT_TRUE(inbox.waitForEvents(2));
    EXPECT_TRUE(midiiotest::isNoteOn(inbox.events()[1]));

    // A keyboard plugged in later is listened to with no action.
    const auto later = system.plug(midiiotest::keyboard("Later"));
    ASSERT_TRUE(testsupport::waitFor([&] { return connectedTo(*connection, later.source(0)); }));
    ASSERT_EQ(system.play(later.source(0), {0x80, 0x30, 0x00}), ms::noErr);
    ASSERT_TRUE(inbox.waitForEvents(3));
    EXPECT_TRUE(midiiotest::isNoteOff(inbox.events()[2]));

    // The manager's own virtual output is never connected, even when added after the connection.
    manager->addOutput("Own Out 2", "own2", MIDIIdentifierPersistence::adHoc());
    const auto ownSource2 = *manager->managedOutputs().at("own2")->coreMIDIOutputPortRef();
    const auto published = midisupport::makePacketList(std::vector<uint8_t>{0x90, 0x50, 0x50});
    settle(system, *manager);
    EXPECT_FALSE(connectedTo(*connection, ownSource));
    EXPECT_FALSE(connectedTo(*connection, ownSource2));
    for (const auto source : {ownSource, ownSource2})
        ASSERT_EQ(ms::MIDIReceived(source, published.list(), published.byteCount()), ms::noErr);
    settle(system, *manager);
    EXPECT_EQ(inbox.events().size(), 3u);
    EXPECT_EQ(inbox.offQueue(), 0);

    // Stop: every port and endpoint goes; the client stays.
    connection.reset();
    manager->removeAll();
    EXPECT_EQ(system.liveObjects(manager->coreMIDIClientRef()).total(), 0u);
}

TEST(InputConnection, CriteriaFollowTheFilter) {
    SimulatedSystem system;
    const auto a = system.plug(midiiotest::keyboard("A"));
    const auto b = system.plug(midiiotest::keyboard("B"));
    const auto manager = startedManager();
    const int32_t idA = midiio::MIDIOutputEndpoint(a.source(0)).uniqueID;
    const int32_t idB = midiio::MIDIOutputEndpoint(b.source(0)).uniqueID;
    const auto byID = [](int32_t id) { return MIDIEndpointIdentity::uniqueID(id); };
    const std::vector<MIDIEndpointIdentity> none;

    struct Case {
        const char* name;
        MIDIEndpointIdentitySet criteria;
        MIDIConnectionMode mode;
        MIDIEndpointFilter filter;
        MIDIEndpointIdentitySet expectedCriteria;
        std::set<ms::MIDIEndpointRef> expectedRefs;
    };
    const Case cases[] = {
        {"defined", {byID(idA)}, MIDIConnectionMode::definedEndpoints, {},
         {byID(idA)}, {a.source(0)}},
        {"a filtered unique ID", {byID(idA), byID(idB)}, MIDIConnectionMode::definedEndpoints,
         MIDIEndpointFilter(false, MIDIEndpointIdentitySet{byID(idB)}), {byID(idA)}, {a.source(0)}},
        {"a filter by name removes no unique IDs", {byID(idA), byID(idB)},
         MIDIConnectionMode::definedEndpoints,
         MIDIEndpointFilter(false, MIDIEndpointIdentitySet{MIDIEndpointIdentity::name("Out")}),
         {byID(idA), byID(idB)}, {a.source(0), b.source(0)}},
        {"by display name", {MIDIEndpointIdentity::displayName("B Out")},
         MIDIConnectionMode::definedEndpoints, {},
         {MIDIEndpointIdentity::displayName("B Out")}, {b.source(0)}},
        {"unmatched identities stay", {byID(idA), byID(777)}, MIDIConnectionMode::definedEndpoints,
         {}, {byID(idA), byID(777)}, {a.source(0)}},
        {"all endpoints ignores the given criteria", {byID(777)}, MIDIConnectionMode::allEndpoints,
         {}, {byID(idA), byID(idB)}, {a.source(0), b.source(0)}},
    };
    Inbox inbox;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager->addInputConnection(c.criteria, "tag", c.mode, c.filter, inbox.receiver());
        const auto connection = manager->managedInputConnections().at("tag");
        EXPECT_EQ(connection->outputsCriteria(), c.expectedCriteria);
        EXPECT_EQ(connection->coreMIDIOutputEndpointRefs(), c.expectedRefs);
    }
    EXPECT_EQ(manager->registeredCount(MIDIManager::ManagedType::inputConnection), 1u);
    EXPECT_EQ(system.liveObjects(manager->coreMIDIClientRef()).ports, 1u);  // replaced ones went
}

TEST(InputConnection, RecordsCarryTheirSourceAndUnchangedSettingsDoNotReconnect) {
    SimulatedSystem system;
    const auto keys = system.plug(midiiotest::keyboard("Keys"));
    const auto manager = startedManager();
    std::mutex mutex;
    std::vector<std::optional<midiio::MIDIOutputEndpoint>> sources;
    manager->addInputConnection(
        std::vector<midiio::MIDIOutputEndpoint>{midiio::MIDIOutputEndpoint(keys.source(0))}, "tag",
        MIDIConnectionMode::definedEndpoints, MIDIEndpointFilter::defaultFilter(),
        midiio::MIDIReceiver::eventsWithMetadata(
            true, [&](const std::vector<midicore::MIDIEvent>&, uint64_t,
                      const std::optional<midiio::MIDIOutputEndpoint>& source) {
                std::lock_guard lock(mutex);
                sources.push_back(source);
            }));
    const auto connection = manager->managedInputConnections().at("tag");
    auto received = [&] {
        std::lock_guard lock(mutex);
        return sources.size();
    };
    ASSERT_EQ(system.play(keys.source(0), {0x90, 0x40, 0x40}), ms::noErr);
    ASSERT_TRUE(testsupport::waitFor([&] { return received() == 1; }));
    {
        std::lock_guard lock(mutex);
        ASSERT_TRUE(sources[0]);
        EXPECT_EQ(sources[0]->coreMIDIObjectRef, keys.source(0));
        EXPECT_EQ(sources[0]->displayName, midiio::MIDIOutputEndpoint(keys.source(0)).displayName);
    }

    // Disconnected behind the connection's back: setting the same mode or filter does not
    // reconnect; a refresh does.
    ASSERT_EQ(ms::MIDIPortDisconnectSource(*connection->coreMIDIInputPortRef(), keys.source(0)),
              ms::noErr);
    connection->setMode(MIDIConnectionMode::definedEndpoints);
    connection->setFilter(MIDIEndpointFilter::defaultFilter());
    ASSERT_EQ(system.play(keys.source(0), {0x90, 0x41, 0x40}), ms::noErr);
    settle(system, *manager);
    EXPECT_EQ(received(), 1u);
    connection->setFilter(MIDIEndpointFilter(false, MIDIEndpointIdentitySet{MIDIEndpointIdentity::name("x")}));
    ASSERT_EQ(system.play(keys.source(0), {0x90, 0x42, 0x40}), ms::noErr);
    ASSERT_TRUE(testsupport::waitFor([&] { return received() == 2; }));

    connection->removeAllOutputs();
    EXPECT_TRUE(connection->outputsCriteria().empty());
    EXPECT_TRUE(connection->coreMIDIOutputEndpointRefs().empty());
    connection->addOutputs(std::vector{MIDIEndpointIdentity::name("Out")});
    EXPECT_EQ(connection->coreMIDIOutputEndpointRefs().count(keys.source(0)), 1u);
    EXPECT_NE(connection->description().find(std::to_string(keys.source(0)) + ":\"Out\""),
              std::string::npos);
}

TEST(InputConnection, FailuresAndTexts) {
    SimulatedSystem system;
    const auto manager = startedManager();
    Inbox inbox;
    midiio::MIDIInputConnection detached({}, MIDIConnectionMode::definedEndpoints, {},
                                         inbox.receiver(), manager, manager->preferredAPI());
    try {
        detached.disconnect();
        FAIL() << "no error";
    } catch (const MIDIIOError& error) {
        EXPECT_EQ(error.errorCase(), MIDIIOError::Case::connectionError);
        EXPECT_STREQ(error.what(),
                     "Attempted to disconnect outputs but was not in a listening state; nothing "
                     "to disconnect.");
    }
    EXPECT_EQ(detached.description(),
              "MIDIInputConnection(criteria: [], outputEndpointRefs: [], inputPortRef: nil)");

    system.injectStatus(Call::portCreate, ms::kMIDIInvalidClient);
    try {
        manager->addInputConnection(MIDIEndpointIdentitySet{}, "tag",
                                    MIDIConnectionMode::allEndpoints, {}, inbox.receiver());
        FAIL() << "no error";
    } catch (const MIDIIOError& error) {
        EXPECT_EQ(error.errorCase(), MIDIIOError::Case::osStatus);
        EXPECT_EQ(error.status(), midicore::MIDIOSStatus(midicore::MIDIOSStatus::Case::invalidClient));
    }
    const auto failed = manager->managedInputConnections().at("tag");
    EXPECT_FALSE(failed->coreMIDIInputPortRef());
    // The next refresh listens again.
    failed->refreshConnection(*manager);
    EXPECT_TRUE(failed->coreMIDIInputPortRef());
}

TEST(InputConnection, DeliveriesRacingARemovalNeverReachAReleasedHandler) {
    SimulatedSystem system;
    const auto keys = system.plug(midiiotest::keyboard("Keys"));
    const auto manager = startedManager();
    Inbox inbox;
    manager->addInputConnection(MIDIEndpointIdentitySet{}, "tag", MIDIConnectionMode::allEndpoints,
                                {}, inbox.receiver());
    std::atomic<bool> stop{false};
    std::thread player([&] {
        while (!stop) system.play(keys.source(0), {0x90, 0x40, 0x40});
    });
    ASSERT_TRUE(inbox.waitForEvents(10));
    manager->remove(MIDIManager::ManagedType::inputConnection, MIDIManager::TagSelection::all());
    EXPECT_EQ(system.liveObjects(manager->coreMIDIClientRef()).ports, 0u);
    settle(system, *manager);
    const size_t afterRemoval = inbox.events().size();
    stop = true;
    player.join();
    settle(system, *manager);
    EXPECT_EQ(inbox.events().size(), afterRemoval);
}

// Note On i of a long run: every note number and a velocity that is never 0.
std::vector<uint8_t> runNote(size_t i) {
    return {0x90, static_cast<uint8_t>(i % 128), static_cast<uint8_t>(1 + (i / 128) % 126)};
}

// Whether `events` are the first `count` notes of the run, each once and in order; names the
// first difference rather than printing thousands of events.
::testing::AssertionResult isRun(const std::vector<midicore::MIDIEvent>& events, size_t count) {
    for (size_t i = 0; i < std::min(events.size(), count); ++i) {
        if (events[i].midi1RawBytes().toVector() != runNote(i))
            return ::testing::AssertionFailure() << "event " << i << " is " << events[i].description();
    }
    if (events.size() != count)
        return ::testing::AssertionFailure() << events.size() << " events for " << count << " notes";
    return ::testing::AssertionSuccess();
}

const CoreMIDIAPIVersion packetLists = CoreMIDIAPIVersion::legacyCoreMIDI();
const CoreMIDIAPIVersion eventLists =
    CoreMIDIAPIVersion::newCoreMIDI(midicore::MIDIProtocolVersion::_2_0);

// A change of the setup while a keyboard plays (a setup-changed notification of the services, or
// another keyboard plugged in) loses nothing the services accepted: every note arrives once and in
// order, on either interface.
TEST(InputConnection, SetupChangesWhileAKeyboardPlaysLoseNoNote) {
    enum class Change { notification, hotPlug };
    struct Case {
        const char* name;
        CoreMIDIAPIVersion api;
        Change change;
    };
    const Case cases[] = {
        {"packet lists, notifications", packetLists, Change::notification},
        {"event lists, notifications", eventLists, Change::notification},
        {"packet lists, hot-plugs", packetLists, Change::hotPlug},
        {"event lists, hot-plugs", eventLists, Change::hotPlug},
    };
    constexpr size_t kNotes = 5000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedSystem system;
        const auto keys = system.plug(midiiotest::keyboard("Keys"));
        const auto manager = startedManager(c.api);
        Inbox inbox;
        manager->addInputConnection(std::vector<MIDIEndpointIdentity>{}, "in",
                                    MIDIConnectionMode::allEndpoints,
                                    MIDIEndpointFilter::ownedFilter(), inbox.receiver());
        std::vector<midiservices::testdriver::SimulatedDevice> others;
        for (size_t i = 0; i < kNotes; ++i) {
            ASSERT_EQ(system.play(keys.source(0), runNote(i)), ms::noErr);
            if (i % 1000 != 500) continue;
            if (c.change == Change::notification) {
                system.postNotification(ms::MIDINotificationMessageID::setupChanged);
            } else {
                others.push_back(system.plug(midiiotest::keyboard("Other " + std::to_string(i))));
            }
        }
        inbox.waitForEvents(kNotes);
        settle(system, *manager);
        EXPECT_TRUE(isRun(inbox.events(), kNotes));
        const auto connection = manager->managedInputConnections().at("in");
        for (const auto& other : others) EXPECT_TRUE(connectedTo(*connection, other.source(0)));
    }
}

// What a keyboard played just before it was unplugged arrives, complete and in order; then the
// removal takes effect.
TEST(InputConnection, NotesPlayedJustBeforeAnUnplugArrive) {
    for (const auto& api : {packetLists, eventLists}) {
        SCOPED_TRACE(api.midiProtocol() == midicore::MIDIProtocolVersion::_2_0);
        SimulatedSystem system;
        const auto keys = system.plug(midiiotest::keyboard("Keys"));
        const auto manager = startedManager(api);
        Inbox inbox;
        manager->addInputConnection(std::vector<MIDIEndpointIdentity>{}, "in",
                                    MIDIConnectionMode::allEndpoints,
                                    MIDIEndpointFilter::ownedFilter(), inbox.receiver());
        for (size_t i = 0; i < 8; ++i) ASSERT_EQ(system.play(keys.source(0), runNote(i)), ms::noErr);
        ASSERT_EQ(system.unplug(keys), ms::noErr);
        inbox.waitForEvents(8);
        settle(system, *manager);
        EXPECT_TRUE(isRun(inbox.events(), 8));
        EXPECT_FALSE(connectedTo(*manager->managedInputConnections().at("in"), keys.source(0)));
    }
}

// A source that goes takes its parser state with it: the running status of a keyboard that was
// unplugged does not carry over to the same keyboard (same unique IDs) plugged in again, while a
// keyboard that stays keeps it.
TEST(InputConnection, ASourceThatGoesReleasesItsParserState) {
    SimulatedSystem system;
    const auto manager = startedManager(packetLists);
    Inbox inbox;
    manager->addInputConnection(std::vector<MIDIEndpointIdentity>{}, "in",
                                MIDIConnectionMode::allEndpoints, MIDIEndpointFilter::ownedFilter(),
                                inbox.receiver());
    const auto description = midiiotest::keyboard("Keys");
    ms::MIDIDriverUniqueIDs ids;
    ids.device = 4240;
    ids.entities.push_back({4241, {4242}, {4243}});
    auto plug = [&] {
        ms::MIDIDriverDevice device;
        EXPECT_EQ(ms::MIDIDriverAddDevice(description, ids, &device), ms::noErr);
        settle(system, *manager);
        return device;
    };
    struct Step {
        bool replugFirst;
        std::vector<uint8_t> bytes;
        size_t eventsAfter;
    };
    const Step steps[] = {
        {false, {0x90, 0x3C, 0x40}, 1},
        {false, {0x3D, 0x40}, 2},  // running status, kept while the keyboard stays
        {true, {0x3E, 0x40}, 2},   // no status: the parser of the keyboard that went is gone
        {false, {0x90, 0x3F, 0x40}, 3},
    };
    auto device = plug();
    for (const Step& step : steps) {
        if (step.replugFirst) {
            ASSERT_EQ(ms::MIDIDriverRemoveDevice(device.device), ms::noErr);
            settle(system, *manager);
            device = plug();
            ASSERT_EQ(midiio::MIDIOutputEndpoint(device.entities[0].sources[0]).uniqueID, 4242);
        }
        ASSERT_EQ(system.play(device.entities[0].sources[0], step.bytes), ms::noErr);
        settle(system, *manager);
        EXPECT_EQ(inbox.events().size(), step.eventsAfter);
    }
    EXPECT_EQ(inbox.events().back().midi1RawBytes().toVector(),
              (std::vector<uint8_t>{0x90, 0x3F, 0x40}));
}

}  // namespace
