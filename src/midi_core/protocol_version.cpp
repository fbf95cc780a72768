#include "midi_core/protocol_version.hpp"

namespace midicore {

std::string description(MIDIProtocolVersion version) {
    return version == MIDIProtocolVersion::_1_0 ? "MIDI 1.0" : "MIDI 2.0";
}

}  // namespace midicore
