// The payloads of the HUI event types (the decoder's core events, the host's and the surface's
// events) and the tagged union they share. A payload is a plain record: equal when its fields are
// equal, hashed over its fields in order, and written in call form by description().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "hui/characters.hpp"
#include "hui/detail/hash_feed.hpp"
#include "hui/display_strings.hpp"
#include "hui/surface_model_components.hpp"
#include "hui/switches.hpp"
#include "hui/vpot.hpp"
#include "midi_core/int7.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace hui {

namespace eventpayloads {

using Side = surfacemodel::StereoLevelMeter::Side;
using Slices = surfacemodel::LargeDisplay::Slices;

// "ping".
struct Ping {
    friend bool operator==(const Ping&, const Ping&) = default;
    auto fields() const { return std::tuple<>(); }
    std::string description() const { return "ping"; }
};

// "systemReset".
struct SystemReset {
    friend bool operator==(const SystemReset&, const SystemReset&) = default;
    auto fields() const { return std::tuple<>(); }
    std::string description() const { return "systemReset"; }
};

// A switch lamp on or off (from a host), a switch pressed or released (from a surface).
struct Switch {
    HUISwitch huiSwitch;
    bool state = false;
    friend bool operator==(const Switch&, const Switch&) = default;
    auto fields() const { return std::tie(huiSwitch, state); }
    // "switch(transport(play), state: on)".
    std::string description() const;
};

struct FaderLevel {
    midicore::UInt4 channelStrip;
    midicore::UInt14 level;
    friend bool operator==(const FaderLevel&, const FaderLevel&) = default;
    auto fields() const { return std::tie(channelStrip, level); }
    // "faderLevel(channelStrip: 2, level: 16383)".
    std::string description() const;
};

// One side of a strip's level meter; the level as sent (not clamped).
struct LevelMeter {
    midicore::UInt4 channelStrip;
    Side side = Side::left;
    std::int64_t level = 0;
    friend bool operator==(const LevelMeter&, const LevelMeter&) = default;
    auto fields() const { return std::tie(channelStrip, side, level); }
    // "levelMeter(channelStrip: 3, side: right, level: 12)".
    std::string description() const;
};

// Slices of the large display by slice number.
struct LargeDisplay {
    Slices slices;
    friend bool operator==(const LargeDisplay&, const LargeDisplay&) = default;
    auto fields() const { return std::tie(slices); }
    // "largeDisplay(slices: [\"2: text of slice 2\", ...])", in ascending slice number.
    std::string description() const;
};

// Time display characters, rightmost first.
struct TimeDisplay {
    std::vector<HUITimeDisplayCharacter> charsRightToLeft;
    friend bool operator==(const TimeDisplay&, const TimeDisplay&) = default;
    auto fields() const { return std::tie(charsRightToLeft); }
    // "timeDisplay(chars: 1234)": left to right.
    std::string description() const;
};

struct SelectAssignDisplay {
    HUISmallDisplayString text;
    friend bool operator==(const SelectAssignDisplay&, const SelectAssignDisplay&) = default;
    auto fields() const { return std::tie(text); }
    // "selectAssignDisplay(text: abcd)".
    std::string description() const;
};

struct ChannelDisplay {
    midicore::UInt4 channelStrip;
    HUISmallDisplayString text;
    friend bool operator==(const ChannelDisplay&, const ChannelDisplay&) = default;
    auto fields() const { return std::tie(channelStrip, text); }
    // "channelDisplay(channelStrip: 1, text: abcd)".
    std::string description() const;
};

struct JogWheel {
    midicore::Int7 delta;
    friend bool operator==(const JogWheel&, const JogWheel&) = default;
    auto fields() const { return std::tie(delta); }
    // "jogWheel(delta: -3)".
    std::string description() const;
};

// A V-Pot value as the decoder reads it: a ring display or a delta.
struct VPot {
    HUIVPot vPot;
    HUIVPotValue value;
    friend bool operator==(const VPot&, const VPot&) = default;
    auto fields() const { return std::tie(vPot, value); }
    // "vPot(channel(3), value: delta(-1))".
    std::string description() const;
};

// A V-Pot ring display sent by a host.
struct VPotRing {
    HUIVPot vPot;
    HUIVPotDisplay display;
    friend bool operator==(const VPotRing&, const VPotRing&) = default;
    auto fields() const { return std::tie(vPot, display); }
    // "vPot(channel(3), display: HUIVPotDisplay(...))".
    std::string description() const;
};

// A V-Pot turn sent by a surface.
struct VPotTurn {
    HUIVPot vPot;
    midicore::Int7 delta;
    friend bool operator==(const VPotTurn&, const VPotTurn&) = default;
    auto fields() const { return std::tie(vPot, delta); }
    // "vPot(editAssignA, delta: 5)".
    std::string description() const;
};

// Integers, flags and enumerations hash as their number.
template <class T>
requires(std::is_integral_v<T> || std::is_enum_v<T>) std::size_t fieldHash(T value) {
    return static_cast<std::size_t>(value);
}
std::size_t fieldHash(const Slices& slices);
std::size_t fieldHash(const std::vector<HUITimeDisplayCharacter>& chars);
template <class T>
requires requires(const T& value) {
    value.hash();
}
std::size_t fieldHash(const T& value) {
    return value.hash();
}

}  // namespace eventpayloads

namespace detail {

// A tagged union over payload records: the case index is the payload's index among `Payloads`.
// Equal when the same case with equal payloads; hashed as the case index, then the payload's
// fields; written as the payload's text.
template <class... Payloads>
class EventUnion {
  public:
    using Payload = std::variant<Payloads...>;

    std::size_t caseIndex() const { return payload_.index(); }
    const Payload& payload() const { return payload_; }
    template <class P>
    bool is() const {
        return std::holds_alternative<P>(payload_);
    }
    // The payload when it is a P, else null.
    template <class P>
    const P* getIf() const {
        return std::get_if<P>(&payload_);
    }
    template <class F>
    decltype(auto) visit(F&& f) const {
        return std::visit(std::forward<F>(f), payload_);
    }

    std::size_t hash() const {
        HashFeed feed;
        feed.add(payload_.index());
        std::visit(
            [&](const auto& p) {
                std::apply(
                    [&](const auto&... field) { (feed.add(eventpayloads::fieldHash(field)), ...); },
                    p.fields());
            },
            payload_);
        return feed.value();
    }
    std::string description() const {
        return std::visit([](const auto& p) { return p.description(); }, payload_);
    }

    friend bool operator==(const EventUnion&, const EventUnion&) = default;

  protected:
    template <class P>
    explicit EventUnion(P&& payload) : payload_(std::forward<P>(payload)) {}

  private:
    Payload payload_;
};

// The factories of the cases that several event types share, for an event type `Event` over
// these payloads; a factory is there only where `Event` has the case.
template <class Event>
struct SharedEventCases {
    using Ping = eventpayloads::Ping;
    using Switch = eventpayloads::Switch;
    using FaderLevel = eventpayloads::FaderLevel;
    using LevelMeter = eventpayloads::LevelMeter;

    template <class P>
    static constexpr bool has = std::is_constructible_v<typename Event::Payload, P>;

    static Event ping() { return Ping{}; }
    static Event switch_(HUISwitch huiSwitch, bool state) { return Switch{huiSwitch, state}; }
    static Event faderLevel(midicore::UInt4 channelStrip, midicore::UInt14 level) {
        return FaderLevel{channelStrip, level};
    }
    static Event levelMeter(midicore::UInt4 channelStrip, eventpayloads::Side side,
                            std::int64_t level) {
        return LevelMeter{channelStrip, side, level};
    }
    static Event largeDisplay(
        eventpayloads::Slices slices) requires has<eventpayloads::LargeDisplay> {
        return eventpayloads::LargeDisplay{std::move(slices)};
    }
    static Event timeDisplay(std::vector<HUITimeDisplayCharacter> charsRightToLeft) requires
        has<eventpayloads::TimeDisplay> {
        return eventpayloads::TimeDisplay{std::move(charsRightToLeft)};
    }
    static Event selectAssignDisplay(
        HUISmallDisplayString text) requires has<eventpayloads::SelectAssignDisplay> {
        return eventpayloads::SelectAssignDisplay{text};
    }
    static Event channelDisplay(midicore::UInt4 channelStrip, HUISmallDisplayString text) requires
        has<eventpayloads::ChannelDisplay> {
        return eventpayloads::ChannelDisplay{channelStrip, text};
    }
    static Event jogWheel(midicore::Int7 delta) requires has<eventpayloads::JogWheel> {
        return eventpayloads::JogWheel{delta};
    }
    static Event systemReset() requires has<eventpayloads::SystemReset> {
        return eventpayloads::SystemReset{};
    }
};

}  // namespace detail

}  // namespace hui
