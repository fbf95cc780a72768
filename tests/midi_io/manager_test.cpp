// The MIDI manager on the in-process services: queue label, start, registries, notifications and
// teardown.
#include <gtest/gtest.h>

#include <atomic>
#include <unordered_set>

#include "midi_core/io_error.hpp"
#include "midi_io/manager.hpp"
#include "midi_io/notifications.hpp"
#include "midiservices/network_session.hpp"
#include "midiservices/test_driver.hpp"
#include "wait_for.hpp"

namespace {

using midicore::MIDIIOError;
using midicore::MIDIOSStatus;
using midicore::MIDIProtocolVersion;
using midiio::CoreMIDIAPIVersion;
using midiio::MIDIManager;
using midiservices::testdriver::Call;
using midiservices::testdriver::SimulatedSystem;
using ManagedType = MIDIManager::ManagedType;
using TagSelection = MIDIManager::TagSelection;

TEST(MIDIManager, QueueLabel) {
    struct Case {
        const char* clientName;
        const char* middle;  // none: a UUID text
    };
    const Case cases[] = {
        {"A B-c!", "ABc"},
        {"TessaloomMIDIModule", "TessaloomMIDIModule"},
        {"Caf\u00e9 \u00e92", "Caf\u00e9\u00e92"},
        {" -!?. ", nullptr},
        {"", nullptr},
    };
    // A version-4 UUID in upper-case text: 8-4-4-4-12 hex digits, "4" and a variant digit.
    const auto isUUID = [](const std::string& t) {
        if (t.size() != 36 || t[14] != '4' || std::string("89AB").find(t[19]) == std::string::npos)
            return false;
        for (size_t i = 0; i < t.size(); ++i) {
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash ? t[i] != '-' : std::string("0123456789ABCDEF").find(t[i]) == std::string::npos)
                return false;
        }
        return true;
    };
    const std::string prefix = std::string(MIDIManager::libraryIdentifier) + ".midiManager.";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clientName);
        const auto manager = MIDIManager::make(c.clientName, "", "");
        const std::string label = manager->eventQueue()->label();
        ASSERT_EQ(label.rfind(prefix, 0), 0u);
        ASSERT_GE(label.size(), prefix.size() + 7);
        ASSERT_EQ(label.substr(label.size() - 7), ".events");
        const std::string middle = label.substr(prefix.size(), label.size() - prefix.size() - 7);
        if (c.middle)
            EXPECT_EQ(middle, c.middle);
        else
            EXPECT_TRUE(isUUID(middle)) << middle;
    }
}

TEST(MIDIManager, StartCreatesOneClientAndRefreshesOnce) {
    SimulatedSystem system;
    const auto manager = MIDIManager::make("Client", "Model", "Maker");
    std::atomic<int> announcements{0};
    auto subscription = manager->objectWillChange().connect([&] { ++announcements; });
    EXPECT_EQ(manager->coreMIDIClientRef(), 0u);
    EXPECT_EQ(system.liveClients(), 0u);  // nothing made before start

    manager->start();
    manager->start();
    EXPECT_NE(manager->coreMIDIClientRef(), 0u);
    EXPECT_EQ(system.liveClients(), 1u);
    EXPECT_EQ(announcements.load(), 1);
}

TEST(MIDIManager, FailedStartThrowsTheMappedStatusAndCanBeRetried) {
    SimulatedSystem system;
    const auto manager = MIDIManager::make("Client", "", "");
    system.injectStatus(Call::clientCreate, midiservices::kMIDIServerStartErr);
    try {
        manager->start();
        FAIL() << "start succeeded";
    } catch (const MIDIIOError& error) {
        EXPECT_EQ(error.errorCase(), MIDIIOError::Case::osStatus);
        EXPECT_EQ(error.status(), MIDIOSStatus(MIDIOSStatus::Case::serverStartErr));
    }
    EXPECT_EQ(manager->coreMIDIClientRef(), 0u);
    EXPECT_EQ(system.liveClients(), 0u);
    manager->start();
    EXPECT_NE(manager->coreMIDIClientRef(), 0u);
}

TEST(MIDIManager, PreferredAPIFollowsTheSystem) {
    SimulatedSystem system;
    const auto new1 = CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_1_0);
    EXPECT_EQ(MIDIManager::make("a", "", "")->preferredAPI(),
              CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0));
    const auto current = MIDIManager::make("b", "", "");
    current->setPreferredAPI(new1);
    EXPECT_EQ(current->preferredAPI(), new1);

    system.setOperatingSystemVersion({10, 15, 0});
    const auto old = MIDIManager::make("c", "", "");
    EXPECT_EQ(old->preferredAPI(), CoreMIDIAPIVersion::legacyCoreMIDI());
    old->setPreferredAPI(new1);
    EXPECT_EQ(old->preferredAPI(), CoreMIDIAPIVersion::legacyCoreMIDI());
}

TEST(MIDIManager, RemovingFromEmptyRegistriesKeepsTheClient) {
    SimulatedSystem system;
    const auto manager = MIDIManager::make("Client", "", "");
    manager->start();
    const auto client = manager->coreMIDIClientRef();
    for (const auto type : MIDIManager::allManagedTypes) {
        manager->remove(type, TagSelection::withTag("unknown"));
        manager->remove(type, TagSelection::all());
        EXPECT_EQ(manager->registeredCount(type), 0u);
    }
    manager->removeAll();
    EXPECT_EQ(manager->coreMIDIClientRef(), client);
    EXPECT_EQ(system.liveClients(), 1u);
}

TEST(MIDIManager, TagSelectionValues) {
    const std::unordered_set<TagSelection> set{TagSelection::all(), TagSelection::all(),
                                               TagSelection::withTag("a"),
                                               TagSelection::withTag("a"),
                                               TagSelection::withTag("b"),
                                               TagSelection::withTag("")};
    EXPECT_EQ(set.size(), 4u);  // withTag("") is not `all`
    EXPECT_EQ(TagSelection::withTag("x").tag(), "x");
    EXPECT_EQ(TagSelection::all().selectionCase(), TagSelection::Case::all);
}

TEST(MIDIManager, OperationsFromItsOwnQueueFailFast) {
    SimulatedSystem system;
    const auto manager = MIDIManager::make("Client", "", "");
    const auto attempts = manager->eventQueue()->sync([&] {
        int thrown = 0;
        const std::function<void()> operations[] = {
            [&] { manager->start(); },
            [&] { manager->remove(ManagedType::input, TagSelection::all()); },
            [&] { manager->removeAll(); },
        };
        for (const auto& operation : operations) {
            try {
                operation();
            } catch (const MIDIIOError& error) {
                thrown += error.errorCase() == MIDIIOError::Case::internalInconsistency;
            }
        }
        return thrown;
    });
    EXPECT_EQ(attempts, 3);
}

TEST(MIDIManager, SetupChangesRefreshOnTheEventQueue) {
    SimulatedSystem system;
    const auto manager = MIDIManager::make("Client", "", "");
    std::atomic<int> announcements{0};
    std::atomic<int> offQueue{0};
    auto subscription = manager->objectWillChange().connect([&] {
        if (!manager->eventQueue()->isCurrent()) ++offQueue;
        ++announcements;
    });
    manager->start();
    midiservices::MIDIDriverDeviceDescription keys;
    keys.name = "Keys";
    keys.entities.push_back({"Port", {"Out"}, {}});
    system.plug(keys);
    ASSERT_TRUE(testsupport::waitFor([&] { return announcements.load() >= 2; }));
    system.postNotification(midiservices::MIDINotificationMessageID::thruConnectionsChanged);
    system.postNotification(midiservices::MIDINotificationMessageID::setupChanged);
    ASSERT_TRUE(system.drain());
    manager->eventQueue()->sync([] {});
    const int afterSetupChange = announcements.load();
    EXPECT_EQ(offQueue.load(), 0);

    // A host's replacement of the refresh is called instead.
    std::atomic<int> replaced{0};
    manager->setObjectsCacheUpdater([&](MIDIManager&) { ++replaced; });
    system.postNotification(midiservices::MIDINotificationMessageID::setupChanged);
    ASSERT_TRUE(testsupport::waitFor([&] { return replaced.load() == 1; }));
    EXPECT_EQ(announcements.load(), afterSetupChange);
}

TEST(MIDIManager, ReleasingDisposesTheClient) {
    SimulatedSystem system;
    auto manager = MIDIManager::make("Client", "", "");
    manager->start();
    EXPECT_EQ(system.liveClients(), 1u);
    const auto ended = manager->eventQueue()->whenEnded();
    manager.reset();  // a notification task may hold the last reference for a moment
    EXPECT_TRUE(testsupport::waitFor([&] { return system.liveClients() == 0; }));
    EXPECT_TRUE(ended.wait(std::chrono::seconds(10)));
}

TEST(MIDIManager, ReleasedInsideItsOwnQueueTask) {
    SimulatedSystem system;
    auto manager = MIDIManager::make("Client", "", "");
    manager->start();
    const auto queue = manager->eventQueue();
    const auto ended = queue->whenEnded();
    std::atomic<bool> done{false};
    queue->async([m = std::move(manager), &done]() mutable {
        m.reset();  // the last reference goes on the queue itself
        done = true;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return done.load(); }));
    EXPECT_EQ(system.liveClients(), 0u);
}

// The network session: each configuration reads back as set, and its observers hear of the
// changes that change something, until they are removed.
TEST(NetworkSession, ConfigurationReadsBackAndIsAnnounced) {
    using Policy = midiio::MIDIIONetworkConnectionPolicy;
    namespace ms = midiservices;
    SimulatedSystem system;
    std::atomic<int> changes{0};
    const uint64_t token = ms::MIDINetworkSessionAddObserver([&] { ++changes; });
    EXPECT_FALSE(ms::MIDINetworkSessionIsEnabled());
    EXPECT_EQ(ms::MIDINetworkSessionGetConnectionPolicy(), 0u);

    struct Case {
        std::optional<Policy> policy;
        bool enabled;
        uint32_t rawPolicy;
        bool announced;
    };
    const Case cases[] = {
        {Policy::anyone, true, 2, true},
        {Policy::hostsInContactList, true, 1, true},
        {Policy::hostsInContactList, true, 1, false},
        {std::nullopt, false, 0, true},
        {Policy::noOne, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rawPolicy);
        const int before = changes.load();
        midiio::configureNetworkSession(c.policy);
        EXPECT_EQ(ms::MIDINetworkSessionIsEnabled(), c.enabled);
        EXPECT_EQ(ms::MIDINetworkSessionGetConnectionPolicy(), c.rawPolicy);
        EXPECT_EQ(midiio::networkConnectionPolicy(ms::MIDINetworkSessionGetConnectionPolicy()),
                  c.policy.value_or(Policy::noOne));
        ASSERT_TRUE(system.drain());
        EXPECT_EQ(changes.load() > before, c.announced);
    }
    ms::MIDINetworkSessionRemoveObserver(token);
    const int removed = changes.load();
    midiio::configureNetworkSession(Policy::anyone);
    ASSERT_TRUE(system.drain());
    EXPECT_EQ(changes.load(), removed);
}

}  // namespace
