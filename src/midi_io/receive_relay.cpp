#include "midi_io/detail/receive_relay.hpp"

#include <utility>
#include <vector>

#include "midi_io/packet_data.hpp"

namespace midiio::detail {

namespace ms = midiservices;

namespace {

// Submits `deliver(handler)` for the relay's current handler to the queue, when both still exist.
template <class Deliver>
void submit(const std::weak_ptr<dispatch::Queue>& weakQueue,
            const std::weak_ptr<ReceiveRelay>& weakRelay, Deliver deliver) {
    const auto queue = weakQueue.lock();
    if (!queue) return;
    queue->async([weakRelay, deliver = std::move(deliver)] {
        const auto relay = weakRelay.lock();
        if (!relay) return;
        if (const auto handler = relay->handler()) deliver(*handler);
    });
}

}  // namespace

ms::MIDIReadBlock ReceiveRelay::readBlock(std::weak_ptr<dispatch::Queue> queue, bool refConKnown) {
    return [queue = std::move(queue), relay = weak_from_this(), refConKnown](
               const ms::MIDIPacketList* list, void* refCon) {
        if (!list) return;
        submit(queue, relay, [packets = packetDataArray(list, refCon, refConKnown)](
                                 MIDIReceiveHandler& handler) {
            handler.packetListReceived(packets);
        });
    };
}

ms::MIDIReceiveBlock ReceiveRelay::receiveBlock(std::weak_ptr<dispatch::Queue> queue,
                                                bool refConKnown) {
    return [queue = std::move(queue), relay = weak_from_this(), refConKnown](
               const ms::MIDIEventList* list, void* refCon) {
        if (!list) return;
        const auto protocol = list->protocol == ms::MIDIProtocolID::midi1_0
                                  ? midicore::MIDIProtocolVersion::_1_0
                                  : midicore::MIDIProtocolVersion::_2_0;
        submit(queue, relay,
               [packets = universalPacketDataArray(list, refCon, refConKnown),
                protocol](MIDIReceiveHandler& handler) {
                   handler.eventListReceived(packets, protocol);
               });
    };
}

}  // namespace midiio::detail
