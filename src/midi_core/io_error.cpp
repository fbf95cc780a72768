#include "midi_core/io_error.hpp"

#include <array>
#include <string_view>

#include "hashing.hpp"

namespace midicore {

namespace {

struct NamedStatus {
    MIDIOSStatus::Case statusCase;
    OSStatus code;
    const char* sentence;
};

// One row per named case, in the order of MIDIOSStatus::Case.
constexpr std::array<NamedStatus, 18> namedStatuses{{
    {MIDIOSStatus::Case::invalidClient, midiservices::kMIDIInvalidClient,
     "An invalid MIDIClientRef was passed. (kMIDIInvalidClient)"},
    {MIDIOSStatus::Case::invalidPort, midiservices::kMIDIInvalidPort,
     "An invalid MIDIPortRef was passed. (kMIDIInvalidPort)"},
    {MIDIOSStatus::Case::wrongEndpointType, midiservices::kMIDIWrongEndpointType,
     "A source endpoint was passed to a function expecting a destination, or vice versa. "
     "(kMIDIWrongEndpointType)"},
    {MIDIOSStatus::Case::noConnection, midiservices::kMIDINoConnection,
     "Attempt to close a non-existent connection. (kMIDINoConnection)"},
    {MIDIOSStatus::Case::unknownEndpoint, midiservices::kMIDIUnknownEndpoint,
     "An invalid MIDIEndpointRef was passed. (kMIDIUnknownEndpoint)"},
    {MIDIOSStatus::Case::unknownProperty, midiservices::kMIDIUnknownProperty,
     "Attempt to query a property not set on the object. (kMIDIUnknownProperty)"},
    {MIDIOSStatus::Case::wrongPropertyType, midiservices::kMIDIWrongPropertyType,
     "Attempt to set a property with a value not of the correct type. (kMIDIWrongPropertyType)"},
    {MIDIOSStatus::Case::noCurrentSetup, midiservices::kMIDINoCurrentSetup,
     "Internal error; there is no current MIDI setup object. (kMIDINoCurrentSetup)"},
    {MIDIOSStatus::Case::messageSendErr, midiservices::kMIDIMessageSendErr,
     "Communication with MIDIServer failed. (kMIDIMessageSendErr)"},
    {MIDIOSStatus::Case::serverStartErr, midiservices::kMIDIServerStartErr,
     "Unable to start MIDIServer. (kMIDIServerStartErr)"},
    {MIDIOSStatus::Case::setupFormatErr, midiservices::kMIDISetupFormatErr,
     "Unable to read the saved state. (kMIDISetupFormatErr)"},
    {MIDIOSStatus::Case::wrongThread, midiservices::kMIDIWrongThread,
     "A driver is calling a non-I/O function in the server from a thread other than the "
     "server's main thread. (kMIDIWrongThread)"},
    {MIDIOSStatus::Case::objectNotFound, midiservices::kMIDIObjectNotFound,
     "The requested object does not exist. (kMIDIObjectNotFound)"},
    {MIDIOSStatus::Case::idNotUnique, midiservices::kMIDIIDNotUnique,
     "Attempt to set a non-unique kMIDIPropertyUniqueID on an object. (kMIDIIDNotUnique)"},
    {MIDIOSStatus::Case::notPermitted, midiservices::kMIDINotPermitted,
     "The process does not have privileges for the requested operation. (kMIDINotPermitted)"},
    {MIDIOSStatus::Case::unknownError, midiservices::kMIDIUnknownError,
     "Internal error; unable to perform the requested operation. (kMIDIUnknownError)"},
    {MIDIOSStatus::Case::ioError, midiservices::kMIDIMsgIOError, "I/O Error. (kMIDIMsgIOError)"},
    {MIDIOSStatus::Case::internalError, midiservices::paramErr, "Internal OSStatus error -50."},
}};

const NamedStatus* namedStatus(MIDIOSStatus::Case statusCase) {
    const auto index = static_cast<size_t>(statusCase);
    return index < namedStatuses.size() ? &namedStatuses[index] : nullptr;
}

}  // namespace

MIDIOSStatus MIDIOSStatus::fromRawValue(OSStatus rawValue) {
    for (const NamedStatus& row : namedStatuses) {
        if (row.code == rawValue) return MIDIOSStatus(row.statusCase);
    }
    return other(rawValue);
}

OSStatus MIDIOSStatus::rawValue() const {
    const NamedStatus* row = namedStatus(case_);
    return row ? row->code : otherPayload_;
}

std::string MIDIOSStatus::description() const {
    const NamedStatus* row = namedStatus(case_);
    return row ? row->sentence : "Unknown OSStatus error: " + std::to_string(otherPayload_);
}

size_t MIDIOSStatus::hash() const {
    return detail::hashCombine(std::hash<int>{}(static_cast<int>(case_)),
                               std::hash<OSStatus>{}(otherPayload_));
}

bool operator==(const MIDIIOError& a, const MIDIIOError& b) {
    if (a.case_ != b.case_) return false;
    if (a.case_ == MIDIIOError::Case::osStatus) return a.status_ == b.status_;
    return std::string_view(a.what()) == std::string_view(b.what());
}

size_t MIDIIOError::hash() const {
    const size_t payload = status_ ? status_->hash() : std::hash<std::string_view>{}(what());
    return detail::hashCombine(std::hash<int>{}(static_cast<int>(case_)), payload);
}

void throwIfOSStatusErr(OSStatus status) {
    if (status != midiservices::noErr) throw MIDIIOError::fromOSStatus(status);
}

}  // namespace midicore
