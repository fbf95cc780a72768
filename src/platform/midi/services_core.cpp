#include "services_core.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>

namespace midiservices {

namespace {

// The process's current services. Never destroyed: services still current at exit keep their
// threads, rather than being torn down after the dispatch layer they run on.
std::mutex& currentMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::shared_ptr<Services>& currentServices() {
    static auto* services = new std::shared_ptr<Services>;
    return *services;
}

using detail::find;
using detail::validProtocol;

bool isEndpointType(MIDIObjectType type) {
    return type == MIDIObjectType::source || type == MIDIObjectType::destination;
}

// Properties an entity or endpoint never takes from the objects above it.
bool isInherited(std::string_view key) {
    return key != kMIDIPropertyName && key != kMIDIPropertyUniqueID &&
           key != kMIDIPropertyDisplayName && key != kMIDIPropertyPrivate &&
           key != kMIDIPropertyConnectionUniqueID;
}

void erase(std::vector<MIDIObjectRef>& refs, MIDIObjectRef ref) {
    refs.erase(std::remove(refs.begin(), refs.end(), ref), refs.end());
}

}  // namespace

Services::Services()
    : notifyQueue_(dispatch::Queue::makeSerial("midiservices.notifications")),
      worker_(detail::DeliveryWorker::start()),
      random_(std::random_device{}()) {}

Services::~Services() {
    {
        std::lock_guard lock(mutex_);
        for (auto& [ref, client] : clients_)
            client.state->alive = false;
        for (auto& [ref, port] : ports_) {
            if (port.receiver) port.receiver->alive = false;
        }
        for (auto& [ref, endpoint] : endpoints_) {
            if (endpoint.receiver) endpoint.receiver->alive = false;
        }
    }
    // Let blocks that are running finish, so that none runs once the services are gone. On one of
    // the services' threads the running block is the caller.
    const bool onOwnThread = notifyQueue_->isCurrent() || worker_->isCurrent();
    waitForBlocks();
    // And let the threads end, unless this is one of them. The delivery thread ends first: it
    // hands notifications on to the notification queue.
    worker_->stop();
    const dispatch::QueueEnd end = notifyQueue_->whenEnded();
    notifyQueue_.reset();
    if (!onOwnThread) end.wait(std::chrono::seconds(10));
}

// On one of the services' own threads this does not wait: two blocks on the two threads that each
// waited for the other's thread would never return. Nothing that was ended starts there afterwards.
// Notifications pass the delivery thread on their way, so it is waited for first.
void Services::waitForBlocks() {
    if (notifyQueue_->isCurrent() || worker_->isCurrent()) return;
    worker_->waitIdle();
    notifyQueue_->sync([] {});
}

std::shared_ptr<Services> Services::current() {
    std::lock_guard lock(currentMutex());
    auto& services = currentServices();
    if (!services) services = std::make_shared<Services>();
    return services;
}

std::shared_ptr<Services> Services::exchangeCurrent(std::shared_ptr<Services> next) {
    std::lock_guard lock(currentMutex());
    std::swap(currentServices(), next);
    return next;
}

OperatingSystemVersion Services::operatingSystemVersion() const {
    std::lock_guard lock(mutex_);
    return osVersion_;
}

// ---- Bookkeeping ----

OSStatus Services::takeInjected(Call call) {
    auto it = injected_.find(call);
    if (it == injected_.end()) return noErr;
    const OSStatus status = it->second.first;
    if (--it->second.second == 0) injected_.erase(it);
    return status;
}

MIDIObjectRef Services::newRef() {
    // One sequence for the whole process: a reference from services that are gone never names an
    // object of newer ones.
    static std::atomic<MIDIObjectRef> next{0x10000};
    return next.fetch_add(1, std::memory_order_relaxed);
}

MIDIUniqueID Services::newUniqueID(MIDIUniqueID preferred) {
    if (preferred != 0 && !uniqueIDs_.contains(preferred)) return preferred;
    std::uniform_int_distribution<MIDIUniqueID> pick;
    for (;;) {
        const MIDIUniqueID id = pick(random_);
        if (id != 0 && !uniqueIDs_.contains(id)) return id;
    }
}

void Services::initObject(MIDIObjectRef ref, PropertyObject& object, MIDIObjectType type,
                          std::string_view name, MIDIUniqueID preferredID) {
    object.type = type;
    object.properties.emplace(kMIDIPropertyName, std::string(name));
    const MIDIUniqueID id = newUniqueID(preferredID);
    object.properties.emplace(kMIDIPropertyUniqueID, id);
    uniqueIDs_.emplace(id, ref);
}

void Services::forgetObject(const PropertyObject& object) {
    auto it = object.properties.find(kMIDIPropertyUniqueID);
    if (it != object.properties.end()) uniqueIDs_.erase(std::get<int32_t>(it->second));
}

Services::PropertyObject* Services::findPropertyObject(MIDIObjectRef ref) {
    if (auto* device = find(devices_, ref)) return device;
    if (auto* entity = find(entities_, ref)) return entity;
    if (auto* endpoint = find(endpoints_, ref)) return endpoint;
    return nullptr;
}

const Services::PropertyObject* Services::findPropertyObject(MIDIObjectRef ref) const {
    return const_cast<Services*>(this)->findPropertyObject(ref);
}

const Services::PropertyValue* Services::storedProperty(MIDIObjectRef ref,
                                                        std::string_view key) const {
    const PropertyObject* object = findPropertyObject(ref);
    if (object == nullptr) return nullptr;
    if (auto it = object->properties.find(key); it != object->properties.end()) return &it->second;
    if (key == kMIDIPropertyDisplayName && isEndpointType(object->type)) return nullptr;
    MIDIObjectRef parent = 0;
    if (object->type == MIDIObjectType::entity) {
        parent = static_cast<const Entity*>(object)->device;
    } else if (isEndpointType(object->type)) {
        parent = static_cast<const Endpoint*>(object)->entity;
    }
    if (parent == 0 || !isInherited(key)) return nullptr;
    return storedProperty(parent, key);
}

std::optional<Services::PropertyValue> Services::readProperty(MIDIObjectRef ref,
                                                              std::string_view key) const {
    if (const PropertyValue* stored = storedProperty(ref, key)) return *stored;
    const PropertyObject* object = findPropertyObject(ref);
    if (object == nullptr || key != kMIDIPropertyDisplayName || !isEndpointType(object->type))
        return std::nullopt;
    // An endpoint's display name is made of the device's name and the endpoint's own, when both
    // exist and differ.
    auto own = readProperty(ref, kMIDIPropertyName);
    const std::string name = own ? std::get<std::string>(*own) : std::string();
    std::string deviceName;
    if (const Entity* entity = find(entities_, static_cast<const Endpoint*>(object)->entity)) {
        if (auto value = readProperty(entity->device, kMIDIPropertyName)) {
            deviceName = std::get<std::string>(*value);
        }
    }
    if (deviceName.empty() || deviceName == name) return name;
    if (name.empty()) return deviceName;
    return deviceName + " " + name;
}

std::vector<MIDIEndpointRef> Services::systemEndpoints(MIDIObjectType type) const {
    std::vector<MIDIEndpointRef> refs;
    for (MIDIDeviceRef deviceRef : deviceOrder_) {
        for (MIDIEntityRef entityRef : devices_.at(deviceRef).entities) {
            const Entity& entity = entities_.at(entityRef);
            const auto& own = type == MIDIObjectType::source ? entity.sources : entity.destinations;
            refs.insert(refs.end(), own.begin(), own.end());
        }
    }
    const auto& virtuals = type == MIDIObjectType::source ? virtualSources_ : virtualDestinations_;
    refs.insert(refs.end(), virtuals.begin(), virtuals.end());
    return refs;
}

// ---- Notifications ----

Services::Notification Services::addRemove(MIDINotificationMessageID id, MIDIObjectRef parent,
                                           MIDIObjectType parentType, MIDIObjectRef child,
                                           MIDIObjectType childType) {
    auto n = std::make_shared<MIDIObjectAddRemoveNotification>();
    n->messageID = id;
    n->messageSize = sizeof(MIDIObjectAddRemoveNotification);
    n->parent = parent;
    n->parentType = parentType;
    n->child = child;
    n->childType = childType;
    return n;
}

Services::Notification Services::propertyChanged(MIDIObjectRef object, MIDIObjectType type,
                                                 std::string_view key) {
    auto n = std::make_shared<MIDIObjectPropertyChangeNotification>();
    n->messageID = MIDINotificationMessageID::propertyChanged;
    n->messageSize = sizeof(MIDIObjectPropertyChangeNotification);
    n->object = object;
    n->objectType = type;
    n->propertyName = std::string(key);
    return n;
}

Services::Notification Services::setupChanged() {
    auto n = std::make_shared<MIDINotification>();
    n->messageID = MIDINotificationMessageID::setupChanged;
    return n;
}

// Called with the lock held, so that batches are queued in the order of the changes. Queuing runs
// no client code; the blocks run later on the notification queue, each skipped once its client is
// gone.
//
// A batch that removes objects passes the delivery thread first: what the services accepted
// before the removal is handed to the receivers' blocks before the removal is announced (what a
// device played just before it was unplugged arrives before the news that it is gone). Batches
// after it follow the same road while it is on its way, so that batches keep their order; the
// others go straight to the notification queue, whose blocks never wait for deliveries.
void Services::post(std::vector<Notification> batch) {
    std::vector<std::shared_ptr<ClientState>> targets;
    for (MIDIClientRef ref : clientOrder_) {
        const auto& state = clients_.at(ref).state;
        if (state->notify) targets.push_back(state);
    }
    if (targets.empty() || batch.empty()) return;
    const bool removes = std::any_of(batch.begin(), batch.end(), [](const Notification& n) {
        return n->messageID == MIDINotificationMessageID::objectRemoved;
    });
    auto task = notifyTask(std::move(targets), std::move(batch));
    if (!removes && forwarding_->load() == 0) {
        notifyQueue_->async(std::move(task));
        return;
    }
    forwarding_->fetch_add(1);
    Lease forward = lease();
    forward->then = [queue = notifyQueue_, forwarding = forwarding_, task = std::move(task)] {
        queue->async(task);
        forwarding->fetch_sub(1);
    };
    worker_->enqueue(std::move(forward));
}

dispatch::Work Services::notifyTask(std::vector<std::shared_ptr<ClientState>> targets,
                                    std::vector<Notification> batch) {
    return [targets = std::move(targets), batch = std::move(batch)] {
        for (const auto& notification : batch) {
            for (const auto& client : targets) {
                if (!client->alive) continue;
                try {
                    client->notify(*notification);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "MIDI notification block threw: %s\n", e.what());
                } catch (...) {
                    std::fprintf(stderr, "MIDI notification block threw\n");
                }
            }
        }
    };
}

// ---- Clients ----

OSStatus Services::clientCreate(std::string_view name, MIDIClientRef* out, MIDINotifyBlock notify) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::clientCreate)) return status;
    if (out == nullptr) return paramErr;
    const MIDIClientRef ref = newRef();
    clients_.emplace(ref,
                     Client{std::string(name), std::make_shared<ClientState>(std::move(notify))});
    clientOrder_.push_back(ref);
    *out = ref;
    return noErr;
}

OSStatus Services::clientDispose(MIDIClientRef client) {
    {
        std::lock_guard lock(mutex_);
        if (OSStatus status = takeInjected(Call::clientDispose)) return status;
        Client* found = find(clients_, client);
        if (found == nullptr) return kMIDIInvalidClient;
        found->state->alive = false;
        std::vector<MIDIPortRef> ports;
        for (const auto& [ref, port] : ports_) {
            if (port.client == client) ports.push_back(ref);
        }
        for (MIDIPortRef ref : ports)
            dropPort(ref);
        std::vector<Notification> batch;
        for (auto* list : {&virtualSources_, &virtualDestinations_}) {
            for (MIDIEndpointRef ref : std::vector<MIDIEndpointRef>(*list)) {
                if (endpoints_.at(ref).owner == client) removeVirtualEndpoint(ref, batch);
            }
        }
        clients_.erase(client);
        erase(clientOrder_, client);
        if (!batch.empty()) batch.push_back(setupChanged());
        post(std::move(batch));
    }
    waitForBlocks();
    return noErr;
}

// ---- Virtual endpoints ----

OSStatus Services::virtualEndpointCreate(VirtualEndpointRequest request, MIDIEndpointRef* out) {
    const bool source = request.type == MIDIObjectType::source;
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(source ? Call::sourceCreate : Call::destinationCreate)) {
        return status;
    }
    if (out == nullptr) return paramErr;
    if (!clients_.contains(request.client)) return kMIDIInvalidClient;
    if (request.protocol) {
        if (!validProtocol(*request.protocol)) return paramErr;
        if (osVersion_ < OperatingSystemVersion{11, 0, 0}) return kMIDINotPermitted;
    }
    const MIDIEndpointRef ref = newRef();
    Endpoint& endpoint = endpoints_[ref];
    initObject(ref, endpoint, request.type, request.name);
    endpoint.owner = request.client;
    if (!source) {
        endpoint.receiver = std::make_shared<Receiver>();
        endpoint.receiver->readBlock = std::move(request.readBlock);
        endpoint.receiver->receiveBlock = std::move(request.receiveBlock);
        endpoint.receiver->protocol = request.protocol.value_or(MIDIProtocolID::midi1_0);
        if (request.protocol) endpoint.receiver->readBlock = nullptr;
    }
    endpoint.properties.emplace(
        kMIDIPropertyProtocolID,
        static_cast<int32_t>(request.protocol.value_or(MIDIProtocolID::midi1_0)));
    (source ? virtualSources_ : virtualDestinations_).push_back(ref);
    post({addRemove(MIDINotificationMessageID::objectAdded, 0, MIDIObjectType::other, ref,
                    request.type),
          setupChanged()});
    *out = ref;
    return noErr;
}

void Services::removeVirtualEndpoint(MIDIEndpointRef ref, std::vector<Notification>& batch) {
    const Endpoint& endpoint = endpoints_.at(ref);
    const MIDIObjectType type = endpoint.type;
    if (endpoint.receiver) endpoint.receiver->alive = false;
    forgetConnectionsTo(ref);
    forgetParsers(ref);
    forgetObject(endpoint);
    erase(type == MIDIObjectType::source ? virtualSources_ : virtualDestinations_, ref);
    endpoints_.erase(ref);
    batch.push_back(
        addRemove(MIDINotificationMessageID::objectRemoved, 0, MIDIObjectType::other, ref, type));
}

OSStatus Services::endpointDispose(MIDIEndpointRef ref) {
    {
        std::lock_guard lock(mutex_);
        if (OSStatus status = takeInjected(Call::endpointDispose)) return status;
        const Endpoint* endpoint = find(endpoints_, ref);
        if (endpoint == nullptr) return kMIDIUnknownEndpoint;
        if (endpoint->owner == 0) return kMIDINotPermitted;
        std::vector<Notification> batch;
        removeVirtualEndpoint(ref, batch);
        batch.push_back(setupChanged());
        post(std::move(batch));
    }
    waitForBlocks();
    return noErr;
}

// ---- Enumeration and navigation ----

ItemCount Services::deviceCount() {
    std::lock_guard lock(mutex_);
    return deviceOrder_.size();
}

MIDIDeviceRef Services::device(ItemCount index) {
    std::lock_guard lock(mutex_);
    return index < deviceOrder_.size() ? deviceOrder_[index] : 0;
}

ItemCount Services::entityCount(MIDIDeviceRef deviceRef) {
    std::lock_guard lock(mutex_);
    const Device* device = find(devices_, deviceRef);
    return device ? device->entities.size() : 0;
}

MIDIEntityRef Services::entity(MIDIDeviceRef deviceRef, ItemCount index) {
    std::lock_guard lock(mutex_);
    const Device* device = find(devices_, deviceRef);
    return device && index < device->entities.size() ? device->entities[index] : 0;
}

ItemCount Services::entityEndpointCount(MIDIEntityRef entityRef, MIDIObjectType type) {
    std::lock_guard lock(mutex_);
    const Entity* entity = find(entities_, entityRef);
    if (entity == nullptr) return 0;
    return (type == MIDIObjectType::source ? entity->sources : entity->destinations).size();
}

MIDIEndpointRef Services::entityEndpoint(MIDIEntityRef entityRef, MIDIObjectType type,
                                         ItemCount index) {
    std::lock_guard lock(mutex_);
    const Entity* entity = find(entities_, entityRef);
    if (entity == nullptr) return 0;
    const auto& refs = type == MIDIObjectType::source ? entity->sources : entity->destinations;
    return index < refs.size() ? refs[index] : 0;
}

ItemCount Services::systemEndpointCount(MIDIObjectType type) {
    std::lock_guard lock(mutex_);
    return systemEndpoints(type).size();
}

MIDIEndpointRef Services::systemEndpoint(MIDIObjectType type, ItemCount index) {
    std::lock_guard lock(mutex_);
    const auto refs = systemEndpoints(type);
    return index < refs.size() ? refs[index] : 0;
}

OSStatus Services::endpointGetEntity(MIDIEndpointRef ref, MIDIEntityRef* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::endpointGetEntity)) return status;
    if (out == nullptr) return paramErr;
    const Endpoint* endpoint = find(endpoints_, ref);
    if (endpoint == nullptr) return kMIDIUnknownEndpoint;
    *out = endpoint->entity;
    return noErr;
}

OSStatus Services::entityGetDevice(MIDIEntityRef ref, MIDIDeviceRef* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::entityGetDevice)) return status;
    if (out == nullptr) return paramErr;
    const Entity* entity = find(entities_, ref);
    if (entity == nullptr) return kMIDIObjectNotFound;
    *out = entity->device;
    return noErr;
}

OSStatus Services::findByUniqueID(MIDIUniqueID uniqueID, MIDIObjectRef* out,
                                  MIDIObjectType* outType) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::objectFindByUniqueID)) return status;
    if (out == nullptr) return paramErr;
    auto it = uniqueIDs_.find(uniqueID);
    if (it == uniqueIDs_.end()) return kMIDIObjectNotFound;
    *out = it->second;
    if (outType) *outType = findPropertyObject(it->second)->type;
    return noErr;
}

// ---- Properties ----

OSStatus Services::setProperty(Call call, MIDIObjectRef ref, std::string_view key,
                               PropertyValue value) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(call)) return status;
    if (key.empty()) return paramErr;
    PropertyObject* object = findPropertyObject(ref);
    if (object == nullptr) return kMIDIObjectNotFound;
    if (auto type = MIDIPropertyKeyTypeOf(key);
        type && static_cast<size_t>(*type) != value.index()) {
        return kMIDIWrongPropertyType;
    }
    if (key == kMIDIPropertyUniqueID) {
        const MIDIUniqueID id = std::get<int32_t>(value);
        const MIDIUniqueID old =
            std::get<int32_t>(object->properties.find(kMIDIPropertyUniqueID)->second);
        if (id == 0) return paramErr;
        if (id != old) {
            if (uniqueIDs_.contains(id)) return kMIDIIDNotUnique;
            uniqueIDs_.erase(old);
            uniqueIDs_.emplace(id, ref);
        }
    }
    object->properties.insert_or_assign(std::string(key), std::move(value));
    post({propertyChanged(ref, object->type, key)});
    return noErr;
}

OSStatus Services::removeProperty(MIDIObjectRef ref, std::string_view key) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::objectRemoveProperty)) return status;
    if (key.empty()) return paramErr;
    PropertyObject* object = findPropertyObject(ref);
    if (object == nullptr) return kMIDIObjectNotFound;
    if (key == kMIDIPropertyUniqueID) return kMIDINotPermitted;
    auto it = object->properties.find(key);
    if (it == object->properties.end()) return kMIDIUnknownProperty;
    object->properties.erase(it);
    post({propertyChanged(ref, object->type, key)});
    return noErr;
}

// ---- Driver ----

OSStatus Services::driverAddDevice(const MIDIDriverDeviceDescription& description,
                                   const MIDIDriverUniqueIDs& uniqueIDs, MIDIDriverDevice* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::driverAddDevice)) return status;
    if (out == nullptr || !validProtocol(description.protocol)) return paramErr;
    MIDIDriverDevice refs;
    refs.device = newRef();
    Device& device = devices_[refs.device];
    initObject(refs.device, device, MIDIObjectType::device, description.name, uniqueIDs.device);
    device.properties.emplace(kMIDIPropertyModel, description.model);
    device.properties.emplace(kMIDIPropertyManufacturer, description.manufacturer);
    deviceOrder_.push_back(refs.device);

    std::vector<Notification> batch{addRemove(MIDINotificationMessageID::objectAdded, 0,
                                              MIDIObjectType::other, refs.device,
                                              MIDIObjectType::device)};
    std::vector<Notification> endpointsAdded;
    for (size_t e = 0; e < description.entities.size(); ++e) {
        const auto& entityDescription = description.entities[e];
        const MIDIDriverUniqueIDs::Entity entityIDs =
            e < uniqueIDs.entities.size() ? uniqueIDs.entities[e] : MIDIDriverUniqueIDs::Entity{};
        MIDIDriverDevice::Entity entityRefs;
        entityRefs.entity = newRef();
        Entity& entity = entities_[entityRefs.entity];
        initObject(entityRefs.entity, entity, MIDIObjectType::entity, entityDescription.name,
                   entityIDs.entity);
        entity.device = refs.device;
        device.entities.push_back(entityRefs.entity);
        batch.push_back(addRemove(MIDINotificationMessageID::objectAdded, refs.device,
                                  MIDIObjectType::device, entityRefs.entity,
                                  MIDIObjectType::entity));
        for (const MIDIObjectType type : {MIDIObjectType::source, MIDIObjectType::destination}) {
            const bool source = type == MIDIObjectType::source;
            const auto& names = source ? entityDescription.sources : entityDescription.destinations;
            const auto& ids = source ? entityIDs.sources : entityIDs.destinations;
            for (size_t i = 0; i < names.size(); ++i) {
                const MIDIEndpointRef ref = newRef();
                Endpoint& endpoint = endpoints_[ref];
                initObject(ref, endpoint, type, names[i], i < ids.size() ? ids[i] : 0);
                endpoint.entity = entityRefs.entity;
                endpoint.properties.emplace(kMIDIPropertyProtocolID,
                                            static_cast<int32_t>(description.protocol));
                endpoint.deviceProtocol = description.protocol;
                (source ? entity.sources : entity.destinations).push_back(ref);
                (source ? entityRefs.sources : entityRefs.destinations).push_back(ref);
                endpointsAdded.push_back(addRemove(MIDINotificationMessageID::objectAdded,
                                                   entityRefs.entity, MIDIObjectType::entity, ref,
                                                   type));
            }
        }
        refs.entities.push_back(std::move(entityRefs));
    }
    batch.insert(batch.end(), endpointsAdded.begin(), endpointsAdded.end());
    batch.push_back(setupChanged());
    post(std::move(batch));
    *out = std::move(refs);
    return noErr;
}

OSStatus Services::driverRemoveDevice(MIDIDeviceRef deviceRef) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::driverRemoveDevice)) return status;
    const Device* device = find(devices_, deviceRef);
    if (device == nullptr) return kMIDIObjectNotFound;
    std::vector<Notification> batch;
    std::vector<Notification> entitiesRemoved;
    for (MIDIEntityRef entityRef : device->entities) {
        const Entity& entity = entities_.at(entityRef);
        for (const auto* refs : {&entity.sources, &entity.destinations}) {
            for (MIDIEndpointRef ref : *refs) {
                const Endpoint& endpoint = endpoints_.at(ref);
                batch.push_back(addRemove(MIDINotificationMessageID::objectRemoved, entityRef,
                                          MIDIObjectType::entity, ref, endpoint.type));
                forgetConnectionsTo(ref);
                forgetParsers(ref);
                forgetObject(endpoint);
                endpoints_.erase(ref);
            }
        }
        entitiesRemoved.push_back(addRemove(MIDINotificationMessageID::objectRemoved, deviceRef,
                                            MIDIObjectType::device, entityRef,
                                            MIDIObjectType::entity));
        forgetObject(entity);
        entities_.erase(entityRef);
    }
    batch.insert(batch.end(), entitiesRemoved.begin(), entitiesRemoved.end());
    batch.push_back(addRemove(MIDINotificationMessageID::objectRemoved, 0, MIDIObjectType::other,
                              deviceRef, MIDIObjectType::device));
    batch.push_back(setupChanged());
    forgetObject(*device);
    devices_.erase(deviceRef);
    erase(deviceOrder_, deviceRef);
    post(std::move(batch));
    return noErr;
}

OSStatus Services::driverReceived(MIDIEndpointRef source, MIDIDriverPacket packet) {
    if (packet.bytes.empty() == packet.words.empty() ||
        !detail::wholeMessages(packet.words.data(), packet.words.size())) {
        return refuse(Call::driverReceived, paramErr);
    }
    Inbound data{lease(), std::nullopt};
    if (packet.bytes.empty()) {
        data.delivery->raw.addWords(packet.timeStamp, packet.words);
        data.protocol = MIDIProtocolID::midi1_0;  // the device's protocol replaces it
    } else {
        data.delivery->raw.addBytes(packet.timeStamp, packet.bytes);
    }
    return publishFrom(Call::driverReceived, source, std::move(data), true);
}

OSStatus Services::driverSetSink(MIDIEndpointRef destination, MIDIDriverSink sink) {
    std::lock_guard lock(mutex_);
    Endpoint* endpoint = find(endpoints_, destination);
    if (endpoint == nullptr) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::destination) return kMIDIWrongEndpointType;
    if (endpoint->owner != 0) return kMIDINotPermitted;
    endpoint->sink = sink ? std::make_shared<const MIDIDriverSink>(std::move(sink)) : nullptr;
    return noErr;
}

OSStatus Services::driverReportIOError(MIDIDeviceRef device, OSStatus error) {
    std::lock_guard lock(mutex_);
    if (!devices_.contains(device)) return kMIDIObjectNotFound;
    auto n = std::make_shared<MIDIIOErrorNotification>();
    n->messageID = MIDINotificationMessageID::ioError;
    n->messageSize = sizeof(MIDIIOErrorNotification);
    n->driverDevice = device;
    n->errorCode = error;
    post({std::move(n)});
    return noErr;
}

// ---- Network session ----

Services::NetworkSession Services::networkSession() const {
    std::lock_guard lock(mutex_);
    return networkSession_;
}

void Services::changeNetworkSession(const std::function<void(NetworkSession&)>& change) {
    std::lock_guard lock(mutex_);
    const NetworkSession before = networkSession_;
    change(networkSession_);
    if (before.enabled == networkSession_.enabled &&
        before.connectionPolicy == networkSession_.connectionPolicy) {
        return;
    }
    std::vector<std::shared_ptr<SessionObserver>> observers;
    for (const auto& [token, observer] : sessionObservers_)
        observers.push_back(observer);
    if (observers.empty()) return;
    notifyQueue_->async([observers = std::move(observers)] {
        for (const auto& o : observers) {
            if (!o->alive) continue;
            try {
                o->observer();
            } catch (...) {
                std::fprintf(stderr, "MIDI network session observer threw\n");
            }
        }
    });
}

uint64_t Services::addNetworkSessionObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    const uint64_t token = nextObserverToken_++;
    sessionObservers_.emplace(token, std::make_shared<SessionObserver>(std::move(observer)));
    return token;
}

void Services::removeNetworkSessionObserver(uint64_t token) {
    {
        std::lock_guard lock(mutex_);
        auto it = sessionObservers_.find(token);
        if (it == sessionObservers_.end()) return;
        it->second->alive = false;
        sessionObservers_.erase(it);
    }
    if (!notifyQueue_->isCurrent()) notifyQueue_->sync([] {});
}

// ---- Test bench ----

void Services::injectStatus(Call call, OSStatus status, size_t times) {
    std::lock_guard lock(mutex_);
    if (times == 0) {
        injected_.erase(call);
    } else {
        injected_[call] = {status, times};
    }
}

void Services::clearInjectedStatuses() {
    std::lock_guard lock(mutex_);
    injected_.clear();
}

void Services::setOperatingSystemVersion(OperatingSystemVersion version) {
    std::lock_guard lock(mutex_);
    osVersion_ = version;
}

void Services::postNotification(MIDINotificationMessageID messageID) {
    std::lock_guard lock(mutex_);
    auto n = std::make_shared<MIDINotification>();
    n->messageID = messageID;
    post({std::move(n)});
}

size_t Services::liveClients() const {
    std::lock_guard lock(mutex_);
    return clients_.size();
}

testdriver::ClientObjects Services::liveObjects(MIDIClientRef client) const {
    std::lock_guard lock(mutex_);
    testdriver::ClientObjects objects;
    if (client == 0) return objects;
    for (const auto& [ref, endpoint] : endpoints_) {
        if (endpoint.owner != client) continue;
        ++(endpoint.type == MIDIObjectType::source ? objects.virtualSources
                                                   : objects.virtualDestinations);
    }
    for (const auto& [ref, port] : ports_) {
        if (port.client == client) ++objects.ports;
    }
    return objects;
}

bool Services::drain() {
    if (notifyQueue_->isCurrent() || worker_->isCurrent()) return false;
    waitForBlocks();
    return true;
}

}  // namespace midiservices
