// What the virtual input and the virtual output share: the endpoint's name, unique ID and
// reference, its creation with the unique-ID rules, renaming, the private flag and disposal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "midi_core/protocol_version.hpp"
#include "midi_io/api_version.hpp"
#include "midiservices/services.hpp"

namespace midiio {
class MIDIManager;
}

namespace midiio::detail {

// Throws MIDIIOError (internalInconsistency) "New Core MIDI API is not accessible on this
// platform." when the system is older than version 11.
void requireNewCoreMIDIAPI();

// The services' identifier of a protocol: 1 for MIDI 1.0, 2 for MIDI 2.0.
inline midiservices::MIDIProtocolID servicesProtocol(midicore::MIDIProtocolVersion protocol) {
    return protocol == midicore::MIDIProtocolVersion::_1_0 ? midiservices::MIDIProtocolID::midi1_0
                                                           : midiservices::MIDIProtocolID::midi2_0;
}

class VirtualEndpoint {
  public:
    using Make = std::function<midiservices::OSStatus(midiservices::MIDIEndpointRef* outRef)>;

    VirtualEndpoint(std::string name, std::optional<int32_t> uniqueID)
        : name_(std::move(name)), uniqueID_(uniqueID) {}
    ~VirtualEndpoint() { dispose(); }
    VirtualEndpoint(const VirtualEndpoint&) = delete;
    VirtualEndpoint& operator=(const VirtualEndpoint&) = delete;

    std::string name() const;
    // Stores the name and renames the live endpoint (a failure of that is ignored).
    void setName(std::string name);
    std::optional<int32_t> uniqueID() const;
    std::optional<midiservices::MIDIEndpointRef> ref() const;

    // Creates the endpoint with `make`:
    // 1. a stored ID that any live object already has is dropped;
    // 2. a failing `make` throws MIDIIOError (osStatus) and stores nothing;
    // 3. the manager's model and manufacturer are set (failures ignored);
    // 4. with no stored ID the assigned one is read (0, unreadable, counts as none); a stored ID
    //    is set on the endpoint: taken meanwhile (not unique), the assigned ID is kept instead;
    //    any other failure throws MIDIIOError (osStatus), the endpoint staying referenced.
    void create(const MIDIManager& manager, const Make& make);

    // Sets the private flag of the endpoint (reference 0 when there is none); a failure throws
    // MIDIIOError (osStatus).
    void setPrivate(bool isPrivate) const;
    // Disposes the endpoint when there is one (status ignored).
    void dispose();

    // "<className>(name: "<name>", uniqueID: <id or nil>)".
    std::string description(const char* className) const;

  private:
    mutable std::mutex mutex_;
    std::string name_;
    std::optional<int32_t> uniqueID_;
    std::optional<midiservices::MIDIEndpointRef> ref_;
};

// The accessors the virtual input and output share, over their endpoint of record type `Record`.
template <class Record>
class VirtualEndpointObject : public MIDIManaged {
  public:
    ~VirtualEndpointObject() override { endpoint_.dispose(); }

    CoreMIDIAPIVersion api() const override { return api_; }
    midicore::MIDIProtocolVersion midiProtocol() const { return api_.midiProtocol(); }
    std::string name() const { return endpoint_.name(); }
    // Stores the name and renames the live endpoint (failures ignored).
    void setName(std::string name) { endpoint_.setName(std::move(name)); }
    std::optional<int32_t> uniqueID() const { return endpoint_.uniqueID(); }
    // The record of the endpoint (of reference 0 when there is none).
    Record endpoint() const { return Record(endpoint_.ref().value_or(0)); }
    // Hides the endpoint from other clients (true) or shows it. Throws MIDIIOError.
    void setPrivate(bool isPrivate) const { endpoint_.setPrivate(isPrivate); }
    // Disposes the endpoint; also done on release.
    void dispose() { endpoint_.dispose(); }

  protected:
    // A new-interface `api` becomes the packet-list interface on systems older than version 11.
    VirtualEndpointObject(std::string name, std::optional<int32_t> uniqueID,
                          std::weak_ptr<MIDIManager> midiManager, const CoreMIDIAPIVersion& api)
        : midiManager_(std::move(midiManager)),
          api_(api.availableOrLegacy()),
          endpoint_(std::move(name), uniqueID) {}

    std::weak_ptr<MIDIManager> midiManager_;
    CoreMIDIAPIVersion api_;
    VirtualEndpoint endpoint_;
};

}  // namespace midiio::detail
