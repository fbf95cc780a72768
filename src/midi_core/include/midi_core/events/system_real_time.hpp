// The system real-time messages (one status byte each; one packet word of message type 1) and the
// utility messages that exist only as Universal MIDI Packets (one word of message type 0: no-op,
// jitter-reduction clock and jitter-reduction timestamp). Nothing here fails or allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "midi_core/bytes.hpp"
#include "midi_core/events/system_common.hpp"
#include "midi_core/ump.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

using TimingClock = StatusOnlyMessage<0xF8>;
using Start = StatusOnlyMessage<0xFA>;
using Continue = StatusOnlyMessage<0xFB>;
using Stop = StatusOnlyMessage<0xFC>;
using ActiveSensing = StatusOnlyMessage<0xFE>;
using SystemReset = StatusOnlyMessage<0xFF>;
extern template struct StatusOnlyMessage<0xF8>;
extern template struct StatusOnlyMessage<0xFA>;
extern template struct StatusOnlyMessage<0xFB>;
extern template struct StatusOnlyMessage<0xFC>;
extern template struct StatusOnlyMessage<0xFE>;
extern template struct StatusOnlyMessage<0xFF>;

namespace detail {

// The packet word of a utility message: type 0, group, the status in bits 20-23, `time` in bits
// 0-15.
constexpr uint32_t utilityMessageWord(UInt4 group, MIDIUMPUtilityStatusField status,
                                      uint16_t time = 0) {
    return uInt32FromBytes(umpMessageTypeAndGroup(MIDIUMPMessageType::utility, group),
                           static_cast<uint8_t>(static_cast<uint8_t>(status) << 4), 0, 0) |
           time;
}

}  // namespace detail

struct NoOp {
    UInt4 group;

    constexpr NoOp() = default;
    constexpr explicit NoOp(UInt4 group) : group(group) {}

    constexpr UMPPacket umpRawWords() const {
        return UMPPacket{detail::utilityMessageWord(group, MIDIUMPUtilityStatusField::noOp)};
    }
    // "noOp(group: 0x5)".
    std::string description() const;

    friend constexpr bool operator==(const NoOp&, const NoOp&) = default;
    size_t hash() const { return group.hash(); }
};

// A jitter-reduction clock or timestamp: a 16-bit time the packet carries as it is.
template <MIDIUMPUtilityStatusField Status>
struct JRTimeMessage {
    uint16_t time = 0;
    UInt4 group;

    constexpr JRTimeMessage() = default;
    constexpr explicit JRTimeMessage(uint16_t time, UInt4 group = UInt4())
        : time(time), group(group) {}

    constexpr UMPPacket umpRawWords() const {
        return UMPPacket{detail::utilityMessageWord(group, Status, time)};
    }
    // "jrClock(4660, group: 0x2)", "jrTimestamp(65535, group: 0xF)".
    std::string description() const;

    friend constexpr bool operator==(const JRTimeMessage&, const JRTimeMessage&) = default;
    // The time, then the group.
    size_t hash() const { return std::hash<uint32_t>{}(uint32_t{time} << 4 | group.value()); }
};

using JRClock = JRTimeMessage<MIDIUMPUtilityStatusField::jrClock>;
using JRTimestamp = JRTimeMessage<MIDIUMPUtilityStatusField::jrTimestamp>;
extern template struct JRTimeMessage<MIDIUMPUtilityStatusField::jrClock>;
extern template struct JRTimeMessage<MIDIUMPUtilityStatusField::jrTimestamp>;

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::NoOp> {
    size_t operator()(const midicore::events::NoOp& m) const { return m.hash(); }
};
template <midicore::MIDIUMPUtilityStatusField Status>
struct std::hash<midicore::events::JRTimeMessage<Status>> {
    size_t operator()(const midicore::events::JRTimeMessage<Status>& m) const { return m.hash(); }
};
