#include "connection_criteria.hpp"

#include "midiservices/services.hpp"

namespace midiio::detail {

namespace ms = midiservices;

MIDIEndpointIdentitySet applyFilter(MIDIEndpointIdentitySet criteria,
                                    const MIDIEndpointFilter& filter,
                                    const std::vector<int32_t>& ownedIDs) {
    if (filter.owned)
        for (const auto id : ownedIDs) criteria.erase(MIDIEndpointIdentity::uniqueID(id));
    if (!filter.criteria.empty())
        std::erase_if(criteria,
                      [&filter](const auto& identity) { return filter.criteria.count(identity) != 0; });
    return criteria;
}

std::string describeCriteria(const MIDIEndpointIdentitySet& criteria) {
    std::string text = "[";
    for (const auto& identity : criteria)
        text += (text.size() > 1 ? ", " : "") + identity.description();
    return text + "]";
}

std::string describeRefs(const std::set<uint32_t>& refs) {
    std::string text = "[";
    for (const auto ref : refs) {
        std::string name;
        const bool named =
            ms::MIDIObjectGetStringProperty(ref, ms::kMIDIPropertyName, &name) == ms::noErr;
        text += (text.size() > 1 ? ", " : "") + std::to_string(ref) + ":" +
                (named ? "\"" + name + "\"" : std::string("nil"));
    }
    return text + "]";
}

}  // namespace midiio::detail
