// The fields of a Universal MIDI Packet word. The first word of every packet holds the message
// type in bits 28-31, the group in bits 24-27 and the status byte in bits 16-23 (for channel
// voice the status nibble in 20-23 and the channel in 16-19); bits 0-15 hold data bytes or
// message-specific fields. Bytes pack into words most significant byte first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "midi_core/unsigned_integer.hpp"

namespace midicore {

// Bits 28-31 of a packet's first word.
enum class MIDIUMPMessageType : uint8_t {
    utility = 0,
    systemRealTimeAndCommon = 1,
    midi1ChannelVoice = 2,
    data64bit = 3,  // seven-bit system exclusive
    midi2ChannelVoice = 4,
    data128bit = 5,  // eight-bit system exclusive
};

// The status of a system exclusive packet: a whole message, or its first, middle or last part.
enum class MIDIUMPSysExStatusField : uint8_t {
    complete = 0,
    start = 1,
    continue_ = 2,
    end = 3,
};

enum class MIDIUMPMixedDataSetStatusField : uint8_t {
    header = 8,
    payload = 9,
};

// Bits 20-23 of a utility word.
enum class MIDIUMPUtilityStatusField : uint8_t {
    noOp = 0,
    jrClock = 1,
    jrTimestamp = 2,
};

// Every case of a field enumeration, in order.
template <class Field>
struct UMPFieldCases;
template <>
struct UMPFieldCases<MIDIUMPMessageType> {
    using enum MIDIUMPMessageType;
    static constexpr std::array cases{utility,   systemRealTimeAndCommon, midi1ChannelVoice,
                                      data64bit, midi2ChannelVoice,       data128bit};
};
template <>
struct UMPFieldCases<MIDIUMPSysExStatusField> {
    using enum MIDIUMPSysExStatusField;
    static constexpr std::array cases{complete, start, continue_, end};
};
template <>
struct UMPFieldCases<MIDIUMPMixedDataSetStatusField> {
    using enum MIDIUMPMixedDataSetStatusField;
    static constexpr std::array cases{header, payload};
};
template <>
struct UMPFieldCases<MIDIUMPUtilityStatusField> {
    using enum MIDIUMPUtilityStatusField;
    static constexpr std::array cases{noOp, jrClock, jrTimestamp};
};

template <class Field>
concept UMPField = requires {
    UMPFieldCases<Field>::cases;
};

template <UMPField Field>
constexpr const auto& allCases() {
    return UMPFieldCases<Field>::cases;
}

template <UMPField Field>
constexpr UInt4 rawValue(Field field) {
    return UInt4::truncating(static_cast<uint8_t>(field));
}

// The case with the given raw value, none for any other.
template <UMPField Field>
constexpr std::optional<Field> fromRawValue(UInt4 raw) {
    for (Field field : allCases<Field>()) {
        if (rawValue(field) == raw) return field;
    }
    return std::nullopt;
}

// The byte holding message type and group: type x 16 + group.
constexpr uint8_t umpMessageTypeAndGroup(MIDIUMPMessageType type, UInt4 group) {
    return static_cast<uint8_t>(static_cast<uint8_t>(type) << 4 | group.value());
}

}  // namespace midicore
