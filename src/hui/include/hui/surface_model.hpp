// A surface's picture of everything a host can set on it: eight channel strips, the displays and
// the lamp of every switch. The surface role applies each host event with updateState and hands
// on what it reports. A plain value: no locks, no references; copying copies the state.
//
// Strips exist for channels 0-7 only. A switch, V-Pot or event naming strip 8-15 has no place
// here: it reads as off (or all-off), writing it does nothing, and an update reports `unhandled`.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <variant>
#include <vector>

#include "hui/events.hpp"
#include "hui/notifications.hpp"
#include "hui/surface_model_components.hpp"

namespace hui {

// The outcome of one update: what to announce, the event handed back when the model has no
// place for it, or nothing.
class HUISurfaceModelUpdateResult {
  public:
    enum class Case : std::uint8_t { changed, unhandled, unchanged };

    static HUISurfaceModelUpdateResult changed(HUISurfaceModelNotification notification) {
        return HUISurfaceModelUpdateResult(std::move(notification));
    }
    static HUISurfaceModelUpdateResult unhandled(HUIHostEvent event) {
        return HUISurfaceModelUpdateResult(std::move(event));
    }
    static HUISurfaceModelUpdateResult unchanged() {
        return HUISurfaceModelUpdateResult(std::monostate());
    }

    Case resultCase() const { return static_cast<Case>(value_.index()); }
    // The notification of `changed`; none for the others.
    const HUISurfaceModelNotification* notification() const {
        return std::get_if<HUISurfaceModelNotification>(&value_);
    }
    // The event of `unhandled`; none for the others.
    const HUIHostEvent* event() const { return std::get_if<HUIHostEvent>(&value_); }

    friend bool operator==(const HUISurfaceModelUpdateResult&,
                           const HUISurfaceModelUpdateResult&) = default;
    // "changed(...)", "unhandled(...)", "unchanged".
    std::string description() const;

  private:
    template <class V>
    explicit HUISurfaceModelUpdateResult(V&& value) : value_(std::forward<V>(value)) {}
    std::variant<HUISurfaceModelNotification, HUIHostEvent, std::monostate> value_;
};

class HUISurfaceModel {
  public:
    using Switch = HUISwitch;
    using ChannelStrip = surfacemodel::ChannelStrip;
    using Fader = surfacemodel::ChannelStrip::Fader;
    using StereoLevelMeter = surfacemodel::StereoLevelMeter;
    using LargeDisplay = surfacemodel::LargeDisplay;
    using TimeDisplay = surfacemodel::TimeDisplay;
    using Transport = surfacemodel::Transport;
    using HotKeys = surfacemodel::HotKeys;
    using WindowFunctions = surfacemodel::WindowFunctions;
    using BankMove = surfacemodel::BankMove;
    using Assign = surfacemodel::Assign;
    using Cursor = surfacemodel::Cursor;
    using ControlRoom = surfacemodel::ControlRoom;
    using NumPad = surfacemodel::NumPad;
    using AutoEnable = surfacemodel::AutoEnable;
    using AutoMode = surfacemodel::AutoMode;
    using StatusAndGroup = surfacemodel::StatusAndGroup;
    using Edit = surfacemodel::Edit;
    using FunctionKey = surfacemodel::FunctionKey;
    using ParameterEdit = surfacemodel::ParameterEdit;
    using FootswitchesAndSounds = surfacemodel::FootswitchesAndSounds;
    using UpdateResult = HUISurfaceModelUpdateResult;
    using Notification = HUISurfaceModelNotification;

    static constexpr std::size_t channelStripCount = 8;

  private:
    std::array<ChannelStrip, channelStripCount> channelStrips_{};

  public:
    TimeDisplay timeDisplay;
    LargeDisplay largeDisplay;
    Transport transport;
    HotKeys hotKeys;
    WindowFunctions windowFunctions;
    BankMove bankMove;
    Assign assign;
    Cursor cursor;
    ControlRoom controlRoom;
    NumPad numPad;
    AutoEnable autoEnable;
    AutoMode autoMode;
    StatusAndGroup statusAndGroup;
    Edit edit;
    FunctionKey functionKey;
    ParameterEdit parameterEdit;
    FootswitchesAndSounds footswitchesAndSounds;

    // The eight strips, indexed by channel.
    const std::array<ChannelStrip, channelStripCount>& channelStrips() const {
        return channelStrips_;
    }
    // Replaces the strips when `strips` holds exactly eight; any other count is ignored. True when
    // replaced.
    bool setChannelStrips(const std::vector<ChannelStrip>& strips);
    // Hands the strips to `modify` as a vector it may change in any way; afterwards the model keeps
    // the first eight, with default strips appended when fewer remain.
    template <class Modify>
    void modifyChannelStrips(Modify&& modify) {
        std::vector<ChannelStrip> strips(channelStrips_.begin(), channelStrips_.end());
        std::forward<Modify>(modify)(strips);
        strips.resize(channelStripCount);
        std::copy(strips.begin(), strips.end(), channelStrips_.begin());
    }
    // The strip of a channel 0-7; null for 8-15.
    const ChannelStrip* channelStrip(midicore::UInt4 channel) const;
    ChannelStrip* channelStrip(midicore::UInt4 channel);

    // The lamp of a switch, routed by category; false for switches the model does not store
    // (cursor arrows, undefined switches, strips 8-15).
    bool state(const HUISwitch& which) const;
    // Sets the lamp of a switch; does nothing for switches the model does not store.
    void setState(const HUISwitch& which, bool on);

    // The ring of a V-Pot: strip n's, the parameter V-Pots' for edit-assign A-D; all off for the
    // scroll V-Pot and strips 8-15, which the model does not store.
    HUIVPotDisplay vPotDisplay(const HUIVPot& vPot) const;

    // Applies one host event and says what to announce. With `alwaysNotify`, an event that leaves
    // the stored value as it was is still announced (except where nothing is stored at all).
    UpdateResult updateState(const HUIHostEvent& event, bool alwaysNotify);

    friend bool operator==(const HUISurfaceModel&, const HUISurfaceModel&) = default;
    // The strip count, each strip, then the other fields in order.
    std::size_t hash() const;
};

static_assert(HUISurfaceModelState<HUISurfaceModel>);

}  // namespace hui

template <>
struct std::hash<hui::HUISurfaceModel> {
    std::size_t operator()(const hui::HUISurfaceModel& m) const { return m.hash(); }
};
