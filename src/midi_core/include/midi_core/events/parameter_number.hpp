// Registered and non-registered parameter numbers (MIDI 1.0 RPN and NRPN; MIDI 2.0 registered and
// assignable controllers): the parameter values, the RPN and NRPN event records and the MIDI 2.0
// status mapping.
//
// A parameter is a parameter number (MSB, LSB) with a data-entry value whose two 7-bit halves
// may each be absent; an absent half is not sent in MIDI 1.0 and differs from 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "midi_core/events/control_change.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace midicore {

// Whether a MIDI 2.0 controller message sets the parameter or moves it.
enum class MIDI2ParameterNumberChange : uint8_t { absolute, relative };
inline constexpr std::array<MIDI2ParameterNumberChange, 2> allParameterNumberChanges{
    MIDI2ParameterNumberChange::absolute, MIDI2ParameterNumberChange::relative};
// "absolute" or "relative".
std::string description(MIDI2ParameterNumberChange change);

enum class MIDIParameterNumberType : uint8_t { registered, assignable };
inline constexpr std::array<MIDIParameterNumberType, 2> allParameterNumberTypes{
    MIDIParameterNumberType::registered, MIDIParameterNumberType::assignable};
// "registered" or "assignable".
std::string description(MIDIParameterNumberType type);

// The two controllers that select a parameter in MIDI 1.0.
struct ParameterNumberControllers {
    events::CC::Controller msb;
    events::CC::Controller lsb;
    friend constexpr bool operator==(const ParameterNumberControllers&,
                                     const ParameterNumberControllers&) = default;
};
// Registered: RPN MSB (101) and LSB (100); assignable: NRPN MSB (99) and LSB (98).
constexpr ParameterNumberControllers controllers(MIDIParameterNumberType type) {
    using Controller = events::CC::Controller;
    return type == MIDIParameterNumberType::registered
               ? ParameterNumberControllers{Controller::rpnMSB(), Controller::rpnLSB()}
               : ParameterNumberControllers{Controller::nrpnMSB(), Controller::nrpnLSB()};
}

namespace MIDIParameterNumberUtils {
// (registered, absolute) 2, (assignable, absolute) 3, (registered, relative) 4, (assignable,
// relative) 5.
constexpr UInt4 umpStatus(MIDIParameterNumberType type, MIDI2ParameterNumberChange change) {
    const unsigned base = change == MIDI2ParameterNumberChange::absolute ? 2 : 4;
    return UInt4::truncating(base + (type == MIDIParameterNumberType::assignable ? 1 : 0));
}
struct ParameterNumberKind {
    MIDIParameterNumberType type;
    MIDI2ParameterNumberChange change;
    friend constexpr bool operator==(const ParameterNumberKind&,
                                     const ParameterNumberKind&) = default;
};
// The inverse of umpStatus; none for statuses other than 2...5.
constexpr std::optional<ParameterNumberKind> parameterNumberKind(UInt4 status) {
    const unsigned s = status.value();
    if (s < 2 || s > 5) return std::nullopt;
    return ParameterNumberKind{
        s % 2 == 0 ? MIDIParameterNumberType::registered : MIDIParameterNumberType::assignable,
        s < 4 ? MIDI2ParameterNumberChange::absolute : MIDI2ParameterNumberChange::relative};
}
}  // namespace MIDIParameterNumberUtils

namespace events {

// The data-entry value of a parameter: controller 6 (MSB) and 38 (LSB), each possibly absent.
struct DataEntryBytes {
    std::optional<UInt7> msb;
    std::optional<UInt7> lsb;
    friend constexpr bool operator==(const DataEntryBytes&, const DataEntryBytes&) = default;
};

// The fields every parameter value consists of: its case, its parameter number and its
// data-entry bytes. Equal when all three are equal.
template <class Case>
class ParameterNumberFields {
  public:
    Case parameterCase() const { return case_; }
    UInt7Pair parameterBytes() const { return parameter_; }
    DataEntryBytes dataEntryBytes() const { return data_; }

    friend bool operator==(const ParameterNumberFields&, const ParameterNumberFields&) = default;

  protected:
    ParameterNumberFields(Case c, UInt7Pair parameter, DataEntryBytes data)
        : case_(c), parameter_(parameter), data_(data) {}

  private:
    Case case_;
    UInt7Pair parameter_;
    DataEntryBytes data_;
};

// A registered parameter (RPN). The named parameters keep their data in the fields they are
// sent in, so the payload of every case is its parameter number and data-entry bytes.
enum class RegisteredControllerCase : uint8_t {
    pitchBendSensitivity,
    channelFineTuning,
    channelCoarseTuning,
    tuningProgramChange,
    tuningBankSelect,
    modulationDepthRange,
    mpeConfigurationMessage,
    null,
    raw,
    threeDimensionalAzimuthAngle,
    threeDimensionalElevationAngle,
    threeDimensionalGain,
    threeDimensionalDistanceRatio,
    threeDimensionalMaximumDistance,
    threeDimensionalGainAtMaximumDistance,
    threeDimensionalReferenceDistanceRatio,
    threeDimensionalPanSpreadAngle,
    threeDimensionalRollAngle,
};

class RegisteredController : public ParameterNumberFields<RegisteredControllerCase> {
  public:
    using Case = RegisteredControllerCase;
    static constexpr MIDIParameterNumberType type = MIDIParameterNumberType::registered;
    static constexpr ParameterNumberControllers controllers() {
        return midicore::controllers(type);
    }

    // (0, 0): semitones as the MSB, cents as the LSB.
    static RegisteredController pitchBendSensitivity(UInt7 semitones, UInt7 cents);
    // (0, 1): the 14-bit value split into MSB and LSB.
    static RegisteredController channelFineTuning(UInt14 value);
    // (0, 2), (0, 3), (0, 4): the MSB alone.
    static RegisteredController channelCoarseTuning(UInt7 value);
    static RegisteredController tuningProgramChange(UInt7 number);
    static RegisteredController tuningBankSelect(UInt7 number);
    // (0, 5), (0, 6): both halves as given.
    static RegisteredController modulationDepthRange(std::optional<UInt7> dataEntryMSB,
                                                     std::optional<UInt7> dataEntryLSB);
    static RegisteredController mpeConfigurationMessage(std::optional<UInt7> dataEntryMSB,
                                                        std::optional<UInt7> dataEntryLSB);
    // (127, 127), no data.
    static RegisteredController null();
    // Any parameter with both halves as given.
    static RegisteredController raw(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                                    std::optional<UInt7> dataEntryLSB);
    // (61, 0) ... (61, 8).
    static RegisteredController threeDimensionalAzimuthAngle(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalElevationAngle(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalGain(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalDistanceRatio(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalMaximumDistance(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalGainAtMaximumDistance(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalReferenceDistanceRatio(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalPanSpreadAngle(UInt7 msb, UInt7 lsb);
    static RegisteredController threeDimensionalRollAngle(UInt7 msb, UInt7 lsb);

    // Decoding a received parameter: the known parameter numbers give their cases (an absent
    // half read as 0 where the case needs a number), (127, 127) gives null and every other
    // parameter `raw`. parameterBytes() gives the parameter back.
    static RegisteredController fromParameter(UInt7Pair parameter,
                                              std::optional<UInt7> dataEntryMSB,
                                              std::optional<UInt7> dataEntryLSB);

    // "pitchBendSensitivity(semitones: 2, cents: 0)", "raw(param: [msb: 0x01, lsb: 0x02],
    // dataMSB: nil (0), dataLSB: 5)", "null".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const RegisteredController&, const RegisteredController&) = default;

  private:
    RegisteredController(Case c, UInt7Pair parameter, DataEntryBytes data)
        : ParameterNumberFields(c, parameter, data) {}
};

// A non-registered parameter (NRPN).
enum class AssignableControllerCase : uint8_t { raw, null };

class AssignableController : public ParameterNumberFields<AssignableControllerCase> {
  public:
    using Case = AssignableControllerCase;
    static constexpr MIDIParameterNumberType type = MIDIParameterNumberType::assignable;
    static constexpr ParameterNumberControllers controllers() {
        return midicore::controllers(type);
    }

    static AssignableController raw(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                                    std::optional<UInt7> dataEntryLSB) {
        return AssignableController(Case::raw, parameter, {dataEntryMSB, dataEntryLSB});
    }
    // (127, 127), no data.
    static AssignableController null() {
        return AssignableController(Case::null, {UInt7(127), UInt7(127)}, {});
    }
    // (127, 127) gives null (the data dropped), any other parameter `raw`.
    static AssignableController fromParameter(UInt7Pair parameter,
                                              std::optional<UInt7> dataEntryMSB,
                                              std::optional<UInt7> dataEntryLSB);

    std::string description() const;
    size_t hash() const;
    friend bool operator==(const AssignableController&, const AssignableController&) = default;

  private:
    AssignableController(Case c, UInt7Pair parameter, DataEntryBytes data)
        : ParameterNumberFields(c, parameter, data) {}
};

// A registered or assignable parameter value, as the parameter-number encoders take it.
template <class P>
concept MIDIParameterNumber = requires(const P& p) {
    { P::type } -> std::convertible_to<MIDIParameterNumberType>;
    { P::controllers() } -> std::same_as<ParameterNumberControllers>;
    { p.parameterBytes() } -> std::same_as<UInt7Pair>;
    { p.dataEntryBytes() } -> std::same_as<DataEntryBytes>;
};
static_assert(MIDIParameterNumber<RegisteredController>);
static_assert(MIDIParameterNumber<AssignableController>);

// RPN: a registered parameter with its change (MIDI 2.0), channel and group.
struct RPN {
    RegisteredController parameter;
    MIDI2ParameterNumberChange change;
    UInt4 channel;
    UInt4 group;

    explicit RPN(RegisteredController parameter,
                 MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                 UInt4 channel = UInt4(0), UInt4 group = UInt4(0))
        : parameter(parameter), change(change), channel(channel), group(group) {}

    // "rpn(null, change: absolute, chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const RPN&, const RPN&) = default;
};

// NRPN: an assignable parameter with its change, channel and group.
struct NRPN {
    AssignableController parameter;
    MIDI2ParameterNumberChange change;
    UInt4 channel;
    UInt4 group;

    explicit NRPN(AssignableController parameter,
                  MIDI2ParameterNumberChange change = MIDI2ParameterNumberChange::absolute,
                  UInt4 channel = UInt4(0), UInt4 group = UInt4(0))
        : parameter(parameter), change(change), channel(channel), group(group) {}

    // "nrpn(null, change: absolute, chan: 0x0, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NRPN&, const NRPN&) = default;
};

}  // namespace events
}  // namespace midicore

template <>
struct std::hash<midicore::events::RegisteredController> {
    size_t operator()(const midicore::events::RegisteredController& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::AssignableController> {
    size_t operator()(const midicore::events::AssignableController& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::RPN> {
    size_t operator()(const midicore::events::RPN& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NRPN> {
    size_t operator()(const midicore::events::NRPN& v) const { return v.hash(); }
};
