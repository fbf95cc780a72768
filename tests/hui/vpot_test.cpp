// The lit-LED masks and ring-byte rules are typed in from the V-Pot LED ring table of the HUI
// protocol documentation (bit 10 is the leftmost LED, bit 0 the rightmost).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "hui/vpot.hpp"

namespace {

using hui::HUIVPot;
using hui::HUIVPotDisplay;
using hui::HUIVPotValue;
using LEDState = HUIVPotDisplay::LEDState;
using LED = HUIVPotDisplay::LED;
using midicore::UInt4;
using midicore::UInt7;

// The LEDs each pattern code 0x00-0x3F lights.
constexpr std::uint16_t maskOfCode[64] = {
    0x000, 0x400, 0x200, 0x100, 0x080, 0x040, 0x020, 0x010,  // 0x00-0x07
    0x008, 0x004, 0x002, 0x001, 0x000, 0x000, 0x000, 0x000,  // 0x08-0x0F
    0x000, 0x7E0, 0x3E0, 0x1E0, 0x0E0, 0x060, 0x020, 0x030,  // 0x10-0x17
    0x038, 0x03C, 0x03E, 0x03F, 0x000, 0x000, 0x000, 0x000,  // 0x18-0x1F
    0x000, 0x400, 0x600, 0x700, 0x780, 0x7C0, 0x7E0, 0x7F0,  // 0x20-0x27
    0x7F8, 0x7FC, 0x7FE, 0x7FF, 0x000, 0x000, 0x000, 0x000,  // 0x28-0x2F
    0x000, 0x020, 0x070, 0x0F8, 0x1FC, 0x3FE, 0x7FF, 0x7FF,  // 0x30-0x37
    0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x000, 0x000, 0x000, 0x000,  // 0x38-0x3F
};

TEST(HUIVPotDisplay, EveryRingByteDecodesToTheTabledLEDs) {
    for (unsigned byte = 0; byte < 128; ++byte) {
        const auto display = HUIVPotDisplay::fromRingByte(UInt7(byte));
        // 0x3C-0x3F and 0x7C-0x7F show nothing; 0x40-0x7B add the lower LED.
        const bool blank = (byte & 0x3F) >= 0x3C;
        const std::uint16_t mask = blank ? 0 : maskOfCode[byte & 0x3F];
        EXPECT_EQ(display.leds.litMask(), mask) << byte;
        EXPECT_EQ(display.lowerLED, !blank && byte >= 0x40) << byte;
        // What decodes to a pattern sends the same LEDs back.
        const auto sent = HUIVPotDisplay::fromRingByte(display.rawValue());
        EXPECT_EQ(sent.leds.litMask(), mask) << byte;
        EXPECT_EQ(sent.lowerLED, display.lowerLED) << byte;
    }
}

TEST(HUIVPotDisplay, PatternCodesAndTheirEdgeCases) {
    const HUIVPotDisplay centerR3{LEDState::center(LED::R3), true};
    EXPECT_EQ(centerR3.rawValue(), 0x59);
    EXPECT_EQ(HUIVPotDisplay::fromRingByte(UInt7(0x59)), centerR3);

    EXPECT_EQ(LEDState::fromRawValue(0x16), LEDState::center(LED::C));
    EXPECT_EQ(LEDState::fromRawValue(0x31), LEDState::centerRadius(LED::C));
    EXPECT_NE(LEDState::center(LED::C), LEDState::centerRadius(LED::C));
    for (const std::uint8_t code : {0x0C, 0x1F, 0x30, 0x3C}) {
        EXPECT_EQ(LEDState::fromRawValue(code), LEDState::allOff()) << int{code};
    }
    EXPECT_EQ(LEDState::fromRawValue(0x38), LEDState::centerRadius(LED::L5));
    EXPECT_EQ(LEDState::fromRawValue(0x80), std::nullopt);
    EXPECT_EQ(LEDState::centerRadius(LED::R2).rawValue(), 0x33);
    EXPECT_EQ(LEDState::fromRawValue(0x33), LEDState::centerRadius(LED::L2));

    EXPECT_EQ(HUIVPotDisplay::allOff().rawValue(), 0x00);
    EXPECT_EQ((HUIVPotDisplay{LEDState::allOff(), true}.rawValue()), 0x40);
    static_assert(HUIVPotDisplay::allOff() == HUIVPotDisplay{});
}

TEST(HUIVPotDisplay, AllPatternsInOrderAndBackFromTheirCodes) {
    const auto& all = LEDState::allCases();
    EXPECT_EQ(all[0], LEDState::allOff());
    EXPECT_EQ(all[1], LEDState::single(LED::L5));
    EXPECT_EQ(all[12], LEDState::left(LED::L5));
    EXPECT_EQ(all[23], LEDState::center(LED::L5));
    EXPECT_EQ(all[44], LEDState::centerRadius(LED::R5));
    std::unordered_set<LEDState> distinct(all.begin(), all.end());
    EXPECT_EQ(distinct.size(), 45u);
    for (const auto& state : all) {
        const auto back = LEDState::fromRawValue(state.rawValue().value());
        ASSERT_TRUE(back);
        // A radius reads back as its left-hand LED; everything else as itself.
        const bool rightRadius =
            state.stateCase() == LEDState::Case::centerRadius && *state.led() > LED::C;
        if (!rightRadius) {
            EXPECT_EQ(*back, state) << state;
        }
        EXPECT_EQ(back->litMask(), state.litMask()) << state;
    }
}

TEST(HUIVPotDisplay, LEDConversions) {
    EXPECT_EQ(LED::fromRadius(6), std::nullopt);
    EXPECT_EQ(LED(LED::R4).radius(), 4);
    EXPECT_EQ(LED::fromRadius(4), LED::L4);
    EXPECT_EQ(LED::fromRawValue(11), std::nullopt);

    struct Case {
        double x;
        std::optional<LED> radius;
        LED position;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {-0.1, std::nullopt, LED::L5}, {0.0, LED::C, LED::L5},  {0.19, LED::C, LED::L4},
        {0.2, LED::L1, LED::L3},       {0.5, LED::L2, LED::C},  {0.79, LED::L3, LED::R2},
        {0.8, LED::L4, LED::R3},       {1.0, LED::L5, LED::R5}, {1.01, std::nullopt, LED::R5},
        {nan, std::nullopt, LED::L5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LED::fromRadiusUnitInterval(c.x), c.radius) << c.x;
        EXPECT_EQ(LED::fromUnitIntervalPosition(c.x), c.position) << c.x;
    }
    EXPECT_EQ(LEDState::centerRadiusFromUnitInterval(-0.1), LEDState::allOff());
    EXPECT_EQ(LEDState::centerRadiusFromUnitInterval(0.45), LEDState::centerRadius(LED::L2));
    EXPECT_EQ(LEDState::leftFromUnitIntervalPosition(0.5), LEDState::left(LED::C));
    EXPECT_DOUBLE_EQ(LED(LED::R1).radiusUnitInterval(), 0.2);
    EXPECT_DOUBLE_EQ(LED(LED::R1).unitIntervalPosition(), 0.6);
}

TEST(HUIVPotDisplay, BoundsAndTexts) {
    EXPECT_EQ(LEDState::left(LED::C).description(), "[******     ]");
    EXPECT_EQ(LEDState::center(LED::R2).description('o', '.'), ".....ooo...");
    EXPECT_EQ(LEDState::allOff().description(), "[           ]");
    EXPECT_EQ(LEDState::center(LED::L2).bounds(), std::pair(LED(LED::L2), LED(LED::C)));
    EXPECT_EQ(LEDState::centerRadius(LED::R5).bounds(), std::pair(LED(LED::L5), LED(LED::R5)));
    EXPECT_EQ(LEDState::allOff().bounds(), std::nullopt);
    const auto range = LEDState::single(LED::R5).unitIntervalRange();
    ASSERT_TRUE(range);
    EXPECT_DOUBLE_EQ(range->first, 10.0 / 11.0);
    EXPECT_DOUBLE_EQ(range->second, 1.0);
    EXPECT_EQ(LED(LED::R3).description(), "R3");
}

TEST(HUIVPot, NumbersAndValues) {
    for (unsigned n = 0; n < 16; ++n) {
        const auto vPot = HUIVPot::fromNumber(UInt4(n));
        ASSERT_EQ(vPot.has_value(), n <= 12) << n;
        if (vPot) {
            EXPECT_EQ(vPot->number(), n);
        }
    }
    EXPECT_EQ(HUIVPot::fromNumber(UInt4(5)), HUIVPot::channel(UInt4(5)));
    EXPECT_EQ(HUIVPot::fromNumber(UInt4(8)), HUIVPot::editAssignA());
    EXPECT_EQ(HUIVPot::fromNumber(UInt4(12)), HUIVPot::editAssignScroll());
    EXPECT_EQ(HUIVPot::channel(UInt4(2)).description(), "channel(2)");

    const auto display = HUIVPotValue::display(HUIVPotDisplay{LEDState::single(LED::C), false});
    const auto delta = HUIVPotValue::delta(midicore::Int7(-3));
    EXPECT_NE(display, delta);
    EXPECT_EQ(delta.deltaValue(), midicore::Int7(-3));
    EXPECT_EQ(display.deltaValue(), std::nullopt);
    EXPECT_EQ(delta.description(), "delta(-3)");
}

}  // namespace
