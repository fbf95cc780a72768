// The MIDI services: clients, the object model of devices, entities and endpoints, object
// properties and setup notifications.
//
// A C-style interface. Objects are named by opaque 32-bit references (never 0, never reused within
// the process, so a stale reference is refused rather than confused with a newer object); calls
// that can fail return an OSStatus (status.hpp) and leave their out-parameters untouched unless
// they return noErr. Every call may be made from any thread.
//
// Object model. A device holds entities; an entity holds sources (endpoints the program receives
// from) and destinations (endpoints the program sends to). Clients may publish virtual sources and
// destinations of their own; these belong to no entity. The system lists hold the endpoints of
// every device, in device, entity and index order, followed by the virtual endpoints of every
// client in creation order. Devices, entities and endpoints carry properties (properties.hpp);
// every one of them has a unique ID (kMIDIPropertyUniqueID), non-zero and unique among all live
// objects.
//
// Notifications. A client's notification block runs on the services' notification thread, never on
// the thread that made the change and never while the services hold a lock of their own; the
// blocks of all clients run one at a time, in the order of the changes. After MIDIClientDispose
// returns, or once the services themselves are gone, no block of that client runs again (called
// from a block on a services thread, it does not wait for a block running on the other one).
//
// Which services answer. The calls go to the process's current services: the in-process services
// created on first use, or the ones a test or a driver installed (test_driver.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "midiservices/packets.hpp"
#include "midiservices/properties.hpp"
#include "midiservices/status.hpp"

namespace midiservices {

using MIDIObjectRef = uint32_t;
using MIDIClientRef = MIDIObjectRef;
using MIDIPortRef = MIDIObjectRef;
using MIDIDeviceRef = MIDIObjectRef;
using MIDIEntityRef = MIDIObjectRef;
using MIDIEndpointRef = MIDIObjectRef;
using MIDIThruConnectionRef = MIDIObjectRef;
using MIDIUniqueID = int32_t;
using ItemCount = size_t;

// The kind of an object, as notifications report it. The external kinds are the plain kinds with
// kMIDIObjectTypeExternalMask set.
enum class MIDIObjectType : int32_t {
    other = -1,
    device = 0,
    entity = 1,
    source = 2,
    destination = 3,
    externalDevice = 0x10,
    externalEntity = 0x11,
    externalSource = 0x12,
    externalDestination = 0x13,
};
inline constexpr int32_t kMIDIObjectTypeExternalMask = 0x10;

// The operating-system version the services report. Callers that choose between interfaces by
// version read it here.
struct OperatingSystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    friend auto operator<=>(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};
OperatingSystemVersion MIDIServicesOperatingSystemVersion();

// ---- Notifications ----

// What a notification reports. Other values may appear.
enum class MIDINotificationMessageID : int32_t {
    setupChanged = 1,
    objectAdded = 2,
    objectRemoved = 3,
    propertyChanged = 4,
    thruConnectionsChanged = 5,
    serialPortOwnerChanged = 6,
    ioError = 7,
};

// The common head of every notification. A notification with a payload is one of the records
// below; MIDINotificationAs gives access to it after checking the message ID and the size.
struct MIDINotification {
    MIDINotificationMessageID messageID;
    uint32_t messageSize = sizeof(MIDINotification);
};

// objectAdded and objectRemoved: the object (child) and the object it was added to or removed from
// (parent). A device or a virtual endpoint has no parent: parent 0 and type `other`.
struct MIDIObjectAddRemoveNotification : MIDINotification {
    MIDIObjectRef parent = 0;
    MIDIObjectType parentType = MIDIObjectType::other;
    MIDIObjectRef child = 0;
    MIDIObjectType childType = MIDIObjectType::other;
};

// propertyChanged: a property of the object was set or removed.
struct MIDIObjectPropertyChangeNotification : MIDINotification {
    MIDIObjectRef object = 0;
    MIDIObjectType objectType = MIDIObjectType::other;
    std::string propertyName;
};

// ioError: the driver of a device reported a failure.
struct MIDIIOErrorNotification : MIDINotification {
    MIDIDeviceRef driverDevice = 0;
    OSStatus errorCode = noErr;
};

// The notification as the record of type T, or null when it is not one.
template <class T>
const T* MIDINotificationAs(const MIDINotification& notification) {
    constexpr bool addRemove = std::is_same_v<T, MIDIObjectAddRemoveNotification>;
    constexpr bool property = std::is_same_v<T, MIDIObjectPropertyChangeNotification>;
    static_assert(addRemove || property || std::is_same_v<T, MIDIIOErrorNotification>);
    const auto id = notification.messageID;
    const bool idFits = addRemove  ? (id == MIDINotificationMessageID::objectAdded ||
                                     id == MIDINotificationMessageID::objectRemoved)
                        : property ? id == MIDINotificationMessageID::propertyChanged
                                   : id == MIDINotificationMessageID::ioError;
    if (!idFits || notification.messageSize != sizeof(T)) return nullptr;
    return static_cast<const T*>(&notification);
}

using MIDINotifyBlock = std::function<void(const MIDINotification& notification)>;

// Receive blocks of virtual destinations and input ports: a packet list or an event list, valid
// only during the call, and the reference value given when the source was connected (null for data
// sent straight to a virtual destination).
using MIDIReadBlock = std::function<void(const MIDIPacketList* list, void* srcConnRefCon)>;
using MIDIReceiveBlock = std::function<void(const MIDIEventList* list, void* srcConnRefCon)>;

// ---- Clients ----

// Creates a client named `name` whose notifications go to `notifyBlock` (which may be empty).
OSStatus MIDIClientCreateWithBlock(std::string_view name, MIDIClientRef* outClient,
                                   MIDINotifyBlock notifyBlock);
// Disposes a client together with every port and virtual endpoint it created. After it returns the
// client's notification block does not run again (when called from that block, no later call
// starts).
OSStatus MIDIClientDispose(MIDIClientRef client);

// ---- Virtual endpoints ----

// A virtual source of the client: what the client publishes on it reaches the ports connected to
// it. The WithProtocol form states the protocol the client speaks (kMIDIPropertyProtocolID); the
// plain form speaks MIDI 1.0.
OSStatus MIDISourceCreate(MIDIClientRef client, std::string_view name, MIDIEndpointRef* outSource);
OSStatus MIDISourceCreateWithProtocol(MIDIClientRef client, std::string_view name,
                                      MIDIProtocolID protocol, MIDIEndpointRef* outSource);
// A virtual destination of the client: what is sent to it reaches the block, as packet lists
// (MIDI 1.0) or as event lists in the given protocol.
OSStatus MIDIDestinationCreateWithBlock(MIDIClientRef client, std::string_view name,
                                        MIDIEndpointRef* outDestination, MIDIReadBlock readBlock);
OSStatus MIDIDestinationCreateWithProtocol(MIDIClientRef client, std::string_view name,
                                           MIDIProtocolID protocol, MIDIEndpointRef* outDestination,
                                           MIDIReceiveBlock receiveBlock);
// Disposes a virtual endpoint. Endpoints of devices belong to their driver: kMIDINotPermitted.
OSStatus MIDIEndpointDispose(MIDIEndpointRef endpoint);

// ---- Enumeration and navigation ----
// The index getters give 0 (no object) for an index past the count or an invalid parent.

ItemCount MIDIGetNumberOfDevices();
MIDIDeviceRef MIDIGetDevice(ItemCount index);
ItemCount MIDIDeviceGetNumberOfEntities(MIDIDeviceRef device);
MIDIEntityRef MIDIDeviceGetEntity(MIDIDeviceRef device, ItemCount index);
ItemCount MIDIEntityGetNumberOfSources(MIDIEntityRef entity);
MIDIEndpointRef MIDIEntityGetSource(MIDIEntityRef entity, ItemCount index);
ItemCount MIDIEntityGetNumberOfDestinations(MIDIEntityRef entity);
MIDIEndpointRef MIDIEntityGetDestination(MIDIEntityRef entity, ItemCount index);
ItemCount MIDIGetNumberOfSources();
MIDIEndpointRef MIDIGetSource(ItemCount index);
ItemCount MIDIGetNumberOfDestinations();
MIDIEndpointRef MIDIGetDestination(ItemCount index);

// The entity of an endpoint: 0 (with noErr) for a virtual endpoint; kMIDIUnknownEndpoint when
// `endpoint` names no endpoint.
OSStatus MIDIEndpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* outEntity);
// The device of an entity; kMIDIObjectNotFound when `entity` names no entity.
OSStatus MIDIEntityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* outDevice);
// The device, entity or endpoint with a unique ID, and its type; kMIDIObjectNotFound when none
// has it. `outType` may be null.
OSStatus MIDIObjectFindByUniqueID(MIDIUniqueID uniqueID, MIDIObjectRef* outObject,
                                  MIDIObjectType* outType);

// ---- Properties ----
// Objects with properties are devices, entities and endpoints; any other reference gives
// kMIDIObjectNotFound. Reading a key the object does not have gives kMIDIUnknownProperty; a key
// that holds a value of another type, kMIDIWrongPropertyType. An endpoint or entity that lacks a
// property reads it from its entity and device, except for the name, the unique ID, the display
// name, the private flag and the connection unique ID. An endpoint without a display name of its
// own reads one made of its device's name and its own. Setting a value of the wrong type for a
// known key gives kMIDIWrongPropertyType; an empty key, paramErr. Setting the unique ID to 0 gives
// paramErr, to an ID another object has, kMIDIIDNotUnique (the old ID stays); it cannot be
// removed (kMIDINotPermitted). Every successful set or removal notifies propertyChanged.

OSStatus MIDIObjectGetStringProperty(MIDIObjectRef object, std::string_view key, std::string* out);
OSStatus MIDIObjectGetIntegerProperty(MIDIObjectRef object, std::string_view key, int32_t* out);
OSStatus MIDIObjectGetDictionaryProperty(MIDIObjectRef object, std::string_view key,
                                         MIDIDictionary* out);
OSStatus MIDIObjectSetStringProperty(MIDIObjectRef object, std::string_view key,
                                     std::string_view value);
OSStatus MIDIObjectSetIntegerProperty(MIDIObjectRef object, std::string_view key, int32_t value);
OSStatus MIDIObjectSetDictionaryProperty(MIDIObjectRef object, std::string_view key,
                                         const MIDIDictionary& value);
OSStatus MIDIObjectRemoveProperty(MIDIObjectRef object, std::string_view key);

}  // namespace midiservices
