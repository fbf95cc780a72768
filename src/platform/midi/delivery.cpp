#include "delivery.hpp"

#include <chrono>
#include <cstdio>
#include <exception>

namespace midiservices::detail {

namespace {

thread_local const DeliveryWorker* currentWorker = nullptr;

// Deliveries kept for reuse, and the most memory one may hold to be kept: what a long System
// Exclusive message made room for is given back.
constexpr size_t kSpareDeliveries = 32;
constexpr size_t kSpareBytes = 256 * 1024;

void report(const char* what) {
    std::fprintf(stderr, "MIDI delivery block threw: %s\n", what);
}

}  // namespace

void Forms::clear() {
    bytes.clear();
    ump1.clear();
    ump2.clear();
    hasBytes = hasUmp1 = hasUmp2 = false;
}

const FlatPackets& Forms::get(Format format) {
    switch (format) {
        case Format::bytes:
            if (!hasBytes) umpToBytes(hasUmp1 ? ump1 : ump2, bytes);
            hasBytes = true;
            return bytes;
        case Format::ump1:
            if (!hasUmp1) umpToProtocol(ump2, MIDIProtocolID::midi1_0, ump1);
            hasUmp1 = true;
            return ump1;
        case Format::ump2:
            if (!hasUmp2) umpToProtocol(ump1, MIDIProtocolID::midi2_0, ump2);
            hasUmp2 = true;
            return ump2;
    }
    return bytes;
}

void Delivery::clear() {
    raw.clear();
    forms.clear();
    targets.clear();
    then = nullptr;
}

size_t Delivery::capacityBytes() const {
    return raw.capacityBytes() + forms.bytes.capacityBytes() + forms.ump1.capacityBytes() +
           forms.ump2.capacityBytes();
}

DeliveryWorker::Lease::~Lease() {
    if (worker_ && delivery_) worker_->recycle(std::move(delivery_));
}

std::shared_ptr<DeliveryWorker> DeliveryWorker::start() {
    std::shared_ptr<DeliveryWorker> worker(new DeliveryWorker);
    worker->self_ = worker;
    std::thread([raw = worker.get()] { raw->run(); }).detach();
    return worker;
}

DeliveryWorker::~DeliveryWorker() = default;

DeliveryWorker::Lease DeliveryWorker::acquire(const std::shared_ptr<DeliveryWorker>& worker) {
    std::unique_ptr<Delivery> delivery;
    {
        std::lock_guard lock(worker->mutex_);
        if (!worker->spare_.empty()) {
            delivery = std::move(worker->spare_.back());
            worker->spare_.pop_back();
        }
    }
    if (!delivery) delivery = std::make_unique<Delivery>();
    return Lease(worker, std::move(delivery));
}

void DeliveryWorker::recycle(std::unique_ptr<Delivery> delivery) {
    // What the delivery holds (blocks, sinks, the last reference to a receiver) goes here, with no
    // lock held.
    delivery->clear();
    if (delivery->capacityBytes() > kSpareBytes) return;
    std::lock_guard lock(mutex_);
    if (spare_.size() < kSpareDeliveries) spare_.push_back(std::move(delivery));
}

void DeliveryWorker::enqueue(Lease lease) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(lease.release());
        ++queued_;
    }
    changed_.notify_all();
}

bool DeliveryWorker::isCurrent() const {
    return currentWorker == this;
}

void DeliveryWorker::waitIdle() {
    if (isCurrent()) return;
    std::unique_lock lock(mutex_);
    const uint64_t ticket = queued_;
    changed_.wait(lock, [&] { return done_ >= ticket; });
}

void DeliveryWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (isCurrent()) return;
    // A block that never returns holds the thread; the services end without it after a while.
    std::unique_lock lock(endMutex_);
    endChanged_.wait_for(lock, std::chrono::seconds(10), [&] { return ended_; });
}

void DeliveryWorker::run() {
    currentWorker = this;
    for (;;) {
        std::unique_ptr<Delivery> delivery;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) break;
            delivery = std::move(queue_.front());
            queue_.pop_front();
        }
        handOver(*delivery);
        recycle(std::move(delivery));
        {
            std::lock_guard lock(mutex_);
            ++done_;
        }
        changed_.notify_all();
    }
    currentWorker = nullptr;
    // The thread's own reference goes last: the worker may end with it, here.
    auto self = std::move(self_);
    {
        std::lock_guard lock(endMutex_);
        ended_ = true;
    }
    endChanged_.notify_all();
}

void DeliveryWorker::handOver(Delivery& delivery) {
    auto guarded = [](auto&& call) {
        try {
            call();
        } catch (const std::exception& e) {
            report(e.what());
        } catch (...) {
            report("an exception that is not a std::exception");
        }
    };
    for (const auto& target : delivery.targets) {
        guarded([&] {
            if (const auto& receiver = target.receiver) {
                if (!receiver->alive || (target.connection && !target.connection->alive)) return;
                void* refCon = target.connection ? target.connection->refCon : nullptr;
                if (receiver->readBlock) {
                    const auto& packets = delivery.forms.get(Format::bytes);
                    if (!packets.empty()) receiver->readBlock(lists_.packetList(packets), refCon);
                } else if (receiver->receiveBlock) {
                    const bool two = receiver->protocol == MIDIProtocolID::midi2_0;
                    const auto& packets = delivery.forms.get(two ? Format::ump2 : Format::ump1);
                    if (!packets.empty())
                        receiver->receiveBlock(lists_.eventList(packets, receiver->protocol),
                                               refCon);
                }
            } else if (target.sink) {
                const auto& packets = delivery.forms.get(target.sinkFormat);
                for (const auto& packet : packets.packets()) {
                    sinkPacket_.timeStamp = packet.timeStamp;
                    if (target.sinkFormat == Format::bytes) {
                        const auto bytes = packets.bytes(packet);
                        sinkPacket_.bytes.assign(bytes.begin(), bytes.end());
                        sinkPacket_.words.clear();
                    } else {
                        const auto words = packets.words(packet);
                        sinkPacket_.words.assign(words.begin(), words.end());
                        sinkPacket_.bytes.clear();
                    }
                    (*target.sink)(sinkPacket_);
                }
            }
        });
    }
    if (delivery.then) guarded(delivery.then);
}

}  // namespace midiservices::detail
