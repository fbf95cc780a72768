// The errors of the MIDI layers: MIDIOSStatus names a MIDI services status code, MIDIIOError is
// what the MIDI I/O layer throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "midiservices/status.hpp"

namespace midicore {

using OSStatus = midiservices::OSStatus;

// A MIDI services status: one of eighteen named codes, or `other` holding any other value.
class MIDIOSStatus {
  public:
    enum class Case {
        invalidClient,      // -10830
        invalidPort,        // -10831
        wrongEndpointType,  // -10832
        noConnection,       // -10833
        unknownEndpoint,    // -10834
        unknownProperty,    // -10835
        wrongPropertyType,  // -10836
        noCurrentSetup,     // -10837
        messageSendErr,     // -10838
        serverStartErr,     // -10839
        setupFormatErr,     // -10840
        wrongThread,        // -10841
        objectNotFound,     // -10842
        idNotUnique,        // -10843
        notPermitted,       // -10844
        unknownError,       // -10845
        ioError,            // 7
        internalError,      // -50
        other,              // any other status
    };

    // A named case; Case::other gives `other` holding 0.
    constexpr MIDIOSStatus(Case statusCase) : case_(statusCase) {}
    // `other` holding the status as given, even one that has a named case.
    static constexpr MIDIOSStatus other(OSStatus status) {
        return MIDIOSStatus(Case::other, status);
    }
    // The named case of a status, `other` for every status without one (0 included). Never
    // fails.
    static MIDIOSStatus fromRawValue(OSStatus rawValue);

    Case statusCase() const { return case_; }
    // The code of a named case, the payload of `other`.
    OSStatus rawValue() const;
    // The case's sentence; for `other` "Unknown OSStatus error: " and the payload in decimal.
    std::string description() const;

    // Same case, and for `other` the same payload: a named case never equals an `other` value.
    friend bool operator==(const MIDIOSStatus&, const MIDIOSStatus&) = default;
    // The case, then the payload of `other`.
    size_t hash() const;
    friend std::ostream& operator<<(std::ostream& out, const MIDIOSStatus& status) {
        return out << status.description();
    }

  private:
    constexpr MIDIOSStatus(Case statusCase, OSStatus otherPayload)
        : case_(statusCase), otherPayload_(otherPayload) {}

    Case case_;
    OSStatus otherPayload_ = 0;  // 0 for every named case
};

// The error of the MIDI layers. what() is the carried sentence, or for `osStatus` the status's
// sentence.
class MIDIIOError : public std::runtime_error {
  public:
    enum class Case {
        internalInconsistency,
        malformed,
        notSupported,
        connectionError,
        readError,
        osStatus,
    };

    static MIDIIOError internalInconsistency(const std::string& message) {
        return MIDIIOError(Case::internalInconsistency, message);
    }
    static MIDIIOError malformed(const std::string& message) {
        return MIDIIOError(Case::malformed, message);
    }
    static MIDIIOError notSupported(const std::string& message) {
        return MIDIIOError(Case::notSupported, message);
    }
    static MIDIIOError connectionError(const std::string& message) {
        return MIDIIOError(Case::connectionError, message);
    }
    static MIDIIOError readError(const std::string& message) {
        return MIDIIOError(Case::readError, message);
    }
    static MIDIIOError osStatus(const MIDIOSStatus& status) { return MIDIIOError(status); }
    // The `osStatus` case holding MIDIOSStatus::fromRawValue(status).
    static MIDIIOError fromOSStatus(OSStatus status) {
        return MIDIIOError(MIDIOSStatus::fromRawValue(status));
    }

    Case errorCase() const { return case_; }
    // The status of the `osStatus` case; none for the others.
    const std::optional<MIDIOSStatus>& status() const { return status_; }
    std::string description() const { return what(); }

    // Same case and equal payloads.
    friend bool operator==(const MIDIIOError& a, const MIDIIOError& b);
    // The case, then the payload.
    size_t hash() const;

  private:
    MIDIIOError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}
    explicit MIDIIOError(const MIDIOSStatus& status)
        : std::runtime_error(status.description()), case_(Case::osStatus), status_(status) {}

    Case case_;
    std::optional<MIDIOSStatus> status_;
};

// Returns for noErr; throws the `osStatus` case of MIDIIOError for every other status.
void throwIfOSStatusErr(OSStatus status);

}  // namespace midicore

template <>
struct std::hash<midicore::MIDIOSStatus> {
    size_t operator()(const midicore::MIDIOSStatus& status) const { return status.hash(); }
};

template <>
struct std::hash<midicore::MIDIIOError> {
    size_t operator()(const midicore::MIDIIOError& error) const { return error.hash(); }
};
