// Decoder cases typed in from the protocol description: each row is a MIDI 1.0 byte stream fed to
// one decoder, with what it yields (event texts, or the error and its sentence) in order.
#include <gtest/gtest.h>

#include <random>

#include "hui/core_decoder.hpp"
#include "hui/role_decoders.hpp"
#include "midi1_stream.hpp"
#include "midi_support/number_text.hpp"

namespace {

using namespace hui;
using midicore::Int7;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using Bytes = std::vector<std::uint8_t>;

std::string decodeAll(HUIRole role, const Bytes& bytes) {
    HUICoreDecoder decoder(role);
    std::string out;
    for (const auto& event : huitest::eventsFromMIDI1(bytes)) {
        try {
            for (const auto& decoded : decoder.decode(event))
                out += decoded.description() + "; ";
        } catch (const HUIDecoderError& error) {
            out += (error.errorCase() == HUIDecoderError::Case::malformed ? "malformed: "
                                                                          : "unhandled: ") +
                   std::string(error.what()) + "; ";
        }
    }
    return out;
}

constexpr auto host = HUIRole::host;
constexpr auto surface = HUIRole::surface;

TEST(HUICoreDecoder, DecodesTheProtocolCases) {
    const struct {
        HUIRole role;
        Bytes bytes;
        std::string expected;
    } rows[] = {
        // Pings: the host's Note On, a Note Off on note 0 with velocity 0 or 64 on any channel.
        {host, {0x90, 0x00, 0x00}, "ping; "},
        {host, {0x90, 0x00, 0x7F}, ""},
        {surface, {0x90, 0x00, 0x7F}, "ping; "},
        {surface, {0x90, 0x00, 0x00}, ""},
        {host, {0x85, 0x00, 0x40, 0x80, 0x00, 0x00, 0x80, 0x00, 0x01}, "ping; ping; "},
        // Switches: the zone is consumed; the later zone wins; nibble 2 clears it.
        {surface,
         {0xB0, 0x0C, 0x0E, 0xB0, 0x2C, 0x43, 0xB0, 0x2C, 0x43},
         "switch(transport(stop), state: on); "},
        {host,
         {0xB0, 0x0F, 0x05, 0xB0, 0x0F, 0x07, 0xB0, 0x2F, 0x40},
         "switch(channelStrip(7, faderTouched), state: on); "},
        {surface,
         {0xB0, 0x0F, 0x03, 0xB0, 0x2F, 0x01},
         "switch(channelStrip(3, select), state: off); "},
        {host, {0xB0, 0x0C, 0x0E, 0xB0, 0x2C, 0x23, 0xB0, 0x2C, 0x43}, ""},
        {host,
         {0xB0, 0x0C, 0x0E, 0xB0, 0x2F, 0x33, 0xB0, 0x2F, 0x43},
         "unhandled: Received 0xB0 0x2F 0x33 (switch cmd msg 2/2) matching transport(stop) but has "
         "unexpected state nibble 0x3. Ignoring message.; "},
        {host,
         {0xB0, 0x2C, 0x73},
         "unhandled: Received 0xB0 0x2C 0x73 (switch cmd msg 2/2) but has unexpected state nibble "
         "0x7. Additionally, could not lookup zone and port name because zone select message was "
         "not received prior. Ignoring message.; "},
        {host,
         {0xB0, 0x0C, 0x7F, 0xB0, 0x2C, 0x10},
         "unhandled: Received 0xB0 0x2C 0x10 (switch cmd msg 2/2) but has unexpected state nibble "
         "0x1. Additionally, could not guess zone and port pair name. Ignoring message.; "},
        {host,
         {0xB0, 0x0C, 0x1F, 0xB0, 0x2C, 0x45},
         "switch(undefined(zone: 31, port: 5), state: on); "},
        // Faders: the MSB stays for later LSBs.
        {host,
         {0xB0, 0x02, 0x7F, 0xB0, 0x22, 0x7F, 0xB0, 0x22, 0x00},
         "faderLevel(channelStrip: 2, level: 16383); faderLevel(channelStrip: 2, level: 16256); "},
        {surface, {0xB0, 0x27, 0x05}, "faderLevel(channelStrip: 7, level: 5); "},
        // Level meters; a note above 15 names no strip and gives nothing.
        {host,
         {0xA0, 0x03, 0x1C, 0xA0, 0x03, 0x0F},
         "levelMeter(channelStrip: 3, side: right, level: 12); "
         "levelMeter(channelStrip: 3, side: left, level: 15); "},
        {host, {0xA0, 0x10, 0x05, 0xA0, 0x7F, 0x15}, ""},
        // Jog wheel and V-Pots follow the sender's role.
        {host,
         {0xB0, 0x0D, 0x41},
         "unhandled: Jog Wheel event decoded but host is not capable of generating Jog Wheel "
         "events, only receiving them.; "},
        {surface, {0xB0, 0x0D, 0x41}, "jogWheel(delta: 1); "},
        {surface, {0xB0, 0x4C, 0x01}, "vPot(editAssignScroll, value: delta(-1)); "},
        {host,
         {0xB0, 0x13, 0x56},
         "vPot(channel(3), value: display(HUIVPotDisplay(leds: [     *     ], lowerLED: true))); "},
        {surface, {0xB0, 0x18, 0x45}, "vPot(editAssignA, value: delta(5)); "},
        {host,
         {0xB0, 0x0B, 0x00},
         "malformed: Unrecognized HUI MIDI status 0xB0 data byte 1: 0x0B in message: 0xB0 0x0B "
         "0x00.; "},
        {host,
         {0xB0, 0x1D, 0x00},
         "malformed: Unrecognized HUI MIDI status 0xB0 data byte 1: 0x1D in message: 0xB0 0x1D "
         "0x00.; "},
        // System Reset only from a surface.
        {surface, {0xFF}, "systemReset; "},
        {host, {0xFF, 0xFE, 0xF8, 0xC0, 0x05}, ""},
        // Displays.
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x11, 0xF7},
         "malformed: Received HUI time display message but did not contain enough bytes.; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x11, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7},
         "malformed: Received HUI time display message but it contained too many bytes.; "},
        {surface,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x11, 0x45, 0x01, 0x1A, 0xF7},
         "timeDisplay(chars: A.1?); "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10, 0x01, 0x41, 0x62, 0x63, 0x64, 0x08, 0x53, 0x6E,
          0x64, 0x41, 0xF7},
         "channelDisplay(channelStrip: 1, text: Abcd); selectAssignDisplay(text: SndA); "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10, 0x01, 0x41, 0x62, 0x63, 0x64, 0x09, 0x53, 0x6E,
          0x64, 0x41, 0xF7},
         "malformed: Small Display text message channel not expected: 9.; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10, 0x01, 0x02, 0x03, 0xF7},
         "malformed: Received Small Display text MIDI message 0x05 0x00 0x10 0x01 0x02 0x03 but "
         "length was not expected.; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x12, 0x06, 0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x20, 0x20,
          0x20, 0x20, 0x14, 0xF7},
         "largeDisplay(slices: [\"6: Hello    full\"]); "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x12, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xF7},
         "malformed: Encountered out-of-range HUI large display slice index: 16; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x12, 0x01, 0x02, 0xF7},
         "malformed: Received Large Display text MIDI message 0x05 0x00 0x12 0x01 0x02 but length "
         "was not expected.; "},
        // Displays without payload change nothing.
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x12, 0xF7, 0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10,
          0xF7},
         ""},
        {host,
         {0xF0, 0x41, 0x05, 0x00, 0x10, 0xF7},
         "malformed: SysEx manufacturer ID is not Mackie. Ignoring MIDI message.; "},
        {host, {0xF0, 0x00, 0x00, 0x66, 0x05, 0xF7}, "malformed: Expected more bytes in SysEx.; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0xF7},
         "malformed: Expected more bytes in SysEx.; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x06, 0x00, 0x12, 0x7F, 0xF7},
         "malformed: SysEx sub-IDs (first two bytes) are not recognized. It is possible the IDs "
         "belong to hardware other than the Mackie HUI. Raw data: [06 00 12 7F]; "},
        {host,
         {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x13, 0x01, 0xF7},
         "malformed: SysEx header present but subsequent bytes not recognized: 0x13 0x01; "},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(decodeAll(row.role, row.bytes), row.expected)
            << midisupport::hexString(row.bytes, 2, true, " ");
    }
}

TEST(HUICoreDecoder, HandlerDropsErrorsAndResetClearsState) {
    std::vector<std::string> seen;
    HUICoreDecoder decoder(HUIRole::host,
                           [&](const HUICoreEvent& e) { seen.push_back(e.description()); });
    decoder.midiIn(
        huitest::eventsFromMIDI1(Bytes{0xB0, 0x0D, 0x41, 0xB0, 0x01, 0x10, 0xB0, 0x0C, 0x0E}));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(decoder.faderMSB()[1], 0x10);
    EXPECT_EQ(decoder.switchesZoneSelect(), 0x0E);
    decoder.reset();
    decoder.midiIn(huitest::eventsFromMIDI1(Bytes{0xB0, 0x21, 0x05, 0xB0, 0x2C, 0x43}));
    EXPECT_EQ(seen, std::vector<std::string>{"faderLevel(channelStrip: 1, level: 5)"});
}

// Every host and surface event the wire can carry comes back from the decoder of its role as it
// was sent.
template <class Decoder, class Event>
void expectRoundTrip(const std::vector<Event>& events) {
    Decoder decoder;
    std::vector<Event> received;
    decoder.setEventHandler([&](const Event& e) { received.push_back(e); });
    for (const auto& event : events) {
        received.clear();
        decoder.midiIn(huitest::eventsFromMIDI1(huitest::midi1Bytes(event.encode())));
        ASSERT_EQ(received.size(), 1u) << event.description();
        EXPECT_EQ(received[0], event)
            << event.description() << " came back as " << received[0].description();
        EXPECT_EQ(received[0].hash(), event.hash());
    }
}

TEST(HUIRoleDecoders, EncodeThenDecodeReturnsEveryRepresentableEvent) {
    using Side = surfacemodel::StereoLevelMeter::Side;
    std::mt19937 random(41);
    std::vector<HUIHostEvent> hostEvents = {HUIHostEvent::ping()};
    std::vector<HUISurfaceEvent> surfaceEvents = {HUISurfaceEvent::ping(),
                                                  HUISurfaceEvent::systemReset()};
    for (const auto& s : HUISwitch::allCases()) {
        for (const bool on : {false, true}) {
            hostEvents.push_back(HUIHostEvent::switch_(s, on));
            surfaceEvents.push_back(HUISurfaceEvent::switch_(s, on));
        }
    }
    std::vector<HUIVPot> vPots = {HUIVPot::editAssignA(), HUIVPot::editAssignB(),
                                  HUIVPot::editAssignC(), HUIVPot::editAssignD(),
                                  HUIVPot::editAssignScroll()};
    for (unsigned strip = 0; strip < 8; ++strip) {
        vPots.push_back(HUIVPot::channel(UInt4(strip)));
        for (const unsigned level : {0u, 1u, 127u, 128u, 8192u, 16383u}) {
            hostEvents.push_back(HUIHostEvent::faderLevel(UInt4(strip), UInt14(level)));
            surfaceEvents.push_back(HUISurfaceEvent::faderLevel(UInt4(strip), UInt14(level)));
        }
        hostEvents.push_back(
            HUIHostEvent::channelDisplay(UInt4(strip), HUISmallDisplayString("Gtr")));
    }
    for (unsigned strip = 0; strip < 16; ++strip) {
        for (const auto side : {Side::left, Side::right}) {
            for (int level = 0; level <= 12; ++level) {
                hostEvents.push_back(HUIHostEvent::levelMeter(UInt4(strip), side, level));
                surfaceEvents.push_back(HUISurfaceEvent::levelMeter(UInt4(strip), side, level));
            }
        }
    }
    for (const auto& vPot : vPots) {
        for (unsigned byte = 0; byte < 128; ++byte)
            hostEvents.push_back(
                HUIHostEvent::vPot(vPot, HUIVPotDisplay::fromRingByte(UInt7(byte))));
        for (int delta = -63; delta <= 63; ++delta)
            surfaceEvents.push_back(HUISurfaceEvent::vPot(vPot, Int7(delta)));
    }
    for (int delta = -63; delta <= 63; ++delta)
        surfaceEvents.push_back(HUISurfaceEvent::jogWheel(Int7(delta)));
    hostEvents.push_back(HUIHostEvent::selectAssignDisplay(HUISmallDisplayString("Ünïc")));
    for (std::size_t count = 1; count <= 8; ++count) {
        std::vector<HUITimeDisplayCharacter> chars;
        for (std::size_t i = 0; i < count; ++i)
            chars.push_back(
                HUITimeDisplayCharacter::allCases()[random() % HUITimeDisplayCharacter::caseCount]);
        hostEvents.push_back(HUIHostEvent::timeDisplay(chars));
    }
    for (unsigned slice = 0; slice < 16; ++slice) {
        std::vector<HUILargeDisplayCharacter> chars;
        for (int i = 0; i < 10; ++i)
            chars.push_back(HUILargeDisplayCharacter::allCases()[random() % 128]);
        hostEvents.push_back(HUIHostEvent::largeDisplay({{UInt4(slice), chars}}));
    }
    expectRoundTrip<HUIHostEventDecoder>(hostEvents);
    expectRoundTrip<HUISurfaceEventDecoder>(surfaceEvents);
}

TEST(HUIRoleDecoders, ConvertByRoleAndStopWithTheirWrapper) {
    const Bytes smallDisplay = {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10,
                                0x00, 0x41, 0x42, 0x43, 0x44, 0xF7};
    std::vector<std::string> seen;
    auto surfaceSide = std::make_unique<HUISurfaceEventDecoder>();
    surfaceSide->setEventHandler(
        [&](const HUISurfaceEvent& e) { seen.push_back(e.description()); });
    // A display from a surface reaches the host side as a ping.
    surfaceSide->midiIn(huitest::eventsFromMIDI1(smallDisplay));
    surfaceSide->midiIn(huitest::eventsFromMIDI1(Bytes{0xB0, 0x13, 0x45}));
    surfaceSide->midiIn(huitest::eventsFromMIDI1(Bytes{0xB0, 0x01, 0x10}));
    surfaceSide->reset();
    surfaceSide->midiIn(huitest::eventsFromMIDI1(Bytes{0xB0, 0x21, 0x05}));
    EXPECT_EQ(seen, (std::vector<std::string>{"ping", "vPot(channel(3), delta: 5)",
                                              "faderLevel(channelStrip: 1, level: 5)"}));

    HUIHostEventDecoder hostSide;
    std::vector<std::string> hostSeen;
    hostSide.midiIn(huitest::eventsFromMIDI1(Bytes{0xB0, 0x01, 0x10}));  // no handler: state only
    hostSide.setEventHandler([&](const HUIHostEvent& e) { hostSeen.push_back(e.description()); });
    hostSide.midiIn(huitest::eventsFromMIDI1(
        Bytes{0xB0, 0x21, 0x05, 0xB0, 0x0D, 0x41, 0xB0, 0x0F, 0x03, 0xB0, 0x2F, 0x41}));
    EXPECT_EQ(hostSeen, (std::vector<std::string>{"faderLevel(channelStrip: 1, level: 2053)",
                                                  "switch(channelStrip(3, select), state: on)"}));

    seen.clear();
    const auto core = surfaceSide->decoder();
    surfaceSide.reset();
    core->midiIn(huitest::eventsFromMIDI1(Bytes{0x90, 0x00, 0x7F}));
    EXPECT_TRUE(seen.empty());
}

}  // namespace
