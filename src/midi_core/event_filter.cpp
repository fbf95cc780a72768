#include "midi_core/event_filter.hpp"

#include <algorithm>

#include "hashing.hpp"

namespace midicore {

namespace {

template <class T>
size_t hashOne(const T& value) {
    if constexpr (std::is_enum_v<T>) {
        return std::hash<size_t>{}(static_cast<size_t>(value));
    } else if constexpr (std::is_same_v<T, std::monostate>) {
        return 0;
    } else {
        return value.hash();
    }
}

template <class T>
size_t hashOne(const std::vector<T>& values) {
    size_t h = std::hash<size_t>{}(values.size());
    for (const T& v : values) h = detail::hashCombine(h, hashOne(v));
    return h;
}

}  // namespace

namespace events {

FilterMode ChanVoiceTypes::mode() const {
    if (case_ <= Case::onlyNotesInRanges) return FilterMode::only;
    return case_ <= Case::keepNotesInRanges ? FilterMode::keep : FilterMode::drop;
}

std::vector<CC::Controller> ChanVoiceTypes::controllersOf(const std::vector<UInt7>& numbers) {
    std::vector<CC::Controller> controllers;
    controllers.reserve(numbers.size());
    for (UInt7 n : numbers) controllers.emplace_back(n);
    return controllers;
}


size_t ChanVoiceTypes::hash() const {
    return midicore::detail::hashCombine(std::hash<size_t>{}(static_cast<size_t>(case_)),
                       std::visit([](const auto& p) { return hashOne(p); }, payload_));
}

}  // namespace events

namespace {

using events::FilterMode;
using Selector = MIDIEvent::ChanVoiceTypes::Selector;

// Only: in scope and matching; keep: out of scope or matching; drop: not (in scope and matching).
bool decide(FilterMode mode, bool inScope, bool matches) {
    switch (mode) {
        case FilterMode::only:
            return inScope && matches;
        case FilterMode::keep:
            return !inScope || matches;
        case FilterMode::drop:
            break;
    }
    return !(inScope && matches);
}

template <class T, class Match>
bool anyOf(const std::vector<T>& values, Match match) {
    return std::any_of(values.begin(), values.end(), match);
}

// The note of a Note On or Note Off.
std::optional<UInt7> noteOnOrOff(const MIDIEvent& e) {
    if (const auto* on = e.getIf<MIDIEvent::NoteOn>()) return on->note.number;
    if (const auto* off = e.getIf<MIDIEvent::NoteOff>()) return off->note.number;
    return std::nullopt;
}

template <class Predicate>
std::vector<MIDIEvent> keepIf(std::span<const MIDIEvent> events, Predicate predicate) {
    std::vector<MIDIEvent> kept;
    for (const MIDIEvent& e : events) {
        if (predicate(e)) kept.push_back(e);
    }
    return kept;
}

bool inGroups(const MIDIEvent& e, std::span<const UInt4> groups) {
    return std::find(groups.begin(), groups.end(), e.group()) != groups.end();
}

}  // namespace

bool passes(const MIDIEvent::ChanVoiceTypes& spec, const MIDIEvent& event) {
    const auto& payload = spec.payload();
    const auto type = event.typeOf<MIDIEvent::ChanVoiceType>();
    switch (spec.selector()) {
        case Selector::kind:
            return decide(spec.mode(), type.has_value(), true);
        case Selector::type:
            return decide(spec.mode(), type.has_value(),
                          type == std::get<MIDIEvent::ChanVoiceType>(payload));
        case Selector::types:
            return decide(spec.mode(), type.has_value(),
                          type && std::get<MIDIEvent::TypeSet<MIDIEvent::ChanVoiceType>>(payload)
                                      .contains(*type));
        case Selector::channel:
            return decide(spec.mode(), type.has_value(), event.channel() == std::get<UInt4>(payload));
        case Selector::channels: {
            const auto channel = event.channel();
            return decide(spec.mode(), type.has_value(),
                          channel && anyOf(std::get<std::vector<UInt4>>(payload),
                                           [&](UInt4 c) { return c == *channel; }));
        }
        case Selector::cc:
        case Selector::ccs: {
            const auto* cc = event.getIf<MIDIEvent::CC>();
            if (!cc) return decide(spec.mode(), false, false);
            if (const auto* one = std::get_if<MIDIEvent::CC::Controller>(&payload)) {
                return decide(spec.mode(), true, cc->controller == *one);
            }
            return decide(spec.mode(), true,
                          anyOf(std::get<std::vector<MIDIEvent::CC::Controller>>(payload),
                                [&](const MIDIEvent::CC::Controller& c) { return c == cc->controller; }));
        }
        case Selector::notesInRange:
        case Selector::notesInRanges: {
            const auto note = noteOnOrOff(event);
            if (!note) return decide(spec.mode(), false, false);
            if (const auto* one = std::get_if<MIDIEvent::NoteRange>(&payload)) {
                return decide(spec.mode(), true, one->contains(*note));
            }
            return decide(spec.mode(), true,
                          anyOf(std::get<std::vector<MIDIEvent::NoteRange>>(payload),
                                [&](const MIDIEvent::NoteRange& r) { return r.contains(*note); }));
        }
    }
    return false;
}

template <events::EventType Type>
bool passes(const events::KindTypes<Type>& spec, const MIDIEvent& event) {
    const auto type = event.typeOf<Type>();
    bool matches = true;  // the bare only and drop select the whole kind
    if (const Type* one = std::get_if<Type>(&spec.payload())) {
        matches = type == *one;
    } else if (const auto* set = std::get_if<events::TypeSet<Type>>(&spec.payload())) {
        matches = type && set->contains(*type);
    }
    return decide(spec.mode(), type.has_value(), matches);
}
template bool passes(const MIDIEvent::SysExTypes&, const MIDIEvent&);
template bool passes(const MIDIEvent::SysCommonTypes&, const MIDIEvent&);
template bool passes(const MIDIEvent::SysRealTimeTypes&, const MIDIEvent&);
template bool passes(const MIDIEvent::UtilityTypes&, const MIDIEvent&);

std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::ChanVoiceTypes& chanVoice) {
    return keepIf(events, [&](const MIDIEvent& e) { return passes(chanVoice, e); });
}
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events, const MIDIEvent::SysExTypes& sysEx) {
    return keepIf(events, [&](const MIDIEvent& e) { return passes(sysEx, e); });
}
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::SysCommonTypes& sysCommon) {
    return keepIf(events, [&](const MIDIEvent& e) { return passes(sysCommon, e); });
}
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::SysRealTimeTypes& sysRealTime) {
    return keepIf(events, [&](const MIDIEvent& e) { return passes(sysRealTime, e); });
}
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::UtilityTypes& utility) {
    return keepIf(events, [&](const MIDIEvent& e) { return passes(utility, e); });
}

std::vector<MIDIEvent> filterGroup(std::span<const MIDIEvent> events, UInt4 group) {
    return keepIf(events, [&](const MIDIEvent& e) { return e.group() == group; });
}
std::vector<MIDIEvent> filterGroups(std::span<const MIDIEvent> events, std::span<const UInt4> groups) {
    return keepIf(events, [&](const MIDIEvent& e) { return inGroups(e, groups); });
}
std::vector<MIDIEvent> filterDropGroup(std::span<const MIDIEvent> events, UInt4 group) {
    return keepIf(events, [&](const MIDIEvent& e) { return e.group() != group; });
}
std::vector<MIDIEvent> filterDropGroups(std::span<const MIDIEvent> events,
                                        std::span<const UInt4> groups) {
    return keepIf(events, [&](const MIDIEvent& e) { return !inGroups(e, groups); });
}

std::vector<MIDIEvent> MIDIEventFilter::apply(std::span<const MIDIEvent> events) const {
    return std::visit(
        [&](const auto& p) {
            using P = std::remove_cvref_t<decltype(p)>;
            if constexpr (std::is_same_v<P, UInt4>) {
                return filterGroup(events, p);
            } else if constexpr (std::is_same_v<P, std::vector<UInt4>>) {
                return filterGroups(events, p);
            } else {
                return filter(events, p);
            }
        },
        payload_);
}

size_t MIDIEventFilter::hash() const {
    return detail::hashCombine(std::hash<size_t>{}(payload_.index()),
                               std::visit([](const auto& p) { return hashOne(p); }, payload_));
}

std::vector<MIDIEvent> MIDIEventFilterGroup::apply(std::span<const MIDIEvent> events) const {
    std::vector<MIDIEvent> current(events.begin(), events.end());
    for (const MIDIEventFilter& f : filters) current = f.apply(current);
    return current;
}

size_t MIDIEventFilterGroup::hash() const { return hashOne(filters); }

}  // namespace midicore
