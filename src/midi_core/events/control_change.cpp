#include "midi_core/events/control_change.hpp"

#include "events/text.hpp"
#include "events/ump_words.hpp"
#include "hashing.hpp"

namespace midicore::events {

namespace {

using Controller = CC::Controller;

struct ControllerEntry {
    Controller::Case controllerCase;
    const char* name;  // the named controllers only
};

// Number to case: named controllers from their table, 32...63 LSBs, 120...127 modes, the rest
// undefined.
constexpr std::array<ControllerEntry, 128> controllerTable = [] {
    std::array<ControllerEntry, 128> table{};
    for (unsigned n = 0; n < 128; ++n) {
        table[n] = {n >= 32 && n <= 63 ? Controller::Case::lsb
                    : n >= 120         ? Controller::Case::mode
                                       : Controller::Case::undefined,
                    nullptr};
    }
#define MIDICORE_X(caseName, number, text) table[number] = {Controller::Case::caseName, text};
    MIDICORE_CC_NAMED_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
    return table;
}();

struct LSBEntry {
    Controller::LSB::Case lsbCase;
    const char* name;
};

// MSB number 0...31 to the LSB case.
constexpr std::array<LSBEntry, 32> lsbTable = [] {
    std::array<LSBEntry, 32> table{};
    for (auto& entry : table)
        entry = {Controller::LSB::Case::undefined, nullptr};
#define MIDICORE_X(caseName, msb, text) table[msb] = {Controller::LSB::Case::caseName, text};
    MIDICORE_CC_NAMED_LSBS(MIDICORE_X)
#undef MIDICORE_X
    return table;
}();

template <size_t... I>
constexpr std::array<Controller, sizeof...(I)> controllersInOrder(std::index_sequence<I...>) {
    return {Controller(UInt7(I))...};
}
constexpr std::array<Controller, 128> allControllers =
    controllersInOrder(std::make_index_sequence<128>());

constexpr std::array<const char*, 8> modeNames{
    "All Sound Off", "Reset All Controllers", "Local Control", "All Notes Off",
    "Omni Mode Off", "Omni Mode On",          "Mono Mode On",  "Poly Mode On"};

}  // namespace

// --- Nested enumerations

UInt7 number(CC::Controller::Mode mode) {
    return UInt7::truncating(120 + static_cast<unsigned>(mode));
}
UInt7 number(CC::Controller::Undefined undefined) {
    return UInt7::truncating(static_cast<uint8_t>(undefined));
}
UInt7 number(CC::Controller::LSB::Undefined undefined) {
    return UInt7::truncating(static_cast<uint8_t>(undefined) + 32);
}
UInt7 msbNumber(CC::Controller::LSB::Undefined undefined) {
    return UInt7::truncating(static_cast<uint8_t>(undefined));
}
std::string name(CC::Controller::Mode mode) {
    return modeNames[static_cast<size_t>(mode)];
}
std::string name(CC::Controller::Undefined undefined) {
    return "Undefined CC" + number(undefined).description();
}
std::string name(CC::Controller::LSB::Undefined undefined) {
    return "Undefined CC" + msbNumber(undefined).description() + " LSB";
}

// --- LSB

CC::Controller::LSB::Case CC::Controller::LSB::lsbCase() const {
    return lsbTable[msb_].lsbCase;
}

std::optional<CC::Controller::LSB::Undefined> CC::Controller::LSB::undefinedValue() const {
    if (lsbCase() != Case::undefined) return std::nullopt;
    return static_cast<Undefined>(msb_);
}

std::string CC::Controller::LSB::name() const {
    if (const char* named = lsbTable[msb_].name) return named;
    return events::name(*undefinedValue());
}

// --- Controller

const std::array<CC::Controller, 128>& CC::Controller::allCases() {
    return allControllers;
}

CC::Controller::Case CC::Controller::controllerCase() const {
    return controllerTable[number_].controllerCase;
}

std::optional<CC::Controller::LSB> CC::Controller::lsbValue() const {
    if (controllerCase() != Case::lsb) return std::nullopt;
    return LSB(static_cast<uint8_t>(number_ - 32));
}

std::optional<CC::Controller::Mode> CC::Controller::modeValue() const {
    if (controllerCase() != Case::mode) return std::nullopt;
    return static_cast<Mode>(number_ - 120);
}

std::optional<CC::Controller::Undefined> CC::Controller::undefinedValue() const {
    if (controllerCase() != Case::undefined) return std::nullopt;
    return static_cast<Undefined>(number_);
}

std::string CC::Controller::name() const {
    switch (controllerCase()) {
        case Case::lsb:
            return lsbValue()->name();
        case Case::mode:
            return events::name(*modeValue());
        case Case::undefined:
            return events::name(*undefinedValue());
        default:
            return controllerTable[number_].name;
    }
}

// --- CC

MIDI1Bytes CC::midi1RawBytes() const {
    return {midi1RawStatusByte(), controller.number().value(), value.value().midi1Value().value()};
}

UMPPacket CC::umpRawWords(MIDIProtocolVersion protocol) const {
    const uint8_t number = controller.number().value();
    if (protocol == MIDIProtocolVersion::_1_0) {
        return {words::midi1ChannelVoice(group, 0xB0, channel, number,
                                         value.value().midi1Value().value())};
    }
    return {words::midi2ChannelVoice(group, 0xB0, channel, number, 0), value.value().midi2Value()};
}

std::string CC::description() const {
    return "cc(" + controller.description() + ", val: " + text::value(value.value()) +
           text::channelAndGroup(channel, group);
}

size_t CC::hash() const {
    size_t h = controller.hash();
    h = midicore::detail::hashCombine(h, value.hash());
    h = midicore::detail::hashCombine(h, channel.hash());
    return midicore::detail::hashCombine(h, group.hash());
}

}  // namespace midicore::events
