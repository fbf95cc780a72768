// Wrapping MIDI data into the MIDI services' packet records, and reading it back out.
//
// Send side: UMP words go into an event packet (and an event list of one packet); MIDI 1.0 bytes
// go into a packet list, one packet per message, all stamped with one reading of the host clock.
// Receive side: a packet list handed over by the MIDI services is walked packet by packet and each
// packet's bytes and time stamp are read.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "midi_support/internal_error.hpp"
#include "midiservices/packets.hpp"

namespace midisupport {

using midiservices::MIDITimeStamp;

// The largest packet list the builders make, in bytes: 4 for the count, plus 10 and the data
// bytes for each packet (alignment padding is not counted).
inline constexpr size_t maxPacketListSize = 65536;

// An event packet holding `words` (1 to 64) with `timeStamp`; the words past the count are zero.
// Throws VOREDuvInternalError (malformed) for no words or more than 64.
midiservices::MIDIEventPacket makeEventPacket(std::span<const uint32_t> words,
                                              MIDITimeStamp timeStamp);

// An event list of `protocol` holding one packet, made as makeEventPacket makes it.
midiservices::MIDIEventList makeEventList(midiservices::MIDIProtocolID protocol,
                                          std::span<const uint32_t> packetWords,
                                          MIDITimeStamp timeStamp);

// The packet's words in order when it holds 1 to 64 of them; otherwise none.
std::vector<uint32_t> wordsArray(const midiservices::MIDIEventPacket& packet);

// A copy of the packet's `length` data bytes, and its time stamp. The packet is trusted to hold
// `length` bytes (a packet inside a list may hold more than the record's declared 256).
std::vector<uint8_t> midiPacketBytes(const midiservices::MIDIPacket* packet);
std::vector<uint8_t> midiPacketBytes(const midiservices::MIDIPacket& packet);
MIDITimeStamp midiPacketTimeStamp(const midiservices::MIDIPacket* packet);
MIDITimeStamp midiPacketTimeStamp(const midiservices::MIDIPacket& packet);

// Calls `body` with each of the list's `numPackets` packets in order, moving on by the next-packet
// rule. The list is trusted to be laid out as its count and lengths say (a list handed over by the
// MIDI services).
void forEachPacket(const midiservices::MIDIPacketList& list,
                   const std::function<void(const midiservices::MIDIPacket*)>& body);
// The same over storage of known size: throws VOREDuvInternalError (malformed) before visiting a
// packet that does not lie within the storage.
void forEachPacket(const midiservices::PacketListStorage& storage,
                   const std::function<void(const midiservices::MIDIPacket*)>& body);

// A packet list holding one packet with `data`, stamped with the current host time. Throws
// VOREDuvInternalError (malformed) when the list would exceed 65536 bytes (more than 65522 data
// bytes).
midiservices::PacketListStorage makePacketList(std::span<const uint8_t> data);

// A packet list holding one packet per message of `packets`, in order, all stamped with one
// reading of the host time; no packets for no messages. Throws VOREDuvInternalError (malformed)
// with "Data is too large (N bytes). Maximum size is 65536 bytes." when 4 + the sum of 10 + the
// byte count over the messages exceeds 65536, and with "Error adding MIDI packet to packet list."
// when a packet cannot be added. Nothing is returned on error.
midiservices::PacketListStorage makePacketList(std::span<const std::vector<uint8_t>> packets);

}  // namespace midisupport
