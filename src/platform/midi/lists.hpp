// Reading packet lists and event lists that callers hand in, and building the lists that
// receivers are given.
#pragma once

#include <cstddef>
#include <optional>

#include "midiservices/packets.hpp"
#include "midiservices/translation.hpp"

namespace midiservices::detail {

// The packets of a packet list of `size` bytes, or none when a packet runs past the end. Empty
// packets carry nothing and are left out.
std::optional<MIDIPackets> readPacketList(const MIDIPacketList* list, size_t size);

// The packets and protocol of an event list of `size` bytes, or none when a packet runs past the
// end, holds 0 or more than 64 words or ends inside a message, or the protocol is neither 1 nor 2.
std::optional<MIDIPackets> readEventList(const MIDIEventList* list, size_t size,
                                         MIDIProtocolID& protocol);

// A packet list with one packet per packet given.
PacketListStorage buildPacketList(const MIDIPackets& packets);

// An event list in `protocol`: one event packet per packet given, a packet of more than 64 words
// split between messages.
EventListStorage buildEventList(const MIDIPackets& packets, MIDIProtocolID protocol);

}  // namespace midiservices::detail
