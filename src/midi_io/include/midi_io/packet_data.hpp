// Received MIDI as owned records, and the decoders that make them from the lists the MIDI services
// hand to a receive block.
//
// A receive block gets a packet list (MIDI 1.0 bytes) or an event list (Universal MIDI Packet
// words) that is valid only while the block runs. The decoders copy it there into records that own
// their bytes, so that the records can be handed to another queue and parsed later:
//
//     auto records = packetDataArray(list, byteCount, refCon, /*refConKnown=*/true);
//
// MIDIPacketData is one packet as received (several messages, real-time bytes between them, or a
// piece of a System Exclusive message); UniversalMIDIPacketData is one UMP message. Both carry the
// packet's time stamp and, when it can be told, the source endpoint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "midi_io/endpoint.hpp"
#include "midiservices/packets.hpp"

namespace midiio {

struct MIDIPacketData {
    std::vector<uint8_t> bytes;
    uint64_t timeStamp = 0;
    std::optional<MIDIOutputEndpoint> source;

    MIDIPacketData(std::vector<uint8_t> bytes, uint64_t timeStamp,
                   std::optional<MIDIOutputEndpoint> source)
        : bytes(std::move(bytes)), timeStamp(timeStamp), source(std::move(source)) {}
};

struct UniversalMIDIPacketData {
    // The message's words, each as four bytes, most significant first.
    std::vector<uint8_t> bytes;
    uint64_t timeStamp = 0;
    std::optional<MIDIOutputEndpoint> source;

    UniversalMIDIPacketData(std::vector<uint8_t> bytes, uint64_t timeStamp,
                            std::optional<MIDIOutputEndpoint> source)
        : bytes(std::move(bytes)), timeStamp(timeStamp), source(std::move(source)) {}
    // The words flattened most significant byte first.
    static UniversalMIDIPacketData fromWords(std::span<const uint32_t> words, uint64_t timeStamp,
                                             std::optional<MIDIOutputEndpoint> source);
};

// One received record of either form.
class AnyMIDIPacket {
  public:
    enum class Case : uint8_t { packet, universalPacket };

    static AnyMIDIPacket packet(MIDIPacketData data) { return AnyMIDIPacket(std::move(data)); }
    static AnyMIDIPacket universalPacket(UniversalMIDIPacketData data) {
        return AnyMIDIPacket(std::move(data));
    }

    Case packetCase() const { return static_cast<Case>(value_.index()); }
    const MIDIPacketData* asPacket() const { return std::get_if<MIDIPacketData>(&value_); }
    const UniversalMIDIPacketData* asUniversalPacket() const {
        return std::get_if<UniversalMIDIPacketData>(&value_);
    }

    const std::vector<uint8_t>& bytes() const;
    uint64_t timeStamp() const;
    const std::optional<MIDIOutputEndpoint>& source() const;

  private:
    template <class T>
    explicit AnyMIDIPacket(T value) : value_(std::move(value)) {}
    std::variant<MIDIPacketData, UniversalMIDIPacketData> value_;
};

// The words of one UMP message by type (the high nibble of its first word): 1 for types 0-2 and
// 6-7, 2 for 3-4 and 8-A, 3 for B-C, 4 for 5 and D-F.
constexpr size_t umpMessageWordCount(uint8_t messageType) {
    constexpr uint8_t counts[16] = {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};
    return counts[messageType & 0x0F];
}

// Splits the words of one event packet into messages of the types 0-5, in order. Messages of the
// other types are stepped over by their size and left out; a message cut off by the end of the
// words is dropped.
std::vector<std::vector<uint32_t>> splitUMPMessages(std::span<const uint32_t> words);

// One record per packet of a packet list, in order, each with the source that `refCon` names
// (see outputEndpointFromRefCon; none at all when `refConKnown` is false). Nothing is read past
// `listByteCount` bytes of the list: a packet count that claims more packets than fit ends the
// walk at the last whole packet. A packet of no bytes gives a record of no bytes.
std::vector<MIDIPacketData> packetDataArray(const midiservices::MIDIPacketList* list,
                                            size_t listByteCount, const void* refCon,
                                            bool refConKnown);
// The same for a list the MIDI services handed to a receive block: they have checked it against
// its size, so its own counts are trusted.
std::vector<MIDIPacketData> packetDataArray(const midiservices::MIDIPacketList* list,
                                            const void* refCon, bool refConKnown);

// One record per UMP message of types 0-5 of an event list (packets in order, messages in word
// order within a packet), each with its packet's time stamp and the list's source. Bounded by
// `listByteCount` as above; an event packet that claims more than 64 words ends the walk.
std::vector<UniversalMIDIPacketData> universalPacketDataArray(
    const midiservices::MIDIEventList* list, size_t listByteCount, const void* refCon,
    bool refConKnown);
std::vector<UniversalMIDIPacketData> universalPacketDataArray(
    const midiservices::MIDIEventList* list, const void* refCon, bool refConKnown);

}  // namespace midiio
