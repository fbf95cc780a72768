#include <gtest/gtest.h>

#include "midi_io/endpoint_lists.hpp"
#include "midi_io/notifications.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

namespace ms = midiservices;
using N = MIDIIONotification;
using ID = ms::MIDINotificationMessageID;

ms::MIDIObjectAddRemoveNotification addRemove(
    ID id, uint32_t child, ms::MIDIObjectType type, uint32_t parent = 0,
    ms::MIDIObjectType parentType = ms::MIDIObjectType::other) {
    ms::MIDIObjectAddRemoveNotification n;
    n.messageID = id;
    n.messageSize = sizeof n;
    n.parent = parent;
    n.parentType = parentType;
    n.child = child;
    n.childType = type;
    return n;
}

ms::MIDINotification plain(int32_t id) {
    return {static_cast<ID>(id), sizeof(ms::MIDINotification)};
}

TEST(Notifications, DecodeEveryMessageID) {
    ms::testdriver::SimulatedSystem system;
    const auto d = system.plug({"Dev", "", "", ms::MIDIProtocolID::midi1_0, {{"E", {"S"}, {}}}});
    ms::MIDIObjectPropertyChangeNotification property;
    property.messageID = ID::propertyChanged;
    property.messageSize = sizeof property;
    property.object = d.source(0);
    property.objectType = ms::MIDIObjectType::source;
    property.propertyName = std::string(ms::kMIDIPropertyModel);
    ms::MIDIIOErrorNotification ioError;
    ioError.messageID = ID::ioError;
    ioError.messageSize = sizeof ioError;
    ioError.driverDevice = d.device();
    ioError.errorCode = ms::kMIDIMsgIOError;
    auto unknownKey = property;
    unknownKey.propertyName = "myOwnKey";

    const auto source = MIDIOutputEndpoint(d.source(0)).asAnyMIDIIOObject();
    const auto entity = MIDIEntity(d.entity(0)).asAnyMIDIIOObject();
    const auto device = MIDIDevice(d.device());
    struct Row {
        const ms::MIDINotification* record;
        std::optional<N> expected;
        std::string text;
    };
    const auto added = addRemove(ID::objectAdded, d.source(0), ms::MIDIObjectType::source,
                                 d.entity(0), ms::MIDIObjectType::entity);
    const auto removedNoParent =
        addRemove(ID::objectRemoved, d.device(), ms::MIDIObjectType::device);
    const auto childZero = addRemove(ID::objectAdded, 0, ms::MIDIObjectType::source);
    const auto badType = addRemove(ID::objectAdded, d.device(), static_cast<ms::MIDIObjectType>(5));
    const auto setup = plain(1), thru = plain(5), serial = plain(6), eight = plain(8);
    const auto sourceText = source.description();
    const auto entityText = entity.description();
    const Row rows[] = {
        {&setup, N::setupChanged(), "setupChanged"},
        {&added, N::added(source, entity), "added(" + sourceText + ", parent: " + entityText + ")"},
        {&removedNoParent, N::removed(device, std::nullopt),
         "removed(" + device.debugDescription() + ")"},
        {&property, N::propertyChanged(MIDIIOObjectProperty::model, source),
         "propertyChanged(" + sourceText + ", for: model)"},
        {&thru, N::thruConnectionChanged(), "thruConnectionChanged"},
        {&serial, N::serialPortOwnerChanged(), "serialPortOwnerChanged"},
        {&ioError, N::ioError(device, midicore::MIDIIOError::fromOSStatus(ms::kMIDIMsgIOError)),
         "ioError(device: " + device.debugDescription() + ", error: " +
             midicore::MIDIOSStatus(midicore::MIDIOSStatus::Case::ioError).description() + ")"},
        {&eight, N::other(8), "other(ID: 8)"},
        {&unknownKey, std::nullopt, ""},
        {&childZero, std::nullopt, ""},
        {&badType, std::nullopt, ""},
    };
    for (const auto& row : rows) {
        const auto raw = MIDIIORawNotification::decode(*row.record);
        const auto notification = N::from(raw, nullptr);
        ASSERT_EQ(notification.has_value(), row.expected.has_value()) << row.text;
        if (!notification) continue;
        EXPECT_EQ(*notification, *row.expected) << row.text;
        EXPECT_EQ(notification->hash(), row.expected->hash()) << row.text;
        EXPECT_EQ(notification->description(), row.text);
    }
    EXPECT_NE(N::added(source, entity), N::added(source, std::nullopt));
    EXPECT_NE(N::other(8), N::other(9));
    // A record whose size does not fit its message ID is not trusted.
    auto shortRecord = added;
    shortRecord.messageSize = sizeof(ms::MIDINotification);
    EXPECT_EQ(MIDIIORawNotification::decode(shortRecord).notificationCase(),
              MIDIIORawNotification::Case::other);
    EXPECT_EQ(networkConnectionPolicy(2), MIDIIONetworkConnectionPolicy::anyone);
    EXPECT_EQ(networkConnectionPolicy(5), std::nullopt);
}

// The lists and the cache of a manager, driven by hand-made notifications.
struct ListsUnderTest {
    MIDIDevices devices;
    MIDIEndpoints endpoints;
    std::optional<MIDIIOObjectCache> cache;
    int refreshes = 0;

    std::optional<N> handle(const ms::MIDINotification& record) {
        return handleNotificationForLists(MIDIIORawNotification::decode(record), devices, endpoints,
                                          cache, [this] {
                                              ++refreshes;
                                              devices.refresh();
                                              endpoints.refresh();
                                          });
    }
    std::optional<N> removedDevice(uint32_t ref) {
        return handle(addRemove(ID::objectRemoved, ref, ms::MIDIObjectType::device));
    }
};

TEST(Notifications, RemovedObjectsAreDescribedFromTheEarlierSnapshot) {
    ms::testdriver::SimulatedSystem system;
    const ms::MIDIDriverDeviceDescription description{
        "Dev", "", "", ms::MIDIProtocolID::midi1_0, {{"E", {"S"}, {}}}};
    const auto nameOfRemoved = [](const std::optional<N>& n) {
        EXPECT_TRUE(n.has_value());
        return n ? n->object()->name() : std::string("<none>");
    };

    // The first notification is a removal: nothing cached, read from the services.
    {
        ListsUnderTest lists;
        const auto d = system.plug(description);
        system.unplug(d);
        const auto n = lists.removedDevice(d.device());
        EXPECT_EQ(nameOfRemoved(n), "");
        EXPECT_EQ(n->object()->uniqueID(), 0);
        EXPECT_FALSE(lists.cache.has_value());
        EXPECT_EQ(lists.refreshes, 1);
    }
    // Added, setup changed, removed: the removal finds the device in the snapshot. A second
    // removal uses the same snapshot.
    {
        ListsUnderTest lists;
        const auto d = system.plug(description);
        const int32_t id = MIDIDevice(d.device()).uniqueID;
        lists.handle(addRemove(ID::objectAdded, d.device(), ms::MIDIObjectType::device));
        lists.handle(plain(1));
        system.unplug(d);
        const auto first = lists.removedDevice(d.device());
        EXPECT_EQ(nameOfRemoved(first), "Dev");
        EXPECT_EQ(first->object()->uniqueID(), id);
        const auto second = lists.handle(
            addRemove(ID::objectRemoved, d.source(0), ms::MIDIObjectType::externalSource));
        EXPECT_EQ(nameOfRemoved(second), "S");
        EXPECT_EQ(lists.cache->devices.size(), 1u);
        EXPECT_EQ(lists.refreshes, 4);
        EXPECT_TRUE(lists.devices.devices().empty());
    }
    // Added then removed with nothing between: the snapshot predates the addition.
    {
        ListsUnderTest lists;
        const auto d = system.plug(description);
        const auto added =
            lists.handle(addRemove(ID::objectAdded, d.device(), ms::MIDIObjectType::device));
        EXPECT_EQ(nameOfRemoved(added), "Dev");
        system.unplug(d);
        EXPECT_EQ(nameOfRemoved(lists.removedDevice(d.device())), "");
    }
    // Notifications without a list change refresh nothing but still take a snapshot.
    {
        ListsUnderTest lists;
        lists.handle(plain(5));
        lists.handle(plain(42));
        EXPECT_EQ(lists.refreshes, 0);
        EXPECT_TRUE(lists.cache.has_value());
    }
}

}  // namespace
}  // namespace midiio
