// The first words of channel-voice packets.
#pragma once

#include <cstdint>

#include "midi_core/bytes.hpp"
#include "midi_core/ump.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace midicore::events::words {

// The channel-voice status byte: a status such as 0x90 with the channel in the low nibble.
constexpr uint8_t statusByte(uint8_t status, UInt4 channel) {
    return static_cast<uint8_t>(status | channel.value());
}

// A MIDI 1.0 channel-voice message in one word: type 2, group, status + channel, two data bytes.
constexpr uint32_t midi1ChannelVoice(UInt4 group, uint8_t status, UInt4 channel, uint8_t data1,
                                     uint8_t data2) {
    return uInt32FromBytes(umpMessageTypeAndGroup(MIDIUMPMessageType::midi1ChannelVoice, group),
                           statusByte(status, channel), data1, data2);
}

// The first word of a MIDI 2.0 channel-voice packet: type 4, group, status + channel, then the
// two index bytes.
constexpr uint32_t midi2ChannelVoice(UInt4 group, uint8_t status, UInt4 channel, uint8_t index1,
                                     uint8_t index2) {
    return uInt32FromBytes(umpMessageTypeAndGroup(MIDIUMPMessageType::midi2ChannelVoice, group),
                           statusByte(status, channel), index1, index2);
}

}  // namespace midicore::events::words
