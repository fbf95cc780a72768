#include "hui/notifications.hpp"

#include "midi_support/number_text.hpp"

namespace hui {

namespace {

constexpr std::string_view stripCaseNames[] = {
    "levelMeter", "recordReady", "insert",      "vPotSelect", "vPot",      "auto",
    "solo",       "mute",        "nameDisplay", "select",     "faderLevel"};
constexpr std::string_view paramEditCaseNames[] = {
    "assign",     "compare",      "bypass",     "param1Select", "param1VPot", "param2Select",
    "param2VPot", "param3Select", "param3VPot", "param4Select", "param4VPot", "insertOrParam"};

const char* boolText(bool value) {
    return value ? "true" : "false";
}

}  // namespace

namespace detail {

std::string_view caseName(StripCase c) {
    return stripCaseNames[static_cast<std::size_t>(c)];
}
std::string_view caseName(ParamEditCase c) {
    return paramEditCaseNames[static_cast<std::size_t>(c)];
}

}  // namespace detail

namespace notificationpayloads {

template <auto Tag>
std::string LampState<Tag>::description() const {
    return std::string(detail::caseName(Tag)) + "(state: " + boolText(state) + ")";
}

template <auto Tag>
std::string RingDisplay<Tag>::description() const {
    return std::string(detail::caseName(Tag)) + "(" + display.description() + ")";
}

template struct LampState<StripCase::recordReady>;
template struct LampState<StripCase::insert>;
template struct LampState<StripCase::vPotSelect>;
template struct LampState<StripCase::auto_>;
template struct LampState<StripCase::solo>;
template struct LampState<StripCase::mute>;
template struct LampState<StripCase::select>;
template struct RingDisplay<StripCase::vPot>;
template struct LampState<ParamEditCase::assign>;
template struct LampState<ParamEditCase::compare>;
template struct LampState<ParamEditCase::bypass>;
template struct LampState<ParamEditCase::param1Select>;
template struct LampState<ParamEditCase::param2Select>;
template struct LampState<ParamEditCase::param3Select>;
template struct LampState<ParamEditCase::param4Select>;
template struct LampState<ParamEditCase::insertOrParam>;
template struct RingDisplay<ParamEditCase::param1VPot>;
template struct RingDisplay<ParamEditCase::param2VPot>;
template struct RingDisplay<ParamEditCase::param3VPot>;
template struct RingDisplay<ParamEditCase::param4VPot>;

std::string MeterLevel::description() const {
    return "levelMeter(side: " + surfacemodel::description(side) +
           ", level: " + std::to_string(level) + ")";
}

std::string NameDisplay::description() const {
    return "nameDisplay(text: " + text.stringValue() + ")";
}

std::string FaderPosition::description() const {
    return "faderLevel(" + level.description() + ")";
}

std::string LargeDisplayLines::description() const {
    return "largeDisplay(top: " + top.stringValue() + ", bottom: " + bottom.stringValue() + ")";
}

std::string TimeDisplayString::description() const {
    return "timeDisplay(" + timeString.stringValue() + ")";
}

std::string SelectAssignText::description() const {
    return "selectAssignDisplay(" + text.stringValue() + ")";
}

std::string ChannelStripChange::description() const {
    return "channelStrip(channel: " + channel.description() + ", " + component.description() + ")";
}

std::string ParamEditChange::description() const {
    return "paramEdit(" + component.description() + ")";
}

std::string UndefinedSwitch::description() const {
    return "undefinedSwitch(zone: " + midisupport::hexString(zone, 2, true) +
           ", port: " + midisupport::hexString(port.value(), 1, true) +
           ", state: " + boolText(state) + ")";
}

}  // namespace notificationpayloads

std::optional<HUISurfaceModelChannelStripComponent> HUISurfaceModelChannelStripComponent::lamp(
    HUISwitch::ChannelStrip which, bool state) {
    namespace n = notificationpayloads;
    using S = HUISwitch::ChannelStrip;
    switch (which) {
        case S::recordReady:
            return n::LampState<Case::recordReady>{state};
        case S::insert:
            return n::LampState<Case::insert>{state};
        case S::vPotSelect:
            return n::LampState<Case::vPotSelect>{state};
        case S::auto_:
            return n::LampState<Case::auto_>{state};
        case S::solo:
            return n::LampState<Case::solo>{state};
        case S::mute:
            return n::LampState<Case::mute>{state};
        case S::select:
            return n::LampState<Case::select>{state};
        case S::faderTouched:
            break;
    }
    return std::nullopt;
}

HUISurfaceModelParamEditComponent HUISurfaceModelParamEditComponent::lamp(
    HUISwitch::ParameterEdit which, bool state) {
    namespace n = notificationpayloads;
    using S = HUISwitch::ParameterEdit;
    switch (which) {
        case S::assign:
            return n::LampState<Case::assign>{state};
        case S::compare:
            return n::LampState<Case::compare>{state};
        case S::bypass:
            return n::LampState<Case::bypass>{state};
        case S::param1Select:
            return n::LampState<Case::param1Select>{state};
        case S::param2Select:
            return n::LampState<Case::param2Select>{state};
        case S::param3Select:
            return n::LampState<Case::param3Select>{state};
        case S::param4Select:
            return n::LampState<Case::param4Select>{state};
        case S::insertOrParam:
            break;
    }
    return n::LampState<Case::insertOrParam>{state};
}

HUISurfaceModelParamEditComponent HUISurfaceModelParamEditComponent::paramVPot(
    int parameter, HUIVPotDisplay display) {
    namespace n = notificationpayloads;
    switch (parameter) {
        case 1:
            return n::RingDisplay<Case::param1VPot>{display};
        case 2:
            return n::RingDisplay<Case::param2VPot>{display};
        case 3:
            return n::RingDisplay<Case::param3VPot>{display};
        default:
            return n::RingDisplay<Case::param4VPot>{display};
    }
}

}  // namespace hui
