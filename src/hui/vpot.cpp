#include "hui/vpot.hpp"

#include <cmath>

#include "hui/detail/hash_feed.hpp"

namespace hui {

namespace {

using LED = HUIVPotDisplay::LED;
using LEDState = HUIVPotDisplay::LEDState;

constexpr const char* vPotCaseNames[] = {"channel",     "editAssignA", "editAssignB",
                                         "editAssignC", "editAssignD", "editAssignScroll"};
constexpr const char* ledNames[] = {"L5", "L4", "L3", "L2", "L1", "C",
                                    "R1", "R2", "R3", "R4", "R5"};

// The mask bit of an LED: bit 10 for L5 down to bit 0 for R5.
constexpr std::uint16_t bitOf(LED led) {
    return static_cast<std::uint16_t>(1u << (LED::R5 - led.rawValue()));
}

// The bits of every LED from `lower` through `upper`.
constexpr std::uint16_t span(LED lower, LED upper) {
    std::uint16_t mask = 0;
    for (auto p = lower.rawValue(); p <= upper.rawValue(); ++p)
        mask |= bitOf(*LED::fromRawValue(p));
    return mask;
}

}  // namespace

std::size_t HUIVPot::hash() const {
    detail::HashFeed feed;
    feed.add(static_cast<std::size_t>(case_));
    if (case_ == Case::channel) feed.add(strip_.value());
    return feed.value();
}

std::string HUIVPot::description() const {
    const std::string name = vPotCaseNames[static_cast<std::size_t>(case_)];
    return case_ == Case::channel ? name + "(" + strip_.description() + ")" : name;
}

std::optional<LED> LED::fromRadiusUnitInterval(double x) {
    if (!(x >= 0.0 && x <= 1.0)) return std::nullopt;
    if (x == 1.0) return L5;
    // The thresholds 0.2, 0.4, 0.6 and 0.8 as written, free of rounding in x * 5.
    int radius = 0;
    for (const double threshold : {0.2, 0.4, 0.6, 0.8}) {
        if (x >= threshold) ++radius;
    }
    return fromRadius(radius);
}

LED LED::fromUnitIntervalPosition(double x) {
    const double scaled = x * 10.0;
    if (!(scaled > 0.0)) return L5;  // NaN as well
    if (scaled >= 10.0) return R5;
    return LED(static_cast<Value>(static_cast<int>(scaled)));
}

std::string LED::description() const {
    return ledNames[position_];
}

LEDState LEDState::singleFromUnitIntervalPosition(double x) {
    return single(LED::fromUnitIntervalPosition(x));
}
LEDState LEDState::centerFromUnitIntervalPosition(double x) {
    return center(LED::fromUnitIntervalPosition(x));
}
LEDState LEDState::leftFromUnitIntervalPosition(double x) {
    return left(LED::fromUnitIntervalPosition(x));
}
LEDState LEDState::centerRadiusFromUnitInterval(double x) {
    const auto led = LED::fromRadiusUnitInterval(x);
    return led ? centerRadius(*led) : allOff();
}

std::optional<LEDState> LEDState::fromRawValue(std::uint8_t code) {
    if (code & 0x80) return std::nullopt;
    const int high = (code >> 4) & 0x3;
    const int low = code & 0x0F;
    if (low == 0) return allOff();
    if (high == 3) {
        // 0x31-0x36 a radius of 0-5; 0x37-0x3B light the full ring like 0x36.
        if (low >= 12) return allOff();
        return centerRadius(*LED::fromRadius(std::min(low - 1, 5)));
    }
    const auto led = LED::fromRawValue(static_cast<std::uint8_t>(low - 1));
    if (!led) return allOff();
    switch (high) {
        case 0:
            return single(*led);
        case 1:
            return center(*led);
        default:
            return left(*led);
    }
}

const std::array<LEDState, 45>& LEDState::allCases() {
    using Make = LEDState (*)(LED);
    static constexpr Make makers[] = {&LEDState::single, &LEDState::left, &LEDState::center,
                                      &LEDState::centerRadius};
    static const std::array<LEDState, 45> cases = []<std::size_t... i>(std::index_sequence<i...>) {
        // allOff, then eleven of each maker.
        return std::array<LEDState, 45>{
            (i == 0 ? allOff() : makers[(i - 1) / 11](LED::allCases()[(i - 1) % 11]))...};
    }
    (std::make_index_sequence<45>());
    return cases;
}

midicore::UInt7 LEDState::rawValue() const {
    const auto p = led_.rawValue();
    switch (case_) {
        case Case::single:
            return midicore::UInt7(0x01 + p);
        case Case::center:
            return midicore::UInt7(0x11 + p);
        case Case::left:
            return midicore::UInt7(0x21 + p);
        case Case::centerRadius:
            return midicore::UInt7(0x31 + led_.radius());
        case Case::allOff:
            break;
    }
    return midicore::UInt7(0);
}

std::optional<std::pair<LED, LED>> LEDState::bounds() const {
    switch (case_) {
        case Case::single:
            return std::pair{led_, led_};
        case Case::center:
            return led_ < LED::C ? std::pair{led_, LED(LED::C)} : std::pair{LED(LED::C), led_};
        case Case::left:
            return std::pair{LED(LED::L5), led_};
        case Case::centerRadius:
            return std::pair{LED(static_cast<LED::Value>(LED::C - led_.radius())),
                             LED(static_cast<LED::Value>(LED::C + led_.radius()))};
        case Case::allOff:
            break;
    }
    return std::nullopt;
}

std::uint16_t LEDState::litMask() const {
    // Every pattern lights one unbroken run of LEDs.
    const auto range = bounds();
    return range ? span(range->first, range->second) : 0;
}

std::optional<std::pair<double, double>> LEDState::unitIntervalRange() const {
    const auto range = bounds();
    if (!range) return std::nullopt;
    return std::pair{range->first.rawValue() / 11.0, (range->second.rawValue() + 1) / 11.0};
}

std::string LEDState::description(char lit, char unlit) const {
    const std::uint16_t mask = litMask();
    std::string text;
    for (const LED led : LED::allCases())
        text += (mask & bitOf(led)) ? lit : unlit;
    return text;
}

std::string LEDState::description() const {
    return "[" + description('*', ' ') + "]";
}

std::size_t LEDState::hash() const {
    detail::HashFeed feed;
    feed.add(static_cast<std::size_t>(case_));
    if (case_ != Case::allOff) feed.add(led_.rawValue());
    return feed.value();
}

midicore::UInt7 HUIVPotDisplay::rawValue() const {
    return leds.rawValue() + midicore::UInt7(lowerLED ? 0x40 : 0x00);
}

HUIVPotDisplay HUIVPotDisplay::fromRingByte(midicore::UInt7 byte) {
    const auto b = byte.value();
    if (b < 0x3C) return {LEDState::fromRawValue(b).value_or(LEDState::allOff()), false};
    if (b >= 0x40 && b <= 0x7B) {
        return {LEDState::fromRawValue(b & 0x3F).value_or(LEDState::allOff()), true};
    }
    return allOff();
}

std::size_t HUIVPotDisplay::hash() const {
    detail::HashFeed feed;
    feed.add(leds.hash());
    feed.add(lowerLED ? 1 : 0);
    return feed.value();
}

std::string HUIVPotDisplay::description() const {
    return "HUIVPotDisplay(leds: " + leds.description() +
           ", lowerLED: " + (lowerLED ? "true" : "false") + ")";
}

std::size_t HUIVPotValue::hash() const {
    detail::HashFeed feed;
    feed.add(static_cast<std::size_t>(case_));
    feed.add(case_ == Case::display ? display_.hash() : delta_.hash());
    return feed.value();
}

std::string HUIVPotValue::description() const {
    return case_ == Case::display ? "display(" + display_.description() + ")"
                                  : "delta(" + delta_.description() + ")";
}

}  // namespace hui
