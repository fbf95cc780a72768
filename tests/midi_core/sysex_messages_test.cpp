#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "midi_core/events/sysex7.hpp"
#include "midi_core/events/sysex8.hpp"
#include "midi_core/bytes.hpp"
#include "midi_core/parse_error.hpp"

namespace midicore::events {
namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::vector<uint32_t>>;

const SysExManufacturer id41 = SysExManufacturer::oneByte(UInt7(0x41));
const SysExManufacturer id002033 = SysExManufacturer::threeByte(UInt7(0x20), UInt7(0x33));

Words words(const UMPPackets& packets) {
    Words out;
    for (const auto& p : packets) out.push_back(p.toVector());
    return out;
}

Bytes counting(size_t n, uint8_t first = 1) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

#define EXPECT_MALFORMED(statement)                                                           \
    do {                                                                                      \
        try {                                                                                 \
            statement;                                                                        \
            ADD_FAILURE() << #statement " threw nothing";                                     \
        } catch (const MIDIEventParseError& error_) {                                         \
            EXPECT_EQ(error_.errorCase(), MIDIEventParseError::Case::malformed);              \
        }                                                                                     \
    } while (false)

TEST(SysEx7, FramedBytesAndHexText) {
    const SysEx7 roland(id41, Bytes{0x10, 0x42});
    EXPECT_EQ(roland.midi1RawBytes(), (Bytes{0xF0, 0x41, 0x10, 0x42, 0xF7}));
    EXPECT_EQ(roland.midi1RawBytes(false, false), (Bytes{0x41, 0x10, 0x42}));
    EXPECT_EQ(roland.midi1RawBytes(true, false), (Bytes{0xF0, 0x41, 0x10, 0x42}));
    EXPECT_EQ(roland.midi1RawHexString(true, true, " "), "F0 41 10 42 F7");
    EXPECT_EQ(roland.midi1RawHexString(false, true, ""), "411042F7");
    EXPECT_EQ(SysEx7(id002033, Bytes{0x01}).midi1RawBytes(),
              (Bytes{0xF0, 0x00, 0x20, 0x33, 0x01, 0xF7}));
    const UniversalSysEx7 universal(UniversalSysExType::realTime, UInt7(0x7F), UInt7(0x04),
                                    UInt7(0x01), Bytes{0x00, 0x7F});
    EXPECT_EQ(universal.midi1RawBytes(), (Bytes{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7}));
    EXPECT_EQ(universal.midi1RawBytes(false, false), (Bytes{0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F}));
    // A long message leaves the inline buffer and keeps every byte.
    const Bytes body = counting(100, 0);
    Bytes expected{0xF0, 0x41};
    expected.insert(expected.end(), body.begin(), body.end());
    expected.push_back(0xF7);
    EXPECT_EQ(SysEx7(id41, body).midi1RawBytes(), expected);
}

TEST(SysEx7, DataIsSevenBitAtAllTimes) {
    for (uint8_t bad : {0x80, 0xF0, 0xF7, 0xFF}) {
        EXPECT_MALFORMED(SysEx7(id41, Bytes{0x01, bad}));
        EXPECT_MALFORMED(UniversalSysEx7(UniversalSysExType::nonRealTime, UInt7(0), UInt7(1),
                                         UInt7(2), Bytes{bad}));
        SysEx7 record(id41, Bytes{0x01, 0x02});
        const SysEx7 before = record;
        EXPECT_MALFORMED(record.data.set(Bytes{0x03, bad}));
        EXPECT_MALFORMED(record.data.modify([&](Bytes& b) { b.push_back(bad); }));
        EXPECT_EQ(record, before);
        EXPECT_EQ(record.midi1RawBytes(), (Bytes{0xF0, 0x41, 0x01, 0x02, 0xF7}));
    }
    SysEx7 record(id41, std::vector<UInt7>{UInt7(0x7F), UInt7(0)});
    EXPECT_EQ(record.data, (Bytes{0x7F, 0x00}));
    record.data.modify([](Bytes& b) { b.push_back(0x7F); });
    EXPECT_EQ(record.data, (Bytes{0x7F, 0x00, 0x7F}));
    try {
        SysEx7(id41, Bytes{0x01, 0x02, 0xF7});
        ADD_FAILURE() << "an F7 in the data was accepted";
    } catch (const MIDIEventParseError& error) {
        EXPECT_STREQ(error.what(), "System exclusive data byte 0xF7 at index 2 is not a 7-bit value.");
    }
}

TEST(UniversalSysEx7, DeviceInquiry) {
    const auto request = UniversalSysEx7::identityRequest(UInt7(0x7F));
    EXPECT_EQ(request.midi1RawBytes(), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(words(request.umpRawWords()), (Words{{0x30047E7F, 0x06010000}}));
    EXPECT_EQ(request.description(),
              "universalSysEx7(nonRealTime, deviceID: 127, subID1: 6, subID2: 1, data: [], group: 0x0)");

    const std::array revision{UInt7(1), UInt7(0), UInt7(0), UInt7(0)};
    const auto reply =
        UniversalSysEx7::identityReply(UInt7(0x7F), id41, UInt14(0x0123), UInt14(0x0004), revision);
    EXPECT_EQ(reply.midi1RawBytes(), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x41, 0x23, 0x02, 0x04,
                                            0x00, 0x01, 0x00, 0x00, 0x00, 0xF7}));
    const auto threeByteReply = UniversalSysEx7::identityReply(
        UInt7(0x10), id002033, UInt14(0x3FFF), UInt14(0x0080), revision);
    EXPECT_EQ(threeByteReply.midi1RawBytes(),
              (Bytes{0xF0, 0x7E, 0x10, 0x06, 0x02, 0x00, 0x20, 0x33, 0x7F, 0x7F, 0x00, 0x01,
                     0x01, 0x00, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(reply.group, UInt4(0));
}

TEST(SysExRecords, TextsEqualityAndHashing) {
    EXPECT_EQ(SysEx7(id41, Bytes{}).description(), "sysEx7(mfr: 0x41, data: [], group: 0x0)");
    EXPECT_EQ(SysEx7(id002033, Bytes{0x01, 0x7F}, UInt4(12)).description(),
              "sysEx7(mfr: 0x00 0x20 0x33, data: [0x01 0x7F], group: 0xC)");
    SysEx8 eight(id41, Bytes{0xFF}, UInt4(1));
    eight.streamID = 9;
    EXPECT_EQ(eight.description(), "sysEx8(mfr: 0x41, data: [0xFF], group: 0x1, streamID: 9)");
    EXPECT_EQ(UniversalSysEx8(UniversalSysExType::realTime, UInt7(1), UInt7(2), UInt7(3), Bytes{})
                  .description(),
              "universalSysEx8(realTime, deviceID: 1, subID1: 2, subID2: 3, data: [], group: 0x0, "
              "streamID: 0)");

    // Records that differ in one field are unequal; copies are equal and hash alike.
    const SysEx7 base(id41, Bytes{1, 2});
    for (const SysEx7& other : {SysEx7(id002033, Bytes{1, 2}), SysEx7(id41, Bytes{1}),
                                SysEx7(id41, Bytes{1, 2}, UInt4(1))}) {
        EXPECT_NE(base, other) << other.description();
    }
    EXPECT_EQ(std::hash<SysEx7>{}(SysEx7(base)), std::hash<SysEx7>{}(base));
    SysEx8 restreamed = eight;
    EXPECT_EQ(std::hash<SysEx8>{}(restreamed), std::hash<SysEx8>{}(eight));
    restreamed.streamID = 0;
    EXPECT_NE(restreamed, eight);
}

// Packets from the message-type-3 and -5 layouts: [type|group][status|count][stream][bytes...].
TEST(SysExPackets, CutMessagesAtSixAndThirteenBytes) {
    EXPECT_EQ(words(SysEx7(id41, counting(5)).umpRawWords()), (Words{{0x30064101, 0x02030405}}));
    EXPECT_EQ(words(SysEx7(id41, counting(6), UInt4(2)).umpRawWords()),
              (Words{{0x32164101, 0x02030405}, {0x32310600, 0x00000000}}));
    EXPECT_EQ(words(SysEx7(id41, counting(11)).umpRawWords()),
              (Words{{0x30164101, 0x02030405}, {0x30360607, 0x08090A0B}}));
    EXPECT_EQ(words(SysEx7(id41, counting(12)).umpRawWords()),
              (Words{{0x30164101, 0x02030405}, {0x30260607, 0x08090A0B}, {0x30310C00, 0x00000000}}));

    SysEx8 eleven(id41, counting(11));
    eleven.streamID = 5;
    EXPECT_EQ(words(eleven.umpRawWords()),
              (Words{{0x500E0500, 0x41010203, 0x04050607, 0x08090A0B}}));
    SysEx8 twelve(id41, counting(12), UInt4(3));
    EXPECT_EQ(words(twelve.umpRawWords()),
              (Words{{0x531E0000, 0x41010203, 0x04050607, 0x08090A0B}, {0x5332000C, 0, 0, 0}}));
    EXPECT_EQ(words(SysEx8(id002033, Bytes{0xF7}).umpRawWords()),
              (Words{{0x500400A0, 0x33F70000, 0, 0}}));
    EXPECT_EQ(words(UniversalSysEx8(UniversalSysExType::nonRealTime, UInt7(0x7F), UInt7(6),
                                    UInt7(1), Bytes{})
                        .umpRawWords()),
              (Words{{0x50060000, 0x7E7F0601, 0, 0}}));
}

// Whatever the length, the packets' payload bytes in order give the message back, the statuses
// run complete or start, continue..., end, and every type-5 packet carries the stream ID.
TEST(SysExPackets, ReassembleToTheMessage) {
    for (size_t length = 0; length <= 40; ++length) {
        const Bytes body = counting(length, 0x10);
        SysEx7 seven(id002033, body, UInt4(6));
        SysEx8 eight(id002033, Bytes(length, 0xF7), UInt4(6));
        eight.streamID = 0xAB;
        for (const bool isEight : {false, true}) {
            const auto packets = isEight ? eight.umpRawWords() : seven.umpRawWords();
            Bytes message;
            for (size_t i = 0; i < packets.size(); ++i) {
                const Bytes raw = midicore::bytes(packets[i].span());
                ASSERT_EQ(raw.size(), isEight ? 16u : 8u);
                EXPECT_EQ(raw[0], isEight ? 0x56 : 0x36);
                const unsigned status = raw[1] >> 4;
                const unsigned expected = packets.size() == 1 ? 0 : i == 0 ? 1 : i + 1 == packets.size() ? 3 : 2;
                EXPECT_EQ(status, expected) << length << " " << i;
                size_t count = raw[1] & 0x0F;
                size_t start = 2;
                if (isEight) {
                    EXPECT_EQ(raw[2], 0xAB);
                    ASSERT_GE(count, 1u);
                    --count;
                    start = 3;
                }
                ASSERT_LE(start + count, raw.size());
                message.insert(message.end(), raw.begin() + start, raw.begin() + start + count);
                EXPECT_TRUE(std::all_of(raw.begin() + start + count, raw.end(), [](uint8_t b) { return b == 0; }));
            }
            Bytes expected = isEight ? Bytes{0xA0, 0x33} : Bytes{0x00, 0x20, 0x33};
            const Bytes& data = isEight ? eight.data : seven.data.bytes();
            expected.insert(expected.end(), data.begin(), data.end());
            EXPECT_EQ(message, expected) << length;
        }
    }
}

}  // namespace
}  // namespace midicore::events
