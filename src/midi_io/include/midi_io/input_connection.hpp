// An input port connected to chosen sources of the system (hardware and other software's outputs),
// handing what arrives, with each record's source endpoint, to a receive handler on the manager's
// event queue. Made and owned by the manager (MIDIManager::addInputConnection), which reconnects it
// when the MIDI setup changes.
//
// Criteria are identities of sources. In `allEndpoints` mode they start as every source of the
// system and grow as sources appear; in `definedEndpoints` mode they are the given ones. Either
// way the filter leaves identities out: with `owned`, the manager's own virtual outputs; and every
// identity in its criteria. A (re)connection touches only what changed: sources that no longer
// match are disconnected, new matches connected, and a source that stays keeps its connection, so
// a change of the setup loses nothing a source has sent. The receive handler is told of sources
// that are disconnected, so that it lets go of what it keeps for them.
//
// Thread-safe: the fields are guarded by a lock, which is also held around the services' connect
// and disconnect calls (they take no lock of ours and run no callbacks of ours).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "midi_io/detail/connection_core.hpp"
#include "midi_io/detail/receive_relay.hpp"
#include "midi_io/endpoint.hpp"
#include "midi_io/endpoint_identity.hpp"
#include "midi_io/receive_handler.hpp"

namespace midiio {

class MIDIManager;

class MIDIInputConnection final : public detail::ConnectionCore {
  public:
    using EndpointRefs = std::set<midiservices::MIDIEndpointRef>;

    // Stores the values (a new-interface `api` becomes the packet-list interface on systems older
    // than version 11) and sets the criteria: every current source in `allEndpoints` mode (the
    // given criteria are then ignored), else the given ones; the filter applies.
    MIDIInputConnection(const MIDIEndpointIdentitySet& criteria, MIDIConnectionMode mode,
                        MIDIEndpointFilter filter, const MIDIReceiver& receiver,
                        std::weak_ptr<MIDIManager> midiManager, const CoreMIDIAPIVersion& api);
    // Disconnects every source and disposes the port (failures ignored).
    ~MIDIInputConnection() override;

    MIDIEndpointIdentitySet outputsCriteria() const { return criteria(); }
    std::optional<midiservices::MIDIPortRef> coreMIDIInputPortRef() const;
    // The sources connected by the last connect.
    EndpointRefs coreMIDIOutputEndpointRefs() const;
    // The connected sources, read from the services now.
    std::vector<MIDIOutputEndpoint> endpoints() const;

    // Creates the input port in the manager's client, unless there is one. Throws MIDIIOError.
    void listen(const MIDIManager& manager);
    // Listens first if need be, then connects the port to every source that matches the
    // criteria in the manager's source list. A source that refuses is skipped. Throws MIDIIOError.
    void connect(const MIDIManager& manager);
    void refreshConnection(const MIDIManager& manager) override { connect(manager); }
    // Disconnects the given sources, or every connected one. Throws MIDIIOError when not
    // listening.
    void disconnect(const std::optional<EndpointRefs>& endpointRefs = std::nullopt);

    // Adds sources to the criteria and reconnects when the manager exists (errors ignored).
    void addOutputs(const std::vector<MIDIEndpointIdentity>& outputs);
    void addOutputs(const std::vector<MIDIOutputEndpoint>& outputs);
    // Removes sources from the criteria, disconnects them and reconnects (errors ignored).
    void removeOutputs(const std::vector<MIDIEndpointIdentity>& outputs);
    void removeOutputs(const std::vector<MIDIOutputEndpoint>& outputs);
    void removeAllOutputs();

    // A handler made from `receiver` takes over: deliveries still to come go to it.
    void setReceiver(const MIDIReceiver& receiver);

    // "MIDIInputConnection(criteria: ..., outputEndpointRefs: [ref:"name", ...], inputPortRef: ...)".
    std::string description() const;

  private:
    MIDIEndpointIdentitySet allCurrentIdentities() const override;
    std::vector<int32_t> ownedUniqueIDs(const MIDIManager& manager) const override;
    // Disconnects `refs`; the unique IDs of those among them that were connected.
    std::vector<int32_t> disconnectLocked(const EndpointRefs& refs);

    std::shared_ptr<detail::ReceiveRelay> relay_;
    std::optional<midiservices::MIDIPortRef> port_;
    std::weak_ptr<dispatch::Queue> queue_;  // the manager's event queue, from listen()
    EndpointRefs connected_;
    std::map<midiservices::MIDIEndpointRef, int32_t> sourceIDs_;  // connected sources' unique IDs
};

}  // namespace midiio
