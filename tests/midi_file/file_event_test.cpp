#include <gtest/gtest.h>

#include <unordered_set>
#include <vector>

#include "midi_file/file_event.hpp"

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

}  // namespace
