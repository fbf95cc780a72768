// Cutting a System Exclusive message into Universal MIDI Packets.
#pragma once

#include <cstdint>
#include <span>

#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events::detail {

// The message is `head` followed by `body`; bytes are copied as they are, never masked. Each
// packet holds a piece of up to six bytes (message type 3) or thirteen bytes and the stream ID
// (message type 5), with the status complete for a message that fits one packet, else start,
// continue ..., end. An empty message gives no packet.
UMPPackets sysEx7Packets(UInt4 group, std::span<const uint8_t> head, std::span<const uint8_t> body);
UMPPackets sysEx8Packets(UInt4 group, uint8_t streamID, std::span<const uint8_t> head,
                         std::span<const uint8_t> body);

}  // namespace midicore::events::detail
