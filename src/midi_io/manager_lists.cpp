// The manager's device and endpoint lists, its own virtual endpoints, and its handling of the
// services' setup notifications.
#include "dispatch/queue.hpp"
#include "midi_io/input.hpp"
#include "midi_io/manager.hpp"
#include "midi_io/output.hpp"

namespace midiio {

namespace ms = midiservices;

void MIDIManager::refreshLists() {
    devices_->refresh();
    endpoints_->refresh();
}

MIDIManager::NotificationHandler MIDIManager::notificationHandler() const {
    std::lock_guard lock(mutex_);
    return notificationHandler_;
}

void MIDIManager::setNotificationHandler(NotificationHandler handler) {
    NotificationHandler old;  // released after the lock
    std::lock_guard lock(mutex_);
    old = std::exchange(notificationHandler_, std::move(handler));
}

std::optional<MIDIIOObjectCache> MIDIManager::notificationCache() const {
    std::lock_guard lock(mutex_);
    return notificationCache_;
}

std::vector<int32_t> MIDIManager::managedInputUniqueIDs() const {
    std::vector<int32_t> ids;
    for (const auto& [tag, input] : managedInputs())
        if (const auto id = input->uniqueID()) ids.push_back(*id);
    return ids;
}

std::vector<int32_t> MIDIManager::managedOutputUniqueIDs() const {
    std::vector<int32_t> ids;
    for (const auto& [tag, output] : managedOutputs())
        if (const auto id = output->uniqueID()) ids.push_back(*id);
    return ids;
}

std::vector<uint32_t> MIDIManager::managedInputEndpointRefs() const {
    std::vector<uint32_t> refs;
    for (const auto& [tag, input] : managedInputs())
        refs.push_back(input->coreMIDIInputPortRef().value_or(0));
    return refs;
}

std::vector<uint32_t> MIDIManager::managedOutputEndpointRefs() const {
    std::vector<uint32_t> refs;
    for (const auto& [tag, output] : managedOutputs())
        refs.push_back(output->coreMIDIOutputPortRef().value_or(0));
    return refs;
}

void MIDIManager::handleNotification(const ms::MIDINotification& notification) {
    const auto raw = MIDIIORawNotification::decode(notification);
    // Only this queue changes the cache; the lock is for readers on other threads.
    auto cache = notificationCache();
    const auto described = handleNotificationForLists(raw, *devices_, *endpoints_, cache,
                                                      [this] { updateObjectsCache(); });
    {
        std::lock_guard lock(mutex_);
        notificationCache_ = std::move(cache);
    }
    if (described) {
        if (auto handler = notificationHandler()) {
            dispatch::Queue::main()->async(
                [weak = weak_from_this(), handler = std::move(handler), n = *described] {
                    if (const auto manager = weak.lock()) handler(n, *manager);
                });
        }
    }
}

}  // namespace midiio
