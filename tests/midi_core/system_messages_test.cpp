#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "midi_core/events/system_common.hpp"
#include "midi_core/events/system_real_time.hpp"

namespace midicore::events {
namespace {

struct Encoded {
    std::vector<uint8_t> bytes;  // empty for the utility messages, which have no MIDI 1.0 form
    uint32_t word;
    std::string text;
};

template <class Record>
Encoded encode(const Record& record) {
    Encoded e;
    if constexpr (requires { record.midi1RawBytes(); }) e.bytes = record.midi1RawBytes().toVector();
    const UMPPacket packet = record.umpRawWords();
    EXPECT_EQ(packet.size(), 1u) << record.description();
    e.word = packet[0];
    e.text = record.description();
    return e;
}

// Bytes from the MIDI 1.0 status table, words from the packet layout (type 1 system, type 0
// utility), texts as the event list prints them.
TEST(SystemMessages, EncodeAsBytesWordAndText) {
    const std::vector<std::tuple<Encoded, Encoded>> cases = {
        {encode(TimecodeQuarterFrame(UInt7(0x7F))), {{0xF1, 0x7F}, 0x10F17F00, "timecodeQF(0b01111111, group: 0x0)"}},
        {encode(TimecodeQuarterFrame(UInt7(0x12), UInt4(1))), {{0xF1, 0x12}, 0x11F11200, "timecodeQF(0b00010010, group: 0x1)"}},
        {encode(SongPositionPointer(UInt14(0x1234), UInt4(3))), {{0xF2, 0x34, 0x24}, 0x13F23424, "songPositionPointer(beat: 4660, group: 0x3)"}},
        {encode(SongPositionPointer(UInt14(16383), UInt4(15))), {{0xF2, 0x7F, 0x7F}, 0x1FF27F7F, "songPositionPointer(beat: 16383, group: 0xF)"}},
        {encode(SongPositionPointer(UInt14(128))), {{0xF2, 0x00, 0x01}, 0x10F20001, "songPositionPointer(beat: 128, group: 0x0)"}},
        {encode(SongSelect(UInt7(5), UInt4(4))), {{0xF3, 0x05}, 0x14F30500, "songSelect(number: 5, group: 0x4)"}},
        {encode(UnofficialBusSelect(UInt7(127))), {{0xF5, 0x7F}, 0x10F57F00, "unofficialBusSelect(bus: 127, group: 0x0)"}},
        {encode(TuneRequest()), {{0xF6}, 0x10F60000, "tuneRequest(group: 0x0)"}},
        {encode(TimingClock()), {{0xF8}, 0x10F80000, "timingClock(group: 0x0)"}},
        {encode(TimingClock(UInt4(2))), {{0xF8}, 0x12F80000, "timingClock(group: 0x2)"}},
        {encode(Start(UInt4(1))), {{0xFA}, 0x11FA0000, "start(group: 0x1)"}},
        {encode(Continue()), {{0xFB}, 0x10FB0000, "continue(group: 0x0)"}},
        {encode(Stop(UInt4(3))), {{0xFC}, 0x13FC0000, "stop(group: 0x3)"}},
        {encode(ActiveSensing(UInt4(10))), {{0xFE}, 0x1AFE0000, "activeSensing(group: 0xA)"}},
        {encode(SystemReset(UInt4(9))), {{0xFF}, 0x19FF0000, "systemReset(group: 0x9)"}},
        {encode(NoOp(UInt4(5))), {{}, 0x05000000, "noOp(group: 0x5)"}},
        {encode(JRClock(0x1234, UInt4(2))), {{}, 0x02101234, "jrClock(4660, group: 0x2)"}},
        {encode(JRClock(0)), {{}, 0x00100000, "jrClock(0, group: 0x0)"}},
        {encode(JRTimestamp(0xFFFF, UInt4(15))), {{}, 0x0F20FFFF, "jrTimestamp(65535, group: 0xF)"}},
    };
    for (const auto& [actual, expected] : cases) {
        EXPECT_EQ(actual.bytes, expected.bytes) << expected.text;
        EXPECT_EQ(actual.word, expected.word) << expected.text;
        EXPECT_EQ(actual.text, expected.text);
    }
}

// The group travels only in the packet: records that differ in it alone are unequal, give the
// same MIDI 1.0 bytes and a word that differs only in the group nibble; status and data accessors
// agree with the bytes.
template <class Record>
void checkGroupAndAccessors(Record record) {
    Record other = record;
    EXPECT_EQ(other, record);
    EXPECT_EQ(std::hash<Record>{}(other), std::hash<Record>{}(record));
    other.group = UInt4(7);
    EXPECT_NE(other, record) << record.description();
    EXPECT_EQ(other.umpRawWords()[0] ^ record.umpRawWords()[0], uint32_t{7} << 24);
    if constexpr (requires { record.midi1RawBytes(); }) {
        const auto bytes = record.midi1RawBytes();
        EXPECT_EQ(other.midi1RawBytes(), bytes);
        EXPECT_EQ(Record::midi1RawStatusByte(), bytes[0]);
        EXPECT_EQ(record.umpRawWords()[0] >> 16 & 0xFF, bytes[0]);
        if constexpr (requires { record.midi1RawDataByte(); }) {
            EXPECT_EQ(bytes.size(), 2u);
            EXPECT_EQ(record.midi1RawDataByte(), bytes[1]);
        }
        if constexpr (requires { record.midi1RawDataBytes(); }) {
            EXPECT_EQ(record.midi1RawDataBytes().first, bytes[1]);
            EXPECT_EQ(record.midi1RawDataBytes().second, bytes[2]);
        }
    }
}

TEST(SystemMessages, GroupIsNotPartOfTheBytes) {
    checkGroupAndAccessors(TimecodeQuarterFrame(UInt7(0x35)));
    checkGroupAndAccessors(SongPositionPointer(UInt14(0x2ABC)));
    checkGroupAndAccessors(SongSelect(UInt7(9)));
    checkGroupAndAccessors(UnofficialBusSelect(UInt7(3)));
    checkGroupAndAccessors(TuneRequest());
    checkGroupAndAccessors(TimingClock());
    checkGroupAndAccessors(Start());
    checkGroupAndAccessors(Continue());
    checkGroupAndAccessors(Stop());
    checkGroupAndAccessors(ActiveSensing());
    checkGroupAndAccessors(SystemReset());
    checkGroupAndAccessors(NoOp());
    checkGroupAndAccessors(JRClock(0xBEEF));
    checkGroupAndAccessors(JRTimestamp(1));
}

}  // namespace
}  // namespace midicore::events
