// What the endpoint lists and the endpoint filter need to know of a manager: which virtual
// endpoints it owns. The manager provides it; tests may provide their own.
#pragma once

#include <cstdint>
#include <vector>

#include "midi_io/endpoint.hpp"

namespace midiio {

class MIDIManagedEndpoints {
  public:
    virtual ~MIDIManagedEndpoints() = default;
    // The unique IDs that the managed virtual inputs / outputs store, in registry order; one
    // without a stored ID contributes nothing.
    virtual std::vector<int32_t> managedInputUniqueIDs() const = 0;
    virtual std::vector<int32_t> managedOutputUniqueIDs() const = 0;
    // The references of the managed virtual inputs' destinations / outputs' sources, in registry
    // order (0 for one that has none).
    virtual std::vector<uint32_t> managedInputEndpointRefs() const = 0;
    virtual std::vector<uint32_t> managedOutputEndpointRefs() const = 0;
};

// The records of the manager's virtual destinations / sources, read from the services now.
std::vector<MIDIInputEndpoint> managedInputEndpoints(const MIDIManagedEndpoints& manager);
std::vector<MIDIOutputEndpoint> managedOutputEndpoints(const MIDIManagedEndpoints& manager);

}  // namespace midiio
