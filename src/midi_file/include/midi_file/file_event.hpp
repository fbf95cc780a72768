// One event of a track: a delta time and a payload.
//
// The payloads here are the records of this library: the meta events. The channel-voice,
// parameter-number and system exclusive events carry the MIDI core's event records; they join
// the Payload variant once those records implement the payload interface (a PayloadCodec
// specialisation each, payload.hpp). Hashing already uses the case numbering of the complete set
// of kinds, so it does not change when they join.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "midi_file/event_type.hpp"
#include "midi_file/meta_events.hpp"
#include "midi_file/payload.hpp"
#include "midi_file/tempo_text_events.hpp"
#include "midi_file/time_base.hpp"

namespace midifile {

class MIDIFileEvent {
  public:
    using DeltaTime = midifile::DeltaTime;
    using ChannelPrefix = midifile::ChannelPrefix;
    using KeySignature = midifile::KeySignature;
    using PortPrefix = midifile::PortPrefix;
    using SequenceNumber = midifile::SequenceNumber;
    using SequencerSpecific = midifile::SequencerSpecific;
    using Tempo = midifile::Tempo;
    using Text = midifile::Text;
    using TimeSignature = midifile::TimeSignature;
    using UnrecognizedMeta = midifile::UnrecognizedMeta;
    using XMFPatchTypePrefix = midifile::XMFPatchTypePrefix;

    using Payload = std::variant<ChannelPrefix, KeySignature, PortPrefix, SequenceNumber,
                                 SequencerSpecific, Tempo, Text, TimeSignature, UnrecognizedMeta,
                                 XMFPatchTypePrefix>;

    // Whether P is one of the payload types an event can hold.
    template <class P>
    static constexpr bool holds = []<class... Ps>(std::variant<Ps...>*) {
        return (std::is_same_v<P, Ps> || ...);
    }(static_cast<Payload*>(nullptr));

    // The event of P's kind; the case constructors below are shorthands of it.
    template <MIDIFileEventPayload P>
    requires holds<P> MIDIFileEvent(DeltaTime delta, P payload)
        : delta_(delta), payload_(std::move(payload)) {}

    static MIDIFileEvent channelPrefix(DeltaTime delta, midicore::UInt4 channel) {
        return {delta, ChannelPrefix{channel}};
    }
    static MIDIFileEvent keySignature(DeltaTime delta, int8_t flatsOrSharps, bool majorKey) {
        return {delta, KeySignature(flatsOrSharps, majorKey)};
    }
    static MIDIFileEvent portPrefix(DeltaTime delta, midicore::UInt7 port) {
        return {delta, PortPrefix{port}};
    }
    static MIDIFileEvent sequenceNumber(DeltaTime delta, uint16_t sequence) {
        return {delta, SequenceNumber(sequence)};
    }
    static MIDIFileEvent sequencerSpecific(DeltaTime delta, std::vector<uint8_t> data) {
        return {delta, SequencerSpecific{std::move(data)}};
    }
    static MIDIFileEvent tempo(DeltaTime delta, double bpm) { return {delta, Tempo(bpm)}; }
    static MIDIFileEvent text(DeltaTime delta, TextEventType type, std::string_view string) {
        return {delta, Text(type, string)};
    }
    // With 24 MIDI clocks per click and 8 32nd notes per quarter.
    static MIDIFileEvent timeSignature(DeltaTime delta, uint8_t numerator, uint8_t denominator) {
        return {delta, TimeSignature{numerator, denominator, 24, 8}};
    }
    static MIDIFileEvent unrecognizedMeta(DeltaTime delta, uint8_t metaType,
                                          std::vector<uint8_t> data) {
        return {delta, UnrecognizedMeta{metaType, std::move(data)}};
    }
    static MIDIFileEvent xmfPatchTypePrefix(DeltaTime delta, XMFPatchSet patchSet) {
        return {delta, XMFPatchTypePrefix{patchSet}};
    }

    DeltaTime delta() const { return delta_; }
    void setDelta(DeltaTime delta) { delta_ = delta; }
    // The kind of the payload.
    MIDIFileEventType eventType() const;
    const Payload& payload() const { return payload_; }
    // The payload when it is a P; null otherwise.
    template <class P>
    requires holds<P> const P* payloadIf() const { return std::get_if<P>(&payload_); }

    struct Unwrapped {
        DeltaTime delta;
        Payload payload;
    };
    // The delta time and the payload.
    Unwrapped unwrappedEvent() const { return {delta_, payload_}; }

    // The payload's bytes, status byte first, without delta time.
    std::vector<uint8_t> smfRawBytes() const;
    // The payload's texts.
    std::string description() const;
    std::string debugDescription() const;

    // The same kind, equal delta times and equal payloads.
    friend bool operator==(const MIDIFileEvent& a, const MIDIFileEvent& b) {
        return a.payload_ == b.payload_ && a.delta_ == b.delta_;
    }
    size_t hash() const;

  private:
    DeltaTime delta_;
    Payload payload_;
};

// The event of the payload's kind with the given delta time.
template <MIDIFileEventPayload P>
requires MIDIFileEvent::holds<P> MIDIFileEvent wrappedEvent(P payload,
                                                            DeltaTime delta = DeltaTime::none()) {
    return MIDIFileEvent(delta, std::move(payload));
}

// The position of an event kind in the declaration order of the event's cases, the number that
// hashing feeds: the kind's own position, except universalSysEx7 (16) and tempo, text and
// timeSignature (17, 18, 19).
size_t eventCaseIndex(MIDIFileEventType type);

}  // namespace midifile

template <>
struct std::hash<midifile::MIDIFileEvent> {
    size_t operator()(const midifile::MIDIFileEvent& event) const { return event.hash(); }
};
