// The services' delivery thread: what senders and drivers hand over is queued, in the order the
// services accepted it, as deliveries that the thread hands to the receivers' blocks and the
// devices' sinks, one after the other.
//
// A delivery keeps its data in flat buffers (FlatPackets) and is reused once it has been handed
// over, so the buffers, the list built for a block and the packet given to a sink stop allocating
// once they have grown to the data's size: a steady stream of short messages makes no heap
// allocation on this road.
//
// The worker's state is shared with its thread, which ends on its own once told to stop and done
// with what is queued; so the services may be released on the thread itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "lists.hpp"
#include "midiservices/driver.hpp"
#include "midiservices/io.hpp"
#include "midiservices/translation.hpp"

namespace midiservices::detail {

// What a delivery needs of an input port or a virtual destination.
struct Receiver {
    MIDIReadBlock readBlock;        // set for packet lists
    MIDIReceiveBlock receiveBlock;  // set for event lists in `protocol`
    MIDIProtocolID protocol = MIDIProtocolID::midi1_0;
    std::atomic<bool> alive{true};
};

// One connection of an input port to a source. A connection that is replaced by an equal one
// stays; one that is disconnected (or replaced by a different one) is no longer alive, and what
// it had accepted is dropped.
struct Connection {
    explicit Connection(void* r) : refCon(r) {}
    void* const refCon;
    std::atomic<bool> alive{true};
};

enum class Format { bytes, ump1, ump2 };

// One piece of data in the forms receivers ask for, each made when first needed.
struct Forms {
    FlatPackets bytes, ump1, ump2;
    bool hasBytes = false, hasUmp1 = false, hasUmp2 = false;

    void clear();
    const FlatPackets& get(Format format);
};

struct Target {
    std::shared_ptr<Receiver> receiver;
    std::shared_ptr<Connection> connection;  // null for a direct send
    std::shared_ptr<const MIDIDriverSink> sink;
    Format sinkFormat = Format::bytes;
};

struct Delivery {
    FlatPackets raw;  // the data as it was handed in, before it is made into forms
    Forms forms;
    std::vector<Target> targets;
    std::function<void()> then;  // run after the targets (notifications are handed on so)

    void clear();
    size_t capacityBytes() const;
};

class DeliveryWorker {
  public:
    // Owns a delivery taken from the worker, and gives it back when released.
    class Lease {
      public:
        Lease() = default;
        Lease(std::shared_ptr<DeliveryWorker> worker, std::unique_ptr<Delivery> delivery)
            : worker_(std::move(worker)), delivery_(std::move(delivery)) {}
        Lease(Lease&&) noexcept = default;
        Lease& operator=(Lease&&) noexcept = default;
        ~Lease();
        Delivery* operator->() const { return delivery_.get(); }
        Delivery& operator*() const { return *delivery_; }
        std::unique_ptr<Delivery> release() { return std::move(delivery_); }

      private:
        std::shared_ptr<DeliveryWorker> worker_;
        std::unique_ptr<Delivery> delivery_;
    };

    // Starts the thread.
    static std::shared_ptr<DeliveryWorker> start();
    ~DeliveryWorker();

    // An empty delivery, reused when one is spare.
    static Lease acquire(const std::shared_ptr<DeliveryWorker>& worker);
    // Queues a delivery; the caller keeps the order of its calls.
    void enqueue(Lease delivery);
    // Waits until every delivery queued before the call has been handed over. On the worker's
    // thread it does not wait.
    void waitIdle();
    // True on the worker's thread.
    bool isCurrent() const;
    // Ends the thread once what is queued is done; waits for that unless called on the thread.
    void stop();

  private:
    DeliveryWorker() = default;
    void run();
    void recycle(std::unique_ptr<Delivery> delivery);
    // Hands one delivery to its targets.
    void handOver(Delivery& delivery);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Delivery>> queue_;
    std::vector<std::unique_ptr<Delivery>> spare_;
    uint64_t queued_ = 0, done_ = 0;
    bool stopping_ = false;
    std::shared_ptr<DeliveryWorker> self_;  // the thread's own reference, dropped as it ends
    std::mutex endMutex_;
    std::condition_variable endChanged_;
    bool ended_ = false;

    // Used on the worker's thread only.
    ListBuffer lists_;
    MIDIDriverPacket sinkPacket_;
};

}  // namespace midiservices::detail
