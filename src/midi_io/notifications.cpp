#include "midi_io/notifications.hpp"

#include "midi_io/endpoint_lists.hpp"
#include "midiservices/network_session.hpp"

namespace midiio {

namespace ms = midiservices;

namespace {

template <class T>
size_t combine(size_t seed, const T& value) {
    return seed ^ (std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace

MIDIIORawNotification MIDIIORawNotification::decode(const ms::MIDINotification& notification) {
    using ID = ms::MIDINotificationMessageID;
    const auto id = static_cast<int32_t>(notification.messageID);
    switch (notification.messageID) {
        case ID::setupChanged:
            return MIDIIORawNotification(Case::setupChanged, id);
        case ID::thruConnectionsChanged:
            return MIDIIORawNotification(Case::thruConnectionChanged, id);
        case ID::serialPortOwnerChanged:
            return MIDIIORawNotification(Case::serialPortOwnerChanged, id);
        case ID::objectAdded:
        case ID::objectRemoved:
            if (const auto* n =
                    ms::MIDINotificationAs<ms::MIDIObjectAddRemoveNotification>(notification)) {
                MIDIIORawNotification raw(
                    notification.messageID == ID::objectAdded ? Case::added : Case::removed, id);
                raw.addRemove_ = {n->parent, static_cast<int32_t>(n->parentType), n->child,
                                  static_cast<int32_t>(n->childType)};
                return raw;
            }
            break;
        case ID::propertyChanged:
            if (const auto* n = ms::MIDINotificationAs<ms::MIDIObjectPropertyChangeNotification>(
                    notification)) {
                MIDIIORawNotification raw(Case::propertyChanged, id);
                raw.property_ = {n->object, static_cast<int32_t>(n->objectType), n->propertyName};
                return raw;
            }
            break;
        case ID::ioError:
            if (const auto* n = ms::MIDINotificationAs<ms::MIDIIOErrorNotification>(notification)) {
                MIDIIORawNotification raw(Case::ioError, id);
                raw.ioError_ = {n->driverDevice, n->errorCode};
                return raw;
            }
            break;
    }
    return MIDIIORawNotification(Case::other, id);
}

// ---- MIDIIONotification ----

MIDIIONotification MIDIIONotification::withObject(Case c, AnyMIDIIOObject object,
                                                  std::optional<AnyMIDIIOObject> parent) {
    MIDIIONotification n(c);
    n.object_ = std::move(object);
    n.parent_ = std::move(parent);
    return n;
}

MIDIIONotification MIDIIONotification::added(AnyMIDIIOObject object,
                                             std::optional<AnyMIDIIOObject> parent) {
    return withObject(Case::added, std::move(object), std::move(parent));
}

MIDIIONotification MIDIIONotification::removed(AnyMIDIIOObject object,
                                               std::optional<AnyMIDIIOObject> parent) {
    return withObject(Case::removed, std::move(object), std::move(parent));
}

MIDIIONotification MIDIIONotification::propertyChanged(Property property,
                                                       AnyMIDIIOObject forObject) {
    auto n = withObject(Case::propertyChanged, std::move(forObject), std::nullopt);
    n.property_ = property;
    return n;
}

MIDIIONotification MIDIIONotification::ioError(MIDIDevice device, midicore::MIDIIOError error) {
    MIDIIONotification n(Case::ioError);
    n.device_ = std::move(device);
    n.error_ = std::move(error);
    return n;
}

MIDIIONotification MIDIIONotification::other(int32_t messageIDRawValue) {
    MIDIIONotification n(Case::other);
    n.messageID_ = messageIDRawValue;
    return n;
}

std::optional<MIDIIONotification> MIDIIONotification::from(const MIDIIORawNotification& raw,
                                                           const MIDIIOObjectCache* cache) {
    using R = MIDIIORawNotification::Case;
    switch (raw.notificationCase()) {
        case R::setupChanged:
            return setupChanged();
        case R::thruConnectionChanged:
            return thruConnectionChanged();
        case R::serialPortOwnerChanged:
            return serialPortOwnerChanged();
        case R::other:
            return other(raw.messageID());
        case R::added:
        case R::removed: {
            const auto& p = *raw.addedOrRemoved();
            // Only a removal looks in the cache: an added object is read from the services.
            const MIDIIOObjectCache* used = raw.notificationCase() == R::removed ? cache : nullptr;
            auto child = AnyMIDIIOObject::fromReference(p.child, p.childType, used);
            if (!child) return std::nullopt;
            auto parent = AnyMIDIIOObject::fromReference(p.parent, p.parentType, used);
            if (raw.notificationCase() == R::added)
                return added(std::move(*child), std::move(parent));
            return removed(std::move(*child), std::move(parent));
        }
        case R::propertyChanged: {
            const auto& p = *raw.propertyChanged();
            auto object = AnyMIDIIOObject::fromReference(p.object, p.objectType, nullptr);
            const auto property = properties::fromCoreMIDIKey(p.propertyName);
            if (!object || !property) return std::nullopt;
            return propertyChanged(*property, std::move(*object));
        }
        case R::ioError: {
            const auto& p = *raw.ioError();
            return ioError(MIDIDevice(p.driverDevice), p.error());
        }
    }
    return std::nullopt;
}

std::string MIDIIONotification::description() const {
    switch (case_) {
        case Case::setupChanged:
            return "setupChanged";
        case Case::thruConnectionChanged:
            return "thruConnectionChanged";
        case Case::serialPortOwnerChanged:
            return "serialPortOwnerChanged";
        case Case::added:
        case Case::removed: {
            std::string text = case_ == Case::added ? "added(" : "removed(";
            text += object_->description();
            if (parent_) text += ", parent: " + parent_->description();
            return text + ")";
        }
        case Case::propertyChanged:
            return "propertyChanged(" + object_->description() +
                   ", for: " + std::string(properties::caseName(*property_)) + ")";
        case Case::ioError:
            return "ioError(device: " + device_->debugDescription() + ", error: " + error_->what() +
                   ")";
        case Case::other:
            return "other(ID: " + std::to_string(messageID_) + ")";
    }
    return {};
}

bool operator==(const MIDIIONotification& a, const MIDIIONotification& b) {
    return a.case_ == b.case_ && a.object_ == b.object_ && a.parent_ == b.parent_ &&
           a.property_ == b.property_ && a.device_ == b.device_ && a.error_ == b.error_ &&
           a.messageID_ == b.messageID_;
}

size_t MIDIIONotification::hash() const {
    size_t seed = std::hash<size_t>{}(static_cast<size_t>(case_));
    switch (case_) {
        case Case::added:
        case Case::removed:
            seed = combine(seed, object_->coreMIDIObjectRef());
            seed = combine(seed, parent_ ? 1 : 0);
            if (parent_) seed = combine(seed, parent_->coreMIDIObjectRef());
            break;
        case Case::propertyChanged:
            seed = combine(seed, properties::caseIndex(*property_));
            seed = combine(seed, object_->coreMIDIObjectRef());
            break;
        case Case::ioError:
            seed = combine(seed, device_->coreMIDIObjectRef);
            seed = combine(seed, *error_);
            break;
        case Case::other:
            seed = combine(seed, messageID_);
            break;
        default:
            break;
    }
    return seed;
}

std::optional<MIDIIONetworkConnectionPolicy> networkConnectionPolicy(uint32_t rawValue) {
    if (rawValue > 2) return std::nullopt;
    return static_cast<MIDIIONetworkConnectionPolicy>(rawValue);
}

void configureNetworkSession(const std::optional<MIDIIONetworkConnectionPolicy>& policy) {
    midiservices::MIDINetworkSessionSetEnabled(policy.has_value());
    midiservices::MIDINetworkSessionSetConnectionPolicy(policy ? static_cast<uint32_t>(*policy) : 0);
}

std::optional<MIDIIONotification> handleNotificationForLists(
    const MIDIIORawNotification& raw, const MIDIDevicesProtocol& devices,
    const MIDIEndpointsProtocol& endpoints, std::optional<MIDIIOObjectCache>& storedCache,
    const std::function<void()>& updateLists) {
    using R = MIDIIORawNotification::Case;
    MIDIIOObjectCache snapshot(devices, endpoints);
    switch (raw.notificationCase()) {
        case R::added:
        case R::removed:
        case R::propertyChanged:
        case R::setupChanged:
            if (updateLists) updateLists();
            break;
        default:
            break;
    }
    if (raw.notificationCase() == R::removed)
        return MIDIIONotification::from(raw, storedCache ? &*storedCache : nullptr);
    storedCache = std::move(snapshot);
    return MIDIIONotification::from(raw, &*storedCache);
}

}  // namespace midiio
