#include "hui/event_payloads.hpp"

namespace hui::eventpayloads {

namespace {

template <class Chars>
std::string joinedText(const Chars& chars) {
    std::string text;
    for (const auto& c : chars)
        text += c.string();
    return text;
}

}  // namespace

std::string Switch::description() const {
    return "switch(" + huiSwitch.description() + ", state: " + (state ? "on" : "off") + ")";
}

std::string FaderLevel::description() const {
    return "faderLevel(channelStrip: " + channelStrip.description() +
           ", level: " + level.description() + ")";
}

std::string LevelMeter::description() const {
    return "levelMeter(channelStrip: " + channelStrip.description() +
           ", side: " + surfacemodel::description(side) + ", level: " + std::to_string(level) + ")";
}

std::string LargeDisplay::description() const {
    std::string items;
    for (const auto& [number, chars] : slices) {
        if (!items.empty()) items += ", ";
        items += "\"" + number.description() + ": " + joinedText(chars) + "\"";
    }
    return "largeDisplay(slices: [" + items + "])";
}

std::string TimeDisplay::description() const {
    std::string text;
    for (auto c = charsRightToLeft.rbegin(); c != charsRightToLeft.rend(); ++c)
        text += c->string();
    return "timeDisplay(chars: " + text + ")";
}

std::string SelectAssignDisplay::description() const {
    return "selectAssignDisplay(text: " + text.stringValue() + ")";
}

std::string ChannelDisplay::description() const {
    return "channelDisplay(channelStrip: " + channelStrip.description() +
           ", text: " + text.stringValue() + ")";
}

std::string JogWheel::description() const {
    return "jogWheel(delta: " + delta.description() + ")";
}

std::string VPot::description() const {
    return "vPot(" + vPot.description() + ", value: " + value.description() + ")";
}

std::string VPotRing::description() const {
    return "vPot(" + vPot.description() + ", display: " + display.description() + ")";
}

std::string VPotTurn::description() const {
    return "vPot(" + vPot.description() + ", delta: " + delta.description() + ")";
}

std::size_t fieldHash(const Slices& slices) {
    hui::detail::HashFeed feed;
    feed.add(slices.size());
    for (const auto& [number, chars] : slices) {
        feed.add(number.value());
        feed.add(chars.size());
        for (const auto& c : chars)
            feed.add(c.rawValue().value());
    }
    return feed.value();
}

std::size_t fieldHash(const std::vector<HUITimeDisplayCharacter>& chars) {
    hui::detail::HashFeed feed;
    feed.add(chars.size());
    for (const auto& c : chars)
        feed.add(c.rawValue().value());
    return feed.value();
}

}  // namespace hui::eventpayloads
