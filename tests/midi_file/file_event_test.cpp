#include <gtest/gtest.h>

#include <optional>
#include <unordered_set>
#include <vector>

#include "midi_file/file_event.hpp"
#include "midi_file/track_codec.hpp"

using namespace midifile;

namespace {

std::vector<MIDIFileEvent> oneOfEachKind(DeltaTime delta) {
    return {
        MIDIFileEvent::channelPrefix(delta, midicore::UInt4(3)),
        MIDIFileEvent::keySignature(delta, -3, false),
        MIDIFileEvent::portPrefix(delta, midicore::UInt7(5)),
        MIDIFileEvent::sequenceNumber(delta, 7),
        MIDIFileEvent::sequencerSpecific(delta, {1, 2}),
        MIDIFileEvent::tempo(delta, 140),
        MIDIFileEvent::text(delta, TextEventType::copyright, "c"),
        MIDIFileEvent::timeSignature(delta, 3, 2),
        MIDIFileEvent::unrecognizedMeta(delta, 0x0C, {5}),
        MIDIFileEvent::xmfPatchTypePrefix(delta, XMFPatchSet::DLS),
    };
}

TEST(MIDIFileEvent, KindsAndTheirCaseNumbers) {
    const struct {
        MIDIFileEventType type;
        std::string name;
        size_t caseIndex;
    } cases[] = {
        {MIDIFileEventType::channelPrefix, "channelPrefix", 1},
        {MIDIFileEventType::keySignature, "keySignature", 2},
        {MIDIFileEventType::portPrefix, "portPrefix", 7},
        {MIDIFileEventType::sequenceNumber, "sequenceNumber", 12},
        {MIDIFileEventType::sequencerSpecific, "sequencerSpecific", 13},
        {MIDIFileEventType::tempo, "tempo", 17},
        {MIDIFileEventType::text, "text", 18},
        {MIDIFileEventType::timeSignature, "timeSignature", 19},
        {MIDIFileEventType::unrecognizedMeta, "unrecognizedMeta", 20},
        {MIDIFileEventType::xmfPatchTypePrefix, "xmfPatchTypePrefix", 21},
    };
    const auto events = oneOfEachKind(DeltaTime::quarterNote());
    ASSERT_EQ(events.size(), std::size(cases));
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].eventType(), cases[i].type);
        EXPECT_EQ(rawValue(cases[i].type), cases[i].name);
        EXPECT_EQ(eventCaseIndex(cases[i].type), cases[i].caseIndex);
    }
    EXPECT_EQ(eventCaseIndex(MIDIFileEventType::universalSysEx7), 16u);
    EXPECT_EQ(eventCaseIndex(MIDIFileEventType::sysEx7), 15u);
    EXPECT_EQ(allCases<MIDIFileEventType>().size(), 22u);
    EXPECT_EQ(fromRawValue<MIDIFileEventType>("noteOn"), MIDIFileEventType::noteOn);
    EXPECT_EQ(fromRawValue<MIDIFileEventType>("NoteOn"), std::nullopt);
    EXPECT_EQ(fromRawValue<MIDIFileEventType>(""), std::nullopt);
    // The raw values name the cases in order.
    for (MIDIFileEventType type : allCases<MIDIFileEventType>()) {
        EXPECT_EQ(fromRawValue<MIDIFileEventType>(rawValue(type)), type);
    }
}

TEST(MIDIFileEvent, WrapUnwrapEqualityAndHashing) {
    const auto events = oneOfEachKind(DeltaTime::quarterNote());
    const auto sameTicks = oneOfEachKind(DeltaTime::ticks(960));
    const auto later = oneOfEachKind(DeltaTime::ticks(961));
    std::unordered_set<MIDIFileEvent> set;
    for (size_t i = 0; i < events.size(); ++i) {
        const auto unwrapped = events[i].unwrappedEvent();
        const MIDIFileEvent rewrapped =
            std::visit([&](const auto& payload) { return wrappedEvent(payload, unwrapped.delta); },
                       unwrapped.payload);
        EXPECT_EQ(rewrapped, events[i]);
        EXPECT_EQ(events[i], sameTicks[i]);
        EXPECT_EQ(events[i].hash(), sameTicks[i].hash());
        EXPECT_NE(events[i], later[i]);
        for (size_t j = 0; j < events.size(); ++j) {
            if (i != j) {
                EXPECT_NE(events[i], events[j]);
            }
        }
        set.insert(events[i]);
        set.insert(sameTicks[i]);
    }
    EXPECT_EQ(set.size(), events.size());
}

// Core events convert to file events of the same name for the kinds a track holds, and back.
TEST(MIDIFileEvent, ConversionToAndFromCoreEvents) {
    using E = midicore::MIDIEvent;
    using T = MIDIFileEventType;
    using midicore::UInt4;
    using midicore::UInt7;
    using Bytes = std::vector<uint8_t>;
    const UInt4 ch9(9), grp5(5);
    const auto mfr = E::SysExManufacturer::oneByte(UInt7(0x41));
    const struct {
        E event;
        std::optional<T> type;
    } cases[] = {
        {E::noteOn(UInt7(60), midicore::ChanVoice7Bit16BitValue::midi2(0x8000),
                   E::NoteAttribute::none(), ch9, grp5),
         T::noteOn},
        {E::noteOff(UInt7(61), midicore::ChanVoice7Bit16BitValue::midi1(UInt7(5)),
                    E::NoteAttribute::none(), ch9, grp5),
         T::noteOff},
        {E::noteCC(UInt7(60), E::NoteCC::PerNoteController::assignable(7),
                   midicore::ChanVoice32BitValue::midi2(1), ch9, grp5),
         std::nullopt},
        {E::notePitchBend(UInt7(60), midicore::ChanVoice32BitValue::midi2(0), ch9), std::nullopt},
        {E::notePressure(UInt7(60), midicore::ChanVoice7Bit32BitValue::unitInterval(0.5), ch9,
                         grp5),
         T::notePressure},
        {E::noteManagement(UInt7(60), {}, ch9), std::nullopt},
        {E::cc(UInt7(7), midicore::ChanVoice7Bit32BitValue::midi1(UInt7(100)), ch9, grp5), T::cc},
        {E::programChange(UInt7(5), E::ProgramChange::Bank::noBankSelect(), ch9, grp5),
         T::programChange},
        {E::pitchBend(midicore::ChanVoice14Bit32BitValue::bipolarUnitInterval(-1.0), ch9, grp5),
         T::pitchBend},
        {E::pressure(midicore::ChanVoice7Bit32BitValue::midi1(UInt7(3)), ch9, grp5), T::pressure},
        {E::rpn(E::RegisteredController::pitchBendSensitivity(UInt7(2), UInt7(0)),
                midicore::MIDI2ParameterNumberChange::relative, ch9, grp5),
         T::rpn},
        {E::nrpn(E::AssignableController::raw({UInt7(1), UInt7(2)}, UInt7(3), std::nullopt),
                 midicore::MIDI2ParameterNumberChange::absolute, ch9, grp5),
         T::nrpn},
        {E::sysEx7(mfr, Bytes{0x01, 0x02}, grp5), T::sysEx7},
        {E::universalSysEx7IdentityRequest(UInt7(0x7F), grp5), T::universalSysEx7},
        {E::sysEx8(mfr, Bytes{0xFF}), std::nullopt},
        {E::universalSysEx8(E::UniversalSysExType::realTime, UInt7(1), UInt7(2), UInt7(3), Bytes{}),
         std::nullopt},
        {E::timecodeQuarterFrame(UInt7(0x12)), std::nullopt},
        {E::songPositionPointer(midicore::UInt14(0x3FFF)), std::nullopt},
        {E::songSelect(UInt7(4)), std::nullopt},
        {E::unofficialBusSelect(UInt7(2)), std::nullopt},
        {E::tuneRequest(), std::nullopt},
        {E::timingClock(), std::nullopt},
        {E::start(), std::nullopt},
        {E::continue_(), std::nullopt},
        {E::stop(), std::nullopt},
        {E::activeSensing(), std::nullopt},
        {E::systemReset(), std::nullopt},
        {E::noOp(), std::nullopt},
        {E::jrClock(0x1234), std::nullopt},
        {E::jrTimestamp(0xFFFF), std::nullopt},
    };
    ASSERT_EQ(std::size(cases), E::caseCount);
    const DeltaTime delta = DeltaTime::ticks(480);
    for (const auto& c : cases) {
        const auto name = E::caseName(c.event.eventCase());
        SCOPED_TRACE(std::string(name));
        const auto converted = smfEvent(c.event, delta);
        ASSERT_EQ(converted.has_value(), c.type.has_value());
        if (!converted) continue;
        EXPECT_EQ(converted->eventType(), *c.type);
        EXPECT_EQ(rawValue(converted->eventType()), name);
        EXPECT_EQ(converted->delta(), delta);
        // The record travels unchanged, group and value form included.
        EXPECT_EQ(converted->midiEvent(), c.event);
        EXPECT_EQ(converted->midiEvent()->group(), grp5);
        // A track writes the core's MIDI 1.0 bytes; system exclusive gets a length after F0.
        const auto core = c.event.midi1RawBytes();
        Bytes expected(core.begin(), core.end());
        if (expected.front() == 0xF0) expected.insert(expected.begin() + 1, uint8_t(core.size() - 1));
        EXPECT_EQ(converted->smfRawBytes(), expected);
    }
    const auto noteOn = smfEvent(cases[0].event, delta);
    ASSERT_NE(noteOn->payloadIf<E::NoteOn>(), nullptr);
    EXPECT_EQ(noteOn->payloadIf<E::NoteOn>()->velocity.value().valueCase(),
              midicore::ChanVoice7Bit16BitValue::Case::midi2);

    // Meta events have no core counterpart.
    for (const MIDIFileEvent& meta : oneOfEachKind(delta)) {
        EXPECT_EQ(meta.midiEvent(), std::nullopt) << meta.debugDescription();
    }
}

// Events read from a track become core events with the same MIDI 1.0 bytes; a core Note On of
// velocity 0 that asks for it is written as a Note Off.
TEST(MIDIFileEvent, DecodedEventsConvertToTheSameMessages) {
    using Bytes = std::vector<uint8_t>;
    const Bytes messages[] = {
        {0x90, 0x3C, 0x00},       {0x8F, 0x7F, 0x40}, {0xA3, 0x3C, 0x22}, {0xB0, 0x07, 0x64},
        {0xC5, 0x10},             {0xD2, 0x7F},       {0xE0, 0x00, 0x40},
        {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x00, 0xB0, 0x06, 0x02, 0xB0, 0x26, 0x00},
        {0xB3, 0x63, 0x01, 0xB3, 0x62, 0x02, 0xB3, 0x06, 0x03},
        {0xF0, 0x43, 0x10, 0x4C, 0xF7}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
    };
    for (const Bytes& message : messages) {
        Bytes body{0x00};
        if (message.front() == 0xF0) {
            body.push_back(0xF0);
            body.push_back(uint8_t(message.size() - 1));
            body.insert(body.end(), message.begin() + 1, message.end());
        } else {
            body.insert(body.end(), message.begin(), message.end());
        }
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        const auto events = decodeTrackEvents(body);
        ASSERT_EQ(events.size(), 1u);
        const auto core = events[0].midiEvent();
        ASSERT_TRUE(core.has_value()) << events[0].debugDescription();
        const auto bytes = core->midi1RawBytes();
        EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), message) << events[0].debugDescription();
        EXPECT_EQ(smfEvent(*core, events[0].delta()), events[0]);
    }
    const auto silentNoteOn = midicore::MIDIEvent::noteOn(
        midicore::UInt7(60), midicore::ChanVoice7Bit16BitValue::midi1(midicore::UInt7(0)));
    EXPECT_EQ(smfEvent(silentNoteOn, DeltaTime::none())->smfRawBytes(), (Bytes{0x80, 0x3C, 0x00}));
}

}  // namespace
