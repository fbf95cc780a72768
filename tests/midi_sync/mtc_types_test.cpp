#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "midi_sync/mtc_types.hpp"

using namespace midisync;
using TFR = TimecodeFrameRate;

TEST(MTCDirection, FromTwoPieceIndices) {
    const struct {
        uint8_t previous, next;
        MTCDirection expected;
    } cases[] = {
        {7, 0, MTCDirection::forwards}, {0, 7, MTCDirection::backwards}, {3, 5, MTCDirection::ambiguous},
        {4, 4, MTCDirection::ambiguous}, {2, 1, MTCDirection::backwards}, {8, 0, MTCDirection::ambiguous},
        {0, 1, MTCDirection::forwards},  {6, 7, MTCDirection::forwards},  {1, 0, MTCDirection::backwards},
        {0, 8, MTCDirection::ambiguous}, {7, 6, MTCDirection::backwards}, {255, 254, MTCDirection::ambiguous},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MTCDirection::fromQuarterFrames(c.previous, c.next), c.expected)
            << int(c.previous) << " -> " << int(c.next);
}

TEST(MTCFrameRate, DerivedRatesPartitionTheTimecodeRates) {
    const struct {
        MTCFrameRate rate;
        std::vector<std::string_view> derived;
        std::string_view text;
    } cases[] = {
        {MTCFrameRate::mtc24, {"23.976", "24", "24.98", "47.952", "48", "95.904", "96"}, "SMPTE-24"},
        {MTCFrameRate::mtc25, {"25", "50", "100"}, "SMPTE-25"},
        {MTCFrameRate::mtc2997d, {"29.97d", "30d", "59.94d", "60d", "119.88d", "120d"}, "SMPTE-29.97d"},
        {MTCFrameRate::mtc30, {"29.97", "30", "59.94", "60", "119.88", "120"}, "SMPTE-30"},
    };
    size_t total = 0;
    for (const auto& c : cases) {
        std::vector<std::string_view> derived;
        for (TFR r : c.rate.derivedFrameRates()) derived.push_back(r.rawValue());
        EXPECT_EQ(derived, c.derived) << c.text;
        EXPECT_EQ(c.rate.stringValue(), c.text);
        EXPECT_EQ(c.rate.isDrop(), c.rate == MTCFrameRate::mtc2997d);
        // The direct equivalent is one of its own derived rates with the scale factor 1.
        EXPECT_TRUE(c.rate.isCompatible(c.rate.directEquivalentFrameRate()));
        EXPECT_EQ(mtcScaleFactor(c.rate.directEquivalentFrameRate()), 1.0);
        total += derived.size();
    }
    EXPECT_EQ(total, TFR::caseCount);
    EXPECT_EQ(MTCFrameRate::fromRateCode(2), MTCFrameRate::mtc2997d);
    EXPECT_EQ(MTCFrameRate::fromRateCode(0xFF), MTCFrameRate::mtc30);
}

TEST(MTCFrameRate, ScalingBetweenMTCAndLocalFrames) {
    const struct {
        MTCFrameRate mtc;
        int64_t frames;
        uint8_t quarters;
        TFR local;
        std::optional<double> expected;
    } cases[] = {
        {MTCFrameRate::mtc24, 10, 5, TFR::_24, 11.25},
        {MTCFrameRate::mtc24, 10, 5, TFR::_48, 22.5},
        {MTCFrameRate::mtc24, 10, 5, TFR::_25, std::nullopt},
        {MTCFrameRate::mtc24, 10, 0, TFR::_96, 40.0},
        {MTCFrameRate::mtc24, 24, 0, TFR::_24_98, 25.24},
        {MTCFrameRate::mtc24, 0, 0, TFR::_24_98, 0.0},
        {MTCFrameRate::mtc24, -4, 9, TFR::_24, 1.75},  // frames held at 0, quarters at 7
        {MTCFrameRate::mtc30, 2, 4, TFR::_60, 6.0},
        {MTCFrameRate::mtc2997d, 2, 0, TFR::_29_97, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = c.mtc.scaledFrames(c.frames, c.quarters, c.local);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.local.rawValue();
        if (got) {
            EXPECT_NEAR(*got, *c.expected, 1e-9) << c.local.rawValue();
        }
    }

    const struct {
        TFR rate;
        double local;
        MTCFramePosition expected;
    } back[] = {
        {TFR::_24, 23, {22, 4}}, {TFR::_48, 46, {22, 4}}, {TFR::_30, 11, {10, 4}},
        {TFR::_48, 10, {4, 4}},  {TFR::_120, 7, {0, 7}},  {TFR::_24_98, 25.24, {24, 1}},
    };
    for (const auto& c : back) EXPECT_EQ(mtcFrames(c.rate, c.local), c.expected) << c.rate.rawValue();
}

TEST(MTCFrameRate, FrameCountsWithoutAPositionAreRefused) {
    const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), -1.0, 1e300, 9.3e18};
    for (double x : bad) {
        try {
            mtcFrames(TFR::_30, x);
            ADD_FAILURE() << x << " was accepted";
        } catch (const MTCError& e) {
            EXPECT_EQ(e.errorCase(), MTCError::Case::invalidFrameCount);
        }
    }
}

TEST(MTCWire, HoursByteAndPieceSeven) {
    // 23 hours at 30 fps: 0 11 10111 in the full frame, and 0111 0111 as piece 7.
    EXPECT_EQ(wire::hoursByte(23, MTCFrameRate::mtc30), 0x77);
    EXPECT_EQ(0x70 | wire::quarterFrameNibble(7, 23, 0, 0, 0, MTCFrameRate::mtc30), 0x77);
    EXPECT_EQ(wire::hoursByte(1, MTCFrameRate::mtc2997d), 0x41);
}
