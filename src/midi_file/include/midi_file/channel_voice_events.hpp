// Channel voice events in tracks: the MIDI core's records of Note On and Off, polyphonic and
// channel pressure, Control Change, Pitch Bend and Program Change, and the registered and
// non-registered parameter changes (RPN, NRPN), as payloads of track events.
//
// Each record implements the payload interface of payload.hpp by a PayloadCodec specialisation.
// Decoding fills the values in their MIDI 1.0 form with group 0 and never sets a bank; encoding
// reduces any value form to MIDI 1.0 bytes by the MIDI core's rules.
//
// A parameter change is a run of Control Changes: parameter number MSB and LSB (101/100 for
// RPN, 99/98 for NRPN), data entry MSB (6) and optionally LSB (38), each message with its own
// status byte and nothing between them. A track written by this library puts each message of the
// run into an event of its own (track.hpp), which the track reader joins again.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "midi_core/events/channel_voice.hpp"
#include "midi_core/events/control_change.hpp"
#include "midi_core/events/parameter_number.hpp"
#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"
#include "midi_file/payload.hpp"

namespace midifile {

class MIDIFileEvent;
class DeltaTime;

namespace detail {

// The track reader's path for the bulk of a track: the events from `offset` on (each a delta
// time, then a channel message with its own status byte or in running status), as long as they
// are single channel messages that the decoder of their kind takes (not a Control Change of
// controller 99 or 101, which may start a parameter run). Appends them and returns the offset of
// the first event it leaves, at its delta time: that event is anything else, is malformed, or
// lies within the last three bytes. `runningStatus` (0 for none) and `carriedDelta` (ticks to add
// to the next event's delta time) are updated as the events are taken.
size_t appendChannelEvents(std::span<const uint8_t> body, size_t offset, uint8_t& runningStatus,
                           uint64_t& carriedDelta, std::vector<MIDIFileEvent>& events);

// The codec of one single-message channel voice record; defined for the seven records below.
template <class P>
struct ChannelVoiceCodec {
    static MIDIFileEventType eventType();
    static DecodeResult<P> fromRawBytes(std::span<const uint8_t> bytes);
    static StreamDecodeResult<P> decode(std::span<const uint8_t> stream);
    static std::vector<uint8_t> smfRawBytes(const P& payload);
    static std::string description(const P& payload);
    static std::string debugDescription(const P& payload);
};

// The codec of a parameter change run; defined for RPN and NRPN.
template <class P>
struct ParameterNumberCodec {
    static MIDIFileEventType eventType();
    // Runs the stream decoder; bytes after the run are ignored.
    static DecodeResult<P> fromRawBytes(std::span<const uint8_t> bytes);
    static StreamDecodeResult<P> decode(std::span<const uint8_t> stream);
    static std::vector<uint8_t> smfRawBytes(const P& payload);
    static std::string description(const P& payload);
    static std::string debugDescription(const P& payload);
};

}  // namespace detail

template <>
struct PayloadCodec<midicore::events::NoteOn>
    : detail::ChannelVoiceCodec<midicore::events::NoteOn> {};
template <>
struct PayloadCodec<midicore::events::NoteOff>
    : detail::ChannelVoiceCodec<midicore::events::NoteOff> {};
template <>
struct PayloadCodec<midicore::events::NotePressure>
    : detail::ChannelVoiceCodec<midicore::events::NotePressure> {};
template <>
struct PayloadCodec<midicore::events::CC> : detail::ChannelVoiceCodec<midicore::events::CC> {};
template <>
struct PayloadCodec<midicore::events::PitchBend>
    : detail::ChannelVoiceCodec<midicore::events::PitchBend> {};
template <>
struct PayloadCodec<midicore::events::Pressure>
    : detail::ChannelVoiceCodec<midicore::events::Pressure> {};
template <>
struct PayloadCodec<midicore::events::ProgramChange>
    : detail::ChannelVoiceCodec<midicore::events::ProgramChange> {};
template <>
struct PayloadCodec<midicore::events::RPN> : detail::ParameterNumberCodec<midicore::events::RPN> {};
template <>
struct PayloadCodec<midicore::events::NRPN>
    : detail::ParameterNumberCodec<midicore::events::NRPN> {};

// The parameter of a run read from a file. RPN: the known parameter numbers give their named
// cases and 127/127 gives null; a 127/127 run that carries a data entry stays `raw` so that the
// data entry is written back. NRPN: `raw`, or null for 127/127 without data entry.
midicore::events::RegisteredController registeredParameter(
    midicore::UInt7Pair parameter, std::optional<midicore::UInt7> dataEntryMSB,
    std::optional<midicore::UInt7> dataEntryLSB);
midicore::events::AssignableController assignableParameter(
    midicore::UInt7Pair parameter, std::optional<midicore::UInt7> dataEntryMSB,
    std::optional<midicore::UInt7> dataEntryLSB);

// The text of a channel voice value: its case and its payload, "midi1(100)",
// "unitInterval(0.5)", "bipolarUnitInterval(-1.0)".
std::string valueText(const midicore::ChanVoice7Bit16BitValue& value);
std::string valueText(const midicore::ChanVoice7Bit32BitValue& value);
std::string valueText(const midicore::ChanVoice14Bit32BitValue& value);

}  // namespace midifile
