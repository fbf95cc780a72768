// The send path the virtual output and the output connection share: events become MIDI 1.0 byte
// packets (packet-list interface) or Universal MIDI Packets (event-list interface), packed into
// lists and handed to the sender's delivery.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_io/api_version.hpp"
#include "midiservices/packets.hpp"

namespace midiio::detail {

// Where prepared lists go. Each delivery throws to end the send.
struct SendTarget {
    CoreMIDIAPIVersion api;
    std::function<void(const midiservices::MIDIPacketList* list, size_t byteCount)> packets;
    std::function<void(const midiservices::MIDIEventList* list, size_t byteCount)> events;
};

// The longest packet the send path makes; a longer message is split into packets of this size,
// in order, within one list.
inline constexpr size_t maxSendPacketBytes = 256;

// One event: one packet list of its MIDI 1.0 bytes, or one event list per UMP packet.
void sendEvent(const SendTarget& target, const midicore::MIDIEvent& event);
// Several events: on the packet-list interface one list with a packet per event, or one list per
// event when any of them is system exclusive; on the event-list interface one list per UMP packet.
void sendEvents(const SendTarget& target, const std::vector<midicore::MIDIEvent>& events);

// Prepared data. Bytes on the event-list interface, or words on the packet-list interface, throw
// MIDIIOError (internalInconsistency).
void sendMIDI1Messages(const SendTarget& target, std::span<const std::vector<uint8_t>> messages);
void sendUMPWords(const SendTarget& target, std::span<const uint32_t> words);

}  // namespace midiio::detail
