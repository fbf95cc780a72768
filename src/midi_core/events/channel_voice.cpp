#include "midi_core/events/channel_voice.hpp"

#include "events/text.hpp"
#include "events/ump_words.hpp"
#include "hashing.hpp"

namespace midicore::events {

using midicore::detail::hashFields;

namespace {

bool isMIDI1(MIDIProtocolVersion protocol) {
    return protocol == MIDIProtocolVersion::_1_0;
}

// ", " after an attribute other than none; nothing for none.
std::string attributeText(const NoteAttribute& attribute) {
    if (attribute.attributeCase() == NoteAttribute::Case::none) return "";
    return attribute.description() + ", ";
}

// The MIDI 2.0 Note On / Note Off packet: note and attribute type, then velocity and data.
UMPPacket midi2NoteWords(uint8_t status, UInt4 group, UInt4 channel, const MIDINote& note,
                         const ChanVoice7Bit16BitValue& velocity, const NoteAttribute& attribute) {
    return {words::midi2ChannelVoice(group, status, channel, note.number.value(),
                                     attribute.attributeType()),
            uInt32FromHalves(velocity.midi2Value(), attribute.attributeData())};
}

}  // namespace

// --- NoteOn

uint8_t NoteOn::midi1RawStatusByte() const {
    const auto& v = velocity.value();
    const bool noteOff = v.valueCase() != ChanVoice7Bit16BitValue::Case::midi2 &&
                         v.midi1Value() == 0 && midi1ZeroVelocityAsNoteOff;
    return words::statusByte(noteOff ? 0x80 : 0x90, channel);
}

std::pair<UInt7, UInt7> NoteOn::midi1RawDataBytes() const {
    const auto& v = velocity.value();
    UInt7 byte = v.midi1Value();
    // A 16-bit velocity never turns a Note On into a Note Off.
    if (v.valueCase() == ChanVoice7Bit16BitValue::Case::midi2 && byte == 0) byte = UInt7(1);
    return {note.number, byte};
}

MIDI1Bytes NoteOn::midi1RawBytes() const {
    const auto [key, vel] = midi1RawDataBytes();
    return {midi1RawStatusByte(), key.value(), vel.value()};
}

UMPPacket NoteOn::umpRawWords(MIDIProtocolVersion protocol) const {
    if (isMIDI1(protocol)) {
        const auto [key, vel] = midi1RawDataBytes();
        return {
            uInt32FromBytes(umpMessageTypeAndGroup(MIDIUMPMessageType::midi1ChannelVoice, group),
                            midi1RawStatusByte(), key.value(), vel.value())};
    }
    return midi2NoteWords(0x90, group, channel, note, velocity.value(), attribute);
}

std::string NoteOn::description() const {
    return "noteOn(" + text::note(note) + "), vel: " + text::value(velocity.value()) + ", " +
           attributeText(attribute) + "chan: " + text::nibble(channel) +
           ", group: " + text::nibble(group) + ")";
}

size_t NoteOn::hash() const {
    return hashFields(note, velocity, attribute, channel, group);
}

bool operator==(const NoteOn& a, const NoteOn& b) {
    return a.note == b.note && a.velocity == b.velocity && a.attribute == b.attribute &&
           a.channel == b.channel && a.group == b.group;
}

// --- NoteOff

MIDI1Bytes NoteOff::midi1RawBytes() const {
    return {midi1RawStatusByte(), note.number.value(), velocity.value().midi1Value().value()};
}

UMPPacket NoteOff::umpRawWords(MIDIProtocolVersion protocol) const {
    if (isMIDI1(protocol)) {
        return {words::midi1ChannelVoice(group, 0x80, channel, note.number.value(),
                                         velocity.value().midi1Value().value())};
    }
    return midi2NoteWords(0x80, group, channel, note, velocity.value(), attribute);
}

std::string NoteOff::description() const {
    return "noteOff(" + text::note(note) + "), " + text::value(velocity.value()) + ", " +
           attributeText(attribute) + "chan: " + text::nibble(channel) +
           ", group: " + text::nibble(group) + ")";
}

size_t NoteOff::hash() const {
    return hashFields(note, velocity, attribute, channel, group);
}

// --- NotePressure

MIDI1Bytes NotePressure::midi1RawBytes() const {
    return {midi1RawStatusByte(), note.number.value(), amount.value().midi1Value().value()};
}

UMPPacket NotePressure::umpRawWords(MIDIProtocolVersion protocol) const {
    if (isMIDI1(protocol)) {
        return {words::midi1ChannelVoice(group, 0xA0, channel, note.number.value(),
                                         amount.value().midi1Value().value())};
    }
    return {words::midi2ChannelVoice(group, 0xA0, channel, note.number.value(), 0),
            amount.value().midi2Value()};
}

std::string NotePressure::description() const {
    return "notePressure(note: " + text::note(note) + "), amount: " + text::value(amount.value()) +
           text::channelAndGroup(channel, group);
}

size_t NotePressure::hash() const {
    return hashFields(note, amount, channel, group);
}

// --- NotePitchBend

UMPPacket NotePitchBend::umpRawWords() const {
    return {words::midi2ChannelVoice(group, 0x60, channel, note.number.value(), 0),
            value.value().midi2Value()};
}

std::string NotePitchBend::description() const {
    return "notePitchBend(note: " + text::note(note) + "), value: " + text::value(value.value()) +
           text::channelAndGroup(channel, group);
}

size_t NotePitchBend::hash() const {
    return hashFields(note, value, channel, group);
}

// --- PitchBend

MIDI1Bytes PitchBend::midi1RawBytes() const {
    const auto [lsb, msb] = midi1RawDataBytes();
    return {midi1RawStatusByte(), lsb.value(), msb.value()};
}

UMPPacket PitchBend::umpRawWords(MIDIProtocolVersion protocol) const {
    if (isMIDI1(protocol)) {
        const auto [lsb, msb] = midi1RawDataBytes();
        return {words::midi1ChannelVoice(group, 0xE0, channel, lsb.value(), msb.value())};
    }
    return {words::midi2ChannelVoice(group, 0xE0, channel, 0, 0), value.value().midi2Value()};
}

std::string PitchBend::description() const {
    return "pitchBend(" + text::value(value.value()) + text::channelAndGroup(channel, group);
}

size_t PitchBend::hash() const {
    return hashFields(value, channel, group);
}

// --- Pressure

MIDI1Bytes Pressure::midi1RawBytes() const {
    return {midi1RawStatusByte(), midi1RawDataByte().value()};
}

UMPPacket Pressure::umpRawWords(MIDIProtocolVersion protocol) const {
    if (isMIDI1(protocol)) {
        return {words::midi1ChannelVoice(group, 0xD0, channel, midi1RawDataByte().value(), 0)};
    }
    return {words::midi2ChannelVoice(group, 0xD0, channel, 0, 0), amount.value().midi2Value()};
}

std::string Pressure::description() const {
    return "pressure(amount: " + text::value(amount.value()) +
           text::channelAndGroup(channel, group);
}

size_t Pressure::hash() const {
    return hashFields(amount, channel, group);
}

// --- ProgramChange

MIDI1Bytes ProgramChange::midi1RawBytes() const {
    const uint8_t programChange[] = {midi1RawStatusByte(), program.value()};
    if (const auto number = bank.bankNumber()) {
        const auto [msb, lsb] = number->uInt7Pair();
        const uint8_t cc = words::statusByte(0xB0, channel);
        return {cc, 0x00, msb.value(), cc, 0x20, lsb.value(), programChange[0], programChange[1]};
    }
    return MIDI1Bytes(std::span<const uint8_t>(programChange));
}

UMPPacket ProgramChange::umpRawWords(MIDIProtocolVersion protocol) const {
    if (isMIDI1(protocol)) {
        return {words::midi1ChannelVoice(group, 0xC0, channel, program.value(), 0)};
    }
    const auto number = bank.bankNumber();
    const UInt7Pair bankBytes = number ? number->uInt7Pair() : UInt7Pair{};
    return {words::midi2ChannelVoice(group, 0xC0, channel, 0, number ? 0x01 : 0x00),
            uInt32FromBytes(program.value(), 0, bankBytes.msb.value(), bankBytes.lsb.value())};
}

std::string ProgramChange::description() const {
    std::string out = "prgChange(" + program.description();
    if (const auto number = bank.bankNumber()) out += ", bank: " + number->description();
    return out + text::channelAndGroup(channel, group);
}

size_t ProgramChange::hash() const {
    return hashFields(program, bank, channel, group);
}

}  // namespace midicore::events
