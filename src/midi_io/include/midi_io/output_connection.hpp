// An output port that sends to chosen destinations of the system. The sending twin of the input
// connection: the same criteria, modes and filter (with `owned`, the manager's own virtual inputs
// are left out), but instead of connecting sources it resolves the destinations each send goes to.
// Made and owned by the manager (MIDIManager::addOutputConnection), which resolves it again when
// the MIDI setup changes.
//
// Thread-safe: sends may come from any thread while a refresh replaces the destination set whole.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_io/detail/connection_core.hpp"
#include "midi_io/endpoint.hpp"
#include "midi_io/endpoint_identity.hpp"

namespace midiio {

class MIDIManager;

class MIDIOutputConnection final : public detail::ConnectionCore {
  public:
    using EndpointRefs = std::set<midiservices::MIDIEndpointRef>;

    // Stores the values (a new-interface `api` becomes the packet-list interface on systems older
    // than version 11) and sets the criteria: every current destination in `allEndpoints` mode,
    // else the given ones; the filter applies.
    MIDIOutputConnection(const MIDIEndpointIdentitySet& criteria, MIDIConnectionMode mode,
                         MIDIEndpointFilter filter, std::weak_ptr<MIDIManager> midiManager,
                         const CoreMIDIAPIVersion& api);
    // Disposes the port (status ignored).
    ~MIDIOutputConnection() override;

    MIDIEndpointIdentitySet inputsCriteria() const { return criteria(); }
    std::optional<midiservices::MIDIPortRef> coreMIDIOutputPortRef() const;
    // The destinations resolved by the last refresh.
    EndpointRefs coreMIDIInputEndpointRefs() const;
    // The resolved destinations, read from the services now.
    std::vector<MIDIInputEndpoint> endpoints() const;

    // Creates the output port in the manager's client unless there is one. Throws MIDIIOError
    // (osStatus) when the services refuse, leaving no port.
    void createPort(const MIDIManager& manager);
    // The destinations become those that match the criteria in the manager's destination list.
    void resolveEndpoints(const MIDIManager& manager);
    void refreshConnection(const MIDIManager& manager) override { resolveEndpoints(manager); }

    void addInputs(const std::vector<MIDIEndpointIdentity>& inputs);
    void addInputs(const std::vector<MIDIInputEndpoint>& inputs);
    void removeInputs(const std::vector<MIDIEndpointIdentity>& inputs);
    void removeInputs(const std::vector<MIDIInputEndpoint>& inputs);
    void removeAllInputs();

    // Sends to every resolved destination; a destination that refuses is skipped. Throws
    // MIDIIOError (internalInconsistency) "Output port reference is nil." without a port, or the
    // packet builders' errors.
    void send(const midicore::MIDIEvent& event) const;
    void send(const std::vector<midicore::MIDIEvent>& events) const;

    // "MIDIOutputConnection(criteria: [...], inputEndpointRefs: [ref:"name", ...], outputPortRef: ...)".
    std::string description() const;

  private:
    MIDIEndpointIdentitySet allCurrentIdentities() const override;
    std::vector<int32_t> ownedUniqueIDs(const MIDIManager& manager) const override;
    template <class Send>
    void sendWith(const Send& send) const;

    std::optional<midiservices::MIDIPortRef> port_;
    EndpointRefs resolved_;
    // The same destinations, as sends take them (replaced whole by each refresh).
    std::shared_ptr<const std::vector<midiservices::MIDIEndpointRef>> sendTo_;
};

}  // namespace midiio
