// The two vocabularies of a link: what a host tells a surface (HUIHostEvent) and what a surface
// tells a host (HUISurfaceEvent). Each event encodes itself into the MIDI messages that carry it,
// all on channel 0, group 0.
#pragma once

#include <cstdint>
#include <vector>

#include "hui/event_payloads.hpp"
#include "midi_core/midi_event.hpp"

namespace hui {

// What both event vocabularies derive from.
struct HUIEvent {};

class HUIHostEvent
    : public HUIEvent,
      public detail::SharedEventCases<HUIHostEvent>,
      public detail::EventUnion<eventpayloads::Ping, eventpayloads::Switch,
                                eventpayloads::FaderLevel, eventpayloads::LevelMeter,
                                eventpayloads::VPotRing, eventpayloads::LargeDisplay,
                                eventpayloads::TimeDisplay, eventpayloads::SelectAssignDisplay,
                                eventpayloads::ChannelDisplay> {
  public:
    enum class Case : std::uint8_t {
        ping,
        switch_,
        faderLevel,
        levelMeter,
        vPot,
        largeDisplay,
        timeDisplay,
        selectAssignDisplay,
        channelDisplay
    };

    using VPot = eventpayloads::VPotRing;
    using LargeDisplay = eventpayloads::LargeDisplay;
    using TimeDisplay = eventpayloads::TimeDisplay;
    using SelectAssignDisplay = eventpayloads::SelectAssignDisplay;
    using ChannelDisplay = eventpayloads::ChannelDisplay;

    template <class P>
    requires std::is_constructible_v<Payload, P&&> HUIHostEvent(P&& payload)
        : EventUnion(std::forward<P>(payload)) {}

    static HUIHostEvent vPot(HUIVPot vPot, HUIVPotDisplay display) { return VPot{vPot, display}; }

    Case eventCase() const { return static_cast<Case>(caseIndex()); }

    // The messages that carry the event to a surface. What the wire cannot carry gives no
    // messages: a strip above 7 (for faders, strip V-Pots and name displays), a time display
    // without characters, large-display slices without characters. A time display longer than
    // eight characters is cut to its first eight.
    std::vector<midicore::MIDIEvent> encode() const;
};

class HUISurfaceEvent
    : public HUIEvent,
      public detail::SharedEventCases<HUISurfaceEvent>,
      public detail::EventUnion<eventpayloads::Ping, eventpayloads::Switch,
                                eventpayloads::FaderLevel, eventpayloads::LevelMeter,
                                eventpayloads::VPotTurn, eventpayloads::JogWheel,
                                eventpayloads::SystemReset> {
  public:
    enum class Case : std::uint8_t {
        ping,
        switch_,
        faderLevel,
        levelMeter,
        vPot,
        jogWheel,
        systemReset
    };

    using VPot = eventpayloads::VPotTurn;
    using JogWheel = eventpayloads::JogWheel;
    using SystemReset = eventpayloads::SystemReset;

    template <class P>
    requires std::is_constructible_v<Payload, P&&> HUISurfaceEvent(P&& payload)
        : EventUnion(std::forward<P>(payload)) {}

    static HUISurfaceEvent vPot(HUIVPot vPot, midicore::Int7 delta) { return VPot{vPot, delta}; }

    Case eventCase() const { return static_cast<Case>(caseIndex()); }

    // The messages that carry the event to a host; deltas of 0 are sent too. A strip above 7
    // (faders, strip V-Pots) gives no messages.
    std::vector<midicore::MIDIEvent> encode() const;
};

}  // namespace hui

template <>
struct std::hash<hui::HUIHostEvent> {
    std::size_t operator()(const hui::HUIHostEvent& e) const { return e.hash(); }
};
template <>
struct std::hash<hui::HUISurfaceEvent> {
    std::size_t operator()(const hui::HUISurfaceEvent& e) const { return e.hash(); }
};
