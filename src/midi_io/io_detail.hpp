// Small helpers shared by the manager and its objects.
#pragma once

#include <cstddef>
#include <string>

namespace midiio::detail {

// Mixes `value` into `seed`, so that the order of the fed values counts.
inline size_t hashCombine(size_t seed, size_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

// A newly generated random (version 4) UUID in its 36-character upper-case text form, as used for
// queue labels and port names.
std::string makeUUIDString();

}  // namespace midiio::detail
