#include "midi_core/events/parameter_number.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <unordered_set>

namespace midicore::events {
namespace {

using Registered = RegisteredController;
using Assignable = AssignableController;
using RCase = Registered::Case;
using Byte = std::optional<UInt7>;

constexpr UInt7Pair param(unsigned msb, unsigned lsb) {
    return {UInt7::truncating(msb), UInt7::truncating(lsb)};
}
const Byte absent = std::nullopt;
Byte b(unsigned v) {
    return UInt7::truncating(v);
}

TEST(ParameterNumberTest, DecodingRegisteredParameters) {
    struct Case {
        UInt7Pair parameter;
        Byte msb;
        Byte lsb;
        RCase decoded;
        DataEntryBytes data;  // as the parameter will send it
        std::string text;
    };
    const Case cases[] = {
        {param(0, 0),
         b(2),
         b(0),
         RCase::pitchBendSensitivity,
         {b(2), b(0)},
         "pitchBendSensitivity(semitones: 2, cents: 0)"},
        {param(0, 0),
         b(12),
         absent,
         RCase::pitchBendSensitivity,
         {b(12), b(0)},
         "pitchBendSensitivity(semitones: 12, cents: 0)"},
        {param(0, 1),
         b(64),
         b(0),
         RCase::channelFineTuning,
         {b(64), b(0)},
         "channelFineTuning(8192)"},
        {param(0, 2),
         b(70),
         b(5),
         RCase::channelCoarseTuning,
         {b(70), absent},
         "channelCoarseTuning(70)"},
        {param(0, 3),
         b(5),
         absent,
         RCase::tuningProgramChange,
         {b(5), absent},
         "tuningProgramChange(zero-based: 5)"},
        {param(0, 4),
         absent,
         absent,
         RCase::tuningBankSelect,
         {b(0), absent},
         "tuningBankSelect(zero-based: 0)"},
        {param(0, 5),
         absent,
         b(3),
         RCase::modulationDepthRange,
         {absent, b(3)},
         "modulationDepthRange(dataMSB: nil (0), dataLSB: 3)"},
        {param(0, 6),
         b(1),
         absent,
         RCase::mpeConfigurationMessage,
         {b(1), absent},
         "mpeConfigurationMessage(dataMSB: 1, dataLSB: nil (0))"},
        {param(0, 7),
         b(1),
         b(2),
         RCase::raw,
         {b(1), b(2)},
         "raw(param: [msb: 0x00, lsb: 0x07], dataMSB: 1, dataLSB: 2)"},
        {param(127, 127), b(1), b(2), RCase::null, {absent, absent}, "null"},
        {param(61, 0),
         b(1),
         b(2),
         RCase::threeDimensionalAzimuthAngle,
         {b(1), b(2)},
         "threeDimensionalAzimuthAngle(dataMSB: 1, dataLSB: 2)"},
        {param(61, 2),
         absent,
         b(2),
         RCase::threeDimensionalGain,
         {b(0), b(2)},
         "threeDimensionalGain(dataMSB: 0, dataLSB: 2)"},
        {param(61, 8),
         b(1),
         b(2),
         RCase::threeDimensionalRollAngle,
         {b(1), b(2)},
         "threeDimensionalRollAngle(dataMSB: 1, dataLSB: 2)"},
        {param(61, 9),
         b(1),
         absent,
         RCase::raw,
         {b(1), absent},
         "raw(param: [msb: 0x3D, lsb: 0x09], dataMSB: 1, dataLSB: nil (0))"},
    };
    for (const Case& c : cases) {
        const Registered r = Registered::fromParameter(c.parameter, c.msb, c.lsb);
        EXPECT_EQ(r.parameterCase(), c.decoded) << c.text;
        EXPECT_EQ(r.parameterBytes(), c.parameter) << c.text;
        EXPECT_EQ(r.dataEntryBytes(), c.data) << c.text;
        EXPECT_EQ(r.description(), c.text);
    }
    EXPECT_EQ(Registered::channelFineTuning(UInt14(8192)).dataEntryBytes(),
              (DataEntryBytes{b(64), b(0)}));
    EXPECT_EQ(Registered::null().parameterBytes(), param(127, 127));
}

TEST(ParameterNumberTest, EveryParameterNumberDecodesAndMapsBack) {
    const Byte bytes[] = {absent, b(0), b(127)};
    for (unsigned msb = 0; msb < 128; ++msb) {
        for (unsigned lsb = 0; lsb < 128; ++lsb) {
            for (Byte m : bytes) {
                for (Byte l : bytes) {
                    const Registered r = Registered::fromParameter(param(msb, lsb), m, l);
                    ASSERT_EQ(r.parameterBytes(), param(msb, lsb));
                    const Assignable a = Assignable::fromParameter(param(msb, lsb), m, l);
                    ASSERT_EQ(a.parameterBytes(), param(msb, lsb));
                    // Raw parameters keep their data as given; null drops it.
                    if (r.parameterCase() == RCase::raw) {
                        ASSERT_EQ(r.dataEntryBytes(), (DataEntryBytes{m, l}));
                    }
                    const bool isNull = msb == 127 && lsb == 127;
                    ASSERT_EQ(a.parameterCase(),
                              isNull ? Assignable::Case::null : Assignable::Case::raw);
                    ASSERT_EQ(a.dataEntryBytes(),
                              (isNull ? DataEntryBytes{} : DataEntryBytes{m, l}));
                }
            }
        }
    }
}

TEST(ParameterNumberTest, AssignableParametersAndRecords) {
    EXPECT_EQ(Assignable::fromParameter(param(127, 127), b(1), b(2)), Assignable::null());
    EXPECT_EQ(Assignable::null().description(), "null");
    // Only decoding maps (127, 127) to null; a raw parameter made on purpose stays raw.
    EXPECT_EQ(Assignable::raw(param(127, 127), b(1), absent).parameterCase(),
              Assignable::Case::raw);
    EXPECT_NE(Assignable::raw(param(127, 127), absent, absent), Assignable::null());
    EXPECT_EQ(Assignable::raw(param(1, 2), absent, b(5)).description(),
              "raw(param: [msb: 0x01, lsb: 0x02], dataMSB: nil (0), dataLSB: 5)");
    // An absent byte differs from 0.
    EXPECT_NE(Assignable::raw(param(1, 2), b(1), absent), Assignable::raw(param(1, 2), b(1), b(0)));
    EXPECT_NE(Registered::raw(param(1, 2), b(1), absent), Registered::raw(param(1, 2), b(1), b(0)));
    // A raw parameter on a known number is still a different case.
    EXPECT_NE(Registered::raw(param(0, 0), b(2), b(0)),
              Registered::pitchBendSensitivity(UInt7(2), UInt7(0)));

    const RPN rpn(Registered::null());
    EXPECT_EQ(rpn.description(), "rpn(null, change: absolute, chan: 0x0, group: 0x0)");
    const NRPN nrpn(Assignable::raw(param(1, 2), b(3), absent),
                    MIDI2ParameterNumberChange::relative, UInt4(9), UInt4(1));
    EXPECT_EQ(nrpn.description(),
              "nrpn(raw(param: [msb: 0x01, lsb: 0x02], dataMSB: 3, dataLSB: nil (0)), change: "
              "relative, chan: 0x9, group: 0x1)");
    EXPECT_NE(rpn, RPN(Registered::null(), MIDI2ParameterNumberChange::relative));
    EXPECT_NE(rpn, RPN(Registered::null(), MIDI2ParameterNumberChange::absolute, UInt4(1)));

    std::unordered_set<RPN> set{rpn, RPN(Registered::fromParameter(param(127, 127), b(4), absent))};
    EXPECT_EQ(set.size(), 1u);
    EXPECT_EQ(std::hash<Registered>{}(Registered::fromParameter(param(0, 1), b(64), b(0))),
              std::hash<Registered>{}(Registered::channelFineTuning(UInt14(8192))));
}

TEST(ParameterNumberTest, StatusMappingAndSelectingControllers) {
    using Type = MIDIParameterNumberType;
    using Change = MIDI2ParameterNumberChange;
    struct Case {
        Type type;
        Change change;
        unsigned status;
    };
    const Case cases[] = {{Type::registered, Change::absolute, 2},
                          {Type::assignable, Change::absolute, 3},
                          {Type::registered, Change::relative, 4},
                          {Type::assignable, Change::relative, 5}};
    for (const Case& c : cases) {
        EXPECT_EQ(MIDIParameterNumberUtils::umpStatus(c.type, c.change), c.status);
    }
    for (unsigned s = 0; s < 16; ++s) {
        const auto kind = MIDIParameterNumberUtils::parameterNumberKind(UInt4::truncating(s));
        EXPECT_EQ(kind.has_value(), s >= 2 && s <= 5) << s;
        if (kind) {
            EXPECT_EQ(MIDIParameterNumberUtils::umpStatus(kind->type, kind->change), s);
        }
    }
    // The MIDI 1.0 selection controllers: 101/100 registered, 99/98 non-registered.
    EXPECT_EQ(Registered::controllers().msb.number(), 101);
    EXPECT_EQ(Registered::controllers().lsb.number(), 100);
    EXPECT_EQ(Assignable::controllers().msb.number(), 99);
    EXPECT_EQ(Assignable::controllers().lsb.number(), 98);
    EXPECT_EQ(description(Type::assignable), "assignable");
    EXPECT_EQ(description(Change::relative), "relative");
}

}  // namespace
}  // namespace midicore::events
