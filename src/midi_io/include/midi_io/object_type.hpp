// The four kinds of MIDI services object the I/O layer names.
#pragma once

#include <array>
#include <cstdint>

namespace midiio {

// An input endpoint is a destination (the program sends to it), an output endpoint a source (the
// program receives from it).
enum class MIDIIOObjectType : uint8_t { device, entity, inputEndpoint, outputEndpoint };

inline constexpr std::array<MIDIIOObjectType, 4> allMIDIIOObjectTypes{
    MIDIIOObjectType::device, MIDIIOObjectType::entity, MIDIIOObjectType::inputEndpoint,
    MIDIIOObjectType::outputEndpoint};

}  // namespace midiio
