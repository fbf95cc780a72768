// Complete seven-bit system exclusive messages in tracks: the MIDI core's SysEx7 (manufacturer)
// and UniversalSysEx7 records as payloads of track events.
//
// In a track the message is F0, a variable-length count L of the bytes that follow, the body
// (manufacturer ID or universal header, then the data) and F7, which L includes. The body follows
// the MIDI core's rules for a seven-bit message; a refusal by those rules is thrown as the core's
// MIDIEventParseError (malformed, or invalidType for a message of the other kind), every other
// failure as MIDIFileDecodeError. A count written with more bytes than it needs is accepted, and
// the stream decoder counts the bytes actually read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "midi_core/events/sysex7.hpp"
#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"
#include "midi_file/payload.hpp"

namespace midifile {

namespace detail {

template <class P>
struct SysExCodec {
    static MIDIFileEventType eventType();
    static DecodeResult<P> fromRawBytes(std::span<const uint8_t> bytes);
    static StreamDecodeResult<P> decode(std::span<const uint8_t> stream);
    static std::vector<uint8_t> smfRawBytes(const P& payload);
    // "sysEx7: 6 bytes" / "universalSysEx7: 8 bytes".
    static std::string description(const P& payload);
    // "SysEx(6 bytes: [0xF0, 0x04, 0x43, 0x10, 0x4C, 0xF7]" (UniversalSysEx7 likewise).
    static std::string debugDescription(const P& payload);
};

}  // namespace detail

// The message with neither manufacturer ID nor data, F0 01 F7 in a track. The payload decoders
// refuse it for want of an ID, but tracks hold it and the track reader takes it
// (decodeEmptySysEx7). It is the SysEx7 with the one-byte manufacturer ID 0x00, which no message
// carries (0x00 begins a three-byte ID), and no data; it is written as F0 01 F7.
midicore::events::SysEx7 emptySysEx7();
bool isEmptySysEx7(const midicore::events::SysEx7& message);
// emptySysEx7() from the front of `stream` when it holds F0, a count of 1 and F7, with the number
// of bytes read; a failure otherwise.
StreamDecodeResult<midicore::events::SysEx7> decodeEmptySysEx7(std::span<const uint8_t> stream);

template <>
struct PayloadCodec<midicore::events::SysEx7> : detail::SysExCodec<midicore::events::SysEx7> {};
template <>
struct PayloadCodec<midicore::events::UniversalSysEx7>
    : detail::SysExCodec<midicore::events::UniversalSysEx7> {};

}  // namespace midifile
