// MIDIEvent: one MIDI 1.0 or MIDI 2.0 message as a value. It holds exactly one of 30 payload
// records (midi_core/events/*.hpp) in a std::variant whose alternative index is the event's case
// index; the kinds are contiguous index ranges (channel voice 0-11, system exclusive 12-15,
// system common 16-20, system real time 21-26, utility 27-29), which the filters rely on.
//
//     auto on = MIDIEvent::noteOn(UInt7(60), ChanVoice7Bit16BitValue::midi1(UInt7(100)));
//     MIDI1Bytes bytes = on.midi1RawBytes();                        // 90 3C 64, no allocation
//     UMPPackets packets = on.umpRawWords(MIDIProtocolVersion::_2_0);
//     if (auto* noteOn = on.getIf<MIDIEvent::NoteOn>()) { ... }
//
// Events are built by the static factories (one or more per case, arguments as the records'
// constructors take them) or from a record directly (MIDIEvent(events::CC(...))). Equality is the
// same case with equal payloads; hashing feeds the case index, then the payload's own hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "midi_core/chan_voice_values.hpp"
#include "midi_core/events/channel_voice.hpp"
#include "midi_core/events/control_change.hpp"
#include "midi_core/events/filter_types.hpp"
#include "midi_core/events/parameter_number.hpp"
#include "midi_core/events/per_note.hpp"
#include "midi_core/events/sysex7.hpp"
#include "midi_core/events/sysex8.hpp"
#include "midi_core/events/sysex_id.hpp"
#include "midi_core/events/system_common.hpp"
#include "midi_core/events/system_real_time.hpp"
#include "midi_core/midi_note.hpp"
#include "midi_core/parse_error.hpp"
#include "midi_core/protocol_version.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore {

// The 30 cases in index order: index, case name, payload record.
#define MIDICORE_MIDI_EVENT_CASES(X)                        \
    X(0, noteOn, events::NoteOn)                            \
    X(1, noteOff, events::NoteOff)                          \
    X(2, noteCC, events::NoteCC)                            \
    X(3, notePitchBend, events::NotePitchBend)              \
    X(4, notePressure, events::NotePressure)                \
    X(5, noteManagement, events::NoteManagement)            \
    X(6, cc, events::CC)                                    \
    X(7, programChange, events::ProgramChange)              \
    X(8, pitchBend, events::PitchBend)                      \
    X(9, pressure, events::Pressure)                        \
    X(10, rpn, events::RPN)                                 \
    X(11, nrpn, events::NRPN)                               \
    X(12, sysEx7, events::SysEx7)                           \
    X(13, universalSysEx7, events::UniversalSysEx7)         \
    X(14, sysEx8, events::SysEx8)                           \
    X(15, universalSysEx8, events::UniversalSysEx8)         \
    X(16, timecodeQuarterFrame, events::TimecodeQuarterFrame) \
    X(17, songPositionPointer, events::SongPositionPointer) \
    X(18, songSelect, events::SongSelect)                   \
    X(19, unofficialBusSelect, events::UnofficialBusSelect) \
    X(20, tuneRequest, events::TuneRequest)                 \
    X(21, timingClock, events::TimingClock)                 \
    X(22, start, events::Start)                             \
    X(23, continue_, events::Continue)                      \
    X(24, stop, events::Stop)                               \
    X(25, activeSensing, events::ActiveSensing)             \
    X(26, systemReset, events::SystemReset)                 \
    X(27, noOp, events::NoOp)                               \
    X(28, jrClock, events::JRClock)                         \
    X(29, jrTimestamp, events::JRTimestamp)

class MIDIEvent {
  public:
    // The payload records and the types they are made of, by their names in the event.
    using NoteOn = events::NoteOn;
    using NoteOff = events::NoteOff;
    using NoteCC = events::NoteCC;
    using NotePitchBend = events::NotePitchBend;
    using NotePressure = events::NotePressure;
    using NoteManagement = events::NoteManagement;
    using CC = events::CC;
    using ProgramChange = events::ProgramChange;
    using PitchBend = events::PitchBend;
    using Pressure = events::Pressure;
    using RPN = events::RPN;
    using NRPN = events::NRPN;
    using SysEx7 = events::SysEx7;
    using UniversalSysEx7 = events::UniversalSysEx7;
    using SysEx8 = events::SysEx8;
    using UniversalSysEx8 = events::UniversalSysEx8;
    using TimecodeQuarterFrame = events::TimecodeQuarterFrame;
    using SongPositionPointer = events::SongPositionPointer;
    using SongSelect = events::SongSelect;
    using UnofficialBusSelect = events::UnofficialBusSelect;
    using TuneRequest = events::TuneRequest;
    using TimingClock = events::TimingClock;
    using Start = events::Start;
    using Continue = events::Continue;
    using Stop = events::Stop;
    using ActiveSensing = events::ActiveSensing;
    using SystemReset = events::SystemReset;
    using NoOp = events::NoOp;
    using JRClock = events::JRClock;
    using JRTimestamp = events::JRTimestamp;

    using NoteAttribute = events::NoteAttribute;
    using RegisteredController = events::RegisteredController;
    using AssignableController = events::AssignableController;
    using DataEntryBytes = events::DataEntryBytes;
    using SysExManufacturer = events::SysExManufacturer;
    using SysExID = events::SysExID;
    using UniversalSysExType = events::UniversalSysExType;
    using SysEx7Data = events::SysEx7Data;
    using ParseError = MIDIEventParseError;
    using ChanVoice7Bit16BitValue = midicore::ChanVoice7Bit16BitValue;
    using ChanVoice7Bit32BitValue = midicore::ChanVoice7Bit32BitValue;
    using ChanVoice14Bit32BitValue = midicore::ChanVoice14Bit32BitValue;
    using ChanVoice32BitValue = midicore::ChanVoice32BitValue;

    // The event types of each kind and the filter specifications (midi_core/event_filter.hpp).
    using ChanVoiceType = events::ChanVoiceType;
    using SysExType = events::SysExType;
    using SysCommonType = events::SysCommonType;
    using SysRealTimeType = events::SysRealTimeType;
    using UtilityType = events::UtilityType;
    template <class Type>
    using TypeSet = events::TypeSet<Type>;
    using NoteRange = events::NoteRange;
    using ChanVoiceTypes = events::ChanVoiceTypes;
    using SysExTypes = events::SysExTypes;
    using SysCommonTypes = events::SysCommonTypes;
    using SysRealTimeTypes = events::SysRealTimeTypes;
    using UtilityTypes = events::UtilityTypes;

    enum class Case : uint8_t {
#define MIDICORE_X(index, name, Record) name = index,
        MIDICORE_MIDI_EVENT_CASES(MIDICORE_X)
#undef MIDICORE_X
    };
    static constexpr size_t caseCount = 30;

    enum class Kind : uint8_t { channelVoice, systemExclusive, systemCommon, systemRealTime, utility };

    // The alternatives in case order; the static_asserts after the class check every index.
    using Payload = std::variant<
        events::NoteOn, events::NoteOff, events::NoteCC, events::NotePitchBend,
        events::NotePressure, events::NoteManagement, events::CC, events::ProgramChange,
        events::PitchBend, events::Pressure, events::RPN, events::NRPN, events::SysEx7,
        events::UniversalSysEx7, events::SysEx8, events::UniversalSysEx8,
        events::TimecodeQuarterFrame, events::SongPositionPointer, events::SongSelect,
        events::UnofficialBusSelect, events::TuneRequest, events::TimingClock, events::Start,
        events::Continue, events::Stop, events::ActiveSensing, events::SystemReset, events::NoOp,
        events::JRClock, events::JRTimestamp>;

    // The case of the payload record type P.
    template <class P>
    static constexpr Case caseOf();

    // Wraps a payload record in its case.
    template <class P>
        requires(!std::is_same_v<std::remove_cvref_t<P>, MIDIEvent> &&
                 std::is_constructible_v<Payload, P &&>)
    MIDIEvent(P&& payload) : payload_(std::forward<P>(payload)) {}

    // --- Channel voice. A note given as UInt7 is stored as a MIDINote of the default style.
    static MIDIEvent noteOn(MIDINote note, ChanVoice7Bit16BitValue velocity,
                            NoteAttribute attribute = NoteAttribute::none(),
                            UInt4 channel = UInt4(0), UInt4 group = UInt4(0),
                            bool midi1ZeroVelocityAsNoteOff = true);
    static MIDIEvent noteOff(MIDINote note, ChanVoice7Bit16BitValue velocity,
                             NoteAttribute attribute = NoteAttribute::none(),
                             UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent noteCC(MIDINote note, NoteCC::PerNoteController controller,
                            ChanVoice32BitValue value, UInt4 channel = UInt4(0),
                            UInt4 group = UInt4(0));
    static MIDIEvent notePitchBend(MIDINote note, ChanVoice32BitValue value,
                                   UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    // Polyphonic key pressure.
    static MIDIEvent notePressure(MIDINote note, ChanVoice7Bit32BitValue amount,
                                  UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent noteManagement(MIDINote note, NoteManagement::OptionFlags optionFlags,
                                    UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent cc(CC::Controller controller, ChanVoice7Bit32BitValue value,
                        UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    // The number becomes its controller first.
    static MIDIEvent cc(UInt7 controller, ChanVoice7Bit32BitValue value, UInt4 channel = UInt4(0),
                        UInt4 group = UInt4(0));
    static MIDIEvent programChange(UInt7 program,
                                   ProgramChange::Bank bank = ProgramChange::Bank::noBankSelect(),
                                   UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent pitchBend(ChanVoice14Bit32BitValue value, UInt4 channel = UInt4(0),
                               UInt4 group = UInt4(0));
    // Channel pressure.
    static MIDIEvent pressure(ChanVoice7Bit32BitValue amount, UInt4 channel = UInt4(0),
                              UInt4 group = UInt4(0));

    static MIDIEvent rpn(RegisteredController parameter,
                         MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                         UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    // The pair and data decoded as a received parameter (known pairs to their named cases,
    // (127, 127) to null, the rest raw).
    static MIDIEvent rpn(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                         std::optional<UInt7> dataEntryLSB,
                         MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                         UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    // 14-bit data: MSB = data >> 7, LSB = data & 0x7F, both present.
    static MIDIEvent rpn(UInt7Pair parameter, UInt14 data,
                         MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                         UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    // 32-bit data: narrowed to its top 14 bits (data >> 18) first.
    static MIDIEvent rpn(UInt7Pair parameter, uint32_t data,
                         MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                         UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent nrpn(AssignableController parameter,
                          MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                          UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    // (127, 127) gives the null parameter (data dropped), anything else raw.
    static MIDIEvent nrpn(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                          std::optional<UInt7> dataEntryLSB,
                          MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                          UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent nrpn(UInt7Pair parameter, UInt14 data,
                          MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                          UInt4 channel = UInt4(0), UInt4 group = UInt4(0));
    static MIDIEvent nrpn(UInt7Pair parameter, uint32_t data,
                          MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                          UInt4 channel = UInt4(0), UInt4 group = UInt4(0));

    // --- System exclusive. The byte forms throw ParseError (malformed) for a data byte of 0x80
    // or more; the UInt7 forms never fail.
    static MIDIEvent sysEx7(SysExManufacturer manufacturer, std::vector<uint8_t> data,
                            UInt4 group = UInt4(0));
    static MIDIEvent sysEx7(SysExManufacturer manufacturer, std::span<const UInt7> data,
                            UInt4 group = UInt4(0));
    static MIDIEvent universalSysEx7(UniversalSysExType universalType, UInt7 deviceID,
                                     UInt7 subID1, UInt7 subID2, std::vector<uint8_t> data,
                                     UInt4 group = UInt4(0));
    static MIDIEvent universalSysEx7(UniversalSysExType universalType, UInt7 deviceID,
                                     UInt7 subID1, UInt7 subID2, std::span<const UInt7> data,
                                     UInt4 group = UInt4(0));
    // Device Inquiry: F0 7E deviceID 06 01 F7.
    static MIDIEvent universalSysEx7IdentityRequest(UInt7 deviceID, UInt4 group = UInt4(0));
    // F0 7E deviceID 06 02, the manufacturer's ID, family and model (LSB first), four revision
    // bytes, F7.
    static MIDIEvent universalSysEx7IdentityReply(UInt7 deviceID, SysExManufacturer manufacturer,
                                                  UInt14 family, UInt14 model,
                                                  std::array<UInt7, 4> softwareRevision,
                                                  UInt4 group = UInt4(0));
    // Stream ID 0; any byte values.
    static MIDIEvent sysEx8(SysExManufacturer manufacturer, std::vector<uint8_t> data,
                            UInt4 group = UInt4(0));
    static MIDIEvent universalSysEx8(UniversalSysExType universalType, UInt7 deviceID,
                                     UInt7 subID1, UInt7 subID2, std::vector<uint8_t> data,
                                     UInt4 group = UInt4(0));

    // --- Parsers of received System Exclusive messages; they throw ParseError: rawBytesEmpty
    // for no input, malformed for everything else that breaks the format.
    //
    // One complete MIDI 1.0 message, F0 first, the final F7 optional. Gives sysEx7, or
    // universalSysEx7 when the byte after F0 is 0x7E or 0x7F.
    static MIDIEvent sysEx7FromRawBytes(std::span<const uint8_t> rawBytes, UInt4 group = UInt4(0));
    // The same message as hexadecimal text: white space and line breaks anywhere are ignored,
    // the rest read as pairs of hex digits ("F0 41 10 42 12 F7", "f041104212").
    static MIDIEvent sysEx7FromRawHexString(std::string_view rawHexString, UInt4 group = UInt4(0));
    // One reassembled 8-bit message: stream ID, the two-byte ID field, then (universal) device
    // ID, sub-ID 1, sub-ID 2, and the data as they are. Gives sysEx8 or universalSysEx8.
    static MIDIEvent sysEx8FromRawBytes(std::span<const uint8_t> rawBytes, UInt4 group = UInt4(0));

    // --- System common, real time, utility.
    static MIDIEvent timecodeQuarterFrame(UInt7 dataByte, UInt4 group = UInt4(0));
    static MIDIEvent songPositionPointer(UInt14 midiBeat, UInt4 group = UInt4(0));
    static MIDIEvent songSelect(UInt7 number, UInt4 group = UInt4(0));
    static MIDIEvent unofficialBusSelect(UInt7 bus, UInt4 group = UInt4(0));
    static MIDIEvent tuneRequest(UInt4 group = UInt4(0));
    static MIDIEvent timingClock(UInt4 group = UInt4(0));
    static MIDIEvent start(UInt4 group = UInt4(0));
    static MIDIEvent continue_(UInt4 group = UInt4(0));
    static MIDIEvent stop(UInt4 group = UInt4(0));
    static MIDIEvent activeSensing(UInt4 group = UInt4(0));
    static MIDIEvent systemReset(UInt4 group = UInt4(0));
    static MIDIEvent noOp(UInt4 group = UInt4(0));
    static MIDIEvent jrClock(uint16_t time, UInt4 group = UInt4(0));
    static MIDIEvent jrTimestamp(uint16_t time, UInt4 group = UInt4(0));

    // --- Reading.
    Case eventCase() const { return static_cast<Case>(payload_.index()); }
    size_t caseIndex() const { return payload_.index(); }
    Kind kind() const { return kindOf(eventCase()); }
    static constexpr Kind kindOf(Case c);
    // "noteOn", ..., "continue", ..., "jrTimestamp".
    static std::string_view caseName(Case c);

    const Payload& payload() const { return payload_; }
    Payload& payload() { return payload_; }
    template <class P>
    bool is() const {
        return std::holds_alternative<P>(payload_);
    }
    // The payload when it is a P, else null.
    template <class P>
    const P* getIf() const {
        return std::get_if<P>(&payload_);
    }
    template <class P>
    P* getIf() {
        return std::get_if<P>(&payload_);
    }
    // Calls `f` with the payload record.
    template <class F>
    decltype(auto) visit(F&& f) const {
        return std::visit(std::forward<F>(f), payload_);
    }

    // The event's type within its kind when the kind is Type's (ChanVoiceType, SysExType, ...),
    // else none.
    template <events::EventType Type>
    std::optional<Type> typeOf() const {
        constexpr size_t first = events::firstCaseIndex<Type>();
        if (kindOf(static_cast<Case>(first)) != kind()) return std::nullopt;
        return static_cast<Type>(caseIndex() - first);
    }
    // Kind and type tests; an empty set never matches.
    bool isChannelVoice() const { return kind() == Kind::channelVoice; }
    bool isChannelVoice(ChanVoiceType type) const { return typeOf<ChanVoiceType>() == type; }
    bool isChannelVoice(TypeSet<ChanVoiceType> types) const { return isOfTypes(types); }
    bool isSystemExclusive() const { return kind() == Kind::systemExclusive; }
    bool isSystemExclusive(SysExType type) const { return typeOf<SysExType>() == type; }
    bool isSystemExclusive(TypeSet<SysExType> types) const { return isOfTypes(types); }
    bool isSystemCommon() const { return kind() == Kind::systemCommon; }
    bool isSystemCommon(SysCommonType type) const { return typeOf<SysCommonType>() == type; }
    bool isSystemCommon(TypeSet<SysCommonType> types) const { return isOfTypes(types); }
    bool isSystemRealTime() const { return kind() == Kind::systemRealTime; }
    bool isSystemRealTime(SysRealTimeType type) const { return typeOf<SysRealTimeType>() == type; }
    bool isSystemRealTime(TypeSet<SysRealTimeType> types) const { return isOfTypes(types); }
    bool isUtility() const { return kind() == Kind::utility; }
    bool isUtility(UtilityType type) const { return typeOf<UtilityType>() == type; }
    bool isUtility(TypeSet<UtilityType> types) const { return isOfTypes(types); }

    // The channel of the channel-voice cases 0-11, none for the others.
    std::optional<UInt4> channel() const;
    // Every payload's group.
    UInt4 group() const;

    // --- Encoding.
    // Zero or more complete MIDI 1.0 messages, each with its status byte; empty for the eight
    // cases without a MIDI 1.0 form (noteCC, notePitchBend, noteManagement, sysEx8,
    // universalSysEx8, noOp, jrClock, jrTimestamp). Only system exclusive allocates.
    MIDI1Bytes midi1RawBytes() const;
    // The event's Universal MIDI Packets. Channel voice follows the protocol (type 2 or 4); the
    // MIDI 2.0-only messages give their MIDI 2.0 packets under either protocol; parameter numbers
    // give the controller run (MIDI 1.0) or one packet (MIDI 2.0).
    UMPPackets umpRawWords(MIDIProtocolVersion protocol) const;
    // The status byte of a one-message event; none for the cases without a MIDI 1.0 form and
    // for rpn and nrpn.
    std::optional<uint8_t> midi1RawStatusByte() const;
    // The data bytes of a one-message event: (note, velocity), (controller, value), (LSB, MSB),
    // (program, none), ...; (none, none) for tune request and real time; none for the rest.
    using DataBytes = std::pair<std::optional<UInt7>, std::optional<UInt7>>;
    std::optional<DataBytes> midi1RawDataBytes() const;

    // --- Text, equality, hashing.
    // The payload's event text, e.g. "timingClock(group: 0x0)".
    std::string description() const;
    std::string debugDescription() const { return description(); }

    friend bool operator==(const MIDIEvent& a, const MIDIEvent& b) {
        return a.payload_ == b.payload_;
    }
    // The case index, then the payload's hash.
    size_t hash() const;

  private:
    template <class Type>
    bool isOfTypes(TypeSet<Type> types) const {
        const auto type = typeOf<Type>();
        return type && types.contains(*type);
    }

    Payload payload_;
};

#define MIDICORE_X(index, name, Record)                                                          \
    static_assert(std::is_same_v<std::variant_alternative_t<index, MIDIEvent::Payload>, Record>, \
                  "case " #name " must be alternative " #index);
MIDICORE_MIDI_EVENT_CASES(MIDICORE_X)
#undef MIDICORE_X
static_assert(std::variant_size_v<MIDIEvent::Payload> == MIDIEvent::caseCount);

// Each type enumeration runs through its kind's cases in order.
#define MIDICORE_TYPE_AT(Type, name)                                                 \
    static_assert(events::firstCaseIndex<events::Type>() +                           \
                      static_cast<size_t>(events::Type::name) ==                     \
                  static_cast<size_t>(MIDIEvent::Case::name));
MIDICORE_TYPE_AT(ChanVoiceType, noteOn)
MIDICORE_TYPE_AT(ChanVoiceType, nrpn)
MIDICORE_TYPE_AT(SysExType, sysEx7)
MIDICORE_TYPE_AT(SysExType, universalSysEx8)
MIDICORE_TYPE_AT(SysCommonType, timecodeQuarterFrame)
MIDICORE_TYPE_AT(SysCommonType, tuneRequest)
MIDICORE_TYPE_AT(SysRealTimeType, timingClock)
MIDICORE_TYPE_AT(SysRealTimeType, continue_)
MIDICORE_TYPE_AT(SysRealTimeType, systemReset)
MIDICORE_TYPE_AT(UtilityType, noOp)
MIDICORE_TYPE_AT(UtilityType, jrTimestamp)
#undef MIDICORE_TYPE_AT

namespace detail {
// The index of T among the alternatives of a variant; the count when T is none of them.
template <class T, class Variant>
struct VariantIndex;
template <class T, class... Ts>
struct VariantIndex<T, std::variant<Ts...>> {
    static constexpr size_t value = [] {
        constexpr bool same[] = {std::is_same_v<T, Ts>...};
        for (size_t i = 0; i < sizeof...(Ts); ++i) {
            if (same[i]) return i;
        }
        return sizeof...(Ts);
    }();
};
}  // namespace detail

template <class P>
constexpr MIDIEvent::Case MIDIEvent::caseOf() {
    constexpr size_t index = detail::VariantIndex<P, Payload>::value;
    static_assert(index < caseCount, "not a payload record of MIDIEvent");
    return static_cast<Case>(index);
}

constexpr MIDIEvent::Kind MIDIEvent::kindOf(Case c) {
    const auto i = static_cast<unsigned>(c);
    if (i <= 11) return Kind::channelVoice;
    if (i <= 15) return Kind::systemExclusive;
    if (i <= 20) return Kind::systemCommon;
    if (i <= 26) return Kind::systemRealTime;
    return Kind::utility;
}

}  // namespace midicore

template <>
struct std::hash<midicore::MIDIEvent> {
    size_t operator()(const midicore::MIDIEvent& e) const { return e.hash(); }
};
