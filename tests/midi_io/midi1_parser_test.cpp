// The MIDI 1.0 stream parser: the byte and packet examples of the MIDI 1.0 message layout, System
// Exclusive across packets with its size bound, and streams encoded by the core's own encoders.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "event_helpers.hpp"
#include "midi_io/midi1_parser.hpp"

namespace midiio {
namespace {

using midicore::ChanVoice14Bit32BitValue;
using midicore::ChanVoice7Bit16BitValue;
using midicore::ChanVoice7Bit32BitValue;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using namespace midiio::testing;

Events parseAll(MIDI1Parser& parser, const std::vector<Bytes>& packets) {
    Events events;
    for (const Bytes& packet : packets) parser.parse(packet, UInt4(0), events);
    return events;
}

struct StreamCase {
    const char* name;
    std::vector<Bytes> packets;
    bool translate;
    Events expected;
};

TEST(MIDI1Parser, DecodesStreamsOfPackets) {
    const StreamCase cases[] = {
        {"note on", {{0x90, 0x3C, 0x64}}, true, {on(60, 100)}},
        {"velocity 0 under running status becomes Note Off",
         {{0x90, 0x3C, 0x64, 0x40, 0x00}}, true, {on(60, 100), off(64, 0)}},
        {"velocity 0 stays Note On untranslated",
         {{0x90, 0x3C, 0x64, 0x40, 0x00}}, false, {on(60, 100), on(64, 0)}},
        {"running status carries into the next packet",
         {{0x91, 0x3C, 0x50}, {0x3E, 0x50}}, true, {on(60, 80, 1), on(62, 80, 1)}},
        {"a cut-off channel message is not completed by the next packet",
         {{0x90, 0x3C}, {0x64}}, true, {}},
        {"real time inside a message comes first", {{0x90, 0x3C, 0xF8, 0x64}}, true,
         {MIDIEvent::timingClock(), on(60, 100)}},
        {"universal System Exclusive", {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}, true,
         {MIDIEvent::universalSysEx7IdentityRequest(UInt7(0x7F))}},
        {"System Exclusive ended by a status byte", {{0xF0, 0x01, 0x02, 0x90, 0x3C, 0x64}}, true,
         {sysEx7(0x01, {0x02}), on(60, 100)}},
        {"System Exclusive split over packets", {{0xF0, 0x7D, 0x01, 0x02}, {0x03, 0x04, 0xF7}},
         true, {sysEx7(0x7D, {0x01, 0x02, 0x03, 0x04})}},
        {"System Exclusive over three packets with real time between",
         {{0xF0, 0x7D, 0x01}, {0xF8, 0x02}, {0x03, 0xF7, 0x90, 0x3C, 0x64}}, true,
         {MIDIEvent::timingClock(), sysEx7(0x7D, {0x01, 0x02, 0x03}), on(60, 100)}},
        {"an open System Exclusive ends at the next packet's status byte",
         {{0xF0, 0x7D, 0x01}, {0x90, 0x3C, 0x64}}, true, {sysEx7(0x7D, {0x01}), on(60, 100)}},
        {"song position pointer", {{0xF2, 0x10, 0x20}}, true,
         {MIDIEvent::songPositionPointer(UInt14(0x1010))}},
        {"tune request at the end of a packet", {{0xF6}}, true, {MIDIEvent::tuneRequest()}},
        {"program change under running status", {{0xC5, 0x07, 0x08}}, true,
         {MIDIEvent::programChange(UInt7(7), MIDIEvent::ProgramChange::Bank::noBankSelect(), UInt4(5)),
          MIDIEvent::programChange(UInt7(8), MIDIEvent::ProgramChange::Bank::noBankSelect(), UInt4(5))}},
        {"pitch bend centre", {{0xE0, 0x00, 0x40}}, true,
         {MIDIEvent::pitchBend(ChanVoice14Bit32BitValue::midi1(UInt14(8192)))}},
        {"quarter frame, song select, control change and pressures",
         {{0xF1, 0x23, 0xF3, 0x05, 0xB2, 0x07, 0x64, 0xD3, 0x40, 0xA4, 0x3C, 0x10}}, true,
         {MIDIEvent::timecodeQuarterFrame(UInt7(0x23)), MIDIEvent::songSelect(UInt7(5)),
          MIDIEvent::cc(UInt7(7), ChanVoice7Bit32BitValue::midi1(UInt7(100)), UInt4(2)),
          MIDIEvent::pressure(ChanVoice7Bit32BitValue::midi1(UInt7(0x40)), UInt4(3)),
          MIDIEvent::notePressure(UInt7(60), ChanVoice7Bit32BitValue::midi1(UInt7(0x10)), UInt4(4))}},
        {"undefined status bytes and stray data", {{0xF4, 0x01, 0x02}, {0xF9}, {0x40, 0x40}}, true, {}},
        {"every real-time byte", {{0xF8, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF}}, true,
         {MIDIEvent::timingClock(), MIDIEvent::start(), MIDIEvent::continue_(), MIDIEvent::stop(),
          MIDIEvent::activeSensing(), MIDIEvent::systemReset()}},
        {"an empty packet", {{}}, true, {}},
    };
    for (const auto& c : cases) {
        MIDI1Parser parser;
        parser.setTranslateNoteOnZeroVelocityToNoteOff(c.translate);
        EXPECT_EQ(parseAll(parser, c.packets), c.expected) << c.name;
    }
}

TEST(MIDI1Parser, KeepsRunningStatusAcrossEmptyPacketsAndClearsItOnSystemBytes) {
    MIDI1Parser parser;
    parser.parsedEvents(Bytes{0x90, 0x3C, 0x64});
    EXPECT_EQ(parser.runningStatus(), 0x90);
    parser.parsedEvents(Bytes{});
    EXPECT_EQ(parser.runningStatus(), 0x90);
    parser.parsedEvents(Bytes{0xF8});
    EXPECT_EQ(parser.runningStatus(), 0x90);
    parser.parsedEvents(Bytes{0xF6});
    EXPECT_EQ(parser.runningStatus(), std::nullopt);
}

TEST(MIDI1Parser, DropsASystemExclusiveMessageLongerThanTheBound) {
    // F0, the manufacturer and six data bytes: 8 bytes kept before the F7.
    const Bytes fits{0xF0, 0x7D, 1, 2, 3, 4, 5, 6, 0xF7};
    const Bytes tooLong{0xF0, 0x7D, 1, 2, 3, 4, 5, 6, 7, 0xF7};
    MIDI1Parser parser;
    parser.setMaxSysExSize(8);
    EXPECT_EQ(parser.parsedEvents(fits), Events{sysEx7(0x7D, {1, 2, 3, 4, 5, 6})});
    // Over the bound across packets: nothing of it, not even its tail, and the stream goes on.
    EXPECT_EQ(parseAll(parser, {Bytes(tooLong.begin(), tooLong.begin() + 5),
                                Bytes(tooLong.begin() + 5, tooLong.end()), {0x90, 0x3C, 0x64}}),
              Events{on(60, 100)});
    EXPECT_FALSE(parser.sysExOpen());
}

// Random channel-voice streams encoded by the core's encoders parse back to the same events, with
// and without running status and with real-time bytes anywhere.
TEST(MIDI1Parser, ParsesEncodedStreamsBack) {
    const std::pair<uint8_t, MIDIEvent> realTime[] = {
        {0xF8, MIDIEvent::timingClock()}, {0xFA, MIDIEvent::start()},
        {0xFB, MIDIEvent::continue_()},   {0xFC, MIDIEvent::stop()},
        {0xFE, MIDIEvent::activeSensing()}, {0xFF, MIDIEvent::systemReset()}};
    for (unsigned seed = 0; seed < 300; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        const bool runningStatus = seed % 2 == 0;
        MIDI1Parser parser;
        parser.setTranslateNoteOnZeroVelocityToNoteOff(false);
        Events expected;
        std::vector<Bytes> packets(1);
        std::optional<uint8_t> lastStatus;
        for (int m = 0, count = 1 + pick(40); m < count; ++m) {
            const UInt4 channel(pick(16));
            const UInt7 a(pick(128));
            const UInt7 b(pick(128));
            MIDIEvent event = MIDIEvent::tuneRequest();
            switch (pick(7)) {
                case 0: event = MIDIEvent::noteOn(a, ChanVoice7Bit16BitValue::midi1(b), MIDIEvent::NoteAttribute::none(), channel, UInt4(0), false); break;
                case 1: event = MIDIEvent::noteOff(a, ChanVoice7Bit16BitValue::midi1(b), MIDIEvent::NoteAttribute::none(), channel); break;
                case 2: event = MIDIEvent::notePressure(a, ChanVoice7Bit32BitValue::midi1(b), channel); break;
                case 3: event = MIDIEvent::cc(a, ChanVoice7Bit32BitValue::midi1(b), channel); break;
                case 4: event = MIDIEvent::programChange(a, MIDIEvent::ProgramChange::Bank::noBankSelect(), channel); break;
                case 5: event = MIDIEvent::pressure(ChanVoice7Bit32BitValue::midi1(a), channel); break;
                default: event = MIDIEvent::pitchBend(ChanVoice14Bit32BitValue::midi1(UInt14(pick(16384))), channel); break;
            }
            const auto encoded = event.midi1RawBytes();
            Bytes message(encoded.begin(), encoded.end());
            if (runningStatus && lastStatus == message[0]) message.erase(message.begin());
            lastStatus = encoded[0];
            // Real-time bytes before or inside the message come before its event.
            Bytes stream;
            for (uint8_t byte : message) {
                if (pick(5) == 0) {
                    const auto& [rt, rtEvent] = realTime[pick(6)];
                    stream.push_back(rt);
                    expected.push_back(rtEvent);
                }
                stream.push_back(byte);
            }
            expected.push_back(event);
            packets.back().insert(packets.back().end(), stream.begin(), stream.end());
            if (pick(4) == 0) packets.emplace_back();  // packets end between messages
        }
        EXPECT_EQ(parseAll(parser, packets), expected) << "seed " << seed;
    }
}

}  // namespace
}  // namespace midiio
