#include "hui/surface_model.hpp"

namespace hui {

using midicore::UInt4;

namespace {

using Notification = HUISurfaceModelNotification;
using StripComponent = HUISurfaceModelChannelStripComponent;
using ParamComponent = HUISurfaceModelParamEditComponent;

// Calls f(part, which) with the part of the model that stores the lamps of the switch's category
// and the switch's case in that category; nothing for undefined switches and strips 8-15.
template <class Model, class F>
void visitComponent(Model& m, const HUISwitch& s, F&& f) {
    using C = HUISwitch::Case;
    using S = HUISwitch;
    switch (s.switchCase()) {
        case C::channelStrip:
            if (auto* strip = m.channelStrip(*s.channel()))
                f(*strip, *s.category<S::ChannelStrip>());
            return;
        case C::hotKey:
            f(m.hotKeys, *s.category<S::HotKey>());
            return;
        case C::window:
            f(m.windowFunctions, *s.category<S::Window>());
            return;
        case C::bankMove:
            f(m.bankMove, *s.category<S::BankMove>());
            return;
        case C::assign:
            f(m.assign, *s.category<S::Assign>());
            return;
        case C::cursor:
            f(m.cursor, *s.category<S::Cursor>());
            return;
        case C::transport:
            f(m.transport, *s.category<S::Transport>());
            return;
        case C::controlRoom:
            f(m.controlRoom, *s.category<S::ControlRoom>());
            return;
        case C::numPad:
            f(m.numPad, *s.category<S::NumPad>());
            return;
        case C::timeDisplayStatus:
            f(m.timeDisplay, *s.category<S::TimeDisplayStatus>());
            return;
        case C::autoEnable:
            f(m.autoEnable, *s.category<S::AutoEnable>());
            return;
        case C::autoMode:
            f(m.autoMode, *s.category<S::AutoMode>());
            return;
        case C::statusAndGroup:
            f(m.statusAndGroup, *s.category<S::StatusAndGroup>());
            return;
        case C::edit:
            f(m.edit, *s.category<S::Edit>());
            return;
        case C::functionKey:
            f(m.functionKey, *s.category<S::FunctionKey>());
            return;
        case C::paramEdit:
            f(m.parameterEdit, *s.category<S::ParameterEdit>());
            return;
        case C::footswitchesAndSounds:
            f(m.footswitchesAndSounds, *s.category<S::FootswitchesAndSounds>());
            return;
        case C::undefined:
            return;
    }
}

// The parameter V-Pot ring of edit-assign A-D (1-4), none for the other V-Pots.
template <class Model>
auto paramRing(Model& m, const HUIVPot& vPot) -> decltype(&m.parameterEdit.param1VPotDisplay) {
    switch (vPot.vPotCase()) {
        case HUIVPot::Case::editAssignA:
            return &m.parameterEdit.param1VPotDisplay;
        case HUIVPot::Case::editAssignB:
            return &m.parameterEdit.param2VPotDisplay;
        case HUIVPot::Case::editAssignC:
            return &m.parameterEdit.param3VPotDisplay;
        case HUIVPot::Case::editAssignD:
            return &m.parameterEdit.param4VPotDisplay;
        default:
            return nullptr;
    }
}

}  // namespace

std::string HUISurfaceModelUpdateResult::description() const {
    if (const auto* n = notification()) return "changed(" + n->description() + ")";
    if (const auto* e = event()) return "unhandled(" + e->description() + ")";
    return "unchanged";
}

bool HUISurfaceModel::setChannelStrips(const std::vector<ChannelStrip>& strips) {
    if (strips.size() != channelStripCount) return false;
    std::copy(strips.begin(), strips.end(), channelStrips_.begin());
    return true;
}

const HUISurfaceModel::ChannelStrip* HUISurfaceModel::channelStrip(UInt4 channel) const {
    return channel.value() < channelStripCount ? &channelStrips_[channel.value()] : nullptr;
}

HUISurfaceModel::ChannelStrip* HUISurfaceModel::channelStrip(UInt4 channel) {
    return channel.value() < channelStripCount ? &channelStrips_[channel.value()] : nullptr;
}

bool HUISurfaceModel::state(const HUISwitch& which) const {
    bool on = false;
    visitComponent(*this, which, [&](const auto& part, auto c) { on = part.state(c); });
    return on;
}

void HUISurfaceModel::setState(const HUISwitch& which, bool on) {
    visitComponent(*this, which, [&](auto& part, auto c) { part.setState(c, on); });
}

HUIVPotDisplay HUISurfaceModel::vPotDisplay(const HUIVPot& vPot) const {
    if (const auto strip = vPot.channelNumber()) {
        const auto* s = channelStrip(*strip);
        return s ? s->vPotDisplay : HUIVPotDisplay::allOff();
    }
    const auto* ring = paramRing(*this, vPot);
    return ring ? *ring : HUIVPotDisplay::allOff();
}

HUISurfaceModelUpdateResult HUISurfaceModel::updateState(const HUIHostEvent& event,
                                                         bool alwaysNotify) {
    // What to report after storing: nothing when the value stayed and no report is asked for.
    const auto report = [&](bool same, Notification notification) {
        if (same && !alwaysNotify) return UpdateResult::unchanged();
        return UpdateResult::changed(std::move(notification));
    };
    const auto unhandled = [&] { return UpdateResult::unhandled(event); };

    return event.visit([&](const auto& e) -> UpdateResult {
        using P = std::decay_t<decltype(e)>;
        namespace p = eventpayloads;
        if constexpr (std::is_same_v<P, p::Ping>) {
            return UpdateResult::changed(Notification::ping());
        } else if constexpr (std::is_same_v<P, p::Switch>) {
            const HUISwitch& s = e.huiSwitch;
            if (const auto strip = s.channel(); strip && !channelStrip(*strip)) return unhandled();
            const bool old = state(s);
            setState(s, e.state);
            if (!alwaysNotify && old == e.state) return UpdateResult::unchanged();
            if (s.switchCase() == HUISwitch::Case::undefined) return unhandled();
            std::optional<Notification> notification;
            visitComponent(*this, s, [&](const auto&, auto which) {
                using W = decltype(which);
                if constexpr (std::is_same_v<W, HUISwitch::ChannelStrip>) {
                    // The fader's touch is the surface's own: never announced.
                    if (auto c = StripComponent::lamp(which, e.state))
                        notification = Notification::channelStrip(*s.channel(), *c);
                } else if constexpr (std::is_same_v<W, HUISwitch::ParameterEdit>) {
                    notification = Notification::paramEdit(ParamComponent::lamp(which, e.state));
                } else {
                    notification = Notification::lamp(which, e.state);
                }
            });
            if (!notification) return UpdateResult::unchanged();
            return UpdateResult::changed(std::move(*notification));
        } else if constexpr (std::is_same_v<P, p::FaderLevel>) {
            auto* strip = channelStrip(e.channelStrip);
            if (!strip) return unhandled();
            const bool same = strip->fader.level == e.level;
            strip->fader.level = e.level;
            return report(same, Notification::channelStrip(e.channelStrip,
                                                           StripComponent::faderLevel(e.level)));
        } else if constexpr (std::is_same_v<P, p::LevelMeter>) {
            auto* strip = channelStrip(e.channelStrip);
            if (!strip) return unhandled();
            // Compared and reported as received; stored clamped.
            const bool same = strip->levelMeter.level(e.side) == e.level;
            strip->levelMeter.setLevel(e.side, e.level);
            return report(same, Notification::channelStrip(
                                    e.channelStrip, StripComponent::levelMeter(e.side, e.level)));
        } else if constexpr (std::is_same_v<P, p::VPotRing>) {
            if (const auto channel = e.vPot.channelNumber()) {
                auto* strip = channelStrip(*channel);
                if (!strip) return unhandled();
                const bool same = strip->vPotDisplay == e.display;
                strip->vPotDisplay = e.display;
                return report(
                    same, Notification::channelStrip(*channel, StripComponent::vPot(e.display)));
            }
            auto* ring = paramRing(*this, e.vPot);
            if (!ring) return UpdateResult::unchanged();  // the scroll V-Pot has no ring
            const bool same = *ring == e.display;
            *ring = e.display;
            const int parameter = static_cast<int>(e.vPot.number().value()) - 7;
            return report(same,
                          Notification::paramEdit(ParamComponent::paramVPot(parameter, e.display)));
        } else if constexpr (std::is_same_v<P, p::LargeDisplay>) {
            if (e.slices.empty()) return UpdateResult::unchanged();
            const bool changed = largeDisplay.update(e.slices);
            return report(!changed,
                          Notification::largeDisplay(largeDisplay.top, largeDisplay.bottom));
        } else if constexpr (std::is_same_v<P, p::TimeDisplay>) {
            if (e.charsRightToLeft.empty()) return UpdateResult::unchanged();
            const bool changed = timeDisplay.timeString.update(e.charsRightToLeft);
            return report(!changed, Notification::timeDisplay(timeDisplay.timeString));
        } else if constexpr (std::is_same_v<P, p::SelectAssignDisplay>) {
            const bool same = assign.textDisplay == e.text;
            assign.textDisplay = e.text;
            return report(same, Notification::selectAssignDisplay(e.text));
        } else {
            static_assert(std::is_same_v<P, p::ChannelDisplay>);
            auto* strip = channelStrip(e.channelStrip);
            if (!strip) return unhandled();
            const bool same = strip->nameDisplay == e.text;
            strip->nameDisplay = e.text;
            return report(same, Notification::channelStrip(e.channelStrip,
                                                           StripComponent::nameDisplay(e.text)));
        }
    });
}

std::size_t HUISurfaceModel::hash() const {
    detail::HashFeed feed;
    feed.add(channelStrips_.size());
    for (const auto& strip : channelStrips_)
        feed.add(strip.hash());
    for (const std::size_t h :
         {timeDisplay.hash(), largeDisplay.hash(), transport.hash(), hotKeys.hash(),
          windowFunctions.hash(), bankMove.hash(), assign.hash(), cursor.hash(), controlRoom.hash(),
          numPad.hash(), autoEnable.hash(), autoMode.hash(), statusAndGroup.hash(), edit.hash(),
          functionKey.hash(), parameterEdit.hash(), footswitchesAndSounds.hash()})
        feed.add(h);
    return feed.value();
}

}  // namespace hui
