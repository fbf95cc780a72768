// One event of a track: a delta time and a payload.
//
// The meta events carry records of this library; the channel-voice, parameter-number and system
// exclusive events carry the MIDI core's event records, which implement the payload interface by
// PayloadCodec specialisations (channel_voice_events.hpp, sysex_events.hpp). Those eleven kinds
// convert to and from the core's MIDIEvent (`smfEvent`, `MIDIFileEvent::midiEvent`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "midi_core/events/channel_voice.hpp"
#include "midi_core/events/control_change.hpp"
#include "midi_core/events/parameter_number.hpp"
#include "midi_core/events/sysex7.hpp"
#include "midi_core/midi_event.hpp"
#include "midi_file/channel_voice_events.hpp"
#include "midi_file/event_type.hpp"
#include "midi_file/meta_events.hpp"
#include "midi_file/smpte_offset.hpp"
#include "midi_file/sysex_events.hpp"
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
    using SMPTEOffset = midifile::SMPTEOffset;
    using CC = midicore::events::CC;
    using NoteOff = midicore::events::NoteOff;
    using NoteOn = midicore::events::NoteOn;
    using NotePressure = midicore::events::NotePressure;
    using PitchBend = midicore::events::PitchBend;
    using Pressure = midicore::events::Pressure;
    using ProgramChange = midicore::events::ProgramChange;
    using RPN = midicore::events::RPN;
    using NRPN = midicore::events::NRPN;
    using SysEx7 = midicore::events::SysEx7;
    using UniversalSysEx7 = midicore::events::UniversalSysEx7;

    // In the declaration order of the event's cases.
    using Payload =
        std::variant<CC, ChannelPrefix, KeySignature, NoteOff, NoteOn, NotePressure, PitchBend,
                     PortPrefix, Pressure, ProgramChange, RPN, NRPN, SequenceNumber,
                     SequencerSpecific, SMPTEOffset, SysEx7, UniversalSysEx7, Tempo, Text,
                     TimeSignature, UnrecognizedMeta, XMFPatchTypePrefix>;

    // Whether P is one of the payload types an event can hold.
    template <class P>
    static constexpr bool holds = []<class... Ps>(std::variant<Ps...>*) {
        return (std::is_same_v<P, Ps> || ...);
    }(static_cast<Payload*>(nullptr));

    // The event of P's kind; the case constructors below are shorthands of it.
    template <MIDIFileEventPayload P>
    requires holds<P> MIDIFileEvent(DeltaTime delta, P payload)
        : delta_(delta), payload_(std::move(payload)) {}

    // Channel voice events: the record with group 0, no note attribute, no bank select and
    // midi1ZeroVelocityAsNoteOff false.
    static MIDIFileEvent cc(DeltaTime delta, CC::Controller controller,
                            midicore::ChanVoice7Bit32BitValue value, midicore::UInt4 channel) {
        return {delta, CC(controller, value, channel)};
    }
    static MIDIFileEvent cc(DeltaTime delta, midicore::UInt7 controller,
                            midicore::ChanVoice7Bit32BitValue value, midicore::UInt4 channel) {
        return {delta, CC(controller, value, channel)};
    }
    static MIDIFileEvent noteOff(DeltaTime delta, midicore::MIDINote note,
                                 midicore::ChanVoice7Bit16BitValue velocity,
                                 midicore::UInt4 channel) {
        return {delta, NoteOff(note, velocity, midicore::events::NoteAttribute::none(), channel)};
    }
    static MIDIFileEvent noteOn(DeltaTime delta, midicore::MIDINote note,
                                midicore::ChanVoice7Bit16BitValue velocity,
                                midicore::UInt4 channel) {
        return {delta, NoteOn(note, velocity, midicore::events::NoteAttribute::none(), channel,
                              midicore::UInt4(0), false)};
    }
    static MIDIFileEvent notePressure(DeltaTime delta, midicore::MIDINote note,
                                      midicore::ChanVoice7Bit32BitValue amount,
                                      midicore::UInt4 channel) {
        return {delta, NotePressure(note, amount, channel)};
    }
    // The value msb x 128 + lsb.
    static MIDIFileEvent pitchBend(DeltaTime delta, midicore::UInt7 lsb, midicore::UInt7 msb,
                                   midicore::UInt4 channel) {
        return pitchBend(delta,
                         midicore::ChanVoice14Bit32BitValue::midi1(
                             midicore::UInt14::fromUInt7Pair({msb, lsb})),
                         channel);
    }
    static MIDIFileEvent pitchBend(DeltaTime delta, midicore::ChanVoice14Bit32BitValue value,
                                   midicore::UInt4 channel) {
        return {delta, PitchBend(value, channel)};
    }
    static MIDIFileEvent pressure(DeltaTime delta, midicore::ChanVoice7Bit32BitValue amount,
                                  midicore::UInt4 channel) {
        return {delta, Pressure(amount, channel)};
    }
    static MIDIFileEvent programChange(DeltaTime delta, midicore::UInt7 program,
                                       midicore::UInt4 channel) {
        return {delta, ProgramChange(program, ProgramChange::Bank::noBankSelect(), channel)};
    }
    static MIDIFileEvent rpn(DeltaTime delta, midicore::events::RegisteredController parameter,
                             midicore::MIDI2ParameterNumberChange change,
                             midicore::UInt4 channel) {
        return {delta, RPN(parameter, change, channel)};
    }
    static MIDIFileEvent nrpn(DeltaTime delta, midicore::events::AssignableController parameter,
                              midicore::MIDI2ParameterNumberChange change,
                              midicore::UInt4 channel) {
        return {delta, NRPN(parameter, change, channel)};
    }
    // System exclusive with group 0. The byte form throws MIDIEventParseError (malformed) for a
    // data byte of 0x80 or more; the UInt7 form cannot fail.
    static MIDIFileEvent sysEx7(DeltaTime delta, midicore::events::SysExManufacturer manufacturer,
                                std::vector<uint8_t> data) {
        return {delta, SysEx7(manufacturer, std::move(data))};
    }
    static MIDIFileEvent sysEx7(DeltaTime delta, midicore::events::SysExManufacturer manufacturer,
                                std::span<const midicore::UInt7> data) {
        return {delta, SysEx7(manufacturer, data)};
    }
    static MIDIFileEvent universalSysEx7(DeltaTime delta,
                                         midicore::events::UniversalSysExType universalType,
                                         midicore::UInt7 deviceID, midicore::UInt7 subID1,
                                         midicore::UInt7 subID2, std::vector<uint8_t> data) {
        return {delta, UniversalSysEx7(universalType, deviceID, subID1, subID2, std::move(data))};
    }
    static MIDIFileEvent universalSysEx7(DeltaTime delta,
                                         midicore::events::UniversalSysExType universalType,
                                         midicore::UInt7 deviceID, midicore::UInt7 subID1,
                                         midicore::UInt7 subID2,
                                         std::span<const midicore::UInt7> data) {
        return {delta, UniversalSysEx7(universalType, deviceID, subID1, subID2, data)};
    }
    // The fields clamped as the record's setters do.
    static MIDIFileEvent smpteOffset(DeltaTime delta, uint8_t hours, uint8_t minutes,
                                     uint8_t seconds, uint8_t frames, uint8_t subframes,
                                     MIDIFileSMPTEOffsetFrameRate frameRate) {
        return {delta, SMPTEOffset(hours, minutes, seconds, frames, subframes, frameRate)};
    }
    static MIDIFileEvent smpteOffset(DeltaTime delta, const timecode::Timecode& scaling) {
        return {delta, SMPTEOffset(scaling)};
    }

    // The event of whichever kind `payload` holds.
    MIDIFileEvent(DeltaTime delta, Payload payload) : delta_(delta), payload_(std::move(payload)) {}

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

    // The core event carrying the same record (group and value forms as they are), without the
    // delta time: for the channel voice, parameter change and seven-bit system exclusive kinds;
    // none for the meta events.
    std::optional<midicore::MIDIEvent> midiEvent() const;

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

// The file event of the same kind carrying `event`'s record unchanged (group and value forms
// included) with the given delta time; none for the kinds a track cannot hold: per-note
// controllers, pitch bend and management, eight-bit system exclusive, system common, real-time
// and utility messages.
std::optional<MIDIFileEvent> smfEvent(const midicore::MIDIEvent& event, DeltaTime delta);

// The position of an event kind in the declaration order of the event's cases, the number that
// hashing feeds: the kind's own position, except universalSysEx7 (16) and tempo, text and
// timeSignature (17, 18, 19).
size_t eventCaseIndex(MIDIFileEventType type);

}  // namespace midifile

template <>
struct std::hash<midifile::MIDIFileEvent> {
    size_t operator()(const midifile::MIDIFileEvent& event) const { return event.hash(); }
};
