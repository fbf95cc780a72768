// What the input and output connections share: applying the filter to criteria, resolving
// criteria against an endpoint list, and the texts of their descriptions.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "midi_io/endpoint_identity.hpp"

namespace midiio::detail {

// `criteria` less the unique-ID identities of `ownedIDs` (when the filter has `owned`) and less
// every identity in the filter's criteria.
MIDIEndpointIdentitySet applyFilter(MIDIEndpointIdentitySet criteria,
                                    const MIDIEndpointFilter& filter,
                                    const std::vector<int32_t>& ownedIDs);

// The references of the first endpoint each identity selects; unmatched identities give none.
template <class Endpoints>
std::set<uint32_t> resolve(const Endpoints& endpoints, const MIDIEndpointIdentitySet& criteria) {
    std::set<uint32_t> refs;
    for (const auto& identity : criteria)
        if (const auto found = firstMatching(endpoints, identity)) refs.insert(found->coreMIDIObjectRef);
    return refs;
}

// "[<identity>, ...]" and "[<ref>:"<name>", ...]" ("nil" for a name that cannot be read).
std::string describeCriteria(const MIDIEndpointIdentitySet& criteria);
std::string describeRefs(const std::set<uint32_t>& refs);

}  // namespace midiio::detail
