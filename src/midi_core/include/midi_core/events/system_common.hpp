// The system common messages: MIDI Timecode quarter frame (0xF1), song position pointer (0xF2),
// song select (0xF3), bus select (0xF5) and tune request (0xF6). Each record holds its data and
// its Universal MIDI Packet group (not part of the MIDI 1.0 bytes) and encodes itself as MIDI 1.0
// bytes and as one packet word of message type 1: type, group, status byte and up to two data
// bytes. The field types bound every value, so nothing here fails or allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "midi_core/bytes.hpp"
#include "midi_core/ump.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

namespace detail {

// The packet word of a system common or real-time message.
constexpr uint32_t systemMessageWord(UInt4 group, uint8_t status, uint8_t data1 = 0,
                                     uint8_t data2 = 0) {
    return uInt32FromBytes(umpMessageTypeAndGroup(MIDIUMPMessageType::systemRealTimeAndCommon, group),
                           status, data1, data2);
}

}  // namespace detail

// A message that is its status byte alone: the tune request and the six real-time messages
// (system_real_time.hpp). Each status byte is a type of its own.
template <uint8_t Status>
struct StatusOnlyMessage {
    UInt4 group;

    constexpr StatusOnlyMessage() = default;
    constexpr explicit StatusOnlyMessage(UInt4 group) : group(group) {}

    static constexpr uint8_t midi1RawStatusByte() { return Status; }
    MIDI1Bytes midi1RawBytes() const { return {Status}; }
    constexpr UMPPacket umpRawWords() const {
        return UMPPacket{detail::systemMessageWord(group, Status)};
    }
    // The event text, e.g. "timingClock(group: 0x0)".
    std::string description() const;

    friend constexpr bool operator==(const StatusOnlyMessage&, const StatusOnlyMessage&) = default;
    size_t hash() const { return group.hash(); }
};

using TuneRequest = StatusOnlyMessage<0xF6>;
extern template struct StatusOnlyMessage<0xF6>;

namespace detail {

// The encoders of the messages with one data byte; `Message` has `group` and gives the byte by
// midi1RawDataByte().
template <class Message, uint8_t Status>
struct OneDataByteMessage {
    static constexpr uint8_t midi1RawStatusByte() { return Status; }
    MIDI1Bytes midi1RawBytes() const { return {Status, dataByte().value()}; }
    constexpr UMPPacket umpRawWords() const {
        return UMPPacket{systemMessageWord(message().group, Status, dataByte().value())};
    }
    // The data byte, then the group.
    size_t hash() const {
        return std::hash<uint32_t>{}(uint32_t{dataByte().value()} << 4 | message().group.value());
    }

    friend constexpr bool operator==(const OneDataByteMessage&, const OneDataByteMessage&) = default;

  private:
    constexpr const Message& message() const { return static_cast<const Message&>(*this); }
    constexpr UInt7 dataByte() const { return message().midi1RawDataByte(); }
};

}  // namespace detail

// The whole quarter-frame data byte (piece index and value nibble, packed by the MIDI Timecode
// codec).
struct TimecodeQuarterFrame : detail::OneDataByteMessage<TimecodeQuarterFrame, 0xF1> {
    UInt7 dataByte;
    UInt4 group;

    constexpr TimecodeQuarterFrame() = default;
    constexpr explicit TimecodeQuarterFrame(UInt7 dataByte, UInt4 group = UInt4())
        : dataByte(dataByte), group(group) {}

    constexpr UInt7 midi1RawDataByte() const { return dataByte; }
    // "timecodeQF(0b00010010, group: 0x0)".
    std::string description() const;

    friend constexpr bool operator==(const TimecodeQuarterFrame&,
                                     const TimecodeQuarterFrame&) = default;
};

// The song position in MIDI beats (sixteenth notes), 0...16383.
struct SongPositionPointer {
    UInt14 midiBeat;
    UInt4 group;

    constexpr SongPositionPointer() = default;
    constexpr explicit SongPositionPointer(UInt14 midiBeat, UInt4 group = UInt4())
        : midiBeat(midiBeat), group(group) {}

    static constexpr uint8_t midi1RawStatusByte() { return 0xF2; }
    // (least significant 7 bits, most significant 7 bits), in the order they are sent.
    constexpr std::pair<UInt7, UInt7> midi1RawDataBytes() const {
        return {UInt7::truncating(midiBeat.value()), UInt7::truncating(midiBeat.value() >> 7)};
    }
    MIDI1Bytes midi1RawBytes() const {
        return {midi1RawStatusByte(), midi1RawDataBytes().first.value(),
                midi1RawDataBytes().second.value()};
    }
    constexpr UMPPacket umpRawWords() const {
        return UMPPacket{detail::systemMessageWord(group, midi1RawStatusByte(),
                                                   midi1RawDataBytes().first.value(),
                                                   midi1RawDataBytes().second.value())};
    }
    // "songPositionPointer(beat: 4660, group: 0x3)".
    std::string description() const;

    friend constexpr bool operator==(const SongPositionPointer&,
                                     const SongPositionPointer&) = default;
    // The beat, then the group.
    size_t hash() const {
        return std::hash<uint32_t>{}(uint32_t{midiBeat.value()} << 4 | group.value());
    }
};

struct SongSelect : detail::OneDataByteMessage<SongSelect, 0xF3> {
    UInt7 number;
    UInt4 group;

    constexpr SongSelect() = default;
    constexpr explicit SongSelect(UInt7 number, UInt4 group = UInt4())
        : number(number), group(group) {}

    constexpr UInt7 midi1RawDataByte() const { return number; }
    // "songSelect(number: 5, group: 0x0)".
    std::string description() const;

    friend constexpr bool operator==(const SongSelect&, const SongSelect&) = default;
};

// Bus select (0xF5): never adopted by the standard, but sent by some interfaces.
struct UnofficialBusSelect : detail::OneDataByteMessage<UnofficialBusSelect, 0xF5> {
    UInt7 bus;
    UInt4 group;

    constexpr UnofficialBusSelect() = default;
    constexpr explicit UnofficialBusSelect(UInt7 bus, UInt4 group = UInt4())
        : bus(bus), group(group) {}

    constexpr UInt7 midi1RawDataByte() const { return bus; }
    // "unofficialBusSelect(bus: 2, group: 0x0)".
    std::string description() const;

    friend constexpr bool operator==(const UnofficialBusSelect&,
                                     const UnofficialBusSelect&) = default;
};

}  // namespace midicore::events

template <uint8_t Status>
struct std::hash<midicore::events::StatusOnlyMessage<Status>> {
    size_t operator()(const midicore::events::StatusOnlyMessage<Status>& m) const {
        return m.hash();
    }
};
template <>
struct std::hash<midicore::events::TimecodeQuarterFrame> {
    size_t operator()(const midicore::events::TimecodeQuarterFrame& m) const { return m.hash(); }
};
template <>
struct std::hash<midicore::events::SongPositionPointer> {
    size_t operator()(const midicore::events::SongPositionPointer& m) const { return m.hash(); }
};
template <>
struct std::hash<midicore::events::SongSelect> {
    size_t operator()(const midicore::events::SongSelect& m) const { return m.hash(); }
};
template <>
struct std::hash<midicore::events::UnofficialBusSelect> {
    size_t operator()(const midicore::events::UnofficialBusSelect& m) const { return m.hash(); }
};
