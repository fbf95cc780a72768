#include "sysex_packets.hpp"

#include <array>
#include <optional>

#include "midi_core/bytes.hpp"
#include "midi_core/ump.hpp"

namespace midicore::events::detail {

namespace {

// One packet's bytes before packing: type and group, status and count, [stream ID,] the piece.
// `capacity` payload bytes fit in a packet of `words` words.
template <std::size_t Words>
UMPPackets cut(MIDIUMPMessageType type, UInt4 group, std::optional<uint8_t> streamID,
               std::span<const uint8_t> head, std::span<const uint8_t> body) {
    constexpr std::size_t packetBytes = Words * 4;
    const std::size_t prefix = streamID ? 3 : 2;
    const std::size_t capacity = packetBytes - prefix;
    const std::size_t total = head.size() + body.size();
    const auto byteAt = [&](std::size_t i) { return i < head.size() ? head[i] : body[i - head.size()]; };

    UMPPackets packets;
    for (std::size_t offset = 0; offset < total; offset += capacity) {
        const std::size_t count = std::min(capacity, total - offset);
        MIDIUMPSysExStatusField status = MIDIUMPSysExStatusField::continue_;
        if (total <= capacity) status = MIDIUMPSysExStatusField::complete;
        else if (offset == 0) status = MIDIUMPSysExStatusField::start;
        else if (total - offset <= capacity) status = MIDIUMPSysExStatusField::end;

        // The count of a type-5 packet includes the stream ID.
        const std::size_t counted = count + (streamID ? 1 : 0);
        std::array<uint8_t, packetBytes> bytes{};
        bytes[0] = umpMessageTypeAndGroup(type, group);
        bytes[1] = static_cast<uint8_t>(static_cast<uint8_t>(status) << 4 | counted);
        if (streamID) bytes[2] = *streamID;
        for (std::size_t i = 0; i < count; ++i) bytes[prefix + i] = byteAt(offset + i);

        UMPPacket packet;
        for (std::size_t w = 0; w < Words; ++w) {
            packet.words[w] = uInt32FromBytes(bytes[4 * w], bytes[4 * w + 1], bytes[4 * w + 2],
                                              bytes[4 * w + 3]);
        }
        packet.count = Words;
        packets.push_back(packet);
    }
    return packets;
}

}  // namespace

UMPPackets sysEx7Packets(UInt4 group, std::span<const uint8_t> head, std::span<const uint8_t> body) {
    return cut<2>(MIDIUMPMessageType::data64bit, group, std::nullopt, head, body);
}

UMPPackets sysEx8Packets(UInt4 group, uint8_t streamID, std::span<const uint8_t> head,
                         std::span<const uint8_t> body) {
    return cut<4>(MIDIUMPMessageType::data128bit, group, streamID, head, body);
}

}  // namespace midicore::events::detail
