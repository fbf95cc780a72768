#include "midi_file/variable_length.hpp"

#include <algorithm>
#include <array>

namespace midifile {

std::optional<VariableLengthValue> decodeVariableLengthValue(std::span<const uint8_t> bytes) {
    int64_t accumulator = 0;
    const size_t limit = std::min<size_t>(bytes.size(), 4);
    for (size_t position = 0; position < limit; ++position) {
        const uint8_t byte = bytes[position];
        accumulator = accumulator << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            return VariableLengthValue{accumulator, static_cast<int64_t>(position) + 1};
        }
    }
    return std::nullopt;
}

void appendVariableLengthValue(std::vector<uint8_t>& out, uint64_t value) {
    // Seven bits per byte: a 64-bit value takes at most ten.
    std::array<uint8_t, 10> groups{};
    size_t count = 0;
    do {
        groups[count] = static_cast<uint8_t>(value & 0x7F);
        if (count != 0) groups[count] |= 0x80;
        ++count;
        value >>= 7;
    } while (value != 0);
    for (size_t i = count; i-- > 0;) out.push_back(groups[i]);
}

std::optional<int64_t> readVariableLength(midisupport::PassiveDataReader& reader) {
    const int64_t count = std::clamp<int64_t>(reader.remainingByteCount(), 1, 4);
    const auto quantity = decodeVariableLengthValue(reader.nonAdvancingRead(count).data);
    if (!quantity) return std::nullopt;
    reader.advanceBy(quantity->byteLength);
    return quantity->value;
}

}  // namespace midifile
