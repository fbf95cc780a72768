// Virtual inputs and outputs made by the manager: delivery, unique-ID persistence, failures,
// replacing the receiver and removal.
#include <gtest/gtest.h>

#include "io_bench.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/input.hpp"
#include "midi_io/output.hpp"

namespace {

using midicore::MIDIIOError;
using midicore::MIDIOSStatus;
using midicore::MIDIProtocolVersion;
using midiio::CoreMIDIAPIVersion;
using midiio::KeyValueStore;
using midiio::MIDIIdentifierPersistence;
using midiio::MIDIManager;
using midiiotest::Inbox;
using midiiotest::OtherSoftware;
using midiiotest::startedManager;
using midiservices::testdriver::Call;
using midiservices::testdriver::SimulatedSystem;
using TagSelection = MIDIManager::TagSelection;
namespace ms = midiservices;

TEST(VirtualInput, DeliversWhatOtherSoftwareSendsInEveryInterface) {
    // A Note On of velocity 0 becomes a Note Off in MIDI 1.0 packet lists (the receiver's
    // translation) and in MIDI 2.0 (the services' translation); MIDI 1.0 UMP passes unchanged.
    const std::pair<CoreMIDIAPIVersion, bool> cases[] = {
        {CoreMIDIAPIVersion::legacyCoreMIDI(), true},
        {CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_1_0), false},
        {CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0), true}};
    for (const auto& [api, becomesNoteOff] : cases) {
        SCOPED_TRACE(api.description());
        SimulatedSystem system;
        const auto manager = startedManager(api);
        Inbox inbox(manager->eventQueue());
        manager->addInput("Tessaloom MIDI In", "Virtual_MIDI_In", MIDIIdentifierPersistence::adHoc(),
                          inbox.receiver());
        const auto input = manager->managedInputs().at("Virtual_MIDI_In");
        EXPECT_EQ(input->api(), api);
        ASSERT_TRUE(input->coreMIDIInputPortRef());
        EXPECT_EQ(input->endpoint().name, "Tessaloom MIDI In");
        EXPECT_EQ(input->endpoint().uniqueID, input->uniqueID());

        OtherSoftware other;
        ASSERT_EQ(other.send(*input->coreMIDIInputPortRef(), {0x90, 0x40, 0x00}), ms::noErr);
        ASSERT_EQ(other.send(*input->coreMIDIInputPortRef(), {0x90, 0x41, 0x64}), ms::noErr);
        ASSERT_TRUE(inbox.waitForEvents(2));
        const auto events = inbox.events();
        EXPECT_EQ(midiiotest::isNoteOff(events[0]), becomesNoteOff);
        EXPECT_TRUE(midiiotest::isNoteOn(events[1]));
        EXPECT_EQ(inbox.offQueue(), 0);  // the handler only runs on the event queue
    }
}

TEST(VirtualInput, UniqueIDIsPersistedAndSurvivesCollisions) {
    SimulatedSystem system;
    midiiotest::TempFolder folder;
    const auto file = folder.path() / "defaults";
    auto persistence = [&] {  // a new store each time: the process restarted in between
        return MIDIIdentifierPersistence::userDefaultsManaged("Virtual_MIDI_In",
                                                              std::make_shared<KeyValueStore>(file));
    };
    // A manager that adds the input and is gone again once its ID is read.
    auto addInput = [&](const std::function<void()>& beforeAdding = [] {}) {
        const size_t clients = system.liveClients();
        auto manager = startedManager();
        Inbox inbox;
        beforeAdding();
        manager->addInput("Tessaloom MIDI In", "Virtual_MIDI_In", persistence(), inbox.receiver());
        const int32_t id = *manager->managedInputs().at("Virtual_MIDI_In")->uniqueID();
        manager.reset();
        EXPECT_TRUE(testsupport::waitFor([&] { return system.liveClients() == clients; }));
        return id;
    };

    const int32_t first = addInput();
    EXPECT_EQ(persistence().readID(), first);
    EXPECT_EQ(addInput(), first);  // the first manager is gone: its ID is free

    // Another program's endpoint (of either kind) holds the stored ID: a fresh ID is taken and
    // persisted.
    OtherSoftware other;
    for (const bool source : {true, false}) {
        SCOPED_TRACE(source ? "source" : "destination");
        const int32_t stored = *persistence().readID();
        ms::MIDIEndpointRef taker = 0;
        ASSERT_EQ(source ? ms::MIDISourceCreate(other.client, "taker", &taker)
                         : ms::MIDIDestinationCreateWithBlock(other.client, "taker", &taker, {}),
                  ms::noErr);
        ASSERT_EQ(ms::MIDIObjectSetIntegerProperty(taker, ms::kMIDIPropertyUniqueID, stored),
                  ms::noErr);
        const int32_t fresh = addInput();
        EXPECT_NE(fresh, stored);
        EXPECT_EQ(persistence().readID(), fresh);
    }

    // The stored ID is taken between the check and its setting: the assigned ID is kept and
    // persisted instead of failing every start.
    const int32_t stored = *persistence().readID();
    const int32_t kept = addInput(
        [&] { system.injectStatus(Call::objectSetIntegerProperty, ms::kMIDIIDNotUnique); });
    EXPECT_NE(kept, stored);
    EXPECT_EQ(persistence().readID(), kept);

    // An unmanaged ID is used as given and never stored.
    const auto output = startedManager();
    output->addOutput("Out", "out", MIDIIdentifierPersistence::unmanaged(123456));
    EXPECT_EQ(output->managedOutputs().at("out")->uniqueID(), 123456);
    EXPECT_EQ(output->managedOutputs().at("out")->endpoint().uniqueID, 123456);
}

TEST(VirtualEndpoints, FailuresAndTexts) {
    SimulatedSystem system;
    const auto manager = startedManager();
    Inbox inbox;
    std::vector<std::optional<int32_t>> stored;
    const auto persistence = MIDIIdentifierPersistence::managedStorage(
        [] { return std::nullopt; }, [&](std::optional<int32_t> id) { stored.push_back(id); });

    struct Case {
        const char* name;
        Call call;
        ms::OSStatus status;
        MIDIOSStatus expected;
        bool output;
    };
    const Case cases[] = {
        {"destination refused", Call::destinationCreate, ms::kMIDINotPermitted,
         MIDIOSStatus::Case::notPermitted, false},
        {"source refused", Call::sourceCreate, ms::kMIDIServerStartErr,
         MIDIOSStatus::Case::serverStartErr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        system.injectStatus(c.call, c.status);
        try {
            if (c.output)
                manager->addOutput("x", "tag", persistence);
            else
                manager->addInput("x", "tag", persistence, inbox.receiver());
            FAIL() << "no error";
        } catch (const MIDIIOError& error) {
            EXPECT_EQ(error.errorCase(), MIDIIOError::Case::osStatus);
            EXPECT_EQ(error.status(), c.expected);
        }
        // The object stays registered, without an endpoint, and nothing is stored.
        EXPECT_EQ(manager->registeredCount(c.output ? MIDIManager::ManagedType::output
                                                    : MIDIManager::ManagedType::input),
                  1u);
    }
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(manager->managedInputs().at("tag")->description(),
              "MIDIInput(name: \"x\", uniqueID: nil)");

    // An endpoint whose unique ID cannot be read.
    system.injectStatus(Call::objectGetIntegerProperty, ms::kMIDIUnknownProperty);
    try {
        manager->addInput("y", "tag", persistence, inbox.receiver());
        FAIL() << "no error";
    } catch (const MIDIIOError& error) {
        EXPECT_EQ(error.errorCase(), MIDIIOError::Case::connectionError);
        EXPECT_STREQ(error.what(), "Could not read virtual MIDI endpoint unique ID.");
    }

    manager->addOutput("Out", "out", persistence);
    const auto output = manager->managedOutputs().at("out");
    EXPECT_EQ(output->description(),
              "MIDIOutput(name: \"Out\", uniqueID: " + std::to_string(*output->uniqueID()) + ")");
    EXPECT_EQ(stored, (std::vector<std::optional<int32_t>>{output->uniqueID()}));
    output->setName("Renamed");
    EXPECT_EQ(output->endpoint().name, "Renamed");
    output->setPrivate(true);
    int32_t hidden = 0;
    ms::MIDIObjectGetIntegerProperty(*output->coreMIDIOutputPortRef(), ms::kMIDIPropertyPrivate,
                                     &hidden);
    EXPECT_EQ(hidden, 1);
}

TEST(VirtualEndpoints, OldSystemsUseThePacketListInterface) {
    SimulatedSystem system;
    system.setOperatingSystemVersion({10, 15, 0});
    const auto manager = startedManager(CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0));
    Inbox inbox;
    manager->addInput("In", "in", MIDIIdentifierPersistence::adHoc(), inbox.receiver());
    const auto input = manager->managedInputs().at("in");
    EXPECT_EQ(input->api(), CoreMIDIAPIVersion::legacyCoreMIDI());
    OtherSoftware other;
    ASSERT_EQ(other.send(*input->coreMIDIInputPortRef(), {0x90, 0x40, 0x00}), ms::noErr);
    ASSERT_TRUE(inbox.waitForEvents(1));
    EXPECT_TRUE(midiiotest::isNoteOff(inbox.events()[0]));
}

TEST(VirtualEndpoints, RegistriesOwnTheEndpoints) {
    SimulatedSystem system;
    auto manager = startedManager();
    const auto client = manager->coreMIDIClientRef();
    Inbox inbox;
    manager->addInput("In", "tag", MIDIIdentifierPersistence::adHoc(), inbox.receiver());
    manager->addInput("In 2", "tag", MIDIIdentifierPersistence::adHoc(), inbox.receiver());
    manager->addOutput("Out", "tag", MIDIIdentifierPersistence::adHoc());
    manager->addOutput("Out 2", "other", MIDIIdentifierPersistence::adHoc());
    // The second input under one tag replaced the first; one tag names an input and an output.
    EXPECT_EQ(system.liveObjects(client).virtualDestinations, 1u);
    EXPECT_EQ(system.liveObjects(client).virtualSources, 2u);
    EXPECT_EQ(manager->managedInputs().at("tag")->name(), "In 2");

    manager->remove(MIDIManager::ManagedType::input, TagSelection::withTag("unknown"));
    manager->remove(MIDIManager::ManagedType::output, TagSelection::withTag("other"));
    EXPECT_EQ(system.liveObjects(client).virtualSources, 1u);
    manager->remove(MIDIManager::ManagedType::output, TagSelection::all());
    EXPECT_EQ(manager->registeredCount(MIDIManager::ManagedType::output), 0u);
    EXPECT_EQ(manager->registeredCount(MIDIManager::ManagedType::input), 1u);
    EXPECT_EQ(system.liveObjects(client).total(), 1u);

    manager->addOutput("Out", "tag", MIDIIdentifierPersistence::adHoc());
    manager->removeAll();
    EXPECT_EQ(system.liveObjects(client).total(), 0u);
    EXPECT_EQ(manager->coreMIDIClientRef(), client);

    manager->addInput("In", "tag", MIDIIdentifierPersistence::adHoc(), inbox.receiver());
    manager->addOutput("Out", "tag", MIDIIdentifierPersistence::adHoc());
    manager.reset();  // a notification task may hold the last reference for a moment
    EXPECT_TRUE(testsupport::waitFor([&] { return system.liveClients() == 0; }));
}

TEST(VirtualInput, ReplacedReceiverTakesOverAndRemovalEndsDeliveries) {
    SimulatedSystem system;
    const auto manager = startedManager();
    Inbox first, second;
    manager->addInput("In", "in", MIDIIdentifierPersistence::adHoc(), first.receiver());
    auto input = manager->managedInputs().at("in");
    const auto destination = *input->coreMIDIInputPortRef();
    OtherSoftware other;
    ASSERT_EQ(other.send(destination, {0x90, 0x40, 0x40}), ms::noErr);
    ASSERT_TRUE(first.waitForEvents(1));
    input->setReceiver(second.receiver());
    ASSERT_EQ(other.send(destination, {0x90, 0x41, 0x40}), ms::noErr);
    ASSERT_TRUE(second.waitForEvents(1));
    EXPECT_EQ(first.events().size(), 1u);

    // Another thread keeps sending while the input is removed: nothing reaches a released
    // handler, and nothing arrives once the removal has returned.
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop) other.send(destination, {0x90, 0x42, 0x40});
    });
    ASSERT_TRUE(second.waitForEvents(20));
    std::weak_ptr<midiio::MIDIInput> weakInput = input;
    input.reset();  // the registry holds the only reference now
    manager->remove(MIDIManager::ManagedType::input, TagSelection::all());
    EXPECT_TRUE(weakInput.expired());
    EXPECT_EQ(system.liveObjects(manager->coreMIDIClientRef()).virtualDestinations, 0u);
    ASSERT_TRUE(midiiotest::settled(system, *manager));
    const size_t afterRemoval = second.events().size();
    stop = true;
    sender.join();
    ASSERT_TRUE(midiiotest::settled(system, *manager));
    EXPECT_EQ(second.events().size(), afterRemoval);
}

}  // namespace
