// The manager's device and endpoint lists, its own endpoints, and its notification handling.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "dispatch/queue.hpp"
#include "io_bench.hpp"
#include "midi_io/endpoint_identity.hpp"
#include "midi_io/input.hpp"
#include "midi_io/input_connection.hpp"
#include "midi_io/manager.hpp"
#include "midi_io/output.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

namespace ms = midiservices;
using ms::testdriver::SimulatedSystem;

ms::MIDIDriverDeviceDescription keyboard(const std::string& name) {
    return {name, "", "", ms::MIDIProtocolID::midi1_0, {{"E", {"Keys"}, {"Synth"}}}};
}

// GCC 12 wrongly warns that the persistence's variant storage may be used uninitialized here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
[[gnu::noinline]] MIDIIdentifierPersistence adHocID() {
    return MIDIIdentifierPersistence::adHoc();
}
#pragma GCC diagnostic pop

TEST(ManagerLists, RefreshedOnStartAndOnChangesWithoutTheManagersOwn) {
    SimulatedSystem system;
    system.plug(keyboard("A"));
    const auto manager = MIDIManager::make("Lists", "M", "F");
    EXPECT_TRUE(manager->devices().devices().empty());
    EXPECT_TRUE(manager->endpoints().inputs().empty());
    std::vector<size_t> devicesSeenAtSignal;
    auto subscription = manager->objectWillChange().connect(
        [&] { devicesSeenAtSignal.push_back(manager->devices().devices().size()); });
    manager->start();
    EXPECT_EQ(devicesSeenAtSignal, std::vector<size_t>{0});  // before the refresh
    EXPECT_EQ(manager->devices().devices().size(), 1u);

    midiiotest::Inbox inbox(manager->eventQueue());
    const auto adHoc = adHocID();
    manager->addInput("Mine In", "in", adHoc, inbox.receiver());
    manager->addOutput("Mine Out", "out", adHoc);
    const auto input = manager->managedInputs().at("in");
    const auto output = manager->managedOutputs().at("out");
    // The virtual endpoints' additions reach the lists through the notifications.
    ASSERT_TRUE(system.drain());
    ASSERT_TRUE(manager->eventQueue()->sync([] { return true; }));
    const auto inputs = manager->endpoints().inputs();
    const auto unowned = manager->endpoints().inputsUnowned();
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[1].uniqueID, *input->uniqueID());
    EXPECT_EQ(unowned, std::vector{inputs[0]});
    EXPECT_EQ(manager->endpoints().outputsUnowned().size(), 1u);
    EXPECT_EQ(manager->endpoints().outputs().size(), 2u);
    EXPECT_GT(devicesSeenAtSignal.size(), 1u);

    // The owned filter judges by the unique IDs the services report for the manager's endpoints.
    const auto sources = getSystemSourceEndpoints();
    EXPECT_EQ(filterEndpoints(sources, MIDIEndpointFilter::ownedFilter(), manager.get(), true),
              std::vector{sources[0]});
    EXPECT_EQ(filterEndpoints(sources, MIDIEndpointFilter::ownedFilter(), manager.get(), false),
              std::vector{output->endpoint()});
    EXPECT_TRUE(manager->notificationCache().has_value());
}

TEST(ManagerLists, HandlerSeesEveryNotificationInArrivalOrderOnTheMainQueue) {
    SimulatedSystem system;
    // An independent observer of the same notifications: a plain client of the services.
    std::mutex mutex;
    std::vector<int32_t> observed;
    ms::MIDIClientRef observer = 0;
    ASSERT_EQ(
        ms::MIDIClientCreateWithBlock("observer", &observer,
                                      [&](const ms::MIDINotification& n) {
                                          std::lock_guard lock(mutex);
                                          observed.push_back(static_cast<int32_t>(n.messageID));
                                      }),
        ms::noErr);
    const auto manager = MIDIManager::make("Handler", "M", "F");
    std::vector<std::string> seen;
    std::vector<int32_t> seenIDs;
    manager->setNotificationHandler([&](const MIDIIONotification& n, MIDIManager& m) {
        EXPECT_TRUE(dispatch::MainQueue::isMainThread());
        EXPECT_EQ(&m, manager.get());
        seen.push_back(n.description());
        seenIDs.push_back(static_cast<int32_t>(n.notificationCase()) + 1);
    });
    manager->start();
    std::vector<ms::testdriver::SimulatedDevice> devices;
    for (int i = 0; i < 6; ++i) {
        devices.push_back(system.plug(keyboard("K" + std::to_string(i))));
        // Handled before the next change, so that the lists have seen each device.
        ASSERT_TRUE(midiiotest::settled(system, *manager));
        if (i % 2) system.unplug(devices[i - 1]);
    }
    system.postNotification(static_cast<ms::MIDINotificationMessageID>(8));
    ASSERT_TRUE(midiiotest::settled(system, *manager));
    dispatch::Queue::main()->drain();
    ms::MIDIClientDispose(observer);

    std::lock_guard lock(mutex);
    // Every notification is described (the removed ones from the cache), in the same order.
    EXPECT_EQ(seenIDs, observed);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "other(ID: 8)");
    const auto removedDevice = std::find_if(seen.begin(), seen.end(), [](const std::string& s) {
        return s.rfind("removed(MIDIDevice(name: \"K0\"", 0) == 0;
    });
    EXPECT_NE(removedDevice, seen.end());
}

TEST(ManagerLists, HotPlugStormIsFollowedByAnAllEndpointsConnection) {
    SimulatedSystem system;
    const auto manager = MIDIManager::make("Storm", "M", "F");
    std::mutex mutex;
    std::vector<std::string> handled;
    manager->setNotificationHandler([&](const MIDIIONotification& n, MIDIManager&) {
        std::lock_guard lock(mutex);
        handled.push_back(n.description());
    });
    manager->start();
    midiiotest::Inbox inbox(manager->eventQueue());
    manager->addOutput("Own", "own", adHocID());
    manager->addInputConnection(std::vector<MIDIEndpointIdentity>{}, "in",
                                MIDIConnectionMode::allEndpoints, MIDIEndpointFilter::ownedFilter(),
                                inbox.receiver());
    const auto connection = manager->managedInputConnections().at("in");

    // Lists, filters and sorting are read on another thread throughout.
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            const auto sources = manager->endpoints().outputsUnowned();
            (void)sortedByName(manager->devices().devices());
            (void)filterEndpoints(sources, MIDIEndpointFilter::ownedFilter(), manager.get(), true);
        }
    });
    std::vector<ms::testdriver::SimulatedDevice> live;
    for (int i = 0; i < 12; ++i) {
        live.push_back(system.plug(keyboard("S" + std::to_string(i))));
        if (i % 3 == 2) {
            system.unplug(live.front());
            live.erase(live.begin());
        }
    }
    // The first device comes back: its source is connected again.
    live.push_back(system.plug(keyboard("S0")));
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(midiiotest::settled(system, *manager));
    }
    done = true;
    reader.join();

    std::set<uint32_t> liveSources;
    for (const auto& d : live)
        liveSources.insert(d.source(0));
    const auto connected = connection->coreMIDIOutputEndpointRefs();
    EXPECT_EQ(std::set<uint32_t>(connected.begin(), connected.end()), liveSources);
    // Every source still there was added to the criteria (one gone before its notification was
    // handled could not be read, and only caused a reconnection).
    const auto criteria = connection->outputsCriteria();
    for (const auto& d : live)
        EXPECT_TRUE(criteria.count(
            MIDIEndpointIdentity::uniqueID(MIDIOutputEndpoint(d.source(0)).uniqueID)));
    ASSERT_EQ(system.play(live.back().source(0), {0x90, 0x40, 0x40}), ms::noErr);
    EXPECT_TRUE(inbox.waitForEvents(1));

    // The handler saw each change in the order it happened.
    dispatch::Queue::main()->drain();
    std::lock_guard lock(mutex);
    // Devices only (entities and endpoints come in between): three added, one removed, ..., and
    // the device that came back. Names may be empty: a device gone before its addition was
    // handled can no longer be read.
    std::string pattern;
    for (const auto& text : handled) {
        if (text.rfind("added(MIDIDevice(", 0) == 0) pattern += 'A';
        if (text.rfind("removed(MIDIDevice(", 0) == 0) pattern += 'R';
    }
    EXPECT_EQ(pattern, "AAARAAARAAARAAARA");
}

}  // namespace
}  // namespace midiio
