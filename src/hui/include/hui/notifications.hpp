// What changed on a surface, as the surface model reports it after applying a host event: the
// changed element and its new value, so that a drawing of the surface can update exactly that
// element. Channel-strip and parameter-edit changes carry a component naming the element.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hui/display_strings.hpp"
#include "hui/event_payloads.hpp"
#include "hui/switches.hpp"
#include "hui/vpot.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace hui {

namespace notificationpayloads {

// A lamp case `Tag` of a component: "<name>(state: true)".
template <auto Tag>
struct LampState {
    bool state = false;
    friend bool operator==(const LampState&, const LampState&) = default;
    auto fields() const { return std::tie(state); }
    std::string description() const;
};

// A V-Pot ring case `Tag` of a component: "<name>(HUIVPotDisplay(...))".
template <auto Tag>
struct RingDisplay {
    HUIVPotDisplay display;
    friend bool operator==(const RingDisplay&, const RingDisplay&) = default;
    auto fields() const { return std::tie(display); }
    std::string description() const;
};

// "levelMeter(side: right, level: 12)".
struct MeterLevel {
    eventpayloads::Side side = eventpayloads::Side::left;
    std::int64_t level = 0;
    friend bool operator==(const MeterLevel&, const MeterLevel&) = default;
    auto fields() const { return std::tie(side, level); }
    std::string description() const;
};

// "nameDisplay(text: Vox )".
struct NameDisplay {
    HUISmallDisplayString text;
    friend bool operator==(const NameDisplay&, const NameDisplay&) = default;
    auto fields() const { return std::tie(text); }
    std::string description() const;
};

// "faderLevel(16383)".
struct FaderPosition {
    midicore::UInt14 level;
    friend bool operator==(const FaderPosition&, const FaderPosition&) = default;
    auto fields() const { return std::tie(level); }
    std::string description() const;
};

}  // namespace notificationpayloads

namespace detail {
enum class StripCase : std::uint8_t {
    levelMeter,
    recordReady,
    insert,
    vPotSelect,
    vPot,
    auto_,
    solo,
    mute,
    nameDisplay,
    select,
    faderLevel
};
enum class ParamEditCase : std::uint8_t {
    assign,
    compare,
    bypass,
    param1Select,
    param1VPot,
    param2Select,
    param2VPot,
    param3Select,
    param3VPot,
    param4Select,
    param4VPot,
    insertOrParam
};
std::string_view caseName(StripCase c);
std::string_view caseName(ParamEditCase c);
}  // namespace detail

class HUISurfaceModelNotification;

namespace notificationpayloads {
using detail::ParamEditCase;
using detail::StripCase;
}  // namespace notificationpayloads

class HUISurfaceModelChannelStripComponent
    : public detail::EventUnion<notificationpayloads::MeterLevel,
                                notificationpayloads::LampState<detail::StripCase::recordReady>,
                                notificationpayloads::LampState<detail::StripCase::insert>,
                                notificationpayloads::LampState<detail::StripCase::vPotSelect>,
                                notificationpayloads::RingDisplay<detail::StripCase::vPot>,
                                notificationpayloads::LampState<detail::StripCase::auto_>,
                                notificationpayloads::LampState<detail::StripCase::solo>,
                                notificationpayloads::LampState<detail::StripCase::mute>,
                                notificationpayloads::NameDisplay,
                                notificationpayloads::LampState<detail::StripCase::select>,
                                notificationpayloads::FaderPosition> {
  public:
    using Case = detail::StripCase;

    template <class P>
    requires std::is_constructible_v<Payload, P&&> HUISurfaceModelChannelStripComponent(P&& p)
        : EventUnion(std::forward<P>(p)) {}

    static HUISurfaceModelChannelStripComponent levelMeter(eventpayloads::Side side,
                                                           std::int64_t level) {
        return notificationpayloads::MeterLevel{side, level};
    }
    // The lamp cases: recordReady, insert, vPotSelect, auto_, solo, mute, select (the strip's
    // faderTouched has no notification: none).
    static std::optional<HUISurfaceModelChannelStripComponent> lamp(HUISwitch::ChannelStrip which,
                                                                    bool state);
    static HUISurfaceModelChannelStripComponent vPot(HUIVPotDisplay display) {
        return notificationpayloads::RingDisplay<Case::vPot>{display};
    }
    static HUISurfaceModelChannelStripComponent nameDisplay(HUISmallDisplayString text) {
        return notificationpayloads::NameDisplay{text};
    }
    static HUISurfaceModelChannelStripComponent faderLevel(midicore::UInt14 level) {
        return notificationpayloads::FaderPosition{level};
    }

    Case componentCase() const { return static_cast<Case>(caseIndex()); }
};

class HUISurfaceModelParamEditComponent
    : public detail::EventUnion<
          notificationpayloads::LampState<detail::ParamEditCase::assign>,
          notificationpayloads::LampState<detail::ParamEditCase::compare>,
          notificationpayloads::LampState<detail::ParamEditCase::bypass>,
          notificationpayloads::LampState<detail::ParamEditCase::param1Select>,
          notificationpayloads::RingDisplay<detail::ParamEditCase::param1VPot>,
          notificationpayloads::LampState<detail::ParamEditCase::param2Select>,
          notificationpayloads::RingDisplay<detail::ParamEditCase::param2VPot>,
          notificationpayloads::LampState<detail::ParamEditCase::param3Select>,
          notificationpayloads::RingDisplay<detail::ParamEditCase::param3VPot>,
          notificationpayloads::LampState<detail::ParamEditCase::param4Select>,
          notificationpayloads::RingDisplay<detail::ParamEditCase::param4VPot>,
          notificationpayloads::LampState<detail::ParamEditCase::insertOrParam>> {
  public:
    using Case = detail::ParamEditCase;

    template <class P>
    requires std::is_constructible_v<Payload, P&&> HUISurfaceModelParamEditComponent(P&& p)
        : EventUnion(std::forward<P>(p)) {}

    // The eight switch cases.
    static HUISurfaceModelParamEditComponent lamp(HUISwitch::ParameterEdit which, bool state);
    // param1VPot, param2VPot, param3VPot for parameter 1, 2, 3; param4VPot for any other.
    static HUISurfaceModelParamEditComponent paramVPot(int parameter, HUIVPotDisplay display);

    Case componentCase() const { return static_cast<Case>(caseIndex()); }
};

namespace notificationpayloads {

// A lamp of a switch category: "<category>(<case>, state: true)".
template <class Category>
struct CategoryLamp {
    Category param{};
    bool state = false;
    friend bool operator==(const CategoryLamp&, const CategoryLamp&) = default;
    auto fields() const { return std::tie(param, state); }
    std::string description() const {
        return std::string(HUISwitch::caseName(hui::detail::SwitchCategory<Category>::switchCase)) +
               "(" + hui::description(param) + ", state: " + (state ? "true" : "false") + ")";
    }
};

// "largeDisplay(top: ..., bottom: ...)".
struct LargeDisplayLines {
    HUILargeDisplayString top;
    HUILargeDisplayString bottom;
    friend bool operator==(const LargeDisplayLines&, const LargeDisplayLines&) = default;
    auto fields() const { return std::tie(top, bottom); }
    std::string description() const;
};

// "timeDisplay(01.02.03.04)".
struct TimeDisplayString {
    HUITimeDisplayString timeString;
    friend bool operator==(const TimeDisplayString&, const TimeDisplayString&) = default;
    auto fields() const { return std::tie(timeString); }
    std::string description() const;
};

// "selectAssignDisplay(SndA)".
struct SelectAssignText {
    HUISmallDisplayString text;
    friend bool operator==(const SelectAssignText&, const SelectAssignText&) = default;
    auto fields() const { return std::tie(text); }
    std::string description() const;
};

// "channelStrip(channel: 2, mute(state: true))".
struct ChannelStripChange {
    midicore::UInt4 channel;
    HUISurfaceModelChannelStripComponent component;
    friend bool operator==(const ChannelStripChange&, const ChannelStripChange&) = default;
    auto fields() const { return std::tie(channel, component); }
    std::string description() const;
};

// "paramEdit(insertOrParam(state: true))".
struct ParamEditChange {
    HUISurfaceModelParamEditComponent component;
    friend bool operator==(const ParamEditChange&, const ParamEditChange&) = default;
    auto fields() const { return std::tie(component); }
    std::string description() const;
};

// "undefinedSwitch(zone: 0x1E, port: 0x2, state: true)".
struct UndefinedSwitch {
    std::uint8_t zone = 0;
    midicore::UInt4 port;
    bool state = false;
    friend bool operator==(const UndefinedSwitch&, const UndefinedSwitch&) = default;
    auto fields() const { return std::tie(zone, port, state); }
    std::string description() const;
};

}  // namespace notificationpayloads

class HUISurfaceModelNotification
    : public detail::EventUnion<
          eventpayloads::Ping, notificationpayloads::LargeDisplayLines,
          notificationpayloads::TimeDisplayString,
          notificationpayloads::CategoryLamp<HUISwitch::TimeDisplayStatus>,
          notificationpayloads::SelectAssignText, notificationpayloads::ChannelStripChange,
          notificationpayloads::CategoryLamp<HUISwitch::HotKey>,
          notificationpayloads::ParamEditChange,
          notificationpayloads::CategoryLamp<HUISwitch::FunctionKey>,
          notificationpayloads::CategoryLamp<HUISwitch::AutoEnable>,
          notificationpayloads::CategoryLamp<HUISwitch::AutoMode>,
          notificationpayloads::CategoryLamp<HUISwitch::StatusAndGroup>,
          notificationpayloads::CategoryLamp<HUISwitch::Edit>,
          notificationpayloads::CategoryLamp<HUISwitch::NumPad>,
          notificationpayloads::CategoryLamp<HUISwitch::Window>,
          notificationpayloads::CategoryLamp<HUISwitch::BankMove>,
          notificationpayloads::CategoryLamp<HUISwitch::Assign>,
          notificationpayloads::CategoryLamp<HUISwitch::Cursor>,
          notificationpayloads::CategoryLamp<HUISwitch::ControlRoom>,
          notificationpayloads::CategoryLamp<HUISwitch::Transport>,
          notificationpayloads::CategoryLamp<HUISwitch::FootswitchesAndSounds>,
          notificationpayloads::UndefinedSwitch> {
  public:
    enum class Case : std::uint8_t {
        ping,
        largeDisplay,
        timeDisplay,
        timeDisplayStatus,
        selectAssignDisplay,
        channelStrip,
        hotKey,
        paramEdit,
        functionKey,
        autoEnable,
        autoMode,
        statusAndGroup,
        edit,
        numPad,
        window,
        bankMove,
        assign,
        cursor,
        controlRoom,
        transport,
        footswitchesAndSounds,
        undefinedSwitch
    };

    using ChannelStripComponent = HUISurfaceModelChannelStripComponent;
    using ParamEditComponent = HUISurfaceModelParamEditComponent;

    template <class P>
    requires std::is_constructible_v<Payload, P&&> HUISurfaceModelNotification(P&& p)
        : EventUnion(std::forward<P>(p)) {}

    static HUISurfaceModelNotification ping() { return eventpayloads::Ping{}; }
    static HUISurfaceModelNotification largeDisplay(HUILargeDisplayString top,
                                                    HUILargeDisplayString bottom) {
        return notificationpayloads::LargeDisplayLines{top, bottom};
    }
    static HUISurfaceModelNotification timeDisplay(HUITimeDisplayString timeString) {
        return notificationpayloads::TimeDisplayString{timeString};
    }
    static HUISurfaceModelNotification selectAssignDisplay(HUISmallDisplayString text) {
        return notificationpayloads::SelectAssignText{text};
    }
    static HUISurfaceModelNotification channelStrip(midicore::UInt4 channel,
                                                    ChannelStripComponent component) {
        return notificationpayloads::ChannelStripChange{channel, std::move(component)};
    }
    static HUISurfaceModelNotification paramEdit(ParamEditComponent component) {
        return notificationpayloads::ParamEditChange{std::move(component)};
    }
    // The lamp of a category case: timeDisplayStatus, hotKey, functionKey, ... (the case named
    // after the category).
    template <class Category>
    static HUISurfaceModelNotification lamp(Category param, bool state) {
        return notificationpayloads::CategoryLamp<Category>{param, state};
    }
    static HUISurfaceModelNotification undefinedSwitch(std::uint8_t zone, midicore::UInt4 port,
                                                       bool state) {
        return notificationpayloads::UndefinedSwitch{zone, port, state};
    }

    Case notificationCase() const { return static_cast<Case>(caseIndex()); }
};

}  // namespace hui

template <>
struct std::hash<hui::HUISurfaceModelNotification> {
    std::size_t operator()(const hui::HUISurfaceModelNotification& n) const { return n.hash(); }
};
