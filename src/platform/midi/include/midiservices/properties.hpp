// The properties of MIDI objects: the keys the MIDI services know, and the property-list values
// that dictionary properties hold.
//
// Every device, entity and endpoint carries a set of properties under string keys. A known key has
// a fixed value type (string, integer or dictionary, see MIDIPropertyKeyType); any other non-empty
// key may be set by a client as a property of its own, with a value of any of the three types.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace midiservices {

// Known property keys.
inline constexpr std::string_view kMIDIPropertyName = "name";
inline constexpr std::string_view kMIDIPropertyModel = "model";
inline constexpr std::string_view kMIDIPropertyManufacturer = "manufacturer";
inline constexpr std::string_view kMIDIPropertyUniqueID = "uniqueID";
inline constexpr std::string_view kMIDIPropertyDeviceID = "deviceID";
inline constexpr std::string_view kMIDIPropertySupportsMMC = "supportsMMC";
inline constexpr std::string_view kMIDIPropertySupportsGeneralMIDI = "supportsGeneralMIDI";
inline constexpr std::string_view kMIDIPropertySupportsShowControl = "supportsShowControl";
inline constexpr std::string_view kMIDIPropertyNameConfigurationDictionary =
    "nameConfigurationDictionary";
inline constexpr std::string_view kMIDIPropertyMaxSysExSpeed = "maxSysExSpeed";
inline constexpr std::string_view kMIDIPropertyDriverDeviceEditorApp = "driverDeviceEditorApp";
inline constexpr std::string_view kMIDIPropertyImage = "image";
inline constexpr std::string_view kMIDIPropertyDisplayName = "displayName";
inline constexpr std::string_view kMIDIPropertyPanDisruptsStereo = "panDisruptsStereo";
inline constexpr std::string_view kMIDIPropertyProtocolID = "protocolID";
inline constexpr std::string_view kMIDIPropertyTransmitsMTC = "transmitsMTC";
inline constexpr std::string_view kMIDIPropertyReceivesMTC = "receivesMTC";
inline constexpr std::string_view kMIDIPropertyTransmitsClock = "transmitsClock";
inline constexpr std::string_view kMIDIPropertyReceivesClock = "receivesClock";
inline constexpr std::string_view kMIDIPropertyAdvanceScheduleTimeMuSec =
    "advanceScheduleTimeMuSec";
inline constexpr std::string_view kMIDIPropertyIsMixer = "isMixer";
inline constexpr std::string_view kMIDIPropertyIsSampler = "isSampler";
inline constexpr std::string_view kMIDIPropertyIsEffectUnit = "isEffectUnit";
inline constexpr std::string_view kMIDIPropertyIsDrumMachine = "isDrumMachine";
inline constexpr std::string_view kMIDIPropertyOffline = "isOffline";
inline constexpr std::string_view kMIDIPropertyPrivate = "isPrivate";
inline constexpr std::string_view kMIDIPropertyDriverOwner = "driverOwner";
inline constexpr std::string_view kMIDIPropertyDriverVersion = "driverVersion";
inline constexpr std::string_view kMIDIPropertyCanRoute = "canRoute";
inline constexpr std::string_view kMIDIPropertyIsBroadcast = "isBroadcast";
inline constexpr std::string_view kMIDIPropertyConnectionUniqueID = "connectionUniqueID";
inline constexpr std::string_view kMIDIPropertyIsEmbeddedEntity = "isEmbeddedEntity";
inline constexpr std::string_view kMIDIPropertySingleRealtimeEntity = "singleRealtimeEntity";
inline constexpr std::string_view kMIDIPropertyReceiveChannels = "receiveChannels";
inline constexpr std::string_view kMIDIPropertyTransmitChannels = "transmitChannels";
inline constexpr std::string_view kMIDIPropertyMaxReceiveChannels = "maxReceiveChannels";
inline constexpr std::string_view kMIDIPropertyMaxTransmitChannels = "maxTransmitChannels";
inline constexpr std::string_view kMIDIPropertyReceivesBankSelectLSB = "receivesBankSelectLSB";
inline constexpr std::string_view kMIDIPropertyReceivesBankSelectMSB = "receivesBankSelectMSB";
inline constexpr std::string_view kMIDIPropertyTransmitsBankSelectLSB = "transmitsBankSelectLSB";
inline constexpr std::string_view kMIDIPropertyTransmitsBankSelectMSB = "transmitsBankSelectMSB";
inline constexpr std::string_view kMIDIPropertyReceivesNotes = "receivesNotes";
inline constexpr std::string_view kMIDIPropertyTransmitsNotes = "transmitsNotes";
inline constexpr std::string_view kMIDIPropertyReceivesProgramChanges = "receivesProgramChanges";
inline constexpr std::string_view kMIDIPropertyTransmitsProgramChanges = "transmitsProgramChanges";

// The value type of a known key.
enum class MIDIPropertyKeyType { string, integer, dictionary };

// The type of a known key; none for any other key.
std::optional<MIDIPropertyKeyType> MIDIPropertyKeyTypeOf(std::string_view key);

// Every known key, in the order declared above.
const std::vector<std::string_view>& MIDIKnownPropertyKeys();

// A property-list value: an integer, a real number, a Boolean, a string, an array of values or a
// dictionary of values under string keys. Equal when of the same kind with equal contents.
class MIDIPropertyList {
  public:
    using Array = std::vector<MIDIPropertyList>;
    using Dictionary = std::map<std::string, MIDIPropertyList, std::less<>>;

    MIDIPropertyList() : value_(int64_t{0}) {}
    static MIDIPropertyList integer(int64_t value) { return MIDIPropertyList(value); }
    static MIDIPropertyList real(double value) { return MIDIPropertyList(value); }
    static MIDIPropertyList boolean(bool value) { return MIDIPropertyList(value); }
    static MIDIPropertyList string(std::string value) { return MIDIPropertyList(std::move(value)); }
    static MIDIPropertyList array(Array value) { return MIDIPropertyList(std::move(value)); }
    static MIDIPropertyList dictionary(Dictionary value) {
        return MIDIPropertyList(std::move(value));
    }

    // Each accessor gives null when the value is of another kind.
    const int64_t* asInteger() const { return std::get_if<int64_t>(&value_); }
    const double* asReal() const { return std::get_if<double>(&value_); }
    const bool* asBoolean() const { return std::get_if<bool>(&value_); }
    const std::string* asString() const { return std::get_if<std::string>(&value_); }
    const Array* asArray() const { return std::get_if<Array>(&value_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&value_); }

    // A readable text of the value: numbers in decimal, strings in double quotes with `"` and `\`
    // escaped, arrays as "(a, b)", dictionaries as "{key = value; ...}" with keys in order.
    std::string description() const;

    friend bool operator==(const MIDIPropertyList& a, const MIDIPropertyList& b) {
        return a.value_ == b.value_;
    }

  private:
    using Value = std::variant<int64_t, double, bool, std::string, Array, Dictionary>;
    template <class T>
    explicit MIDIPropertyList(T value) : value_(std::move(value)) {}

    Value value_;
};

// The value of a dictionary property.
using MIDIDictionary = MIDIPropertyList::Dictionary;

// The description of a dictionary, as MIDIPropertyList::description gives it.
std::string MIDIDictionaryDescription(const MIDIDictionary& dictionary);

}  // namespace midiservices
