// The state behind every endpoint list and picker, without any GUI toolkit: which entries are
// shown (the unique IDs of the filtered endpoints, with the chosen endpoint in front when it is
// not among them), how an entry finds its endpoint, how the chosen endpoint's cached name follows
// the choice, and how a missing entry is labelled.
//
// The choice is kept as the chosen endpoint's unique ID together with a cached display name, both
// owned by the embedding code and reached through bindings. A chosen endpoint that leaves the
// manager's list stays chosen and stays visible as a missing entry under its last known name.
//
// Main thread only, like the views that hold it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "midi_io/endpoint.hpp"
#include "midi_io/endpoint_identity.hpp"
#include "midi_io/managed_endpoints.hpp"

namespace midiui {

// A read-write handle on a value that lives with the embedding code.
template <class T>
class Binding {
  public:
    using Getter = std::function<T()>;
    using Setter = std::function<void(const T&)>;

    Binding(Getter get, Setter set) : get_(std::move(get)), set_(std::move(set)) {}
    // A value shared with the embedding code.
    static Binding to(std::shared_ptr<T> storage) {
        return Binding([storage] { return *storage; },
                       [storage](const T& value) { *storage = value; });
    }

    T get() const { return get_(); }
    void set(const T& value) const { set_(value); }

  private:
    Getter get_;
    Setter set_;
};

using SelectionBinding = Binding<std::optional<int32_t>>;
using CachedNameBinding = Binding<std::optional<std::string>>;

// Refused arguments of the endpoint views.
class EndpointViewError : public std::invalid_argument {
  public:
    enum class Case { missingManager };
    EndpointViewError(Case c, const std::string& message)
        : std::invalid_argument(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// The text of a missing entry: with icons the cached name, or "Missing" when there is none (the
// warning icon marks the entry); without icons the cached name (empty when there is none)
// followed by " (Missing)".
std::string missingEntryLabel(const std::optional<std::string>& cachedName, bool showIcon);

// One entry as drawn: its ID, its endpoint (none for a missing entry) and its label.
template <class Endpoint>
struct EndpointEntry {
    int32_t id = 0;
    std::optional<Endpoint> endpoint;
    std::string label;
    bool missing() const { return !endpoint.has_value(); }
};

// The entry state of one view over MIDIInputEndpoint or MIDIOutputEndpoint.
template <class Endpoint>
class EndpointEntries {
  public:
    // Throws EndpointViewError (missingManager) when `manager` is null: the owned filter needs it.
    // The first entry IDs are built without the filter; showing the view applies it.
    EndpointEntries(std::shared_ptr<const midiio::MIDIManagedEndpoints> manager,
                    std::vector<Endpoint> endpoints, midiio::MIDIEndpointFilter filter,
                    SelectionBinding selection, CachedNameBinding cachedSelectionName,
                    bool showIcons);

    const std::vector<Endpoint>& endpoints() const { return endpoints_; }
    const midiio::MIDIEndpointFilter& filter() const { return filter_; }
    bool showIcons() const { return showIcons_; }
    const std::vector<int32_t>& ids() const { return ids_; }
    std::optional<int32_t> selection() const { return selection_.get(); }
    std::optional<std::string> cachedSelectionName() const { return cachedSelectionName_.get(); }

    // The unique IDs of `endpoints` (filtered when `applyFilter`), in order, preceded by the
    // selection when it holds an ID that is not among them. Changes nothing.
    std::vector<int32_t> buildEntryIDs(const std::vector<Endpoint>& endpoints,
                                       bool applyFilter) const;
    // Stores the filtered entry IDs of `endpoints`.
    void refreshEntryIDs(const std::vector<Endpoint>& endpoints);
    // The first of the unfiltered endpoints with the unique ID, or none.
    std::optional<Endpoint> entryEndpoint(int32_t id) const;
    // Rebuilds the entry IDs and lets the cached name follow the selection: none for no
    // selection; the chosen endpoint's current display name when it is listed and the name can
    // be read; unchanged otherwise.
    void selectionDidChange();

    // The entries in display order, labelled.
    std::vector<EndpointEntry<Endpoint>> entries() const;

    // ---- The triggers ----
    // The view is shown: rebuilds the entry IDs.
    void appear();
    // A new filter; rebuilds when it differs from the current one.
    void setFilter(midiio::MIDIEndpointFilter filter);
    // A new endpoint list; rebuilds when it differs by unique IDs (display names alone do not).
    void setEndpoints(std::vector<Endpoint> endpoints);
    // Writes the selection through the binding, then reacts to it as to any selection change.
    void setSelection(std::optional<int32_t> selection);
    // Reacts when the bound selection differs from the one last seen (the embedding code may
    // have changed its value directly). Returns whether it did.
    bool checkSelection();

  private:
    std::shared_ptr<const midiio::MIDIManagedEndpoints> manager_;
    std::vector<Endpoint> endpoints_;
    midiio::MIDIEndpointFilter filter_;
    SelectionBinding selection_;
    CachedNameBinding cachedSelectionName_;
    bool showIcons_;
    std::vector<int32_t> ids_;
    std::optional<int32_t> seenSelection_;
};

extern template class EndpointEntries<midiio::MIDIInputEndpoint>;
extern template class EndpointEntries<midiio::MIDIOutputEndpoint>;

}  // namespace midiui
