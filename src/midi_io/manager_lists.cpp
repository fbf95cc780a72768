// The manager's notification handler and cache: the part of the handling of the services' setup
// notifications that refreshes the lists and describes the notification.
#include "dispatch/queue.hpp"
#include "midi_io/manager.hpp"

namespace midiio {

namespace ms = midiservices;

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

void MIDIManager::describeAndRefresh(const ms::MIDINotification& notification) {
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
