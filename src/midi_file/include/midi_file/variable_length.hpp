// Variable-length quantities: a whole number in groups of seven bits, most significant group
// first, bit 7 set in every byte but the last. Track data uses them for delta times and for the
// lengths of events that carry data of their own length.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "midi_support/data_reader.hpp"

namespace midifile {

struct VariableLengthValue {
    int64_t value;
    int64_t byteLength;  // how many input bytes the quantity occupied, 1...4
    friend bool operator==(const VariableLengthValue&, const VariableLengthValue&) = default;
};

// The quantity at the front of `bytes`, read from at most four bytes (so at most 0x0FFFFFFF);
// non-shortest forms are accepted (80 05 is 5 in two bytes). None when `bytes` is empty, ends
// while bit 7 is still set, or starts with four bytes that all have it set. Bytes after the
// quantity are never looked at.
std::optional<VariableLengthValue> decodeVariableLengthValue(std::span<const uint8_t> bytes);

// Appends the shortest form of `value`; values below 1 (zero and any negative value) are the
// single byte 00. No upper bound: 0x10000000 and above take five bytes or more.
void appendVariableLengthValue(std::vector<uint8_t>& out, uint64_t value);

template <std::integral T>
void appendVariableLengthValue(std::vector<uint8_t>& out, T value) {
    if constexpr (std::is_signed_v<T>) {
        if (value < 1) value = 0;
    }
    appendVariableLengthValue(out, static_cast<uint64_t>(value));
}

template <std::integral T>
std::vector<uint8_t> encodeVariableLengthValue(T value) {
    std::vector<uint8_t> out;
    appendVariableLengthValue(out, value);
    return out;
}

// The length field of an event, read at the reader's position: the quantity in the next one to
// four bytes, after which the reader stands behind it. None (reader unmoved) when those bytes
// hold no quantity. Throws the reader's pastEndOfStream when no byte remains.
std::optional<int64_t> readVariableLength(midisupport::PassiveDataReader& reader);

}  // namespace midifile
