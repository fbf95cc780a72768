// Case counts, field names and the exceptional mappings are typed in from the component tables of
// the surface model's documentation.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <unordered_set>
#include <vector>

#include "hui/surface_model_components.hpp"

namespace {

namespace sm = hui::surfacemodel;
using hui::HUISwitch;
using midicore::UInt4;

// Every case of the part's switch enumeration, reading and writing one field of its own: fresh
// parts answer false, setting a case answers true for it alone, and no two cases share a field.
// `count` is the number of cases; `stored` says which of them the part keeps.
template <class Part>
void checkLamps(std::size_t count, std::vector<bool> stored = {}) {
    static_assert(hui::HUISurfaceModelState<Part>);
    using S = typename Part::Switch;
    if (stored.empty()) stored.assign(count, true);
    std::unordered_set<Part, decltype([](const Part& p) { return p.hash(); })> seen;
    for (std::size_t i = 0; i < count; ++i) {
        Part part;
        EXPECT_FALSE(part.state(static_cast<S>(i))) << i;
        part.setState(static_cast<S>(i), true);
        for (std::size_t j = 0; j < count; ++j) {
            EXPECT_EQ(part.state(static_cast<S>(j)), stored[i] && i == j) << i << " " << j;
        }
        EXPECT_EQ(part == Part(), !stored[i]) << i;
        if (stored[i]) {
            EXPECT_TRUE(seen.insert(part).second) << "case " << i << " shares a field";
        }
        part.setState(static_cast<S>(i), false);
        EXPECT_EQ(part, Part());
    }
    // One past the last case names no field.
    Part part;
    part.setState(static_cast<S>(count), true);
    EXPECT_EQ(part, Part());
}

TEST(HUISurfaceModelComponents, EverySwitchPartKeepsOneLampPerCase) {
    checkLamps<sm::ChannelStrip>(8);
    checkLamps<sm::TimeDisplay>(4);
    checkLamps<sm::Transport>(16);
    checkLamps<sm::HotKeys>(8);
    checkLamps<sm::WindowFunctions>(6);
    checkLamps<sm::BankMove>(4);
    checkLamps<sm::Assign>(15);
    checkLamps<sm::Cursor>(7, {false, false, false, false, true, true, true});
    checkLamps<sm::ControlRoom>(10);
    checkLamps<sm::NumPad>(18);
    checkLamps<sm::AutoEnable>(6);
    checkLamps<sm::AutoMode>(6);
    checkLamps<sm::StatusAndGroup>(6);
    checkLamps<sm::Edit>(6);
    checkLamps<sm::FunctionKey>(8);
    checkLamps<sm::ParameterEdit>(8);
    checkLamps<sm::FootswitchesAndSounds>(4);
}

// A case and the field of its name where declaration orders differ.
template <class Part>
bool sets(typename Part::Switch which, bool Part::*field) {
    Part part;
    part.setState(which, true);
    return part.*field && part.state(which);
}

TEST(HUISurfaceModelComponents, CasesReachTheFieldsOfTheirNames) {
    using S = HUISwitch;
    EXPECT_TRUE(sets(S::Transport::punchIn, &sm::Transport::punch_in));
    EXPECT_TRUE(sets(S::Transport::punchAudition, &sm::Transport::punch_audition));
    EXPECT_TRUE(sets(S::Transport::talkback, &sm::Transport::talkback));
    EXPECT_TRUE(sets(S::Transport::quickPunch, &sm::Transport::quickPunch));
    EXPECT_TRUE(sets(S::HotKey::ctrl, &sm::HotKeys::ctrl));
    EXPECT_TRUE(sets(S::HotKey::option, &sm::HotKeys::option));
    EXPECT_TRUE(sets(S::Assign::default_, &sm::Assign::default_));
    EXPECT_TRUE(sets(S::Assign::recordReadyAll, &sm::Assign::recordReadyAll));
    EXPECT_TRUE(sets(S::ControlRoom::dim, &sm::ControlRoom::dim));
    EXPECT_TRUE(sets(S::ControlRoom::output1, &sm::ControlRoom::output1));
    EXPECT_TRUE(sets(S::NumPad::period, &sm::NumPad::period));
    EXPECT_TRUE(sets(S::StatusAndGroup::auto_, &sm::StatusAndGroup::auto_));
    EXPECT_TRUE(sets(S::Edit::delete_, &sm::Edit::delete_));
    EXPECT_TRUE(sets(S::ParameterEdit::insertOrParam, &sm::ParameterEdit::insertOrParam));
    EXPECT_TRUE(sets(S::ParameterEdit::param3Select, &sm::ParameterEdit::param3Select));
    EXPECT_TRUE(sets(S::TimeDisplayStatus::rudeSolo, &sm::TimeDisplay::rudeSolo));
    EXPECT_TRUE(sets(S::Cursor::scrub, &sm::Cursor::scrub));
    EXPECT_TRUE(sets(S::ChannelStrip::auto_, &sm::ChannelStrip::auto_));

    sm::ChannelStrip strip;
    strip.fader.level = midicore::UInt14(1000);
    strip.setState(S::ChannelStrip::faderTouched, true);
    EXPECT_TRUE(strip.fader.touched);
    EXPECT_EQ(strip.fader.level, 1000);
}

TEST(HUISurfaceModelComponents, ChannelStripValues) {
    sm::ChannelStrip a, b;
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    b.nameDisplay = hui::HUISmallDisplayString("Kick");
    EXPECT_NE(a, b);
    b = a;
    b.vPotDisplay.lowerLED = true;
    EXPECT_NE(a, b);
    b = a;
    b.levelMeter.setRight(1);
    EXPECT_NE(a, b);

    using Fader = sm::ChannelStrip::Fader;
    EXPECT_DOUBLE_EQ((Fader{midicore::UInt14(16383), false}.levelUnitInterval()), 1.0);
    EXPECT_DOUBLE_EQ(Fader().levelUnitInterval(), 0.0);
    EXPECT_EQ(Fader::levelMax, 16383);
}

TEST(HUISurfaceModelComponents, LevelMetersClampEveryStore) {
    using Side = sm::StereoLevelMeter::Side;
    sm::StereoLevelMeter meter;
    const std::vector<std::pair<std::int64_t, std::int64_t>> cases = {
        {20, 12}, {-1, 0}, {0, 0}, {12, 12}, {7, 7}, {INT64_MIN, 0}, {INT64_MAX, 12}};
    for (const auto& [stored, kept] : cases) {
        meter.setLeft(stored);
        meter.setLevel(Side::right, stored);
        EXPECT_EQ(meter.left(), kept) << stored;
        EXPECT_EQ(meter.level(Side::right), kept) << stored;
    }
    EXPECT_EQ(sm::description(Side::left), "left");
    EXPECT_EQ(sm::description(Side::right), "right");
}

std::vector<hui::HUILargeDisplayCharacter> slice(const char* text) {
    const auto chars = hui::HUILargeDisplayString(text).chars();
    return {chars.begin(), chars.begin() + static_cast<std::ptrdiff_t>(std::strlen(text))};
}

TEST(HUISurfaceModelComponents, LargeDisplaySlices) {
    sm::LargeDisplay display;
    const auto fresh = display.slices();
    ASSERT_EQ(fresh.size(), 8u);
    for (const auto& [number, chars] : fresh) {
        EXPECT_LT(number, 8);
        EXPECT_EQ(chars, slice("          "));
    }

    EXPECT_FALSE(display.update({}));
    EXPECT_TRUE(display.update({{UInt4(5), slice("abcdefghij")}}));
    EXPECT_EQ(display.bottom.stringValue(),
              std::string(10, ' ') + "abcdefghij" + std::string(20, ' '));
    EXPECT_EQ(display.top, hui::HUILargeDisplayString());
    EXPECT_FALSE(display.update({{UInt4(5), slice("abcdefghij")}}));
    EXPECT_FALSE(display.update({{UInt4(0), slice("123456789")}}));
    EXPECT_FALSE(
        display.update({{UInt4(8), slice("0123456789")}, {UInt4(15), slice("0123456789")}}));
    EXPECT_TRUE(display.update({{UInt4(3), slice("0123456789")}, {UInt4(5), slice("abcdefghij")}}));
    EXPECT_EQ(display.top.stringValue(), std::string(30, ' ') + "0123456789");
    EXPECT_EQ(display.slices().at(UInt4(3)), slice("0123456789"));
}

}  // namespace
