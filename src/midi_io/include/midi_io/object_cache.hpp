// A snapshot of the manager's device and endpoint lists, kept so that a notification about a
// removed object can still name it: once removed, an object can no longer be asked for its name
// or unique ID.
#pragma once

#include <vector>

#include "midi_io/endpoint.hpp"
#include "midi_io/object_model.hpp"

namespace midiio {

class MIDIDevicesProtocol;
class MIDIEndpointsProtocol;

struct MIDIIOObjectCache {
    std::vector<MIDIDevice> devices;
    // Every destination and source, the manager's own virtual endpoints included.
    std::vector<MIDIInputEndpoint> inputEndpoints;
    std::vector<MIDIOutputEndpoint> outputEndpoints;

    MIDIIOObjectCache() = default;
    // Reads the devices, then the inputs, then the outputs of the holders, each once.
    MIDIIOObjectCache(const MIDIDevicesProtocol& devices, const MIDIEndpointsProtocol& endpoints);
};

}  // namespace midiio
