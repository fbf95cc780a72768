#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "lists.hpp"
#include "midiservices/driver.hpp"
#include "midiservices/io.hpp"
#include "midiservices/jack.hpp"
#include "midiservices/services.hpp"

namespace midiservices::jack {

namespace {

thread_local bool tlsInProcess = false;

using Copy = void (*)(void* to, const void* from, size_t size);

void plainCopy(void* to, const void* from, size_t size) {
    std::memcpy(to, from, size);
}

// Copies to or from a JACK port buffer. The server hands port buffers from one client's process
// thread to the next through its own semaphores, which the thread sanitizer cannot see; these
// copies are kept out of its view (and out of its memcpy interceptor).
#if defined(__SANITIZE_THREAD__)
__attribute__((no_sanitize("thread"), noinline)) void portCopy(void* to, const void* from,
                                                              size_t size) {
    auto* target = static_cast<volatile uint8_t*>(to);
    const auto* source = static_cast<const volatile uint8_t*>(from);
    for (size_t i = 0; i < size; ++i) target[i] = source[i];
}
#else
void portCopy(void* to, const void* from, size_t size) {
    std::memcpy(to, from, size);
}
#endif

// A ring of bytes between one producer and one consumer, neither of which ever waits. Writes of
// a record are all or nothing.
class ByteRing {
  public:
    explicit ByteRing(size_t capacity)  // a power of two
        : buffer_(new uint8_t[capacity]), mask_(capacity - 1) {}

    bool write(const void* head, size_t headSize, const void* body, size_t bodySize,
               Copy copyBody = plainCopy) {
        const size_t at = head_.load(std::memory_order_relaxed);
        const size_t used = at - tail_.load(std::memory_order_acquire);
        if (mask_ + 1 - used < headSize + bodySize) return false;
        copyIn(at, head, headSize, plainCopy);
        copyIn(at + headSize, body, bodySize, copyBody);
        head_.store(at + headSize + bodySize, std::memory_order_release);
        return true;
    }
    size_t readable() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }
    void peek(size_t offset, void* out, size_t size, Copy copy = plainCopy) const {
        const size_t at = (tail_.load(std::memory_order_relaxed) + offset) & mask_;
        const size_t first = std::min(size, mask_ + 1 - at);
        copy(out, buffer_.get() + at, first);
        copy(static_cast<uint8_t*>(out) + first, buffer_.get(), size - first);
    }
    void skip(size_t size) {
        tail_.store(tail_.load(std::memory_order_relaxed) + size, std::memory_order_release);
    }
    // The bytes ever written, and ever read: positions that only grow.
    size_t written() const { return head_.load(std::memory_order_acquire); }
    size_t consumed() const { return tail_.load(std::memory_order_acquire); }

  private:
    void copyIn(size_t position, const void* data, size_t size, Copy copy) {
        const size_t at = position & mask_;
        const size_t first = std::min(size, mask_ + 1 - at);
        copy(buffer_.get() + at, data, first);
        copy(buffer_.get(), static_cast<const uint8_t*>(data) + first, size - first);
    }

    std::unique_ptr<uint8_t[]> buffer_;
    const size_t mask_;
    std::atomic<size_t> head_{0};
    std::atomic<size_t> tail_{0};
};

// One MIDI event in a ring: the slot of its port (with the slot's generation, so an event of a
// port that is gone is not taken for one of the port that reuses its slot), its size and frame.
struct Record {
    uint16_t slot;
    uint16_t generation;
    uint16_t size;
    uint16_t frame;
};

enum class SlotKind : uint8_t { none, listen, virtualDestination, virtualSource, send };

constexpr bool isInput(SlotKind kind) {
    return kind == SlotKind::listen || kind == SlotKind::virtualDestination;
}

constexpr size_t kSlots = 1024;
constexpr size_t kRingBytes = size_t{1} << 20;

// The slots in use, as the process callback walks them: its work follows the ports in use, not
// the number of slots.
struct ActiveSlots {
    size_t count = 0;
    std::array<uint16_t, kSlots> slots{};
};

// Three lists handed from the graph thread (the only writer) to the process callback (the only
// reader) without a lock or a wait: the writer fills the list it owns and swaps it into the middle,
// marked fresh; at the start of a cycle the reader swaps a fresh middle list for the one it had. A
// list is never in both hands at once.
class ActiveSlotsExchange {
  public:
    ActiveSlots& writable() { return lists_[back_]; }
    void publish() { back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndex; }
    // The process callback's list for this cycle.
    const ActiveSlots& current() {
        if (middle_.load(std::memory_order_relaxed) & kFresh)
            front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
        return lists_[front_];
    }

  private:
    static constexpr uint8_t kIndex = 3, kFresh = 4;
    std::array<ActiveSlots, 3> lists_{};
    std::atomic<uint8_t> middle_{1};
    uint8_t front_ = 0;  // the reader's
    uint8_t back_ = 2;   // the writer's
};

// A stable unique ID from a name: FNV-1a, never 0.
MIDIUniqueID stableID(std::string_view prefix, std::string_view name) {
    uint32_t hash = 2166136261u;
    auto mix = [&hash](std::string_view text) {
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 16777619u;
        }
    };
    mix(prefix);
    mix(name);
    const auto id = static_cast<MIDIUniqueID>(hash & 0x7fffffffu);
    return id == 0 ? 1 : id;
}

// Splits a MIDI 1.0 byte stream into whole messages (running status made explicit, real-time
// bytes on their own, System Exclusive kept whole), calling `emit` with each.
template <class Emit>
void splitMessages(const std::vector<uint8_t>& bytes, uint8_t& runningStatus, Emit emit) {
    std::vector<uint8_t> message;
    auto expected = [](uint8_t status) -> size_t {
        if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;
        if (status == 0xF1 || status == 0xF3) return 2;
        if (status == 0xF2) return 3;
        return 1;
    };
    for (uint8_t byte : bytes) {
        if (byte >= 0xF8) {
            emit(std::vector<uint8_t>{byte});
            continue;
        }
        const bool inSysEx = !message.empty() && message.front() == 0xF0;
        if (inSysEx) {
            if (byte & 0x80) {
                if (byte == 0xF7) message.push_back(byte);
                emit(std::move(message));
                message.clear();
                if (byte == 0xF7) continue;
            } else {
                message.push_back(byte);
                continue;
            }
        }
        if (byte & 0x80) {
            message.assign(1, byte);
            runningStatus = byte < 0xF0 ? byte : 0;
        } else if (message.empty()) {
            if (runningStatus == 0) continue;  // a stray data byte
            message.assign(1, runningStatus);
            message.push_back(byte);
        } else {
            message.push_back(byte);
        }
        if (message.front() != 0xF0 && message.size() == expected(message.front())) {
            emit(std::move(message));
            message.clear();
        }
    }
    if (!message.empty() && message.front() == 0xF0) emit(std::move(message));
}

}  // namespace

bool inProcessCallback() noexcept {
    return tlsInProcess;
}

struct JackBridge::Impl {
    jack_client_t* client = nullptr;
    std::string name;

    // Read by the process callback without a lock.
    struct Slot {
        std::atomic<jack_port_t*> port{nullptr};
        std::atomic<uint16_t> generation{0};
        std::atomic<SlotKind> kind{SlotKind::none};
    };
    std::array<Slot, kSlots> slots;
    ActiveSlotsExchange active;              // published by the graph thread
    std::array<void*, kSlots> outBuffers{};  // the process callback's own
    ByteRing incoming{kRingBytes};           // process callback -> delivery thread
    ByteRing outgoing{kRingBytes};           // services threads -> process callback
    std::mutex outgoingMutex;                // between the producers of `outgoing`
    std::atomic<uint64_t> cycles{0};
    std::atomic<size_t> dropped{0};
    std::atomic<bool> wakePending{false};
    std::atomic<bool> delivering{false};
    std::atomic<size_t> handedUpTo{0};  // the position in `incoming` delivered so far
    std::counting_semaphore<> wake{0};

    // What the non-realtime threads know of the slots.
    struct SlotInfo {
        SlotKind kind = SlotKind::none;
        uint16_t generation = 0;
        MIDIEndpointRef endpoint = 0;
        std::string peer;  // the JACK port a listening slot hears, or a sending slot feeds
    };
    std::mutex infoMutex;
    std::array<SlotInfo, kSlots> infos;
    std::vector<size_t> virtualDestinationSlots;  // under infoMutex

    // What device destinations' sinks reach the bridge through: the services may still run a sink
    // queued before its device was removed, so the bridge closes the gate as it ends.
    struct Gate {
        std::mutex mutex;
        Impl* impl = nullptr;
    };
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();

    MIDIClientRef servicesClient = 0;
    MIDIPortRef sendPort = 0;    // to our virtual destinations' blocks
    MIDIPortRef listenPort = 0;  // on our clients' virtual sources

    // The graph thread's state.
    struct Device {
        std::vector<std::string> sources, destinations;  // full port names
        MIDIDriverDevice refs;
        std::vector<size_t> slots;
    };
    std::map<std::string, Device> devices;
    struct Virtual {
        size_t slot;
        MIDIObjectType type;
    };
    std::map<MIDIEndpointRef, Virtual> virtuals;
    size_t portCounter = 0;

    std::mutex syncMutex;
    std::condition_variable syncChanged;
    uint64_t requested = 0, done = 0;
    bool stopping = false;
    std::atomic<bool> serverGone{false};
    std::thread graphThread, deliveryThread;
    std::atomic<bool> stopDelivery{false};

    ~Impl() {
        {
            std::lock_guard lock(gate->mutex);
            gate->impl = nullptr;
        }
        {
            std::lock_guard lock(syncMutex);
            stopping = true;
        }
        syncChanged.notify_all();
        if (graphThread.joinable()) graphThread.join();
        if (client) jack_deactivate(client);
        stopDelivery = true;
        wake.release();
        if (deliveryThread.joinable()) deliveryThread.join();
        if (servicesClient) MIDIClientDispose(servicesClient);
        for (auto& [_, device] : devices)
            MIDIDriverRemoveDevice(device.refs.device);
        if (client) jack_client_close(client);
    }

    uint64_t markDirty() {
        uint64_t ticket;
        {
            std::lock_guard lock(syncMutex);
            ticket = ++requested;
        }
        syncChanged.notify_all();
        return ticket;
    }

    // ---- The realtime side ----

    int process(jack_nframes_t frames) {
        tlsInProcess = true;
        bool received = false;
        const ActiveSlots& inUse = active.current();
        for (size_t a = 0; a < inUse.count; ++a) {
            const size_t i = inUse.slots[a];
            jack_port_t* port = slots[i].port.load(std::memory_order_acquire);
            if (port == nullptr) continue;
            const SlotKind kind = slots[i].kind.load(std::memory_order_relaxed);
            void* buffer = jack_port_get_buffer(port, frames);
            if (!isInput(kind)) {
                jack_midi_clear_buffer(buffer);
                outBuffers[i] = buffer;
                continue;
            }
            const uint16_t generation = slots[i].generation.load(std::memory_order_relaxed);
            const uint32_t count = jack_midi_get_event_count(buffer);
            for (uint32_t e = 0; e < count; ++e) {
                jack_midi_event_t event;
                if (jack_midi_event_get(&event, buffer, e) != 0 || event.size > 0xFFFF) continue;
                const Record record{static_cast<uint16_t>(i), generation,
                                    static_cast<uint16_t>(event.size),
                                    static_cast<uint16_t>(event.time)};
                if (incoming.write(&record, sizeof record, event.buffer, event.size, portCopy))
                    received = true;
                else
                    dropped.fetch_add(1, std::memory_order_relaxed);
            }
        }
        while (outgoing.readable() >= sizeof(Record)) {
            Record record;
            outgoing.peek(0, &record, sizeof record);
            void* buffer = outBuffers[record.slot];
            if (buffer == nullptr ||
                slots[record.slot].generation.load(std::memory_order_relaxed) !=
                    record.generation) {
                outgoing.skip(sizeof record + record.size);
                continue;
            }
            jack_midi_data_t* data = jack_midi_event_reserve(buffer, 0, record.size);
            if (data == nullptr) {
                // A full port buffer waits for the next cycle; an event larger than an empty
                // buffer can hold never fits and is dropped.
                if (jack_midi_get_event_count(buffer) > 0) break;
                dropped.fetch_add(1, std::memory_order_relaxed);
            } else {
                outgoing.peek(sizeof record, data, record.size, portCopy);
            }
            outgoing.skip(sizeof record + record.size);
        }
        for (size_t a = 0; a < inUse.count; ++a)
            outBuffers[inUse.slots[a]] = nullptr;
        cycles.fetch_add(1, std::memory_order_release);
        if (received && !wakePending.exchange(true)) wake.release();
        tlsInProcess = false;
        return 0;
    }

    // ---- Delivery ----

    void deliveryLoop() {
        std::vector<uint8_t> bytes;
        std::map<size_t, bool> feeding;  // per batch: whether a listened source feeds one of ours
        while (!stopDelivery.load()) {
            (void)wake.try_acquire_for(std::chrono::milliseconds(5));
            wakePending.store(false);
            delivering.store(true);
            feeding.clear();
            while (incoming.readable() >= sizeof(Record)) {
                Record record;
                incoming.peek(0, &record, sizeof record);
                bytes.resize(record.size);
                incoming.peek(sizeof record, bytes.data(), record.size);
                incoming.skip(sizeof record + record.size);
                deliver(record, bytes, feeding);
                handedUpTo.store(incoming.consumed(), std::memory_order_release);
            }
            delivering.store(false);
        }
    }

    // Whether what the ports received up to two cycles after `startCycle` has been handed over.
    bool handedOver(uint64_t startCycle) const {
        if (serverGone) return incoming.readable() == 0 && !delivering.load();
        return cycles.load() >= startCycle + 2 && incoming.readable() == 0 && !delivering.load();
    }

    void deliver(const Record& record, const std::vector<uint8_t>& bytes,
                 std::map<size_t, bool>& feeding) {
        SlotInfo info;
        std::vector<jack_port_t*> virtualInputs;
        {
            std::lock_guard lock(infoMutex);
            if (infos[record.slot].generation != record.generation) return;
            info = infos[record.slot];
            if (info.kind == SlotKind::listen && !feeding.contains(record.slot))
                for (size_t i : virtualDestinationSlots)
                    if (jack_port_t* port = slots[i].port.load()) virtualInputs.push_back(port);
        }
        MIDIDriverPacket packet{currentHostTime(), bytes, {}};
        if (info.kind == SlotKind::listen) {
            // The graph thread stops listening to a source that feeds one of our virtual
            // destinations; until it has, the source's data comes twice and is taken once.
            auto [at, fresh] = feeding.try_emplace(record.slot, false);
            if (fresh) at->second = feedsAny(virtualInputs, info.peer);
            if (at->second) return;
            MIDIDriverReceived(info.endpoint, std::move(packet));
        } else if (info.kind == SlotKind::virtualDestination) {
            auto list = detail::buildPacketList({std::move(packet)});
            MIDISend(sendPort, info.endpoint, list.list(), list.byteCount());
        }
    }

    // Queues bytes for an output slot, split into whole messages.
    void queueOut(size_t slot, uint16_t generation, const std::vector<uint8_t>& bytes) {
        std::lock_guard lock(outgoingMutex);
        uint8_t running = 0;
        splitMessages(bytes, running, [&](const std::vector<uint8_t>& message) {
            if (message.size() > 0xFFFF) return;
            const Record record{static_cast<uint16_t>(slot), generation,
                                static_cast<uint16_t>(message.size()), 0};
            if (!outgoing.write(&record, sizeof record, message.data(), message.size()))
                dropped.fetch_add(1, std::memory_order_relaxed);
        });
    }

    static void* token(size_t slot, uint16_t generation) {
        return reinterpret_cast<void*>((uintptr_t{generation} << 16) | (slot + 1));
    }

    // ---- Slots (graph thread) ----

    std::optional<size_t> openSlot(SlotKind kind, const std::string& portName,
                                   MIDIEndpointRef endpoint, std::string peer = {}) {
        size_t index = kSlots;
        for (size_t i = 0; i < kSlots; ++i) {
            if (slots[i].port.load() == nullptr && infos[i].kind == SlotKind::none) {
                index = i;
                break;
            }
        }
        if (index == kSlots) return std::nullopt;
        const unsigned long flags = isInput(kind) ? JackPortIsInput : JackPortIsOutput;
        jack_port_t* port = nullptr;
        for (int attempt = 1; attempt <= 16 && port == nullptr; ++attempt) {
            std::string candidate = attempt == 1 ? portName : portName + " " + std::to_string(attempt);
            port = jack_port_register(client, candidate.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        }
        if (port == nullptr) return std::nullopt;
        const auto generation = static_cast<uint16_t>(slots[index].generation.load() + 1);
        {
            std::lock_guard lock(infoMutex);
            infos[index] = {kind, generation, endpoint, std::move(peer)};
            if (kind == SlotKind::virtualDestination) virtualDestinationSlots.push_back(index);
        }
        slots[index].generation.store(generation);
        slots[index].kind.store(kind);
        slots[index].port.store(port, std::memory_order_release);
        publishActive();
        return index;
    }

    // Hands the process callback the list of slots with a port.
    void publishActive() {
        ActiveSlots& list = active.writable();
        list.count = 0;
        for (size_t i = 0; i < kSlots; ++i)
            if (slots[i].port.load() != nullptr) list.slots[list.count++] = static_cast<uint16_t>(i);
        active.publish();
    }

    // Waits (bounded, in case the server stopped running us) until `predicate` holds.
    template <class Predicate>
    void waitBriefly(Predicate predicate, std::chrono::milliseconds bound) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!serverGone && !predicate() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Closes slots: the process callback stops using their ports, what they received is handed
    // over (a device's last notes arrive before its removal), then they are forgotten and their
    // ports unregistered.
    void closeSlots(const std::vector<size_t>& indices) {
        std::vector<jack_port_t*> ports;
        for (size_t i : indices) ports.push_back(slots[i].port.exchange(nullptr));
        publishActive();
        // The process callback may still hold a port it loaded: wait until two cycles began
        // after the slots were cleared.
        const uint64_t start = cycles.load();
        waitBriefly([&] { return cycles.load() >= start + 2; }, std::chrono::milliseconds(500));
        // A backlog (a burst on a slow machine) takes as long as it takes: the wait gives up only
        // when the delivery thread stops moving, held by a handler that does not return.
        const size_t received = incoming.written();
        size_t handed = handedUpTo.load(std::memory_order_acquire);
        while (handed < received) {
            waitBriefly([&] { return handedUpTo.load(std::memory_order_acquire) != handed; },
                        std::chrono::milliseconds(2000));
            const size_t now = handedUpTo.load(std::memory_order_acquire);
            if (now == handed) break;
            handed = now;
        }
        {
            std::lock_guard lock(infoMutex);
            for (size_t i : indices) {
                infos[i].kind = SlotKind::none;
                infos[i].generation = 0;
                std::erase(virtualDestinationSlots, i);
            }
        }
        for (jack_port_t* port : ports)
            if (port && !serverGone) jack_port_unregister(client, port);
    }

    std::string fullName(size_t slot) const {
        jack_port_t* port = slots[slot].port.load();
        return port ? jack_port_name(port) : std::string();
    }

    // ---- The graph thread ----

    void graphLoop() {
        std::unique_lock lock(syncMutex);
        for (;;) {
            syncChanged.wait(lock, [&] { return stopping || requested > done; });
            if (stopping) return;
            const uint64_t ticket = requested;
            lock.unlock();
            rescan();
            lock.lock();
            done = ticket;
            syncChanged.notify_all();
        }
    }

    void rescan() {
        if (serverGone) {
            for (auto& [_, device] : devices)
                MIDIDriverRemoveDevice(device.refs.device);
            devices.clear();
            return;
        }
        rescanVirtuals();
        rescanDevices();
        rescanConnections();
    }

    void rescanVirtuals() {
        std::map<MIDIEndpointRef, MIDIObjectType> present;
        for (const MIDIObjectType type : {MIDIObjectType::source, MIDIObjectType::destination}) {
            const bool source = type == MIDIObjectType::source;
            const ItemCount count = source ? MIDIGetNumberOfSources() : MIDIGetNumberOfDestinations();
            for (ItemCount i = 0; i < count; ++i) {
                const MIDIEndpointRef ref = source ? MIDIGetSource(i) : MIDIGetDestination(i);
                MIDIEntityRef entity = 1;
                if (ref != 0 && MIDIEndpointGetEntity(ref, &entity) == noErr && entity == 0)
                    present.emplace(ref, type);
            }
        }
        std::vector<size_t> gone;
        for (auto it = virtuals.begin(); it != virtuals.end();) {
            if (present.contains(it->first)) {
                ++it;
                continue;
            }
            gone.push_back(it->second.slot);
            it = virtuals.erase(it);
        }
        if (!gone.empty()) closeSlots(gone);
        for (const auto& [ref, type] : present) {
            if (virtuals.contains(ref)) continue;
            std::string endpointName;
            if (MIDIObjectGetStringProperty(ref, kMIDIPropertyName, &endpointName) != noErr ||
                endpointName.empty())
                endpointName = "MIDI";
            const bool source = type == MIDIObjectType::source;
            auto slot = openSlot(source ? SlotKind::virtualSource : SlotKind::virtualDestination,
                                 endpointName, ref);
            if (!slot) continue;
            virtuals.emplace(ref, Virtual{*slot, type});
            if (source)
                MIDIPortConnectSource(listenPort, ref, token(*slot, infos[*slot].generation));
        }
    }

    void rescanDevices() {
        std::map<std::string, Device> graph;
        if (const char** names = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, 0)) {
            for (const char** n = names; *n; ++n) {
                jack_port_t* port = jack_port_by_name(client, *n);
                if (port == nullptr || jack_port_is_mine(client, port)) continue;
                const std::string full = *n;
                const std::string owner = full.substr(0, full.find(':'));
                auto& device = graph[owner];
                (jack_port_flags(port) & JackPortIsOutput ? device.sources : device.destinations)
                    .push_back(full);
            }
            jack_free(names);
        }
        for (auto it = devices.begin(); it != devices.end();) {
            auto found = graph.find(it->first);
            if (found != graph.end() && found->second.sources == it->second.sources &&
                found->second.destinations == it->second.destinations) {
                graph.erase(found);
                ++it;
                continue;
            }
            removeDevice(it->second);
            it = devices.erase(it);
        }
        for (auto& [owner, device] : graph)
            if (addDevice(owner, device)) devices.emplace(owner, std::move(device));
    }

    // The slots go first, so that what the device's sources played before it left is delivered
    // before the device's removal.
    void removeDevice(Device& device) {
        closeSlots(device.slots);
        MIDIDriverRemoveDevice(device.refs.device);
    }

    bool addDevice(const std::string& owner, Device& device) {
        MIDIDriverDeviceDescription description;
        description.name = owner;
        description.model = "JACK client";
        description.manufacturer = "JACK";
        MIDIDriverEntityDescription entity;
        entity.name = owner;
        MIDIDriverUniqueIDs ids;
        ids.device = stableID("jack-client:", owner);
        auto& entityIDs = ids.entities.emplace_back();
        entityIDs.entity = stableID("jack-entity:", owner);
        auto shortName = [&](const std::string& full) { return full.substr(owner.size() + 1); };
        for (const auto& full : device.sources) {
            entity.sources.push_back(shortName(full));
            entityIDs.sources.push_back(stableID("jack-port:", full));
        }
        for (const auto& full : device.destinations) {
            entity.destinations.push_back(shortName(full));
            entityIDs.destinations.push_back(stableID("jack-port:", full));
        }
        description.entities.push_back(std::move(entity));
        if (MIDIDriverAddDevice(description, ids, &device.refs) != noErr) return false;
        const auto& refs = device.refs.entities.front();
        for (size_t i = 0; i < device.sources.size(); ++i) {
            setDisplayName(refs.sources[i], device.sources[i]);
            auto slot = openSlot(SlotKind::listen, "listen-" + std::to_string(++portCounter),
                                 refs.sources[i], device.sources[i]);
            if (slot) device.slots.push_back(*slot);
        }
        for (size_t i = 0; i < device.destinations.size(); ++i) {
            setDisplayName(refs.destinations[i], device.destinations[i]);
            auto slot = openSlot(SlotKind::send, "send-" + std::to_string(++portCounter),
                                 refs.destinations[i], device.destinations[i]);
            if (!slot) continue;
            device.slots.push_back(*slot);
            const uint16_t generation = infos[*slot].generation;
            MIDIDriverSetDestinationSink(
                refs.destinations[i],
                [gate = gate, s = *slot, generation](const MIDIDriverPacket& packet) {
                    std::lock_guard lock(gate->mutex);
                    if (gate->impl && !packet.bytes.empty())
                        gate->impl->queueOut(s, generation, packet.bytes);
                });
        }
        return true;
    }

    void setDisplayName(MIDIEndpointRef endpoint, const std::string& full) {
        jack_port_t* port = jack_port_by_name(client, full.c_str());
        if (port == nullptr) return;
        const int size = jack_port_name_size();
        std::vector<char> first(size), second(size);
        char* aliases[2] = {first.data(), second.data()};
        if (jack_port_get_aliases(port, aliases) > 0)
            MIDIObjectSetStringProperty(endpoint, kMIDIPropertyDisplayName, aliases[0]);
    }

    static bool feedsAny(const std::vector<jack_port_t*>& inputs, const std::string& source) {
        return std::any_of(inputs.begin(), inputs.end(), [&](jack_port_t* p) {
            return jack_port_connected_to(p, source.c_str());
        });
    }

    // Each source is listened to unless it feeds one of our virtual destinations, whose port
    // delivers its data already, and each destination is fed by its sending port. Checked on every
    // rescan: JACK refuses to connect the ports of a client that has not activated yet, and a
    // program's ports appear before it activates.
    void rescanConnections() {
        std::vector<jack_port_t*> virtualInputs;
        for (const auto& [_, v] : virtuals)
            if (v.type == MIDIObjectType::destination)
                if (jack_port_t* port = slots[v.slot].port.load()) virtualInputs.push_back(port);
        for (const auto& [_, device] : devices) {
            for (size_t slot : device.slots) {
                SlotKind kind;
                std::string peer;
                {
                    std::lock_guard lock(infoMutex);
                    kind = infos[slot].kind;
                    peer = infos[slot].peer;
                }
                jack_port_t* ours = slots[slot].port.load();
                if (ours == nullptr) continue;
                if (kind == SlotKind::send) {
                    if (!jack_port_connected_to(ours, peer.c_str()))
                        jack_connect(client, jack_port_name(ours), peer.c_str());
                    continue;
                }
                if (kind != SlotKind::listen) continue;
                const std::string& source = peer;
                const bool feedsVirtual = feedsAny(virtualInputs, source);
                const bool listening = jack_port_connected_to(ours, source.c_str());
                if (feedsVirtual && listening)
                    jack_disconnect(client, source.c_str(), jack_port_name(ours));
                else if (!feedsVirtual && !listening)
                    jack_connect(client, source.c_str(), jack_port_name(ours));
            }
        }
    }
};

JackBridge::JackBridge(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

JackBridge::~JackBridge() = default;

std::unique_ptr<JackBridge> JackBridge::open(const JackOptions& options, std::string* reason) {
    auto impl = std::make_unique<Impl>();
    jack_status_t status{};
    int flags = JackNoStartServer;
    if (!options.serverName.empty()) flags |= JackServerName;
    impl->client = options.serverName.empty()
                       ? jack_client_open(options.clientName.c_str(),
                                          static_cast<jack_options_t>(flags), &status)
                       : jack_client_open(options.clientName.c_str(),
                                          static_cast<jack_options_t>(flags), &status,
                                          options.serverName.c_str());
    if (impl->client == nullptr) {
        if (reason) *reason = "no JACK server answered (status " + std::to_string(status) + ")";
        return nullptr;
    }
    Impl* self = impl.get();
    impl->gate->impl = self;
    impl->name = jack_get_client_name(impl->client);
    jack_set_process_callback(
        impl->client,
        [](jack_nframes_t frames, void* arg) { return static_cast<Impl*>(arg)->process(frames); },
        self);
    jack_set_port_registration_callback(
        impl->client, [](jack_port_id_t, int, void* arg) { static_cast<Impl*>(arg)->markDirty(); },
        self);
    jack_set_client_registration_callback(
        impl->client, [](const char*, int, void* arg) { static_cast<Impl*>(arg)->markDirty(); },
        self);
    jack_set_port_connect_callback(
        impl->client,
        [](jack_port_id_t, jack_port_id_t, int, void* arg) {
            static_cast<Impl*>(arg)->markDirty();
        },
        self);
    // The graph is reordered when a client activates: its ports can be connected from then on.
    jack_set_graph_order_callback(
        impl->client, [](void* arg) { static_cast<Impl*>(arg)->markDirty(); return 0; }, self);
    jack_set_port_rename_callback(
        impl->client,
        [](jack_port_id_t, const char*, const char*, void* arg) {
            static_cast<Impl*>(arg)->markDirty();
        },
        self);
    jack_on_shutdown(
        impl->client,
        [](void* arg) {
            static_cast<Impl*>(arg)->serverGone = true;
            static_cast<Impl*>(arg)->markDirty();
        },
        self);

    auto fail = [&](const char* what) -> std::unique_ptr<JackBridge> {
        if (reason) *reason = what;
        return nullptr;
    };
    if (MIDIClientCreateWithBlock("JACK bridge", &impl->servicesClient,
                                  [self](const MIDINotification& notification) {
                                      if (notification.messageID ==
                                              MIDINotificationMessageID::objectAdded ||
                                          notification.messageID ==
                                              MIDINotificationMessageID::objectRemoved)
                                          self->markDirty();
                                  }) != noErr ||
        MIDIOutputPortCreate(impl->servicesClient, "to virtual destinations", &impl->sendPort) !=
            noErr ||
        MIDIInputPortCreateWithBlock(
            impl->servicesClient, "from virtual sources", &impl->listenPort,
            [self](const MIDIPacketList* list, void* refCon) {
                const auto value = reinterpret_cast<uintptr_t>(refCon);
                const size_t slot = (value & 0xFFFF) - 1;
                const auto generation = static_cast<uint16_t>(value >> 16);
                const MIDIPacket* packet = &list->packet[0];
                for (uint32_t i = 0; i < list->numPackets; ++i) {
                    self->queueOut(slot, generation,
                                   std::vector<uint8_t>(packet->data, packet->data + packet->length));
                    packet = MIDIPacketNext(packet);
                }
            }) != noErr)
        return fail("the MIDI services refused the bridge's client");
    if (jack_activate(impl->client) != 0) return fail("the JACK client could not be activated");
    impl->deliveryThread = std::thread([self] { self->deliveryLoop(); });
    impl->graphThread = std::thread([self] { self->graphLoop(); });
    std::unique_ptr<JackBridge> bridge(new JackBridge(std::move(impl)));
    bridge->settle();
    return bridge;
}

std::string JackBridge::clientName() const {
    return impl_->name;
}

bool JackBridge::settle(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const uint64_t ticket = impl_->markDirty();
    {
        std::unique_lock lock(impl_->syncMutex);
        if (!impl_->syncChanged.wait_until(lock, deadline, [&] { return impl_->done >= ticket; }))
            return false;
    }
    // Connections made meanwhile take effect from the next cycle on.
    const uint64_t startCycle = impl_->cycles.load();
    // The delivery thread owes no notice of becoming idle; it is polled, within the deadline.
    while (!impl_->handedOver(startCycle)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

size_t JackBridge::droppedEvents() const {
    return impl_->dropped.load();
}

std::optional<MIDIBackend> parseMIDIBackend(std::string_view text) {
    if (text == "auto") return MIDIBackend::automatic;
    if (text == "jack") return MIDIBackend::jack;
    if (text == "in-process") return MIDIBackend::inProcess;
    return std::nullopt;
}

MIDIBackendChoice startMIDIBackend(MIDIBackend backend, const JackOptions& options) {
    MIDIBackendChoice choice;
    if (backend == MIDIBackend::inProcess) {
        choice.logLine = "MIDI: using the in-process MIDI services (as set)";
        return choice;
    }
    std::string reason;
    choice.bridge = JackBridge::open(options, &reason);
    if (choice.bridge) {
        choice.logLine = "MIDI: using the JACK server as client \"" + choice.bridge->clientName() +
                         "\"";
    } else {
        choice.logLine = "MIDI: " + reason + "; falling back to the in-process MIDI services";
    }
    return choice;
}

}  // namespace midiservices::jack
