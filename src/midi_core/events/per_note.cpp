#include "midi_core/events/per_note.hpp"

#include <cmath>
#include <utility>

#include "events/text.hpp"
#include "events/ump_words.hpp"
#include "hashing.hpp"
#include "midi_support/number_text.hpp"

namespace midicore::events {

using midicore::detail::hashCombine;

// --- NoteAttribute

NoteAttribute::Pitch7_9 NoteAttribute::Pitch7_9::fromDouble(double semitones) {
    constexpr double highest = 127.0 + 511.0 / 512.0;
    // NaN fails the first test and counts as the bottom.
    const double x = semitones > 0.0 ? (semitones < highest ? semitones : highest) : 0.0;
    auto coarse = static_cast<unsigned>(x);
    auto fine = static_cast<unsigned>(std::round((x - coarse) * 512.0));
    // A fraction of at least 1023/1024 rounds up to the next semitone; the clamp above keeps the
    // top semitone below that.
    if (fine >= 512) {
        coarse += 1;
        fine = 0;
    }
    return {UInt7::clamping(coarse), UInt9::clamping(fine)};
}

std::string NoteAttribute::Pitch7_9::description() const {
    return "pitch7.9(" + coarse.description() + ", fine:" + fine.description() + ")";
}

size_t NoteAttribute::Pitch7_9::hash() const {
    return hashCombine(coarse.hash(), fine.hash());
}

NoteAttribute NoteAttribute::fromTypeAndData(uint8_t attributeType, uint16_t data) {
    switch (attributeType) {
        case 0:
            return none();
        case 1:
            return manufacturerSpecific(data);
        case 2:
            return profileSpecific(data);
        case 3:
            return pitch7_9(Pitch7_9::fromUInt16(data));
        default:
            return undefined(attributeType, data);
    }
}

std::string NoteAttribute::description() const {
    switch (case_) {
        case Case::none:
            return "none";
        case Case::manufacturerSpecific:
            return "manufacturerSpecific(" + std::to_string(data_) + ")";
        case Case::profileSpecific:
            return "profileSpecific(" + std::to_string(data_) + ")";
        case Case::pitch7_9:
            return Pitch7_9::fromUInt16(data_).description();
        case Case::undefined:
            return "undefined(" + midisupport::hexString(type_, 2, true) +
                   ", data: " + midisupport::hexString(data_, 4, true) + ")";
    }
    return "";
}

size_t NoteAttribute::hash() const {
    return hashCombine(hashCombine(static_cast<size_t>(case_), type_), data_);
}

// --- Per-note controllers

namespace {

using Registered = NoteCC::PerNoteController::Registered;

struct RegisteredEntry {
    Registered::Case registeredCase;
    const char* name;
};

// Index to case and name; indices without a name are `undefined`.
constexpr std::array<RegisteredEntry, 256> registeredTable = [] {
    std::array<RegisteredEntry, 256> table{};
    for (auto& entry : table)
        entry = {Registered::Case::undefined, nullptr};
#define MIDICORE_X(caseName, index, text) table[index] = {Registered::Case::caseName, text};
    MIDICORE_REGISTERED_PER_NOTE_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
    return table;
}();

template <size_t... I>
constexpr std::array<Registered, sizeof...(I)> registeredFromOne(std::index_sequence<I...>) {
    return {Registered::fromIndex(static_cast<uint8_t>(I + 1))...};
}
constexpr std::array<Registered, 255> registeredCases =
    registeredFromOne(std::make_index_sequence<255>());

}  // namespace

std::string NoteCC::PerNoteController::Registered::Undefined::name() const {
    return "Undefined Per-Note CC" + std::to_string(index_);
}

const std::array<Registered, 255>& NoteCC::PerNoteController::Registered::allCases() {
    return registeredCases;
}

Registered::Case NoteCC::PerNoteController::Registered::registeredCase() const {
    return registeredTable[index_].registeredCase;
}

std::string NoteCC::PerNoteController::Registered::name() const {
    const char* named = registeredTable[index_].name;
    return named ? std::string(named) : "Undefined Per-Note CC" + std::to_string(index_);
}

std::string NoteCC::PerNoteController::description() const {
    return (case_ == Case::registered ? "registered(" : "assignable(") + std::to_string(index_) +
           ")";
}

size_t NoteCC::PerNoteController::hash() const {
    return hashCombine(static_cast<size_t>(case_), index_);
}

// --- NoteCC

UMPPacket NoteCC::umpRawWords() const {
    const uint8_t status =
        controller.controllerCase() == PerNoteController::Case::registered ? 0x00 : 0x10;
    return {
        words::midi2ChannelVoice(group, status, channel, note.number.value(), controller.number()),
        value.value().midi2Value()};
}

std::string NoteCC::description() const {
    return "noteCC(note: " + text::note(note) + "), controller: " + controller.description() +
           ", val: " + text::value(value.value()) + text::channelAndGroup(channel, group);
}

size_t NoteCC::hash() const {
    size_t h = note.hash();
    h = hashCombine(h, controller.hash());
    h = hashCombine(h, value.hash());
    h = hashCombine(h, channel.hash());
    return hashCombine(h, group.hash());
}

// --- NoteManagement

std::string description(NoteManagement::OptionFlag flag) {
    switch (flag) {
        case NoteManagement::OptionFlag::detachPerNoteControllers:
            return "detachPerNoteControllers";
        case NoteManagement::OptionFlag::resetPerNoteControllers:
            return "resetPerNoteControllers";
    }
    return "";
}

std::string NoteManagement::OptionFlags::description() const {
    std::string out = "[";
    for (OptionFlag flag :
         {OptionFlag::detachPerNoteControllers, OptionFlag::resetPerNoteControllers}) {
        if (!contains(flag)) continue;
        if (out.size() > 1) out += ", ";
        out += events::description(flag);
    }
    return out + "]";
}

UMPPacket NoteManagement::umpRawWords() const {
    return {words::midi2ChannelVoice(group, 0xF0, channel, note.number.value(),
                                     optionFlags.umpOptionBits()),
            0u};
}

std::string NoteManagement::description() const {
    return "noteManagement(options: " + optionFlags.description() +
           text::channelAndGroup(channel, group);
}

size_t NoteManagement::hash() const {
    size_t h = note.hash();
    h = hashCombine(h, optionFlags.hash());
    h = hashCombine(h, channel.hash());
    return hashCombine(h, group.hash());
}

}  // namespace midicore::events
