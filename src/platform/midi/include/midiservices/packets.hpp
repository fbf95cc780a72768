// The records in which MIDI data travels between clients and the MIDI services: packet lists of
// MIDI 1.0 bytes and event lists of Universal MIDI Packet (UMP) words, with the operations that
// fill and walk them.
//
// Both lists are variable-size records: a fixed header followed by packets laid out one after the
// other in one block of memory. The structs below describe the header and the first packet; the
// declared sizes are those of a list holding one packet of full capacity (256 data bytes, or 64
// words). Longer lists live in larger storage (ListStorage below) and are reached through the
// "next packet" operations.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "midiservices/host_time.hpp"

namespace midiservices {

// The protocol the words of an event list speak. Other values may appear in a list's field.
enum class MIDIProtocolID : int32_t { midi1_0 = 1, midi2_0 = 2 };

// A time stamp field inside a packet. Packets are packed at 4-byte boundaries, so the 64-bit stamp
// may lie off its natural alignment; this type has none and reads and writes its bytes as a
// whole, so that the field can be read, assigned and passed by reference safely.
class UnalignedTimeStamp {
  public:
    UnalignedTimeStamp() = default;
    UnalignedTimeStamp(MIDITimeStamp value) { *this = value; }  // NOLINT: converts implicitly
    UnalignedTimeStamp& operator=(MIDITimeStamp value) {
        std::memcpy(bytes_, &value, sizeof value);
        return *this;
    }
    operator MIDITimeStamp() const {  // NOLINT: converts implicitly
        MIDITimeStamp value;
        std::memcpy(&value, bytes_, sizeof value);
        return value;
    }

  private:
    unsigned char bytes_[sizeof(MIDITimeStamp)];
};

#pragma pack(push, 1)
// One packet of MIDI 1.0 bytes: a 10-byte header (time stamp, then byte count), then the bytes.
struct MIDIPacket {
    UnalignedTimeStamp timeStamp;
    uint16_t length;
    uint8_t data[256];
};

// A packet count, then that many packets. Each packet after the first starts at the end of the
// previous packet's data rounded up to a multiple of 4 (MIDIPacketNext).
struct MIDIPacketList {
    uint32_t numPackets;
    MIDIPacket packet[1];
};
#pragma pack(pop)

#pragma pack(push, 4)
// One packet of 1 to 64 UMP words with its time stamp.
struct MIDIEventPacket {
    UnalignedTimeStamp timeStamp;
    uint32_t wordCount;
    uint32_t words[64];
};

// The protocol and a packet count, then that many event packets, each starting right after the
// previous packet's last word (MIDIEventPacketNext).
struct MIDIEventList {
    MIDIProtocolID protocol;
    uint32_t numPackets;
    MIDIEventPacket packet[1];
};
#pragma pack(pop)

// Bytes before a packet list's first packet, and before a packet's data.
inline constexpr size_t packetListHeaderSize = offsetof(MIDIPacketList, packet);
inline constexpr size_t packetHeaderSize = offsetof(MIDIPacket, data);
// The most words one event packet holds.
inline constexpr size_t maxEventPacketWords = 64;

static_assert(sizeof(UnalignedTimeStamp) == 8 && alignof(UnalignedTimeStamp) == 1);
static_assert(packetListHeaderSize == 4 && packetHeaderSize == 10);
static_assert(offsetof(MIDIEventPacket, words) == 12 && offsetof(MIDIEventList, packet) == 8);

// The packet after `packet`: the address of its data plus its length, rounded up to a multiple of
// 4. Reads only `packet->length`.
const MIDIPacket* MIDIPacketNext(const MIDIPacket* packet);
MIDIPacket* MIDIPacketNext(MIDIPacket* packet);

// The event packet right after the last of `packet`'s words. Reads only `packet->wordCount`.
const MIDIEventPacket* MIDIEventPacketNext(const MIDIEventPacket* packet);
MIDIEventPacket* MIDIEventPacketNext(MIDIEventPacket* packet);

// Empties `list` and returns the position of its first packet.
MIDIPacket* MIDIPacketListInit(MIDIPacketList* list);

// Appends one packet of `byteCount` bytes stamped `timeStamp` to `list`, whose storage is
// `listSize` bytes long. `current` is the position MIDIPacketListInit returned (for the first
// packet) or the packet a previous add returned. Returns the new packet, or null when there is no
// room: the packet would end past `listSize`, or `byteCount` exceeds a packet's 16-bit length. On
// null the list is unchanged. Every add makes a packet of its own.
MIDIPacket* MIDIPacketListAdd(MIDIPacketList* list, size_t listSize, MIDIPacket* current,
                              MIDITimeStamp timeStamp, size_t byteCount, const uint8_t* data);

// Empties `list`, sets its protocol and returns the position of its first packet.
MIDIEventPacket* MIDIEventListInit(MIDIEventList* list, MIDIProtocolID protocol);

// Appends one event packet of `wordCount` words, as MIDIPacketListAdd does. Returns null when
// there is no room, or when `wordCount` is 0 or above 64; on null the list is unchanged.
MIDIEventPacket* MIDIEventListAdd(MIDIEventList* list, size_t listSize, MIDIEventPacket* current,
                                  MIDITimeStamp timeStamp, size_t wordCount, const uint32_t* words);

// Zero-filled, 8-byte-aligned storage for one packet list or event list of a chosen size (at least
// the declared size of the record). A value: copying copies the whole block. A moved-from storage
// holds nothing (`list()` is null, `byteCount()` 0).
template <class List>
class ListStorage {
  public:
    explicit ListStorage(size_t byteCount = sizeof(List))
        : byteCount_(std::max(byteCount, sizeof(List))),
          words_(std::make_unique<uint64_t[]>(wordsFor(byteCount_))) {}

    ListStorage(const ListStorage& other)
        : byteCount_(other.byteCount_),
          words_(other.words_ ? std::make_unique<uint64_t[]>(wordsFor(byteCount_)) : nullptr) {
        if (words_) std::memcpy(words_.get(), other.words_.get(), byteCount_);
    }
    ListStorage(ListStorage&& other) noexcept
        : byteCount_(std::exchange(other.byteCount_, 0)), words_(std::move(other.words_)) {}
    ListStorage& operator=(ListStorage other) noexcept {
        std::swap(byteCount_, other.byteCount_);
        std::swap(words_, other.words_);
        return *this;
    }
    ~ListStorage() = default;

    List* list() { return reinterpret_cast<List*>(words_.get()); }
    const List* list() const { return reinterpret_cast<const List*>(words_.get()); }
    size_t byteCount() const { return byteCount_; }

  private:
    static size_t wordsFor(size_t bytes) {
        return (bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t);
    }

    size_t byteCount_;
    std::unique_ptr<uint64_t[]> words_;
};

using PacketListStorage = ListStorage<MIDIPacketList>;
using EventListStorage = ListStorage<MIDIEventList>;

}  // namespace midiservices
