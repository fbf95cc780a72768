#include "midi_core/midi_event.hpp"

#include <array>

#include "hashing.hpp"

namespace midicore {

namespace {

using namespace events;

template <class P>
constexpr bool isStatusOnly = false;
template <uint8_t Status>
constexpr bool isStatusOnly<StatusOnlyMessage<Status>> = true;

constexpr std::array<std::string_view, MIDIEvent::caseCount> caseNames{
#define MIDICORE_X(index, name, Record) std::string_view(#name),
    MIDICORE_MIDI_EVENT_CASES(MIDICORE_X)
#undef MIDICORE_X
};

}  // namespace

// --- Factories.

MIDIEvent MIDIEvent::noteOn(MIDINote note, ChanVoice7Bit16BitValue velocity,
                            NoteAttribute attribute, UInt4 channel, UInt4 group,
                            bool midi1ZeroVelocityAsNoteOff) {
    return NoteOn(note, velocity, attribute, channel, group, midi1ZeroVelocityAsNoteOff);
}
MIDIEvent MIDIEvent::noteOff(MIDINote note, ChanVoice7Bit16BitValue velocity,
                             NoteAttribute attribute, UInt4 channel, UInt4 group) {
    return NoteOff(note, velocity, attribute, channel, group);
}
MIDIEvent MIDIEvent::noteCC(MIDINote note, NoteCC::PerNoteController controller,
                            ChanVoice32BitValue value, UInt4 channel, UInt4 group) {
    return NoteCC(note, controller, value, channel, group);
}
MIDIEvent MIDIEvent::notePitchBend(MIDINote note, ChanVoice32BitValue value, UInt4 channel,
                                   UInt4 group) {
    return NotePitchBend(note, value, channel, group);
}
MIDIEvent MIDIEvent::notePressure(MIDINote note, ChanVoice7Bit32BitValue amount, UInt4 channel,
                                  UInt4 group) {
    return NotePressure(note, amount, channel, group);
}
MIDIEvent MIDIEvent::noteManagement(MIDINote note, NoteManagement::OptionFlags optionFlags,
                                    UInt4 channel, UInt4 group) {
    return NoteManagement(note, optionFlags, channel, group);
}
MIDIEvent MIDIEvent::cc(CC::Controller controller, ChanVoice7Bit32BitValue value, UInt4 channel,
                        UInt4 group) {
    return CC(controller, value, channel, group);
}
MIDIEvent MIDIEvent::cc(UInt7 controller, ChanVoice7Bit32BitValue value, UInt4 channel,
                        UInt4 group) {
    return CC(controller, value, channel, group);
}
MIDIEvent MIDIEvent::programChange(UInt7 program, ProgramChange::Bank bank, UInt4 channel,
                                   UInt4 group) {
    return ProgramChange(program, bank, channel, group);
}
MIDIEvent MIDIEvent::pitchBend(ChanVoice14Bit32BitValue value, UInt4 channel, UInt4 group) {
    return PitchBend(value, channel, group);
}
MIDIEvent MIDIEvent::pressure(ChanVoice7Bit32BitValue amount, UInt4 channel, UInt4 group) {
    return Pressure(amount, channel, group);
}

// The parameter-number factories of both kinds: a received pair and data decoded into the
// parameter; 14-bit data split into both halves; 32-bit data narrowed to 14 bits first.
namespace {

template <class Record>
MIDIEvent parameterNumberEvent(UInt7Pair parameter, std::optional<UInt7> msb,
                               std::optional<UInt7> lsb, MIDI2ParameterNumberChange change,
                               UInt4 channel, UInt4 group) {
    using Parameter = decltype(Record::parameter);
    return Record(Parameter::fromParameter(parameter, msb, lsb), change, channel, group);
}

template <class Record>
MIDIEvent parameterNumberEvent(UInt7Pair parameter, UInt14 data,
                               MIDI2ParameterNumberChange change, UInt4 channel, UInt4 group) {
    const UInt7Pair halves = data.uInt7Pair();
    return parameterNumberEvent<Record>(parameter, halves.msb, halves.lsb, change, channel, group);
}

UInt14 narrowed(uint32_t data) { return UInt14::truncating(data >> 18); }

}  // namespace

MIDIEvent MIDIEvent::rpn(RegisteredController parameter, MIDI2ParameterNumberChange change,
                         UInt4 channel, UInt4 group) {
    return RPN(parameter, change, channel, group);
}
MIDIEvent MIDIEvent::rpn(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                         std::optional<UInt7> dataEntryLSB, MIDI2ParameterNumberChange change,
                         UInt4 channel, UInt4 group) {
    return parameterNumberEvent<RPN>(parameter, dataEntryMSB, dataEntryLSB, change, channel, group);
}
MIDIEvent MIDIEvent::rpn(UInt7Pair parameter, UInt14 data, MIDI2ParameterNumberChange change,
                         UInt4 channel, UInt4 group) {
    return parameterNumberEvent<RPN>(parameter, data, change, channel, group);
}
MIDIEvent MIDIEvent::rpn(UInt7Pair parameter, uint32_t data, MIDI2ParameterNumberChange change,
                         UInt4 channel, UInt4 group) {
    return parameterNumberEvent<RPN>(parameter, narrowed(data), change, channel, group);
}
MIDIEvent MIDIEvent::nrpn(AssignableController parameter, MIDI2ParameterNumberChange change,
                          UInt4 channel, UInt4 group) {
    return NRPN(parameter, change, channel, group);
}
MIDIEvent MIDIEvent::nrpn(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                          std::optional<UInt7> dataEntryLSB, MIDI2ParameterNumberChange change,
                          UInt4 channel, UInt4 group) {
    return parameterNumberEvent<NRPN>(parameter, dataEntryMSB, dataEntryLSB, change, channel, group);
}
MIDIEvent MIDIEvent::nrpn(UInt7Pair parameter, UInt14 data, MIDI2ParameterNumberChange change,
                          UInt4 channel, UInt4 group) {
    return parameterNumberEvent<NRPN>(parameter, data, change, channel, group);
}
MIDIEvent MIDIEvent::nrpn(UInt7Pair parameter, uint32_t data, MIDI2ParameterNumberChange change,
                          UInt4 channel, UInt4 group) {
    return parameterNumberEvent<NRPN>(parameter, narrowed(data), change, channel, group);
}

MIDIEvent MIDIEvent::sysEx7(SysExManufacturer manufacturer, std::vector<uint8_t> data,
                            UInt4 group) {
    return SysEx7(manufacturer, std::move(data), group);
}
MIDIEvent MIDIEvent::sysEx7(SysExManufacturer manufacturer, std::span<const UInt7> data,
                            UInt4 group) {
    return SysEx7(manufacturer, data, group);
}
MIDIEvent MIDIEvent::universalSysEx7(UniversalSysExType universalType, UInt7 deviceID,
                                     UInt7 subID1, UInt7 subID2, std::vector<uint8_t> data,
                                     UInt4 group) {
    return UniversalSysEx7(universalType, deviceID, subID1, subID2, std::move(data), group);
}
MIDIEvent MIDIEvent::universalSysEx7(UniversalSysExType universalType, UInt7 deviceID,
                                     UInt7 subID1, UInt7 subID2, std::span<const UInt7> data,
                                     UInt4 group) {
    return UniversalSysEx7(universalType, deviceID, subID1, subID2, data, group);
}
MIDIEvent MIDIEvent::universalSysEx7IdentityRequest(UInt7 deviceID, UInt4 group) {
    UniversalSysEx7 request = UniversalSysEx7::identityRequest(deviceID);
    request.group = group;
    return request;
}
MIDIEvent MIDIEvent::universalSysEx7IdentityReply(UInt7 deviceID, SysExManufacturer manufacturer,
                                                  UInt14 family, UInt14 model,
                                                  std::array<UInt7, 4> softwareRevision,
                                                  UInt4 group) {
    UniversalSysEx7 reply =
        UniversalSysEx7::identityReply(deviceID, manufacturer, family, model, softwareRevision);
    reply.group = group;
    return reply;
}
MIDIEvent MIDIEvent::sysEx8(SysExManufacturer manufacturer, std::vector<uint8_t> data,
                            UInt4 group) {
    return SysEx8(manufacturer, std::move(data), group);
}
MIDIEvent MIDIEvent::universalSysEx8(UniversalSysExType universalType, UInt7 deviceID,
                                     UInt7 subID1, UInt7 subID2, std::vector<uint8_t> data,
                                     UInt4 group) {
    return UniversalSysEx8(universalType, deviceID, subID1, subID2, std::move(data), group);
}

MIDIEvent MIDIEvent::timecodeQuarterFrame(UInt7 dataByte, UInt4 group) {
    return TimecodeQuarterFrame(dataByte, group);
}
MIDIEvent MIDIEvent::songPositionPointer(UInt14 midiBeat, UInt4 group) {
    return SongPositionPointer(midiBeat, group);
}
MIDIEvent MIDIEvent::songSelect(UInt7 number, UInt4 group) { return SongSelect(number, group); }
MIDIEvent MIDIEvent::unofficialBusSelect(UInt7 bus, UInt4 group) {
    return UnofficialBusSelect(bus, group);
}
MIDIEvent MIDIEvent::tuneRequest(UInt4 group) { return TuneRequest(group); }
MIDIEvent MIDIEvent::timingClock(UInt4 group) { return TimingClock(group); }
MIDIEvent MIDIEvent::start(UInt4 group) { return Start(group); }
MIDIEvent MIDIEvent::continue_(UInt4 group) { return Continue(group); }
MIDIEvent MIDIEvent::stop(UInt4 group) { return Stop(group); }
MIDIEvent MIDIEvent::activeSensing(UInt4 group) { return ActiveSensing(group); }
MIDIEvent MIDIEvent::systemReset(UInt4 group) { return SystemReset(group); }
MIDIEvent MIDIEvent::noOp(UInt4 group) { return NoOp(group); }
MIDIEvent MIDIEvent::jrClock(uint16_t time, UInt4 group) { return JRClock(time, group); }
MIDIEvent MIDIEvent::jrTimestamp(uint16_t time, UInt4 group) { return JRTimestamp(time, group); }

// --- Reading.

std::string_view MIDIEvent::caseName(Case c) {
    const std::string_view name = caseNames[static_cast<size_t>(c)];
    // The keyword case carries a trailing underscore only in code.
    return name.ends_with('_') ? name.substr(0, name.size() - 1) : name;
}

std::optional<UInt4> MIDIEvent::channel() const {
    return visit([](const auto& p) -> std::optional<UInt4> {
        if constexpr (requires { p.channel; }) {
            return p.channel;
        } else {
            return std::nullopt;
        }
    });
}

UInt4 MIDIEvent::group() const {
    return visit([](const auto& p) { return p.group; });
}

// --- Encoding.

MIDI1Bytes MIDIEvent::midi1RawBytes() const {
    return visit([](const auto& p) -> MIDI1Bytes {
        if constexpr (requires { p.midi1RawBytes(); }) {
            return p.midi1RawBytes();
        } else {
            return {};
        }
    });
}

UMPPackets MIDIEvent::umpRawWords(MIDIProtocolVersion protocol) const {
    return visit([protocol](const auto& p) -> UMPPackets {
        const auto words = [&] {
            if constexpr (requires { p.umpRawWords(protocol); }) {
                return p.umpRawWords(protocol);
            } else {
                return p.umpRawWords();
            }
        }();
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(words)>, UMPPacket>) {
            UMPPackets packets;
            packets.push_back(words);
            return packets;
        } else {
            return words;
        }
    });
}

std::optional<uint8_t> MIDIEvent::midi1RawStatusByte() const {
    return visit([](const auto& p) -> std::optional<uint8_t> {
        if constexpr (requires { p.midi1RawStatusByte(); }) {
            return p.midi1RawStatusByte();
        } else {
            return std::nullopt;
        }
    });
}

std::optional<MIDIEvent::DataBytes> MIDIEvent::midi1RawDataBytes() const {
    return visit([](const auto& p) -> std::optional<DataBytes> {
        using P = std::remove_cvref_t<decltype(p)>;
        if constexpr (requires { p.midi1RawDataBytes(); }) {
            const auto [first, second] = p.midi1RawDataBytes();
            return DataBytes{first, second};
        } else if constexpr (requires { p.midi1RawDataByte(); }) {
            return DataBytes{p.midi1RawDataByte(), std::nullopt};
        } else if constexpr (isStatusOnly<P>) {
            return DataBytes{};
        } else {
            return std::nullopt;
        }
    });
}

// --- Text and hashing.

std::string MIDIEvent::description() const {
    return visit([](const auto& p) { return p.description(); });
}

size_t MIDIEvent::hash() const {
    return midicore::detail::hashCombine(std::hash<size_t>{}(payload_.index()),
                                         visit([](const auto& p) { return p.hash(); }));
}

}  // namespace midicore
