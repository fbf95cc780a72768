// What the event filters select by: the event types within each kind, and the five filter
// specifications (one per kind), each an only, keep or drop rule. MIDIEvent names them as its
// own members (MIDIEvent::ChanVoiceType, MIDIEvent::ChanVoiceTypes, ...); the filters that apply
// them are in midi_core/event_filter.hpp.
//
// Modes: `only...` passes the events in the selector's scope that match and removes everything
// else (the other kinds too); `keep...` passes every event outside the scope and, inside, those
// that match; `drop...` removes the events in the scope that match. The bare `only` and `drop`
// pass or remove exactly the specification's kind. An empty set or list matches nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <variant>
#include <vector>

#include "midi_core/events/control_change.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace midicore::events {

// The types of each kind, in the order of their MIDIEvent cases.
enum class ChanVoiceType : uint8_t {
    noteOn, noteOff, noteCC, notePitchBend, notePressure, noteManagement,
    cc, programChange, pitchBend, pressure, rpn, nrpn
};
enum class SysExType : uint8_t { sysEx7, universalSysEx7, sysEx8, universalSysEx8 };
enum class SysCommonType : uint8_t {
    timecodeQuarterFrame, songPositionPointer, songSelect, unofficialBusSelect, tuneRequest
};
enum class SysRealTimeType : uint8_t { timingClock, start, continue_, stop, activeSensing, systemReset };
enum class UtilityType : uint8_t { noOp, jrClock, jrTimestamp };

// The first MIDIEvent case index of each type enumeration's kind.
template <class Type>
constexpr size_t firstCaseIndex();
template <>
constexpr size_t firstCaseIndex<ChanVoiceType>() { return 0; }
template <>
constexpr size_t firstCaseIndex<SysExType>() { return 12; }
template <>
constexpr size_t firstCaseIndex<SysCommonType>() { return 16; }
template <>
constexpr size_t firstCaseIndex<SysRealTimeType>() { return 21; }
template <>
constexpr size_t firstCaseIndex<UtilityType>() { return 27; }

template <class Type>
concept EventType = requires { firstCaseIndex<Type>(); };

// A set of types of one kind. Equal as sets; the hash does not depend on insertion order.
template <EventType Type>
class TypeSet {
  public:
    constexpr TypeSet() = default;
    constexpr TypeSet(std::initializer_list<Type> types) {
        for (Type t : types) insert(t);
    }
    constexpr void insert(Type t) { mask_ |= bit(t); }
    constexpr void erase(Type t) { mask_ &= ~bit(t); }
    constexpr bool contains(Type t) const { return (mask_ & bit(t)) != 0; }
    constexpr bool empty() const { return mask_ == 0; }
    constexpr size_t size() const { return static_cast<size_t>(__builtin_popcount(mask_)); }

    friend constexpr bool operator==(TypeSet, TypeSet) = default;
    size_t hash() const { return std::hash<uint32_t>{}(mask_); }

  private:
    static constexpr uint32_t bit(Type t) { return uint32_t{1} << static_cast<unsigned>(t); }
    uint32_t mask_ = 0;
};

// Notes lower...upper, both included.
class NoteRange {
  public:
    // Throws std::invalid_argument when lower is above upper.
    NoteRange(UInt7 lower, UInt7 upper) : lower_(lower), upper_(upper) {
        if (upper < lower) throw std::invalid_argument("A note range's lower bound is above its upper bound.");
    }
    UInt7 lower() const { return lower_; }
    UInt7 upper() const { return upper_; }
    bool contains(UInt7 note) const { return lower_ <= note && note <= upper_; }

    friend bool operator==(const NoteRange&, const NoteRange&) = default;
    size_t hash() const { return std::hash<uint32_t>{}(uint32_t{lower_.value()} << 8 | upper_.value()); }

  private:
    UInt7 lower_;
    UInt7 upper_;
};

enum class FilterMode : uint8_t { only, keep, drop };

// The channel-voice specification: 26 cases.
class ChanVoiceTypes {
  public:
    enum class Case : uint8_t {
        only, onlyType, onlyTypes, onlyChannel, onlyChannels, onlyCC, onlyCCs, onlyNotesInRange,
        onlyNotesInRanges,
        keepType, keepTypes, keepChannel, keepChannels, keepCC, keepCCs, keepNotesInRange,
        keepNotesInRanges,
        drop, dropType, dropTypes, dropChannel, dropChannels, dropCC, dropCCs, dropNotesInRange,
        dropNotesInRanges
    };
    // What a case selects by; the payload variant holds the matching alternative.
    enum class Selector : uint8_t {
        kind, type, types, channel, channels, cc, ccs, notesInRange, notesInRanges
    };
    using Payload = std::variant<std::monostate, ChanVoiceType, TypeSet<ChanVoiceType>, UInt4,
                                 std::vector<UInt4>, CC::Controller, std::vector<CC::Controller>,
                                 NoteRange, std::vector<NoteRange>>;

    static ChanVoiceTypes only() { return {Case::only, std::monostate()}; }
    static ChanVoiceTypes drop() { return {Case::drop, std::monostate()}; }
#define MIDICORE_FILTER_MODE(mode)                                                                 \
    static ChanVoiceTypes mode##Type(ChanVoiceType t) { return {Case::mode##Type, t}; }            \
    static ChanVoiceTypes mode##Types(TypeSet<ChanVoiceType> t) { return {Case::mode##Types, t}; } \
    static ChanVoiceTypes mode##Channel(UInt4 c) { return {Case::mode##Channel, c}; }              \
    static ChanVoiceTypes mode##Channels(std::vector<UInt4> c) {                                   \
        return {Case::mode##Channels, std::move(c)};                                               \
    }                                                                                              \
    static ChanVoiceTypes mode##CC(CC::Controller c) { return {Case::mode##CC, c}; }               \
    static ChanVoiceTypes mode##CC(UInt7 number) { return mode##CC(CC::Controller(number)); }      \
    static ChanVoiceTypes mode##CCs(std::vector<CC::Controller> c) {                               \
        return {Case::mode##CCs, std::move(c)};                                                    \
    }                                                                                              \
    static ChanVoiceTypes mode##CCs(const std::vector<UInt7>& numbers) {                           \
        return mode##CCs(controllersOf(numbers));                                                  \
    }                                                                                              \
    static ChanVoiceTypes mode##NotesInRange(NoteRange r) { return {Case::mode##NotesInRange, r}; } \
    static ChanVoiceTypes mode##NotesInRanges(std::vector<NoteRange> r) {                          \
        return {Case::mode##NotesInRanges, std::move(r)};                                          \
    }
    MIDICORE_FILTER_MODE(only)
    MIDICORE_FILTER_MODE(keep)
    MIDICORE_FILTER_MODE(drop)
#undef MIDICORE_FILTER_MODE

    Case specCase() const { return case_; }
    FilterMode mode() const;
    Selector selector() const { return static_cast<Selector>(payload_.index()); }
    const Payload& payload() const { return payload_; }

    friend bool operator==(const ChanVoiceTypes&, const ChanVoiceTypes&) = default;
    // The case, then the payload (a list's count and members in order).
    size_t hash() const;

  private:
    // The payload is built in place (moving a whole variant here trips GCC's uninitialised-use
    // analysis).
    template <class T>
    ChanVoiceTypes(Case c, T&& value) : case_(c), payload_(std::forward<T>(value)) {}
    static std::vector<CC::Controller> controllersOf(const std::vector<UInt7>& numbers);

    Case case_;
    Payload payload_;
};

// The specification of the other four kinds over their type enumeration: 8 cases.
template <EventType Type>
class KindTypes {
  public:
    enum class Case : uint8_t { only, onlyType, onlyTypes, keepType, keepTypes, drop, dropType, dropTypes };
    using Payload = std::variant<std::monostate, Type, TypeSet<Type>>;

    static KindTypes only() { return {Case::only, std::monostate()}; }
    static KindTypes onlyType(Type t) { return {Case::onlyType, t}; }
    static KindTypes onlyTypes(TypeSet<Type> t) { return {Case::onlyTypes, t}; }
    static KindTypes keepType(Type t) { return {Case::keepType, t}; }
    static KindTypes keepTypes(TypeSet<Type> t) { return {Case::keepTypes, t}; }
    static KindTypes drop() { return {Case::drop, std::monostate()}; }
    static KindTypes dropType(Type t) { return {Case::dropType, t}; }
    static KindTypes dropTypes(TypeSet<Type> t) { return {Case::dropTypes, t}; }

    Case specCase() const { return case_; }
    FilterMode mode() const {
        if (case_ <= Case::onlyTypes) return FilterMode::only;
        return case_ <= Case::keepTypes ? FilterMode::keep : FilterMode::drop;
    }
    const Payload& payload() const { return payload_; }

    friend bool operator==(const KindTypes&, const KindTypes&) = default;
    size_t hash() const;

  private:
    template <class T>
    KindTypes(Case c, T&& value) : case_(c), payload_(std::forward<T>(value)) {}
    Case case_;
    Payload payload_;
};

template <EventType Type>
size_t KindTypes<Type>::hash() const {
    size_t h = std::hash<uint8_t>{}(static_cast<uint8_t>(case_));
    if (const Type* t = std::get_if<Type>(&payload_)) {
        h = h * 31 + std::hash<uint8_t>{}(static_cast<uint8_t>(*t));
    } else if (const auto* set = std::get_if<TypeSet<Type>>(&payload_)) {
        h = h * 31 + set->hash();
    }
    return h;
}

using SysExTypes = KindTypes<SysExType>;
using SysCommonTypes = KindTypes<SysCommonType>;
using SysRealTimeTypes = KindTypes<SysRealTimeType>;
using UtilityTypes = KindTypes<UtilityType>;

}  // namespace midicore::events

template <midicore::events::EventType Type>
struct std::hash<midicore::events::TypeSet<Type>> {
    size_t operator()(const midicore::events::TypeSet<Type>& s) const { return s.hash(); }
};
template <>
struct std::hash<midicore::events::NoteRange> {
    size_t operator()(const midicore::events::NoteRange& r) const { return r.hash(); }
};
template <>
struct std::hash<midicore::events::ChanVoiceTypes> {
    size_t operator()(const midicore::events::ChanVoiceTypes& s) const { return s.hash(); }
};
template <midicore::events::EventType Type>
struct std::hash<midicore::events::KindTypes<Type>> {
    size_t operator()(const midicore::events::KindTypes<Type>& s) const { return s.hash(); }
};
