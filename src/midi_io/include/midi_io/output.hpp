// A virtual MIDI source published under the manager's client: other software can listen to it,
// and what the program sends through it appears as coming from this source. Made and owned by the
// manager (MIDIManager::addOutput); releasing it disposes the endpoint.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_io/detail/virtual_endpoint.hpp"
#include "midi_io/endpoint.hpp"

namespace midiio {

class MIDIManager;

class MIDIOutput final : public detail::VirtualEndpointObject<MIDIOutputEndpoint> {
  public:
    // Stores the values; nothing is created in the services yet.
    MIDIOutput(std::string name, std::optional<int32_t> uniqueID,
               std::weak_ptr<MIDIManager> midiManager, const CoreMIDIAPIVersion& api)
        : VirtualEndpointObject(std::move(name), uniqueID, std::move(midiManager), api) {}

    // Creates the source in the manager's client, with the unique-ID rules of the virtual input.
    // Throws MIDIIOError.
    void create(const MIDIManager& manager);

    // The source's endpoint reference; none before creation and after disposal.
    std::optional<uint32_t> coreMIDIOutputPortRef() const { return endpoint_.ref(); }

    // Publishes events on the source, as MIDI 1.0 bytes or UMP in the interface of `api()`.
    // Throws MIDIIOError: internalInconsistency "Port reference is nil." without a source,
    // osStatus when the services refuse (sending stops there); or the packet builders' errors.
    void send(const midicore::MIDIEvent& event) const;
    void send(const std::vector<midicore::MIDIEvent>& events) const;

    // "MIDIOutput(name: "<name>", uniqueID: <id or nil>)".
    std::string description() const { return endpoint_.description("MIDIOutput"); }
};

}  // namespace midiio
