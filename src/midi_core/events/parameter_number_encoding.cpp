// The encodings of registered and assignable parameters: one body for both kinds, over the four
// things a parameter provides (its kind, its controllers, its parameter number and its data-entry
// bytes). Defined here, after MIDIEvent, because the MIDI 1.0 form is a run of control-change
// events.
#include <array>
#include <cstddef>

#include "events/ump_words.hpp"
#include "midi_core/events/parameter_number.hpp"
#include "midi_core/midi_event.hpp"
#include "midi_core/scaling.hpp"

namespace midicore::events {

namespace {

// The control changes of a parameter: two, three or four (controller, value) pairs.
struct ControllerRun {
    struct Item {
        CC::Controller controller;
        UInt7 value;
    };
    std::array<Item, 4> items{Item{CC::Controller(UInt7(0)), UInt7(0)},
                              Item{CC::Controller(UInt7(0)), UInt7(0)},
                              Item{CC::Controller(UInt7(0)), UInt7(0)},
                              Item{CC::Controller(UInt7(0)), UInt7(0)}};
    size_t count = 0;

    void add(CC::Controller controller, UInt7 value) { items[count++] = {controller, value}; }
    const Item* begin() const { return items.data(); }
    const Item* end() const { return items.data() + count; }

    CC cc(const Item& item, UInt4 channel, UInt4 group) const {
        return CC(item.controller, ChanVoice7Bit32BitValue::midi1(item.value), channel, group);
    }
};

// Parameter MSB and LSB, then data entry MSB (6) and LSB (38), each only when present.
template <MIDIParameterNumber P>
ControllerRun controllerRun(const P& parameter) {
    ControllerRun run;
    const ParameterNumberControllers selectors = P::controllers();
    run.add(selectors.msb, parameter.parameterBytes().msb);
    run.add(selectors.lsb, parameter.parameterBytes().lsb);
    const DataEntryBytes data = parameter.dataEntryBytes();
    if (data.msb) run.add(CC::Controller::dataEntry(), *data.msb);
    if (data.lsb) run.add(CC::Controller::lsb(CC::Controller::LSB::dataEntry()), *data.lsb);
    return run;
}

template <MIDIParameterNumber P>
std::vector<MIDIEvent> midi1EventsOf(const P& parameter, UInt4 channel, UInt4 group) {
    const ControllerRun run = controllerRun(parameter);
    std::vector<MIDIEvent> events;
    events.reserve(run.count);
    for (const auto& item : run) events.emplace_back(run.cc(item, channel, group));
    return events;
}

template <MIDIParameterNumber P>
MIDI1Bytes midi1RawBytesOf(const P& parameter, UInt4 channel, UInt4 group) {
    const ControllerRun run = controllerRun(parameter);
    MIDI1Bytes bytes;
    for (const auto& item : run) bytes.append(run.cc(item, channel, group).midi1RawBytes());
    return bytes;
}

template <MIDIParameterNumber P>
UMPPackets umpRawWordsOf(const P& parameter, MIDIProtocolVersion protocol,
                         MIDI2ParameterNumberChange change, UInt4 channel, UInt4 group) {
    UMPPackets packets;
    if (protocol == MIDIProtocolVersion::_1_0) {
        const ControllerRun run = controllerRun(parameter);
        for (const auto& item : run) {
            packets.push_back(run.cc(item, channel, group).umpRawWords(protocol));
        }
        return packets;
    }
    const UInt7Pair number = parameter.parameterBytes();
    const DataEntryBytes data = parameter.dataEntryBytes();
    const uint8_t status = static_cast<uint8_t>(
        MIDIParameterNumberUtils::umpStatus(P::type, change).value() << 4);
    // An absent half counts as 0 in the fixed-width field.
    const UInt14 value = UInt14::fromUInt7Pair({data.msb.value_or(UInt7(0)), data.lsb.value_or(UInt7(0))});
    packets.push_back(UMPPacket{
        words::midi2ChannelVoice(group, status, channel, number.msb.value(), number.lsb.value()),
        upscaledUInt32FromUInt14(value)});
    return packets;
}

}  // namespace

std::vector<MIDIEvent> RegisteredController::midi1Events(UInt4 channel, UInt4 group) const {
    return midi1EventsOf(*this, channel, group);
}
MIDI1Bytes RegisteredController::midi1RawBytes(UInt4 channel, UInt4 group) const {
    return midi1RawBytesOf(*this, channel, group);
}
UMPPackets RegisteredController::umpRawWords(MIDIProtocolVersion protocol,
                                             MIDI2ParameterNumberChange change, UInt4 channel,
                                             UInt4 group) const {
    return umpRawWordsOf(*this, protocol, change, channel, group);
}

std::vector<MIDIEvent> AssignableController::midi1Events(UInt4 channel, UInt4 group) const {
    return midi1EventsOf(*this, channel, group);
}
MIDI1Bytes AssignableController::midi1RawBytes(UInt4 channel, UInt4 group) const {
    return midi1RawBytesOf(*this, channel, group);
}
UMPPackets AssignableController::umpRawWords(MIDIProtocolVersion protocol,
                                             MIDI2ParameterNumberChange change, UInt4 channel,
                                             UInt4 group) const {
    return umpRawWordsOf(*this, protocol, change, channel, group);
}

MIDI1Bytes RPN::midi1RawBytes() const { return parameter.midi1RawBytes(channel, group); }
UMPPackets RPN::umpRawWords(MIDIProtocolVersion protocol) const {
    return parameter.umpRawWords(protocol, change, channel, group);
}

MIDI1Bytes NRPN::midi1RawBytes() const { return parameter.midi1RawBytes(channel, group); }
UMPPackets NRPN::umpRawWords(MIDIProtocolVersion protocol) const {
    return parameter.umpRawWords(protocol, change, channel, group);
}

}  // namespace midicore::events
