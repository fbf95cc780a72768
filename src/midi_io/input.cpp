#include "midi_io/input.hpp"

#include "midi_io/manager.hpp"

namespace midiio {

namespace ms = midiservices;

MIDIInput::MIDIInput(std::string name, std::optional<int32_t> uniqueID,
                     const MIDIReceiver& receiver, std::weak_ptr<MIDIManager> midiManager,
                     const CoreMIDIAPIVersion& api)
    : VirtualEndpointObject(std::move(name), uniqueID, std::move(midiManager), api),
      relay_(std::make_shared<detail::ReceiveRelay>(receiver.makeReceiveHandler())) {}

void MIDIInput::create(const MIDIManager& manager) {
    const std::weak_ptr<dispatch::Queue> queue = manager.eventQueue();
    const auto client = manager.coreMIDIClientRef();
    if (const auto protocol = api_.protocol()) {
        detail::requireNewCoreMIDIAPI();
        endpoint_.create(manager, [&](ms::MIDIEndpointRef* ref) {
            return ms::MIDIDestinationCreateWithProtocol(
                client, endpoint_.name(), detail::servicesProtocol(*protocol), ref,
                relay_->receiveBlock(queue, false));
        });
    } else {
        endpoint_.create(manager, [&](ms::MIDIEndpointRef* ref) {
            return ms::MIDIDestinationCreateWithBlock(client, endpoint_.name(), ref,
                                                      relay_->readBlock(queue, false));
        });
    }
}

void MIDIInput::setReceiver(const MIDIReceiver& receiver) {
    relay_->setHandler(receiver.makeReceiveHandler());
}

}  // namespace midiio
