// Combining hashes of several fields into one.
#pragma once

#include <cstddef>

namespace midicore::detail {

// Mixes `value` into `seed`, so that the order of the fields counts.
inline size_t hashCombine(size_t seed, size_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

// The hashes of several fields (each with a `hash()`) combined in order.
template <class... Fields>
size_t hashFields(const Fields&... fields) {
    size_t seed = 0;
    ((seed = hashCombine(seed, fields.hash())), ...);
    return seed;
}

}  // namespace midicore::detail
