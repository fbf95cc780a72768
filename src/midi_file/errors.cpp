#include "midi_file/errors.hpp"

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

}  // namespace

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
    }
    return "Malformed event.";
}

}  // namespace midifile
