#include "lists.hpp"

#include <cstdint>
#include <cstring>
#include <vector>

#include "services_core.hpp"

namespace midiservices::detail {

namespace {

template <class T>
T readAt(const uint8_t* base, size_t offset) {
    T value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

}  // namespace

// The packets of a packet list of `size` bytes, or none when one runs past the end. Empty packets
// carry nothing and are left out.
std::optional<MIDIPackets> readPacketList(const MIDIPacketList* list, size_t size) {
    if (list == nullptr || size < packetListHeaderSize) return std::nullopt;
    const auto* base = reinterpret_cast<const uint8_t*>(list);
    const auto count = readAt<uint32_t>(base, 0);
    MIDIPackets packets;
    size_t offset = packetListHeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (offset > size || size - offset < packetHeaderSize) return std::nullopt;
        const auto length = readAt<uint16_t>(base, offset + offsetof(MIDIPacket, length));
        const size_t data = offset + packetHeaderSize;
        if (size - data < length) return std::nullopt;
        if (length > 0) {
            packets.push_back(
                {readAt<MIDITimeStamp>(base, offset), {base + data, base + data + length}, {}});
        }
        // The next packet starts at the end of the data rounded up to a multiple of 4, as
        // MIDIPacketNext reckons it.
        const auto end = reinterpret_cast<uintptr_t>(base + data + length);
        offset =
            static_cast<size_t>(((end + 3) & ~uintptr_t{3}) - reinterpret_cast<uintptr_t>(base));
    }
    return packets;
}

// The packets and protocol of an event list of `size` bytes, or none when it is malformed.
std::optional<MIDIPackets> readEventList(const MIDIEventList* list, size_t size,
                                         MIDIProtocolID& protocol) {
    constexpr size_t header = offsetof(MIDIEventList, packet);
    constexpr size_t packetHeader = offsetof(MIDIEventPacket, words);
    if (list == nullptr || size < header) return std::nullopt;
    const auto* base = reinterpret_cast<const uint8_t*>(list);
    protocol = readAt<MIDIProtocolID>(base, 0);
    if (!validProtocol(protocol)) return std::nullopt;
    const auto count = readAt<uint32_t>(base, offsetof(MIDIEventList, numPackets));
    MIDIPackets packets;
    size_t offset = header;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - offset < packetHeader) return std::nullopt;
        const auto words = readAt<uint32_t>(base, offset + offsetof(MIDIEventPacket, wordCount));
        if (words == 0 || words > maxEventPacketWords) return std::nullopt;
        if (size - offset - packetHeader < words * sizeof(uint32_t)) return std::nullopt;
        MIDIDriverPacket packet{
            readAt<MIDITimeStamp>(base, offset), {}, std::vector<uint32_t>(words)};
        std::memcpy(packet.words.data(), base + offset + packetHeader, words * sizeof(uint32_t));
        if (!detail::wholeMessages(packet.words.data(), words)) return std::nullopt;
        packets.push_back(std::move(packet));
        offset += packetHeader + words * sizeof(uint32_t);
    }
    return packets;
}

PacketListStorage buildPacketList(const MIDIPackets& packets) {
    size_t size = packetListHeaderSize;
    for (size_t offset = packetListHeaderSize; const auto& p : packets) {
        size = offset + packetHeaderSize + p.bytes.size();
        offset = (size + 3) & ~size_t{3};
    }
    PacketListStorage storage(size);
    MIDIPacket* at = MIDIPacketListInit(storage.list());
    for (const auto& p : packets) {
        at = MIDIPacketListAdd(storage.list(), size, at, p.timeStamp, p.bytes.size(),
                               p.bytes.data());
    }
    return storage;
}

// One event packet per message group of at most 64 words.
EventListStorage buildEventList(const MIDIPackets& packets, MIDIProtocolID protocol) {
    struct Piece {
        MIDITimeStamp timeStamp;
        const uint32_t* words;
        size_t count;
    };
    std::vector<Piece> pieces;
    for (const auto& p : packets) {
        size_t start = 0, at = 0;
        while (at < p.words.size()) {
            const size_t next = at + umpWordCount(p.words[at]);
            if (next - start > maxEventPacketWords) {
                pieces.push_back({p.timeStamp, p.words.data() + start, at - start});
                start = at;
            }
            at = next;
        }
        if (at > start) pieces.push_back({p.timeStamp, p.words.data() + start, at - start});
    }
    size_t size = offsetof(MIDIEventList, packet);
    for (const auto& piece : pieces) {
        size += offsetof(MIDIEventPacket, words) + piece.count * sizeof(uint32_t);
    }
    EventListStorage storage(size);
    MIDIEventPacket* at = MIDIEventListInit(storage.list(), protocol);
    for (const auto& piece : pieces) {
        at = MIDIEventListAdd(storage.list(), size, at, piece.timeStamp, piece.count, piece.words);
    }
    return storage;
}

}  // namespace midiservices::detail
