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

// Calls `f(timeStamp, words, count)` for each event packet that `packets` make: one per packet,
// a packet of more than 64 words cut between messages into several.
template <class F>
void forEachEventPacket(const FlatPackets& packets, F&& f) {
    for (const auto& p : packets.packets()) {
        const auto words = packets.words(p);
        size_t start = 0, at = 0;
        while (at < words.size()) {
            const size_t next = at + umpWordCount(words[at]);
            if (next - start > maxEventPacketWords) {
                f(p.timeStamp, words.data() + start, at - start);
                start = at;
            }
            at = next;
        }
        if (at > start) f(p.timeStamp, words.data() + start, at - start);
    }
}

}  // namespace

bool readPacketList(const MIDIPacketList* list, size_t size, FlatPackets& out) {
    if (list == nullptr || size < packetListHeaderSize) return false;
    const auto* base = reinterpret_cast<const uint8_t*>(list);
    const auto count = readAt<uint32_t>(base, 0);
    size_t offset = packetListHeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (offset > size || size - offset < packetHeaderSize) return false;
        const auto length = readAt<uint16_t>(base, offset + offsetof(MIDIPacket, length));
        const size_t data = offset + packetHeaderSize;
        if (size - data < length) return false;
        out.addBytes(readAt<MIDITimeStamp>(base, offset), {base + data, length});
        // The next packet starts at the end of the data rounded up to a multiple of 4, as
        // MIDIPacketNext reckons it.
        const auto end = reinterpret_cast<uintptr_t>(base + data + length);
        offset =
            static_cast<size_t>(((end + 3) & ~uintptr_t{3}) - reinterpret_cast<uintptr_t>(base));
    }
    return true;
}

bool readEventList(const MIDIEventList* list, size_t size, MIDIProtocolID& protocol,
                   FlatPackets& out) {
    constexpr size_t header = offsetof(MIDIEventList, packet);
    constexpr size_t packetHeader = offsetof(MIDIEventPacket, words);
    if (list == nullptr || size < header) return false;
    const auto* base = reinterpret_cast<const uint8_t*>(list);
    protocol = readAt<MIDIProtocolID>(base, 0);
    if (!validProtocol(protocol)) return false;
    const auto count = readAt<uint32_t>(base, offsetof(MIDIEventList, numPackets));
    size_t offset = header;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - offset < packetHeader) return false;
        const auto words = readAt<uint32_t>(base, offset + offsetof(MIDIEventPacket, wordCount));
        if (words == 0 || words > maxEventPacketWords) return false;
        if (size - offset - packetHeader < words * sizeof(uint32_t)) return false;
        uint32_t copy[maxEventPacketWords];
        std::memcpy(copy, base + offset + packetHeader, words * sizeof(uint32_t));
        if (!detail::wholeMessages(copy, words)) return false;
        out.addWords(readAt<MIDITimeStamp>(base, offset), {copy, words});
        offset += packetHeader + words * sizeof(uint32_t);
    }
    return true;
}

std::optional<MIDIPackets> readPacketList(const MIDIPacketList* list, size_t size) {
    FlatPackets flat;
    if (!readPacketList(list, size, flat)) return std::nullopt;
    return flat.toPackets();
}

std::optional<MIDIPackets> readEventList(const MIDIEventList* list, size_t size,
                                         MIDIProtocolID& protocol) {
    FlatPackets flat;
    if (!readEventList(list, size, protocol, flat)) return std::nullopt;
    return flat.toPackets();
}

void* ListBuffer::reserve(size_t size) {
    const size_t words = (size + sizeof(uint64_t) - 1) / sizeof(uint64_t);
    if (storage_.size() < words) storage_.resize(words);
    std::memset(storage_.data(), 0, words * sizeof(uint64_t));
    size_ = size;
    return storage_.data();
}

const MIDIPacketList* ListBuffer::packetList(const FlatPackets& bytes) {
    size_t size = sizeof(MIDIPacketList);
    for (size_t offset = packetListHeaderSize; const auto& p : bytes.packets()) {
        const size_t end = offset + packetHeaderSize + p.count;
        size = std::max(size, end);
        offset = (end + 3) & ~size_t{3};
    }
    auto* list = static_cast<MIDIPacketList*>(reserve(size));
    MIDIPacket* at = MIDIPacketListInit(list);
    for (const auto& p : bytes.packets()) {
        const auto data = bytes.bytes(p);
        at = MIDIPacketListAdd(list, size, at, p.timeStamp, data.size(), data.data());
    }
    return list;
}

const MIDIEventList* ListBuffer::eventList(const FlatPackets& words, MIDIProtocolID protocol) {
    size_t size = offsetof(MIDIEventList, packet);
    forEachEventPacket(words, [&](MIDITimeStamp, const uint32_t*, size_t count) {
        size += offsetof(MIDIEventPacket, words) + count * sizeof(uint32_t);
    });
    size = std::max(size, sizeof(MIDIEventList));
    auto* list = static_cast<MIDIEventList*>(reserve(size));
    MIDIEventPacket* at = MIDIEventListInit(list, protocol);
    forEachEventPacket(words, [&](MIDITimeStamp timeStamp, const uint32_t* w, size_t count) {
        at = MIDIEventListAdd(list, size, at, timeStamp, count, w);
    });
    return list;
}

PacketListStorage buildPacketList(const MIDIPackets& packets) {
    ListBuffer buffer;
    const auto* list = buffer.packetList(FlatPackets::from(packets));
    PacketListStorage storage(buffer.byteCount());
    std::memcpy(storage.list(), list, buffer.byteCount());
    return storage;
}

EventListStorage buildEventList(const MIDIPackets& packets, MIDIProtocolID protocol) {
    ListBuffer buffer;
    const auto* list = buffer.eventList(FlatPackets::from(packets), protocol);
    EventListStorage storage(buffer.byteCount());
    std::memcpy(storage.list(), list, buffer.byteCount());
    return storage;
}

}  // namespace midiservices::detail
