#include "midi_io/object_model.hpp"

#include "midi_core/io_error.hpp"
#include "midi_io/object_cache.hpp"
#include "midi_support/strings.hpp"
#include "midiservices/properties.hpp"
#include "scan.hpp"

namespace midiio {

namespace ms = midiservices;

namespace {

// The records of the objects at indices 0 ... count-1: the count is asked once.
template <class Record, class Count, class Get>
std::vector<Record> scan(Count count, Get get) {
    const size_t n = count();
    std::vector<Record> records;
    records.reserve(n);
    for (size_t i = 0; i < n; ++i)
        records.emplace_back(get(i));
    return records;
}

template <class Count, class Get>
std::optional<ms::MIDIEndpointRef> findEndpointRef(int32_t uniqueID, Count count, Get get) {
    const size_t n = count();
    for (size_t i = 0; i < n; ++i) {
        const ms::MIDIEndpointRef ref = get(i);
        if (detail::uniqueIDOrZero(ref) == uniqueID) return ref;
    }
    return std::nullopt;
}

template <class Object>
std::string existenceDescription(const char* type, const Object& o, bool exists) {
    return std::string(type) + "(name: " + midisupport::quoted(o.name) +
           ", uniqueID: " + std::to_string(o.uniqueID) +
           ", exists: " + (exists ? "true" : "false") + ")";
}

}  // namespace

// ---- MIDIDevice ----

MIDIDevice::MIDIDevice(ms::MIDIDeviceRef ref)
    : name(detail::stringPropertyOrEmpty(ref, ms::kMIDIPropertyName)),
      uniqueID(detail::uniqueIDOrZero(ref)),
      coreMIDIObjectRef(ref) {}

AnyMIDIIOObject MIDIDevice::asAnyMIDIIOObject() const {
    return AnyMIDIIOObject(*this);
}

std::vector<MIDIEntity> MIDIDevice::entities() const {
    return getEntities(coreMIDIObjectRef);
}

std::vector<MIDIInputEndpoint> MIDIDevice::inputs() const {
    std::vector<MIDIInputEndpoint> all;
    for (const auto& entity : entities()) {
        auto list = getEntityDestinationEndpoints(entity.coreMIDIObjectRef);
        all.insert(all.end(), list.begin(), list.end());
    }
    return all;
}

std::vector<MIDIOutputEndpoint> MIDIDevice::outputs() const {
    std::vector<MIDIOutputEndpoint> all;
    for (const auto& entity : entities()) {
        auto list = getEntitySourceEndpoints(entity.coreMIDIObjectRef);
        all.insert(all.end(), list.begin(), list.end());
    }
    return all;
}

bool MIDIDevice::exists() const {
    for (const auto& d : getSystemDevices())
        if (d.uniqueID == uniqueID) return true;
    return false;
}

std::string MIDIDevice::debugDescription() const {
    return existenceDescription("MIDIDevice", *this, exists());
}

// ---- MIDIEntity ----

MIDIEntity::MIDIEntity(ms::MIDIEntityRef ref)
    : name(detail::stringPropertyOrEmpty(ref, ms::kMIDIPropertyName)),
      uniqueID(detail::uniqueIDOrZero(ref)),
      coreMIDIObjectRef(ref) {}

AnyMIDIIOObject MIDIEntity::asAnyMIDIIOObject() const {
    return AnyMIDIIOObject(*this);
}

std::vector<MIDIInputEndpoint> MIDIEntity::inputs() const {
    return getEntityDestinationEndpoints(coreMIDIObjectRef);
}
std::vector<MIDIOutputEndpoint> MIDIEntity::outputs() const {
    return getEntitySourceEndpoints(coreMIDIObjectRef);
}

std::optional<MIDIDevice> MIDIEntity::device() const {
    try {
        return getDevice(coreMIDIObjectRef);
    } catch (const midicore::MIDIIOError&) {
        return std::nullopt;
    }
}

bool MIDIEntity::exists() const {
    return device().has_value();
}

std::string MIDIEntity::debugDescription() const {
    return existenceDescription("MIDIEntity", *this, exists());
}

// ---- AnyMIDIEndpoint ----

AnyMIDIEndpoint::AnyMIDIEndpoint(const MIDIInputEndpoint& e)
    : AnyMIDIEndpoint(e.name, e.uniqueID, e.coreMIDIObjectRef, e.displayName,
                      MIDIIOObjectType::inputEndpoint, MIDIEndpointType::input) {}

AnyMIDIEndpoint::AnyMIDIEndpoint(const MIDIOutputEndpoint& e)
    : AnyMIDIEndpoint(e.name, e.uniqueID, e.coreMIDIObjectRef, e.displayName,
                      MIDIIOObjectType::outputEndpoint, MIDIEndpointType::output) {}

AnyMIDIEndpoint::AnyMIDIEndpoint(std::string name, int32_t uniqueID, uint32_t ref,
                                 std::string displayName, MIDIIOObjectType objectType,
                                 MIDIEndpointType endpointType)
    : name(std::move(name)),
      uniqueID(uniqueID),
      coreMIDIObjectRef(ref),
      displayName(std::move(displayName)),
      endpointType(endpointType),
      objectType_(objectType) {}

AnyMIDIIOObject AnyMIDIEndpoint::asAnyMIDIIOObject() const {
    if (endpointType == MIDIEndpointType::output)
        return AnyMIDIIOObject(MIDIOutputEndpoint(coreMIDIObjectRef));
    return AnyMIDIIOObject(MIDIInputEndpoint(coreMIDIObjectRef));
}

std::string AnyMIDIEndpoint::debugDescription() const {
    return "AnyMIDIEndpoint(name: " + midisupport::quoted(name) +
           ", uniqueID: " + std::to_string(uniqueID) + ")";
}

// ---- AnyMIDIIOObject ----

MIDIIOObjectType AnyMIDIIOObject::objectType() const {
    return visit([](const auto& o) { return o.objectType(); });
}
uint32_t AnyMIDIIOObject::coreMIDIObjectRef() const {
    return visit([](const auto& o) { return o.coreMIDIObjectRef; });
}
const std::string& AnyMIDIIOObject::name() const {
    return visit([](const auto& o) -> const std::string& { return o.name; });
}
int32_t AnyMIDIIOObject::uniqueID() const {
    return visit([](const auto& o) { return o.uniqueID; });
}
std::string AnyMIDIIOObject::description() const {
    return visit([](const auto& o) { return o.debugDescription(); });
}

namespace {

template <class Record>
Record cachedOrRead(uint32_t ref, const std::vector<Record>* cached) {
    if (cached != nullptr)
        for (const auto& r : *cached)
            if (r.coreMIDIObjectRef == ref) return r;
    return Record(ref);
}

}  // namespace

std::optional<AnyMIDIIOObject> AnyMIDIIOObject::fromReference(uint32_t ref, int32_t rawObjectType,
                                                              const MIDIIOObjectCache* cache) {
    if (ref == 0) return std::nullopt;
    using T = ms::MIDIObjectType;
    switch (static_cast<T>(rawObjectType)) {
        case T::device:
        case T::externalDevice:
            return AnyMIDIIOObject(cachedOrRead(ref, cache ? &cache->devices : nullptr));
        case T::entity:
        case T::externalEntity:
            return AnyMIDIIOObject(MIDIEntity(ref));
        case T::source:
        case T::externalSource:
            return AnyMIDIIOObject(cachedOrRead(ref, cache ? &cache->outputEndpoints : nullptr));
        case T::destination:
        case T::externalDestination:
            return AnyMIDIIOObject(cachedOrRead(ref, cache ? &cache->inputEndpoints : nullptr));
        default:
            return std::nullopt;
    }
}

// ---- Queries ----

std::vector<MIDIDevice> getSystemDevices() {
    return detail::scanRecords<MIDIDevice>(ms::MIDIGetNumberOfDevices, ms::MIDIGetDevice);
}

std::vector<MIDIEntity> getEntities(ms::MIDIDeviceRef device) {
    return detail::scanRecords<MIDIEntity>(
        [&] { return ms::MIDIDeviceGetNumberOfEntities(device); },
        [&](size_t i) { return ms::MIDIDeviceGetEntity(device, i); });
}

std::vector<MIDIOutputEndpoint> getSystemSourceEndpoints() {
    return currentOutputEndpoints();
}
std::vector<MIDIInputEndpoint> getSystemDestinationEndpoints() {
    return currentInputEndpoints();
}

std::vector<MIDIOutputEndpoint> getEntitySourceEndpoints(ms::MIDIEntityRef entity) {
    return detail::scanRecords<MIDIOutputEndpoint>(
        [&] { return ms::MIDIEntityGetNumberOfSources(entity); },
        [&](size_t i) { return ms::MIDIEntityGetSource(entity, i); });
}

std::vector<MIDIInputEndpoint> getEntityDestinationEndpoints(ms::MIDIEntityRef entity) {
    return detail::scanRecords<MIDIInputEndpoint>(
        [&] { return ms::MIDIEntityGetNumberOfDestinations(entity); },
        [&](size_t i) { return ms::MIDIEntityGetDestination(entity, i); });
}

std::optional<ms::MIDIEndpointRef> getSystemSourceRef(int32_t uniqueID) {
    return findEndpointRef(uniqueID, ms::MIDIGetNumberOfSources, ms::MIDIGetSource);
}

std::optional<ms::MIDIEndpointRef> getSystemDestinationRef(int32_t uniqueID) {
    return findEndpointRef(uniqueID, ms::MIDIGetNumberOfDestinations, ms::MIDIGetDestination);
}

MIDIEntity getEntity(ms::MIDIEndpointRef endpoint) {
    ms::MIDIEntityRef entity = 0;
    midicore::throwIfOSStatusErr(ms::MIDIEndpointGetEntity(endpoint, &entity));
    if (entity == 0)
        throw midicore::MIDIIOError::internalInconsistency(
            "Error getting entity ID for endpoint ref " + std::to_string(endpoint));
    return MIDIEntity(entity);
}

std::optional<MIDIDevice> getDevice(ms::MIDIEntityRef entity) {
    ms::MIDIDeviceRef device = 0;
    midicore::throwIfOSStatusErr(ms::MIDIEntityGetDevice(entity, &device));
    if (device == 0) return std::nullopt;
    return MIDIDevice(device);
}

namespace {

// Reads a property through `get`. The services report a property the object does not have (no
// value to return) as kMIDIUnknownProperty: that is the readError `missing`; every other failure
// is thrown as its status.
template <class T, class Get>
T readPropertyOrThrow(Get get, const std::string& missing) {
    T out{};
    const ms::OSStatus status = get(&out);
    if (status == ms::kMIDIUnknownProperty) throw midicore::MIDIIOError::readError(missing);
    midicore::throwIfOSStatusErr(status);
    return out;
}

}  // namespace

std::string getStringProperty(std::string_view key, ms::MIDIObjectRef object) {
    return readPropertyOrThrow<std::string>(
        [&](std::string* out) { return ms::MIDIObjectGetStringProperty(object, key, out); },
        "Got nil while reading MIDIEndpointRef property value " + midisupport::quoted(key));
}

ms::MIDIDictionary getDictionaryProperty(std::string_view key, ms::MIDIObjectRef object) {
    return readPropertyOrThrow<ms::MIDIDictionary>(
        [&](ms::MIDIDictionary* out) {
            return ms::MIDIObjectGetDictionaryProperty(object, key, out);
        },
        "Got nil while reading MIDIEndpointRef property list.");
}

// ---- Navigation of the endpoint interface ----

namespace detail {

std::optional<MIDIEntity> entityOfEndpoint(uint32_t endpointRef) {
    try {
        return getEntity(endpointRef);
    } catch (const midicore::MIDIIOError&) {
        return std::nullopt;
    }
}

std::optional<MIDIDevice> deviceOfEndpoint(uint32_t endpointRef) {
    const auto entity = entityOfEndpoint(endpointRef);
    if (!entity) return std::nullopt;
    return entity->device();
}

bool systemDestinationExists(int32_t uniqueID) {
    return getSystemDestinationRef(uniqueID).has_value();
}

}  // namespace detail

}  // namespace midiio
