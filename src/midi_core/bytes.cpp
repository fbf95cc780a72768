#include "midi_core/bytes.hpp"

#include "hashing.hpp"

namespace midicore {

size_t BytePair::hash() const {
    return detail::hashCombine(std::hash<uint8_t>{}(msb), std::hash<uint8_t>{}(lsb));
}

std::vector<uint8_t> bytes(std::span<const uint32_t> words) {
    std::vector<uint8_t> result;
    result.reserve(words.size() * 4);
    for (const uint32_t word : words) {
        result.push_back(static_cast<uint8_t>(word >> 24));
        result.push_back(static_cast<uint8_t>(word >> 16));
        result.push_back(static_cast<uint8_t>(word >> 8));
        result.push_back(static_cast<uint8_t>(word));
    }
    return result;
}

}  // namespace midicore
