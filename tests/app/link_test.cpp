// Start, Stop and the note relay against a fake headset on the loopback interface.
#include <gtest/gtest.h>

#include "harness.hpp"

namespace companion::testing {
namespace {

using midicore::ChanVoice7Bit16BitValue;
using midicore::MIDIEvent;
using midicore::MIDINote;
using midicore::UInt4;
using midicore::UInt7;
using Bytes = std::vector<uint8_t>;

MIDIEvent noteOn(int note, int velocity, int channel = 0) {
    return MIDIEvent::noteOn(MIDINote(UInt7(note)), ChanVoice7Bit16BitValue::midi1(UInt7(velocity)),
                             MIDIEvent::NoteAttribute::none(), UInt4(channel));
}
MIDIEvent noteOff(int note, int velocity, int channel = 0) {
    return MIDIEvent::noteOff(MIDINote(UInt7(note)),
                              ChanVoice7Bit16BitValue::midi1(UInt7(velocity)),
                              MIDIEvent::NoteAttribute::none(), UInt4(channel));
}

TEST(Relay, NotesBecomeOneDatagramEachAndTheIndicatorFollowsTheLastNote) {
    struct Step {
        MIDIEvent event;
        std::optional<Bytes> datagram;  // none: nothing is sent
        bool indicator;
    };
    const Step steps[] = {
        {noteOn(60, 100), Bytes{0x90, 0x3C, 0x64}, true},
        {MIDIEvent::cc(UInt7(7), midicore::ChanVoice7Bit32BitValue::midi1(UInt7(100))),
         std::nullopt, true},
        {noteOn(64, 90, 15), Bytes{0x9F, 0x40, 0x5A}, true},
        {noteOff(64, 0, 15), Bytes{0x8F, 0x40, 0x00}, false},  // one of two keys released
        {noteOn(67, 1), Bytes{0x90, 0x43, 0x01}, true},
        {noteOn(60, 0), Bytes{0x80, 0x3C, 0x00}, false},  // velocity 0 is a Note Off
        {MIDIEvent::timingClock(UInt4(0)), std::nullopt, false},
        {noteOff(127, 127), Bytes{0x80, 0x7F, 0x7F}, false},
    };
    Harness h;
    h.controller->start();
    std::vector<Bytes> expected;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.event.description());
        h.controller->handleMidiEvent(step.event);
        if (step.datagram) expected.push_back(*step.datagram);
        EXPECT_EQ(h.controller->isMidiEventActive.get(), step.indicator);
    }
    ASSERT_TRUE(h.headset->waitForDatagrams(expected.size(), 5s));
    std::vector<Bytes> received;
    for (const auto& d : h.headset->datagrams())
        received.push_back(d.bytes);
    EXPECT_EQ(received, expected);
    EXPECT_TRUE(h.printedLine("144 60"));
}

TEST(Start, RefusesAnAddressThatIsNeitherAnIpLiteralNorAHostName) {
    for (const char* address : {"", "192.168.0.256", "1.2.3.4.5", "head set", "::1::2", "a..b"}) {
        SCOPED_TRACE(address);
        Harness h;
        h.controller->ipAddress = address;
        h.controller->start();
        EXPECT_FALSE(h.controller->isRunning.get());
        ASSERT_EQ(h.controller->outputText().size(), 1u);
        EXPECT_EQ(h.controller->outputText()[0].color, LogColor::red);
        EXPECT_EQ(h.controller->outputText()[0].text.rfind("Invalid headset address: ", 0), 0u);
    }
}

struct FakeMidiInput : MidiInput {
    explicit FakeMidiInput(int& removals) : removals(removals) {}
    void removeAll() override { ++removals; }
    int& removals;
};

TEST(Start, WithoutMidiTheLinkStartsAndStopAlwaysReturnsToIdle) {
    Harness h;  // no MIDI input factory
    for (int round = 0; round < 2; ++round) {
        h.controller->start();
        EXPECT_TRUE(h.controller->isRunning.get());
        EXPECT_EQ(h.controller->midiErrorText.get(), "Could not connect to MIDI device");
        EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server started", LogColor::white}));
        h.controller->sendUploadCall();
        h.controller->stop();
        EXPECT_FALSE(h.controller->isRunning.get());
        EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server stopped", LogColor::white}));
    }
    ASSERT_TRUE(h.headset->waitForDatagrams(2, 5s));
    EXPECT_EQ(h.headset->datagrams()[1].bytes, (Bytes{0xFE, 0x00}));
}

TEST(Start, TheMidiInputDeliversToTheRelayAndStopRemovesItsObjects) {
    int removals = 0;
    MidiEventHandler deliver;
    CompanionOptions options;
    options.makeMidiInput = [&](MidiEventHandler handler) {
        deliver = std::move(handler);
        return std::make_unique<FakeMidiInput>(removals);
    };
    Harness h({}, options);
    h.controller->start();
    EXPECT_EQ(h.controller->midiErrorText.get(), "");
    ASSERT_TRUE(deliver);
    deliver(noteOn(60, 100));
    EXPECT_TRUE(h.controller->isMidiEventActive.get());
    h.controller->stop();
    EXPECT_EQ(removals, 1);
    ASSERT_TRUE(h.headset->waitForDatagrams(1, 5s));
    EXPECT_EQ(h.headset->datagrams()[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
}

}  // namespace
}  // namespace companion::testing
