#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "midiservices/translation.hpp"

using namespace midiservices;

namespace {

using Words = std::vector<uint32_t>;
using Bytes = std::vector<uint8_t>;

Words wordsOf(const MIDIPackets& packets) {
    Words all;
    for (const auto& p : packets)
        all.insert(all.end(), p.words.begin(), p.words.end());
    return all;
}

Bytes bytesOf(const MIDIPackets& packets) {
    Bytes all;
    for (const auto& p : packets)
        all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

Words parse(const std::vector<Bytes>& pieces) {
    MIDI1StreamToUMP parser;
    MIDIPackets out;
    for (const auto& piece : pieces)
        parser.feed({0, piece, {}}, out);
    return wordsOf(out);
}

// Values that min-centre-max scaling, as the MIDI 2.0 standard defines it, gives.
TEST(Translation, ScaleUpKeepsMinimumCentreAndMaximum) {
    struct Case {
        uint32_t value;
        unsigned from, to;
        uint32_t expected;
    } cases[] = {
        {0, 7, 16, 0x0000},           {64, 7, 16, 0x8000},          {127, 7, 16, 0xFFFF},
        {65, 7, 16, 0x8208},          {100, 7, 16, 0xC924},         {0, 7, 32, 0},
        {64, 7, 32, 0x80000000},      {127, 7, 32, 0xFFFFFFFF},     {0x2000, 14, 32, 0x80000000},
        {0x3FFF, 14, 32, 0xFFFFFFFF}, {0x1FFF, 14, 32, 0x7FFC0000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scaleUp(c.value, c.from, c.to), c.expected) << c.value << " " << c.from;
    }
    // Widening is monotonic and narrowing (keeping the top bits) gives the value back.
    for (uint32_t v = 1; v < 128; ++v) {
        EXPECT_LT(scaleUp(v - 1, 7, 32), scaleUp(v, 7, 32));
        EXPECT_EQ(scaleUp(v, 7, 32) >> 25, v);
    }
}

TEST(Translation, ByteStreamBecomesMIDI1ProtocolPackets) {
    struct Case {
        const char* what;
        std::vector<Bytes> pieces;
        Words expected;
    } cases[] = {
        {"note on", {{0x90, 0x3C, 0x64}}, {0x20903C64}},
        {"running status", {{0x90, 0x3C, 0x64, 0x40, 0x00}}, {0x20903C64, 0x20904000}},
        {"split across packets", {{0x90}, {0x3C}, {0x64}}, {0x20903C64}},
        {"real time inside a message", {{0x90, 0x3C, 0xF8, 0x64}}, {0x10F80000, 0x20903C64}},
        {"program change and pitch bend",
         {{0xC5, 0x07, 0xE0, 0x00, 0x40}},
         {0x20C50700, 0x20E00040}},
        {"system common ends running status",
         {{0xB0, 0x07, 0x10, 0xF2, 0x01, 0x02, 0x08}},
         {0x20B00710, 0x10F20102}},
        {"tune request and undefined bytes",
         {{0xF6, 0xF4, 0xF9, 0x10, 0xFE}},
         {0x10F60000, 0x10FE0000}},
        {"data without status", {{0x3C, 0x64}}, {}},
        {"short sysex", {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}, {0x30047E7F, 0x06010000}},
        {"sysex of exactly six", {{0xF0, 1, 2, 3, 4, 5, 6, 0xF7}}, {0x30060102, 0x03040506}},
        {"sysex split and interrupted by clock",
         {{0xF0, 1, 2, 3, 4}, {5, 6, 0xF8, 7, 8, 0xF7}},
         {0x10F80000, 0x30160102, 0x03040506, 0x30320708, 0x00000000}},
        {"status byte ends an unfinished sysex",
         {{0xF0, 1, 2, 0x90, 0x3C, 0x64}},
         {0x30020102, 0x00000000, 0x20903C64}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(c.pieces), c.expected) << c.what;
}

TEST(Translation, ProtocolsTranslateBothWays) {
    struct Case {
        const char* what;
        Words midi1;
        Words midi2;
    } cases[] = {
        {"note on", {0x20903C64}, {0x40903C00, 0xC9240000}},
        {"note on velocity 0 is a note off", {0x20903C00}, {0x40803C00, 0x00000000}},
        {"note off", {0x21813C40}, {0x41813C00, 0x80000000}},
        {"control change", {0x20B0077F}, {0x40B00700, 0xFFFFFFFF}},
        {"program change", {0x20C50700}, {0x40C50000, 0x07000000}},
        {"channel pressure", {0x20D04000}, {0x40D00000, 0x80000000}},
        {"pitch bend centre", {0x20E00040}, {0x40E00000, 0x80000000}},
        {"system and sysex pass",
         {0x10F80000, 0x30047E7F, 0x06010000},
         {0x10F80000, 0x30047E7F, 0x06010000}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wordsOf(umpToProtocol({{0, {}, c.midi1}}, MIDIProtocolID::midi2_0)), c.midi2)
            << c.what;
        if (std::string(c.what) != "note on velocity 0 is a note off") {
            EXPECT_EQ(wordsOf(umpToProtocol({{0, {}, c.midi2}}, MIDIProtocolID::midi1_0)), c.midi1)
                << c.what;
        }
    }

    // MIDI 2.0 messages whose MIDI 1.0 form differs in shape.
    struct Narrow {
        const char* what;
        Words midi2;
        Words midi1;
    } narrows[] = {
        {"quiet note on keeps sounding", {0x40903C00, 0x01000000}, {0x20903C01}},
        {"program with bank", {0x40C50001, 0x07000203}, {0x20B50002, 0x20B52003, 0x20C50700}},
        {"registered controller",
         {0x40210102, 0x80000000},
         {0x20B16501, 0x20B16402, 0x20B10640, 0x20B12600}},
        {"per-note pitch bend has no MIDI 1.0 form", {0x40603C00, 0x80000000}, {}},
    };
    for (const auto& c : narrows) {
        EXPECT_EQ(wordsOf(umpToProtocol({{0, {}, c.midi2}}, MIDIProtocolID::midi1_0)), c.midi1)
            << c.what;
    }
}

TEST(Translation, PacketsBecomeBytesAgain) {
    const MIDIPackets ump{{1, {}, {0x20903C64, 0x10F80000}},
                          {2, {}, {0x30160102, 0x03040506, 0x30320708, 0}},
                          {3, {}, {0x40903C00, 0xC9240000}},
                          {4, {}, {0x00000000, 0xD0000000, 0, 0, 0}},      // utility, flex data
                          {5, {}, {0x10903C64, 0x20F80000, 0x20103C64}}};  // malformed
    const MIDIPackets bytes = umpToBytes(ump);
    EXPECT_EQ(bytesOf(bytes), (Bytes{0x90, 0x3C, 0x64, 0xF8, 0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7,
                                     0x90, 0x3C, 0x64}));
    ASSERT_EQ(bytes.size(), 5u);  // one packet per message, with its packet's time stamp
    EXPECT_EQ(bytes[2].timeStamp, 2u);
    EXPECT_EQ(bytes[4].timeStamp, 3u);
}

// Any stream of well-formed channel messages survives bytes -> MIDI 1.0 protocol -> MIDI 2.0
// protocol -> MIDI 1.0 protocol -> bytes, apart from running status being written out and a
// Note On of velocity 0 coming back as a Note Off.
TEST(Translation, ChannelMessagesSurviveTheRoundTrip) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        Bytes stream, expected;
        uint8_t running = 0;
        for (int m = 0; m < 20; ++m) {
            const uint8_t status = uint8_t(0x80 + (random() % 7) * 0x10 + random() % 16);
            const int count = (status & 0xE0) == 0xC0 ? 1 : 2;
            Bytes data;
            for (int i = 0; i < count; ++i)
                data.push_back(random() % 128);
            if (status != running) stream.push_back(status);
            running = status;
            stream.insert(stream.end(), data.begin(), data.end());
            const bool noteOff = (status & 0xF0) == 0x90 && data[1] == 0;
            expected.push_back(noteOff ? uint8_t(status - 0x10) : status);
            expected.insert(expected.end(), data.begin(), data.end());
        }
        MIDI1StreamToUMP parser;
        MIDIPackets ump1;
        parser.feed({0, stream, {}}, ump1);
        const auto ump2 = umpToProtocol(ump1, MIDIProtocolID::midi2_0);
        const auto back = umpToBytes(umpToProtocol(ump2, MIDIProtocolID::midi1_0));
        ASSERT_EQ(bytesOf(back), expected) << "round " << round;
    }
}

}  // namespace
