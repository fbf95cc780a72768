// Note and channel-voice event records: Note On and Off, polyphonic and channel pressure, channel
// and per-note pitch bend, program change with bank select. Each encodes itself to MIDI 1.0 bytes
// (per-note pitch bend has no MIDI 1.0 form) and to one Universal MIDI Packet: a one-word type-2
// message under the MIDI 1.0 protocol, a two-word type-4 message under MIDI 2.0.
//
// Value fields (velocity, amount, value) are `Validated` holders: construction stores the value
// unchanged, `set` and `modify` clamp a fraction into its interval.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "midi_core/chan_voice_values.hpp"
#include "midi_core/events/per_note.hpp"
#include "midi_core/midi_note.hpp"
#include "midi_core/protocol_version.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

// Note On. Equality and hashing leave out `midi1ZeroVelocityAsNoteOff`, which only steers the
// MIDI 1.0 form of a zero velocity.
struct NoteOn {
    MIDINote note;
    ChanVoice7Bit16BitValue::Validated velocity;
    NoteAttribute attribute;
    UInt4 channel;
    UInt4 group;
    bool midi1ZeroVelocityAsNoteOff;

    NoteOn(MIDINote note, ChanVoice7Bit16BitValue velocity,
           NoteAttribute attribute = NoteAttribute::none(), UInt4 channel = UInt4(0),
           UInt4 group = UInt4(0), bool midi1ZeroVelocityAsNoteOff = true)
        : note(note),
          velocity(velocity),
          attribute(attribute),
          channel(channel),
          group(group),
          midi1ZeroVelocityAsNoteOff(midi1ZeroVelocityAsNoteOff) {}

    // Status, note, velocity byte. A 16-bit velocity narrows to 7 bits with 0 sent as 1 and
    // always keeps status 0x90; a 7-bit or fractional velocity of 0 gives status 0x80 when
    // midi1ZeroVelocityAsNoteOff is set.
    MIDI1Bytes midi1RawBytes() const;
    // MIDI 1.0 protocol: the three bytes above in a type-2 word. MIDI 2.0: note and attribute
    // type, then the 16-bit velocity and the attribute data (no zero-velocity rule).
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    uint8_t midi1RawStatusByte() const;
    // (note, velocity byte).
    std::pair<UInt7, UInt7> midi1RawDataBytes() const;

    // "noteOn(60 (C3)), vel: midi1(64)/midi2(32768), chan: 0x0, group: 0x0)"; an attribute other
    // than none comes before the channel with ", " after it.
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NoteOn& a, const NoteOn& b);
};

struct NoteOff {
    MIDINote note;
    ChanVoice7Bit16BitValue::Validated velocity;
    NoteAttribute attribute;
    UInt4 channel;
    UInt4 group;

    NoteOff(MIDINote note, ChanVoice7Bit16BitValue velocity,
            NoteAttribute attribute = NoteAttribute::none(), UInt4 channel = UInt4(0),
            UInt4 group = UInt4(0))
        : note(note), velocity(velocity), attribute(attribute), channel(channel), group(group) {}

    // 0x80 + channel, note, velocity's 7 bits (a 16-bit velocity below 512 gives 0).
    MIDI1Bytes midi1RawBytes() const;
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    uint8_t midi1RawStatusByte() const { return static_cast<uint8_t>(0x80 | channel.value()); }
    std::pair<UInt7, UInt7> midi1RawDataBytes() const {
        return {note.number, velocity.value().midi1Value()};
    }

    // "noteOff(60 (C3)), midi1(0)/midi2(0), chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NoteOff&, const NoteOff&) = default;
};

// Polyphonic key pressure.
struct NotePressure {
    MIDINote note;
    ChanVoice7Bit32BitValue::Validated amount;
    UInt4 channel;
    UInt4 group;

    NotePressure(MIDINote note, ChanVoice7Bit32BitValue amount, UInt4 channel = UInt4(0),
                 UInt4 group = UInt4(0))
        : note(note), amount(amount), channel(channel), group(group) {}

    // 0xA0 + channel, note, amount's 7 bits.
    MIDI1Bytes midi1RawBytes() const;
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    uint8_t midi1RawStatusByte() const { return static_cast<uint8_t>(0xA0 | channel.value()); }
    std::pair<UInt7, UInt7> midi1RawDataBytes() const {
        return {note.number, amount.value().midi1Value()};
    }

    // "notePressure(note: 60 (C3)), amount: midi1(..)/midi2(..), chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NotePressure&, const NotePressure&) = default;
};

// MIDI 2.0 per-note pitch bend; no MIDI 1.0 form.
struct NotePitchBend {
    MIDINote note;
    ChanVoice32BitValue::Validated value;
    UInt4 channel;
    UInt4 group;

    NotePitchBend(MIDINote note, ChanVoice32BitValue value, UInt4 channel = UInt4(0),
                  UInt4 group = UInt4(0))
        : note(note), value(value), channel(channel), group(group) {}

    // One type-4 packet under either protocol: status 0x60, note; then the value's 32 bits.
    UMPPacket umpRawWords() const;

    // "notePitchBend(note: 60 (C3)), value: midi2(..), chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NotePitchBend&, const NotePitchBend&) = default;
};

// Channel pitch bend.
struct PitchBend {
    ChanVoice14Bit32BitValue::Validated value;
    UInt4 channel;
    UInt4 group;

    explicit PitchBend(ChanVoice14Bit32BitValue value, UInt4 channel = UInt4(0),
                       UInt4 group = UInt4(0))
        : value(value), channel(channel), group(group) {}

    // 0xE0 + channel, then the 14-bit value's low and high 7 bits.
    MIDI1Bytes midi1RawBytes() const;
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    uint8_t midi1RawStatusByte() const { return static_cast<uint8_t>(0xE0 | channel.value()); }
    // (LSB, MSB).
    std::pair<UInt7, UInt7> midi1RawDataBytes() const {
        return {UInt7::truncating(value.value().midi1Value().value()),
                UInt7::truncating(value.value().midi1Value().value() >> 7)};
    }

    // "pitchBend(midi1(8192)/midi2(2147483648), chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const PitchBend&, const PitchBend&) = default;
};

// Channel pressure.
struct Pressure {
    ChanVoice7Bit32BitValue::Validated amount;
    UInt4 channel;
    UInt4 group;

    explicit Pressure(ChanVoice7Bit32BitValue amount, UInt4 channel = UInt4(0),
                      UInt4 group = UInt4(0))
        : amount(amount), channel(channel), group(group) {}

    // 0xD0 + channel, amount's 7 bits.
    MIDI1Bytes midi1RawBytes() const;
    // MIDI 1.0 protocol: the amount in the third byte, 0 in the last.
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    uint8_t midi1RawStatusByte() const { return static_cast<uint8_t>(0xD0 | channel.value()); }
    UInt7 midi1RawDataByte() const { return amount.value().midi1Value(); }

    // "pressure(amount: midi1(..)/midi2(..), chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const Pressure&, const Pressure&) = default;
};

struct ProgramChange {
    // A bank select sent with the program change, or none.
    class Bank {
      public:
        enum class Case : uint8_t { bankSelect, noBankSelect };

        // The 14-bit bank number: MSB in bits 7-13, LSB in bits 0-6.
        static constexpr Bank bankSelect(UInt14 bank) { return Bank(bank); }
        static constexpr Bank bankSelect(UInt7 msb, UInt7 lsb) {
            return Bank(UInt14::fromUInt7Pair({msb, lsb}));
        }
        static constexpr Bank noBankSelect() { return Bank(std::nullopt); }

        constexpr Case bankCase() const { return bank_ ? Case::bankSelect : Case::noBankSelect; }
        // The bank number of `bankSelect`.
        constexpr std::optional<UInt14> bankNumber() const { return bank_; }

        size_t hash() const { return bank_ ? bank_->hash() + 1 : 0; }
        friend constexpr bool operator==(const Bank&, const Bank&) = default;

      private:
        constexpr explicit Bank(std::optional<UInt14> bank) : bank_(bank) {}
        std::optional<UInt14> bank_;
    };

    UInt7 program;
    Bank bank;
    UInt4 channel;
    UInt4 group;

    explicit ProgramChange(UInt7 program, Bank bank = Bank::noBankSelect(),
                           UInt4 channel = UInt4(0), UInt4 group = UInt4(0))
        : program(program), bank(bank), channel(channel), group(group) {}

    // 0xC0 + channel, program; with a bank, the bank select MSB (controller 0) and LSB
    // (controller 32) as two control changes first.
    MIDI1Bytes midi1RawBytes() const;
    // MIDI 1.0 protocol: the program change alone. MIDI 2.0: option bit 0 set with a bank; word 1
    // program << 24 with the bank's MSB and LSB in the low bytes.
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    // The program change's own status, also when bank select comes first.
    uint8_t midi1RawStatusByte() const { return static_cast<uint8_t>(0xC0 | channel.value()); }
    UInt7 midi1RawDataByte() const { return program; }

    // "prgChange(5, chan: 0x0, group: 0x0)" or "prgChange(5, bank: 16383, chan: ...)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const ProgramChange&, const ProgramChange&) = default;
};

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::NoteOn> {
    size_t operator()(const midicore::events::NoteOn& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NoteOff> {
    size_t operator()(const midicore::events::NoteOff& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NotePressure> {
    size_t operator()(const midicore::events::NotePressure& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NotePitchBend> {
    size_t operator()(const midicore::events::NotePitchBend& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::PitchBend> {
    size_t operator()(const midicore::events::PitchBend& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::Pressure> {
    size_t operator()(const midicore::events::Pressure& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::ProgramChange> {
    size_t operator()(const midicore::events::ProgramChange& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::ProgramChange::Bank> {
    size_t operator()(const midicore::events::ProgramChange::Bank& v) const { return v.hash(); }
};
