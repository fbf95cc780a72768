#include "midi_file/errors.hpp"

#include <cstdio>

#include "midi_core/parse_error.hpp"

namespace midifile {

namespace {

const char* caseName(MIDIFileDecodeError::Case errorCase) {
    switch (errorCase) {
        case MIDIFileDecodeError::Case::malformed:
            return "malformed";
        case MIDIFileDecodeError::Case::fileNotFound:
            return "fileNotFound";
        case MIDIFileDecodeError::Case::malformedURL:
            return "malformedURL";
        case MIDIFileDecodeError::Case::fileReadError:
            return "fileReadError";
        case MIDIFileDecodeError::Case::notImplemented:
            return "notImplemented";
    }
    return "malformed";
}

const char* dataFieldText(int64_t field) {
    static constexpr const char* texts[] = {
        "CC number is out of bounds: ",
        "CC value is out of bounds: ",
        "Note number is out of bounds: ",
        "Note velocity is out of bounds: ",
        "Note pressure value is out of bounds: ",
        "Pitch Bend LSB is out of bounds: ",
        "Pitch Bend MSB is out of bounds: ",
        "Channel Pressure value is out of bounds: ",
        "Program Change program number is out of bounds: ",
    };
    return field >= 0 && field < 9 ? texts[field] : "Data byte is out of bounds: ";
}

const char* smpteFieldText(int64_t field) {
    static constexpr const char* texts[] = {
        "Hours is out of bounds: ",          "Minutes is out of bounds: ",
        "Seconds value is out of bounds: ",  "Frames value is out of bounds: ",
        "Subframes value is out of bounds: ",
    };
    return field >= 0 && field < 5 ? texts[field] : "Value is out of bounds: ";
}

std::string hexByte(int64_t value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value & 0xFF));
    return text;
}

}  // namespace

void DecodeFailure::raise() const {
    using midicore::MIDIEventParseError;
    if (reason_ == Reason::sysExMalformed) {
        throw MIDIEventParseError(MIDIEventParseError::Case::malformed, message());
    }
    if (reason_ == Reason::sysExOtherType) {
        throw MIDIEventParseError(MIDIEventParseError::Case::invalidType, message());
    }
    throw error();
}

MIDIFileDecodeError::MIDIFileDecodeError(Case errorCase)
    : MIDIFileDecodeError(errorCase, caseName(errorCase)) {}

std::string DecodeFailure::message() const {
    const std::string first = std::to_string(first_);
    const std::string second = std::to_string(second_);
    switch (reason_) {
        case Reason::invalidByteCount:
            return "Invalid number of bytes. Expected " + first + " but got " + second;
        case Reason::unexpectedStart:
            return "Event does not start with expected bytes.";
        case Reason::unexpectedByteLength:
            return "Unexpected byte length.";
        case Reason::tooFewBytes:
            return "Too few bytes.";
        case Reason::notEnoughBytes:
            return "Not enough bytes.";
        case Reason::byteLengthTooShort:
            return "Byte length too short.";
        case Reason::byteLengthTooLength:
            return "Byte length too length.";
        case Reason::noVariableLength:
            return "Could not extract variable length.";
        case Reason::fewerBytesAvailable:
            return "Fewer bytes are available (" + first + " than are expected (" + second + ").";
        case Reason::fewerTextBytesAvailable:
            return "Fewer bytes are available (" + first + ") than are expected (" + second + ").";
        case Reason::notTextual:
            return "Event is not a textual event.";
        case Reason::channelOutOfBounds:
            return "Channel number is out of bounds: " + first;
        case Reason::portOutOfBounds:
            return "Port number is out of bounds: " + first;
        case Reason::sequenceNumberOutOfBounds:
            return "Sequence number is out of bounds: " + first;
        case Reason::keySharpsFlatsOutOfRange:
            return "Illegal value found when reading Key Signature event sharps/flats byte. Got " +
                   first + " but value must be between -7 ... 7.";
        case Reason::keyMajorMinorOutOfRange:
            return "Illegal value found when reading Key Signature event major/minor key byte. "
                   "Got " +
                   first + " but value must be between 0 ... 1.";
        case Reason::paramLengthNotOne:
            return "Param length should always be 1.";
        case Reason::unexpectedParamValue:
            return "Encountered unexpected param value: " + first;
        case Reason::invalidStatusNibble:
            return "Invalid status nibble: " + hexByte(first_, 1) + ".";
        case Reason::dataByteOutOfBounds: {
            const bool hex = first_ == static_cast<int64_t>(DataField::pitchBendLSB) ||
                             first_ == static_cast<int64_t>(DataField::pitchBendMSB);
            return dataFieldText(first_) + (hex ? hexByte(second_, 2) : second);
        }
        case Reason::missingRunningStatus:
            return "Missing running status byte.";
        case Reason::notAControlChange:
            return "Expected CC message with controller number " + first +
                   ". The bytes are not a complete, valid CC message.";
        case Reason::unexpectedController:
            return "Expected CC message with controller number " + first +
                   " but found controller number " + second + " instead.";
        case Reason::differentChannel:
            return "CC message has different channel number.";
        case Reason::notSysEx:
            return "Event is not a SysEx event.";
        case Reason::emptySysEx:
            return "SysEx data was empty when attempting to read termination byte.";
        case Reason::missingSysExEnd:
            return "Expected SysEx termination byte 0xF7 but found " + hexByte(first_, 2) +
                   " instead.";
        case Reason::sysExMalformed:
            return "The system exclusive message is malformed.";
        case Reason::sysExOtherType:
            return "The system exclusive message is not of the expected type.";
        case Reason::smpteFieldOutOfBounds:
            return smpteFieldText(first_) + second;
    }
    return "Malformed event.";
}

}  // namespace midifile
