// Filtering sequences of events by kind, type, channel, controller, note range and UMP group.
// Every filter walks its input once, judges each event by itself alone and returns a new vector
// of the events that pass, in input order (duplicates included); nothing is reordered and
// nothing fails.
//
//     auto shown = filter(events, MIDIEvent::SysRealTimeTypes::dropTypes(
//                                     {MIDIEvent::SysRealTimeType::activeSensing,
//                                      MIDIEvent::SysRealTimeType::timingClock}));
//     MIDIEventFilterGroup group({MIDIEventFilter::chanVoice(MIDIEvent::ChanVoiceTypes::onlyChannel(UInt4(1))),
//                                 MIDIEventFilter::sysRealTime(MIDIEvent::SysRealTimeTypes::drop())});
//     auto left = group.apply(events);
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace midicore {

// Whether one event passes a specification.
bool passes(const MIDIEvent::ChanVoiceTypes& spec, const MIDIEvent& event);
template <events::EventType Type>
bool passes(const events::KindTypes<Type>& spec, const MIDIEvent& event);

std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::ChanVoiceTypes& chanVoice);
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events, const MIDIEvent::SysExTypes& sysEx);
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::SysCommonTypes& sysCommon);
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::SysRealTimeTypes& sysRealTime);
std::vector<MIDIEvent> filter(std::span<const MIDIEvent> events,
                              const MIDIEvent::UtilityTypes& utility);
// The events whose group is the given one / one of the given ones (none for an empty list).
std::vector<MIDIEvent> filterGroup(std::span<const MIDIEvent> events, UInt4 group);
std::vector<MIDIEvent> filterGroups(std::span<const MIDIEvent> events, std::span<const UInt4> groups);
// The events whose group is not the given one / none of the given ones (all for an empty list).
std::vector<MIDIEvent> filterDropGroup(std::span<const MIDIEvent> events, UInt4 group);
std::vector<MIDIEvent> filterDropGroups(std::span<const MIDIEvent> events,
                                        std::span<const UInt4> groups);

// One filter rule as a value: a specification of one kind, or a group selection.
class MIDIEventFilter {
  public:
    enum class Case : uint8_t { chanVoice, sysEx, sysCommon, sysRealTime, utility, group, groups };
    using Payload = std::variant<MIDIEvent::ChanVoiceTypes, MIDIEvent::SysExTypes,
                                 MIDIEvent::SysCommonTypes, MIDIEvent::SysRealTimeTypes,
                                 MIDIEvent::UtilityTypes, UInt4, std::vector<UInt4>>;

    static MIDIEventFilter chanVoice(MIDIEvent::ChanVoiceTypes spec) { return MIDIEventFilter(std::move(spec)); }
    static MIDIEventFilter sysEx(MIDIEvent::SysExTypes spec) { return MIDIEventFilter(spec); }
    static MIDIEventFilter sysCommon(MIDIEvent::SysCommonTypes spec) { return MIDIEventFilter(spec); }
    static MIDIEventFilter sysRealTime(MIDIEvent::SysRealTimeTypes spec) { return MIDIEventFilter(spec); }
    static MIDIEventFilter utility(MIDIEvent::UtilityTypes spec) { return MIDIEventFilter(spec); }
    static MIDIEventFilter group(UInt4 group) { return MIDIEventFilter(group); }
    static MIDIEventFilter groups(std::vector<UInt4> groups) { return MIDIEventFilter(std::move(groups)); }

    Case filterCase() const { return static_cast<Case>(payload_.index()); }
    const Payload& payload() const { return payload_; }

    // What the filter of the case returns.
    std::vector<MIDIEvent> apply(std::span<const MIDIEvent> events) const;

    friend bool operator==(const MIDIEventFilter&, const MIDIEventFilter&) = default;
    // The case, then the payload.
    size_t hash() const;

  private:
    template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, MIDIEventFilter>)
    explicit MIDIEventFilter(T&& value) : payload_(std::forward<T>(value)) {}
    Payload payload_;
};

// Filters applied one after the other: the events that pass every filter, in input order.
struct MIDIEventFilterGroup {
    std::vector<MIDIEventFilter> filters;

    MIDIEventFilterGroup() = default;
    explicit MIDIEventFilterGroup(std::vector<MIDIEventFilter> filters) : filters(std::move(filters)) {}
    explicit MIDIEventFilterGroup(MIDIEventFilter filter) : filters{std::move(filter)} {}

    // The input unchanged when there are no filters.
    std::vector<MIDIEvent> apply(std::span<const MIDIEvent> events) const;

    friend bool operator==(const MIDIEventFilterGroup&, const MIDIEventFilterGroup&) = default;
    size_t hash() const;
};

}  // namespace midicore

template <>
struct std::hash<midicore::MIDIEventFilter> {
    size_t operator()(const midicore::MIDIEventFilter& f) const { return f.hash(); }
};
template <>
struct std::hash<midicore::MIDIEventFilterGroup> {
    size_t operator()(const midicore::MIDIEventFilterGroup& g) const { return g.hash(); }
};
