#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace midicore {
namespace {

using E = MIDIEvent;
using Bytes = std::vector<uint8_t>;
using ErrorCase = MIDIEventParseError::Case;
using UT = E::UniversalSysExType;

// An input and what parsing it gives: an event, or the error's case.
template <class Input>
struct Vector {
    Input input;
    std::optional<MIDIEvent> event;
    std::optional<ErrorCase> error;
};

template <class Input, class Parse>
void checkVectors(const std::vector<Vector<Input>>& vectors, Parse parse) {
    for (const auto& v : vectors) {
        SCOPED_TRACE(testing::PrintToString(v.input));
        std::optional<MIDIEvent> event;
        std::optional<ErrorCase> error;
        try {
            event = parse(v.input);
        } catch (const MIDIEventParseError& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
            error = e.errorCase();
        }
        EXPECT_EQ(event, v.event);
        EXPECT_EQ(error, v.error);
    }
}

const std::optional<ErrorCase> malformed = ErrorCase::malformed;
const std::optional<ErrorCase> empty = ErrorCase::rawBytesEmpty;

E one(uint8_t id, Bytes data) { return E::sysEx7(E::SysExManufacturer::oneByte(UInt7(id)), std::move(data), UInt4(3)); }
E universal(UT type, uint8_t device, uint8_t sub1, uint8_t sub2, Bytes data) {
    return E::universalSysEx7(type, UInt7(device), UInt7(sub1), UInt7(sub2), std::move(data), UInt4(3));
}

TEST(SysExParsersTest, RawBytes) {
    const std::vector<Vector<Bytes>> vectors{
        {{}, std::nullopt, empty},
        {{0xF0}, std::nullopt, malformed},
        {{0xF7}, std::nullopt, malformed},
        {{0xF0, 0xF7}, std::nullopt, malformed},
        {{0x41, 0x10, 0xF7}, std::nullopt, malformed},
        {{0xF0, 0x41}, one(0x41, {}), std::nullopt},
        {{0xF0, 0x41, 0xF7}, one(0x41, {}), std::nullopt},
        {{0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7}, one(0x41, {0x10, 0x42, 0x12}), std::nullopt},
        {{0xF0, 0x41, 0x10, 0x42, 0x12}, one(0x41, {0x10, 0x42, 0x12}), std::nullopt},
        {{0xF0, 0x41, 0x10, 0xF7, 0x12}, std::nullopt, malformed},
        {{0xF0, 0x41, 0x10, 0x80, 0xF7}, std::nullopt, malformed},
        {{0xF0, 0x41, 0x10, 0xF7, 0xF7}, std::nullopt, malformed},
        {{0xF0, 0x00, 0x20}, std::nullopt, malformed},
        {{0xF0, 0x00, 0x20, 0x33},
         E::sysEx7(E::SysExManufacturer::threeByte(UInt7(0x20), UInt7(0x33)), Bytes{}, UInt4(3)),
         std::nullopt},
        {{0xF0, 0x00, 0x20, 0x33, 0x01, 0xF7},
         E::sysEx7(E::SysExManufacturer::threeByte(UInt7(0x20), UInt7(0x33)), Bytes{0x01}, UInt4(3)),
         std::nullopt},
        {{0xF0, 0x00, 0x20, 0xB3, 0x01, 0xF7}, std::nullopt, malformed},
        // The identity request of device 0x7F.
        {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, universal(UT::nonRealTime, 0x7F, 0x06, 0x01, {}),
         std::nullopt},
        {{0xF0, 0x7E, 0x7F, 0x06, 0x01}, std::nullopt, malformed},
        {{0xF0, 0x7E, 0x7F, 0x06}, std::nullopt, malformed},
        {{0xF0, 0x7E, 0x7F, 0x86, 0x01, 0xF7}, std::nullopt, malformed},
        {{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7},
         universal(UT::realTime, 0x7F, 0x04, 0x01, {0x00, 0x7F}), std::nullopt},
    };
    checkVectors(vectors, [](const Bytes& b) { return E::sysEx7FromRawBytes(b, UInt4(3)); });
}

TEST(SysExParsersTest, HexText) {
    const std::vector<Vector<std::string>> vectors{
        {"", std::nullopt, malformed},
        {" \t\n ", std::nullopt, malformed},
        {"F0 4", std::nullopt, malformed},
        {"F0 7G", std::nullopt, malformed},
        {"F0 41 F7", one(0x41, {}), std::nullopt},
        {"f0 41 10 42 12 f7", one(0x41, {0x10, 0x42, 0x12}), std::nullopt},
        {"F\n0\t4 1\r\n10\xE2\x80\xA8" "42", one(0x41, {0x10, 0x42}), std::nullopt},
        // A sign and a digit read as an integer: "+1" is 1, "-0" is 0, "-1" is no byte.
        {"F0 +1", one(0x01, {}), std::nullopt},
        {"F0 41 -0", one(0x41, {0x00}), std::nullopt},
        {"F0 41 -1", std::nullopt, malformed},
        {"F0 41 +-", std::nullopt, malformed},
        {"F0 41 0x", std::nullopt, malformed},
        {"F0 41 \xC3\xA9", std::nullopt, malformed},
        // Errors of the byte parser pass through.
        {"F0 41 10 F7 12", std::nullopt, malformed},
        {"41 10", std::nullopt, malformed},
    };
    checkVectors(vectors, [](const std::string& t) { return E::sysEx7FromRawHexString(t, UInt4(3)); });
}

TEST(SysExParsersTest, EightBit) {
    const auto eight = [](uint8_t stream, E::SysExManufacturer m, Bytes data) {
        E::SysEx8 record(m, std::move(data), UInt4(3));
        record.streamID = stream;
        return MIDIEvent(record);
    };
    const auto universal8 = [](uint8_t stream, UT type, uint8_t device, uint8_t s1, uint8_t s2, Bytes data) {
        E::UniversalSysEx8 record(type, UInt7(device), UInt7(s1), UInt7(s2), std::move(data), UInt4(3));
        record.streamID = stream;
        return MIDIEvent(record);
    };
    const std::vector<Vector<Bytes>> vectors{
        {{}, std::nullopt, empty},
        {{0x05}, std::nullopt, malformed},
        {{0x05, 0x00}, std::nullopt, malformed},
        {{0x05, 0x00, 0x41}, eight(5, E::SysExManufacturer::oneByte(UInt7(0x41)), {}), std::nullopt},
        {{0x00, 0x85, 0x12, 0xFF, 0xF7},
         eight(0, E::SysExManufacturer::threeByte(UInt7(0x05), UInt7(0x12)), {0xFF, 0xF7}),
         std::nullopt},
        {{0x00, 0x85, 0x92}, std::nullopt, malformed},
        {{0x00, 0x41, 0x00}, std::nullopt, malformed},
        {{0x00, 0x00, 0x00}, std::nullopt, malformed},
        {{0x00, 0x00, 0x7E, 0x7F, 0x06, 0x01}, universal8(0, UT::nonRealTime, 0x7F, 0x06, 0x01, {}),
         std::nullopt},
        {{0x09, 0x00, 0x7F, 0x01, 0x02, 0x03, 0xF0, 0xF7},
         universal8(9, UT::realTime, 0x01, 0x02, 0x03, {0xF0, 0xF7}), std::nullopt},
        {{0x00, 0x00, 0x7F, 0x7F, 0x06}, std::nullopt, malformed},
        {{0x00, 0x00, 0x7E, 0x80, 0x06, 0x01}, std::nullopt, malformed},
    };
    checkVectors(vectors, [](const Bytes& b) { return E::sysEx8FromRawBytes(b, UInt4(3)); });
}

// The message of a run of type-5 packets, read by the packet layout: the count in bits 16-19 of
// word 0 includes the stream ID in byte 2; the piece follows it.
Bytes reassembled(const UMPPackets& packets) {
    Bytes message;
    for (const UMPPacket& p : packets) {
        Bytes bytes;
        for (uint32_t w : p) {
            for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(w >> shift));
        }
        const size_t count = bytes[1] & 0x0F;
        if (message.empty()) message.push_back(bytes[2]);
        message.insert(message.end(), bytes.begin() + 3, bytes.begin() + 2 + static_cast<std::ptrdiff_t>(count));
    }
    return message;
}

TEST(SysExParsersTest, EncodingThenParsingGivesTheSameRecord) {
    std::mt19937 random(20);
    const auto byte = [&](unsigned below) { return static_cast<uint8_t>(random() % below); };
    const auto manufacturer = [&] {
        return random() % 2 ? E::SysExManufacturer::oneByte(UInt7(1 + byte(0x7D)))
                            : E::SysExManufacturer::threeByte(UInt7(byte(0x80)), UInt7(byte(0x80)));
    };
    const auto data = [&](unsigned below) {
        Bytes d(random() % 200);
        for (auto& b : d) b = byte(below);
        return d;
    };
    for (int i = 0; i < 300; ++i) {
        const UInt4 group = UInt4::truncating(random());
        const MIDIEvent seven = random() % 2
            ? E::sysEx7(manufacturer(), data(0x80), group)
            : E::universalSysEx7(random() % 2 ? UT::realTime : UT::nonRealTime, UInt7(byte(0x80)),
                                 UInt7(byte(0x80)), UInt7(byte(0x80)), data(0x80), group);
        const MIDI1Bytes bytes = seven.midi1RawBytes();
        EXPECT_EQ(E::sysEx7FromRawBytes(bytes.span(), group), seven);
        // Without the final F7 too.
        EXPECT_EQ(E::sysEx7FromRawBytes(bytes.span().first(bytes.size() - 1), group), seven);
        std::string hex;
        for (uint8_t b : bytes) {
            static const char digits[] = "0123456789abcdef";
            hex += digits[b >> 4];
            hex += random() % 5 == 0 ? "\n" : "";
            hex += digits[b & 0xF];
            hex += random() % 2 ? " " : "";
        }
        EXPECT_EQ(E::sysEx7FromRawHexString(hex, group), seven) << hex;

        const uint8_t stream = byte(0x100);
        MIDIEvent eight = random() % 2
            ? MIDIEvent(E::SysEx8(manufacturer(), data(0x100), group))
            : MIDIEvent(E::UniversalSysEx8(random() % 2 ? UT::realTime : UT::nonRealTime, UInt7(byte(0x80)),
                                           UInt7(byte(0x80)), UInt7(byte(0x80)), data(0x100), group));
        if (auto* m = eight.getIf<E::SysEx8>()) m->streamID = stream;
        if (auto* m = eight.getIf<E::UniversalSysEx8>()) m->streamID = stream;
        const Bytes message = reassembled(eight.umpRawWords(MIDIProtocolVersion::_2_0));
        EXPECT_EQ(E::sysEx8FromRawBytes(message, group), eight);
    }
}

}  // namespace
}  // namespace midicore
