// The zone/port table is typed in from the switch table of the HUI protocol documentation: one
// row per zone, ports 0 to 7, "-" where a port names no switch.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "hui/switches.hpp"

namespace {

using hui::HUISwitch;
using hui::HUIZoneAndPort;
using midicore::UInt4;

struct ZoneRow {
    const char* category;
    const char* ports;  // eight case names separated by spaces
};

// Zones 0x08 to 0x1D.
const ZoneRow categoryRows[] = {
    {"hotKey", "ctrl shift editMode undo cmd option editTool save"},
    {"window", "mix edit transport memLoc status alt - -"},
    {"bankMove", "channelLeft bankLeft channelRight bankRight - - - -"},
    {"assign", "output input pan sendE sendD sendC sendB sendA"},
    {"assign", "assign default suspend shift mute bypass recordReadyAll -"},
    {"cursor", "down left mode right up scrub shuttle -"},
    {"transport", "talkback rewind fastFwd stop play record - -"},
    {"transport", "rtz end online loop quickPunch - - -"},
    {"transport", "punchAudition punchPre punchIn punchOut punchPost - - -"},
    {"controlRoom", "input3 input2 input1 mute discreteInput1to1 - - -"},
    {"controlRoom", "output3 output2 output1 dim mono - - -"},
    {"numPad", "num0 num1 num4 num2 num5 period num3 num6"},
    {"numPad", "enter plus - - - - - -"},
    {"numPad", "num7 num8 num9 minus clr equals forwardSlash asterisk"},
    {"timeDisplayStatus", "timecode feet beats rudeSolo - - - -"},
    {"autoEnable", "plugin pan fader sendMute send mute - -"},
    {"autoMode", "trim latch read off write touch - -"},
    {"statusAndGroup", "phase monitor auto suspend create group - -"},
    {"edit", "paste cut capture delete copy separate - -"},
    {"functionKey", "f1 f2 f3 f4 f5 f6 f7 f8OrEsc"},
    {"paramEdit",
     "insertOrParam assign param1Select param2Select param3Select param4Select "
     "bypass compare"},
    {"footswitchesAndSounds", "footswitchRelay1 footswitchRelay2 click beep - - - -"},
};
const char* const stripPorts = "faderTouched select mute solo auto vPotSelect insert recordReady";

std::vector<std::string> words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// The text of the switch at every (zone, port) of zones 0x00-0x1D, "" where there is none.
std::vector<std::vector<std::string>> expectedTexts() {
    std::vector<std::vector<std::string>> zones;
    for (int strip = 0; strip < 8; ++strip) {
        std::vector<std::string> row;
        for (const auto& name : words(stripPorts)) {
            row.push_back("channelStrip(" + std::to_string(strip) + ", " + name + ")");
        }
        zones.push_back(row);
    }
    for (const auto& [category, ports] : categoryRows) {
        std::vector<std::string> row;
        for (const auto& name : words(ports)) {
            row.push_back(name == "-" ? "" : std::string(category) + "(" + name + ")");
        }
        zones.push_back(row);
    }
    return zones;
}

TEST(HUISwitch, EveryZoneAndPortNamesTheTabledSwitch) {
    const auto texts = expectedTexts();
    ASSERT_EQ(texts.size(), 0x1Eu);
    std::vector<std::string> listed;
    for (unsigned zone = 0; zone < 256; ++zone) {
        for (unsigned port = 0; port < 16; ++port) {
            const HUISwitch s =
                HUISwitch::fromZoneAndPort(static_cast<std::uint8_t>(zone), UInt4(port));
            const HUIZoneAndPort pair{static_cast<std::uint8_t>(zone), UInt4(port)};
            EXPECT_EQ(s.zoneAndPort(), pair);
            EXPECT_EQ(hui::zoneAndPort(s), pair);
            const std::string text = zone < 0x1E && port < 8 ? texts[zone][port] : "";
            if (text.empty()) {
                EXPECT_EQ(s, HUISwitch::undefined(pair.zone, pair.port));
                EXPECT_EQ(s.description(), "undefined(zone: " + std::to_string(zone) +
                                               ", port: " + std::to_string(port) + ")");
            } else {
                EXPECT_EQ(s.description(), text);
                EXPECT_NE(s, HUISwitch::undefined(pair.zone, pair.port));
                listed.push_back(text);
            }
        }
    }
    ASSERT_EQ(listed.size(), 196u);
    const auto all = HUISwitch::allCases();
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].description(), listed[i]) << i;
    const std::unordered_set<HUISwitch> distinct(all.begin(), all.end());
    EXPECT_EQ(distinct.size(), 196u);
}

TEST(HUISwitch, NamedSwitchesAndTheirPairs) {
    using S = HUISwitch;
    struct Case {
        HUISwitch s;
        HUIZoneAndPort pair;
        std::string text;
    };
    const std::vector<Case> cases = {
        {S::transport(S::Transport::play), {0x0E, UInt4(4)}, "transport(play)"},
        {S::transport(S::Transport::fastFwd), {0x0E, UInt4(2)}, "transport(fastFwd)"},
        {S::assign(S::Assign::sendA), {0x0B, UInt4(7)}, "assign(sendA)"},
        {S::assign(S::Assign::default_), {0x0C, UInt4(1)}, "assign(default)"},
        {S::numPad(S::NumPad::plus), {0x14, UInt4(1)}, "numPad(plus)"},
        {S::channelStrip(UInt4(3), S::ChannelStrip::mute),
         {0x03, UInt4(2)},
         "channelStrip(3, mute)"},
        {S::channelStrip(UInt4(7), S::ChannelStrip::recordReady),
         {0x07, UInt4(7)},
         "channelStrip(7, recordReady)"},
        // A strip beyond the catalogue shares the pair of another switch.
        {S::channelStrip(UInt4(9), S::ChannelStrip::select),
         {0x09, UInt4(1)},
         "channelStrip(9, select)"},
        {S::undefined(0x0E, UInt4(4)), {0x0E, UInt4(4)}, "undefined(zone: 14, port: 4)"},
        {S::undefined(30, UInt4(2)), {30, UInt4(2)}, "undefined(zone: 30, port: 2)"},
        {S::undefined(0xFF, UInt4(15)), {0xFF, UInt4(15)}, "undefined(zone: 255, port: 15)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.s.zoneAndPort(), c.pair) << c.text;
        EXPECT_EQ(c.s.description(), c.text);
    }
    EXPECT_EQ(S::fromZoneAndPort(0x09, UInt4(1)), S::window(S::Window::edit));
    EXPECT_NE(S::undefined(0x0E, UInt4(4)), S::transport(S::Transport::play));
    EXPECT_EQ(S::fromZoneAndPort(0x0E, UInt4(4)), S::transport(S::Transport::play));

    const auto all = S::allCases();
    EXPECT_EQ(all.front(), S::channelStrip(UInt4(0), S::ChannelStrip::faderTouched));
    EXPECT_EQ(all.back(), S::footswitchesAndSounds(S::FootswitchesAndSounds::beep));
    EXPECT_EQ(all[82], S::assign(S::Assign::output));
    EXPECT_EQ(all[89], S::assign(S::Assign::sendA));
}

TEST(HUISwitch, CategoryCasesOnTheirOwn) {
    using S = HUISwitch;
    static_assert(hui::HUISwitchProtocol<S> && hui::HUISwitchProtocol<S::Transport> &&
                  hui::HUISwitchProtocol<S::ChannelStrip>);
    EXPECT_EQ(hui::zoneAndPort(S::ChannelStrip::recordReady), (HUIZoneAndPort{0, UInt4(7)}));
    EXPECT_EQ(hui::zoneAndPort(S::Cursor::up), (HUIZoneAndPort{0x0D, UInt4(4)}));
    EXPECT_EQ(hui::description(S::ControlRoom::discreteInput1to1), "discreteInput1to1");
    EXPECT_EQ(hui::description(S::StatusAndGroup::auto_), "auto");
    EXPECT_EQ(hui::description(S::Edit::delete_), "delete");

    // Every catalogue switch gives back its category case, whose own pair is the switch's.
    for (const HUISwitch& s : S::allCases()) {
        if (const auto strip = s.category<S::ChannelStrip>()) {
            EXPECT_EQ(hui::zoneAndPort(*strip).port, s.zoneAndPort().port) << s;
            EXPECT_EQ(s.channel(), UInt4(s.zoneAndPort().zone));
        } else if (const auto key = s.category<S::Transport>()) {
            EXPECT_EQ(hui::zoneAndPort(*key), s.zoneAndPort()) << s;
            EXPECT_EQ("transport(" + hui::description(*key) + ")", s.description());
        } else {
            EXPECT_EQ(s.channel(), std::nullopt);
        }
    }
}

}  // namespace
