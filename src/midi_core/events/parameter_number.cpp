#include "midi_core/events/parameter_number.hpp"

#include <array>

#include "events/text.hpp"
#include "hashing.hpp"

namespace midicore {

std::string description(MIDI2ParameterNumberChange change) {
    return change == MIDI2ParameterNumberChange::absolute ? "absolute" : "relative";
}

std::string description(MIDIParameterNumberType type) {
    return type == MIDIParameterNumberType::registered ? "registered" : "assignable";
}

namespace events {

namespace {

using Case = RegisteredController::Case;

constexpr UInt7Pair pair(unsigned msb, unsigned lsb) {
    return {UInt7::truncating(msb), UInt7::truncating(lsb)};
}

// The nine three-dimensional parameters (61, 0) ... (61, 8) in order, with their names.
constexpr std::array<std::pair<Case, const char*>, 9> threeDimensional{{
    {Case::threeDimensionalAzimuthAngle, "threeDimensionalAzimuthAngle"},
    {Case::threeDimensionalElevationAngle, "threeDimensionalElevationAngle"},
    {Case::threeDimensionalGain, "threeDimensionalGain"},
    {Case::threeDimensionalDistanceRatio, "threeDimensionalDistanceRatio"},
    {Case::threeDimensionalMaximumDistance, "threeDimensionalMaximumDistance"},
    {Case::threeDimensionalGainAtMaximumDistance, "threeDimensionalGainAtMaximumDistance"},
    {Case::threeDimensionalReferenceDistanceRatio, "threeDimensionalReferenceDistanceRatio"},
    {Case::threeDimensionalPanSpreadAngle, "threeDimensionalPanSpreadAngle"},
    {Case::threeDimensionalRollAngle, "threeDimensionalRollAngle"},
}};

constexpr unsigned threeDimensionalMSB = 61;

// The position of a three-dimensional case in its table.
std::optional<size_t> threeDimensionalIndex(Case c) {
    for (size_t i = 0; i < threeDimensional.size(); ++i) {
        if (threeDimensional[i].first == c) return i;
    }
    return std::nullopt;
}

std::string dataText(const DataEntryBytes& data) {
    return "(dataMSB: " + text::optionalByte(data.msb) +
           ", dataLSB: " + text::optionalByte(data.lsb) + ")";
}

std::string rawText(UInt7Pair parameter, const DataEntryBytes& data) {
    return "raw(param: " + parameter.description() + ", dataMSB: " + text::optionalByte(data.msb) +
           ", dataLSB: " + text::optionalByte(data.lsb) + ")";
}

size_t hashOf(size_t caseIndex, UInt7Pair parameter, const DataEntryBytes& data) {
    auto byteHash = [](std::optional<UInt7> b) { return b ? size_t{b->value()} + 1 : 0; };
    size_t h = midicore::detail::hashCombine(caseIndex, parameter.hash());
    h = midicore::detail::hashCombine(h, byteHash(data.msb));
    return midicore::detail::hashCombine(h, byteHash(data.lsb));
}

}  // namespace

// --- RegisteredController

RegisteredController RegisteredController::pitchBendSensitivity(UInt7 semitones, UInt7 cents) {
    return {Case::pitchBendSensitivity, pair(0, 0), {semitones, cents}};
}
RegisteredController RegisteredController::channelFineTuning(UInt14 value) {
    const UInt7Pair halves = value.uInt7Pair();
    return {Case::channelFineTuning, pair(0, 1), {halves.msb, halves.lsb}};
}
RegisteredController RegisteredController::channelCoarseTuning(UInt7 value) {
    return {Case::channelCoarseTuning, pair(0, 2), {value, std::nullopt}};
}
RegisteredController RegisteredController::tuningProgramChange(UInt7 number) {
    return {Case::tuningProgramChange, pair(0, 3), {number, std::nullopt}};
}
RegisteredController RegisteredController::tuningBankSelect(UInt7 number) {
    return {Case::tuningBankSelect, pair(0, 4), {number, std::nullopt}};
}
RegisteredController RegisteredController::modulationDepthRange(std::optional<UInt7> msb,
                                                                std::optional<UInt7> lsb) {
    return {Case::modulationDepthRange, pair(0, 5), {msb, lsb}};
}
RegisteredController RegisteredController::mpeConfigurationMessage(std::optional<UInt7> msb,
                                                                   std::optional<UInt7> lsb) {
    return {Case::mpeConfigurationMessage, pair(0, 6), {msb, lsb}};
}
RegisteredController RegisteredController::null() {
    return {Case::null, pair(127, 127), {}};
}
RegisteredController RegisteredController::raw(UInt7Pair parameter, std::optional<UInt7> msb,
                                               std::optional<UInt7> lsb) {
    return {Case::raw, parameter, {msb, lsb}};
}

#define MIDICORE_THREE_D(name, index)                                       \
    RegisteredController RegisteredController::name(UInt7 msb, UInt7 lsb) { \
        return {Case::name, pair(threeDimensionalMSB, index), {msb, lsb}};  \
    }
MIDICORE_THREE_D(threeDimensionalAzimuthAngle, 0)
MIDICORE_THREE_D(threeDimensionalElevationAngle, 1)
MIDICORE_THREE_D(threeDimensionalGain, 2)
MIDICORE_THREE_D(threeDimensionalDistanceRatio, 3)
MIDICORE_THREE_D(threeDimensionalMaximumDistance, 4)
MIDICORE_THREE_D(threeDimensionalGainAtMaximumDistance, 5)
MIDICORE_THREE_D(threeDimensionalReferenceDistanceRatio, 6)
MIDICORE_THREE_D(threeDimensionalPanSpreadAngle, 7)
MIDICORE_THREE_D(threeDimensionalRollAngle, 8)
#undef MIDICORE_THREE_D

RegisteredController RegisteredController::fromParameter(UInt7Pair parameter,
                                                         std::optional<UInt7> msb,
                                                         std::optional<UInt7> lsb) {
    const UInt7 m = msb.value_or(UInt7(0));
    const UInt7 l = lsb.value_or(UInt7(0));
    const unsigned p = parameter.msb.value();
    const unsigned index = parameter.lsb.value();
    if (p == 0) {
        switch (index) {
            case 0:
                return pitchBendSensitivity(m, l);
            case 1:
                return channelFineTuning(UInt14::fromUInt7Pair({m, l}));
            case 2:
                return channelCoarseTuning(m);
            case 3:
                return tuningProgramChange(m);
            case 4:
                return tuningBankSelect(m);
            case 5:
                return modulationDepthRange(msb, lsb);
            case 6:
                return mpeConfigurationMessage(msb, lsb);
            default:
                break;
        }
    }
    if (p == 127 && index == 127) return null();
    if (p == threeDimensionalMSB && index < threeDimensional.size()) {
        return {threeDimensional[index].first, parameter, {m, l}};
    }
    return raw(parameter, msb, lsb);
}

std::string RegisteredController::description() const {
    const DataEntryBytes data = dataEntryBytes();
    const auto& m = data.msb;
    const auto& l = data.lsb;
    switch (parameterCase()) {
        case Case::pitchBendSensitivity:
            return "pitchBendSensitivity(semitones: " + text::optionalByte(m) +
                   ", cents: " + text::optionalByte(l) + ")";
        case Case::channelFineTuning:
            return "channelFineTuning(" +
                   UInt14::fromUInt7Pair({m.value_or(UInt7()), l.value_or(UInt7())}).description() +
                   ")";
        case Case::channelCoarseTuning:
            return "channelCoarseTuning(" + text::optionalByte(m) + ")";
        case Case::tuningProgramChange:
            return "tuningProgramChange(zero-based: " + text::optionalByte(m) + ")";
        case Case::tuningBankSelect:
            return "tuningBankSelect(zero-based: " + text::optionalByte(m) + ")";
        case Case::modulationDepthRange:
            return "modulationDepthRange" + dataText(data);
        case Case::mpeConfigurationMessage:
            return "mpeConfigurationMessage" + dataText(data);
        case Case::null:
            return "null";
        case Case::raw:
            return rawText(parameterBytes(), data);
        default:
            break;
    }
    const auto index = threeDimensionalIndex(parameterCase());
    return std::string(index ? threeDimensional[*index].second : "") + dataText(data);
}

size_t RegisteredController::hash() const {
    return hashOf(static_cast<size_t>(parameterCase()), parameterBytes(), dataEntryBytes());
}

// --- AssignableController

AssignableController AssignableController::fromParameter(UInt7Pair parameter,
                                                         std::optional<UInt7> msb,
                                                         std::optional<UInt7> lsb) {
    if (parameter == pair(127, 127)) return null();
    return raw(parameter, msb, lsb);
}

std::string AssignableController::description() const {
    return parameterCase() == Case::null ? "null" : rawText(parameterBytes(), dataEntryBytes());
}

size_t AssignableController::hash() const {
    return hashOf(static_cast<size_t>(parameterCase()), parameterBytes(), dataEntryBytes());
}

// --- Records

std::string RPN::description() const {
    return "rpn(" + parameter.description() + ", change: " + midicore::description(change) +
           text::channelAndGroup(channel, group);
}

size_t RPN::hash() const {
    return midicore::detail::hashCombine(midicore::detail::hashFields(parameter, channel, group),
                                         static_cast<size_t>(change));
}

std::string NRPN::description() const {
    return "nrpn(" + parameter.description() + ", change: " + midicore::description(change) +
           text::channelAndGroup(channel, group);
}

size_t NRPN::hash() const {
    return midicore::detail::hashCombine(midicore::detail::hashFields(parameter, channel, group),
                                         static_cast<size_t>(change));
}

}  // namespace events
}  // namespace midicore
