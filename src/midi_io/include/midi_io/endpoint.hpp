// The value records that name a MIDI endpoint: MIDIInputEndpoint (a destination, something the
// program sends to) and MIDIOutputEndpoint (a source, something the program receives from).
//
// A record is a snapshot of the endpoint's name, display name and unique ID taken when it was made,
// with the endpoint's reference. Records are equal, hashed and identified by unique ID alone: two
// records of one endpoint taken before and after a rename are equal, and so are records of two
// endpoints that share an ID (both unreadable, ID 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "midi_io/object_interface.hpp"
#include "midi_io/object_type.hpp"
#include "midiservices/services.hpp"

namespace midiio {

template <MIDIIOObjectType Type>
struct MIDIEndpointRecord : MIDIEndpointInterface<MIDIEndpointRecord<Type>> {
    static_assert(Type == MIDIIOObjectType::inputEndpoint ||
                  Type == MIDIIOObjectType::outputEndpoint);

    std::string name;
    int32_t uniqueID = 0;
    uint32_t coreMIDIObjectRef = 0;
    std::string displayName;

    MIDIEndpointRecord() = default;
    MIDIEndpointRecord(std::string name, int32_t uniqueID, uint32_t ref, std::string displayName)
        : name(std::move(name)), uniqueID(uniqueID), coreMIDIObjectRef(ref),
          displayName(std::move(displayName)) {}
    // Reads the name, the display name and the unique ID of `ref` from the MIDI services. Never
    // fails: an unreadable name is empty, an unreadable unique ID 0 (so reference 0 or a stale
    // reference gives empty names and ID 0); the reference is kept as given.
    explicit MIDIEndpointRecord(midiservices::MIDIEndpointRef ref);

    static constexpr MIDIIOObjectType objectType() { return Type; }
    int32_t id() const { return uniqueID; }

    // "MIDIInputEndpoint(name: "Port 1", uniqueID: 12345)".
    std::string debugDescription() const;

    friend bool operator==(const MIDIEndpointRecord& a, const MIDIEndpointRecord& b) {
        return a.uniqueID == b.uniqueID;
    }
    size_t hash() const { return std::hash<int32_t>{}(uniqueID); }
};

using MIDIInputEndpoint = MIDIEndpointRecord<MIDIIOObjectType::inputEndpoint>;
using MIDIOutputEndpoint = MIDIEndpointRecord<MIDIIOObjectType::outputEndpoint>;

extern template struct MIDIEndpointRecord<MIDIIOObjectType::inputEndpoint>;
extern template struct MIDIEndpointRecord<MIDIIOObjectType::outputEndpoint>;

}  // namespace midiio

template <midiio::MIDIIOObjectType Type>
struct std::hash<midiio::MIDIEndpointRecord<Type>> {
    size_t operator()(const midiio::MIDIEndpointRecord<Type>& e) const { return e.hash(); }
};

namespace midiio {

using MIDIInputEndpointSet = std::unordered_set<MIDIInputEndpoint>;
using MIDIOutputEndpointSet = std::unordered_set<MIDIOutputEndpoint>;

// The system's destinations / sources at this moment, in the services' order, and as sets.
std::vector<MIDIInputEndpoint> currentInputEndpoints();
std::vector<MIDIOutputEndpoint> currentOutputEndpoints();
MIDIInputEndpointSet currentInputEndpointSet();
MIDIOutputEndpointSet currentOutputEndpointSet();

// The source named by the reference value of a received list. None when `refConKnown` is false,
// the value is absent, or the object it names (its low 32 bits as an endpoint reference) has no
// unique ID (0: no such object, or a failed read). Names that cannot be read are empty.
std::optional<MIDIOutputEndpoint> outputEndpointFromRefCon(const void* refCon, bool refConKnown);

namespace detail {
// The string property `key` of `object`; empty when the read fails.
std::string stringPropertyOrEmpty(midiservices::MIDIObjectRef object, std::string_view key);
// The unique ID of `object`; 0 when the read fails.
int32_t uniqueIDOrZero(midiservices::MIDIObjectRef object);
// outputEndpointFromRefCon into a record that may be reused: its strings keep their capacity.
void readOutputEndpointFromRefCon(const void* refCon, bool refConKnown,
                                  std::optional<MIDIOutputEndpoint>& into);
}  // namespace detail

}  // namespace midiio
