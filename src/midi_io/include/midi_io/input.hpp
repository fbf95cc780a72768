// A virtual MIDI destination published under the manager's client: other software can send to it,
// and what arrives is decoded and handed to a receive handler on the manager's event queue. Made
// and owned by the manager (MIDIManager::addInput); releasing it disposes the endpoint.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "midi_io/detail/receive_relay.hpp"
#include "midi_io/detail/virtual_endpoint.hpp"
#include "midi_io/endpoint.hpp"
#include "midi_io/receive_handler.hpp"

namespace midiio {

class MIDIManager;

class MIDIInput final : public detail::VirtualEndpointObject<MIDIInputEndpoint> {
  public:
    // Stores the values; nothing is created in the services yet.
    MIDIInput(std::string name, std::optional<int32_t> uniqueID, const MIDIReceiver& receiver,
              std::weak_ptr<MIDIManager> midiManager, const CoreMIDIAPIVersion& api);
    // The endpoint goes before the relay, so no delivery can start once the relay is gone.
    ~MIDIInput() override { dispose(); }

    // Creates the destination in the manager's client (see detail::VirtualEndpoint::create for
    // the unique-ID rules). Throws MIDIIOError.
    void create(const MIDIManager& manager);

    // The destination's endpoint reference; none before creation and after disposal.
    std::optional<uint32_t> coreMIDIInputPortRef() const { return endpoint_.ref(); }

    // A handler made from `receiver` takes over: deliveries still to come go to it.
    void setReceiver(const MIDIReceiver& receiver);

    // "MIDIInput(name: "<name>", uniqueID: <id or nil>)".
    std::string description() const { return endpoint_.description("MIDIInput"); }

  private:
    std::shared_ptr<detail::ReceiveRelay> relay_;
};

}  // namespace midiio
