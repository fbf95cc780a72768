#include "midi_core/parse_error.hpp"

namespace midicore {

namespace {

const char* standardSentence(MIDIEventParseError::Case errorCase) {
    switch (errorCase) {
        case MIDIEventParseError::Case::rawBytesEmpty:
            return "No raw bytes were given.";
        case MIDIEventParseError::Case::malformed:
            return "The raw bytes are malformed.";
        case MIDIEventParseError::Case::invalidType:
            return "The raw bytes are of an invalid type.";
    }
    return "The raw bytes are malformed.";
}

}  // namespace

MIDIEventParseError::MIDIEventParseError(Case errorCase)
    : MIDIEventParseError(errorCase, standardSentence(errorCase)) {}

}  // namespace midicore
