// Naming endpoints without holding references (which change as devices come and go): identities
// by name, display name, unique ID, or unique ID with a display-name fallback; the filter that
// leaves out the manager's own endpoints or keeps those matching a set of identities; and the
// connection modes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include "midi_io/lookups.hpp"
#include "midi_io/managed_endpoints.hpp"
#include "midi_io/object_model.hpp"

namespace midiio {

class MIDIEndpointIdentity {
  public:
    enum class Case : uint8_t { name, displayName, uniqueID, uniqueIDWithFallback };

    static MIDIEndpointIdentity name(std::string name) {
        return MIDIEndpointIdentity(Name{std::move(name)});
    }
    static MIDIEndpointIdentity displayName(std::string displayName) {
        return MIDIEndpointIdentity(DisplayName{std::move(displayName)});
    }
    static MIDIEndpointIdentity uniqueID(int32_t id) { return MIDIEndpointIdentity(UniqueID{id}); }
    static MIDIEndpointIdentity uniqueIDWithFallback(int32_t id, std::string fallbackDisplayName) {
        return MIDIEndpointIdentity(WithFallback{id, std::move(fallbackDisplayName)});
    }

    Case identityCase() const { return static_cast<Case>(value_.index()); }
    // The name or display name of the string cases, the fallback display name of
    // uniqueIDWithFallback; empty for uniqueID.
    const std::string& text() const;
    // The ID of the two unique-ID cases; none for the others.
    std::optional<int32_t> id() const;

    // Whether `endpoint` matches; compares the stored strings only.
    template <class Endpoint>
    bool matches(const Endpoint& endpoint) const;

    // "Endpoint Name: "Keys"", "Endpoint Display Name: "Keys"", "UniqueID: 5",
    // "UniqueID: 5 with fallback EndpointDisplayName: "Keys"".
    std::string description() const;

    friend bool operator==(const MIDIEndpointIdentity&, const MIDIEndpointIdentity&) = default;
    // The case name, then the payload.
    size_t hash() const;

  private:
    struct Name {
        std::string value;
        friend bool operator==(const Name&, const Name&) = default;
    };
    struct DisplayName {
        std::string value;
        friend bool operator==(const DisplayName&, const DisplayName&) = default;
    };
    struct UniqueID {
        int32_t value;
        friend bool operator==(const UniqueID&, const UniqueID&) = default;
    };
    struct WithFallback {
        int32_t id;
        std::string fallbackDisplayName;
        friend bool operator==(const WithFallback&, const WithFallback&) = default;
    };
    template <class T>
    explicit MIDIEndpointIdentity(T value) : value_(std::move(value)) {}

    std::variant<Name, DisplayName, UniqueID, WithFallback> value_;
};

}  // namespace midiio

template <>
struct std::hash<midiio::MIDIEndpointIdentity> {
    size_t operator()(const midiio::MIDIEndpointIdentity& i) const { return i.hash(); }
};

namespace midiio {

using MIDIEndpointIdentitySet = std::unordered_set<MIDIEndpointIdentity>;

// ---- Lookups on endpoint collections ----

template <class Range>
auto firstWhereDisplayName(const Range& endpoints, std::string_view displayName,
                           bool ignoringEmpty = false) {
    using Element = std::decay_t<decltype(*std::begin(endpoints))>;
    for (const auto& e : endpoints)
        if (detail::nameMatches(detail::displayNameOf(e), displayName, ignoringEmpty))
            return std::optional<Element>(e);
    return std::optional<Element>();
}
template <class Range>
bool containsWhereDisplayName(const Range& endpoints, std::string_view displayName,
                              bool ignoringEmpty = false) {
    return firstWhereDisplayName(endpoints, displayName, ignoringEmpty).has_value();
}
template <class Range>
auto filterWhereDisplayName(const Range& endpoints, std::string_view displayName,
                            bool ignoringEmpty = false) {
    using Element = std::decay_t<decltype(*std::begin(endpoints))>;
    std::vector<Element> matching;
    for (const auto& e : endpoints)
        if (detail::nameMatches(detail::displayNameOf(e), displayName, ignoringEmpty))
            matching.push_back(e);
    return matching;
}
// The first endpoint with the unique ID anywhere in the collection; only when there is none, the
// first whose display name is the fallback.
template <class Range>
auto firstWhereUniqueID(const Range& endpoints, int32_t uniqueID,
                        std::string_view fallbackDisplayName, bool ignoringEmpty = true) {
    if (auto byID = firstWhereUniqueID(endpoints, uniqueID)) return byID;
    return firstWhereDisplayName(endpoints, fallbackDisplayName, ignoringEmpty);
}
template <class Range>
bool containsWhereUniqueID(const Range& endpoints, int32_t uniqueID,
                           std::string_view fallbackDisplayName, bool ignoringEmpty = true) {
    return firstWhereUniqueID(endpoints, uniqueID, fallbackDisplayName, ignoringEmpty).has_value();
}
// All endpoints in ascending display-name order (locale-aware, case-insensitive).
template <class Range>
auto sortedByDisplayName(const Range& endpoints) {
    return detail::sortedBy(
        endpoints, [](const auto& e) -> std::string_view { return detail::displayNameOf(e); });
}

// The first endpoint the identity selects.
template <class Range>
auto firstMatching(const Range& endpoints, const MIDIEndpointIdentity& identity) {
    using C = MIDIEndpointIdentity::Case;
    switch (identity.identityCase()) {
        case C::name:
            return firstWhereName(endpoints, identity.text(), false);
        case C::displayName:
            return firstWhereDisplayName(endpoints, identity.text(), false);
        case C::uniqueID:
            return firstWhereUniqueID(endpoints, *identity.id());
        case C::uniqueIDWithFallback:
            break;
    }
    return firstWhereUniqueID(endpoints, *identity.id(), identity.text(), true);
}

template <class Endpoint>
bool MIDIEndpointIdentity::matches(const Endpoint& endpoint) const {
    const Endpoint one[] = {endpoint};
    return firstMatching(one, *this).has_value();
}

// uniqueIDWithFallback with the display name when it is not empty, else uniqueID.
template <class Endpoint>
MIDIEndpointIdentity asIdentity(const Endpoint& endpoint) {
    const auto& displayName = detail::displayNameOf(endpoint);
    if (displayName.empty()) return MIDIEndpointIdentity::uniqueID(detail::uniqueIDOf(endpoint));
    return MIDIEndpointIdentity::uniqueIDWithFallback(detail::uniqueIDOf(endpoint), displayName);
}

// The uniqueID identity of each endpoint, in order / as a set.
template <class Range>
std::vector<MIDIEndpointIdentity> asIdentities(const Range& endpoints) {
    std::vector<MIDIEndpointIdentity> identities;
    for (const auto& e : endpoints)
        identities.push_back(MIDIEndpointIdentity::uniqueID(detail::uniqueIDOf(e)));
    return identities;
}
template <class Range>
MIDIEndpointIdentitySet asIdentitySet(const Range& endpoints) {
    const auto list = asIdentities(endpoints);
    return {list.begin(), list.end()};
}
// The uniqueID identities of every current destination / source: the criteria of a connection
// to all endpoints.
MIDIEndpointIdentitySet currentInputIdentities();
MIDIEndpointIdentitySet currentOutputIdentities();

// ---- Filter and modes ----

struct MIDIEndpointFilter {
    bool owned = false;
    MIDIEndpointIdentitySet criteria;

    MIDIEndpointFilter() = default;
    // From a list of identities write MIDIEndpointFilter(owned, {a, b}); duplicates collapse.
    MIDIEndpointFilter(bool owned, MIDIEndpointIdentitySet criteria)
        : owned(owned), criteria(std::move(criteria)) {}
    // One uniqueID identity per endpoint.
    template <class Range>
    static MIDIEndpointFilter ofEndpoints(bool owned, const Range& endpoints) {
        return MIDIEndpointFilter(owned, asIdentitySet(endpoints));
    }

    // Keeps everything (`owned` false, no criteria).
    static MIDIEndpointFilter defaultFilter() { return {}; }
    // Leaves out the manager's own endpoints (`owned` true, no criteria).
    static MIDIEndpointFilter ownedFilter() {
        return MIDIEndpointFilter(true, MIDIEndpointIdentitySet{});
    }

    friend bool operator==(const MIDIEndpointFilter&, const MIDIEndpointFilter&) = default;
    // `owned`, then the set (independent of its order).
    size_t hash() const;
};

enum class MIDIConnectionMode : uint8_t { definedEndpoints, allEndpoints };

namespace detail {
// The unique IDs of the manager's own endpoints as the services report them now (inputs first).
std::vector<int32_t> ownedEndpointUniqueIDs(const MIDIManagedEndpoints& manager);
bool anyIdentityMatches(const MIDIEndpointIdentitySet& criteria, const AnyMIDIEndpoint& endpoint);
}  // namespace detail

// The endpoints the filter keeps, order kept. With `include` true: those that some criterion
// matches (any, when the criteria are empty) and that the manager does not own (when `owned`);
// with `include` false the other way round: those no criterion matches and that the manager owns.
// A null manager owns nothing.
template <class Range>
auto filterEndpoints(const Range& endpoints, const MIDIEndpointFilter& filter,
                     const MIDIManagedEndpoints* manager, bool include) {
    using Element = std::decay_t<decltype(*std::begin(endpoints))>;
    std::vector<Element> kept;
    for (const auto& e : endpoints) {
        const AnyMIDIEndpoint any(e);
        if (!filter.criteria.empty() && detail::anyIdentityMatches(filter.criteria, any) != include)
            continue;
        if (filter.owned) {
            // Rebuilt for each endpoint: the manager's endpoints may change meanwhile.
            const auto ownedIDs =
                manager ? detail::ownedEndpointUniqueIDs(*manager) : std::vector<int32_t>{};
            const bool isOwned =
                std::find(ownedIDs.begin(), ownedIDs.end(), any.uniqueID) != ownedIDs.end();
            if (isOwned == include) continue;
        }
        kept.push_back(e);
    }
    return kept;
}

}  // namespace midiio

template <>
struct std::hash<midiio::MIDIEndpointFilter> {
    size_t operator()(const midiio::MIDIEndpointFilter& f) const { return f.hash(); }
};
