#include "hui/events.hpp"

#include "hui/protocol.hpp"

namespace hui {

using midicore::MIDIEvent;

namespace {

namespace p = eventpayloads;

std::vector<MIDIEvent> optionalEvent(std::optional<MIDIEvent> event) {
    if (!event) return {};
    return {std::move(*event)};
}

// The encodings both vocabularies share.
std::vector<MIDIEvent> sharedEncoding(const p::Switch& s, HUIRole to) {
    const auto address = s.huiSwitch.zoneAndPort();
    return encodeHUISwitch(address.zone, address.port, s.state, to);
}
std::vector<MIDIEvent> sharedEncoding(const p::FaderLevel& f, HUIRole) {
    return encodeHUIFaderLevel(f.level, f.channelStrip);
}
std::vector<MIDIEvent> sharedEncoding(const p::LevelMeter& m, HUIRole) {
    return {encodeHUILevelMeter(m.channelStrip, m.side, m.level)};
}

}  // namespace

std::vector<MIDIEvent> HUIHostEvent::encode() const {
    constexpr HUIRole to = HUIRole::surface;
    return visit([&](const auto& e) -> std::vector<MIDIEvent> {
        using P = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<P, p::Ping>) {
            return {protocol::hostPing()};
        } else if constexpr (std::is_same_v<P, p::VPotRing>) {
            return optionalEvent(encodeHUIVPot(e.display.rawValue(), e.vPot, to));
        } else if constexpr (std::is_same_v<P, p::LargeDisplay>) {
            return encodeHUILargeDisplay(e.slices);
        } else if constexpr (std::is_same_v<P, p::TimeDisplay>) {
            return optionalEvent(encodeHUITimeDisplay(e.charsRightToLeft));
        } else if constexpr (std::is_same_v<P, p::SelectAssignDisplay>) {
            return optionalEvent(encodeHUISmallDisplay(HUISmallDisplay::selectAssign(), e.text));
        } else if constexpr (std::is_same_v<P, p::ChannelDisplay>) {
            return optionalEvent(
                encodeHUISmallDisplay(HUISmallDisplay::channel(e.channelStrip), e.text));
        } else {
            return sharedEncoding(e, to);
        }
    });
}

std::vector<MIDIEvent> HUISurfaceEvent::encode() const {
    constexpr HUIRole to = HUIRole::host;
    return visit([&](const auto& e) -> std::vector<MIDIEvent> {
        using P = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<P, p::Ping>) {
            return {protocol::surfacePingReply()};
        } else if constexpr (std::is_same_v<P, p::SystemReset>) {
            return {protocol::systemResetEvent()};
        } else if constexpr (std::is_same_v<P, p::VPotTurn>) {
            return optionalEvent(encodeHUIVPot(encodeHUIDelta(e.delta), e.vPot, to));
        } else if constexpr (std::is_same_v<P, p::JogWheel>) {
            return {encodeHUIJogWheel(e.delta)};
        } else {
            return sharedEncoding(e, to);
        }
    });
}

}  // namespace hui
