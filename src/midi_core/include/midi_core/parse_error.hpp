// The error that the constructors of events from raw data throw. MIDIEvent names it
// MIDIEvent::ParseError.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

namespace midicore {

class MIDIEventParseError : public std::runtime_error {
  public:
    enum class Case {
        rawBytesEmpty,  // no input bytes were given
        malformed,      // the input breaks the message's format
        invalidType,    // the input is not of the expected message type
    };

    // With the case's standard sentence.
    explicit MIDIEventParseError(Case errorCase);
    // With a sentence that says more about what was wrong.
    MIDIEventParseError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}

    Case errorCase() const { return case_; }

    // Equal and hashed by case; the sentence is not compared.
    friend bool operator==(const MIDIEventParseError& a, const MIDIEventParseError& b) {
        return a.case_ == b.case_;
    }
    size_t hash() const { return std::hash<int>{}(static_cast<int>(case_)); }

  private:
    Case case_;
};

}  // namespace midicore

template <>
struct std::hash<midicore::MIDIEventParseError> {
    size_t operator()(const midicore::MIDIEventParseError& error) const { return error.hash(); }
};
