#include "midiservices/packets.hpp"

#include <limits>

namespace midiservices {

namespace {

constexpr uintptr_t roundUpTo4(uintptr_t address) {
    return (address + 3) & ~uintptr_t{3};
}

// Whether a record of `recordSize` bytes at `position` ends within the `listSize` bytes of storage
// that start at `list`.
bool fits(const void* list, size_t listSize, const void* position, size_t recordSize) {
    const auto start = reinterpret_cast<uintptr_t>(list);
    const auto at = reinterpret_cast<uintptr_t>(position);
    if (at < start) return false;
    const uintptr_t offset = at - start;
    return offset <= listSize && recordSize <= listSize - offset;
}

}  // namespace

const MIDIPacket* MIDIPacketNext(const MIDIPacket* packet) {
    const auto end = reinterpret_cast<uintptr_t>(packet->data) + packet->length;
    return reinterpret_cast<const MIDIPacket*>(roundUpTo4(end));
}

MIDIPacket* MIDIPacketNext(MIDIPacket* packet) {
    return const_cast<MIDIPacket*>(MIDIPacketNext(static_cast<const MIDIPacket*>(packet)));
}

const MIDIEventPacket* MIDIEventPacketNext(const MIDIEventPacket* packet) {
    const auto end = reinterpret_cast<uintptr_t>(packet) + offsetof(MIDIEventPacket, words) +
                     uintptr_t{packet->wordCount} * sizeof(uint32_t);
    return reinterpret_cast<const MIDIEventPacket*>(end);
}

MIDIEventPacket* MIDIEventPacketNext(MIDIEventPacket* packet) {
    return const_cast<MIDIEventPacket*>(
        MIDIEventPacketNext(static_cast<const MIDIEventPacket*>(packet)));
}

MIDIPacket* MIDIPacketListInit(MIDIPacketList* list) {
    list->numPackets = 0;
    return list->packet;
}

MIDIPacket* MIDIPacketListAdd(MIDIPacketList* list, size_t listSize, MIDIPacket* current,
                              MIDITimeStamp timeStamp, size_t byteCount, const uint8_t* data) {
    if (current == nullptr || byteCount > std::numeric_limits<uint16_t>::max()) return nullptr;
    MIDIPacket* packet = list->numPackets == 0 ? current : MIDIPacketNext(current);
    if (!fits(list, listSize, packet, packetHeaderSize + byteCount)) return nullptr;
    packet->timeStamp = timeStamp;
    packet->length = static_cast<uint16_t>(byteCount);
    if (byteCount > 0) std::memcpy(packet->data, data, byteCount);
    ++list->numPackets;
    return packet;
}

MIDIEventPacket* MIDIEventListInit(MIDIEventList* list, MIDIProtocolID protocol) {
    list->protocol = protocol;
    list->numPackets = 0;
    return list->packet;
}

MIDIEventPacket* MIDIEventListAdd(MIDIEventList* list, size_t listSize, MIDIEventPacket* current,
                                  MIDITimeStamp timeStamp, size_t wordCount,
                                  const uint32_t* words) {
    if (current == nullptr || wordCount == 0 || wordCount > maxEventPacketWords) return nullptr;
    MIDIEventPacket* packet = list->numPackets == 0 ? current : MIDIEventPacketNext(current);
    const size_t size = offsetof(MIDIEventPacket, words) + wordCount * sizeof(uint32_t);
    if (!fits(list, listSize, packet, size)) return nullptr;
    packet->timeStamp = timeStamp;
    packet->wordCount = static_cast<uint32_t>(wordCount);
    std::memcpy(packet->words, words, wordCount * sizeof(uint32_t));
    ++list->numPackets;
    return packet;
}

}  // namespace midiservices
