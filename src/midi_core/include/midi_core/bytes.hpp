// Byte pairs and 32-bit words. Words pack bytes big-endian: the first byte is the most
// significant, as Universal MIDI Packet words carry them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace midicore {

// Two bytes as one 16-bit quantity.
struct BytePair {
    uint8_t msb = 0;
    uint8_t lsb = 0;

    constexpr BytePair() = default;
    constexpr BytePair(uint8_t msb, uint8_t lsb) : msb(msb), lsb(lsb) {}
    // High byte to msb, low byte to lsb.
    constexpr explicit BytePair(uint16_t value)
        : msb(static_cast<uint8_t>(value >> 8)), lsb(static_cast<uint8_t>(value)) {}

    // msb << 8 | lsb.
    constexpr uint16_t uInt16Value() const { return static_cast<uint16_t>(msb << 8 | lsb); }

    size_t hash() const;
    friend constexpr bool operator==(const BytePair&, const BytePair&) = default;
};

// b0 << 24 | b1 << 16 | b2 << 8 | b3.
constexpr uint32_t uInt32FromBytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t{b0} << 24 | uint32_t{b1} << 16 | uint32_t{b2} << 8 | uint32_t{b3};
}

// high << 16 | low.
constexpr uint32_t uInt32FromHalves(uint16_t high, uint16_t low) {
    return uint32_t{high} << 16 | low;
}

// Four bytes per word, in word order, each word most significant byte first.
std::vector<uint8_t> bytes(std::span<const uint32_t> words);

}  // namespace midicore

template <>
struct std::hash<midicore::BytePair> {
    size_t operator()(const midicore::BytePair& pair) const { return pair.hash(); }
};
