// Reading packet lists and event lists that callers hand in, and building the lists that
// receivers are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "midiservices/packets.hpp"
#include "midiservices/translation.hpp"

namespace midiservices::detail {

// Appends the packets of a packet list of `size` bytes to `out`; false (with `out` in an
// unspecified state) when a packet runs past the end. Empty packets carry nothing and are left
// out.
bool readPacketList(const MIDIPacketList* list, size_t size, FlatPackets& out);
// Appends the packets of an event list of `size` bytes to `out` and sets `protocol`; false when a
// packet runs past the end, holds 0 or more than 64 words or ends inside a message, or the
// protocol is neither 1 nor 2.
bool readEventList(const MIDIEventList* list, size_t size, MIDIProtocolID& protocol,
                   FlatPackets& out);

// The same as lists of separate packets, or none.
std::optional<MIDIPackets> readPacketList(const MIDIPacketList* list, size_t size);
std::optional<MIDIPackets> readEventList(const MIDIEventList* list, size_t size,
                                         MIDIProtocolID& protocol);

// Storage in which lists are built one after the other; it grows to the largest list and is
// reused, so building allocates only while it grows. A list built is valid until the next build.
class ListBuffer {
  public:
    // A packet list with one packet per packet of `bytes`.
    const MIDIPacketList* packetList(const FlatPackets& bytes);
    // An event list in `protocol`: one event packet per packet of `words`, a packet of more than
    // 64 words split between messages.
    const MIDIEventList* eventList(const FlatPackets& words, MIDIProtocolID protocol);
    // The size of the list built last.
    size_t byteCount() const { return size_; }

  private:
    void* reserve(size_t size);
    std::vector<uint64_t> storage_;
    size_t size_ = 0;
};

// Lists in storage of their own.
PacketListStorage buildPacketList(const MIDIPackets& packets);
EventListStorage buildEventList(const MIDIPackets& packets, MIDIProtocolID protocol);

}  // namespace midiservices::detail
