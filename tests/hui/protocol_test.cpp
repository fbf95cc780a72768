// Wire bytes typed in from the HUI message catalogue: B0 is Control Change on channel 0, A0
// Polyphonic Key Pressure, 90 Note On; displays are F0 00 00 66 05 00 <type> ... F7.
#include <gtest/gtest.h>

#include <optional>
#include <unordered_set>

#include "hui/events.hpp"
#include "hui/protocol.hpp"
#include "midi1_stream.hpp"

namespace {

using namespace hui;
using midicore::Int7;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using Bytes = std::vector<std::uint8_t>;
using Side = surfacemodel::StereoLevelMeter::Side;
using T = HUITimeDisplayCharacter;

std::vector<MIDIEvent> listOf(std::optional<MIDIEvent> e) {
    return e ? std::vector<MIDIEvent>{*e} : std::vector<MIDIEvent>{};
}

TEST(HUIProtocol, EncodersGiveTheCatalogueBytes) {
    const std::vector<T> nine = {T::num1, T::num2, T::num3, T::num4, T::num5,
                                 T::num6, T::num7, T::num8, T::num9};
    const struct {
        const char* name;
        std::vector<MIDIEvent> events;
        Bytes bytes;
    } rows[] = {
        {"switch on to surface",
         encodeHUISwitch(0x0E, UInt4(3), true, HUIRole::surface),
         {0xB0, 0x0C, 0x0E, 0xB0, 0x2C, 0x43}},
        {"switch off to host",
         encodeHUISwitch(0x0E, UInt4(3), false, HUIRole::host),
         {0xB0, 0x0F, 0x0E, 0xB0, 0x2F, 0x03}},
        {"fader top",
         encodeHUIFaderLevel(UInt14(0x3FFF), UInt4(2)),
         {0xB0, 0x02, 0x7F, 0xB0, 0x22, 0x7F}},
        {"fader 0x80",
         encodeHUIFaderLevel(UInt14(0x0080), UInt4(2)),
         {0xB0, 0x02, 0x01, 0xB0, 0x22, 0x00}},
        {"fader touch released",
         encodeHUIFaderTouch(false, UInt4(2)),
         {0xB0, 0x0F, 0x02, 0xB0, 0x2F, 0x00}},
        {"fader touch touched",
         encodeHUIFaderTouch(true, UInt4(7)),
         {0xB0, 0x0F, 0x07, 0xB0, 0x2F, 0x40}},
        {"meter right clamped",
         {encodeHUILevelMeter(UInt4(7), Side::right, 20)},
         {0xA0, 0x07, 0x1C}},
        {"meter left clamped", {encodeHUILevelMeter(UInt4(1), Side::left, -3)}, {0xA0, 0x01, 0x00}},
        {"scroll V-Pot to host",
         listOf(encodeHUIVPot(UInt7(0x41), HUIVPot::editAssignScroll(), HUIRole::host)),
         {0xB0, 0x4C, 0x41}},
        {"strip 0 V-Pot to surface",
         listOf(encodeHUIVPot(UInt7(0x56), HUIVPot::channel(UInt4(0)), HUIRole::surface)),
         {0xB0, 0x10, 0x56}},
        {"jog wheel", {encodeHUIJogWheel(Int7(-3))}, {0xB0, 0x0D, 0x03}},
        {"host ping", {protocol::hostPing()}, {0x90, 0x00, 0x00}},
        {"ping reply", {protocol::surfacePingReply()}, {0x90, 0x00, 0x7F}},
        {"system reset", {protocol::systemResetEvent()}, {0xFF}},
        {"select-assign display",
         listOf(
             encodeHUISmallDisplay(HUISmallDisplay::selectAssign(), HUISmallDisplayString("ABCD"))),
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10, 0x08, 0x41, 0x42, 0x43, 0x44, 0xF7}},
        {"channel display",
         listOf(encodeHUISmallDisplay(HUISmallDisplay::channel(UInt4(3)),
                                      HUISmallDisplayString("ab"))),
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10, 0x03, 0x61, 0x62, 0x20, 0x20, 0xF7}},
        {"time display cut to eight",
         listOf(encodeHUITimeDisplay(nine)),
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x11, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7}},
        // What the wire cannot carry gives nothing.
        {"strip 8 V-Pot would be edit-assign A",
         listOf(encodeHUIVPot(UInt7(1), HUIVPot::channel(UInt4(8)), HUIRole::surface)),
         {}},
        {"strip 12 fader would be a zone select", encodeHUIFaderLevel(UInt14(5), UInt4(12)), {}},
        {"strip 9 touch", encodeHUIFaderTouch(true, UInt4(9)), {}},
        {"zone above 127", encodeHUISwitch(200, UInt4(1), true, HUIRole::surface), {}},
        {"strip 8 name would be select-assign",
         listOf(encodeHUISmallDisplay(HUISmallDisplay::channel(UInt4(8)), HUISmallDisplayString())),
         {}},
        {"empty time display", listOf(encodeHUITimeDisplay({})), {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(huitest::midi1Bytes(row.events), row.bytes) << row.name;
}

TEST(HUIProtocol, DeltaBytesAreSignAndMagnitude) {
    const struct {
        int delta;
        std::uint8_t byte;
    } rows[] = {{1, 0x41}, {63, 0x7F},  {-1, 0x01}, {-63, 0x3F},
                {0, 0x40}, {-64, 0x00}, {5, 0x45},  {-5, 0x05}};
    for (const auto& row : rows)
        EXPECT_EQ(encodeHUIDelta(Int7(row.delta)).value(), row.byte) << row.delta;
    // Every byte decodes within -63...63 and both zeros read 0; re-encoding keeps all but -0.
    for (unsigned byte = 0; byte < 128; ++byte) {
        const int delta = decodeHUIDelta(UInt7(byte)).intValue();
        EXPECT_LE(std::abs(delta), 63);
        EXPECT_EQ(encodeHUIDelta(Int7(delta)).value(), byte == 0x00 ? 0x40 : byte);
    }
}

TEST(HUIEvents, EncodeGivesTheTransmitMessages) {
    using Slices = surfacemodel::LargeDisplay::Slices;
    const std::vector<HUILargeDisplayCharacter> ten(10, HUILargeDisplayCharacter::A);
    const auto large =
        HUIHostEvent::largeDisplay(Slices{{UInt4(5), ten}, {UInt4(2), ten}}).encode();
    ASSERT_EQ(large.size(), 2u);
    EXPECT_EQ(large[0].midi1RawBytes()[7], 2);  // slice 2 first
    EXPECT_EQ(large[1].midi1RawBytes()[7], 5);
    EXPECT_TRUE(HUIHostEvent::largeDisplay({}).encode().empty());
    // Deltas of 0 are sent as events (the transmit operations skip them).
    EXPECT_EQ(huitest::midi1Bytes(HUISurfaceEvent::vPot(HUIVPot::editAssignA(), Int7(0)).encode()),
              (Bytes{0xB0, 0x48, 0x40}));
    EXPECT_EQ(huitest::midi1Bytes(HUISurfaceEvent::jogWheel(Int7(0)).encode()),
              (Bytes{0xB0, 0x0D, 0x40}));
    EXPECT_EQ(huitest::midi1Bytes(HUIHostEvent::vPot(HUIVPot::channel(UInt4(3)),
                                                     HUIVPotDisplay::fromRingByte(UInt7(0x56)))
                                      .encode()),
              (Bytes{0xB0, 0x13, 0x56}));
}

TEST(HUIEvents, TextsEqualityAndHashing) {
    using HC = HUILargeDisplayCharacter;
    const struct {
        std::string text;
        std::string expected;
    } rows[] = {
        {HUIHostEvent::timeDisplay({T::num4, T::num3, T::num2, T::num1}).description(),
         "timeDisplay(chars: 1234)"},
        {HUISurfaceEvent::jogWheel(Int7(-3)).description(), "jogWheel(delta: -3)"},
        {HUISurfaceEvent::systemReset().description(), "systemReset"},
        {HUIHostEvent::ping().description(), "ping"},
        {HUIHostEvent::switch_(HUISwitch::transport(HUISwitch::Transport::play), true)
             .description(),
         "switch(transport(play), state: on)"},
        {HUIHostEvent::faderLevel(UInt4(7), UInt14(16383)).description(),
         "faderLevel(channelStrip: 7, level: 16383)"},
        {HUIHostEvent::levelMeter(UInt4(0), Side::right, 12).description(),
         "levelMeter(channelStrip: 0, side: right, level: 12)"},
        {HUIHostEvent::channelDisplay(UInt4(1), HUISmallDisplayString("Vox")).description(),
         "channelDisplay(channelStrip: 1, text: Vox )"},
        {HUIHostEvent::selectAssignDisplay(HUISmallDisplayString("SndA")).description(),
         "selectAssignDisplay(text: SndA)"},
        {HUIHostEvent::largeDisplay({{UInt4(2), {HC::A, HC::b}}}).description(),
         "largeDisplay(slices: [\"2: Ab\"])"},
        {HUISurfaceEvent::vPot(HUIVPot::editAssignB(), Int7(5)).description(),
         "vPot(editAssignB, delta: 5)"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.text, row.expected);

    // Dictionaries compare regardless of insertion order; cases differ even with equal payloads.
    HUIHostEvent::LargeDisplay a, b;
    a.slices.emplace(UInt4(1), std::vector<HC>{HC::A});
    a.slices.emplace(UInt4(6), std::vector<HC>{HC::B});
    b.slices.emplace(UInt4(6), std::vector<HC>{HC::B});
    b.slices.emplace(UInt4(1), std::vector<HC>{HC::A});
    EXPECT_EQ(HUIHostEvent(a), HUIHostEvent(b));
    EXPECT_EQ(HUIHostEvent(a).hash(), HUIHostEvent(b).hash());
    EXPECT_NE(HUISurfaceEvent::ping(), HUISurfaceEvent::systemReset());
    const std::unordered_set<HUISurfaceEvent> set = {
        HUISurfaceEvent::ping(), HUISurfaceEvent::systemReset(), HUISurfaceEvent::jogWheel(Int7(0)),
        HUISurfaceEvent::jogWheel(Int7(1)), HUISurfaceEvent::vPot(HUIVPot::editAssignA(), Int7(1))};
    EXPECT_EQ(set.size(), 5u);
}

}  // namespace
