#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "codec_test_support.hpp"
#include "midi_file/file_event.hpp"

using namespace midifile;
using namespace midifile::codec_testing;

namespace {

TEST(MetaPayloads, DecodersAcceptAndRefuseWithTheirSentences) {
    const struct {
        std::string (*decode)(const Bytes&);
        Bytes bytes;
        std::string expected;
    } cases[] = {
        {raw<ChannelPrefix>, {0xFF, 0x20, 0x01, 0x09}, "ChannelPrefix(0x9)"},
        {raw<ChannelPrefix>, {0xFF, 0x20, 0x01, 0x0A}, "ChannelPrefix(0xA)"},
        {raw<ChannelPrefix>, {0xFF, 0x20, 0x01, 0x10}, "Channel number is out of bounds: 16"},
        {raw<ChannelPrefix>, {0xFF, 0x20, 0x02, 0x09}, "Event does not start with expected bytes."},
        {raw<ChannelPrefix>, {0xFF, 0x20, 0x01}, "Invalid number of bytes. Expected 4 but got 3"},
        {stream<ChannelPrefix>, {0xFF, 0x20, 0x01}, "Unexpected byte length."},
        {raw<PortPrefix>, {0xFF, 0x21, 0x01, 0x7F}, "PortPrefix(127)"},
        {raw<PortPrefix>, {0xFF, 0x21, 0x01, 0x80}, "Port number is out of bounds: 128"},
        {raw<SequenceNumber>, {0xFF, 0x00, 0x02, 0x7F, 0xFF}, "SequenceNumber(32767)"},
        {raw<SequenceNumber>, {0xFF, 0x00, 0x02, 0x80, 0x00},
         "Sequence number is out of bounds: 32768"},
        {raw<KeySignature>, {0xFF, 0x59, 0x02, 0xF9, 0x01}, "KeySignature(7\u266D Minor)"},
        {raw<KeySignature>, {0xFF, 0x59, 0x02, 0x03, 0x00}, "KeySignature(3\u266F Major)"},
        {raw<KeySignature>, {0xFF, 0x59, 0x02, 0x08, 0x00},
         "Illegal value found when reading Key Signature event sharps/flats byte. Got 8 but "
         "value must be between -7 ... 7."},
        {raw<KeySignature>, {0xFF, 0x59, 0x02, 0xF8, 0x05},  // sharps/flats are checked first
         "Illegal value found when reading Key Signature event sharps/flats byte. Got -8 but "
         "value must be between -7 ... 7."},
        {raw<KeySignature>, {0xFF, 0x59, 0x02, 0x03, 0x05},
         "Illegal value found when reading Key Signature event major/minor key byte. Got 5 but "
         "value must be between 0 ... 1."},
        {raw<KeySignature>, {0xFF, 0x59, 0x02, 0x03, 0xFF},
         "Illegal value found when reading Key Signature event major/minor key byte. Got -1 but "
         "value must be between 0 ... 1."},
        {stream<KeySignature>, {0xFF, 0x59, 0x02, 0x00, 0x00, 0x90, 0x3C, 0x40},
         "KeySignature(No signature Major) @5"},
        {stream<KeySignature>, {0xFF, 0x59, 0x02, 0x00}, "Unexpected byte length."},
        {stream<SequencerSpecific>, {0xFF, 0x7F, 0x03, 0x00, 0x21, 0x1D, 0x90},
         "SequencerSpecific(3 bytes: [0x00, 0x21, 0x1D]) @6"},
        {stream<SequencerSpecific>, {0xFF, 0x7F, 0x00}, "SequencerSpecific(0 bytes: []) @3"},
        {raw<SequencerSpecific>, {0xFF, 0x7F}, "Too few bytes."},
        {stream<SequencerSpecific>, {0xFF, 0x7F}, "Byte length too short."},
        {raw<SequencerSpecific>, {0xFF, 0x7E, 0x01, 0x00},
         "Event does not start with expected bytes."},
        {raw<SequencerSpecific>, {0xFF, 0x7F, 0x05, 0x01, 0x02},
         "Fewer bytes are available (2 than are expected (5)."},
        {raw<SequencerSpecific>, {0xFF, 0x7F, 0x80, 0x80, 0x80, 0x80},
         "Could not extract variable length."},
        {stream<UnrecognizedMeta>, {0xFF, 0x0A, 0x03, 0x41, 0x42, 0x43, 0x90},
         "UnrecognizedMeta(type: 10, 3 bytes: [0x41, 0x42, 0x43] @6"},
        {stream<UnrecognizedMeta>, {0xFF, 0x21, 0x02, 0x00, 0x05},  // a port prefix of length 2
         "UnrecognizedMeta(type: 33, 2 bytes: [0x00, 0x05] @5"},
        {raw<UnrecognizedMeta>, {0xFF, 0x0A, 0x05, 0x01, 0x02},
         "Fewer bytes are available (2 than are expected (5)."},
        {raw<UnrecognizedMeta>, {0xFE, 0x0A, 0x00}, "Event does not start with expected bytes."},
        {raw<UnrecognizedMeta>, {0xFF, 0x0A}, "Not enough bytes."},
        {stream<UnrecognizedMeta>, {0xFF, 0x0A}, "Byte length too length."},
        {stream<XMFPatchTypePrefix>, {0xFF, 0x60, 0x01, 0x03}, "XMFPatchTypePrefix(DLS) @4"},
        {stream<XMFPatchTypePrefix>, {0xFF, 0x60, 0x01, 0x01, 0x7F},
         "XMFPatchTypePrefix(General MIDI 1) @4"},
        {raw<XMFPatchTypePrefix>, {0xFF, 0x60, 0x01, 0x00}, "Encountered unexpected param value: 0"},
        {raw<XMFPatchTypePrefix>, {0xFF, 0x60, 0x01, 0x04}, "Encountered unexpected param value: 4"},
        {raw<XMFPatchTypePrefix>, {0xFF, 0x60, 0x02, 0x01}, "Param length should always be 1."},
        {raw<XMFPatchTypePrefix>, {0xFF, 0x61, 0x01, 0x01},
         "Event does not start with expected bytes."},
        {raw<XMFPatchTypePrefix>, {0xFF, 0x60, 0x01}, "Invalid number of bytes. Expected 4 but got 3"},
        {stream<XMFPatchTypePrefix>, {0xFF, 0x60, 0x01}, "Unexpected byte length."},
        {stream<Tempo>, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00}, "Tempo(120.0bpm) @6"},
        {raw<Tempo>, {0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}, "Tempo(60000000.0bpm)"},
        // Slower than the limit: the slowest count that writes back as it reads (FF BB E0).
        {raw<Tempo>, {0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF}, "Tempo(3.5800001145600038bpm)"},
        {raw<Tempo>, {0xFF, 0x51, 0x03, 0xFF, 0xBB, 0xE0}, "Tempo(3.5800001145600038bpm)"},
        {raw<Tempo>, {0xFF, 0x51, 0x03, 0x07, 0xA1}, "Invalid number of bytes. Expected 6 but got 5"},
        {stream<Tempo>, {0xFF, 0x51, 0x03, 0x07, 0xA1}, "Unexpected byte length."},
        {raw<Tempo>, {0xFF, 0x51, 0x04, 0x07, 0xA1, 0x20}, "Event does not start with expected bytes."},
        {raw<TimeSignature>, {0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08},
         "TimeSignature(timeSig: 6/8. clocks:24, 32ndsToAQuarter:8)"},
        {raw<TimeSignature>, {0xFF, 0x58, 0x04, 0x04, 0x00, 0x00, 0x00},
         "TimeSignature(timeSig: 4/1. clocks:0, 32ndsToAQuarter:0)"},
        {raw<TimeSignature>, {0xFF, 0x58, 0x04, 0x03, 0x7F, 0x00, 0x00},  // 2^127, exactly
         "TimeSignature(timeSig: 3/170141183460469231731687303715884105728. clocks:0, "
         "32ndsToAQuarter:0)"},
        {stream<TimeSignature>, {0xFF, 0x58, 0x04, 0x04, 0x02}, "Unexpected byte length."},
        {stream<Text>, {0xFF, 0x03, 0x05, 0x50, 0x69, 0x61, 0x6E, 0x6F},
         "Text(trackOrSequenceName: \"Piano\") @8"},
        {stream<Text>, {0xFF, 0x01, 0x00, 0xFF}, "Text(text: \"\") @3"},
        {raw<Text>, {0xFF, 0x0A, 0x00}, "Event is not a textual event."},
        {raw<Text>, {0xFF, 0x01}, "Not enough bytes."},
        {raw<Text>, {0xFF, 0x01, 0x05, 0x41, 0x42},
         "Fewer bytes are available (2) than are expected (5)."},
        // Bytes that are neither non-lossy ASCII nor ASCII read as UTF-8, else one "?" each.
        {raw<Text>, {0xFF, 0x05, 0x02, 0xC3, 0xA9}, "Text(lyric: \"\u00E9\")"},
        {raw<Text>, {0xFF, 0x05, 0x02, 0xE9, 0x41}, "Text(lyric: \"??\")"},
        {raw<Text>, {0xFF, 0x06, 0x04, 0x5C, 0x33, 0x35, 0x31}, "Text(marker: \"\u00E9\")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.decode(c.bytes), c.expected) << testing::PrintToString(c.bytes);
    }
}

// Lengths written with more bytes than they need count as read.
TEST(MetaPayloads, StreamCountsFollowTheBytesRead) {
    const Bytes tail{0x01, 0x02, 0x03, 0x90, 0x3C};
    EXPECT_EQ(stream<SequencerSpecific>(Bytes{0xFF, 0x7F, 0x80, 0x03} + tail),
              "SequencerSpecific(3 bytes: [0x01, 0x02, 0x03]) @7");
    EXPECT_EQ(stream<UnrecognizedMeta>(Bytes{0xFF, 0x0B, 0x80, 0x80, 0x03} + tail),
              "UnrecognizedMeta(type: 11, 3 bytes: [0x01, 0x02, 0x03] @8");
    EXPECT_EQ(stream<Text>(Bytes{0xFF, 0x01, 0x80, 0x03, 0x41, 0x42, 0x43, 0x90}),
              "Text(text: \"ABC\") @7");
}

// decode(encode(x) + junk) gives x and the length of encode(x), for every kind.
template <class P>
void expectRoundTrips(const std::vector<P>& payloads) {
    for (const P& payload : payloads) {
        const Bytes bytes = smfRawBytes(payload);
        for (const Bytes& junk : {Bytes{}, Bytes{0x90}, Bytes{0xFF, 0x2F, 0x00}}) {
            const auto decoded = decodePayload<P>(bytes + junk);
            ASSERT_TRUE(decoded) << decoded.failure().message() << " " << payloadDebugDescription(payload);
            EXPECT_EQ(decoded->payload, payload) << payloadDebugDescription(payload);
            EXPECT_EQ(decoded->byteCount, static_cast<int64_t>(bytes.size()));
        }
        EXPECT_EQ(payloadFromRawBytes<P>(bytes), payload);
        // Every shorter piece is refused, without an exception.
        for (size_t size = 0; size < bytes.size(); ++size) {
            const auto decoded = decodePayload<P>(Bytes(bytes.begin(), bytes.begin() + size));
            EXPECT_FALSE(decoded) << payloadDebugDescription(payload) << " cut to " << size;
        }
    }
}

TEST(MetaPayloads, EveryKindRoundTripsWithTrailingBytes) {
    std::vector<ChannelPrefix> channels;
    for (int c = 0; c < 16; ++c) channels.push_back({midicore::UInt4(c)});
    expectRoundTrips(channels);
    std::vector<PortPrefix> ports;
    for (int p = 0; p < 128; ++p) ports.push_back({midicore::UInt7(p)});
    expectRoundTrips(ports);
    expectRoundTrips<SequenceNumber>({SequenceNumber(0), SequenceNumber(258), SequenceNumber(32767)});
    std::vector<KeySignature> keys;
    for (int k = -7; k <= 7; ++k) {
        keys.emplace_back(static_cast<int8_t>(k), true);
        keys.emplace_back(static_cast<int8_t>(k), false);
    }
    expectRoundTrips(keys);
    expectRoundTrips<SequencerSpecific>({{}, {{0x00, 0x21, 0x1D}}, {repeated(0xF7, 200)},
                                         {repeated(0x80, 20000)}});
    expectRoundTrips<UnrecognizedMeta>({{0x0A, {}}, {0x7E, repeated(0x41, 130)}, {0x2F, {0x00}}});
    expectRoundTrips<XMFPatchTypePrefix>({{XMFPatchSet::generalMIDI1}, {XMFPatchSet::generalMIDI2},
                                          {XMFPatchSet::DLS}});
    // Tempos that survive the whole microseconds of the byte form.
    expectRoundTrips<Tempo>({Tempo(120), Tempo(60), Tempo(60'000'000), Tempo(100), Tempo(96)});
    expectRoundTrips<TimeSignature>({{}, {6, 3, 36, 8}, {255, 255, 255, 255}, {0, 0, 0, 0}});
    std::vector<Text> texts;
    for (TextEventType type : allCases<TextEventType>()) {
        texts.emplace_back(type, "");
        texts.emplace_back(type, "caf\u00E9 \\ \u65E5\u672C \U0001F600");
    }
    texts.push_back(Text::lyric(std::string(300, 'x')));
    expectRoundTrips(texts);
}

TEST(MetaPayloads, EncodingsOfTheExamples) {
    const struct {
        Bytes encoded;
        Bytes expected;
    } cases[] = {
        {SequenceNumber(258).smfRawBytes(), {0xFF, 0x00, 0x02, 0x01, 0x02}},
        {SequencerSpecific{}.smfRawBytes(), {0xFF, 0x7F, 0x00}},
        {SequencerSpecific{repeated(7, 200)}.smfRawBytes(),
         Bytes{0xFF, 0x7F, 0x81, 0x48} + repeated(7, 200)},
        {UnrecognizedMeta{0x0A, repeated(9, 200)}.smfRawBytes(),
         Bytes{0xFF, 0x0A, 0x81, 0x48} + repeated(9, 200)},
        {UnrecognizedMeta{0x0A, {}}.smfRawBytes(), {0xFF, 0x0A, 0x00}},
        {XMFPatchTypePrefix{}.smfRawBytes(), {0xFF, 0x60, 0x01, 0x01}},
        {Tempo(140).smfRawBytes(), {0xFF, 0x51, 0x03, 0x06, 0x8A, 0x1B}},
        {Tempo().smfRawBytes(), {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
        {TimeSignature{}.smfRawBytes(), {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}},
        {KeySignature(-2, false).smfRawBytes(), {0xFF, 0x59, 0x02, 0xFE, 0x01}},
        // é as its non-lossy escape, 7-bit only.
        {Text::text("\u00E9").smfRawBytes(), {0xFF, 0x01, 0x04, '\\', '3', '5', '1'}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.encoded, c.expected);
}

TEST(MetaPayloads, SettersLimitAndConstructorsStore) {
    KeySignature key;
    const std::tuple<int8_t, int8_t> keyCases[] = {{9, 7}, {-12, -7}, {-128, -7}, {3, 3}};
    for (auto [assigned, stored] : keyCases) {
        key.setFlatsOrSharps(assigned);
        EXPECT_EQ(key.flatsOrSharps(), stored);
    }
    EXPECT_EQ(KeySignature(9, true).flatsOrSharps(), 9);
    EXPECT_EQ(KeySignature(-128, true).description(), "128\u266D Major");
    SequenceNumber number;
    number.setSequence(40000);
    EXPECT_EQ(number.sequence(), 32767);
    EXPECT_EQ(SequenceNumber(40000).sequence(), 40000);

    Tempo tempo;
    const std::tuple<double, double> tempoCases[] = {
        {2.0, 3.58}, {1e9, 60'000'000}, {-1, 3.58}, {INFINITY, 60'000'000}, {NAN, 60'000'000}};
    for (auto [assigned, stored] : tempoCases) {
        tempo.setBPM(assigned);
        EXPECT_EQ(tempo.bpm(), stored) << assigned;  // a NaN leaves the tempo as it was
    }
    tempo.setMicrosecondsPerQuarterNote(1'000'000);
    EXPECT_EQ(tempo.bpm(), 60);
    tempo.setMicrosecondsPerQuarterNote(0);
    EXPECT_EQ(tempo.bpm(), 60'000'000);
    EXPECT_EQ(Tempo(1.0).bpm(), 1.0);
    EXPECT_EQ(Tempo(NAN).bpm(), 120);
}

// Every count of microseconds that a tempo can hold reads and writes back unchanged.
TEST(MetaPayloads, TempoMicrosecondsRoundTrip) {
    Tempo tempo;
    uint32_t mismatches = 0;
    for (uint32_t microseconds = 1; microseconds <= 16'759'776; ++microseconds) {
        tempo.setMicrosecondsPerQuarterNote(microseconds);
        mismatches += tempo.microsecondsPerQuarterNote() != microseconds;
    }
    EXPECT_EQ(mismatches, 0u);
    // Slower tempos than the limit are written at the limit.
    tempo.setMicrosecondsPerQuarterNote(16'777'215);
    EXPECT_EQ(tempo.microsecondsPerQuarterNote(), 16'759'776u);
}

// A tempo constructed outside what the byte form holds is written at the nearest limit.
TEST(MetaPayloads, TempoEncodingStaysWithinTheField) {
    const struct {
        double bpm;
        uint32_t microseconds;
    } cases[] = {
        {1.0, 16'759'776},   {0.0, 16'759'776}, {-120, 16'759'776}, {-INFINITY, 16'759'776},
        {1e12, 1},           {INFINITY, 1},     {3.58, 16'759'776}, {60'000'000, 1},
        {140, 428'571},
    };
    for (const auto& c : cases) {
        const Tempo tempo(c.bpm);
        EXPECT_EQ(tempo.microsecondsPerQuarterNote(), c.microseconds) << c.bpm;
        const Bytes bytes = tempo.smfRawBytes();
        const auto decoded = Tempo::tryFromRawBytes(bytes);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->microsecondsPerQuarterNote(), c.microseconds);
        EXPECT_TRUE(std::isfinite(tempo.encodedBPM()));
    }
}

TEST(MetaPayloads, TempoTexts) {
    EXPECT_EQ(Tempo().description(), "120.0bpm");
    EXPECT_EQ(Tempo(100.0 / 3).description(), "33.333bpm");
    EXPECT_EQ(Tempo(100.0 / 3).debugDescription(), "Tempo(33.333333333333336bpm)");
    EXPECT_EQ(Tempo(0.0005).description(), "0.001bpm");  // ties away from zero
    EXPECT_EQ(Tempo(60'000'000).description(), "60000000.0bpm");
    EXPECT_EQ(Tempo(1e20).debugDescription(), "Tempo(1e+20bpm)");
    EXPECT_EQ(std::hash<Tempo>{}(Tempo(0.0)), std::hash<Tempo>{}(Tempo(-0.0)));
}

TEST(MetaPayloads, TextLengthRule) {
    const std::string ascii(70'000, 'a');
    EXPECT_EQ(Text::text(ascii).string(), std::string(65'536, 'a'));

    // One non-ASCII character among the kept ones: the kept text is made ASCII.
    std::string mixed = "\u00E9" + std::string(69'999, 'b');
    EXPECT_EQ(Text::marker(mixed).string(), "e" + std::string(65'535, 'b'));

    // A character of several code points counts once: the cut keeps "x" after e + acute.
    const std::string clusters = std::string(65'534, 'a') + "e\u0301" + "xy";
    EXPECT_EQ(Text::lyric(clusters).string(), std::string(65'534, 'a') + "ex");

    // Up to the limit nothing changes, whatever the characters.
    std::string exact;
    for (int i = 0; i < 65'536; ++i) exact += "\u00E9";
    EXPECT_EQ(Text::text(exact).string(), exact);

    Text text;
    text.setString(ascii);
    EXPECT_EQ(text.string().size(), 65'536u);

    // Ill-formed UTF-8 becomes U+FFFD, so the text still has bytes to write.
    const Text broken = Text::text("a\xFF" "b");
    EXPECT_EQ(broken.string(), "a\uFFFD" "b");
    EXPECT_EQ(Text::fromRawBytes(broken.smfRawBytes()), broken);
}

// A text read from bytes it would not write the same way keeps them until another text is set,
// which is written in non-lossy ASCII again.
TEST(MetaPayloads, ReadTextKeepsItsBytesUntilAnotherTextIsSet) {
    const Bytes latin1{0xFF, 0x02, 0x03, 0xA9, 0x20, 0x41};
    Text text = Text::fromRawBytes(latin1);
    EXPECT_EQ(text.string(), "???");
    text.setTextType(TextEventType::trackOrSequenceName);
    text.setString("???");
    EXPECT_EQ(text.smfRawBytes(), (Bytes{0xFF, 0x03, 0x03, 0xA9, 0x20, 0x41}));
    EXPECT_EQ(text, Text::trackOrSequenceName("???"));
    text.setString("\u00E9");
    EXPECT_EQ(text.smfRawBytes(), (Bytes{0xFF, 0x03, 0x04, '\\', '3', '5', '1'}));
}

TEST(MetaPayloads, TextEventTypes) {
    EXPECT_EQ(fromRawValue<TextEventType>("lyric"), TextEventType::lyric);
    EXPECT_EQ(fromRawValue<TextEventType>("Lyric"), std::nullopt);
    // Each kind reads from its own type byte only.
    for (TextEventType type : allCases<TextEventType>()) {
        const Bytes bytes = Text(type, "x").smfRawBytes();
        EXPECT_EQ(bytes[1], static_cast<uint8_t>(type));
        EXPECT_EQ(Text::fromRawBytes(bytes).textType(), type);
    }
}

// Each decoder refuses the events of the other kinds without throwing, so trying them in turn on
// one event costs no exceptions.
TEST(MetaPayloads, DecodersRefuseOtherKindsWithoutThrowing) {
    const std::vector<MIDIFileEvent> events = {
        MIDIFileEvent::channelPrefix({}, midicore::UInt4(3)),
        MIDIFileEvent::keySignature({}, 2, false),
        MIDIFileEvent::portPrefix({}, midicore::UInt7(5)),
        MIDIFileEvent::sequenceNumber({}, 7),
        MIDIFileEvent::sequencerSpecific({}, {1, 2}),
        MIDIFileEvent::tempo({}, 140),
        MIDIFileEvent::text({}, TextEventType::copyright, "c"),
        MIDIFileEvent::timeSignature({}, 3, 2),
        MIDIFileEvent::unrecognizedMeta({}, 0x0C, {5}),
        MIDIFileEvent::xmfPatchTypePrefix({}, XMFPatchSet::DLS),
    };
    for (const MIDIFileEvent& event : events) {
        const Bytes bytes = event.smfRawBytes() + Bytes{0x00, 0x90};
        std::vector<MIDIFileEventType> accepted;
        const auto attempt = [&]<class P>(P*) {
            const auto result = decodePayload<P>(bytes);
            if (result) accepted.push_back(smfEventType<P>());
        };
        EXPECT_NO_THROW(([&]<class... Ps>(std::variant<Ps...>*) {
            (attempt(static_cast<Ps*>(nullptr)), ...);
        }(static_cast<MIDIFileEvent::Payload*>(nullptr))));
        // Its own decoder and the catch-all for meta events, nothing else.
        std::vector<MIDIFileEventType> expected{event.eventType(), MIDIFileEventType::unrecognizedMeta};
        if (event.eventType() == MIDIFileEventType::unrecognizedMeta) expected.pop_back();
        std::sort(expected.begin(), expected.end());
        std::sort(accepted.begin(), accepted.end());
        EXPECT_EQ(accepted, expected) << event.debugDescription();
    }
}

}  // namespace

namespace {

// The throwing forms carry the failure's sentence in the component's error.
TEST(MetaPayloads, ThrowingFormsCarryTheSentence) {
    const Bytes shortTempo{0xFF, 0x51, 0x03, 0x07, 0xA1};
    try {
        (void)Tempo::fromRawBytes(shortTempo);
        ADD_FAILURE() << "no error";
    } catch (const MIDIFileDecodeError& error) {
        EXPECT_EQ(error.errorCase(), MIDIFileDecodeError::Case::malformed);
        EXPECT_STREQ(error.what(), "Invalid number of bytes. Expected 6 but got 5");
        EXPECT_EQ(error.message(), error.what());
    }
    EXPECT_THROW((void)decodePayload<Tempo>(shortTempo).value(), MIDIFileDecodeError);
    EXPECT_EQ(MIDIFileDecodeError(MIDIFileDecodeError::Case::fileNotFound).message(), "");
}

}  // namespace
