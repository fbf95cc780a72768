// The pieces of the event texts shared by the event records.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "midi_core/unsigned_integer.hpp"
#include "midi_support/number_text.hpp"

namespace midicore::events::detail {

// A group or channel as "0x" and its upper-case hex digit: "0x0" to "0xF".
inline std::string nibbleText(UInt4 value) { return midisupport::hexString(value.value(), true); }

// Bytes as "0x10 0x42"; no bytes give an empty text.
inline std::string byteListText(std::span<const uint8_t> bytes) {
    return midisupport::hexString(bytes, 2, true, " ");
}

}  // namespace midicore::events::detail
