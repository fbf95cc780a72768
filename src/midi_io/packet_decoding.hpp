// The decoders of packet_data.hpp writing into record arrays that are reused: records already in
// the array are overwritten (their byte arrays and source names keep their capacity) and the array
// ends up holding exactly the list's records. The receive path decodes every list so, and makes no
// heap allocation once its arrays have grown to the lists' size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "midi_io/packet_data.hpp"

namespace midiio::detail {

// `limit` is the list's byte size (see packetDataArray); every record gets `source`.
void decodePacketList(const midiservices::MIDIPacketList* list, size_t limit,
                      const std::optional<MIDIOutputEndpoint>& source,
                      std::vector<MIDIPacketData>& into);
void decodeEventList(const midiservices::MIDIEventList* list, size_t limit,
                     const std::optional<MIDIOutputEndpoint>& source,
                     std::vector<UniversalMIDIPacketData>& into);

// `bytes` becomes the words, each as four bytes, most significant first (keeping its capacity).
void flattenWords(std::span<const uint32_t> words, std::vector<uint8_t>& bytes);

// The byte size to pass for a list the MIDI services delivered: they have checked it, so its own
// counts are trusted.
size_t trustedLimit(const void* list);

}  // namespace midiio::detail
