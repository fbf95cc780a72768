#include "midi_support/packet_builders.hpp"

#include <algorithm>
#include <cstring>
#include <string>

namespace midisupport {

using midiservices::MIDIEventList;
using midiservices::MIDIEventPacket;
using midiservices::MIDIPacket;
using midiservices::MIDIPacketList;
using midiservices::PacketListStorage;

namespace {

constexpr size_t roundUpTo4(size_t n) {
    return (n + 3) & ~size_t{3};
}

// Builds one list from messages given as byte spans. The size check counts the packets without
// the alignment padding between them; the storage includes it, so that the last add never runs
// short of room.
PacketListStorage buildPacketList(std::span<const std::span<const uint8_t>> messages) {
    size_t size = midiservices::packetListHeaderSize;
    size_t storageSize = midiservices::packetListHeaderSize;
    for (const auto& message : messages) {
        size += midiservices::packetHeaderSize + message.size();
        storageSize += roundUpTo4(midiservices::packetHeaderSize + message.size());
    }
    if (size > maxPacketListSize) {
        throw VOREDuvInternalError::malformed("Data is too large (" + std::to_string(size) +
                                              " bytes). Maximum size is 65536 bytes.");
    }
    const MIDITimeStamp timeStamp = midiservices::currentHostTime();
    PacketListStorage storage(storageSize);
    MIDIPacket* position = midiservices::MIDIPacketListInit(storage.list());
    for (const auto& message : messages) {
        position = midiservices::MIDIPacketListAdd(storage.list(), storageSize, position, timeStamp,
                                                   message.size(), message.data());
        if (position == nullptr) {
            throw VOREDuvInternalError::malformed("Error adding MIDI packet to packet list.");
        }
    }
    return storage;
}

}  // namespace

MIDIEventPacket makeEventPacket(std::span<const uint32_t> words, MIDITimeStamp timeStamp) {
    if (words.empty()) {
        throw VOREDuvInternalError::malformed(
            "A Universal MIDI Packet cannot contain zero UInt32 words.");
    }
    if (words.size() > midiservices::maxEventPacketWords) {
        throw VOREDuvInternalError::malformed(
            "A Universal MIDI Packet cannot contain more than 64 UInt32 words.");
    }
    MIDIEventPacket packet{};
    packet.timeStamp = timeStamp;
    packet.wordCount = static_cast<uint32_t>(words.size());
    std::copy(words.begin(), words.end(), packet.words);
    return packet;
}

MIDIEventList makeEventList(midiservices::MIDIProtocolID protocol,
                            std::span<const uint32_t> packetWords, MIDITimeStamp timeStamp) {
    MIDIEventList list{};
    list.protocol = protocol;
    list.numPackets = 1;
    list.packet[0] = makeEventPacket(packetWords, timeStamp);
    return list;
}

std::vector<uint32_t> wordsArray(const MIDIEventPacket& packet) {
    if (packet.wordCount == 0 || packet.wordCount > midiservices::maxEventPacketWords) return {};
    return std::vector<uint32_t>(packet.words, packet.words + packet.wordCount);
}

std::vector<uint8_t> midiPacketBytes(const MIDIPacket* packet) {
    return std::vector<uint8_t>(packet->data, packet->data + packet->length);
}

std::vector<uint8_t> midiPacketBytes(const MIDIPacket& packet) {
    return midiPacketBytes(&packet);
}

MIDITimeStamp midiPacketTimeStamp(const MIDIPacket* packet) {
    return packet->timeStamp;
}

MIDITimeStamp midiPacketTimeStamp(const MIDIPacket& packet) {
    return packet.timeStamp;
}

void forEachPacket(const MIDIPacketList& list, const std::function<void(const MIDIPacket*)>& body) {
    const MIDIPacket* packet = list.packet;
    for (uint32_t i = 0; i < list.numPackets; ++i) {
        body(packet);
        packet = midiservices::MIDIPacketNext(packet);
    }
}

void forEachPacket(const PacketListStorage& storage,
                   const std::function<void(const MIDIPacket*)>& body) {
    const MIDIPacketList* list = storage.list();
    if (list == nullptr) return;
    const auto* start = reinterpret_cast<const uint8_t*>(list);
    const uint8_t* end = start + storage.byteCount();
    const MIDIPacket* packet = list->packet;
    for (uint32_t i = 0; i < list->numPackets; ++i) {
        const auto* at = reinterpret_cast<const uint8_t*>(packet);
        const auto room = static_cast<size_t>(end - std::min(at, end));
        if (room < midiservices::packetHeaderSize ||
            room - midiservices::packetHeaderSize < packet->length) {
            throw VOREDuvInternalError::malformed("MIDI packet " + std::to_string(i + 1) + " of " +
                                                  std::to_string(list->numPackets) +
                                                  " lies beyond the end of the packet list.");
        }
        body(packet);
        packet = midiservices::MIDIPacketNext(packet);
    }
}

PacketListStorage makePacketList(std::span<const uint8_t> data) {
    const std::span<const uint8_t> messages[] = {data};
    return buildPacketList(messages);
}

PacketListStorage makePacketList(std::span<const std::vector<uint8_t>> packets) {
    std::vector<std::span<const uint8_t>> messages(packets.begin(), packets.end());
    return buildPacketList(messages);
}

}  // namespace midisupport
