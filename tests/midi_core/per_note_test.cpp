#include "midi_core/events/per_note.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

namespace midicore::events {
namespace {

using Pitch = NoteAttribute::Pitch7_9;
using Controller = NoteCC::PerNoteController;
using Registered = Controller::Registered;
using Flag = NoteManagement::OptionFlag;
using Flags = NoteManagement::OptionFlags;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(NoteAttributeTest, PacketFieldsDecodeAndEncode) {
    struct Case {
        uint8_t type;
        uint16_t data;
        NoteAttribute::Case decoded;
        uint8_t typeBack;
        uint16_t dataBack;
        std::string text;
    };
    const Case cases[] = {
        {0, 0x1234, NoteAttribute::Case::none, 0, 0, "none"},
        {1, 12, NoteAttribute::Case::manufacturerSpecific, 1, 12, "manufacturerSpecific(12)"},
        {2, 0xFFFF, NoteAttribute::Case::profileSpecific, 2, 0xFFFF, "profileSpecific(65535)"},
        {3, 0xFFFF, NoteAttribute::Case::pitch7_9, 3, 0xFFFF, "pitch7.9(127, fine:511)"},
        {3, 60 << 9 | 256, NoteAttribute::Case::pitch7_9, 3, 60 << 9 | 256,
         "pitch7.9(60, fine:256)"},
        {5, 511, NoteAttribute::Case::undefined, 5, 511, "undefined(0x05, data: 0x01FF)"},
        {0x80, 7, NoteAttribute::Case::undefined, 0x80, 7, "undefined(0x80, data: 0x0007)"},
    };
    for (const Case& c : cases) {
        const NoteAttribute a = NoteAttribute::fromTypeAndData(c.type, c.data);
        EXPECT_EQ(a.attributeCase(), c.decoded) << c.text;
        EXPECT_EQ(a.attributeType(), c.typeBack) << c.text;
        EXPECT_EQ(a.attributeData(), c.dataBack) << c.text;
        EXPECT_EQ(a.description(), c.text);
    }
    const NoteAttribute typeOne = NoteAttribute::undefined(1, 9);
    EXPECT_EQ(typeOne.attributeType(), 1);
    EXPECT_EQ(NoteAttribute::fromTypeAndData(typeOne.attributeType(), typeOne.attributeData()),
              NoteAttribute::manufacturerSpecific(9));
    EXPECT_NE(typeOne, NoteAttribute::manufacturerSpecific(9));
    EXPECT_EQ(NoteAttribute::fromTypeAndData(3, 0xFFFF).pitch(), (Pitch{UInt7(127), UInt9(511)}));
}

TEST(NoteAttributeTest, PitchFromFractionalSemitones) {
    struct Case {
        double semitones;
        unsigned coarse;
        unsigned fine;
    };
    const Case cases[] = {
        {60.5, 60, 256},
        {-3.0, 0, 0},
        {200.0, 127, 511},
        {5.9999, 6, 0},
        {126.9999, 127, 0},
        {127.9999, 127, 511},
        {60.0009765625, 60, 1},  // half a step rounds up
        {nan, 0, 0},
        {inf, 127, 511},
        {-inf, 0, 0},
        {1e300, 127, 511},
        {-0.0, 0, 0},
        {std::numeric_limits<double>::denorm_min(), 0, 0},
    };
    for (const Case& c : cases) {
        const Pitch p = Pitch::fromDouble(c.semitones);
        EXPECT_EQ(p.coarse, c.coarse) << c.semitones;
        EXPECT_EQ(p.fine, c.fine) << c.semitones;
    }
    // Every 16-bit pitch survives the double, byte-pair and 16-bit forms.
    for (unsigned v = 0; v <= 0xFFFF; ++v) {
        const Pitch p = Pitch::fromUInt16(static_cast<uint16_t>(v));
        ASSERT_EQ(p.uInt16Value(), v);
        ASSERT_EQ(Pitch::fromDouble(p.doubleValue()), p) << v;
        ASSERT_EQ(Pitch::fromBytePair(p.bytePair()), p) << v;
    }
    const Pitch a4{UInt7(69), UInt9(256)};
    EXPECT_EQ(a4.bytePair(), BytePair(0x8B, 0x00));  // 69 << 1 | 256 >> 8, 256 & 0xFF
    EXPECT_EQ(a4.doubleValue(), 69.5);
}

TEST(PerNoteControllerTest, RegisteredIndexTable) {
    struct Case {
        uint8_t index;
        Registered::Case registeredCase;
        std::string name;
    };
    const Case cases[] = {
        {0, Registered::Case::undefined, "Undefined Per-Note CC0"},
        {1, Registered::Case::modWheel, "Mod Wheel"},
        {3, Registered::Case::pitch7_25, "Pitch 7.25"},
        {4, Registered::Case::undefined, "Undefined Per-Note CC4"},
        {10, Registered::Case::pan, "Pan"},
        {12, Registered::Case::undefined, "Undefined Per-Note CC12"},
        {79, Registered::Case::soundCtrl10_defaultUndefined, "Sound Control 10 - Undefined"},
        {93, Registered::Case::effects3Depth_chorusSendLevel,
         "Effects 3 Depth - Chorus Send Level"},
        {255, Registered::Case::undefined, "Undefined Per-Note CC255"},
    };
    for (const Case& c : cases) {
        const Registered r = Registered::fromIndex(c.index);
        EXPECT_EQ(r.registeredCase(), c.registeredCase) << int(c.index);
        EXPECT_EQ(r.name(), c.name);
    }
    // Every index has one value and maps back; 234 of them have no name.
    std::set<std::string> names;
    int undefinedCount = 0;
    for (unsigned i = 0; i <= 255; ++i) {
        const Registered r = Registered::fromIndex(static_cast<uint8_t>(i));
        EXPECT_EQ(r.number(), i);
        EXPECT_TRUE(r == i && i == r && !(r != i));
        names.insert(r.name());
        if (const auto u = r.undefinedValue()) {
            ++undefinedCount;
            EXPECT_EQ(u->number(), i);
            EXPECT_EQ(u->name(), r.name());
            EXPECT_EQ(Registered::undefined(*u), r);
        }
    }
    EXPECT_EQ(names.size(), 256u);
    EXPECT_EQ(undefinedCount, 234);
    EXPECT_TRUE(Registered::pan() != -1 && Registered::pan() != 266 && Registered::pan() == 10L);
    EXPECT_EQ(Registered::Undefined::fromNumber(10), std::nullopt);
    EXPECT_EQ(Registered::Undefined::cc<12>().name(), "Undefined Per-Note CC12");

    const auto& all = Registered::allCases();
    ASSERT_EQ(all.size(), 255u);
    EXPECT_EQ(all.front(), Registered::modWheel());
    EXPECT_EQ(all[3], Registered::undefined(Registered::Undefined::cc<4>()));
    EXPECT_EQ(all.back().number(), 255);
}

TEST(PerNoteControllerTest, PacketsOfControllerAndManagementMessages) {
    struct Case {
        UMPPacket packet;
        uint32_t word0;
        uint32_t word1;
    };
    const MIDINote c3(UInt7(60));
    const Case cases[] = {
        {NoteCC(c3, Controller::registered(Registered::pan()),
                ChanVoice32BitValue::midi2(0x80000000), UInt4(1), UInt4(0))
             .umpRawWords(),
         0x40013C0A, 0x80000000},
        {NoteCC(UInt7(0x7F), Controller::assignable(200), ChanVoice32BitValue::unitInterval(0.5),
                UInt4(15), UInt4(15))
             .umpRawWords(),
         0x4F1F7FC8, 0x80000000},
        {NoteManagement(c3, {Flag::detachPerNoteControllers, Flag::resetPerNoteControllers},
                        UInt4(2), UInt4(3))
             .umpRawWords(),
         0x43F23C03, 0},
        {NoteManagement(c3, {}, UInt4(0), UInt4(0)).umpRawWords(), 0x40F03C00, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.packet, (UMPPacket{c.word0, c.word1}));
}

TEST(PerNoteControllerTest, OptionFlagsAndTexts) {
    EXPECT_EQ(Flags::fromUMPOptionBits(0xFF),
              (Flags{Flag::detachPerNoteControllers, Flag::resetPerNoteControllers}));
    EXPECT_TRUE(Flags::fromUMPOptionBits(0x04).empty());
    for (uint8_t bits = 0; bits < 4; ++bits) {
        EXPECT_EQ(Flags::fromUMPOptionBits(bits).umpOptionBits(), bits);
    }
    // Declaration order whatever the order of insertion.
    EXPECT_EQ((Flags{Flag::resetPerNoteControllers, Flag::detachPerNoteControllers}).description(),
              "[detachPerNoteControllers, resetPerNoteControllers]");
    EXPECT_EQ(Flags{Flag::resetPerNoteControllers}.description(), "[resetPerNoteControllers]");
    EXPECT_EQ(Flags{}.description(), "[]");

    const MIDINote c3(UInt7(60));
    EXPECT_EQ(NoteManagement(c3, {Flag::resetPerNoteControllers}, UInt4(2), UInt4(3)).description(),
              "noteManagement(options: [resetPerNoteControllers], chan: 0x2, group: 0x3)");
    EXPECT_EQ(NoteCC(c3, Controller::registered(Registered::pan()),
                     ChanVoice32BitValue::unitInterval(0.25), UInt4(10), UInt4(0))
                  .description(),
              "noteCC(note: 60 (C3)), controller: registered(10), val: unitInterval(0.25), chan: "
              "0xA, group: 0x0)");
    EXPECT_EQ(Controller::assignable(200).description(), "assignable(200)");
}

TEST(PerNoteControllerTest, EqualityAcrossValueFormsAndClampingOnAssignment) {
    const MIDINote c3(UInt7(60));
    NoteCC a(c3, Controller::assignable(1), ChanVoice32BitValue::unitInterval(0.5));
    const NoteCC b(MIDINote(UInt7(60), MIDINote::Style::roland), Controller::assignable(1),
                   ChanVoice32BitValue::midi2(0x80000000));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, NoteCC(c3, Controller::registered(Registered::fromIndex(1)),
                        ChanVoice32BitValue::unitInterval(0.5)));
    a.value.set(ChanVoice32BitValue::unitInterval(3.0));
    EXPECT_EQ(a.value.value().unitIntervalValue(), 1.0);
    EXPECT_EQ(a.umpRawWords()[1], 0xFFFFFFFFu);
    const NoteManagement m1(c3, {Flag::resetPerNoteControllers});
    const NoteManagement m2(MIDINote(UInt7(60), MIDINote::Style::cakewalk),
                            {Flag::resetPerNoteControllers});
    EXPECT_EQ(m1, m2);
    EXPECT_EQ(m1.hash(), m2.hash());
}

}  // namespace
}  // namespace midicore::events
