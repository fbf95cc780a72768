#include "midi_core/midi_event.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace midicore {
namespace {

using E = MIDIEvent;
using Kind = MIDIEvent::Kind;
using V16 = ChanVoice7Bit16BitValue;
using V32 = ChanVoice7Bit32BitValue;
using V14 = ChanVoice14Bit32BitValue;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::vector<uint32_t>>;

const UInt4 ch9(9);
const UInt4 grp5(5);

std::vector<std::vector<uint32_t>> words(const UMPPackets& packets) {
    std::vector<std::vector<uint32_t>> out;
    for (const UMPPacket& p : packets) out.push_back(p.toVector());
    return out;
}

// One event of every case, on channel 9 and group 5, in case order.
std::vector<MIDIEvent> oneOfEach() {
    const auto mfr = E::SysExManufacturer::oneByte(UInt7(0x41));
    return {
        E::noteOn(UInt7(60), V16::midi1(UInt7(100)), E::NoteAttribute::none(), ch9, grp5),
        E::noteOff(UInt7(60), V16::midi1(UInt7(0)), E::NoteAttribute::none(), ch9, grp5),
        E::noteCC(UInt7(60), E::NoteCC::PerNoteController::assignable(7), ChanVoice32BitValue::midi2(1),
                  ch9, grp5),
        E::notePitchBend(UInt7(60), ChanVoice32BitValue::midi2(0x80000000), ch9, grp5),
        E::notePressure(UInt7(60), V32::midi1(UInt7(5)), ch9, grp5),
        E::noteManagement(UInt7(60), {}, ch9, grp5),
        E::cc(UInt7(7), V32::midi1(UInt7(100)), ch9, grp5),
        E::programChange(UInt7(5), E::ProgramChange::Bank::noBankSelect(), ch9, grp5),
        E::pitchBend(V14::midi1(UInt14(8192)), ch9, grp5),
        E::pressure(V32::midi1(UInt7(3)), ch9, grp5),
        E::rpn(E::RegisteredController::null(), MIDI2ParameterNumberChange::absolute, ch9, grp5),
        E::nrpn(E::AssignableController::null(), MIDI2ParameterNumberChange::absolute, ch9, grp5),
        E::sysEx7(mfr, Bytes{0x01}, grp5),
        E::universalSysEx7IdentityRequest(UInt7(0x7F), grp5),
        E::sysEx8(mfr, Bytes{0xFF}, grp5),
        E::universalSysEx8(E::UniversalSysExType::realTime, UInt7(1), UInt7(2), UInt7(3), Bytes{},
                           grp5),
        E::timecodeQuarterFrame(UInt7(0x12), grp5),
        E::songPositionPointer(UInt14(0x3FFF), grp5),
        E::songSelect(UInt7(4), grp5),
        E::unofficialBusSelect(UInt7(2), grp5),
        E::tuneRequest(grp5),
        E::timingClock(grp5),
        E::start(grp5),
        E::continue_(grp5),
        E::stop(grp5),
        E::activeSensing(grp5),
        E::systemReset(grp5),
        E::noOp(grp5),
        E::jrClock(0x1234, grp5),
        E::jrTimestamp(0xFFFF, grp5),
    };
}

TEST(MIDIEventTest, EveryCaseHasItsIndexKindChannelGroupAndMIDI1Form) {
    struct Expected {
        const char* name;
        Kind kind;
        bool midi1;  // has a MIDI 1.0 byte form
    };
    const Expected expected[E::caseCount] = {
        {"noteOn", Kind::channelVoice, true},
        {"noteOff", Kind::channelVoice, true},
        {"noteCC", Kind::channelVoice, false},
        {"notePitchBend", Kind::channelVoice, false},
        {"notePressure", Kind::channelVoice, true},
        {"noteManagement", Kind::channelVoice, false},
        {"cc", Kind::channelVoice, true},
        {"programChange", Kind::channelVoice, true},
        {"pitchBend", Kind::channelVoice, true},
        {"pressure", Kind::channelVoice, true},
        {"rpn", Kind::channelVoice, true},
        {"nrpn", Kind::channelVoice, true},
        {"sysEx7", Kind::systemExclusive, true},
        {"universalSysEx7", Kind::systemExclusive, true},
        {"sysEx8", Kind::systemExclusive, false},
        {"universalSysEx8", Kind::systemExclusive, false},
        {"timecodeQuarterFrame", Kind::systemCommon, true},
        {"songPositionPointer", Kind::systemCommon, true},
        {"songSelect", Kind::systemCommon, true},
        {"unofficialBusSelect", Kind::systemCommon, true},
        {"tuneRequest", Kind::systemCommon, true},
        {"timingClock", Kind::systemRealTime, true},
        {"start", Kind::systemRealTime, true},
        {"continue", Kind::systemRealTime, true},
        {"stop", Kind::systemRealTime, true},
        {"activeSensing", Kind::systemRealTime, true},
        {"systemReset", Kind::systemRealTime, true},
        {"noOp", Kind::utility, false},
        {"jrClock", Kind::utility, false},
        {"jrTimestamp", Kind::utility, false},
    };
    const auto events = oneOfEach();
    ASSERT_EQ(events.size(), E::caseCount);
    for (size_t i = 0; i < events.size(); ++i) {
        const MIDIEvent& e = events[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(e.caseIndex(), i);
        EXPECT_EQ(E::caseName(e.eventCase()), expected[i].name);
        EXPECT_EQ(e.kind(), expected[i].kind);
        EXPECT_EQ(e.group(), grp5);
        EXPECT_EQ(e.channel(), i <= 11 ? std::optional<UInt4>(ch9) : std::nullopt);
        EXPECT_EQ(e.midi1RawBytes().empty(), !expected[i].midi1);
        // Every event has packets under both protocols, and each packet's first word carries
        // the group.
        for (auto protocol : {MIDIProtocolVersion::_1_0, MIDIProtocolVersion::_2_0}) {
            const UMPPackets packets = e.umpRawWords(protocol);
            ASSERT_FALSE(packets.empty());
            for (const UMPPacket& p : packets) EXPECT_EQ(p[0] >> 24 & 0xF, 5u);
        }
        // Status byte and data bytes agree with the encoder for the one-message events.
        if (const auto status = e.midi1RawStatusByte()) {
            const MIDI1Bytes bytes = e.midi1RawBytes();
            if (e.kind() == Kind::systemExclusive) {
                EXPECT_EQ(bytes[0], *status);
                continue;
            }
            Bytes joined{*status};
            const auto data = e.midi1RawDataBytes();
            ASSERT_TRUE(data.has_value());
            if (data->first) joined.push_back(data->first->value());
            if (data->second) joined.push_back(data->second->value());
            EXPECT_EQ(bytes.toVector(), joined);
        } else {
            EXPECT_FALSE(e.midi1RawDataBytes().has_value());
        }
    }
    // The case index of a record type.
    static_assert(E::caseOf<E::Continue>() == E::Case::continue_);
    static_assert(E::caseOf<E::JRTimestamp>() == E::Case::jrTimestamp);
}

TEST(MIDIEventTest, Texts) {
    const auto sysExEmpty = E::sysEx7(E::SysExManufacturer::oneByte(UInt7(0x41)), Bytes{});
    const struct {
        MIDIEvent event;
        std::string text;
    } cases[] = {
        {E::timingClock(UInt4(0)), "timingClock(group: 0x0)"},
        {E::stop(UInt4(3)), "stop(group: 0x3)"},
        {E::continue_(UInt4(15)), "continue(group: 0xF)"},
        {E::programChange(UInt7(5)), "prgChange(5, chan: 0x0, group: 0x0)"},
        {sysExEmpty, "sysEx7(mfr: 0x41, data: [], group: 0x0)"},
        {E::noteOff(UInt7(60), V16::midi1(UInt7(0))),
         "noteOff(60 (C3)), midi1(0)/midi2(0), chan: 0x0, group: 0x0)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.event.description(), c.text);
        EXPECT_EQ(c.event.debugDescription(), c.text);
    }
    EXPECT_TRUE(E::noteOn(UInt7(60), V16::unitInterval(0.5)).description().starts_with(
        "noteOn(60 (C3)), vel: "));
}

TEST(MIDIEventTest, EqualityAndHashing) {
    const auto on = [](V16 v) { return E::noteOn(UInt7(60), v, E::NoteAttribute::none(), UInt4(1)); };
    // Same fields, different cases.
    EXPECT_NE(on(V16::midi1(UInt7(64))),
              E::noteOff(UInt7(60), V16::midi1(UInt7(64)), E::NoteAttribute::none(), UInt4(1)));
    // Across value forms.
    EXPECT_EQ(on(V16::unitInterval(0.5)), on(V16::midi1(UInt7(64))));
    EXPECT_EQ(on(V16::midi1(UInt7(64))), on(V16::midi2(32768)));
    EXPECT_NE(on(V16::midi1(UInt7(64))), on(V16::midi1(UInt7(65))));
    // Channel and group count.
    EXPECT_NE(E::timingClock(UInt4(0)), E::timingClock(UInt4(1)));
    EXPECT_NE(E::cc(UInt7(7), V32::midi1(UInt7(1)), UInt4(0)),
              E::cc(UInt7(7), V32::midi1(UInt7(1)), UInt4(1)));

    // Equal events hash equally; all 30 distinct events stay distinct in a set.
    const auto all = oneOfEach();
    const auto again = oneOfEach();
    std::unordered_set<MIDIEvent> set(all.begin(), all.end());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i], again[i]);
        EXPECT_EQ(all[i].hash(), again[i].hash());
        EXPECT_TRUE(set.contains(again[i]));
    }
    EXPECT_EQ(set.size(), E::caseCount);
    // The status-only records share one payload shape; the case still tells them apart.
    EXPECT_NE(E::start(UInt4(0)).hash(), E::stop(UInt4(0)).hash());
}

TEST(MIDIEventTest, MIDI1BytesAndPacketsOfTheSystemAndVoiceMessages) {
    const struct {
        MIDIEvent event;
        Bytes bytes;
        Words midi1Packets;
        Words midi2Packets;
    } cases[] = {
        {E::tuneRequest(), {0xF6}, {{0x10F60000}}, {{0x10F60000}}},
        {E::timingClock(UInt4(0)), {0xF8}, {{0x10F80000}}, {{0x10F80000}}},
        {E::timingClock(UInt4(2)), {0xF8}, {{0x12F80000}}, {{0x12F80000}}},
        {E::systemReset(UInt4(2)), {0xFF}, {{0x12FF0000}}, {{0x12FF0000}}},
        {E::songPositionPointer(UInt14(0x3FFF)), {0xF2, 0x7F, 0x7F}, {{0x10F27F7F}}, {{0x10F27F7F}}},
        {E::pitchBend(V14::midi1(UInt14(8192))), {0xE0, 0x00, 0x40}, {{0x20E00040}},
         {{0x40E00000, 0x80000000}}},
        {E::noOp(UInt4(3)), {}, {{0x03000000}}, {{0x03000000}}},
        // A per-note controller has MIDI 2.0 packets under either protocol.
        {E::noteCC(UInt7(60), E::NoteCC::PerNoteController::assignable(7),
                   ChanVoice32BitValue::midi2(0x12345678)),
         {},
         {{0x40103C07, 0x12345678}},
         {{0x40103C07, 0x12345678}}},
        {E::noteOn(UInt7(60), V16::midi1(UInt7(0))), {0x80, 0x3C, 0x00}, {{0x20803C00}},
         {{0x40903C00, 0x00000000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event.description());
        EXPECT_EQ(c.event.midi1RawBytes().toVector(), c.bytes);
        EXPECT_EQ(words(c.event.umpRawWords(MIDIProtocolVersion::_1_0)), c.midi1Packets);
        EXPECT_EQ(words(c.event.umpRawWords(MIDIProtocolVersion::_2_0)), c.midi2Packets);
    }
}

TEST(MIDIEventTest, StatusAndDataBytes) {
    using DB = MIDIEvent::DataBytes;
    const std::optional<UInt7> none;
    const struct {
        MIDIEvent event;
        std::optional<uint8_t> status;
        std::optional<DB> data;
    } cases[] = {
        // A 7-bit zero velocity turns into a Note Off status; a 16-bit one never does and is
        // sent as 1.
        {E::noteOn(UInt7(60), V16::midi1(UInt7(0)), E::NoteAttribute::none(), UInt4(2)), 0x82,
         DB{UInt7(60), UInt7(0)}},
        {E::noteOn(UInt7(60), V16::midi1(UInt7(0)), E::NoteAttribute::none(), UInt4(2), UInt4(0),
                   false),
         0x92, DB{UInt7(60), UInt7(0)}},
        {E::noteOn(UInt7(60), V16::midi2(100)), 0x90, DB{UInt7(60), UInt7(1)}},
        {E::programChange(UInt7(5), E::ProgramChange::Bank::bankSelect(UInt14(1)), UInt4(1)), 0xC1,
         DB{UInt7(5), none}},
        {E::pressure(V32::midi2(0xFFFFFFFF)), 0xD0, DB{UInt7(127), none}},
        {E::songSelect(UInt7(9)), 0xF3, DB{UInt7(9), none}},
        {E::activeSensing(), 0xFE, DB{none, none}},
        {E::sysEx7(E::SysExManufacturer::oneByte(UInt7(0x41)), Bytes{}), 0xF0, std::nullopt},
        {E::rpn(E::RegisteredController::null()), std::nullopt, std::nullopt},
        {E::jrClock(1), std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event.description());
        EXPECT_EQ(c.event.midi1RawStatusByte(), c.status);
        EXPECT_EQ(c.event.midi1RawDataBytes(), c.data);
    }
}

TEST(MIDIEventTest, ParameterNumberEncodings) {
    using RC = E::RegisteredController;
    using AC = E::AssignableController;
    const auto absolute = MIDI2ParameterNumberChange::absolute;
    const auto relative = MIDI2ParameterNumberChange::relative;
    const struct {
        const char* what;
        MIDIEvent event;
        Bytes bytes;
        Words midi2Packets;
    } cases[] = {
        {"pitch-bend sensitivity 2 semitones",
         E::rpn(RC::pitchBendSensitivity(UInt7(2), UInt7(0))),
         {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x00, 0xB0, 0x06, 0x02, 0xB0, 0x26, 0x00},
         {{0x40200000, 0x04000000}}},
        {"relative changes only the status",
         E::rpn(RC::pitchBendSensitivity(UInt7(2), UInt7(0)), relative, UInt4(1), UInt4(2)),
         {0xB1, 0x65, 0x00, 0xB1, 0x64, 0x00, 0xB1, 0x06, 0x02, 0xB1, 0x26, 0x00},
         {{0x42410000, 0x04000000}}},
        {"NRPN without data MSB sends no controller 6",
         E::nrpn(AC::raw({UInt7(1), UInt7(2)}, std::nullopt, UInt7(5))),
         {0xB0, 0x63, 0x01, 0xB0, 0x62, 0x02, 0xB0, 0x26, 0x05},
         {{0x40300102, 0x00140000}}},
        {"null NRPN on channel 3", E::nrpn(AC::null(), absolute, UInt4(3)),
         {0xB3, 0x63, 0x7F, 0xB3, 0x62, 0x7F},
         {{0x40337F7F, 0x00000000}}},
        {"tuning program change sends no controller 38", E::rpn(RC::tuningProgramChange(UInt7(5))),
         {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x03, 0xB0, 0x06, 0x05},
         {{0x40200003, 0x0A000000}}},
        {"channel fine tuning centre", E::rpn(RC::channelFineTuning(UInt14(8192))),
         {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x01, 0xB0, 0x06, 0x40, 0xB0, 0x26, 0x00},
         {{0x40200001, 0x80000000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const MIDI1Bytes bytes = c.event.midi1RawBytes();
        EXPECT_EQ(bytes.toVector(), c.bytes);
        EXPECT_FALSE(bytes.spilled());
        EXPECT_EQ(words(c.event.umpRawWords(MIDIProtocolVersion::_2_0)), c.midi2Packets);
        // Under the MIDI 1.0 protocol: one type-2 word per three-byte control change, the same
        // for either change.
        const Words midi1 = words(c.event.umpRawWords(MIDIProtocolVersion::_1_0));
        ASSERT_EQ(midi1.size() * 3, c.bytes.size());
        for (size_t i = 0; i < midi1.size(); ++i) {
            const uint32_t group = c.event.group().value();
            EXPECT_EQ(midi1[i], std::vector<uint32_t>{(0x20u | group) << 24 | uint32_t{c.bytes[3 * i]} << 16 |
                                                      uint32_t{c.bytes[3 * i + 1]} << 8 |
                                                      c.bytes[3 * i + 2]});
        }
    }

    // The run as events: control changes on the parameter's channel and group.
    const auto run = RC::pitchBendSensitivity(UInt7(2), UInt7(0)).midi1Events(UInt4(4), UInt4(1));
    const std::vector<MIDIEvent> expected{
        E::cc(UInt7(101), V32::midi1(UInt7(0)), UInt4(4), UInt4(1)),
        E::cc(UInt7(100), V32::midi1(UInt7(0)), UInt4(4), UInt4(1)),
        E::cc(UInt7(6), V32::midi1(UInt7(2)), UInt4(4), UInt4(1)),
        E::cc(UInt7(38), V32::midi1(UInt7(0)), UInt4(4), UInt4(1))};
    EXPECT_EQ(run, expected);
}

TEST(MIDIEventTest, FourteenBitDataWidensByMinimumCentreMaximum) {
    const struct {
        unsigned data;
        uint32_t word;
    } cases[] = {{0, 0x00000000},      {1, 0x00040000},      {8191, 0x7FFC0000},
                 {8192, 0x80000000},   {8193, 0x80040020},   {16383, 0xFFFFFFFF}};
    for (const auto& c : cases) {
        const auto event = E::nrpn(UInt7Pair{UInt7(1), UInt7(1)}, UInt14(c.data));
        EXPECT_EQ(event.umpRawWords(MIDIProtocolVersion::_2_0)[0][1], c.word) << c.data;
    }
}

TEST(MIDIEventTest, ParameterFactoriesDecodeTheirNumbers) {
    using RC = E::RegisteredController;
    using AC = E::AssignableController;
    const UInt7Pair sensitivity{UInt7(0), UInt7(0)};
    const UInt7Pair nullPair{UInt7(127), UInt7(127)};
    const auto expected = E::rpn(RC::pitchBendSensitivity(UInt7(2), UInt7(3)));
    EXPECT_EQ(E::rpn(sensitivity, UInt7(2), UInt7(3)), expected);
    EXPECT_EQ(E::rpn(sensitivity, UInt14(2 * 128 + 3)), expected);
    EXPECT_EQ(E::rpn(sensitivity, uint32_t{(2 * 128 + 3)} << 18 | 0x3FFFF), expected);
    EXPECT_EQ(E::nrpn(nullPair, UInt7(1), UInt7(2)), E::nrpn(AC::null()));
    EXPECT_EQ(E::nrpn(UInt7Pair{UInt7(1), UInt7(2)}, UInt14(5)),
              E::nrpn(AC::raw({UInt7(1), UInt7(2)}, UInt7(0), UInt7(5))));
}

TEST(MIDIEventTest, SystemExclusiveFactories) {
    const auto mfr = E::SysExManufacturer::threeByte(UInt7(0x20), UInt7(0x33));
    EXPECT_EQ(E::sysEx7(mfr, Bytes{0x01, 0x7F}, UInt4(1)).midi1RawBytes().toVector(),
              (Bytes{0xF0, 0x00, 0x20, 0x33, 0x01, 0x7F, 0xF7}));
    EXPECT_THROW(E::sysEx7(mfr, Bytes{0x80}), MIDIEvent::ParseError);
    EXPECT_THROW(E::universalSysEx7(E::UniversalSysExType::realTime, UInt7(0), UInt7(1), UInt7(2),
                                    Bytes{0x01, 0xF7}),
                 MIDIEvent::ParseError);
    EXPECT_EQ(E::universalSysEx7IdentityRequest(UInt7(0x7F)).midi1RawBytes().toVector(),
              (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    const auto reply = E::universalSysEx7IdentityReply(UInt7(0x10), E::SysExManufacturer::oneByte(UInt7(0x41)),
                                                       UInt14(0x0102), UInt14(0x0304),
                                                       {UInt7(1), UInt7(2), UInt7(3), UInt7(4)}, UInt4(6));
    EXPECT_EQ(reply.group(), UInt4(6));
    EXPECT_EQ(reply.midi1RawBytes().toVector(),
              (Bytes{0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x02, 0x02, 0x04, 0x06, 0x01, 0x02, 0x03,
                     0x04, 0xF7}));
    // Eight-bit SysEx has no MIDI 1.0 form but type-5 packets.
    const auto eight = E::sysEx8(E::SysExManufacturer::oneByte(UInt7(0x41)), Bytes{0xFF});
    EXPECT_TRUE(eight.midi1RawBytes().empty());
    EXPECT_EQ(eight.umpRawWords(MIDIProtocolVersion::_1_0)[0][0] >> 28, 5u);
}

}  // namespace
}  // namespace midicore
