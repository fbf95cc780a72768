// The Universal MIDI Packet parser: the message examples of the UMP format, System Exclusive
// reassembly per group and stream with its bound, utility runs, and packets made by the core's
// encoders.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "midi_core/wire.hpp"
#include "event_helpers.hpp"
#include "midi_io/midi2_parser.hpp"

namespace midiio {
namespace {

using midicore::ChanVoice14Bit32BitValue;
using midicore::ChanVoice32BitValue;
using midicore::ChanVoice7Bit16BitValue;
using midicore::ChanVoice7Bit32BitValue;
using midicore::MIDIEvent;
using midicore::MIDIProtocolVersion;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using namespace midiio::testing;

MIDIEvent sysEx8(uint8_t streamID, uint8_t manufacturer, Bytes data) {
    MIDIEvent::SysEx8 record(MIDIEvent::SysExManufacturer::oneByte(UInt7(manufacturer)),
                             std::move(data));
    record.streamID = streamID;
    return record;
}
// A type-3 message: status, then up to six data bytes.
Bytes ump7(int group, int status, Bytes data) {
    Bytes m{static_cast<uint8_t>(0x30 | group), static_cast<uint8_t>(status << 4 | data.size())};
    m.insert(m.end(), data.begin(), data.end());
    m.resize(8, 0);
    return m;
}
// A type-5 message: status, stream ID, then up to thirteen data bytes.
Bytes ump8(int status, uint8_t streamID, Bytes data) {
    Bytes m{0x50, static_cast<uint8_t>(status << 4 | (data.size() + 1)), streamID};
    m.insert(m.end(), data.begin(), data.end());
    m.resize(16, 0);
    return m;
}

Events parseAll(MIDI2Parser& parser, const std::vector<Bytes>& messages) {
    Events events;
    for (const Bytes& message : messages) parser.parse(message, events);
    return events;
}

struct MessageCase {
    const char* name;
    std::vector<Bytes> messages;
    Events expected;
};

TEST(MIDI2Parser, DecodesMessages) {
    const MessageCase cases[] = {
        {"MIDI 2.0 note on", {{0x40, 0x91, 0x3C, 0x00, 0x80, 0x00, 0x00, 0x00}},
         {MIDIEvent::noteOn(UInt7(60), ChanVoice7Bit16BitValue::midi2(0x8000),
                            MIDIEvent::NoteAttribute::none(), UInt4(1), UInt4(0), false)}},
        {"MIDI 2.0 note on of velocity 0 stays a note on", {{0x40, 0x90, 0x3C, 0, 0, 0, 0, 0}},
         {MIDIEvent::noteOn(UInt7(60), ChanVoice7Bit16BitValue::midi2(0),
                            MIDIEvent::NoteAttribute::none(), UInt4(0), UInt4(0), false)}},
        {"MIDI 1.0 note off in group 3", {{0x23, 0x80, 0x3C, 0x40}},
         {MIDIEvent::noteOff(UInt7(60), ChanVoice7Bit16BitValue::midi1(UInt7(64)),
                             MIDIEvent::NoteAttribute::none(), UInt4(0), UInt4(3))}},
        {"timing clock", {{0x10, 0xF8, 0x00, 0x00}}, {MIDIEvent::timingClock()}},
        {"undefined system status", {{0x10, 0xF5, 0x01, 0x00}}, {}},
        {"data byte above 0x7F", {{0x20, 0x90, 0x3C, 0x80}}, {}},
        {"program change with bank", {{0x40, 0xC0, 0x00, 0x01, 0x05, 0x00, 0x01, 0x02}},
         {MIDIEvent::programChange(UInt7(5), MIDIEvent::ProgramChange::Bank::bankSelect(UInt14(130)))}},
        {"program change without bank", {{0x40, 0xC0, 0x00, 0x00, 0x05, 0x00, 0x01, 0x02}},
         {MIDIEvent::programChange(UInt7(5), MIDIEvent::ProgramChange::Bank::noBankSelect())}},
        {"one message's length exactly", {{0x20, 0x90, 0x3C, 0x64, 0x20, 0x90, 0x3C, 0x64}}, {}},
        {"JR time stamp, then a note in the same bytes",
         {{0x00, 0x20, 0x12, 0x34, 0x20, 0x90, 0x3C, 0x64}},
         {MIDIEvent::jrTimestamp(0x1234),
          MIDIEvent::noteOn(UInt7(60), ChanVoice7Bit16BitValue::midi1(UInt7(100)),
                            MIDIEvent::NoteAttribute::none(), UInt4(0), UInt4(0), false)}},
        {"lengths that are no message", {{0x20, 0x90, 0x3C}, {0x40, 0x90, 0x3C, 0, 0, 0}, {}}, {}},
        {"types above 5", {{0x60, 0, 0, 0}, {0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}, {}},
        {"7-bit System Exclusive from start, continue and end",
         {ump7(0, 1, {0x7D, 1, 2, 3, 4, 5}), ump7(0, 2, {6, 7, 8, 9, 10, 11}), ump7(0, 3, {12, 13})},
         {sysEx7(0x7D, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})}},
        {"7-bit System Exclusive in one message", {ump7(2, 0, {0x7D, 1})}, {sysEx7(0x7D, {1}, 2)}},
        {"continue and end without a start", {ump7(0, 2, {1}), ump7(0, 3, {2})}, {}},
        {"a second start drops the first",
         {ump7(0, 1, {0x7D, 1}), ump7(0, 1, {0x7C, 2}), ump7(0, 3, {3})}, {sysEx7(0x7C, {2, 3})}},
        {"a byte count above six", {ump7(0, 0, {0x7D, 1, 2, 3, 4, 5}) /* n = 6 */,
                                    {0x30, 0x07, 0x7D, 1, 2, 3, 4, 5}}, {sysEx7(0x7D, {1, 2, 3, 4, 5})}},
        {"an empty start still opens the message",
         {ump7(0, 1, {}), ump7(0, 2, {0x7D, 1}), ump7(0, 3, {})}, {sysEx7(0x7D, {1})}},
        {"7-bit buffers are per group",
         {ump7(0, 1, {0x7D, 1}), ump7(1, 1, {0x7C, 2}), ump7(0, 3, {3}), ump7(1, 3, {4})},
         {sysEx7(0x7D, {1, 3}), sysEx7(0x7C, {2, 4}, 1)}},
        {"8-bit streams interleave",
         {ump8(1, 1, {0x00, 0x41, 0xA0}), ump8(1, 2, {0x00, 0x42, 0xB0}), ump8(2, 1, {0xA1}),
          ump8(2, 2, {0xB1}), ump8(3, 2, {0xB2}), ump8(3, 1, {0xA2})},
         {sysEx8(2, 0x42, {0xB0, 0xB1, 0xB2}), sysEx8(1, 0x41, {0xA0, 0xA1, 0xA2})}},
        {"8-bit complete, and an end without a start", {ump8(0, 7, {0x00, 0x41, 0xFF}), ump8(3, 9, {1})},
         {sysEx8(7, 0x41, {0xFF})}},
        {"mixed data set", {{0x50, 0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}, {}},
    };
    for (const auto& c : cases) {
        MIDI2Parser parser;
        EXPECT_EQ(parseAll(parser, c.messages), c.expected) << c.name;
        EXPECT_EQ(parser.openSysExSize(), 0u) << c.name;
    }
}

TEST(MIDI2Parser, DropsSystemExclusiveBeyondTheBound) {
    MIDI2Parser parser;
    parser.setMaxSysExSize(12);
    // 12 bytes in all fit; a thirteenth drops the message, and its end yields nothing.
    EXPECT_EQ(parseAll(parser, {ump7(0, 1, {0x7D, 1, 2, 3, 4, 5}), ump7(0, 3, {6, 7, 8, 9, 10, 11})}),
              Events{sysEx7(0x7D, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})});
    EXPECT_EQ(parseAll(parser, {ump7(0, 1, {0x7D, 1, 2, 3, 4, 5}), ump7(0, 2, {1, 2, 3, 4, 5, 6}),
                                ump7(0, 2, {7}), ump7(0, 3, {8})}),
              Events{});
    // The bound is shared by every open buffer.
    EXPECT_EQ(parseAll(parser, {ump8(1, 1, {0x00, 0x41, 1, 2, 3, 4, 5, 6, 7, 8}),
                                ump8(1, 2, {0x00, 0x41, 1, 2}), ump8(3, 2, {}), ump8(3, 1, {})}),
              Events{sysEx8(1, 0x41, {1, 2, 3, 4, 5, 6, 7, 8})});
    EXPECT_EQ(parser.openSysExSize(), 0u);
}

TEST(MIDI2Parser, TakesLongUtilityRunsOneByOne) {
    Bytes bytes;
    for (int i = 0; i < 20000; ++i) bytes.insert(bytes.end(), {0x00, 0x00, 0x00, 0x00});
    bytes.insert(bytes.end(), {0x10, 0xF8, 0x00, 0x00});
    MIDI2Parser parser;
    const Events events = parser.parsedEvents(bytes);
    ASSERT_EQ(events.size(), 20001u);
    EXPECT_EQ(events.front(), MIDIEvent::noOp());
    EXPECT_EQ(events.back(), MIDIEvent::timingClock());
}

// Events encoded to packets by the core's encoders parse back to themselves, under both protocols;
// multi-packet System Exclusive reassembles.
TEST(MIDI2Parser, ParsesEncodedPacketsBack) {
    for (unsigned seed = 0; seed < 400; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](uint32_t n) { return random() % n; };
        const UInt4 channel(pick(16));
        const UInt4 group(pick(16));
        const UInt7 a(pick(128));
        const UInt7 b(pick(128));
        const uint32_t word = static_cast<uint32_t>(random());
        const auto protocol = seed % 2 ? MIDIProtocolVersion::_2_0 : MIDIProtocolVersion::_1_0;
        const bool midi2 = protocol == MIDIProtocolVersion::_2_0;
        MIDIEvent event = MIDIEvent::noOp(group);
        switch (pick(12)) {
            case 0:
                event = MIDIEvent::noteOn(a, midi2 ? ChanVoice7Bit16BitValue::midi2(static_cast<uint16_t>(word))
                                                   : ChanVoice7Bit16BitValue::midi1(b),
                                          midi2 ? MIDIEvent::NoteAttribute::profileSpecific(0x1234)
                                                : MIDIEvent::NoteAttribute::none(),
                                          channel, group, false);
                break;
            case 1: event = MIDIEvent::noteOff(a, ChanVoice7Bit16BitValue::midi1(b), MIDIEvent::NoteAttribute::none(), channel, group); break;
            case 2: event = MIDIEvent::cc(a, midi2 ? ChanVoice7Bit32BitValue::midi2(word) : ChanVoice7Bit32BitValue::midi1(b), channel, group); break;
            case 3: event = MIDIEvent::pitchBend(midi2 ? ChanVoice14Bit32BitValue::midi2(word) : ChanVoice14Bit32BitValue::midi1(UInt14(pick(16384))), channel, group); break;
            case 4: event = MIDIEvent::pressure(midi2 ? ChanVoice7Bit32BitValue::midi2(word) : ChanVoice7Bit32BitValue::midi1(b), channel, group); break;
            case 5: event = MIDIEvent::notePressure(a, midi2 ? ChanVoice7Bit32BitValue::midi2(word) : ChanVoice7Bit32BitValue::midi1(b), channel, group); break;
            case 6: event = MIDIEvent::programChange(a, midi2 ? MIDIEvent::ProgramChange::Bank::bankSelect(UInt14(pick(16384))) : MIDIEvent::ProgramChange::Bank::noBankSelect(), channel, group); break;
            case 7: event = MIDIEvent::notePitchBend(a, ChanVoice32BitValue::midi2(word), channel, group); break;
            case 8: event = MIDIEvent::noteCC(a, MIDIEvent::NoteCC::PerNoteController::assignable(static_cast<uint8_t>(word)), ChanVoice32BitValue::midi2(word), channel, group); break;
            case 9: event = MIDIEvent::songPositionPointer(UInt14(pick(16384)), group); break;
            case 10: event = MIDIEvent::jrClock(static_cast<uint16_t>(word), group); break;
            default: {
                Bytes data(pick(40));
                for (auto& byte : data) byte = static_cast<uint8_t>(pick(128));
                event = sysEx7(static_cast<uint8_t>(1 + pick(0x7C)), data, group.value());
                break;
            }
        }
        MIDI2Parser parser;
        Events events;
        for (const auto& packet : event.umpRawWords(protocol)) {
            parser.parse(midicore::bytes(packet.span()), events);
        }
        EXPECT_EQ(events, Events{event}) << "seed " << seed << " " << event.description();
    }
}

}  // namespace
}  // namespace midiio
