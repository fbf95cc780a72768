// The protocol a connection or an encoder speaks.
#pragma once

#include <ostream>
#include <string>

namespace midicore {

enum class MIDIProtocolVersion { _1_0, _2_0 };

// "MIDI 1.0" or "MIDI 2.0".
std::string description(MIDIProtocolVersion version);

inline std::ostream& operator<<(std::ostream& out, MIDIProtocolVersion version) {
    return out << description(version);
}

}  // namespace midicore
