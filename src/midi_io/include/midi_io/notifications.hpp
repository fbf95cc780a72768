// Setup notifications of the MIDI services: their decoded form (MIDIIORawNotification, which the
// manager uses to keep its connections up to date) and the public form handed to an application's
// notification handler (MIDIIONotification), with the objects described as records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "midi_core/io_error.hpp"
#include "midi_io/object_cache.hpp"
#include "midi_io/object_model.hpp"
#include "midi_io/object_properties.hpp"
#include "midiservices/services.hpp"

namespace midiio {

class MIDIDevicesProtocol;
class MIDIEndpointsProtocol;

// The kinds of setup notification, in declaration order.
enum class MIDIIONotificationCase : uint8_t {
    setupChanged,
    added,
    removed,
    propertyChanged,
    thruConnectionChanged,
    serialPortOwnerChanged,
    ioError,
    other,
};

class MIDIIORawNotification {
  public:
    using Case = MIDIIONotificationCase;
    struct AddedOrRemoved {
        uint32_t parent = 0;
        int32_t parentType = -1;
        uint32_t child = 0;
        int32_t childType = -1;
    };
    struct PropertyChanged {
        uint32_t object = 0;
        int32_t objectType = -1;
        std::string propertyName;
    };
    struct IOError {
        uint32_t driverDevice = 0;
        // The status the driver reported (thrown as MIDIIOError osStatus).
        int32_t errorCode = 0;
        midicore::MIDIIOError error() const {
            return midicore::MIDIIOError::fromOSStatus(errorCode);
        }
    };

    // By message ID. A payload case whose record does not have the expected size is `other`.
    static MIDIIORawNotification decode(const midiservices::MIDINotification& notification);

    Case notificationCase() const { return case_; }
    // The payload of the matching cases; null for the others.
    const AddedOrRemoved* addedOrRemoved() const {
        return case_ == Case::added || case_ == Case::removed ? &addRemove_ : nullptr;
    }
    const PropertyChanged* propertyChanged() const {
        return case_ == Case::propertyChanged ? &property_ : nullptr;
    }
    const IOError* ioError() const { return case_ == Case::ioError ? &ioError_ : nullptr; }
    // The message ID as received.
    int32_t messageID() const { return messageID_; }

  private:
    MIDIIORawNotification(Case c, int32_t id) : case_(c), messageID_(id) {}
    Case case_;
    int32_t messageID_;
    AddedOrRemoved addRemove_;
    PropertyChanged property_;
    IOError ioError_;
};

class MIDIIONotification {
  public:
    using Case = MIDIIONotificationCase;
    using Property = MIDIIOObjectProperty;

    static MIDIIONotification setupChanged() { return MIDIIONotification(Case::setupChanged); }
    static MIDIIONotification added(AnyMIDIIOObject object, std::optional<AnyMIDIIOObject> parent);
    static MIDIIONotification removed(AnyMIDIIOObject object,
                                      std::optional<AnyMIDIIOObject> parent);
    static MIDIIONotification propertyChanged(Property property, AnyMIDIIOObject forObject);
    static MIDIIONotification thruConnectionChanged() {
        return MIDIIONotification(Case::thruConnectionChanged);
    }
    static MIDIIONotification serialPortOwnerChanged() {
        return MIDIIONotification(Case::serialPortOwnerChanged);
    }
    static MIDIIONotification ioError(MIDIDevice device, midicore::MIDIIOError error);
    static MIDIIONotification other(int32_t messageIDRawValue);

    // The public form of a decoded notification. Removed objects are looked up in `cache` first;
    // added objects, changed objects and devices with I/O errors are read from the services. None
    // when the object cannot be described (reference 0, an unknown type) or the property is not a
    // known one.
    static std::optional<MIDIIONotification> from(const MIDIIORawNotification& raw,
                                                  const MIDIIOObjectCache* cache);

    Case notificationCase() const { return case_; }
    // The object of added, removed and propertyChanged.
    const std::optional<AnyMIDIIOObject>& object() const { return object_; }
    // The parent of added and removed, when it could be described.
    const std::optional<AnyMIDIIOObject>& parent() const { return parent_; }
    std::optional<Property> property() const { return property_; }
    const std::optional<MIDIDevice>& device() const { return device_; }
    const std::optional<midicore::MIDIIOError>& error() const { return error_; }
    int32_t messageIDRawValue() const { return messageID_; }

    // "added(<object>, parent: <parent>)", "propertyChanged(<object>, for: model)",
    // "ioError(device: <device>, error: <text>)", "other(ID: 8)", "setupChanged", ...
    std::string description() const;

    friend bool operator==(const MIDIIONotification& a, const MIDIIONotification& b);
    size_t hash() const;

  private:
    explicit MIDIIONotification(Case c) : case_(c) {}
    static MIDIIONotification withObject(Case c, AnyMIDIIOObject object,
                                         std::optional<AnyMIDIIOObject> parent);
    Case case_;
    std::optional<AnyMIDIIOObject> object_;
    std::optional<AnyMIDIIOObject> parent_;
    std::optional<Property> property_;
    std::optional<MIDIDevice> device_;
    std::optional<midicore::MIDIIOError> error_;
    int32_t messageID_ = 0;
};

// Who may connect to the network MIDI session, with the raw values 0, 1, 2.
enum class MIDIIONetworkConnectionPolicy : uint8_t { noOne, hostsInContactList, anyone };
// The policy of a raw value; none for 3 or more.
std::optional<MIDIIONetworkConnectionPolicy> networkConnectionPolicy(uint32_t rawValue);

// Sets up the services' network MIDI session: with a policy, the session is enabled and takes the
// policy's raw value; with none, it is disabled with policy 0. The setting is kept and can be read
// back (midiservices/network_session.hpp); no peer connects, as there is no network transport.
void configureNetworkSession(const std::optional<MIDIIONetworkConnectionPolicy>& policy);

// The manager's handling of one notification as far as its lists and its cache go:
//   1. a snapshot of the lists is taken before anything else;
//   2. object added, removed, property changed and setup changed refresh the lists
//      (`updateLists`), which leaves the cache alone;
//   3. a removal is described with the cache stored at an earlier notification (absent before the
//      first); every other kind stores the snapshot as the cache and is described with it.
// Returns the public notification, if the objects could be described.
std::optional<MIDIIONotification> handleNotificationForLists(
    const MIDIIORawNotification& raw, const MIDIDevicesProtocol& devices,
    const MIDIEndpointsProtocol& endpoints, std::optional<MIDIIOObjectCache>& storedCache,
    const std::function<void()>& updateLists);

}  // namespace midiio

template <>
struct std::hash<midiio::MIDIIONotification> {
    size_t operator()(const midiio::MIDIIONotification& n) const { return n.hash(); }
};
