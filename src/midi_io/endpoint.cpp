#include "midi_io/endpoint.hpp"

#include "midi_support/strings.hpp"
#include "scan.hpp"
#include "midiservices/properties.hpp"

namespace midiio {

namespace detail {

namespace {

// Reads a string property into `into` (keeping its capacity); empty when the read fails.
void readStringInto(midiservices::MIDIObjectRef object, std::string_view key, std::string& into) {
    if (midiservices::MIDIObjectGetStringProperty(object, key, &into) != midiservices::noErr)
        into.clear();
}

}  // namespace

std::string stringPropertyOrEmpty(midiservices::MIDIObjectRef object, std::string_view key) {
    std::string value;
    readStringInto(object, key, value);
    return value;
}

int32_t uniqueIDOrZero(midiservices::MIDIObjectRef object) {
    int32_t id = 0;
    // The out-parameter stays untouched when the read fails.
    midiservices::MIDIObjectGetIntegerProperty(object, midiservices::kMIDIPropertyUniqueID, &id);
    return id;
}

void readOutputEndpointFromRefCon(const void* refCon, bool refConKnown,
                                  std::optional<MIDIOutputEndpoint>& into) {
    const auto ref = static_cast<midiservices::MIDIEndpointRef>(reinterpret_cast<uintptr_t>(refCon));
    const int32_t id = refConKnown && refCon != nullptr ? uniqueIDOrZero(ref) : 0;
    if (id == 0) {
        into.reset();
        return;
    }
    if (!into) into.emplace();
    readStringInto(ref, midiservices::kMIDIPropertyName, into->name);
    readStringInto(ref, midiservices::kMIDIPropertyDisplayName, into->displayName);
    into->uniqueID = id;
    into->coreMIDIObjectRef = ref;
}

}  // namespace detail

template <MIDIIOObjectType Type>
MIDIEndpointRecord<Type>::MIDIEndpointRecord(midiservices::MIDIEndpointRef ref)
    : name(detail::stringPropertyOrEmpty(ref, midiservices::kMIDIPropertyName)),
      coreMIDIObjectRef(ref),
      displayName(detail::stringPropertyOrEmpty(ref, midiservices::kMIDIPropertyDisplayName)) {
    uniqueID = detail::uniqueIDOrZero(ref);
}

template <MIDIIOObjectType Type>
std::string MIDIEndpointRecord<Type>::debugDescription() const {
    const char* typeName =
        Type == MIDIIOObjectType::inputEndpoint ? "MIDIInputEndpoint" : "MIDIOutputEndpoint";
    return std::string(typeName) + "(name: " + midisupport::quoted(name) +
           ", uniqueID: " + std::to_string(uniqueID) + ")";
}

template struct MIDIEndpointRecord<MIDIIOObjectType::inputEndpoint>;
template struct MIDIEndpointRecord<MIDIIOObjectType::outputEndpoint>;

std::vector<MIDIInputEndpoint> currentInputEndpoints() {
    return detail::scanRecords<MIDIInputEndpoint>(midiservices::MIDIGetNumberOfDestinations,
                                              midiservices::MIDIGetDestination);
}

std::vector<MIDIOutputEndpoint> currentOutputEndpoints() {
    return detail::scanRecords<MIDIOutputEndpoint>(midiservices::MIDIGetNumberOfSources,
                                               midiservices::MIDIGetSource);
}

MIDIInputEndpointSet currentInputEndpointSet() {
    const auto list = currentInputEndpoints();
    return {list.begin(), list.end()};
}

MIDIOutputEndpointSet currentOutputEndpointSet() {
    const auto list = currentOutputEndpoints();
    return {list.begin(), list.end()};
}

std::optional<MIDIOutputEndpoint> outputEndpointFromRefCon(const void* refCon, bool refConKnown) {
    std::optional<MIDIOutputEndpoint> source;
    detail::readOutputEndpointFromRefCon(refCon, refConKnown, source);
    return source;
}

}  // namespace midiio
