#include "midi_io/detail/virtual_endpoint.hpp"

#include "midi_core/io_error.hpp"
#include "midi_io/api_version.hpp"
#include "midi_io/manager.hpp"

namespace midiio::detail {

namespace ms = midiservices;

void requireNewCoreMIDIAPI() {
    if (!newCoreMIDIAPIAvailable())
        throw midicore::MIDIIOError::internalInconsistency(
            "New Core MIDI API is not accessible on this platform.");
}

std::string VirtualEndpoint::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void VirtualEndpoint::setName(std::string name) {
    std::optional<ms::MIDIEndpointRef> ref;
    {
        std::lock_guard lock(mutex_);
        name_ = name;
        ref = ref_;
    }
    if (ref) ms::MIDIObjectSetStringProperty(*ref, ms::kMIDIPropertyName, name);
}

std::optional<int32_t> VirtualEndpoint::uniqueID() const {
    std::lock_guard lock(mutex_);
    return uniqueID_;
}

std::optional<ms::MIDIEndpointRef> VirtualEndpoint::ref() const {
    std::lock_guard lock(mutex_);
    return ref_;
}

void VirtualEndpoint::create(const MIDIManager& manager, const Make& make) {
    std::optional<int32_t> wanted = uniqueID();
    // Unique IDs are unique among all objects, so an ID that any object holds cannot be ours.
    if (wanted && ms::MIDIObjectFindByUniqueID(*wanted, nullptr, nullptr) == ms::noErr)
        wanted.reset();

    ms::MIDIEndpointRef ref = 0;
    midicore::throwIfOSStatusErr(make(&ref));
    ms::MIDIObjectSetStringProperty(ref, ms::kMIDIPropertyModel, manager.model());
    ms::MIDIObjectSetStringProperty(ref, ms::kMIDIPropertyManufacturer, manager.manufacturer());

    std::optional<int32_t> settled;
    ms::OSStatus status = ms::noErr;
    if (wanted) {
        status = ms::MIDIObjectSetIntegerProperty(ref, ms::kMIDIPropertyUniqueID, *wanted);
        if (status == ms::noErr) settled = wanted;
    }
    if (!settled && (status == ms::noErr || status == ms::kMIDIIDNotUnique)) {
        // No stored ID, or one taken between the check and the set: keep what was assigned.
        int32_t assigned = 0;
        if (ms::MIDIObjectGetIntegerProperty(ref, ms::kMIDIPropertyUniqueID, &assigned) ==
                ms::noErr &&
            assigned != 0)
            settled = assigned;
        status = ms::noErr;
    }
    {
        std::lock_guard lock(mutex_);
        ref_ = ref;
        uniqueID_ = settled;
    }
    midicore::throwIfOSStatusErr(status);
}

void VirtualEndpoint::setPrivate(bool isPrivate) const {
    midicore::throwIfOSStatusErr(ms::MIDIObjectSetIntegerProperty(
        ref().value_or(0), ms::kMIDIPropertyPrivate, isPrivate ? 1 : 0));
}

void VirtualEndpoint::dispose() {
    std::optional<ms::MIDIEndpointRef> ref;
    {
        std::lock_guard lock(mutex_);
        ref = std::exchange(ref_, std::nullopt);
    }
    if (ref) ms::MIDIEndpointDispose(*ref);
}

std::string VirtualEndpoint::description(const char* className) const {
    std::lock_guard lock(mutex_);
    return std::string(className) + "(name: \"" + name_ + "\", uniqueID: " +
           (uniqueID_ ? std::to_string(*uniqueID_) : std::string("nil")) + ")";
}

}  // namespace midiio::detail
