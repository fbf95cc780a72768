// What every MIDI object record answers (devices, entities, endpoints and the type-erased forms):
// the typed property getters and the property texts, read live from the MIDI services through the
// record's reference; and, for endpoints, navigation to their entity and device.
//
// A record takes these on by deriving from MIDIIOObjectInterface<Record> (or, for endpoints,
// MIDIEndpointInterface<Record>) and providing `coreMIDIObjectRef` and `objectType()`. No getter
// throws: an unreadable property gives none, 0, false or the text "-".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi_core/protocol_version.hpp"
#include "midi_io/image.hpp"
#include "midi_io/object_properties.hpp"
#include "midi_io/object_type.hpp"
#include "midiservices/properties.hpp"

namespace midiio {

struct MIDIDevice;
struct MIDIEntity;
struct AnyMIDIEndpoint;
class AnyMIDIIOObject;

// One line of a property list: the property's display name and its text.
struct MIDIPropertyStringValue {
    std::string key;
    std::string value;
    friend bool operator==(const MIDIPropertyStringValue&,
                           const MIDIPropertyStringValue&) = default;
};

namespace detail {

// The fields every record has, whether stored (endpoint records) or computed (AnyMIDIIOObject).
template <class T>
uint32_t objectRefOf(const T& o) {
    if constexpr (requires { o.coreMIDIObjectRef(); })
        return o.coreMIDIObjectRef();
    else
        return o.coreMIDIObjectRef;
}
template <class T>
const std::string& nameOf(const T& o) {
    if constexpr (requires { o.name(); })
        return o.name();
    else
        return o.name;
}
template <class T>
int32_t uniqueIDOf(const T& o) {
    if constexpr (requires { o.uniqueID(); })
        return o.uniqueID();
    else
        return o.uniqueID;
}
template <class T>
const std::string& displayNameOf(const T& o) {
    if constexpr (requires { o.displayName(); })
        return o.displayName();
    else
        return o.displayName;
}

// The readers behind the getters (property_values.cpp).
std::optional<std::string> readString(uint32_t ref, std::string_view key);
int32_t readInteger(uint32_t ref, std::string_view key);
bool readFlag(uint32_t ref, std::string_view key);
std::optional<std::filesystem::path> readFileURL(uint32_t ref, std::string_view key);
std::optional<midiservices::MIDIDictionary> readDictionary(uint32_t ref, std::string_view key);
std::optional<MIDIImage> readImage(uint32_t ref);
std::optional<midicore::MIDIProtocolVersion> readProtocol(uint32_t ref);
std::string propertyStringValue(uint32_t ref, MIDIIOObjectProperty property);
std::vector<MIDIPropertyStringValue> propertyStringValues(uint32_t ref, MIDIIOObjectType type,
                                                          bool relevantOnly);

// Navigation (object_model.cpp); errors give none.
std::optional<MIDIEntity> entityOfEndpoint(uint32_t endpointRef);
std::optional<MIDIDevice> deviceOfEndpoint(uint32_t endpointRef);
bool systemDestinationExists(int32_t uniqueID);

}  // namespace detail

template <class Derived>
class MIDIIOObjectInterface {
  public:
    using Property = MIDIIOObjectProperty;

    std::optional<std::string> model() const { return str(midiservices::kMIDIPropertyModel); }
    std::optional<std::string> manufacturer() const {
        return str(midiservices::kMIDIPropertyManufacturer);
    }
    int32_t deviceID() const { return integer(midiservices::kMIDIPropertyDeviceID); }
    bool supportsMMC() const { return flag(midiservices::kMIDIPropertySupportsMMC); }
    bool supportsGeneralMIDI() const {
        return flag(midiservices::kMIDIPropertySupportsGeneralMIDI);
    }
    bool supportsShowControl() const {
        return flag(midiservices::kMIDIPropertySupportsShowControl);
    }
    std::optional<midiservices::MIDIDictionary> nameConfigurationDictionary() const {
        return detail::readDictionary(
            ref(), properties::coreMIDIKey(Property::nameConfigurationDictionary));
    }
    int32_t maxSysExSpeed() const { return integer(midiservices::kMIDIPropertyMaxSysExSpeed); }
    std::optional<std::filesystem::path> driverDeviceEditorApp() const {
        return detail::readFileURL(ref(), midiservices::kMIDIPropertyDriverDeviceEditorApp);
    }
    // The image property as a file path, and the image loaded from it.
    std::optional<std::filesystem::path> imageFileURL() const {
        return detail::readFileURL(ref(), midiservices::kMIDIPropertyImage);
    }
    std::optional<MIDIImage> image() const { return detail::readImage(ref()); }
    // The display name as the services give it now (the endpoint records store a snapshot).
    std::optional<std::string> currentDisplayName() const {
        return str(midiservices::kMIDIPropertyDisplayName);
    }
    bool panDisruptsStereo() const { return flag(midiservices::kMIDIPropertyPanDisruptsStereo); }
    // MIDI 1.0 for 1, MIDI 2.0 for 2; none when unset, unknown or unreadable.
    std::optional<midicore::MIDIProtocolVersion> protocolID() const {
        return detail::readProtocol(ref());
    }
    bool transmitsMTC() const { return flag(midiservices::kMIDIPropertyTransmitsMTC); }
    bool receivesMTC() const { return flag(midiservices::kMIDIPropertyReceivesMTC); }
    bool transmitsClock() const { return flag(midiservices::kMIDIPropertyTransmitsClock); }
    bool receivesClock() const { return flag(midiservices::kMIDIPropertyReceivesClock); }
    // An integer property (microseconds).
    int32_t advanceScheduleTimeMuSec() const {
        return integer(midiservices::kMIDIPropertyAdvanceScheduleTimeMuSec);
    }
    bool isMixer() const { return flag(midiservices::kMIDIPropertyIsMixer); }
    bool isSampler() const { return flag(midiservices::kMIDIPropertyIsSampler); }
    bool isEffectUnit() const { return flag(midiservices::kMIDIPropertyIsEffectUnit); }
    bool isDrumMachine() const { return flag(midiservices::kMIDIPropertyIsDrumMachine); }
    bool isOffline() const { return flag(midiservices::kMIDIPropertyOffline); }
    bool isPrivate() const { return flag(midiservices::kMIDIPropertyPrivate); }
    std::optional<std::string> driverOwner() const {
        return str(midiservices::kMIDIPropertyDriverOwner);
    }
    int32_t driverVersion() const { return integer(midiservices::kMIDIPropertyDriverVersion); }
    bool canRoute() const { return flag(midiservices::kMIDIPropertyCanRoute); }
    bool isBroadcast() const { return flag(midiservices::kMIDIPropertyIsBroadcast); }
    int32_t connectionUniqueID() const {
        return integer(midiservices::kMIDIPropertyConnectionUniqueID);
    }
    bool isEmbeddedEntity() const { return flag(midiservices::kMIDIPropertyIsEmbeddedEntity); }
    int32_t singleRealtimeEntity() const {
        return integer(midiservices::kMIDIPropertySingleRealtimeEntity);
    }
    int32_t receiveChannels() const { return integer(midiservices::kMIDIPropertyReceiveChannels); }
    int32_t transmitChannels() const {
        return integer(midiservices::kMIDIPropertyTransmitChannels);
    }
    int32_t maxReceiveChannels() const {
        return integer(midiservices::kMIDIPropertyMaxReceiveChannels);
    }
    int32_t maxTransmitChannels() const {
        return integer(midiservices::kMIDIPropertyMaxTransmitChannels);
    }
    bool receivesBankSelectLSB() const {
        return flag(midiservices::kMIDIPropertyReceivesBankSelectLSB);
    }
    bool receivesBankSelectMSB() const {
        return flag(midiservices::kMIDIPropertyReceivesBankSelectMSB);
    }
    bool transmitsBankSelectLSB() const {
        return flag(midiservices::kMIDIPropertyTransmitsBankSelectLSB);
    }
    bool transmitsBankSelectMSB() const {
        return flag(midiservices::kMIDIPropertyTransmitsBankSelectMSB);
    }
    bool receivesNotes() const { return flag(midiservices::kMIDIPropertyReceivesNotes); }
    bool transmitsNotes() const { return flag(midiservices::kMIDIPropertyTransmitsNotes); }
    bool receivesProgramChanges() const {
        return flag(midiservices::kMIDIPropertyReceivesProgramChanges);
    }
    bool transmitsProgramChanges() const {
        return flag(midiservices::kMIDIPropertyTransmitsProgramChanges);
    }

    // The property lines, all 45 or those relevant to the record's kind, in case order.
    std::vector<MIDIPropertyStringValue> propertyStringValues(bool relevantOnly) const {
        return detail::propertyStringValues(ref(), self().objectType(), relevantOnly);
    }
    // The text of one property, read now.
    std::string propertyStringValue(Property property) const {
        return detail::propertyStringValue(ref(), property);
    }

  protected:
    const Derived& self() const { return static_cast<const Derived&>(*this); }
    uint32_t ref() const { return detail::objectRefOf(self()); }

  private:
    std::optional<std::string> str(std::string_view key) const {
        return detail::readString(ref(), key);
    }
    int32_t integer(std::string_view key) const { return detail::readInteger(ref(), key); }
    bool flag(std::string_view key) const { return detail::readFlag(ref(), key); }
};

template <class Derived>
class MIDIEndpointInterface : public MIDIIOObjectInterface<Derived> {
  public:
    // The endpoint's entity and that entity's device; none for a virtual endpoint or when the
    // services refuse.
    // (Templates only so that the records need not be complete here.)
    template <class Entity = MIDIEntity>
    std::optional<Entity> entity() const {
        return detail::entityOfEndpoint(this->ref());
    }
    template <class Device = MIDIDevice>
    std::optional<Device> device() const {
        return detail::deviceOfEndpoint(this->ref());
    }
    // The record as any object (its own case) and as an endpoint of either direction.
    template <class Any = AnyMIDIIOObject>
    Any asAnyMIDIIOObject() const {
        return Any(this->self());
    }
    template <class Any = AnyMIDIEndpoint>
    Any asAnyEndpoint() const {
        return Any(this->self());
    }
    // Whether a current system destination has this endpoint's unique ID.
    bool existsAsSystemDestination() const {
        return detail::systemDestinationExists(detail::uniqueIDOf(this->self()));
    }
};

}  // namespace midiio
