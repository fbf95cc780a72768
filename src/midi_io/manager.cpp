#include "midi_io/manager.hpp"

#include <utility>

#include "io_detail.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/input.hpp"
#include "midi_io/input_connection.hpp"
#include "midi_io/output.hpp"
#include "midi_io/output_connection.hpp"
#include "midi_support/strings.hpp"

namespace midiio {

namespace ms = midiservices;

size_t MIDIManager::TagSelection::hash() const {
    if (case_ == Case::all) return detail::hashCombine(0, 0);
    return detail::hashCombine(detail::hashCombine(0, 1), std::hash<std::string>{}(tag_));
}

std::string MIDIManager::eventQueueLabel(const std::string& clientName) {
    std::string name = midisupport::onlyAlphanumerics(clientName);
    if (name.empty()) name = detail::makeUUIDString();
    return std::string(libraryIdentifier) + ".midiManager." + name + ".events";
}

MIDIManager::MIDIManager(std::string clientName, std::string model, std::string manufacturer)
    : clientName_(std::move(clientName)),
      model_(std::move(model)),
      manufacturer_(std::move(manufacturer)),
      eventQueue_(dispatch::Queue::makeSerial(eventQueueLabel(clientName_),
                                              dispatch::QoS::userInitiated)),
      devices_(std::make_shared<MIDIDevices>()),
      preferredAPI_(CoreMIDIAPIVersion::preferredForThisSystem()) {}

std::shared_ptr<MIDIManager> MIDIManager::make(std::string clientName, std::string model,
                                               std::string manufacturer) {
    std::shared_ptr<MIDIManager> manager(
        new MIDIManager(std::move(clientName), std::move(model), std::move(manufacturer)));
    // The endpoint lists know their manager weakly, to tell its own endpoints from the others.
    manager->endpoints_ = std::make_shared<MIDIEndpoints>(
        std::weak_ptr<const MIDIManagedEndpoints>(manager));
    return manager;
}

namespace {

// The values `read` gives for each object of a registry, in registry order; none are skipped.
template <class T, class Value, class Read>
std::vector<Value> collect(const MIDIManager::Registry<T>& registry, Read read) {
    std::vector<Value> values;
    for (const auto& [tag, object] : registry)
        if (const auto value = read(*object)) values.push_back(*value);
    return values;
}

}  // namespace

std::vector<int32_t> MIDIManager::managedInputUniqueIDs() const {
    return collect<MIDIInput, int32_t>(managedInputs(), [](const auto& o) { return o.uniqueID(); });
}
std::vector<int32_t> MIDIManager::managedOutputUniqueIDs() const {
    return collect<MIDIOutput, int32_t>(managedOutputs(),
                                        [](const auto& o) { return o.uniqueID(); });
}
std::vector<uint32_t> MIDIManager::managedInputEndpointRefs() const {
    return collect<MIDIInput, uint32_t>(managedInputs(), [](const auto& o) {
        return std::optional<uint32_t>(o.coreMIDIInputPortRef().value_or(0));
    });
}
std::vector<uint32_t> MIDIManager::managedOutputEndpointRefs() const {
    return collect<MIDIOutput, uint32_t>(managedOutputs(), [](const auto& o) {
        return std::optional<uint32_t>(o.coreMIDIOutputPortRef().value_or(0));
    });
}

MIDIManager::~MIDIManager() {
    // The registries go first, on the event queue (inline when the last reference went inside
    // one of its tasks), so each object disposes its own ports and endpoints; then the client.
    auto releaseRegistries = [this] {
        Registries released;
        {
            std::lock_guard lock(mutex_);
            released = std::exchange(registries_, Registries{});
        }
    };
    if (eventQueue_->isCurrent())
        releaseRegistries();
    else
        eventQueue_->sync(releaseRegistries);
    if (const auto client = clientRef_.exchange(0)) ms::MIDIClientDispose(client);
}

void MIDIManager::checkNotOnEventQueue() const {
    if (eventQueue_->isCurrent())
        throw midicore::MIDIIOError::internalInconsistency(
            "A MIDI manager operation was called from a task on the manager's own event queue; it "
            "would wait for itself.");
}

template <class F>
auto MIDIManager::onEventQueue(F&& block) {
    checkNotOnEventQueue();
    return eventQueue_->sync(std::forward<F>(block));
}

CoreMIDIAPIVersion MIDIManager::preferredAPI() const {
    std::lock_guard lock(mutex_);
    return preferredAPI_;
}

void MIDIManager::setPreferredAPI(const CoreMIDIAPIVersion& api) {
    const auto stored = api.availableOrLegacy();
    std::lock_guard lock(mutex_);
    preferredAPI_ = stored;
}

#define MIDIIO_REGISTRY_GETTER(Type, getter, field)            \
    MIDIManager::Registry<Type> MIDIManager::getter() const { \
        std::lock_guard lock(mutex_);                          \
        return registries_.field;                              \
    }
MIDIIO_REGISTRY_GETTER(MIDIInputConnection, managedInputConnections, inputConnections)
MIDIIO_REGISTRY_GETTER(MIDIOutputConnection, managedOutputConnections, outputConnections)
MIDIIO_REGISTRY_GETTER(MIDIInput, managedInputs, inputs)
MIDIIO_REGISTRY_GETTER(MIDIOutput, managedOutputs, outputs)
MIDIIO_REGISTRY_GETTER(MIDIThruConnection, managedThruConnections, thruConnections)
#undef MIDIIO_REGISTRY_GETTER

size_t MIDIManager::registeredCount(ManagedType type) const {
    std::lock_guard lock(mutex_);
    switch (type) {
        case ManagedType::inputConnection: return registries_.inputConnections.size();
        case ManagedType::outputConnection: return registries_.outputConnections.size();
        case ManagedType::input: return registries_.inputs.size();
        case ManagedType::output: return registries_.outputs.size();
        case ManagedType::nonPersistentThruConnection: return registries_.thruConnections.size();
    }
    return 0;
}

void MIDIManager::start() {
    onEventQueue([this] {
        if (clientRef_.load() != 0) return;
        ms::MIDIClientRef client = 0;
        const std::weak_ptr<MIDIManager> weak = weak_from_this();
        const std::weak_ptr<dispatch::Queue> queue = eventQueue_;
        const ms::OSStatus status = ms::MIDIClientCreateWithBlock(
            clientName_, &client, [weak, queue](const ms::MIDINotification& notification) {
                // Handled on the event queue, where every other change of the registries and
                // lists happens, instead of on the services' thread. The task holds the manager
                // while it runs; should the last reference go meanwhile, the teardown runs on the
                // queue at its end.
                const auto q = queue.lock();
                if (!q || weak.expired()) return;
                q->async([weak, copy = copyNotification(notification)] {
                    const auto manager = weak.lock();
                    if (!manager) return;
                    std::visit([&manager](const auto& n) { manager->handleNotification(n); },
                               copy);
                });
            });
        midicore::throwIfOSStatusErr(status);
        clientRef_.store(client);
        updateObjectsCache();
    });
}

MIDIManager::NotificationCopy MIDIManager::copyNotification(
    const ms::MIDINotification& notification) {
    if (const auto* n = ms::MIDINotificationAs<ms::MIDIObjectAddRemoveNotification>(notification))
        return *n;
    if (const auto* n =
            ms::MIDINotificationAs<ms::MIDIObjectPropertyChangeNotification>(notification))
        return *n;
    if (const auto* n = ms::MIDINotificationAs<ms::MIDIIOErrorNotification>(notification))
        return *n;
    return ms::MIDINotification{notification.messageID, sizeof(ms::MIDINotification)};
}

void MIDIManager::handleNotification(const ms::MIDINotification& notification) {
    // Lists, cache and the caller's handler (manager_lists.cpp), then the connections.
    describeAndRefresh(notification);
    followSetupChange(notification);
}

void MIDIManager::followSetupChange(const ms::MIDINotification& notification) {
    using ID = ms::MIDINotificationMessageID;
    const auto id = notification.messageID;
    if (id != ID::objectAdded && id != ID::objectRemoved && id != ID::setupChanged) return;
    // An added endpoint joins the criteria of the connections of its kind that take every one.
    std::optional<int32_t> addedSource;
    std::optional<int32_t> addedDestination;
    if (const auto* added = ms::MIDINotificationAs<ms::MIDIObjectAddRemoveNotification>(notification);
        added && id == ID::objectAdded) {
        const auto kind = static_cast<int32_t>(added->childType) & ~ms::kMIDIObjectTypeExternalMask;
        const int32_t uniqueID = detail::uniqueIDOrZero(added->child);
        // An object that can no longer be read only causes a refresh.
        if (uniqueID != 0 && kind == static_cast<int32_t>(ms::MIDIObjectType::source))
            addedSource = uniqueID;
        if (uniqueID != 0 && kind == static_cast<int32_t>(ms::MIDIObjectType::destination))
            addedDestination = uniqueID;
    }
    // Notification handling never fails; a connection that cannot refresh tries again next time.
    auto follow = [this](auto& connection, const std::optional<int32_t>& added, auto criteria) {
        if (connection.mode() == MIDIConnectionMode::allEndpoints && added) {
            auto grown = criteria(connection);
            grown.insert(MIDIEndpointIdentity::uniqueID(*added));
            connection.updateCriteria(grown);
        }
        try {
            connection.refreshConnection(*this);
        } catch (const std::exception&) {
        }
    };
    for (const auto& [tag, connection] : managedOutputConnections())
        follow(*connection, addedDestination, [](const auto& c) { return c.inputsCriteria(); });
    for (const auto& [tag, connection] : managedInputConnections())
        follow(*connection, addedSource, [](const auto& c) { return c.outputsCriteria(); });
    for (const auto& [tag, thru] : managedThruConnections()) {
        const auto& proxy = thru->proxy();
        if (!proxy) continue;
        follow(*proxy->inputConnection(), addedSource,
               [](const auto& c) { return c.outputsCriteria(); });
        follow(*proxy->outputConnection(), addedDestination,
               [](const auto& c) { return c.inputsCriteria(); });
    }
}

void MIDIManager::updateObjectsCache() {
    ObjectsCacheUpdater updater;
    {
        std::lock_guard lock(mutex_);
        updater = updater_;
    }
    if (updater) {
        updater(*this);
        return;
    }
    objectWillChange_.emit();
    refreshLists();
}

void MIDIManager::setObjectsCacheUpdater(ObjectsCacheUpdater updater) {
    std::lock_guard lock(mutex_);
    updater_ = std::move(updater);
}

void MIDIManager::refreshLists() {
    devices_->refresh();
    endpoints_->refresh();
}

MIDIManager::Registries MIDIManager::takeOut(ManagedType type, const TagSelection& selection) {
    Registries out;
    auto take = [&selection](auto& from, auto& to) {
        if (selection.selectionCase() == TagSelection::Case::all) {
            to = std::exchange(from, {});
        } else if (auto node = from.extract(selection.tag())) {
            to.insert(std::move(node));
        }
    };
    std::lock_guard lock(mutex_);
    switch (type) {
        case ManagedType::inputConnection:
            take(registries_.inputConnections, out.inputConnections);
            break;
        case ManagedType::outputConnection:
            take(registries_.outputConnections, out.outputConnections);
            break;
        case ManagedType::input: take(registries_.inputs, out.inputs); break;
        case ManagedType::output: take(registries_.outputs, out.outputs); break;
        case ManagedType::nonPersistentThruConnection:
            take(registries_.thruConnections, out.thruConnections);
            break;
    }
    return out;
}

template <class T>
void MIDIManager::addVirtualEndpoint(Registry<T> Registries::*registry, const std::string& tag,
                                     std::shared_ptr<T> object,
                                     const MIDIIdentifierPersistence& persistence) {
    std::shared_ptr<T> replaced;
    {
        std::lock_guard lock(mutex_);
        replaced = std::exchange((registries_.*registry)[tag], object);
    }
    // The earlier object goes first, so that its endpoint (and unique ID) is free again.
    replaced.reset();
    object->create(*this);
    const auto id = object->uniqueID();
    if (!id)
        throw midicore::MIDIIOError::connectionError(
            "Could not read virtual MIDI endpoint unique ID.");
    persistence.writeID(*id);
}

void MIDIManager::addInput(std::string name, std::string tag,
                           const MIDIIdentifierPersistence& uniqueID,
                           const MIDIReceiver& receiver) {
    onEventQueue([&] {
        addVirtualEndpoint(&Registries::inputs, tag,
                           std::make_shared<MIDIInput>(std::move(name), uniqueID.readID(),
                                                       receiver, weak_from_this(), preferredAPI()),
                           uniqueID);
    });
}

void MIDIManager::addOutput(std::string name, std::string tag,
                            const MIDIIdentifierPersistence& uniqueID) {
    onEventQueue([&] {
        addVirtualEndpoint(&Registries::outputs, tag,
                           std::make_shared<MIDIOutput>(std::move(name), uniqueID.readID(),
                                                        weak_from_this(), preferredAPI()),
                           uniqueID);
    });
}

void MIDIManager::addInputConnection(const MIDIEndpointIdentitySet& outputs, std::string tag,
                                     MIDIConnectionMode mode, MIDIEndpointFilter filter,
                                     const MIDIReceiver& receiver) {
    onEventQueue([&] {
        auto connection = std::make_shared<MIDIInputConnection>(
            outputs, mode, std::move(filter), receiver, weak_from_this(), preferredAPI());
        std::shared_ptr<MIDIInputConnection> replaced;
        {
            std::lock_guard lock(mutex_);
            replaced = std::exchange(registries_.inputConnections[tag], connection);
        }
        replaced.reset();
        connection->listen(*this);
        connection->connect(*this);
    });
}

void MIDIManager::addInputConnection(const std::vector<MIDIEndpointIdentity>& outputs,
                                     std::string tag, MIDIConnectionMode mode,
                                     MIDIEndpointFilter filter, const MIDIReceiver& receiver) {
    addInputConnection(MIDIEndpointIdentitySet(outputs.begin(), outputs.end()), std::move(tag),
                       mode, std::move(filter), receiver);
}

void MIDIManager::addInputConnection(const std::vector<MIDIOutputEndpoint>& outputs,
                                     std::string tag, MIDIConnectionMode mode,
                                     MIDIEndpointFilter filter, const MIDIReceiver& receiver) {
    addInputConnection(asIdentitySet(outputs), std::move(tag), mode, std::move(filter), receiver);
}

void MIDIManager::addOutputConnection(const MIDIEndpointIdentitySet& inputs, std::string tag,
                                      MIDIConnectionMode mode, MIDIEndpointFilter filter) {
    onEventQueue([&] {
        auto connection = std::make_shared<MIDIOutputConnection>(
            inputs, mode, std::move(filter), weak_from_this(), preferredAPI());
        std::shared_ptr<MIDIOutputConnection> replaced;
        {
            std::lock_guard lock(mutex_);
            replaced = std::exchange(registries_.outputConnections[tag], connection);
        }
        replaced.reset();
        connection->createPort(*this);
        connection->resolveEndpoints(*this);
    });
}

void MIDIManager::addOutputConnection(const std::vector<MIDIEndpointIdentity>& inputs,
                                      std::string tag, MIDIConnectionMode mode,
                                      MIDIEndpointFilter filter) {
    addOutputConnection(MIDIEndpointIdentitySet(inputs.begin(), inputs.end()), std::move(tag),
                        mode, std::move(filter));
}

void MIDIManager::addOutputConnection(const std::vector<MIDIInputEndpoint>& inputs,
                                      std::string tag, MIDIConnectionMode mode,
                                      MIDIEndpointFilter filter) {
    addOutputConnection(asIdentitySet(inputs), std::move(tag), mode, std::move(filter));
}

void MIDIManager::addThruConnection(const std::vector<MIDIOutputEndpoint>& outputs,
                                    const std::vector<MIDIInputEndpoint>& inputs, std::string tag,
                                    const MIDIThruConnection::Lifecycle& lifecycle,
                                    const MIDIThruConnection::Parameters& params) {
    onEventQueue([&] {
        auto connection = std::make_shared<MIDIThruConnection>(outputs, inputs, lifecycle, params,
                                                               weak_from_this(), preferredAPI());
        if (lifecycle.lifecycleCase() == MIDIThruConnection::Lifecycle::Case::nonPersistent) {
            std::shared_ptr<MIDIThruConnection> replaced;
            {
                std::lock_guard lock(mutex_);
                replaced = std::exchange(registries_.thruConnections[tag], connection);
            }
            replaced.reset();
        }
        connection->create(*this);
    });
}

std::vector<midiservices::MIDIThruConnectionRef> MIDIManager::unmanagedPersistentThruConnections(
    const std::string& ownerID) const {
    return MIDIThruConnection::persistentConnections(ownerID);
}

size_t MIDIManager::removeAllUnmanagedPersistentThruConnections(const std::string& ownerID) const {
    return MIDIThruConnection::removePersistentConnections(ownerID);
}

void MIDIManager::remove(ManagedType type, const TagSelection& selection) {
    // The released objects are destroyed here, on the queue, with no lock held.
    onEventQueue([&] { takeOut(type, selection); });
}

void MIDIManager::removeAll() {
    for (const auto type : allManagedTypes) remove(type, TagSelection::all());
}

}  // namespace midiio
