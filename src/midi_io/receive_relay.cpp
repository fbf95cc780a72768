#include "midi_io/detail/receive_relay.hpp"

#include <utility>
#include <vector>

#include "midi_io/packet_data.hpp"
#include "packet_decoding.hpp"

namespace midiio::detail {

namespace ms = midiservices;

namespace {

// Batches kept for reuse; more are made while deliveries pile up and let go afterwards, and so is
// a batch that grew large (a long System Exclusive message).
constexpr size_t kSpareBatches = 8;
constexpr size_t kSpareBatchBytes = 64 * 1024;

template <class Records>
size_t heldBytes(const Records& records) {
    size_t bytes = records.capacity() * sizeof(typename Records::value_type);
    for (const auto& record : records) bytes += record.bytes.capacity();
    return bytes;
}

}  // namespace

template <class Decode>
void ReceiveRelay::submit(const std::weak_ptr<dispatch::Queue>& weakQueue, Decode&& decode) {
    const auto queue = weakQueue.lock();
    if (!queue) return;
    std::unique_ptr<Batch> batch;
    {
        std::lock_guard lock(mutex_);
        if (!spare_.empty()) {
            batch = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (!batch) batch = std::make_unique<Batch>();
    decode(*batch);
    // The batch and its task are queued together, so that each task takes the batch queued with
    // it.
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(batch));
    queue->async([relay = weak_from_this()] {
        if (const auto self = relay.lock()) self->handOver();
    });
}

void ReceiveRelay::handOver() {
    std::unique_ptr<Batch> batch;
    std::shared_ptr<MIDIReceiveHandler> handler;
    {
        std::lock_guard lock(mutex_);
        if (queued_.empty()) return;
        batch = std::move(queued_.front());
        queued_.pop_front();
        handler = handler_;
    }
    if (handler) {
        if (batch->universal) {
            handler->eventListReceived(batch->universalPackets, batch->protocol);
        } else {
            handler->packetListReceived(batch->packets);
        }
    }
    handler.reset();
    if (heldBytes(batch->packets) + heldBytes(batch->universalPackets) > kSpareBatchBytes) return;
    std::lock_guard lock(mutex_);
    if (spare_.size() < kSpareBatches) spare_.push_back(std::move(batch));
}

ms::MIDIReadBlock ReceiveRelay::readBlock(std::weak_ptr<dispatch::Queue> queue, bool refConKnown) {
    return [queue = std::move(queue), relay = weak_from_this(), refConKnown](
               const ms::MIDIPacketList* list, void* refCon) {
        const auto self = relay.lock();
        if (!list || !self) return;
        self->submit(queue, [&](Batch& batch) {
            readOutputEndpointFromRefCon(refCon, refConKnown, self->source_);
            batch.universal = false;
            decodePacketList(list, trustedLimit(list), self->source_, batch.packets);
        });
    };
}

ms::MIDIReceiveBlock ReceiveRelay::receiveBlock(std::weak_ptr<dispatch::Queue> queue,
                                                bool refConKnown) {
    return [queue = std::move(queue), relay = weak_from_this(), refConKnown](
               const ms::MIDIEventList* list, void* refCon) {
        const auto self = relay.lock();
        if (!list || !self) return;
        self->submit(queue, [&](Batch& batch) {
            readOutputEndpointFromRefCon(refCon, refConKnown, self->source_);
            batch.universal = true;
            batch.protocol = list->protocol == ms::MIDIProtocolID::midi1_0
                                 ? midicore::MIDIProtocolVersion::_1_0
                                 : midicore::MIDIProtocolVersion::_2_0;
            decodeEventList(list, trustedLimit(list), self->source_, batch.universalPackets);
        });
    };
}

void ReceiveRelay::releaseSources(const std::weak_ptr<dispatch::Queue>& weakQueue,
                                  std::vector<int32_t> uniqueIDs) {
    const auto queue = weakQueue.lock();
    if (!queue || uniqueIDs.empty()) return;
    queue->async([relay = weak_from_this(), ids = std::move(uniqueIDs)] {
        const auto self = relay.lock();
        if (!self) return;
        if (const auto handler = self->handler()) handler->releaseSources(ids);
    });
}

}  // namespace midiio::detail
