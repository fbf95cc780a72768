// The MIDI object properties the I/O layer knows: for each, its services key, the name shown to
// users in property lists, and the object kinds it applies to.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi_io/object_type.hpp"

namespace midiio {

// Brought into AnyMIDIIOObject as AnyMIDIIOObject::Property. Case order is fixed: it is the order
// of property lists.
enum class MIDIIOObjectProperty : uint8_t {
    name,
    model,
    manufacturer,
    uniqueID,
    deviceID,
    supportsMMC,
    supportsGeneralMIDI,
    supportsShowControl,
    nameConfigurationDictionary,
    maxSysExSpeed,
    driverDeviceEditorApp,
    image,
    displayName,
    panDisruptsStereo,
    protocolID,
    transmitsMTC,
    receivesMTC,
    transmitsClock,
    receivesClock,
    advanceScheduleTimeMuSec,
    isMixer,
    isSampler,
    isEffectUnit,
    isDrumMachine,
    isOffline,
    isPrivate,
    driverOwner,
    driverVersion,
    canRoute,
    isBroadcast,
    connectionUniqueID,
    isEmbeddedEntity,
    singleRealtimeEntity,
    receiveChannels,
    transmitChannels,
    maxReceiveChannels,
    maxTransmitChannels,
    receivesBankSelectLSB,
    receivesBankSelectMSB,
    transmitsBankSelectLSB,
    transmitsBankSelectMSB,
    receivesNotes,
    transmitsNotes,
    receivesProgramChanges,
    transmitsProgramChanges,
};

inline constexpr size_t midiIOObjectPropertyCount = 45;

namespace properties {

// All 45 cases in case order.
const std::array<MIDIIOObjectProperty, midiIOObjectPropertyCount>& allCases();
// The case's index (0 ... 44) and its name in code ("advanceScheduleTimeMuSec").
size_t caseIndex(MIDIIOObjectProperty property);
std::string_view caseName(MIDIIOObjectProperty property);
// The name shown in property lists ("Advance Schedule Time (μs)").
std::string_view displayName(MIDIIOObjectProperty property);
// The services key. Empty for the two keys the reported operating system lacks: the name
// configuration dictionary before 10.15, the protocol ID before 11.0.
std::string_view coreMIDIKey(MIDIIOObjectProperty property);
// The object kinds the property applies to.
std::vector<MIDIIOObjectType> relevantObjects(MIDIIOObjectProperty property);
bool isRelevant(MIDIIOObjectProperty property, MIDIIOObjectType type);
// The cases, in case order, that apply to `type`.
std::vector<MIDIIOObjectProperty> relevantProperties(MIDIIOObjectType type);
// The case whose key is `key`; none for any other key (the empty key included).
std::optional<MIDIIOObjectProperty> fromCoreMIDIKey(std::string_view key);

}  // namespace properties

}  // namespace midiio
