// Notification texts and model outcomes typed in from the surface model's description.
#include <gtest/gtest.h>

#include <unordered_set>

#include "hui/surface_model.hpp"

namespace {

using namespace hui;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using N = HUISurfaceModelNotification;
using Strip = N::ChannelStripComponent;
using Param = N::ParamEditComponent;
using S = HUISwitch;
using Side = HUISurfaceModel::StereoLevelMeter::Side;

TEST(HUISurfaceModelNotification, Texts) {
    const HUIVPotDisplay ring{HUIVPotDisplay::LEDState::single(HUIVPotDisplay::LED::C), false};
    const struct {
        N notification;
        std::string text;
    } rows[] = {
        {N::ping(), "ping"},
        {N::channelStrip(UInt4(2), *Strip::lamp(S::ChannelStrip::mute, true)),
         "channelStrip(channel: 2, mute(state: true))"},
        {N::channelStrip(UInt4(0), Strip::levelMeter(Side::right, 12)),
         "channelStrip(channel: 0, levelMeter(side: right, level: 12))"},
        {N::channelStrip(UInt4(7), Strip::faderLevel(UInt14(16383))),
         "channelStrip(channel: 7, faderLevel(16383))"},
        {N::channelStrip(UInt4(1), Strip::nameDisplay(HUISmallDisplayString("Bass"))),
         "channelStrip(channel: 1, nameDisplay(text: Bass))"},
        {N::channelStrip(UInt4(3), Strip::vPot(ring)),
         "channelStrip(channel: 3, vPot(HUIVPotDisplay(leds: [     *     ], lowerLED: false)))"},
        {N::lamp(S::Transport::play, false), "transport(play, state: false)"},
        {N::lamp(S::ControlRoom::discreteInput1to1, true),
         "controlRoom(discreteInput1to1, state: true)"},
        {N::lamp(S::TimeDisplayStatus::rudeSolo, true), "timeDisplayStatus(rudeSolo, state: true)"},
        {N::lamp(S::StatusAndGroup::auto_, false), "statusAndGroup(auto, state: false)"},
        {N::undefinedSwitch(30, UInt4(2), true),
         "undefinedSwitch(zone: 0x1E, port: 0x2, state: true)"},
        {N::undefinedSwitch(5, UInt4(12), false),
         "undefinedSwitch(zone: 0x05, port: 0xC, state: false)"},
        {N::paramEdit(Param::lamp(S::ParameterEdit::insertOrParam, true)),
         "paramEdit(insertOrParam(state: true))"},
        {N::paramEdit(Param::paramVPot(2, ring)),
         "paramEdit(param2VPot(HUIVPotDisplay(leds: [     *     ], lowerLED: false)))"},
        {N::selectAssignDisplay(HUISmallDisplayString()), "selectAssignDisplay(    )"},
        {N::timeDisplay(HUITimeDisplayString("01.02")), "timeDisplay(01.02    )"},
        {N::largeDisplay(HUILargeDisplayString("Top"), HUILargeDisplayString("Bottom")),
         "largeDisplay(top: Top" + std::string(37, ' ') + ", bottom: Bottom" +
             std::string(34, ' ') + ")"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.notification.description(), row.text);

    // Unequal where any part of the payload or the case differs; hashes follow.
    const std::vector<N> distinct = {
        N::largeDisplay(HUILargeDisplayString("a"), HUILargeDisplayString("b")),
        N::largeDisplay(HUILargeDisplayString("a"), HUILargeDisplayString("c")),
        N::channelStrip(UInt4(1), *Strip::lamp(S::ChannelStrip::solo, true)),
        N::channelStrip(UInt4(2), *Strip::lamp(S::ChannelStrip::solo, true)),
        N::channelStrip(UInt4(2), *Strip::lamp(S::ChannelStrip::mute, true)),
        N::lamp(S::HotKey::shift, true),
        N::lamp(S::Assign::shift, true),
        N::lamp(S::Assign::shift, false),
    };
    const std::unordered_set<N> set(distinct.begin(), distinct.end());
    EXPECT_EQ(set.size(), distinct.size());
    EXPECT_EQ(N::lamp(S::HotKey::shift, true), N::lamp(S::HotKey::shift, true));
    EXPECT_FALSE(Strip::lamp(S::ChannelStrip::faderTouched, true));
}

// One update applied to a model that already went through `before`.
struct Step {
    HUIHostEvent event;
    bool alwaysNotify;
    std::string result;
};

TEST(HUISurfaceModel, UpdatesReportWhatChanged) {
    using Slices = HUISurfaceModel::LargeDisplay::Slices;
    using T = HUITimeDisplayCharacter;
    const auto cursorUp = HUIHostEvent::switch_(S::cursor(S::Cursor::up), true);
    const auto undefined = HUIHostEvent::switch_(S::undefined(0x1F, UInt4(1)), true);
    const auto fader = HUIHostEvent::faderLevel(UInt4(3), UInt14(1000));
    const std::vector<HUILargeDisplayCharacter> hello = {
        HUILargeDisplayCharacter::H,     HUILargeDisplayCharacter::e,
        HUILargeDisplayCharacter::l,     HUILargeDisplayCharacter::l,
        HUILargeDisplayCharacter::o,     HUILargeDisplayCharacter::space,
        HUILargeDisplayCharacter::space, HUILargeDisplayCharacter::space,
        HUILargeDisplayCharacter::space, HUILargeDisplayCharacter::space};
    // Each sequence runs on a fresh model.
    const std::vector<std::vector<Step>> sequences = {
        {{fader, false, "changed(channelStrip(channel: 3, faderLevel(1000)))"},
         {fader, false, "unchanged"},
         {fader, true, "changed(channelStrip(channel: 3, faderLevel(1000)))"}},
        {{HUIHostEvent::levelMeter(UInt4(0), Side::left, 13), false,
          "changed(channelStrip(channel: 0, levelMeter(side: left, level: 13)))"},
         {HUIHostEvent::levelMeter(UInt4(0), Side::left, 13), false,
          "changed(channelStrip(channel: 0, levelMeter(side: left, level: 13)))"},
         {HUIHostEvent::levelMeter(UInt4(0), Side::left, 12), false, "unchanged"},
         {HUIHostEvent::levelMeter(UInt4(0), Side::right, 0), false, "unchanged"}},
        {{HUIHostEvent::switch_(S::channelStrip(UInt4(2), S::ChannelStrip::faderTouched), true),
          true, "unchanged"},
         {HUIHostEvent::switch_(S::channelStrip(UInt4(2), S::ChannelStrip::solo), true), false,
          "changed(channelStrip(channel: 2, solo(state: true)))"}},
        {{cursorUp, false, "changed(cursor(up, state: true))"},
         {cursorUp, false, "changed(cursor(up, state: true))"},
         {HUIHostEvent::switch_(S::cursor(S::Cursor::up), false), false, "unchanged"}},
        {{undefined, false, "unhandled(" + undefined.description() + ")"},
         {HUIHostEvent::switch_(S::undefined(0x1F, UInt4(1)), false), false, "unchanged"}},
        {{HUIHostEvent::switch_(S::paramEdit(S::ParameterEdit::compare), true), false,
          "changed(paramEdit(compare(state: true)))"},
         {HUIHostEvent::switch_(S::hotKey(S::HotKey::save), true), false,
          "changed(hotKey(save, state: true))"},
         {HUIHostEvent::switch_(S::hotKey(S::HotKey::save), true), false, "unchanged"}},
        {{HUIHostEvent::vPot(HUIVPot::editAssignScroll(),
                             HUIVPotDisplay::fromRingByte(UInt7(0x45))),
          true, "unchanged"},
         {HUIHostEvent::vPot(HUIVPot::editAssignC(), HUIVPotDisplay::allOff()), false, "unchanged"},
         {HUIHostEvent::vPot(HUIVPot::editAssignC(), HUIVPotDisplay::allOff()), true,
          "changed(paramEdit(param3VPot(HUIVPotDisplay(leds: [           ], lowerLED: false))))"}},
        {{HUIHostEvent::largeDisplay({}), true, "unchanged"},
         {HUIHostEvent::timeDisplay({}), true, "unchanged"},
         {HUIHostEvent::largeDisplay(Slices{{UInt4(4), hello}}), false,
          "changed(largeDisplay(top: " + std::string(40, ' ') + ", bottom: Hello" +
              std::string(35, ' ') + "))"},
         {HUIHostEvent::largeDisplay(Slices{{UInt4(4), hello}}), false, "unchanged"},
         {HUIHostEvent::timeDisplay({T::num4, T::num3dot}), false,
          "changed(timeDisplay(      3.4))"},
         {HUIHostEvent::timeDisplay({T::num4}), false, "unchanged"},
         {HUIHostEvent::timeDisplay({T::num4}), true, "changed(timeDisplay(      3.4))"}},
        {{HUIHostEvent::ping(), false, "changed(ping)"},
         {HUIHostEvent::selectAssignDisplay(HUISmallDisplayString()), false, "unchanged"},
         {HUIHostEvent::selectAssignDisplay(HUISmallDisplayString("SndA")), false,
          "changed(selectAssignDisplay(SndA))"},
         {HUIHostEvent::channelDisplay(UInt4(7), HUISmallDisplayString("Kick")), false,
          "changed(channelStrip(channel: 7, nameDisplay(text: Kick)))"}},
    };
    for (const auto& sequence : sequences) {
        HUISurfaceModel model;
        for (const auto& step : sequence)
            EXPECT_EQ(model.updateState(step.event, step.alwaysNotify).description(), step.result)
                << step.event.description();
    }
}

TEST(HUISurfaceModel, StoresWhereTheUpdatesSay) {
    HUISurfaceModel model;
    model.updateState(HUIHostEvent::levelMeter(UInt4(1), Side::left, -3), false);
    model.updateState(HUIHostEvent::levelMeter(UInt4(1), Side::right, 13), false);
    EXPECT_EQ(model.channelStrips()[1].levelMeter.left(), 0);
    EXPECT_EQ(model.channelStrips()[1].levelMeter.right(), 12);
    model.updateState(
        HUIHostEvent::switch_(S::channelStrip(UInt4(2), S::ChannelStrip::faderTouched), true),
        false);
    EXPECT_TRUE(model.channelStrips()[2].fader.touched);
    model.updateState(HUIHostEvent::switch_(S::cursor(S::Cursor::up), true), false);
    EXPECT_FALSE(model.state(S::cursor(S::Cursor::up)));
    const auto ring = HUIVPotDisplay::fromRingByte(UInt7(0x45));
    model.updateState(HUIHostEvent::vPot(HUIVPot::editAssignD(), ring), false);
    model.updateState(HUIHostEvent::vPot(HUIVPot::channel(UInt4(6)), ring), false);
    EXPECT_EQ(model.parameterEdit.param4VPotDisplay, ring);
    EXPECT_EQ(model.vPotDisplay(HUIVPot::editAssignD()), ring);
    EXPECT_EQ(model.vPotDisplay(HUIVPot::channel(UInt4(6))), ring);
    EXPECT_EQ(model.vPotDisplay(HUIVPot::editAssignScroll()), HUIVPotDisplay::allOff());

    // Every catalogue switch reads back what was written, and only it changes.
    for (const auto& s : S::allCases()) {
        HUISurfaceModel lamps;
        lamps.setState(s, true);
        const bool stored = s.category<S::Cursor>().value_or(S::Cursor::mode) >= S::Cursor::mode;
        EXPECT_EQ(lamps.state(s), stored) << s.description();
        EXPECT_EQ(lamps != HUISurfaceModel(), stored) << s.description();
    }
}

TEST(HUISurfaceModel, StripsEightToFifteenAreUnhandledAndChangeNothing) {
    const std::vector<HUIHostEvent> events = {
        HUIHostEvent::faderLevel(UInt4(8), UInt14(5)),
        HUIHostEvent::levelMeter(UInt4(9), Side::left, 3),
        HUIHostEvent::vPot(HUIVPot::channel(UInt4(10)), HUIVPotDisplay::fromRingByte(UInt7(1))),
        HUIHostEvent::channelDisplay(UInt4(15), HUISmallDisplayString("x")),
        HUIHostEvent::switch_(S::channelStrip(UInt4(12), S::ChannelStrip::mute), true),
        HUIHostEvent::switch_(S::channelStrip(UInt4(12), S::ChannelStrip::mute), false),
    };
    for (const auto& event : events) {
        HUISurfaceModel model;
        const auto result = model.updateState(event, false);
        ASSERT_EQ(result.resultCase(), HUISurfaceModelUpdateResult::Case::unhandled);
        EXPECT_EQ(*result.event(), event);
        EXPECT_EQ(model, HUISurfaceModel()) << event.description();
    }
    HUISurfaceModel model;
    model.setState(S::channelStrip(UInt4(8), S::ChannelStrip::select), true);
    EXPECT_EQ(model, HUISurfaceModel());
    EXPECT_FALSE(model.state(S::channelStrip(UInt4(8), S::ChannelStrip::select)));
}

TEST(HUISurfaceModel, StripCountStaysEightAndEqualModelsHashEqually) {
    HUISurfaceModel model;
    std::vector<HUISurfaceModel::ChannelStrip> seven(7);
    seven[0].solo = true;
    EXPECT_FALSE(model.setChannelStrips(seven));
    EXPECT_EQ(model, HUISurfaceModel());
    model.modifyChannelStrips([](auto& strips) {
        strips[1].mute = true;
        strips.erase(strips.begin() + 5, strips.end());
    });
    EXPECT_TRUE(model.channelStrips()[1].mute);
    model.modifyChannelStrips([](auto& strips) { strips.resize(12, strips[1]); });
    EXPECT_FALSE(model.channelStrips()[7].mute);  // appended defaults, extras dropped

    HUISurfaceModel a, b;
    EXPECT_EQ(a.hash(), b.hash());
    a.updateState(HUIHostEvent::faderLevel(UInt4(4), UInt14(77)), false);
    b.channelStrip(UInt4(4))->fader.level = UInt14(77);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    b.transport.play = true;
    EXPECT_NE(a, b);
    EXPECT_NE(a.hash(), b.hash());
}

}  // namespace
