// The in-process MIDI services: one object model behind one lock, and a serial queue on which the
// clients' notification blocks run.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "delivery.hpp"
#include "dispatch/queue.hpp"
#include "midiservices/driver.hpp"
#include "midiservices/io.hpp"
#include "midiservices/services.hpp"
#include "midiservices/test_driver.hpp"
#include "midiservices/translation.hpp"

namespace midiservices {

using testdriver::Call;

namespace detail {

template <class Map>
auto* find(Map& map, MIDIObjectRef ref) {
    auto it = map.find(ref);
    return it == map.end() ? nullptr : &it->second;
}

inline bool validProtocol(MIDIProtocolID protocol) {
    return protocol == MIDIProtocolID::midi1_0 || protocol == MIDIProtocolID::midi2_0;
}

// Whether `count` words hold whole UMP messages only.
inline bool wholeMessages(const uint32_t* words, size_t count) {
    size_t at = 0;
    while (at < count)
        at += umpWordCount(words[at]);
    return at == count;
}

}  // namespace detail

class Services {
  public:
    using Receiver = detail::Receiver;
    using Connection = detail::Connection;
    using Format = detail::Format;
    using Target = detail::Target;
    using Lease = detail::DeliveryWorker::Lease;

    Services();
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    // The process's current services, created on first use.
    static std::shared_ptr<Services> current();
    // Installs `next` as the current services and returns the ones it replaces.
    static std::shared_ptr<Services> exchangeCurrent(std::shared_ptr<Services> next);

    OperatingSystemVersion operatingSystemVersion() const;

    OSStatus clientCreate(std::string_view name, MIDIClientRef* out, MIDINotifyBlock notify);
    OSStatus clientDispose(MIDIClientRef client);

    struct VirtualEndpointRequest {
        MIDIClientRef client;
        std::string_view name;
        MIDIObjectType type;                     // source or destination
        std::optional<MIDIProtocolID> protocol;  // none: the MIDI 1.0 packet-list form
        MIDIReadBlock readBlock;
        MIDIReceiveBlock receiveBlock;
    };
    OSStatus virtualEndpointCreate(VirtualEndpointRequest request, MIDIEndpointRef* out);
    OSStatus endpointDispose(MIDIEndpointRef endpoint);

    ItemCount deviceCount();
    MIDIDeviceRef device(ItemCount index);
    ItemCount entityCount(MIDIDeviceRef device);
    MIDIEntityRef entity(MIDIDeviceRef device, ItemCount index);
    ItemCount entityEndpointCount(MIDIEntityRef entity, MIDIObjectType type);
    MIDIEndpointRef entityEndpoint(MIDIEntityRef entity, MIDIObjectType type, ItemCount index);
    ItemCount systemEndpointCount(MIDIObjectType type);
    MIDIEndpointRef systemEndpoint(MIDIObjectType type, ItemCount index);
    OSStatus endpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* out);
    OSStatus entityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* out);
    OSStatus findByUniqueID(MIDIUniqueID uniqueID, MIDIObjectRef* out, MIDIObjectType* outType);

    // In the order of MIDIPropertyKeyType.
    using PropertyValue = std::variant<std::string, int32_t, MIDIDictionary>;
    template <class T>
    OSStatus getProperty(Call call, MIDIObjectRef object, std::string_view key, T* out);
    OSStatus setProperty(Call call, MIDIObjectRef object, std::string_view key,
                         PropertyValue value);
    OSStatus removeProperty(MIDIObjectRef object, std::string_view key);

    OSStatus portCreate(MIDIClientRef client, std::string_view name, bool input,
                        std::optional<MIDIProtocolID> protocol, MIDIReadBlock readBlock,
                        MIDIReceiveBlock receiveBlock, MIDIPortRef* out);
    OSStatus portDispose(MIDIPortRef port);
    OSStatus portConnect(MIDIPortRef port, MIDIEndpointRef source, void* refCon);
    OSStatus portDisconnect(MIDIPortRef port, MIDIEndpointRef source);
    // Data from a sender, read into a delivery's raw packets: bytes, or words in `protocol`.
    struct Inbound {
        Lease delivery;
        std::optional<MIDIProtocolID> protocol;  // none for bytes
    };
    // An empty delivery to read data into.
    Lease lease();
    OSStatus send(MIDIPortRef port, MIDIEndpointRef destination, Inbound data);
    // Data published on a source: by its driver (a device's source; words in the device's
    // protocol) or by its client (a virtual source).
    OSStatus publishFrom(Call call, MIDIEndpointRef source, Inbound data, bool byDriver);
    // The injected status of `call` if there is one, else `status`.
    OSStatus refuse(Call call, OSStatus status);
    OSStatus thruCreate(std::string_view owner, const void* data, size_t size,
                        MIDIThruConnectionRef* out);
    OSStatus thruDispose(MIDIThruConnectionRef connection);
    OSStatus thruFind(std::string_view owner, std::vector<uint8_t>* out);

    OSStatus driverAddDevice(const MIDIDriverDeviceDescription& description,
                             const MIDIDriverUniqueIDs& uniqueIDs, MIDIDriverDevice* out);
    OSStatus driverRemoveDevice(MIDIDeviceRef device);
    OSStatus driverReceived(MIDIEndpointRef source, MIDIDriverPacket packet);
    OSStatus driverSetSink(MIDIEndpointRef destination, MIDIDriverSink sink);
    OSStatus driverReportIOError(MIDIDeviceRef device, OSStatus error);

    struct NetworkSession {
        bool enabled = false;
        uint32_t connectionPolicy = 0;
    };
    NetworkSession networkSession() const;
    // Changes the settings with `change`; observers hear of it when something changed.
    void changeNetworkSession(const std::function<void(NetworkSession&)>& change);
    uint64_t addNetworkSessionObserver(std::function<void()> observer);
    void removeNetworkSessionObserver(uint64_t token);

    void injectStatus(Call call, OSStatus status, size_t times);
    void clearInjectedStatuses();
    void setOperatingSystemVersion(OperatingSystemVersion version);
    void postNotification(MIDINotificationMessageID messageID);
    size_t liveClients() const;
    testdriver::ClientObjects liveObjects(MIDIClientRef client) const;
    bool drain();

  private:
    // What a notification task needs of a client; shared with the tasks so that they never touch
    // the services themselves.
    struct ClientState {
        explicit ClientState(MIDINotifyBlock n) : notify(std::move(n)) {}
        const MIDINotifyBlock notify;
        std::atomic<bool> alive{true};
    };
    struct Client {
        std::string name;
        std::shared_ptr<ClientState> state;
    };
    struct Port {
        MIDIClientRef client = 0;
        std::shared_ptr<Receiver> receiver;  // null for an output port
        std::map<MIDIEndpointRef, std::shared_ptr<Connection>> connections;
    };
    struct Thru {
        std::string owner;
        MIDIThruConnectionParams params;
    };
    struct PropertyObject {
        MIDIObjectType type = MIDIObjectType::other;
        std::map<std::string, PropertyValue, std::less<>> properties;
    };
    struct Device : PropertyObject {
        std::vector<MIDIEntityRef> entities;
    };
    struct Entity : PropertyObject {
        MIDIDeviceRef device = 0;
        std::vector<MIDIEndpointRef> sources;
        std::vector<MIDIEndpointRef> destinations;
    };
    struct Endpoint : PropertyObject {
        MIDIEntityRef entity = 0;            // 0 for a virtual endpoint
        MIDIClientRef owner = 0;             // the client of a virtual endpoint, else 0
        std::shared_ptr<Receiver> receiver;  // a virtual destination's block
        MIDIProtocolID deviceProtocol = MIDIProtocolID::midi1_0;  // a device endpoint's
        std::shared_ptr<const MIDIDriverSink> sink;  // a device destination's driver sink
    };
    using Notification = std::shared_ptr<const MIDINotification>;

    OSStatus takeInjected(Call call);
    static MIDIObjectRef newRef();
    // `preferred` when it is non-zero and free, else a fresh random ID.
    MIDIUniqueID newUniqueID(MIDIUniqueID preferred = 0);
    PropertyObject* findPropertyObject(MIDIObjectRef ref);
    const PropertyObject* findPropertyObject(MIDIObjectRef ref) const;
    std::optional<PropertyValue> readProperty(MIDIObjectRef ref, std::string_view key) const;
    // The stored value `key` has for `ref` (its own or inherited), without copying it; null for a
    // display name made of names, or none.
    const PropertyValue* storedProperty(MIDIObjectRef ref, std::string_view key) const;
    std::vector<MIDIEndpointRef> systemEndpoints(MIDIObjectType type) const;
    void initObject(MIDIObjectRef ref, PropertyObject& object, MIDIObjectType type,
                    std::string_view name, MIDIUniqueID preferredID = 0);
    void forgetObject(const PropertyObject& object);
    void removeVirtualEndpoint(MIDIEndpointRef ref, std::vector<Notification>& batch);
    void post(std::vector<Notification> batch);
    // The task that calls each client's block with each notification of a batch.
    static dispatch::Work notifyTask(std::vector<std::shared_ptr<ClientState>> targets,
                                     std::vector<Notification> batch);
    void dropPort(MIDIPortRef ref);
    // A source that goes: its connections end, but what it handed over before is still
    // delivered.
    void forgetConnectionsTo(MIDIEndpointRef source);
    void forgetParsers(MIDIObjectRef ref);
    // Waits until no block of the services runs (see the definition for their own threads).
    void waitForBlocks();
    // Makes the delivery's forms of its raw data; bytes go through the sender's stream parser.
    void makeForms(Inbound& data, std::pair<MIDIObjectRef, MIDIObjectRef> sender);
    void addDestinationTarget(MIDIEndpointRef destination, std::vector<Target>& targets);
    void deliver(Lease delivery);
    MIDIEndpointRef resolveThruEndpoint(const MIDIThruConnectionEndpoint& entry,
                                        MIDIObjectType type) const;

    static Notification addRemove(MIDINotificationMessageID id, MIDIObjectRef parent,
                                  MIDIObjectType parentType, MIDIObjectRef child,
                                  MIDIObjectType childType);
    static Notification propertyChanged(MIDIObjectRef object, MIDIObjectType type,
                                        std::string_view key);
    static Notification setupChanged();

    mutable std::mutex mutex_;
    std::shared_ptr<dispatch::Queue> notifyQueue_;
    std::shared_ptr<detail::DeliveryWorker> worker_;
    // Notification batches on their way through the delivery thread (see post()).
    std::shared_ptr<std::atomic<int>> forwarding_ = std::make_shared<std::atomic<int>>(0);
    std::unordered_map<MIDIPortRef, Port> ports_;
    std::map<MIDIThruConnectionRef, Thru> thrus_;
    // Byte streams in progress, by sender: (source, 0) or (output port, destination).
    std::map<std::pair<MIDIObjectRef, MIDIObjectRef>, MIDI1StreamToUMP> parsers_;
    std::unordered_map<MIDIClientRef, Client> clients_;
    std::unordered_map<MIDIDeviceRef, Device> devices_;
    std::unordered_map<MIDIEntityRef, Entity> entities_;
    std::unordered_map<MIDIEndpointRef, Endpoint> endpoints_;
    std::vector<MIDIClientRef> clientOrder_;
    std::vector<MIDIDeviceRef> deviceOrder_;
    std::vector<MIDIEndpointRef> virtualSources_;
    std::vector<MIDIEndpointRef> virtualDestinations_;
    std::unordered_map<MIDIUniqueID, MIDIObjectRef> uniqueIDs_;
    std::mt19937 random_;
    std::map<Call, std::pair<OSStatus, size_t>> injected_;
    NetworkSession networkSession_;
    struct SessionObserver {
        explicit SessionObserver(std::function<void()> o) : observer(std::move(o)) {}
        const std::function<void()> observer;
        std::atomic<bool> alive{true};
    };
    std::map<uint64_t, std::shared_ptr<SessionObserver>> sessionObservers_;
    uint64_t nextObserverToken_ = 1;
    OperatingSystemVersion osVersion_ = testdriver::SimulatedSystem::newestOperatingSystemVersion;
};

template <class T>
OSStatus Services::getProperty(Call call, MIDIObjectRef object, std::string_view key, T* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(call)) return status;
    if (out == nullptr || key.empty()) return paramErr;
    if (findPropertyObject(object) == nullptr) return kMIDIObjectNotFound;
    // A stored value is copied into `out` directly, which keeps the capacity of a string the
    // caller reuses.
    if (const PropertyValue* stored = storedProperty(object, key)) {
        const T* typed = std::get_if<T>(stored);
        if (typed == nullptr) return kMIDIWrongPropertyType;
        *out = *typed;
        return noErr;
    }
    std::optional<PropertyValue> value = readProperty(object, key);
    if (!value) return kMIDIUnknownProperty;
    T* typed = std::get_if<T>(&*value);
    if (typed == nullptr) return kMIDIWrongPropertyType;
    *out = std::move(*typed);
    return noErr;
}

}  // namespace midiservices
