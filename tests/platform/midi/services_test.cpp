#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "midiservices/driver.hpp"
#include "midiservices/io.hpp"
#include "midiservices/services.hpp"
#include "midiservices/test_driver.hpp"
#include "wait_for.hpp"

using namespace midiservices;
using midiservices::testdriver::Call;
using midiservices::testdriver::SimulatedDevice;
using midiservices::testdriver::SimulatedSystem;

namespace {

MIDIDriverDeviceDescription keyboard(const std::string& name = "Keys") {
    return {name,
            "K-61",
            "Maker",
            MIDIProtocolID::midi1_0,
            {{"Port 1", {"Out 1"}, {"In 1"}}, {"Port 2", {"Out 2"}, {"In 2"}}}};
}

// One notification as a client saw it, with the thread it ran on.
struct Seen {
    MIDINotificationMessageID id;
    MIDIObjectRef parent = 0;
    MIDIObjectType parentType = MIDIObjectType::other;
    MIDIObjectRef child = 0;
    MIDIObjectType childType = MIDIObjectType::other;
    std::string property;
    std::thread::id thread;
};

// A client that records every notification it gets.
class Recorder {
  public:
    explicit Recorder(const char* name = "recorder") {
        EXPECT_EQ(MIDIClientCreateWithBlock(name, &client,
                                            [this](const MIDINotification& n) { record(n); }),
                  noErr);
    }
    ~Recorder() { MIDIClientDispose(client); }

    std::vector<Seen> seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

    MIDIClientRef client = 0;

  private:
    void record(const MIDINotification& n) {
        Seen s{n.messageID, 0, MIDIObjectType::other, 0, MIDIObjectType::other, {}, {}};
        s.thread = std::this_thread::get_id();
        if (auto* ar = MIDINotificationAs<MIDIObjectAddRemoveNotification>(n)) {
            s = {n.messageID, ar->parent, ar->parentType, ar->child, ar->childType, {}, s.thread};
        } else if (auto* pc = MIDINotificationAs<MIDIObjectPropertyChangeNotification>(n)) {
            s.child = pc->object;
            s.childType = pc->objectType;
            s.property = pc->propertyName;
        } else if (auto* io = MIDINotificationAs<MIDIIOErrorNotification>(n)) {
            s.child = io->driverDevice;
            s.parent = static_cast<MIDIObjectRef>(io->errorCode);
        }
        std::lock_guard lock(mutex_);
        seen_.push_back(s);
    }

    std::mutex mutex_;
    std::vector<Seen> seen_;
};

std::string stringProperty(MIDIObjectRef object, std::string_view key) {
    std::string value = "<unset>";
    MIDIObjectGetStringProperty(object, key, &value);
    return value;
}

int32_t uniqueID(MIDIObjectRef object) {
    int32_t id = 0;
    EXPECT_EQ(MIDIObjectGetIntegerProperty(object, kMIDIPropertyUniqueID, &id), noErr);
    return id;
}

TEST(MIDIServices, DeviceEnumeratesInIndexOrderAndNavigationRoundTrips) {
    SimulatedSystem system;
    Recorder recorder;
    auto device = system.plug(keyboard());
    MIDIEndpointRef virtualSource = 0;
    ASSERT_EQ(MIDISourceCreate(recorder.client, "Virtual Out", &virtualSource), noErr);

    ASSERT_EQ(MIDIGetNumberOfDevices(), 1u);
    EXPECT_EQ(MIDIGetDevice(0), device.device());
    ASSERT_EQ(MIDIDeviceGetNumberOfEntities(device.device()), 2u);
    const std::vector<MIDIEndpointRef> sources{device.source(0), device.source(1), virtualSource};
    const std::vector<MIDIEndpointRef> destinations{device.destination(0), device.destination(1)};
    ASSERT_EQ(MIDIGetNumberOfSources(), sources.size());
    ASSERT_EQ(MIDIGetNumberOfDestinations(), destinations.size());
    for (size_t i = 0; i < sources.size(); ++i)
        EXPECT_EQ(MIDIGetSource(i), sources[i]);
    for (size_t i = 0; i < destinations.size(); ++i) {
        EXPECT_EQ(MIDIGetDestination(i), destinations[i]);
    }
    for (size_t e = 0; e < 2; ++e) {
        const MIDIEntityRef entity = MIDIDeviceGetEntity(device.device(), e);
        EXPECT_EQ(entity, device.entity(e));
        ASSERT_EQ(MIDIEntityGetNumberOfSources(entity), 1u);
        ASSERT_EQ(MIDIEntityGetNumberOfDestinations(entity), 1u);
        for (MIDIEndpointRef endpoint :
             {MIDIEntityGetSource(entity, 0), MIDIEntityGetDestination(entity, 0)}) {
            MIDIEntityRef up = 0;
            MIDIDeviceRef top = 0;
            ASSERT_EQ(MIDIEndpointGetEntity(endpoint, &up), noErr);
            ASSERT_EQ(MIDIEntityGetDevice(up, &top), noErr);
            EXPECT_EQ(up, entity);
            EXPECT_EQ(top, device.device());
        }
    }
    EXPECT_EQ(stringProperty(device.source(1), kMIDIPropertyName), "Out 2");
    EXPECT_EQ(stringProperty(device.source(1), kMIDIPropertyDisplayName), "Keys Out 2");
    MIDIEntityRef none = 99;
    EXPECT_EQ(MIDIEndpointGetEntity(virtualSource, &none), noErr);
    EXPECT_EQ(none, 0u);

    // Unplugging leaves only the virtual source, and every reference of the device goes stale.
    ASSERT_EQ(system.unplug(device), noErr);
    EXPECT_EQ(MIDIGetNumberOfDevices(), 0u);
    EXPECT_EQ(MIDIGetNumberOfSources(), 1u);
    EXPECT_EQ(MIDIGetSource(0), virtualSource);
    EXPECT_EQ(MIDIDeviceGetNumberOfEntities(device.device()), 0u);
    EXPECT_EQ(MIDIEndpointGetEntity(device.source(0), &none), kMIDIUnknownEndpoint);
}

TEST(MIDIServices, BadReferencesIndexesAndKeysGetAStatusAndLeaveOutValuesAlone) {
    SimulatedSystem system;
    Recorder recorder;
    auto device = system.plug(keyboard());
    auto gone = system.plug(keyboard("Gone"));
    system.unplug(gone);
    const MIDIObjectRef stale = gone.source(0);
    MIDIEndpointRef virtualSource = 0;
    ASSERT_EQ(MIDISourceCreate(recorder.client, "V", &virtualSource), noErr);
    ASSERT_EQ(MIDIObjectSetIntegerProperty(device.device(), "custom", 5), noErr);

    struct Case {
        const char* what;
        MIDIObjectRef object;
        std::string key;
        OSStatus string, integer, dictionary;
    } cases[] = {
        {"reference 0", 0, "name", kMIDIObjectNotFound, kMIDIObjectNotFound, kMIDIObjectNotFound},
        {"stale", stale, "name", kMIDIObjectNotFound, kMIDIObjectNotFound, kMIDIObjectNotFound},
        {"a client", recorder.client, "name", kMIDIObjectNotFound, kMIDIObjectNotFound,
         kMIDIObjectNotFound},
        {"unknown key", device.device(), "nothing", kMIDIUnknownProperty, kMIDIUnknownProperty,
         kMIDIUnknownProperty},
        {"empty key", device.device(), "", paramErr, paramErr, paramErr},
        {"name", device.device(), "name", noErr, kMIDIWrongPropertyType, kMIDIWrongPropertyType},
        {"custom integer", device.device(), "custom", kMIDIWrongPropertyType, noErr,
         kMIDIWrongPropertyType},
        {"inherited custom", device.source(0), "custom", kMIDIWrongPropertyType, noErr,
         kMIDIWrongPropertyType},
        {"virtual has no device", virtualSource, "manufacturer", kMIDIUnknownProperty,
         kMIDIUnknownProperty, kMIDIUnknownProperty},
    };
    for (const auto& c : cases) {
        std::string text = "sentinel";
        int32_t number = -7;
        MIDIDictionary dictionary{{"k", MIDIPropertyList::integer(1)}};
        const auto original = dictionary;
        EXPECT_EQ(MIDIObjectGetStringProperty(c.object, c.key, &text), c.string) << c.what;
        EXPECT_EQ(MIDIObjectGetIntegerProperty(c.object, c.key, &number), c.integer) << c.what;
        EXPECT_EQ(MIDIObjectGetDictionaryProperty(c.object, c.key, &dictionary), c.dictionary)
            << c.what;
        if (c.string != noErr) {
            EXPECT_EQ(text, "sentinel") << c.what;
        }
        if (c.integer != noErr) {
            EXPECT_EQ(number, -7) << c.what;
        }
        EXPECT_EQ(dictionary, original) << c.what;
    }

    // Navigation: references that are not of the asked kind, stale ones, indexes past the end.
    MIDIEntityRef entity = 42;
    MIDIDeviceRef parent = 42;
    EXPECT_EQ(MIDIEndpointGetEntity(device.device(), &entity), kMIDIUnknownEndpoint);
    EXPECT_EQ(MIDIEntityGetDevice(device.source(0), &parent), kMIDIObjectNotFound);
    EXPECT_EQ(MIDIEntityGetDevice(0, &parent), kMIDIObjectNotFound);
    EXPECT_EQ(MIDIEndpointGetEntity(device.source(0), nullptr), paramErr);
    EXPECT_EQ(entity, 42u);
    EXPECT_EQ(parent, 42u);
    EXPECT_EQ(MIDIGetDevice(1), 0u);
    EXPECT_EQ(MIDIGetSource(3), 0u);
    EXPECT_EQ(MIDIGetDestination(size_t(-1)), 0u);
    EXPECT_EQ(MIDIDeviceGetEntity(device.device(), 2), 0u);
    EXPECT_EQ(MIDIDeviceGetEntity(device.source(0), 0), 0u);
    EXPECT_EQ(MIDIEntityGetSource(device.entity(0), 1), 0u);
    EXPECT_EQ(MIDIEntityGetNumberOfDestinations(stale), 0u);

    // Calls that change things.
    EXPECT_EQ(MIDIObjectSetStringProperty(stale, kMIDIPropertyName, "x"), kMIDIObjectNotFound);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(device.device(), kMIDIPropertyName, 1),
              kMIDIWrongPropertyType);
    EXPECT_EQ(MIDIObjectSetStringProperty(device.device(), "", "x"), paramErr);
    EXPECT_EQ(MIDIObjectRemoveProperty(device.device(), "nothing"), kMIDIUnknownProperty);
    EXPECT_EQ(MIDIObjectRemoveProperty(device.device(), kMIDIPropertyUniqueID), kMIDINotPermitted);
    EXPECT_EQ(MIDIEndpointDispose(device.source(0)), kMIDINotPermitted);
    EXPECT_EQ(MIDIEndpointDispose(stale), kMIDIUnknownEndpoint);
    EXPECT_EQ(MIDIClientDispose(0), kMIDIInvalidClient);
    MIDIEndpointRef out = 42;
    EXPECT_EQ(MIDISourceCreate(stale, "x", &out), kMIDIInvalidClient);
    EXPECT_EQ(MIDISourceCreateWithProtocol(recorder.client, "x", MIDIProtocolID(3), &out),
              paramErr);
    EXPECT_EQ(MIDIDestinationCreateWithBlock(recorder.client, "x", nullptr, {}), paramErr);
    EXPECT_EQ(out, 42u);
}

TEST(MIDIServices, PropertiesRoundTripInheritAndNotify) {
    SimulatedSystem system;
    Recorder recorder;
    auto device = system.plug(keyboard());
    system.drain();
    const MIDIEndpointRef source = device.source(0);

    ASSERT_EQ(MIDIObjectSetIntegerProperty(device.device(), kMIDIPropertyOffline, 1), noErr);
    ASSERT_EQ(MIDIObjectSetStringProperty(source, kMIDIPropertyName, "Renamed"), noErr);
    const MIDIDictionary config{{"banks", MIDIPropertyList::array({MIDIPropertyList::string("GM"),
                                                                   MIDIPropertyList::integer(2)})}};
    ASSERT_EQ(MIDIObjectSetDictionaryProperty(device.device(),
                                              kMIDIPropertyNameConfigurationDictionary, config),
              noErr);
    ASSERT_EQ(MIDIObjectRemoveProperty(device.device(), kMIDIPropertyModel), noErr);

    // The endpoint reads what it lacks from its device, except its name and unique ID.
    int32_t offline = 0;
    EXPECT_EQ(MIDIObjectGetIntegerProperty(source, kMIDIPropertyOffline, &offline), noErr);
    EXPECT_EQ(offline, 1);
    EXPECT_EQ(stringProperty(source, kMIDIPropertyManufacturer), "Maker");
    EXPECT_EQ(stringProperty(source, kMIDIPropertyName), "Renamed");
    EXPECT_EQ(stringProperty(source, kMIDIPropertyModel), "<unset>");
    MIDIDictionary read;
    EXPECT_EQ(
        MIDIObjectGetDictionaryProperty(source, kMIDIPropertyNameConfigurationDictionary, &read),
        noErr);
    EXPECT_EQ(read, config);
    EXPECT_NE(uniqueID(source), uniqueID(device.device()));

    system.drain();
    std::vector<std::pair<MIDIObjectRef, std::string>> changes;
    for (const auto& s : recorder.seen()) {
        if (s.id == MIDINotificationMessageID::propertyChanged) {
            changes.emplace_back(s.child, s.property);
        }
    }
    const std::vector<std::pair<MIDIObjectRef, std::string>> expected{
        {device.device(), "isOffline"},
        {source, "name"},
        {device.device(), "nameConfigurationDictionary"},
        {device.device(), "model"}};
    EXPECT_EQ(changes, expected);
}

TEST(MIDIServices, UniqueIDsAreNonZeroUniqueAndGuarded) {
    SimulatedSystem system;
    Recorder recorder;
    std::vector<SimulatedDevice> devices;
    for (int i = 0; i < 3; ++i)
        devices.push_back(system.plug(keyboard()));

    // Concurrent creation from several threads.
    constexpr int threads = 4, perThread = 50;
    std::vector<std::vector<MIDIEndpointRef>> created(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                MIDIEndpointRef ref = 0;
                EXPECT_EQ(i % 2 ? MIDISourceCreate(recorder.client, "s", &ref)
                                : MIDIDestinationCreateWithBlock(recorder.client, "d", &ref, {}),
                          noErr);
                created[t].push_back(ref);
            }
        });
    }
    for (auto& w : workers)
        w.join();

    std::vector<MIDIObjectRef> objects;
    for (const auto& list : created)
        objects.insert(objects.end(), list.begin(), list.end());
    for (const auto& d : devices) {
        objects.push_back(d.device());
        for (size_t e = 0; e < 2; ++e) {
            for (MIDIObjectRef r : {d.entity(e), d.source(e), d.destination(e)})
                objects.push_back(r);
        }
    }
    std::set<int32_t> ids;
    for (MIDIObjectRef object : objects) {
        const int32_t id = uniqueID(object);
        EXPECT_NE(id, 0);
        ids.insert(id);
        MIDIObjectRef found = 0;
        EXPECT_EQ(MIDIObjectFindByUniqueID(id, &found, nullptr), noErr);
        EXPECT_EQ(found, object);
    }
    EXPECT_EQ(ids.size(), objects.size());
    const auto counts = system.liveObjects(recorder.client);
    EXPECT_EQ(counts.virtualSources, size_t(threads * perThread / 2));
    EXPECT_EQ(counts.virtualDestinations, size_t(threads * perThread / 2));

    // A taken ID is refused and the old one stays; a free one moves the index with it.
    const MIDIEndpointRef a = created[0][0], b = created[0][1];
    const int32_t idA = uniqueID(a), idB = uniqueID(b);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(a, kMIDIPropertyUniqueID, idB), kMIDIIDNotUnique);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(a, kMIDIPropertyUniqueID, 0), paramErr);
    EXPECT_EQ(uniqueID(a), idA);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(a, kMIDIPropertyUniqueID, idA), noErr);
    int32_t freeID = 12345;
    while (ids.contains(freeID))
        ++freeID;
    ASSERT_EQ(MIDIObjectSetIntegerProperty(a, kMIDIPropertyUniqueID, freeID), noErr);
    MIDIObjectRef found = 0;
    MIDIObjectType type = MIDIObjectType::other;
    EXPECT_EQ(MIDIObjectFindByUniqueID(freeID, &found, &type), noErr);
    EXPECT_EQ(found, a);
    EXPECT_EQ(type, MIDIObjectType::destination);
    found = 7;
    EXPECT_EQ(MIDIObjectFindByUniqueID(idA, &found, nullptr), kMIDIObjectNotFound);
    EXPECT_EQ(found, 7u);
    // A disposed endpoint frees its ID.
    ASSERT_EQ(MIDIEndpointDispose(a), noErr);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(b, kMIDIPropertyUniqueID, freeID), noErr);
}

TEST(MIDIServices, HotPlugRenameAndUnplugNotifyInOrderOnTheNotificationThread) {
    SimulatedSystem system;
    Recorder first("first"), second("second");
    auto device = system.plug(keyboard());
    ASSERT_EQ(MIDIObjectSetStringProperty(device.device(), kMIDIPropertyName, "New"), noErr);
    ASSERT_EQ(MIDIDriverReportIOError(device.device(), kMIDIMsgIOError), noErr);
    system.postNotification(MIDINotificationMessageID(8));
    ASSERT_EQ(system.unplug(device), noErr);
    ASSERT_TRUE(system.drain());

    using ID = MIDINotificationMessageID;
    using T = MIDIObjectType;
    const MIDIDeviceRef d = device.device();
    const MIDIEntityRef e0 = device.entity(0), e1 = device.entity(1);
    const std::vector<std::tuple<ID, MIDIObjectRef, T, MIDIObjectRef, T, std::string>> expected{
        {ID::objectAdded, 0, T::other, d, T::device, ""},
        {ID::objectAdded, d, T::device, e0, T::entity, ""},
        {ID::objectAdded, d, T::device, e1, T::entity, ""},
        {ID::objectAdded, e0, T::entity, device.source(0), T::source, ""},
        {ID::objectAdded, e0, T::entity, device.destination(0), T::destination, ""},
        {ID::objectAdded, e1, T::entity, device.source(1), T::source, ""},
        {ID::objectAdded, e1, T::entity, device.destination(1), T::destination, ""},
        {ID::setupChanged, 0, T::other, 0, T::other, ""},
        {ID::propertyChanged, 0, T::other, d, T::device, "name"},
        {ID::ioError, MIDIObjectRef(kMIDIMsgIOError), T::other, d, T::other, ""},
        {ID(8), 0, T::other, 0, T::other, ""},
        {ID::objectRemoved, e0, T::entity, device.source(0), T::source, ""},
        {ID::objectRemoved, e0, T::entity, device.destination(0), T::destination, ""},
        {ID::objectRemoved, e1, T::entity, device.source(1), T::source, ""},
        {ID::objectRemoved, e1, T::entity, device.destination(1), T::destination, ""},
        {ID::objectRemoved, d, T::device, e0, T::entity, ""},
        {ID::objectRemoved, d, T::device, e1, T::entity, ""},
        {ID::objectRemoved, 0, T::other, d, T::device, ""},
        {ID::setupChanged, 0, T::other, 0, T::other, ""},
    };
    for (Recorder* recorder : {&first, &second}) {
        const auto seen = recorder->seen();
        ASSERT_EQ(seen.size(), expected.size());
        for (size_t i = 0; i < seen.size(); ++i) {
            const auto& s = seen[i];
            EXPECT_EQ(
                std::make_tuple(s.id, s.parent, s.parentType, s.child, s.childType, s.property),
                expected[i])
                << "notification " << i;
            EXPECT_NE(s.thread, std::this_thread::get_id());
            EXPECT_EQ(s.thread, seen[0].thread);
        }
    }
}

TEST(MIDIServices, InjectedStatusFailsTheCallAndLeavesNothingBehind) {
    SimulatedSystem system;
    system.injectStatus(Call::clientCreate, kMIDIServerStartErr);
    MIDIClientRef client = 77;
    std::atomic<int> calls{0};
    EXPECT_EQ(MIDIClientCreateWithBlock("c", &client, [&](const MIDINotification&) { ++calls; }),
              kMIDIServerStartErr);
    EXPECT_EQ(client, 77u);
    EXPECT_EQ(system.liveClients(), 0u);
    system.plug(keyboard());
    system.drain();
    EXPECT_EQ(calls, 0);

    // Only the next call fails; a count covers that many calls.
    ASSERT_EQ(MIDIClientCreateWithBlock("c", &client, {}), noErr);
    EXPECT_EQ(system.liveClients(), 1u);
    system.injectStatus(Call::objectGetIntegerProperty, kMIDIUnknownError, 2);
    int32_t value = 5;
    EXPECT_EQ(MIDIObjectGetIntegerProperty(MIDIGetDevice(0), kMIDIPropertyUniqueID, &value),
              kMIDIUnknownError);
    EXPECT_EQ(MIDIObjectGetIntegerProperty(MIDIGetDevice(0), kMIDIPropertyUniqueID, &value),
              kMIDIUnknownError);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(MIDIObjectGetIntegerProperty(MIDIGetDevice(0), kMIDIPropertyUniqueID, &value), noErr);
    system.injectStatus(Call::sourceCreate, kMIDINotPermitted);
    MIDIEndpointRef source = 0;
    EXPECT_EQ(MIDISourceCreateWithProtocol(client, "s", MIDIProtocolID::midi2_0, &source),
              kMIDINotPermitted);
    EXPECT_EQ(system.liveObjects(client).total(), 0u);
    EXPECT_EQ(MIDIClientDispose(client), noErr);
    EXPECT_EQ(system.liveClients(), 0u);
}

TEST(MIDIServices, ReportedOperatingSystemGatesTheProtocolForms) {
    SimulatedSystem system;
    EXPECT_EQ(MIDIServicesOperatingSystemVersion(), SimulatedSystem::newestOperatingSystemVersion);
    MIDIClientRef client = 0;
    ASSERT_EQ(MIDIClientCreateWithBlock("c", &client, {}), noErr);
    struct Case {
        OperatingSystemVersion version;
        OSStatus withProtocol;
    } cases[] = {{{10, 15, 7}, kMIDINotPermitted}, {{11, 0, 0}, noErr}, {{13, 1, 0}, noErr}};
    for (const auto& c : cases) {
        system.setOperatingSystemVersion(c.version);
        EXPECT_EQ(MIDIServicesOperatingSystemVersion(), c.version);
        MIDIEndpointRef ref = 0;
        EXPECT_EQ(MIDIDestinationCreateWithProtocol(client, "d", MIDIProtocolID::midi2_0, &ref, {}),
                  c.withProtocol);
        EXPECT_EQ(MIDISourceCreate(client, "s", &ref), noErr);
        int32_t protocol = 0;
        EXPECT_EQ(MIDIObjectGetIntegerProperty(ref, kMIDIPropertyProtocolID, &protocol), noErr);
        EXPECT_EQ(protocol, 1);
    }
}

TEST(MIDIServices, DisposingAClientRemovesItsEndpointsAndStopsItsBlock) {
    SimulatedSystem system;
    Recorder observer;
    std::atomic<bool> inBlock{false};
    std::atomic<int> afterDispose{0};
    std::atomic<bool> disposed{false};
    MIDIClientRef client = 0;
    ASSERT_EQ(
        MIDIClientCreateWithBlock("slow", &client,
                                  [&](const MIDINotification&) {
                                      if (disposed) ++afterDispose;
                                      inBlock = true;
                                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                      inBlock = false;
                                  }),
        noErr);
    MIDIEndpointRef source = 0, destination = 0;
    ASSERT_EQ(MIDISourceCreate(client, "s", &source), noErr);
    ASSERT_EQ(MIDIDestinationCreateWithBlock(client, "d", &destination, {}), noErr);
    EXPECT_EQ(MIDIGetNumberOfSources(), 1u);

    // Dispose while the block is running on the notification thread: the call waits for it.
    ASSERT_TRUE(testsupport::waitFor([&] { return inBlock.load(); }));
    ASSERT_EQ(MIDIClientDispose(client), noErr);
    disposed = true;
    EXPECT_FALSE(inBlock);
    system.plug(keyboard());
    system.drain();
    EXPECT_EQ(afterDispose, 0);
    EXPECT_EQ(MIDIClientDispose(client), kMIDIInvalidClient);
    EXPECT_EQ(system.liveObjects(client).total(), 0u);
    EXPECT_EQ(MIDIGetNumberOfSources(), 2u);  // the device's
    std::string name;
    EXPECT_EQ(MIDIObjectGetStringProperty(source, kMIDIPropertyName, &name), kMIDIObjectNotFound);

    // The other client saw the endpoints go.
    int removed = 0;
    for (const auto& s : observer.seen()) {
        if (s.id == MIDINotificationMessageID::objectRemoved &&
            (s.child == source || s.child == destination)) {
            ++removed;
        }
    }
    EXPECT_EQ(removed, 2);
}

TEST(MIDIServices, ADisposeFromItsOwnBlockEndsLaterCalls) {
    SimulatedSystem system;
    std::atomic<int> calls{0};
    MIDIClientRef client = 0;
    ASSERT_EQ(MIDIClientCreateWithBlock("self", &client,
                                        [&](const MIDINotification&) {
                                            ++calls;
                                            MIDIClientDispose(client);
                                        }),
              noErr);
    system.plug(keyboard());  // eight notifications in one batch
    system.drain();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(system.liveClients(), 0u);
}

size_t threadCount() {
    return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                std::filesystem::directory_iterator()));
}

TEST(MIDIServices, NoBlockRunsOnceTheServicesAreGone) {
    // A sanitizer runtime may start a helper thread of its own at the first thread start; let it
    // do so before counting.
    std::thread([] {}).join();
    const size_t threadsBefore = threadCount();
    std::atomic<bool> inBlock{false};
    std::atomic<bool> gone{false};
    std::atomic<int> afterGone{0};
    {
        SimulatedSystem system;
        MIDIClientRef client = 0;
        ASSERT_EQ(MIDIClientCreateWithBlock("c", &client,
                                            [&](const MIDINotification&) {
                                                if (gone) ++afterGone;
                                                inBlock = true;
                                                std::this_thread::sleep_for(
                                                    std::chrono::milliseconds(20));
                                                inBlock = false;
                                            }),
                  noErr);
        for (int i = 0; i < 10; ++i)
            system.plug(keyboard());
        ASSERT_TRUE(testsupport::waitFor([&] { return inBlock.load(); }));
    }
    // The end of the services waited for the running block, skipped the queued ones and let the
    // services' threads end.
    gone = true;
    EXPECT_FALSE(inBlock);
    EXPECT_TRUE(testsupport::waitFor([&] { return threadCount() <= threadsBefore; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(afterGone, 0);
}

TEST(MIDIServices, ConcurrentHotPlugAndEnumerationStayConsistent) {
    SimulatedSystem system;
    std::atomic<int> notifications{0};
    MIDIClientRef client = 0;
    ASSERT_EQ(
        MIDIClientCreateWithBlock("watch", &client,
                                  [&](const MIDINotification& n) {
                                      ++notifications;
                                      // Blocks may call back into the services.
                                      if (n.messageID == MIDINotificationMessageID::setupChanged) {
                                          MIDIGetNumberOfSources();
                                      }
                                  }),
        noErr);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int p = 0; p < 2; ++p) {
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                MIDIDriverDevice refs;
                ASSERT_EQ(MIDIDriverAddDevice(keyboard(), &refs), noErr);
                MIDIObjectSetStringProperty(refs.device, kMIDIPropertyName, "renamed");
                ASSERT_EQ(MIDIDriverRemoveDevice(refs.device), noErr);
            }
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!stop) {
                for (ItemCount i = 0, n = MIDIGetNumberOfSources(); i < n; ++i) {
                    const MIDIEndpointRef source = MIDIGetSource(i);
                    MIDIEntityRef entity = 0;
                    MIDIDeviceRef device = 0;
                    std::string name;
                    // Any of these may meet an object that has just gone; none may crash.
                    if (MIDIEndpointGetEntity(source, &entity) == noErr &&
                        MIDIEntityGetDevice(entity, &device) == noErr) {
                        MIDIObjectGetStringProperty(device, kMIDIPropertyName, &name);
                    }
                    MIDIObjectGetStringProperty(source, kMIDIPropertyDisplayName, &name);
                }
            }
        });
    }
    for (size_t i = 0; i < 2; ++i)
        threads[i].join();
    stop = true;
    for (size_t i = 2; i < threads.size(); ++i)
        threads[i].join();
    system.drain();
    EXPECT_EQ(MIDIGetNumberOfDevices(), 0u);
    EXPECT_EQ(MIDIGetNumberOfSources(), 0u);
    // Each plug notifies 8 times and a rename once; each unplug 8 times.
    EXPECT_EQ(notifications, 2 * 40 * 17);
    EXPECT_EQ(MIDIClientDispose(client), noErr);
}

}  // namespace

// A driver's own unique IDs are used where free: an ID asked for twice (within one device or by a
// second device) and 0 get fresh ones, and lists shorter than the description leave the rest fresh.
TEST(MIDIServices, DriverUniqueIDsAreUsedWhereFree) {
    SimulatedSystem system;
    const MIDIDriverUniqueIDs ids{
        .device = 1001, .entities = {{.entity = 1002, .sources = {1003}, .destinations = {1003}}}};
    struct Case {
        std::vector<MIDIUniqueID> asked;  // device, entity 1, source 1, destination 1
        std::vector<bool> granted;
    };
    const Case cases[] = {
        {{1001, 1002, 1003, 1003}, {true, true, true, false}},
        {{1001, 1002, 1003, 1003}, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        MIDIDriverDevice refs;
        ASSERT_EQ(MIDIDriverAddDevice(keyboard(), ids, &refs), noErr);
        const MIDIObjectRef objects[] = {refs.device, refs.entities[0].entity,
                                         refs.entities[0].sources[0],
                                         refs.entities[0].destinations[0]};
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_NE(uniqueID(objects[i]), 0);
            EXPECT_EQ(uniqueID(objects[i]) == c.asked[i], c.granted[i]) << i;
        }
        // The second entity asked for nothing.
        EXPECT_NE(uniqueID(refs.entities[1].entity), 0);
    }
}
