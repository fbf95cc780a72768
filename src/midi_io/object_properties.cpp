#include "midi_io/object_properties.hpp"

#include "midiservices/properties.hpp"
#include "midiservices/services.hpp"

namespace midiio::properties {

namespace {

namespace ms = midiservices;

// Which kinds a property applies to, as a bit set over MIDIIOObjectType.
constexpr uint8_t bit(MIDIIOObjectType t) {
    return uint8_t(1u << static_cast<unsigned>(t));
}
constexpr uint8_t kDevice = bit(MIDIIOObjectType::device);
constexpr uint8_t kEntity = bit(MIDIIOObjectType::entity);
constexpr uint8_t kEndpoints =
    bit(MIDIIOObjectType::inputEndpoint) | bit(MIDIIOObjectType::outputEndpoint);
constexpr uint8_t kAll = kDevice | kEntity | kEndpoints;

struct Row {
    MIDIIOObjectProperty property;
    std::string_view caseName;
    std::string_view key;
    std::string_view displayName;
    uint8_t kinds;
};

using P = MIDIIOObjectProperty;

constexpr std::array<Row, midiIOObjectPropertyCount> kRows{{
    {P::name, "name", ms::kMIDIPropertyName, "Name", kAll},
    {P::model, "model", ms::kMIDIPropertyModel, "Model", kAll},
    {P::manufacturer, "manufacturer", ms::kMIDIPropertyManufacturer, "Manufacturer", kAll},
    {P::uniqueID, "uniqueID", ms::kMIDIPropertyUniqueID, "Unique ID", kAll},
    {P::deviceID, "deviceID", ms::kMIDIPropertyDeviceID, "Device ID", kDevice | kEntity},
    {P::supportsMMC, "supportsMMC", ms::kMIDIPropertySupportsMMC, "Supports MMC", kAll},
    {P::supportsGeneralMIDI, "supportsGeneralMIDI", ms::kMIDIPropertySupportsGeneralMIDI,
     "Supports General MIDI", kAll},
    {P::supportsShowControl, "supportsShowControl", ms::kMIDIPropertySupportsShowControl,
     "Supports Show Control", kAll},
    {P::nameConfigurationDictionary, "nameConfigurationDictionary",
     ms::kMIDIPropertyNameConfigurationDictionary, "Name Configuration Dictionary", kDevice},
    {P::maxSysExSpeed, "maxSysExSpeed", ms::kMIDIPropertyMaxSysExSpeed, "Max SysEx Speed", kAll},
    {P::driverDeviceEditorApp, "driverDeviceEditorApp", ms::kMIDIPropertyDriverDeviceEditorApp,
     "Driver Device Editor App", kDevice},
    {P::image, "image", ms::kMIDIPropertyImage, "Image (File URL)", kDevice},
    {P::displayName, "displayName", ms::kMIDIPropertyDisplayName, "Display Name", kEndpoints},
    {P::panDisruptsStereo, "panDisruptsStereo", ms::kMIDIPropertyPanDisruptsStereo,
     "Pan Disrupts Stereo", kDevice | kEntity},
    {P::protocolID, "protocolID", ms::kMIDIPropertyProtocolID, "Protocol ID", kEndpoints},
    {P::transmitsMTC, "transmitsMTC", ms::kMIDIPropertyTransmitsMTC, "Transmits MTC", kAll},
    {P::receivesMTC, "receivesMTC", ms::kMIDIPropertyReceivesMTC, "Receives MTC", kAll},
    {P::transmitsClock, "transmitsClock", ms::kMIDIPropertyTransmitsClock, "Transmits Clock", kAll},
    {P::receivesClock, "receivesClock", ms::kMIDIPropertyReceivesClock, "Receives Clock", kAll},
    {P::advanceScheduleTimeMuSec, "advanceScheduleTimeMuSec",
     ms::kMIDIPropertyAdvanceScheduleTimeMuSec, "Advance Schedule Time (\u03bcs)",
     kDevice | kEntity},
    {P::isMixer, "isMixer", ms::kMIDIPropertyIsMixer, "Is Mixer", kDevice | kEntity},
    {P::isSampler, "isSampler", ms::kMIDIPropertyIsSampler, "Is Sampler", kDevice | kEntity},
    {P::isEffectUnit, "isEffectUnit", ms::kMIDIPropertyIsEffectUnit, "Is Effect Unit",
     kDevice | kEntity},
    {P::isDrumMachine, "isDrumMachine", ms::kMIDIPropertyIsDrumMachine, "Is Drum Machine",
     kDevice | kEntity},
    {P::isOffline, "isOffline", ms::kMIDIPropertyOffline, "Is Offline", kAll},
    {P::isPrivate, "isPrivate", ms::kMIDIPropertyPrivate, "Is Private", kEndpoints},
    {P::driverOwner, "driverOwner", ms::kMIDIPropertyDriverOwner, "Driver Owner", kAll},
    {P::driverVersion, "driverVersion", ms::kMIDIPropertyDriverVersion, "Driver Version", kAll},
    {P::canRoute, "canRoute", ms::kMIDIPropertyCanRoute, "Can Route", kDevice | kEntity},
    {P::isBroadcast, "isBroadcast", ms::kMIDIPropertyIsBroadcast, "Is Broadcast", kEndpoints},
    {P::connectionUniqueID, "connectionUniqueID", ms::kMIDIPropertyConnectionUniqueID,
     "Connection Unique ID", kEndpoints},
    {P::isEmbeddedEntity, "isEmbeddedEntity", ms::kMIDIPropertyIsEmbeddedEntity,
     "Is Embedded Entity", kEntity | kEndpoints},
    {P::singleRealtimeEntity, "singleRealtimeEntity", ms::kMIDIPropertySingleRealtimeEntity,
     "Single Realtime Entity", kDevice | kEndpoints},
    {P::receiveChannels, "receiveChannels", ms::kMIDIPropertyReceiveChannels, "Receive Channels",
     kAll},
    {P::transmitChannels, "transmitChannels", ms::kMIDIPropertyTransmitChannels,
     "Transmit Channels", kAll},
    {P::maxReceiveChannels, "maxReceiveChannels", ms::kMIDIPropertyMaxReceiveChannels,
     "Max Receive Channels", kDevice},
    {P::maxTransmitChannels, "maxTransmitChannels", ms::kMIDIPropertyMaxTransmitChannels,
     "Max Transmit Channels", kDevice},
    {P::receivesBankSelectLSB, "receivesBankSelectLSB", ms::kMIDIPropertyReceivesBankSelectLSB,
     "Receives Bank Select LSB", kDevice | kEntity},
    {P::receivesBankSelectMSB, "receivesBankSelectMSB", ms::kMIDIPropertyReceivesBankSelectMSB,
     "Receives Bank Select MSB", kDevice | kEntity},
    {P::transmitsBankSelectLSB, "transmitsBankSelectLSB", ms::kMIDIPropertyTransmitsBankSelectLSB,
     "Transmits Bank Select LSB", kDevice | kEntity},
    {P::transmitsBankSelectMSB, "transmitsBankSelectMSB", ms::kMIDIPropertyTransmitsBankSelectMSB,
     "Transmits Bank Select MSB", kDevice | kEntity},
    {P::receivesNotes, "receivesNotes", ms::kMIDIPropertyReceivesNotes, "Receives Notes",
     kDevice | kEntity},
    {P::transmitsNotes, "transmitsNotes", ms::kMIDIPropertyTransmitsNotes, "Transmits Notes",
     kDevice | kEntity},
    {P::receivesProgramChanges, "receivesProgramChanges", ms::kMIDIPropertyReceivesProgramChanges,
     "Receives Program Changes", kDevice | kEntity},
    {P::transmitsProgramChanges, "transmitsProgramChanges",
     ms::kMIDIPropertyTransmitsProgramChanges, "Transmits Program Changes", kDevice | kEntity},
}};

constexpr bool rowsInCaseOrder() {
    for (size_t i = 0; i < kRows.size(); ++i)
        if (static_cast<size_t>(kRows[i].property) != i) return false;
    return true;
}
static_assert(rowsInCaseOrder());

const Row& row(MIDIIOObjectProperty p) {
    return kRows[static_cast<size_t>(p)];
}

bool keyAvailable(MIDIIOObjectProperty p) {
    const auto os = ms::MIDIServicesOperatingSystemVersion();
    if (p == P::nameConfigurationDictionary) return os >= ms::OperatingSystemVersion{10, 15, 0};
    if (p == P::protocolID) return os >= ms::OperatingSystemVersion{11, 0, 0};
    return true;
}

}  // namespace

const std::array<MIDIIOObjectProperty, midiIOObjectPropertyCount>& allCases() {
    static const auto cases = [] {
        std::array<MIDIIOObjectProperty, midiIOObjectPropertyCount> all{};
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = kRows[i].property;
        return all;
    }();
    return cases;
}

size_t caseIndex(MIDIIOObjectProperty property) {
    return static_cast<size_t>(property);
}
std::string_view caseName(MIDIIOObjectProperty property) {
    return row(property).caseName;
}
std::string_view displayName(MIDIIOObjectProperty property) {
    return row(property).displayName;
}

std::string_view coreMIDIKey(MIDIIOObjectProperty property) {
    return keyAvailable(property) ? row(property).key : std::string_view{};
}

bool isRelevant(MIDIIOObjectProperty property, MIDIIOObjectType type) {
    return (row(property).kinds & bit(type)) != 0;
}

std::vector<MIDIIOObjectType> relevantObjects(MIDIIOObjectProperty property) {
    std::vector<MIDIIOObjectType> kinds;
    for (const auto t : allMIDIIOObjectTypes)
        if (isRelevant(property, t)) kinds.push_back(t);
    return kinds;
}

std::vector<MIDIIOObjectProperty> relevantProperties(MIDIIOObjectType type) {
    std::vector<MIDIIOObjectProperty> list;
    for (const auto& r : kRows)
        if (r.kinds & bit(type)) list.push_back(r.property);
    return list;
}

std::optional<MIDIIOObjectProperty> fromCoreMIDIKey(std::string_view key) {
    if (key.empty()) return std::nullopt;
    for (const auto& r : kRows)
        if (r.key == key && keyAvailable(r.property)) return r.property;
    return std::nullopt;
}

}  // namespace midiio::properties
