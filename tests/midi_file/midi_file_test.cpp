#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "codec_test_support.hpp"
#include "midi_file/midi_file.hpp"
#include "midi_file/track_codec.hpp"

using namespace midifile;
using namespace midifile::codec_testing;
using midicore::UInt4;
using midicore::UInt7;

namespace {

// The events of a track body as "delta payload" joined by "; ", or the failure's sentence.
std::string track(const Bytes& body) {
    try {
        std::string text;
        for (const MIDIFileEvent& event : decodeTrackEvents(body)) {
            text += (text.empty() ? "" : "; ") + event.delta().description() + " " +
                    event.description();
        }
        return text;
    } catch (const MIDIFileDecodeError& error) {
        return error.what();
    }
}

TEST(TrackCodec, BodiesDecodeOrFailWithTheirSentences) {
    const struct {
        Bytes body;
        std::string expected;
    } cases[] = {
        {{0x00, 0xFF, 0x2F, 0x00}, ""},
        {{0x81, 0x00, 0xFF, 0x2F, 0x00}, ""},
        {{0x00, 0x90, 0x3C, 0x64, 0x10, 0x3E, 0x50, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:0 noteOn:#C3 vel:midi1(100) chan:0x0; ticks:16 noteOn:#D3 vel:midi1(80) chan:0x0"},
        {{0x00, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
         "Unexpected data encountered before end of track at track data byte offset 0x1 (0x3C "
         "0x00 0x00 0xFF 0x2F 0x00 ...)."},
        // Running status survives a meta event and ends at a system exclusive event.
        {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01, 0x41, 0x00, 0x3E, 0x50, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:0 noteOn:#C3 vel:midi1(100) chan:0x0; ticks:0 text: \"A\"; ticks:0 noteOn:#D3 "
         "vel:midi1(80) chan:0x0"},
        {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x03, 0x43, 0x10, 0xF7, 0x00, 0x3E, 0x50, 0x00, 0xFF, 0x2F, 0x00},
         "Unexpected data encountered before end of track at track data byte offset 0xB (0x3E "
         "0x50 0x00 0xFF 0x2F 0x00 ...)."},
        // A channel message with a data byte above 0x7F, with its own status byte or in running
        // status, and a Control Change that may start a parameter run but is no message.
        {{0x00, 0x90, 0x3C, 0x80, 0x00, 0xFF, 0x2F, 0x00},
         "Unexpected data encountered before end of track at track data byte offset 0x1 (0x90 "
         "0x3C 0x80 0x00 0xFF 0x2F 0x00 ...)."},
        {{0x00, 0xB0, 0x07, 0x64, 0x00, 0x07, 0x80, 0x00, 0xFF, 0x2F, 0x00},
         "Unexpected data encountered before end of track at track data byte offset 0x5 (0x07 "
         "0x80 0x00 0xFF 0x2F 0x00 ...)."},
        {{0x00, 0xB0, 0x65, 0x80, 0x00, 0xFF, 0x2F, 0x00},
         "Unexpected data encountered before end of track at track data byte offset 0x1 (0xB0 "
         "0x65 0x80 0x00 0xFF 0x2F 0x00 ...)."},
        {{0x00, 0xFF, 0x2F, 0x00, 0x00}, "Encountered end of file early."},
        {{0x00, 0xFF, 0x2F}, "Encountered end of file early."},
        {{0x00, 0x90, 0x3C, 0x64}, "Encountered end of file early."},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x00},
         "Delta time variable length value could not be read and may be malformed."},
        // An end of track with events after it is dropped; its delta time moves on.
        {{0x10, 0xFF, 0x2F, 0x00, 0x05, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:21 noteOn:#C3 vel:midi1(100) chan:0x0"},
        // A parameter change as separate events, in running status, is one event again.
        // Without its LSB the run stays `raw`: the named case would take the missing cents as 0.
        {{0x00, 0xB0, 0x65, 0x00, 0x00, 0x64, 0x00, 0x00, 0x06, 0x02, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:0 rpn:raw(param: [msb: 0x00, lsb: 0x00], dataMSB: 2, dataLSB: nil (0))"},
        {{0x00, 0xB0, 0x65, 0x00, 0x00, 0x64, 0x00, 0x00, 0x06, 0x02, 0x00, 0x26, 0x00, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:0 rpn:pitchBendSensitivity(semitones: 2, cents: 0)"},
        {{0x07, 0xB3, 0x63, 0x01, 0x00, 0xB3, 0x62, 0x02, 0x00, 0xB3, 0x06, 0x03, 0x00, 0xB3, 0x26, 0x04,
          0x00, 0xFF, 0x2F, 0x00},
         "ticks:7 nrpn:raw(param: [msb: 0x01, lsb: 0x02], dataMSB: 3, dataLSB: 4)"},
        // Time between the controllers: they stay controllers, each with its own delta time, and
        // the delta byte 0x64 is not read as controller 100.
        {{0x00, 0xB0, 0x65, 0x00, 0x64, 0x64, 0x05, 0x00, 0x06, 0x02, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:0 cc#101 val:midi1(0) chan:0x0; ticks:100 cc#100 val:midi1(5) chan:0x0; ticks:0 "
         "cc#6 val:midi1(2) chan:0x0"},
        // An event longer than 512 bytes.
        {Bytes{0x00, 0xF0, 0x85, 0x00, 0x41} + repeated(0x10, 638) + Bytes{0xF7, 0x00, 0xFF, 0x2F, 0x00},
         "ticks:0 sysEx7: 643 bytes"},
    };
    for (const auto& c : cases) EXPECT_EQ(track(c.body), c.expected) << ::testing::PrintToString(c.body);
}

// Track bodies as other writers make them, one event per message with its own status byte, come
// back byte for byte when they are read and written again.
TEST(TrackCodec, ReadingThenWritingKeepsEveryByte) {
    const Bytes end{0x00, 0xFF, 0x2F, 0x00};
    const Bytes cases[] = {
        // Parameter changes as separate controllers, with and without the data-entry LSB: the
        // ones the named parameters have no field for, or would fill in, are neither added nor
        // dropped.
        Bytes{0x00, 0xB0, 0x65, 0x00, 0x00, 0xB0, 0x64, 0x00, 0x00, 0xB0, 0x06, 0x0C} + end,
        Bytes{0x00, 0xB0, 0x65, 0x00, 0x00, 0xB0, 0x64, 0x00, 0x00, 0xB0, 0x06, 0x0C, 0x00, 0xB0, 0x26, 0x00} + end,
        Bytes{0x00, 0xB5, 0x65, 0x00, 0x00, 0xB5, 0x64, 0x01, 0x00, 0xB5, 0x06, 0x40} + end,
        Bytes{0x00, 0xB5, 0x65, 0x00, 0x00, 0xB5, 0x64, 0x02, 0x00, 0xB5, 0x06, 0x40, 0x00, 0xB5, 0x26, 0x05} + end,
        Bytes{0x00, 0xB0, 0x65, 0x3D, 0x00, 0xB0, 0x64, 0x02, 0x00, 0xB0, 0x06, 0x7F} + end,
        Bytes{0x00, 0xB9, 0x63, 0x01, 0x00, 0xB9, 0x62, 0x08, 0x00, 0xB9, 0x06, 0x40} + end,
        Bytes{0x00, 0xB0, 0x65, 0x7F, 0x00, 0xB0, 0x64, 0x7F} + end,
        // A system exclusive message without ID or data among other events.
        Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x01, 0xF7, 0x10, 0x80, 0x3C, 0x40, 0x00, 0xF0,
              0x03, 0x43, 0x10, 0xF7, 0x00, 0xF0, 0x01, 0xF7} + end,
        // Texts that are not non-lossy ASCII: Latin-1 ("\xA9 1999 \xC5se", "M\xE5ne"), UTF-8
        // ("\u00E9"), a backslash that begins no escape, and a text longer than 65,536 characters.
        Bytes{0x00, 0xFF, 0x02, 0x0A, 0xA9, 0x20, 0x31, 0x39, 0x39, 0x39, 0x20, 0xC5, 0x73, 0x65,
              0x00, 0xFF, 0x03, 0x04, 0x4D, 0xE5, 0x6E, 0x65, 0x00, 0xFF, 0x05, 0x02, 0xC3, 0xA9,
              0x00, 0xFF, 0x06, 0x04, 0x43, 0x3A, 0x5C, 0x78} + end,
        Bytes{0x00, 0xFF, 0x01, 0x84, 0xA2, 0x70} + repeated(0x61, 70'000) + end,
    };
    for (const Bytes& body : cases) {
        EXPECT_EQ(encodeTrackBody(decodeTrackEvents(body), MIDIFileTimeBase::musical(480)), body)
            << ::testing::PrintToString(body);
    }
}

TEST(TrackCodec, WritesEveryMessageWithItsStatusAndOneEndOfTrack) {
    using midicore::ChanVoice7Bit16BitValue;
    const auto noteOn = MIDIFileEvent::noteOn(DeltaTime::ticks(0), midicore::MIDINote(UInt7(60)),
                                              ChanVoice7Bit16BitValue::midi1(UInt7(100)), UInt4(0));
    const auto musical = MIDIFileTimeBase::musical(480);
    const auto smpte = MIDIFileTimeBase::timecode(MIDIFileFrameRate::_25fps, 40);
    const auto bank = MIDIFileEvent(DeltaTime::ticks(5),
                                    midicore::events::ProgramChange(
                                        UInt7(3), midicore::events::ProgramChange::Bank::bankSelect(UInt7(1), UInt7(2)),
                                        UInt4(1)));
    const auto rpn = MIDIFileEvent::rpn(DeltaTime::quarterNote(),
                                        midicore::events::RegisteredController::null(),
                                        midicore::MIDI2ParameterNumberChange::absolute, UInt4(2));
    const auto endOfTrack = MIDIFileEvent::unrecognizedMeta(DeltaTime::ticks(3), 0x2F, {});
    const struct {
        std::vector<MIDIFileEvent> events;
        MIDIFileTimeBase timeBase;
        Bytes expected;
    } cases[] = {
        {{}, musical, {0x00, 0xFF, 0x2F, 0x00}},
        {{noteOn, noteOn}, musical, {0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}},
        {{bank}, musical,
         {0x05, 0xB1, 0x00, 0x01, 0x00, 0xB1, 0x20, 0x02, 0x00, 0xC1, 0x03, 0x00, 0xFF, 0x2F, 0x00}},
        {{rpn}, musical, {0x83, 0x60, 0xB2, 0x65, 0x7F, 0x00, 0xB2, 0x64, 0x7F, 0x00, 0xFF, 0x2F, 0x00}},
        {{endOfTrack, noteOn, endOfTrack}, musical,
         {0x03, 0x90, 0x3C, 0x64, 0x03, 0xFF, 0x2F, 0x00}},
        {{noteOn}, smpte, {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}},
    };
    for (const auto& c : cases) {
        const Bytes body = encodeTrackBody(c.events, c.timeBase);
        EXPECT_EQ(body, c.expected);
        // What is written reads back; a reset written as two controllers is a reset again.
        std::vector<MIDIFileEvent> expectedEvents;
        for (const auto& e : c.events) {
            if (!e.payloadIf<UnrecognizedMeta>()) expectedEvents.push_back(e);
        }
        if (c.events.size() == 1 && c.events[0].payloadIf<midicore::events::ProgramChange>()) continue;
        EXPECT_EQ(decodeTrackEvents(body).size(), expectedEvents.size());
    }
    EXPECT_THROW(encodeTrackBody(std::vector{rpn}, smpte), MIDIFileEncodeError);
    EXPECT_THROW(encodeTrackBody(std::vector{MIDIFileEvent::tempo(DeltaTime::ticks(0x10000000), 120)}, musical),
                 MIDIFileEncodeError);
    const std::array<uint8_t, 4> id{'M', 'T', 'r', 'k'};
    EXPECT_EQ(encodeChunk(id, Bytes{0x00, 0xFF, 0x2F, 0x00}),
              (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00}));
}

Bytes header(uint16_t format, uint16_t tracks, Bytes division = {0x03, 0xC0}) {
    return Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format), 0,
                 static_cast<uint8_t>(tracks)} +
           division;
}

const Bytes emptyTrack{'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00};

std::string file(const Bytes& bytes) {
    try {
        return MIDIFile::fromRawData(bytes).description();
    } catch (const MIDIFileDecodeError& error) {
        return error.what();
    }
}

TEST(MIDIFileCodec, FilesDecodeOrFailWithTheirSentences) {
    const Bytes other{'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 0xAB, 0xCD};
    const struct {
        Bytes bytes;
        std::string expected;
    } cases[] = {
        {header(1, 1) + emptyTrack,
         "MIDIFile(\n  format: Type 1 (multiple tracks synchronous)\n  timebase: Musical: 960 ticks "
         "per quarter\n  chunks (1): \n    Chunk #1: Track(\n      events (0): \n    )\n)"},
        {{}, "MIDI data is empty / contains no bytes."},
        {Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 3}, "Header is not correct. File may not be a MIDI file."},
        {header(1, 0), "There was a problem reading chunk header at byte offset 14. Encountered end of file early."},
        {header(1, 1) + emptyTrack + Bytes{'M', 'T'},
         "There was a problem reading chunk header at byte offset 26. Encountered end of file early."},
        {header(1, 1) + Bytes{'M', 'T', 'r', 'k', 0, 0},
         "There was a problem reading chunk length at byte offset 18. Encountered end of file early."},
        {header(1, 1) + Bytes{'X', 'Y', 'Z', 'W', 0, 0, 0, 9, 0},
         "There was a problem reading track data blob at byte offset 22 for track 0. Encountered end of file early."},
        {header(1, 1) + Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 3, 0x00, 0xFF, 0x2F},
         "There was a problem reading track data at byte offset 25 for track 1. Encountered end of file early."},
        {header(1, 1) + Bytes{'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xFF},
         "There was a problem reading track data blob at byte offset 22 for track 0. Encountered end of file early."},
        {header(0, 2) + emptyTrack + emptyTrack,
         "MIDI file is Format 0 which can only contain a single track, but header reports a track count of 2."},
        {header(3, 1) + emptyTrack, "Could not read MIDI file format."},
        {header(1, 1, {0xE6, 0x28}) + emptyTrack, "Could not decode timebase."},
        {Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 7, 0, 1, 0, 1, 3, 0xC0, 0} + emptyTrack,
         "Encountered unexpected header length header length."},
        // A file cut after a whole track.
        {header(1, 2) + emptyTrack,
         "The header reports 2 tracks but the file holds 1. Encountered end of file early."},
        {header(1, 1) + emptyTrack + Bytes{0x80, 'X', 'Y', 'Z', 0, 0, 0, 0},
         "MIDIFile(\n  format: Type 1 (multiple tracks synchronous)\n  timebase: Musical: 960 ticks "
         "per quarter\n  chunks (2): \n    Chunk #1: Track(\n      events (0): \n    )\n    Chunk #2: "
         "UnrecognizedChunk(\n      identifier: ????\n      data: 0 bytes\n    )\n)"},
        {header(2, 1, {0xE7, 0x28}) + other + emptyTrack,
         "MIDIFile(\n  format: Type 2 (multiple tracks asynchronous)\n  timebase: Timecode: 25fps 40 "
         "ticks per frame\n  chunks (2): \n    Chunk #1: UnrecognizedChunk(\n      identifier: XYZW\n  "
         "    data: 2 bytes\n    )\n    Chunk #2: Track(\n      events (0): \n    )\n)"},
    };
    for (const auto& c : cases) EXPECT_EQ(file(c.bytes), c.expected) << ::testing::PrintToString(c.bytes);
}

TEST(MIDIFileCodec, WritingCountsTracksAndRefusesWhatCannotBeRead) {
    // The header counts track chunks only; other chunks come back byte for byte.
    const Bytes other{'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 0xAB, 0xCD};
    const Bytes bytes = header(1, 2) + emptyTrack + other + emptyTrack;
    const MIDIFile file = MIDIFile::fromRawData(bytes);
    EXPECT_EQ(file.tracks().size(), 2u);
    EXPECT_EQ(file.rawData(), bytes);
    EXPECT_EQ(MIDIFile().rawData(), header(1, 0));

    const auto refused = [](MIDIFile f) {
        try {
            f.rawData();
            return std::string("written");
        } catch (const MIDIFileEncodeError& error) {
            return std::string(error.what());
        }
    };
    EXPECT_EQ(refused(MIDIFile(MIDIFileFormat::multipleTracksSynchronous,
                               MIDIFileTimeBase::musical(0x8000), {})),
              "Time base of 32768 ticks per quarter note exceeds the maximum of 32767.");
    EXPECT_EQ(refused(MIDIFile(MIDIFileFormat::singleTrack, MIDIFileTimeBase(),
                               {Chunk::UnrecognizedChunk("ABCD")})),
              "MIDI file is Format 0 which can only contain a single track, but header reports a "
              "track count of 0.");
    EXPECT_EQ(refused(MIDIFile(MIDIFileFormat::singleTrack, MIDIFileTimeBase::musical(0x7FFF),
                               {Chunk::Track{}})),
              "written");

    // Identifiers are always four ASCII bytes.
    const struct {
        std::string given;
        std::string stored;
    } identifiers[] = {{"AB", "AB--"}, {"ABCDEF", "ABCD"}, {"MTrk", "----"}, {"MThd", "----"},
                       {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "eeee"}, {"\x01\x02\x03\x04", "\x01\x02\x03\x04"}};
    for (const auto& c : identifiers) {
        const Chunk::UnrecognizedChunk chunk(c.given);
        EXPECT_EQ(chunk.identifier(), c.stored) << c.given;
        const Bytes written = MIDIFile(MIDIFileFormat::multipleTracksSynchronous, {}, {chunk}).rawData();
        EXPECT_EQ(written.size(), 22u) << c.given;
    }
    EXPECT_THROW(Chunk::UnrecognizedChunk::fromData(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 0}),
                 MIDIFileDecodeError);
    EXPECT_THROW(Chunk::Track::fromData(Bytes{'M', 'T', 'r', 'x', 0, 0, 0, 0}), MIDIFileDecodeError);
    EXPECT_EQ(MIDIFile::fromRawData(bytes), MIDIFile::fromRawData(MIDIFile::fromRawData(bytes).rawData()));
}

// Cutting a peer file anywhere always fails with the decode error.
TEST(MIDIFileCodec, EveryTruncationOfARealFileFails) {
    for (const char* path : {"/usr/share/doc/mma/examples/wheel/pianos.mid",
                             "/usr/share/doc/pianobooster/courses/BeginnerCourse/01-StartWithMiddleC.mid"}) {
        ASSERT_TRUE(std::filesystem::exists(path)) << "run scripts/install-deps.sh";
        const MIDIFile whole = MIDIFile::fromPath(path);
        const Bytes bytes = whole.rawData();
        for (size_t size = 0; size < bytes.size(); ++size) {
            EXPECT_THROW(MIDIFile::fromRawData(std::span(bytes).first(size)), MIDIFileDecodeError)
                << path << " cut at " << size;
        }
    }
    EXPECT_THROW(MIDIFile::fromPath("/nonexistent/file.mid"), MIDIFileDecodeError);
}

TEST(MIDIFileCodec, FilesAreFoundByPathOrFileURL) {
    using Case = MIDIFileDecodeError::Case;
    const std::string peer = "/usr/share/doc/pianobooster/courses/BeginnerCourse/01-StartWithMiddleC";
    const struct {
        std::string url;
        std::optional<Case> failure;
    } cases[] = {
        {"file://" + peer + ".mid", std::nullopt},
        {"FILE://localhost" + peer + "%2Emid", std::nullopt},
        {"file://" + peer + ".mid?query#fragment", std::nullopt},
        {"file:///nonexistent.mid", Case::fileNotFound},
        {"http://example.org/song.mid", Case::malformedURL},
        {"file://host/song.mid", Case::malformedURL},
        {"file:///song%2", Case::malformedURL},
        {"file:///song%00.mid", Case::malformedURL},
        {"file:", Case::malformedURL},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(MIDIFile::fromURL(c.url), MIDIFile::fromPath(peer + ".mid")) << c.url;
            EXPECT_FALSE(c.failure) << c.url;
        } catch (const MIDIFileDecodeError& error) {
            EXPECT_EQ(std::optional(error.errorCase()), c.failure) << c.url;
        }
    }
}

TEST(MIDIFileCodec, BeatPositionsAccumulateDeltaTimes) {
    Chunk::Track track;
    track.events = {MIDIFileEvent::tempo(DeltaTime::ticks(240), 120),
                    MIDIFileEvent::tempo(DeltaTime::ticks(0), 90),
                    MIDIFileEvent::tempo(DeltaTime::halfNote(), 60)};
    const auto positions = track.eventsWithBeatPositions(480);
    ASSERT_EQ(positions.size(), 3u);
    EXPECT_DOUBLE_EQ(positions[0].first, 0.5);
    EXPECT_DOUBLE_EQ(positions[1].first, 0.5);
    EXPECT_DOUBLE_EQ(positions[2].first, 2.5);
    EXPECT_NO_THROW(track.eventsWithBeatPositions(0));
}

}  // namespace
