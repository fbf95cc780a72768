// The V-Pots of an HUI surface (one per channel strip, five in the edit-assign section) and what
// they show: a ring of eleven LEDs with a separate lower LED. A V-Pot value is either a ring
// display sent by the host or a rotation delta sent by the surface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "midi_core/int7.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace hui {

// A V-Pot: a channel strip's, or one of the edit-assign section.
class HUIVPot {
  public:
    enum class Case : std::uint8_t {
        channel,
        editAssignA,
        editAssignB,
        editAssignC,
        editAssignD,
        editAssignScroll,
    };

    // A strip's V-Pot; strips 0-7 exist on a surface.
    static constexpr HUIVPot channel(midicore::UInt4 strip) {
        return HUIVPot(Case::channel, strip);
    }
    static constexpr HUIVPot editAssignA() { return HUIVPot(Case::editAssignA, {}); }
    static constexpr HUIVPot editAssignB() { return HUIVPot(Case::editAssignB, {}); }
    static constexpr HUIVPot editAssignC() { return HUIVPot(Case::editAssignC, {}); }
    static constexpr HUIVPot editAssignD() { return HUIVPot(Case::editAssignD, {}); }
    static constexpr HUIVPot editAssignScroll() { return HUIVPot(Case::editAssignScroll, {}); }

    // The V-Pot of a wire number: 0-7 the strips, 8-12 the edit-assign V-Pots A, B, C, D and
    // scroll; none for any other number.
    static constexpr std::optional<HUIVPot> fromNumber(midicore::UInt4 number) {
        const auto n = number.value();
        if (n <= 7) return channel(number);
        if (n <= 12) return HUIVPot(static_cast<Case>(n - 7), {});
        return std::nullopt;
    }

    constexpr Case vPotCase() const { return case_; }
    // The strip of a channel V-Pot; none for the others.
    constexpr std::optional<midicore::UInt4> channelNumber() const {
        if (case_ != Case::channel) return std::nullopt;
        return strip_;
    }
    // The wire number: the strip for a channel V-Pot, 8-12 for the edit-assign V-Pots.
    constexpr midicore::UInt4 number() const {
        if (case_ == Case::channel) return strip_;
        return midicore::UInt4::truncating(static_cast<unsigned>(case_) + 7);
    }

    friend constexpr bool operator==(const HUIVPot&, const HUIVPot&) = default;
    std::size_t hash() const;
    // "channel(3)", "editAssignA", ...
    std::string description() const;

  private:
    constexpr HUIVPot(Case vPotCase, midicore::UInt4 strip) : case_(vPotCase), strip_(strip) {}

    Case case_;
    midicore::UInt4 strip_;  // 0 unless `channel`
};

// What a V-Pot's LEDs show: the ring pattern and the lower LED.
struct HUIVPotDisplay {
    // A pattern of the ring of eleven LEDs.
    class LEDState {
      public:
        // One LED of the ring, left to right.
        class LED {
          public:
            enum Value : std::uint8_t { L5, L4, L3, L2, L1, C, R1, R2, R3, R4, R5 };

            constexpr LED(Value value) : position_(value) {}

            // The LED at position 0-10; none above.
            static constexpr std::optional<LED> fromRawValue(std::uint8_t position) {
                if (position > R5) return std::nullopt;
                return LED(static_cast<Value>(position));
            }
            // The left-hand LED at that distance from C: 0 C, 1 L1, ... 5 L5; none otherwise.
            static constexpr std::optional<LED> fromRadius(int radius) {
                if (radius < 0 || radius > 5) return std::nullopt;
                return LED(static_cast<Value>(C - radius));
            }
            // The left-hand LED of a radius given as a unit interval: below 0.2 C, below 0.4 L1,
            // ... below 1 L4, exactly 1 L5; none outside 0...1 (and for NaN).
            static std::optional<LED> fromRadiusUnitInterval(double x);
            // The LED at the integer part of 10 x, clamped to the ring: 0 or below L5, 0.5 C,
            // 1 or above R5. NaN counts as 0.
            static LED fromUnitIntervalPosition(double x);

            static constexpr std::array<LED, 11> allCases() {
                return {L5, L4, L3, L2, L1, C, R1, R2, R3, R4, R5};
            }

            // The position, 0 (L5) to 10 (R5).
            constexpr std::uint8_t rawValue() const { return position_; }
            // The distance from C, 0-5.
            constexpr int radius() const { return position_ < C ? C - position_ : position_ - C; }
            constexpr double radiusUnitInterval() const { return radius() / 5.0; }
            constexpr double unitIntervalPosition() const { return position_ / 10.0; }

            friend constexpr bool operator==(LED, LED) = default;
            friend constexpr auto operator<=>(LED, LED) = default;
            // "L5" ... "C" ... "R5".
            std::string description() const;
            friend std::ostream& operator<<(std::ostream& out, LED led) {
                return out << led.description();
            }

          private:
            std::uint8_t position_;
        };

        enum class Case : std::uint8_t { single, center, left, centerRadius, allOff };

        // Only `led` lit.
        static constexpr LEDState single(LED led) { return LEDState(Case::single, led); }
        // Every LED from C to `to`, on whichever side it lies.
        static constexpr LEDState center(LED to) { return LEDState(Case::center, to); }
        // Every LED from L5 to `to`.
        static constexpr LEDState left(LED to) { return LEDState(Case::left, to); }
        // Every LED within the radius of `radius` from C, on both sides.
        static constexpr LEDState centerRadius(LED radius) {
            return LEDState(Case::centerRadius, radius);
        }
        static constexpr LEDState allOff() { return LEDState(Case::allOff, LED::C); }

        // The patterns with the LED of LED::fromUnitIntervalPosition(x).
        static LEDState singleFromUnitIntervalPosition(double x);
        static LEDState centerFromUnitIntervalPosition(double x);
        static LEDState leftFromUnitIntervalPosition(double x);
        // centerRadius with the LED of LED::fromRadiusUnitInterval(x), allOff where it has none.
        static LEDState centerRadiusFromUnitInterval(double x);

        // The pattern of a 6-bit code; bit 6 (the lower LED) is ignored, codes that name no
        // pattern read as allOff, and none only for a byte with bit 7 set. A radius reads back
        // as its left-hand LED.
        static std::optional<LEDState> fromRawValue(std::uint8_t code);

        // The 45 patterns: allOff, then single, left, center and centerRadius of each LED from
        // L5 to R5.
        static const std::array<LEDState, 45>& allCases();

        constexpr Case stateCase() const { return case_; }
        // The LED the pattern is built on; none for allOff.
        constexpr std::optional<LED> led() const {
            if (case_ == Case::allOff) return std::nullopt;
            return led_;
        }

        // The 6-bit pattern code: 0x00 allOff, 0x01 + position single, 0x11 + position center,
        // 0x21 + position left, 0x31 + radius centerRadius.
        midicore::UInt7 rawValue() const;
        // The lit LEDs: bit 10 L5 ... bit 0 R5.
        std::uint16_t litMask() const;
        // The first and last lit LED; none for allOff.
        std::optional<std::pair<LED, LED>> bounds() const;
        // lower / 11 ... (upper + 1) / 11 of the bounds; none for allOff.
        std::optional<std::pair<double, double>> unitIntervalRange() const;

        // "[" + one character per LED from L5 to R5, "*" lit and " " unlit + "]".
        std::string description() const;
        // The eleven characters alone, with the given ones for lit and unlit LEDs.
        std::string description(char lit, char unlit) const;

        friend constexpr bool operator==(const LEDState& a, const LEDState& b) {
            return a.case_ == b.case_ && (a.case_ == Case::allOff || a.led_ == b.led_);
        }
        std::size_t hash() const;
        friend std::ostream& operator<<(std::ostream& out, const LEDState& state) {
            return out << state.description();
        }

      private:
        constexpr LEDState(Case stateCase, LED led) : case_(stateCase), led_(led) {}

        Case case_;
        LED led_;  // C for allOff
    };

    using LED = LEDState::LED;

    LEDState leds = LEDState::allOff();
    bool lowerLED = false;

    // Nothing lit. A constant: the value every fresh display starts from.
    static constexpr HUIVPotDisplay allOff() { return HUIVPotDisplay{}; }

    // The ring byte a host sends: the pattern code, plus 0x40 with the lower LED.
    midicore::UInt7 rawValue() const;
    // The display of a ring byte received from a host: below 0x3C the pattern of the byte,
    // 0x40-0x7B the lower LED and the pattern of the low six bits, anything else all off.
    static HUIVPotDisplay fromRingByte(midicore::UInt7 byte);

    friend constexpr bool operator==(const HUIVPotDisplay&, const HUIVPotDisplay&) = default;
    std::size_t hash() const;
    // "HUIVPotDisplay(leds: [   *       ], lowerLED: true)".
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const HUIVPotDisplay& display) {
        return out << display.description();
    }
};

// A V-Pot value: the ring display a host sends, or the rotation a surface reports.
class HUIVPotValue {
  public:
    enum class Case : std::uint8_t { display, delta };

    static constexpr HUIVPotValue display(HUIVPotDisplay display) {
        return HUIVPotValue(Case::display, display, midicore::Int7());
    }
    static constexpr HUIVPotValue delta(midicore::Int7 delta) {
        return HUIVPotValue(Case::delta, HUIVPotDisplay{}, delta);
    }

    constexpr Case valueCase() const { return case_; }
    // The display of a `display` value; none for a delta.
    constexpr std::optional<HUIVPotDisplay> displayValue() const {
        if (case_ != Case::display) return std::nullopt;
        return display_;
    }
    // The delta of a `delta` value; none for a display.
    constexpr std::optional<midicore::Int7> deltaValue() const {
        if (case_ != Case::delta) return std::nullopt;
        return delta_;
    }

    friend constexpr bool operator==(const HUIVPotValue&, const HUIVPotValue&) = default;
    std::size_t hash() const;
    // "display(...)" or "delta(-3)".
    std::string description() const;

  private:
    constexpr HUIVPotValue(Case valueCase, HUIVPotDisplay display, midicore::Int7 delta)
        : case_(valueCase), display_(display), delta_(delta) {}

    Case case_;
    HUIVPotDisplay display_;  // all off for a delta
    midicore::Int7 delta_;    // 0 for a display
};

}  // namespace hui

template <>
struct std::hash<hui::HUIVPot> {
    std::size_t operator()(const hui::HUIVPot& v) const { return v.hash(); }
};
template <>
struct std::hash<hui::HUIVPotDisplay> {
    std::size_t operator()(const hui::HUIVPotDisplay& v) const { return v.hash(); }
};
template <>
struct std::hash<hui::HUIVPotDisplay::LEDState> {
    std::size_t operator()(const hui::HUIVPotDisplay::LEDState& v) const { return v.hash(); }
};
template <>
struct std::hash<hui::HUIVPotValue> {
    std::size_t operator()(const hui::HUIVPotValue& v) const { return v.hash(); }
};
