#include "midi_ui/endpoint_entries.hpp"

#include <algorithm>

#include "midi_io/lookups.hpp"

namespace midiui {

std::string missingEntryLabel(const std::optional<std::string>& cachedName, bool showIcon) {
    if (showIcon) return cachedName.value_or("Missing");
    return cachedName.value_or("") + " (Missing)";
}

template <class Endpoint>
EndpointEntries<Endpoint>::EndpointEntries(
    std::shared_ptr<const midiio::MIDIManagedEndpoints> manager, std::vector<Endpoint> endpoints,
    midiio::MIDIEndpointFilter filter, SelectionBinding selection,
    CachedNameBinding cachedSelectionName, bool showIcons)
    : manager_(std::move(manager)), endpoints_(std::move(endpoints)), filter_(std::move(filter)),
      selection_(std::move(selection)), cachedSelectionName_(std::move(cachedSelectionName)),
      showIcons_(showIcons) {
    if (!manager_)
        throw EndpointViewError(EndpointViewError::Case::missingManager,
                                "An endpoint view needs a MIDI manager to list endpoints from.");
    ids_ = buildEntryIDs(endpoints_, false);
    seenSelection_ = selection_.get();
}

template <class Endpoint>
std::vector<int32_t> EndpointEntries<Endpoint>::buildEntryIDs(
    const std::vector<Endpoint>& endpoints, bool applyFilter) const {
    std::vector<int32_t> ids;
    const auto add = [&ids](const auto& list) {
        ids.reserve(list.size() + 1);
        for (const auto& e : list)
            ids.push_back(e.id());
    };
    if (applyFilter)
        add(midiio::filterEndpoints(endpoints, filter_, manager_.get(), true));
    else
        add(endpoints);
    if (const auto selected = selection_.get();
        selected && std::find(ids.begin(), ids.end(), *selected) == ids.end())
        ids.insert(ids.begin(), *selected);
    return ids;
}

template <class Endpoint>
void EndpointEntries<Endpoint>::refreshEntryIDs(const std::vector<Endpoint>& endpoints) {
    ids_ = buildEntryIDs(endpoints, true);
}

template <class Endpoint>
std::optional<Endpoint> EndpointEntries<Endpoint>::entryEndpoint(int32_t id) const {
    return midiio::firstWhereUniqueID(endpoints_, id);
}

template <class Endpoint>
void EndpointEntries<Endpoint>::selectionDidChange() {
    refreshEntryIDs(endpoints_);
    const auto selected = selection_.get();
    seenSelection_ = selected;
    if (!selected) {
        cachedSelectionName_.set(std::nullopt);
        return;
    }
    const auto endpoint = entryEndpoint(*selected);
    if (!endpoint) return;
    if (auto name = endpoint->currentDisplayName()) cachedSelectionName_.set(std::move(name));
}

template <class Endpoint>
std::vector<EndpointEntry<Endpoint>> EndpointEntries<Endpoint>::entries() const {
    std::vector<EndpointEntry<Endpoint>> entries;
    entries.reserve(ids_.size());
    for (const int32_t id : ids_) {
        EndpointEntry<Endpoint> entry{id, entryEndpoint(id), {}};
        entry.label = entry.endpoint ? entry.endpoint->displayName
                                     : missingEntryLabel(cachedSelectionName_.get(), showIcons_);
        entries.push_back(std::move(entry));
    }
    return entries;
}

template <class Endpoint>
void EndpointEntries<Endpoint>::appear() {
    refreshEntryIDs(endpoints_);
}

template <class Endpoint>
void EndpointEntries<Endpoint>::setFilter(midiio::MIDIEndpointFilter filter) {
    if (filter == filter_) return;
    filter_ = std::move(filter);
    refreshEntryIDs(endpoints_);
}

template <class Endpoint>
void EndpointEntries<Endpoint>::setEndpoints(std::vector<Endpoint> endpoints) {
    // Compared by unique ID: a list that differs only in display names keeps the entry IDs, but
    // its names are the ones drawn from now on.
    const bool changed = endpoints != endpoints_;
    endpoints_ = std::move(endpoints);
    if (changed) refreshEntryIDs(endpoints_);
}

template <class Endpoint>
void EndpointEntries<Endpoint>::setSelection(std::optional<int32_t> selection) {
    selection_.set(selection);
    checkSelection();
}

template <class Endpoint>
bool EndpointEntries<Endpoint>::checkSelection() {
    if (selection_.get() == seenSelection_) return false;
    selectionDidChange();
    return true;
}

template class EndpointEntries<midiio::MIDIInputEndpoint>;
template class EndpointEntries<midiio::MIDIOutputEndpoint>;

}  // namespace midiui
