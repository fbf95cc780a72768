// The errors of the Standard MIDI File component, and the cheap failure value its payload decoders
// return.
//
// Decoding a track tries up to a couple of dozen payload decoders on every event, and all but one
// of them refuse it. So a decoder does not throw: it returns a DecodeResult holding either its
// value or a DecodeFailure, a reason code with at most two numbers. The sentence that explains
// the failure is written only when someone asks for it (message(), or error() to throw it).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace midifile {

// Thrown by every reading operation. MIDIFile names it MIDIFile::DecodeError.
class MIDIFileDecodeError : public std::runtime_error {
  public:
    enum class Case {
        malformed,      // the bytes break the format; what() says how
        fileNotFound,
        malformedURL,
        fileReadError,
        notImplemented,
    };

    // `malformed` with its sentence.
    static MIDIFileDecodeError malformed(const std::string& message) {
        return MIDIFileDecodeError(Case::malformed, message);
    }
    // A case that carries no sentence of its own; what() is the case's name.
    explicit MIDIFileDecodeError(Case errorCase);

    Case errorCase() const { return case_; }
    // The sentence of `malformed`; empty for the other cases.
    std::string message() const { return case_ == Case::malformed ? what() : std::string(); }

  private:
    MIDIFileDecodeError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}

    Case case_;
};

// Thrown by every writing operation. MIDIFile names it MIDIFile::EncodeError.
class MIDIFileEncodeError : public std::runtime_error {
  public:
    enum class Case { internalInconsistency };

    static MIDIFileEncodeError internalInconsistency(const std::string& message) {
        return MIDIFileEncodeError(Case::internalInconsistency, message);
    }
    Case errorCase() const { return case_; }

  private:
    MIDIFileEncodeError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}

    Case case_;
};

// Why a decoder refused its bytes. Each reason has one fixed sentence, some with one or two
// numbers in it (named `first` and `second` below).
class DecodeFailure {
  public:
    enum class Reason : uint8_t {
        invalidByteCount,        // "Invalid number of bytes. Expected <first> but got <second>"
        unexpectedStart,         // "Event does not start with expected bytes."
        unexpectedByteLength,    // "Unexpected byte length."
        tooFewBytes,             // "Too few bytes."
        notEnoughBytes,          // "Not enough bytes."
        byteLengthTooShort,      // "Byte length too short."
        byteLengthTooLength,     // "Byte length too length."
        noVariableLength,        // "Could not extract variable length."
        fewerBytesAvailable,     // "Fewer bytes are available (<first> than are expected (<second>)."
        fewerTextBytesAvailable, // "Fewer bytes are available (<first>) than are expected (<second>)."
        notTextual,              // "Event is not a textual event."
        channelOutOfBounds,      // "Channel number is out of bounds: <first>"
        portOutOfBounds,         // "Port number is out of bounds: <first>"
        sequenceNumberOutOfBounds,  // "Sequence number is out of bounds: <first>"
        keySharpsFlatsOutOfRange,   // key signature sharps/flats byte <first> outside -7...7
        keyMajorMinorOutOfRange,    // key signature major/minor byte <first> outside 0...1
        paramLengthNotOne,       // "Param length should always be 1."
        unexpectedParamValue,    // "Encountered unexpected param value: <first>"
        invalidStatusNibble,     // "Invalid status nibble: 0x<first>."
        dataByteOutOfBounds,     // "<text of field <first>> is out of bounds: <second>"
        missingRunningStatus,    // "Missing running status byte."
        notAControlChange,       // "Expected CC message with controller number <first>. ..."
        unexpectedController,    // "... <first> but found controller number <second> instead."
        differentChannel,        // "CC message has different channel number."
        notSysEx,                // "Event is not a SysEx event."
        emptySysEx,              // "SysEx data was empty when attempting to read termination byte."
        missingSysExEnd,         // "Expected SysEx termination byte 0xF7 but found 0x<first> ..."
        sysExMalformed,          // the MIDI core refuses the message: MIDIEventParseError malformed
        sysExOtherType,          // the message is of the other SysEx kind: ... invalidType
        smpteFieldOutOfBounds,   // "<field <first>> is out of bounds: <second>"
    };

    // The fields whose out-of-range byte dataByteOutOfBounds reports.
    enum class DataField : uint8_t {
        ccNumber,
        ccValue,
        noteNumber,
        noteVelocity,
        notePressure,
        pitchBendLSB,
        pitchBendMSB,
        channelPressure,
        program,
    };
    // The fields whose out-of-range value smpteFieldOutOfBounds reports.
    enum class SMPTEField : uint8_t { hours, minutes, seconds, frames, subframes };

    constexpr DecodeFailure(Reason reason, int64_t first = 0, int64_t second = 0)
        : reason_(reason), first_(first), second_(second) {}

    constexpr Reason reason() const { return reason_; }
    constexpr int64_t first() const { return first_; }
    constexpr int64_t second() const { return second_; }

    // The sentence; written on each call.
    std::string message() const;
    // MIDIFileDecodeError::malformed with the sentence.
    MIDIFileDecodeError error() const { return MIDIFileDecodeError::malformed(message()); }
    // Throws the failure: the MIDI core's MIDIEventParseError for the two reasons that come from
    // its system exclusive rules, error() for every other reason.
    [[noreturn]] void raise() const;

    friend constexpr bool operator==(const DecodeFailure&, const DecodeFailure&) = default;

  private:
    Reason reason_;
    int64_t first_;
    int64_t second_;
};

// What a stream decoder found at the front of its bytes: the payload and how many bytes of the
// stream it occupies (at least 1).
template <class Payload>
struct Decoded {
    Payload payload;
    int64_t byteCount;

    friend bool operator==(const Decoded&, const Decoded&) = default;
};

// A value or the failure that stands in its place.
template <class T>
class DecodeResult {
  public:
    DecodeResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    DecodeResult(DecodeFailure failure) : state_(std::in_place_index<1>, failure) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; throws the failure's MIDIFileDecodeError when there is none.
    const T& value() const& {
        if (!ok()) std::get<1>(state_).raise();
        return std::get<0>(state_);
    }
    T value() && {
        if (!ok()) std::get<1>(state_).raise();
        return std::get<0>(std::move(state_));
    }
    // The value without the check; only valid when ok().
    const T& operator*() const& { return std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

    // The failure; only valid when !ok().
    const DecodeFailure& failure() const { return std::get<1>(state_); }

  private:
    std::variant<T, DecodeFailure> state_;
};

// Shorthand for the result of a stream decoder.
template <class Payload>
using StreamDecodeResult = DecodeResult<Decoded<Payload>>;

}  // namespace midifile
