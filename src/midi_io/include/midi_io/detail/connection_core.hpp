// What the input and output connections share: their interface version, the criteria of endpoint
// identities with the mode and filter that shape them, and refreshing through the manager. The
// input connection's criteria name sources, the output connection's destinations.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "midi_io/api_version.hpp"
#include "midi_io/endpoint_identity.hpp"

namespace midiio {
class MIDIManager;
}

namespace midiio::detail {

class ConnectionCore : public MIDIManaged {
  public:
    CoreMIDIAPIVersion api() const override { return api_; }
    midicore::MIDIProtocolVersion midiProtocol() const { return api_.midiProtocol(); }

    MIDIConnectionMode mode() const;
    // A different mode recomputes the criteria (every current endpoint, or the current set
    // filtered again) and refreshes when the manager exists; the same mode does nothing.
    void setMode(MIDIConnectionMode mode);
    MIDIEndpointFilter filter() const;
    // A different filter filters the criteria again and refreshes when the manager exists.
    void setFilter(MIDIEndpointFilter filter);

    // The criteria become `criteria` (or stay as they are, when none) with the filter applied:
    // with `owned`, the unique IDs of the manager's own endpoints of the kind go; so does every
    // identity in the filter's criteria.
    void updateCriteria(const std::optional<MIDIEndpointIdentitySet>& criteria);

    // Resolves or reconnects the endpoints the criteria name. Throws MIDIIOError.
    virtual void refreshConnection(const MIDIManager& manager) = 0;

  protected:
    ConnectionCore(MIDIConnectionMode mode, MIDIEndpointFilter filter,
                   std::weak_ptr<MIDIManager> midiManager, const CoreMIDIAPIVersion& api)
        : midiManager_(std::move(midiManager)),
          api_(api.availableOrLegacy()),
          mode_(mode),
          filter_(std::move(filter)) {}

    // Every current endpoint of the kind, as unique-ID identities.
    virtual MIDIEndpointIdentitySet allCurrentIdentities() const = 0;
    // The unique IDs of the manager's own endpoints of the kind.
    virtual std::vector<int32_t> ownedUniqueIDs(const MIDIManager& manager) const = 0;

    // Sets the first criteria: every current endpoint in `allEndpoints` mode, else `given`.
    void initializeCriteria(const MIDIEndpointIdentitySet& given);
    MIDIEndpointIdentitySet criteria() const;
    // Adds or removes identities (then filters); no refresh.
    void addToCriteria(const std::vector<MIDIEndpointIdentity>& identities);
    void removeFromCriteria(const std::vector<MIDIEndpointIdentity>& identities);
    // Refreshes when the manager still exists; errors are ignored (the next refresh tries again).
    void refreshIfManaged();

    void updateCriteriaLocked(const std::optional<MIDIEndpointIdentitySet>& criteria);

    std::weak_ptr<MIDIManager> midiManager_;
    CoreMIDIAPIVersion api_;
    mutable std::mutex mutex_;  // guards the fields below and those of the connection
    MIDIEndpointIdentitySet criteria_;
    MIDIConnectionMode mode_;
    MIDIEndpointFilter filter_;
};

}  // namespace midiio::detail
