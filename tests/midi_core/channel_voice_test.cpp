#include "midi_core/events/channel_voice.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace midicore::events {
namespace {

using V16 = ChanVoice7Bit16BitValue;
using V32 = ChanVoice7Bit32BitValue;
using V14 = ChanVoice14Bit32BitValue;
using VN = ChanVoice32BitValue;
using Bank = ProgramChange::Bank;
using Bytes = std::vector<uint8_t>;
constexpr auto midi1 = MIDIProtocolVersion::_1_0;
constexpr auto midi2 = MIDIProtocolVersion::_2_0;

const NoteAttribute none = NoteAttribute::none();

TEST(ChannelVoiceTest, MIDI1BytesOfNotesAndZeroVelocity) {
    struct Case {
        const char* what;
        MIDI1Bytes bytes;
        Bytes expected;
    };
    const UInt4 ch0(0);
    const UInt4 g0(0);
    const Case cases[] = {
        {"zero velocity as note off",
         NoteOn(UInt7(60), V16::midi1(UInt7(0)), none, ch0, g0, true).midi1RawBytes(),
         {0x80, 0x3C, 0x00}},
        {"zero velocity kept",
         NoteOn(UInt7(60), V16::midi1(UInt7(0)), none, ch0, g0, false).midi1RawBytes(),
         {0x90, 0x3C, 0x00}},
        {"16-bit velocity below one step",
         NoteOn(UInt7(60), V16::midi2(0x01FF)).midi1RawBytes(),
         {0x90, 0x3C, 0x01}},
        {"16-bit zero is never a note off",
         NoteOn(UInt7(60), V16::midi2(0)).midi1RawBytes(),
         {0x90, 0x3C, 0x01}},
        {"note off keeps 0",
         NoteOff(UInt7(60), V16::midi2(0x01FF)).midi1RawBytes(),
         {0x80, 0x3C, 0x00}},
        {"half", NoteOn(UInt7(60), V16::unitInterval(0.5)).midi1RawBytes(), {0x90, 0x3C, 64}},
        {"full", NoteOn(UInt7(60), V16::unitInterval(1.0)).midi1RawBytes(), {0x90, 0x3C, 127}},
        {"tiny fraction as note off",
         NoteOn(UInt7(60), V16::unitInterval(0.001)).midi1RawBytes(),
         {0x80, 0x3C, 0}},
        {"tiny fraction kept",
         NoteOn(UInt7(60), V16::unitInterval(0.001), none, ch0, g0, false).midi1RawBytes(),
         {0x90, 0x3C, 0}},
        {"channel 16",
         NoteOff(UInt7(127), V16::midi1(UInt7(127)), none, UInt4(15)).midi1RawBytes(),
         {0x8F, 0x7F, 0x7F}},
        {"pitch bend centre",
         PitchBend(V14::midi1(UInt14(8192))).midi1RawBytes(),
         {0xE0, 0x00, 0x40}},
        {"bipolar centre",
         PitchBend(V14::bipolarUnitInterval(0.0)).midi1RawBytes(),
         {0xE0, 0x00, 0x40}},
        {"32-bit bend",
         PitchBend(V14::midi2(0xFFFFFFFF), UInt4(2)).midi1RawBytes(),
         {0xE2, 0x7F, 0x7F}},
        {"bank select first",
         ProgramChange(UInt7(5), Bank::bankSelect(UInt14(16383))).midi1RawBytes(),
         {0xB0, 0x00, 0x7F, 0xB0, 0x20, 0x7F, 0xC0, 0x05}},
        {"bank halves",
         ProgramChange(UInt7(9), Bank::bankSelect(UInt7(1), UInt7(2)), UInt4(4)).midi1RawBytes(),
         {0xB4, 0x00, 0x01, 0xB4, 0x20, 0x02, 0xC4, 0x09}},
        {"no bank", ProgramChange(UInt7(5)).midi1RawBytes(), {0xC0, 0x05}},
        {"channel pressure",
         Pressure(V32::midi2(0xFFFFFFFF), UInt4(1)).midi1RawBytes(),
         {0xD1, 0x7F}},
        {"key pressure",
         NotePressure(UInt7(1), V32::midi1(UInt7(2)), UInt4(3)).midi1RawBytes(),
         {0xA3, 0x01, 0x02}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.bytes, c.expected) << c.what;
}

TEST(ChannelVoiceTest, UniversalMIDIPackets) {
    struct Case {
        const char* what;
        UMPPacket packet;
        UMPPacket expected;
    };
    const NoteOn noteOn(UInt7(60), V16::midi1(UInt7(127)), none, UInt4(2), UInt4(1));
    const NoteAttribute pitch = NoteAttribute::pitch7_9(UInt7(60), UInt9(256));
    const ProgramChange banked(UInt7(5), Bank::bankSelect(UInt14(16383)));
    const Case cases[] = {
        {"note on, MIDI 2.0", noteOn.umpRawWords(midi2), {0x41923C00, 0xFFFF0000}},
        {"note on, MIDI 1.0", noteOn.umpRawWords(midi1), {0x21923C7F}},
        {"zero velocity note on, MIDI 1.0",
         NoteOn(UInt7(60), V16::midi1(UInt7(0))).umpRawWords(midi1),
         {0x20803C00}},
        {"zero velocity note on, MIDI 2.0",
         NoteOn(UInt7(60), V16::midi1(UInt7(0))).umpRawWords(midi2),
         {0x40903C00, 0x00000000}},
        {"note off with pitch attribute",
         NoteOff(UInt7(60), V16::midi2(0x1234), pitch, UInt4(0), UInt4(15)).umpRawWords(midi2),
         {0x4F803C03, 0x12347900}},
        {"note off, MIDI 1.0",
         NoteOff(UInt7(60), V16::midi2(0x1234), pitch).umpRawWords(midi1),
         {0x20803C09}},
        {"key pressure",
         NotePressure(UInt7(60), V32::midi2(7), UInt4(1), UInt4(2)).umpRawWords(midi2),
         {0x42A13C00, 7}},
        {"channel pressure, MIDI 1.0",
         Pressure(V32::midi1(UInt7(0x55)), UInt4(1)).umpRawWords(midi1),
         {0x20D15500}},
        {"channel pressure, MIDI 2.0",
         Pressure(V32::midi1(UInt7(127)), UInt4(1)).umpRawWords(midi2),
         {0x40D10000, 0xFFFFFFFF}},
        {"pitch bend, MIDI 1.0",
         PitchBend(V14::midi1(UInt14(0x2001))).umpRawWords(midi1),
         {0x20E00140}},
        {"pitch bend centre, MIDI 2.0",
         PitchBend(V14::bipolarUnitInterval(0.0)).umpRawWords(midi2),
         {0x40E00000, 0x80000000}},
        {"per-note pitch bend",
         NotePitchBend(UInt7(60), VN::midi2(0x12345678), UInt4(3), UInt4(4)).umpRawWords(),
         {0x44633C00, 0x12345678}},
        {"program change with bank, MIDI 1.0", banked.umpRawWords(midi1), {0x20C00500}},
        {"program change with bank, MIDI 2.0", banked.umpRawWords(midi2), {0x40C00001, 0x05007F7F}},
        {"program change, MIDI 2.0",
         ProgramChange(UInt7(5)).umpRawWords(midi2),
         {0x40C00000, 0x05000000}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.packet, c.expected) << c.what;
}

// The MIDI 1.0-protocol word carries the MIDI 1.0 message; the status and data accessors agree
// with the bytes.
TEST(ChannelVoiceTest, AccessorsAndWordsAgreeWithTheBytes) {
    auto word = [](const MIDI1Bytes& b, UInt4 group) {
        return uInt32FromBytes(static_cast<uint8_t>(0x20 | group.value()), b[0], b[1],
                               b.size() > 2 ? b[2] : 0);
    };
    for (unsigned ch = 0; ch < 16; ch += 5) {
        for (unsigned v = 0; v < 128; v += 9) {
            const UInt4 c = UInt4::truncating(ch);
            const UInt4 g = UInt4::truncating(15 - ch);
            const UInt7 d = UInt7::truncating(v);
            for (bool flag : {false, true}) {
                const NoteOn on(UInt7(64), V16::midi1(d), none, c, g, flag);
                const auto bytes = on.midi1RawBytes();
                EXPECT_EQ(on.midi1RawStatusByte(), bytes[0]);
                EXPECT_EQ(on.midi1RawDataBytes(), std::make_pair(UInt7(bytes[1]), UInt7(bytes[2])));
                EXPECT_EQ(on.umpRawWords(midi1), UMPPacket{word(bytes, g)});
            }
            const NoteOff off(d, V16::midi2(static_cast<uint16_t>(v * 500)), none, c, g);
            EXPECT_EQ(off.umpRawWords(midi1), UMPPacket{word(off.midi1RawBytes(), g)});
            const NotePressure keyPressure(d, V32::unitInterval(v / 127.0), c, g);
            EXPECT_EQ(keyPressure.umpRawWords(midi1),
                      UMPPacket{word(keyPressure.midi1RawBytes(), g)});
            const PitchBend bend(V14::midi1(UInt14::truncating(v * 129)), c, g);
            const auto bendBytes = bend.midi1RawBytes();
            EXPECT_EQ(bend.midi1RawDataBytes(),
                      std::make_pair(UInt7(bendBytes[1]), UInt7(bendBytes[2])));
            EXPECT_EQ(bend.umpRawWords(midi1), UMPPacket{word(bendBytes, g)});
            const Pressure pressure(V32::midi1(d), c, g);
            EXPECT_EQ(pressure.umpRawWords(midi1), UMPPacket{word(pressure.midi1RawBytes(), g)});
            const ProgramChange program(d, Bank::noBankSelect(), c, g);
            EXPECT_EQ(program.umpRawWords(midi1), UMPPacket{word(program.midi1RawBytes(), g)});
            EXPECT_EQ(program.midi1RawStatusByte(), program.midi1RawBytes()[0]);
        }
    }
}

TEST(ChannelVoiceTest, EqualityHashingAndClamping) {
    const NoteOn a(UInt7(60), V16::midi1(UInt7(0)), none, UInt4(0), UInt4(0), true);
    const NoteOn b(MIDINote(UInt7(60), MIDINote::Style::roland), V16::midi1(UInt7(0)), none,
                   UInt4(0), UInt4(0), false);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(NoteOn(UInt7(60), V16::unitInterval(0.5)), NoteOn(UInt7(60), V16::midi1(UInt7(64))));
    EXPECT_EQ(NoteOn(UInt7(60), V16::midi1(UInt7(64))), NoteOn(UInt7(60), V16::midi2(0x8000)));
    EXPECT_NE(NoteOn(UInt7(60), V16::midi1(UInt7(64))),
              NoteOn(UInt7(60), V16::midi1(UInt7(64)), NoteAttribute::profileSpecific(1)));
    EXPECT_NE(ProgramChange(UInt7(1)), ProgramChange(UInt7(1), Bank::bankSelect(UInt14(0))));
    EXPECT_EQ(Bank::bankSelect(UInt7(1), UInt7(2)).bankNumber(), UInt14(130));

    NoteOn clamped(UInt7(60), V16::unitInterval(5.0));  // stored unchanged
    EXPECT_EQ(clamped.velocity.value().unitIntervalValue(), 1.0);
    clamped.velocity.set(V16::unitInterval(-1.0));
    EXPECT_EQ(clamped.velocity.value(), V16::unitInterval(0.0));
    PitchBend bend(V14::bipolarUnitInterval(0.0));
    bend.value.set(V14::bipolarUnitInterval(-9.0));
    EXPECT_EQ(bend.midi1RawBytes(), (Bytes{0xE0, 0x00, 0x00}));
}

TEST(ChannelVoiceTest, Texts) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {NoteOn(UInt7(60), V16::midi1(UInt7(64))).description(),
         "noteOn(60 (C3)), vel: midi1(64)/midi2(32768), chan: 0x0, group: 0x0)"},
        {NoteOn(UInt7(61), V16::midi2(0xFFFF), NoteAttribute::pitch7_9(UInt7(60), UInt9(256)),
                UInt4(15), UInt4(2))
             .description(),
         "noteOn(61 (C#3)), vel: midi1(127)/midi2(65535), pitch7.9(60, fine:256), chan: 0xF, "
         "group: 0x2)"},
        {NoteOff(UInt7(0), V16::midi1(UInt7(0))).description(),
         "noteOff(0 (C-2)), midi1(0)/midi2(0), chan: 0x0, group: 0x0)"},
        {NotePressure(UInt7(60), V32::midi1(UInt7(127)), UInt4(10)).description(),
         "notePressure(note: 60 (C3)), amount: midi1(127)/midi2(4294967295), chan: 0xA, group: "
         "0x0)"},
        {NotePitchBend(UInt7(60), VN::unitInterval(1.0)).description(),
         "notePitchBend(note: 60 (C3)), value: unitInterval(1.0), chan: 0x0, group: 0x0)"},
        {PitchBend(V14::midi1(UInt14(8192))).description(),
         "pitchBend(midi1(8192)/midi2(2147483648), chan: 0x0, group: 0x0)"},
        {Pressure(V32::midi1(UInt7(64))).description(),
         "pressure(amount: midi1(64)/midi2(2147483648), chan: 0x0, group: 0x0)"},
        {ProgramChange(UInt7(5)).description(), "prgChange(5, chan: 0x0, group: 0x0)"},
        {ProgramChange(UInt7(5), Bank::bankSelect(UInt14(300)), UInt4(1), UInt4(1)).description(),
         "prgChange(5, bank: 300, chan: 0x1, group: 0x1)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, c.expected);
}

}  // namespace
}  // namespace midicore::events
