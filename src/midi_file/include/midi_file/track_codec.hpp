// The event stream of a track chunk's body: delta times, running status, the fixed order in which
// the payload decoders are tried, and the end-of-track event (FF 2F 00), in both directions.
//
// Reading: each event is a delta time (a variable-length quantity) and the event's bytes; a data
// byte where a status byte belongs takes the status of the last channel event (meta events leave
// it, system exclusive events end it). The body must end with FF 2F 00 exactly. An end-of-track
// event with bytes after it is dropped, its delta time added to the next event. A parameter
// change written as separate Control Change events (number MSB, LSB, data entry MSB, optionally
// LSB, on one channel with delta 0 between them) is read as one RPN or NRPN event, as is the
// contiguous form; a parameter reset (127/127) needs no data entry. A system exclusive event
// with neither manufacturer ID nor data (F0 01 F7) is read as emptySysEx7().
//
// Writing: every event carries its own status byte; an event whose bytes are several channel
// messages (parameter changes, a program change with bank select) is written as one event per
// message, the first with the event's delta time and the rest with delta 0. An end-of-track event
// among the events is left out (its delta carried to the next event), and FF 2F 00 closes the
// track.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "midi_file/file_event.hpp"
#include "midi_file/time_base.hpp"

namespace midifile {

// The events of a track body. Throws MIDIFileDecodeError::malformed.
std::vector<MIDIFileEvent> decodeTrackEvents(std::span<const uint8_t> body);

// The first decoder in the fixed order that takes the event at the front of `window`, with the
// number of bytes it took; none when no decoder takes it.
std::optional<Decoded<MIDIFileEvent::Payload>> tryPayloadDecoders(std::span<const uint8_t> window);

// The body of a track holding `events`, end of track included. Throws MIDIFileEncodeError for a
// delta time with no tick count under `timeBase` (a note value under a timecode time base) and
// for one above 0x0FFFFFFF, the largest a reader takes.
std::vector<uint8_t> encodeTrackBody(std::span<const MIDIFileEvent> events,
                                     const MIDIFileTimeBase& timeBase);

namespace detail {
// encodeTrackBody, appending the body to `out`.
void appendTrackBody(std::vector<uint8_t>& out, std::span<const MIDIFileEvent> events,
                     const MIDIFileTimeBase& timeBase);
// A chunk's body length as its four bytes (big-endian). Throws MIDIFileEncodeError when it is
// above 4,294,967,295.
std::array<uint8_t, 4> chunkLengthBytes(size_t length);
}  // namespace detail

// The four identifier bytes, the body length (big-endian 32 bits) and the body. Throws
// MIDIFileEncodeError when the body is longer than 4,294,967,295 bytes.
std::vector<uint8_t> encodeChunk(std::span<const uint8_t, 4> identifier,
                                 std::span<const uint8_t> body);

}  // namespace midifile
