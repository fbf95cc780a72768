// The MIDI services' devices, entities and endpoints as value records, the type-erased forms of
// endpoints and of any object, navigation between them and the system scans.
//
// A record keeps the object's reference with a few values read once when it was made (name,
// unique ID and, for endpoints, display name); every other property is read live (see
// object_interface.hpp). Making a record never fails: an unreadable name is "", an unreadable
// unique ID 0. Devices, entities and AnyMIDIIOObject are equal and hashed by reference; endpoint
// records (endpoint.hpp) and AnyMIDIEndpoint by unique ID.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "midi_io/endpoint.hpp"
#include "midi_io/object_interface.hpp"
#include "midi_io/object_type.hpp"
#include "midiservices/services.hpp"

namespace midiio {

struct MIDIIOObjectCache;
class AnyMIDIIOObject;

// Whether an AnyMIDIEndpoint stands for an input endpoint (a destination) or an output endpoint
// (a source).
enum class MIDIEndpointType : uint8_t { input, output };
inline constexpr std::array<MIDIEndpointType, 2> allMIDIEndpointTypes{MIDIEndpointType::input,
                                                                      MIDIEndpointType::output};

struct MIDIDevice : MIDIIOObjectInterface<MIDIDevice> {
    std::string name;
    int32_t uniqueID = 0;
    uint32_t coreMIDIObjectRef = 0;

    MIDIDevice() = default;
    MIDIDevice(std::string name, int32_t uniqueID, uint32_t ref)
        : name(std::move(name)), uniqueID(uniqueID), coreMIDIObjectRef(ref) {}
    // Reads the name and unique ID of `ref`; never fails.
    explicit MIDIDevice(midiservices::MIDIDeviceRef ref);

    static constexpr MIDIIOObjectType objectType() { return MIDIIOObjectType::device; }
    uint32_t id() const { return coreMIDIObjectRef; }
    AnyMIDIIOObject asAnyMIDIIOObject() const;

    std::vector<MIDIEntity> entities() const;
    // The destinations / sources of every entity, entity by entity, in index order.
    std::vector<MIDIInputEndpoint> inputs() const;
    std::vector<MIDIOutputEndpoint> outputs() const;
    // Whether a current system device has this device's unique ID.
    bool exists() const;
    // "MIDIDevice(name: "Synth", uniqueID: 12, exists: true)".
    std::string debugDescription() const;

    friend bool operator==(const MIDIDevice& a, const MIDIDevice& b) {
        return a.coreMIDIObjectRef == b.coreMIDIObjectRef;
    }
    size_t hash() const { return std::hash<uint32_t>{}(coreMIDIObjectRef); }
};

struct MIDIEntity : MIDIIOObjectInterface<MIDIEntity> {
    std::string name;
    int32_t uniqueID = 0;
    uint32_t coreMIDIObjectRef = 0;

    MIDIEntity() = default;
    MIDIEntity(std::string name, int32_t uniqueID, uint32_t ref)
        : name(std::move(name)), uniqueID(uniqueID), coreMIDIObjectRef(ref) {}
    explicit MIDIEntity(midiservices::MIDIEntityRef ref);

    static constexpr MIDIIOObjectType objectType() { return MIDIIOObjectType::entity; }
    uint32_t id() const { return coreMIDIObjectRef; }
    AnyMIDIIOObject asAnyMIDIIOObject() const;

    std::vector<MIDIInputEndpoint> inputs() const;
    std::vector<MIDIOutputEndpoint> outputs() const;
    // The entity's device; none when the services refuse or it has none.
    std::optional<MIDIDevice> device() const;
    bool exists() const;
    // "MIDIEntity(name: "Port A", uniqueID: 13, exists: true)".
    std::string debugDescription() const;

    friend bool operator==(const MIDIEntity& a, const MIDIEntity& b) {
        return a.coreMIDIObjectRef == b.coreMIDIObjectRef;
    }
    size_t hash() const { return std::hash<uint32_t>{}(coreMIDIObjectRef); }
};

// An endpoint of either direction.
struct AnyMIDIEndpoint : MIDIEndpointInterface<AnyMIDIEndpoint> {
    std::string name;
    int32_t uniqueID = 0;
    uint32_t coreMIDIObjectRef = 0;
    std::string displayName;
    MIDIEndpointType endpointType = MIDIEndpointType::input;

    AnyMIDIEndpoint() = default;
    AnyMIDIEndpoint(const MIDIInputEndpoint& e);   // NOLINT(google-explicit-constructor)
    AnyMIDIEndpoint(const MIDIOutputEndpoint& e);  // NOLINT(google-explicit-constructor)
    // A record with the given kind and type (what asAnyEndpoints(objectType, endpointType) makes).
    AnyMIDIEndpoint(std::string name, int32_t uniqueID, uint32_t ref, std::string displayName,
                    MIDIIOObjectType objectType, MIDIEndpointType endpointType);

    MIDIIOObjectType objectType() const { return objectType_; }
    void setObjectType(MIDIIOObjectType type) { objectType_ = type; }
    int32_t id() const { return uniqueID; }
    // A fresh record of the endpoint read through the reference (the stored names are not
    // carried over), as inputEndpoint or outputEndpoint by endpointType.
    AnyMIDIIOObject asAnyMIDIIOObject() const;
    AnyMIDIEndpoint asAnyEndpoint() const { return *this; }
    // "AnyMIDIEndpoint(name: "Port 1", uniqueID: 12)".
    std::string debugDescription() const;

    friend bool operator==(const AnyMIDIEndpoint& a, const AnyMIDIEndpoint& b) {
        return a.uniqueID == b.uniqueID;
    }
    size_t hash() const { return std::hash<int32_t>{}(uniqueID); }

  private:
    MIDIIOObjectType objectType_ = MIDIIOObjectType::inputEndpoint;
};

// Any MIDI object: a device, an entity, an input endpoint or an output endpoint (cases in this
// order). Equal and hashed by the payload's reference, across cases.
class AnyMIDIIOObject : public MIDIIOObjectInterface<AnyMIDIIOObject> {
  public:
    enum class Case : uint8_t { device, entity, inputEndpoint, outputEndpoint };

    AnyMIDIIOObject(MIDIDevice d) : value_(std::move(d)) {}          // NOLINT
    AnyMIDIIOObject(MIDIEntity e) : value_(std::move(e)) {}          // NOLINT
    AnyMIDIIOObject(MIDIInputEndpoint e) : value_(std::move(e)) {}   // NOLINT
    AnyMIDIIOObject(MIDIOutputEndpoint e) : value_(std::move(e)) {}  // NOLINT
    static AnyMIDIIOObject device(MIDIDevice d) { return {std::move(d)}; }
    static AnyMIDIIOObject entity(MIDIEntity e) { return {std::move(e)}; }
    static AnyMIDIIOObject inputEndpoint(MIDIInputEndpoint e) { return {std::move(e)}; }
    static AnyMIDIIOObject outputEndpoint(MIDIOutputEndpoint e) { return {std::move(e)}; }

    // The object a notification names, from its reference and raw object type (0 ... 3, or 16 ...
    // 19 for the external kinds). Devices and endpoints are taken from `cache` when it holds the
    // reference, otherwise read from the services; entities are always read. None for reference 0
    // or any other type.
    static std::optional<AnyMIDIIOObject> fromReference(uint32_t ref, int32_t rawObjectType,
                                                        const MIDIIOObjectCache* cache = nullptr);

    Case objectCase() const { return static_cast<Case>(value_.index()); }
    template <class T>
    const T* getIf() const {
        return std::get_if<T>(&value_);
    }
    template <class F>
    decltype(auto) visit(F&& f) const {
        return std::visit(std::forward<F>(f), value_);
    }

    MIDIIOObjectType objectType() const;
    uint32_t coreMIDIObjectRef() const;
    const std::string& name() const;
    int32_t uniqueID() const;
    uint32_t id() const { return coreMIDIObjectRef(); }
    AnyMIDIIOObject asAnyMIDIIOObject() const { return *this; }
    // The payload's debug description.
    std::string description() const;

    friend bool operator==(const AnyMIDIIOObject& a, const AnyMIDIIOObject& b) {
        return a.coreMIDIObjectRef() == b.coreMIDIObjectRef();
    }
    size_t hash() const { return std::hash<uint32_t>{}(coreMIDIObjectRef()); }

  private:
    std::variant<MIDIDevice, MIDIEntity, MIDIInputEndpoint, MIDIOutputEndpoint> value_;
};

// Each element's asAnyMIDIIOObject() / asAnyEndpoint(), in order.
template <class Range>
std::vector<AnyMIDIIOObject> asAnyMIDIIOObjects(const Range& objects) {
    std::vector<AnyMIDIIOObject> result;
    for (const auto& o : objects)
        result.push_back(o.asAnyMIDIIOObject());
    return result;
}
template <class Range>
std::vector<AnyMIDIEndpoint> asAnyEndpoints(const Range& endpoints) {
    std::vector<AnyMIDIEndpoint> result;
    for (const auto& e : endpoints)
        result.push_back(AnyMIDIEndpoint(e));
    return result;
}
// The endpoint records with the given kind and type.
template <class Range>
std::vector<AnyMIDIEndpoint> asAnyEndpoints(const Range& endpoints, MIDIIOObjectType objectType,
                                            MIDIEndpointType endpointType) {
    std::vector<AnyMIDIEndpoint> result;
    for (const auto& e : endpoints)
        result.emplace_back(e.name, e.uniqueID, e.coreMIDIObjectRef, e.displayName, objectType,
                            endpointType);
    return result;
}

// ---- System queries. None caches anything; each calls the services on the caller's thread. ----

std::vector<MIDIDevice> getSystemDevices();
std::vector<MIDIEntity> getEntities(midiservices::MIDIDeviceRef device);
std::vector<MIDIOutputEndpoint> getSystemSourceEndpoints();
std::vector<MIDIInputEndpoint> getSystemDestinationEndpoints();
std::vector<MIDIOutputEndpoint> getEntitySourceEndpoints(midiservices::MIDIEntityRef entity);
std::vector<MIDIInputEndpoint> getEntityDestinationEndpoints(midiservices::MIDIEntityRef entity);
// The first current source / destination with the unique ID.
std::optional<midiservices::MIDIEndpointRef> getSystemSourceRef(int32_t uniqueID);
std::optional<midiservices::MIDIEndpointRef> getSystemDestinationRef(int32_t uniqueID);

// The entity of an endpoint. Throws MIDIIOError: osStatus when the services refuse,
// internalInconsistency "Error getting entity ID for endpoint ref <n>" when it has none (a virtual
// endpoint).
MIDIEntity getEntity(midiservices::MIDIEndpointRef endpoint);
// The device of an entity; none when it has none. Throws MIDIIOError osStatus when refused.
std::optional<MIDIDevice> getDevice(midiservices::MIDIEntityRef entity);
// A string property. Throws MIDIIOError readError "Got nil while reading MIDIEndpointRef property
// value "<key>"" when the object has no such property, osStatus for any other failure (a stale
// reference, a value of another type).
std::string getStringProperty(std::string_view key, midiservices::MIDIObjectRef object);
// A dictionary property; the same failures, readError "Got nil while reading MIDIEndpointRef
// property list.".
midiservices::MIDIDictionary getDictionaryProperty(std::string_view key,
                                                   midiservices::MIDIObjectRef object);

}  // namespace midiio

template <>
struct std::hash<midiio::MIDIDevice> {
    size_t operator()(const midiio::MIDIDevice& d) const { return d.hash(); }
};
template <>
struct std::hash<midiio::MIDIEntity> {
    size_t operator()(const midiio::MIDIEntity& e) const { return e.hash(); }
};
template <>
struct std::hash<midiio::AnyMIDIEndpoint> {
    size_t operator()(const midiio::AnyMIDIEndpoint& e) const { return e.hash(); }
};
template <>
struct std::hash<midiio::AnyMIDIIOObject> {
    size_t operator()(const midiio::AnyMIDIIOObject& o) const { return o.hash(); }
};
