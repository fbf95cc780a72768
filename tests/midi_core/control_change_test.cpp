#include "midi_core/events/control_change.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace midicore::events {
namespace {

using Controller = CC::Controller;
using V = ChanVoice7Bit32BitValue;

TEST(ControllerTest, NumbersAndNames) {
    struct Case {
        Controller controller;
        unsigned number;
        Controller::Case controllerCase;
        std::string name;
    };
    // Numbers as the MIDI 1.0 control change table assigns them.
    const Case cases[] = {
        {Controller::bankSelect(), 0, Controller::Case::bankSelect, "Bank Select"},
        {Controller::modWheel(), 1, Controller::Case::modWheel, "Mod Wheel"},
        {Controller::portamentoTime(), 5, Controller::Case::portamentoTime, "Portamento Time"},
        {Controller::dataEntry(), 6, Controller::Case::dataEntry, "Data Entry MSB"},
        {Controller::volume(), 7, Controller::Case::volume, "Volume"},
        {Controller::pan(), 10, Controller::Case::pan, "Pan"},
        {Controller::expression(), 11, Controller::Case::expression, "Expression"},
        {Controller::sustainPedal(), 64, Controller::Case::sustainPedal, "Sustain Pedal"},
        {Controller::soundCtrl5_brightness(), 74, Controller::Case::soundCtrl5_brightness,
         "Sound Control 5 - Brightness"},
        {Controller::effects1Depth_reverbSendLevel(), 91,
         Controller::Case::effects1Depth_reverbSendLevel, "Effects 1 Depth - Reverb Send Level"},
        {Controller::nrpnLSB(), 98, Controller::Case::nrpnLSB, "NRPN LSB"},
        {Controller::nrpnMSB(), 99, Controller::Case::nrpnMSB, "NRPN MSB"},
        {Controller::rpnLSB(), 100, Controller::Case::rpnLSB, "RPN LSB"},
        {Controller::rpnMSB(), 101, Controller::Case::rpnMSB, "RPN MSB"},
        {Controller::lsb(Controller::LSB::bankSelect()), 32, Controller::Case::lsb,
         "Bank Select LSB"},
        {Controller::lsb(Controller::LSB::undefined(Controller::LSB::Undefined::cc3)), 35,
         Controller::Case::lsb, "Undefined CC3 LSB"},
        {Controller::lsb(Controller::LSB::portamentoTime()), 37, Controller::Case::lsb,
         "PortamentoTime LSB"},
        {Controller::lsb(Controller::LSB::dataEntry()), 38, Controller::Case::lsb,
         "Data Entry LSB"},
        {Controller::lsb(Controller::LSB::channelVolume()), 39, Controller::Case::lsb,
         "Volume LSB"},
        {Controller::lsb(Controller::LSB::undefined(Controller::LSB::Undefined::cc31)), 63,
         Controller::Case::lsb, "Undefined CC31 LSB"},
        {Controller::undefined(Controller::Undefined::cc3), 3, Controller::Case::undefined,
         "Undefined CC3"},
        {Controller::undefined(Controller::Undefined::cc119), 119, Controller::Case::undefined,
         "Undefined CC119"},
        {Controller::mode(Controller::Mode::allSoundOff), 120, Controller::Case::mode,
         "All Sound Off"},
        {Controller::mode(Controller::Mode::allNotesOff), 123, Controller::Case::mode,
         "All Notes Off"},
        {Controller::mode(Controller::Mode::polyModeOn), 127, Controller::Case::mode,
         "Poly Mode On"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.controller.number(), c.number) << c.name;
        EXPECT_EQ(c.controller.controllerCase(), c.controllerCase) << c.name;
        EXPECT_EQ(c.controller.name(), c.name);
        EXPECT_EQ(Controller(UInt7(c.number)), c.controller) << c.name;
        EXPECT_EQ(c.controller.description(), std::to_string(c.number));
    }
}

TEST(ControllerTest, EveryNumberIsOneControllerAndMapsBack) {
    const auto& all = Controller::allCases();
    ASSERT_EQ(all.size(), 128u);
    std::set<std::string> names;
    std::map<Controller::Case, int> perCase;
    for (unsigned n = 0; n < 128; ++n) {
        const Controller c(UInt7::truncating(n));
        EXPECT_EQ(all[n], c);
        EXPECT_EQ(c.number(), n);
        names.insert(c.name());
        ++perCase[c.controllerCase()];
        // The payload of each case builds the same controller again.
        switch (c.controllerCase()) {
            case Controller::Case::lsb: {
                const auto l = *c.lsbValue();
                EXPECT_EQ(Controller::lsb(l), c);
                EXPECT_EQ(l.number(), n);
                EXPECT_EQ(l.msbNumber(), n - 32);
                // Named after the MSB controller, but for the two spelt differently.
                if (n != 37 && n != 38) {
                    EXPECT_EQ(l.name(), Controller(l.msbNumber()).name() + " LSB");
                }
                if (const auto u = l.undefinedValue()) {
                    EXPECT_EQ(Controller::LSB::undefined(*u), l);
                    EXPECT_EQ(number(*u), n);
                    EXPECT_EQ(msbNumber(*u), n - 32);
                    // Its MSB controller is undefined too.
                    EXPECT_EQ(Controller(msbNumber(*u)).controllerCase(),
                              Controller::Case::undefined);
                }
                break;
            }
            case Controller::Case::mode:
                EXPECT_EQ(Controller::mode(*c.modeValue()), c);
                EXPECT_EQ(number(*c.modeValue()), n);
                break;
            case Controller::Case::undefined:
                EXPECT_EQ(Controller::undefined(*c.undefinedValue()), c);
                EXPECT_EQ(number(*c.undefinedValue()), n);
                EXPECT_EQ(name(*c.undefinedValue()), "Undefined CC" + std::to_string(n));
                break;
            default:
                EXPECT_FALSE(c.lsbValue() || c.modeValue() || c.undefinedValue());
                break;
        }
    }
    EXPECT_EQ(names.size(), 128u);
    EXPECT_EQ(perCase[Controller::Case::lsb], 32);
    EXPECT_EQ(perCase[Controller::Case::mode], 8);
    EXPECT_EQ(perCase[Controller::Case::undefined], 39);
    EXPECT_EQ(perCase.size(), 49u + 3u);  // each named case once
}

TEST(ControlChangeTest, Encodings) {
    struct Case {
        CC cc;
        std::vector<uint8_t> bytes;
        uint32_t midi1Word;
        uint32_t midi2Word0;
        uint32_t midi2Word1;
    };
    const Case cases[] = {
        {CC(Controller::volume(), V::midi1(UInt7(100)), UInt4(3)),
         {0xB3, 0x07, 0x64},
         0x20B30764,
         0x40B30700,
         0xC9249249},
        {CC(UInt7(1), V::unitInterval(0.5), UInt4(0), UInt4(5)),
         {0xB0, 0x01, 0x40},
         0x25B00140,
         0x45B00100,
         0x80000000},
        {CC(UInt7(127), V::midi2(0xFFFFFFFF), UInt4(15), UInt4(15)),
         {0xBF, 0x7F, 0x7F},
         0x2FBF7F7F,
         0x4FBF7F00,
         0xFFFFFFFF},
        {CC(UInt7(64), V::midi2(0x01FFFFFF), UInt4(9)),
         {0xB9, 0x40, 0x00},
         0x20B94000,
         0x40B94000,
         0x01FFFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.cc.midi1RawBytes(), c.bytes);
        EXPECT_EQ(c.cc.umpRawWords(MIDIProtocolVersion::_1_0), (UMPPacket{c.midi1Word}));
        EXPECT_EQ(c.cc.umpRawWords(MIDIProtocolVersion::_2_0),
                  (UMPPacket{c.midi2Word0, c.midi2Word1}));
        EXPECT_EQ(c.cc.midi1RawStatusByte(), c.bytes[0]);
        EXPECT_EQ(c.cc.midi1RawDataBytes(), std::make_pair(UInt7(c.bytes[1]), UInt7(c.bytes[2])));
    }
    EXPECT_EQ(cases[0].cc.description(),
              "cc(7, val: midi1(100)/midi2(3374617161), chan: 0x3, group: 0x0)");
}

TEST(ControlChangeTest, EqualityAndClamping) {
    CC cc(Controller::pan(), V::unitInterval(0.5), UInt4(1));
    EXPECT_EQ(cc, CC(UInt7(10), V::midi1(UInt7(64)), UInt4(1)));
    EXPECT_EQ(cc.hash(), CC(UInt7(10), V::unitInterval(0.5), UInt4(1)).hash());
    EXPECT_NE(cc, CC(UInt7(42), V::unitInterval(0.5), UInt4(1)));  // the pan LSB
    cc.value.set(V::unitInterval(-2.0));
    EXPECT_EQ(cc.value.value().unitIntervalValue(), 0.0);
    cc.value.modify([](V& v) { v = V::unitInterval(7.0); });
    EXPECT_EQ(cc.midi1RawBytes()[2], 127);
}

}  // namespace
}  // namespace midicore::events
