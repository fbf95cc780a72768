// The road from the services' receive blocks to a receive handler, shared by the virtual input and
// the input connection.
//
// A receive block runs on the services' delivery thread with a list that is valid only during the
// call: it copies the list into owned records there and submits one task per list to the manager's
// event queue, which it holds weakly. The task asks the relay, also held weakly, for its current
// handler and hands it the records. So the handler only runs on the event queue; replacing the
// handler redirects the deliveries still to come; and once the owning object (with its relay) is
// gone, tasks still queued find nothing and drop their records.
//
// The records travel in batches that the relay keeps for reuse: a list is decoded into a spare
// batch (overwriting its records, whose byte arrays keep their capacity), queued, and the batch
// comes back once its task has handed it over. A steady stream of short messages therefore costs
// no allocation here beyond the task itself.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "dispatch/queue.hpp"
#include "midi_io/receive_handler.hpp"
#include "midiservices/services.hpp"

namespace midiio::detail {

class ReceiveRelay : public std::enable_shared_from_this<ReceiveRelay> {
  public:
    explicit ReceiveRelay(std::shared_ptr<MIDIReceiveHandler> handler)
        : handler_(std::move(handler)) {}

    std::shared_ptr<MIDIReceiveHandler> handler() const {
        std::lock_guard lock(mutex_);
        return handler_;
    }
    // The old handler is released by the caller, or by a task still using it when it ends.
    void setHandler(std::shared_ptr<MIDIReceiveHandler> handler) {
        std::shared_ptr<MIDIReceiveHandler> old;
        std::lock_guard lock(mutex_);
        old = std::exchange(handler_, std::move(handler));
    }

    // Blocks for packet lists and event lists. With `refConKnown`, each record's source is the
    // endpoint whose reference the connection's reference value carries.
    midiservices::MIDIReadBlock readBlock(std::weak_ptr<dispatch::Queue> queue,
                                          bool refConKnown);
    midiservices::MIDIReceiveBlock receiveBlock(std::weak_ptr<dispatch::Queue> queue,
                                                bool refConKnown);

    // Lets the handler release what it keeps for these sources (by unique ID), in a task on the
    // queue: after the records of theirs that were submitted before.
    void releaseSources(const std::weak_ptr<dispatch::Queue>& queue, std::vector<int32_t> uniqueIDs);

  private:
    struct Batch {
        bool universal = false;
        midicore::MIDIProtocolVersion protocol = midicore::MIDIProtocolVersion::_1_0;
        std::vector<MIDIPacketData> packets;
        std::vector<UniversalMIDIPacketData> universalPackets;
    };
    // Decodes with `decode(batch)` and submits the batch; on the services' delivery thread.
    template <class Decode>
    void submit(const std::weak_ptr<dispatch::Queue>& queue, Decode&& decode);
    // The task's part: hands the oldest queued batch to the handler.
    void handOver();

    mutable std::mutex mutex_;
    std::shared_ptr<MIDIReceiveHandler> handler_;
    std::deque<std::unique_ptr<Batch>> queued_;
    std::vector<std::unique_ptr<Batch>> spare_;
    // The source of the list being decoded; used on the services' delivery thread only.
    std::optional<MIDIOutputEndpoint> source_;
};

// The reference value that carries a source's endpoint reference through a connection.
inline void* refConForEndpoint(midiservices::MIDIEndpointRef ref) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(ref));
}

}  // namespace midiio::detail
