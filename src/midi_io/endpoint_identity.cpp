#include "midi_io/endpoint_identity.hpp"

#include "midi_support/strings.hpp"

namespace midiio {

namespace {

template <class T>
size_t combine(size_t seed, const T& value) {
    return seed ^ (std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace

const std::string& MIDIEndpointIdentity::text() const {
    static const std::string empty;
    switch (identityCase()) {
        case Case::name:
            return std::get<Name>(value_).value;
        case Case::displayName:
            return std::get<DisplayName>(value_).value;
        case Case::uniqueID:
            return empty;
        case Case::uniqueIDWithFallback:
            return std::get<WithFallback>(value_).fallbackDisplayName;
    }
    return empty;
}

std::optional<int32_t> MIDIEndpointIdentity::id() const {
    if (const auto* u = std::get_if<UniqueID>(&value_)) return u->value;
    if (const auto* w = std::get_if<WithFallback>(&value_)) return w->id;
    return std::nullopt;
}

std::string MIDIEndpointIdentity::description() const {
    switch (identityCase()) {
        case Case::name:
            return "Endpoint Name: " + midisupport::quoted(text());
        case Case::displayName:
            return "Endpoint Display Name: " + midisupport::quoted(text());
        case Case::uniqueID:
            return "UniqueID: " + std::to_string(*id());
        case Case::uniqueIDWithFallback:
            return "UniqueID: " + std::to_string(*id()) +
                   " with fallback EndpointDisplayName: " + midisupport::quoted(text());
    }
    return {};
}

size_t MIDIEndpointIdentity::hash() const {
    static constexpr std::string_view names[] = {"name", "displayName", "uniqueID",
                                                 "uniqueIDWithFallback"};
    size_t seed = std::hash<std::string_view>{}(names[value_.index()]);
    if (const auto id = this->id()) seed = combine(seed, *id);
    if (identityCase() != Case::uniqueID) seed = combine(seed, text());
    return seed;
}

size_t MIDIEndpointFilter::hash() const {
    size_t set = 0;
    for (const auto& identity : criteria)
        set += identity.hash();  // order-independent
    return combine(std::hash<bool>{}(owned), set);
}

MIDIEndpointIdentitySet currentInputIdentities() {
    return asIdentitySet(getSystemDestinationEndpoints());
}

MIDIEndpointIdentitySet currentOutputIdentities() {
    return asIdentitySet(getSystemSourceEndpoints());
}

std::vector<MIDIInputEndpoint> managedInputEndpoints(const MIDIManagedEndpoints& manager) {
    std::vector<MIDIInputEndpoint> records;
    for (const uint32_t ref : manager.managedInputEndpointRefs())
        records.emplace_back(ref);
    return records;
}

std::vector<MIDIOutputEndpoint> managedOutputEndpoints(const MIDIManagedEndpoints& manager) {
    std::vector<MIDIOutputEndpoint> records;
    for (const uint32_t ref : manager.managedOutputEndpointRefs())
        records.emplace_back(ref);
    return records;
}

namespace detail {

std::vector<int32_t> ownedEndpointUniqueIDs(const MIDIManagedEndpoints& manager) {
    std::vector<int32_t> ids;
    for (const auto& e : asAnyEndpoints(managedInputEndpoints(manager),
                                        MIDIIOObjectType::inputEndpoint, MIDIEndpointType::input))
        ids.push_back(e.uniqueID);
    for (const auto& e : asAnyEndpoints(managedOutputEndpoints(manager),
                                        MIDIIOObjectType::outputEndpoint, MIDIEndpointType::output))
        ids.push_back(e.uniqueID);
    return ids;
}

bool anyIdentityMatches(const MIDIEndpointIdentitySet& criteria, const AnyMIDIEndpoint& endpoint) {
    for (const auto& identity : criteria)
        if (identity.matches(endpoint)) return true;
    return false;
}

}  // namespace detail

}  // namespace midiio
