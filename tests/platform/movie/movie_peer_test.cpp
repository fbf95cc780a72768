// Movies written by ffmpeg, read back and compared with what ffprobe reports; timecode tracks
// written here, read by ffprobe.
#include "movie/movie.hpp"
#include "peer_tools.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

using namespace movietest;
using movie::fourCC;
using movie::MediaTime;
using movie::Movie;

// The frame number of a timecode text ("hh:mm:ss:ff", ";" before the frames when drop-frame), by
// the SMPTE counting rules: drop-frame skips `dropped` frame numbers each minute except every tenth.
uint32_t frameNumber(const std::string& text, int base, int dropped) {
    int h = std::stoi(text.substr(0, 2)), m = std::stoi(text.substr(3, 2));
    int s = std::stoi(text.substr(6, 2)), f = std::stoi(text.substr(9, 2));
    int minutes = 60 * h + m;
    return static_cast<uint32_t>((3600 * h + 60 * m + s) * base + f - dropped * (minutes - minutes / 10));
}

uint32_t bigEndian32(const std::vector<uint8_t>& bytes) {
    return (uint32_t{bytes.at(0)} << 24) | (uint32_t{bytes.at(1)} << 16) | (uint32_t{bytes.at(2)} << 8) | bytes.at(3);
}

// "30000/1001" as a media time of one frame: 1001/30000 s.
MediaTime frameTime(const std::string& rate) {
    auto slash = rate.find('/');
    int64_t num = std::stoll(rate.substr(0, slash));
    int64_t den = slash == std::string::npos ? 1 : std::stoll(rate.substr(slash + 1));
    return MediaTime::make(den, static_cast<int32_t>(num));
}

struct RateCase {
    const char* name;
    const char* rate;
    const char* timecode;
    int base;
    int dropped;
};

void PrintTo(const RateCase& c, std::ostream* out) { *out << c.name; }

class FfmpegTimecode : public ::testing::TestWithParam<RateCase> {};

TEST_P(FfmpegTimecode, SampleEntryAndStartFrameMatchFfprobe) {
    const RateCase& c = GetParam();
    ScratchDirectory dir;
    auto file = dir / "tc.mov";
    makeMovie(file, c.rate, std::string("-c:v mpeg4 -timecode '") + c.timecode + "'");
    auto probed = probeStreams(file);
    ASSERT_EQ(probed["1.codec_tag_string"], "tmcd");
    const std::string tag = probed["1.tags.timecode"];
    ASSERT_EQ(tag, c.timecode);

    Movie m = Movie::load(file);
    auto timecodeTracks = m.tracks(movie::mediatype::timecode);
    auto videoTracks = m.tracks(movie::mediatype::video);
    ASSERT_EQ(timecodeTracks.size(), 1u);
    ASSERT_EQ(videoTracks.size(), 1u);
    const auto& tc = *timecodeTracks[0];
    const auto& video = *videoTracks[0];

    // The sample entry: drop flag as ffprobe prints it, one frame as long as a video frame.
    ASSERT_EQ(tc.sampleDescriptions().size(), 1u);
    const auto& entry = tc.sampleDescriptions()[0];
    ASSERT_EQ(entry.format, fourCC("tmcd"));
    ASSERT_TRUE(entry.timecode.has_value());
    EXPECT_EQ(entry.timecode->isDropFrame(), tag.find(';') != std::string::npos);
    EXPECT_EQ(entry.timecode->numberOfFrames, c.base);
    EXPECT_EQ(entry.timecode->frameDurationTime(), frameTime(probed["0.r_frame_rate"]));
    EXPECT_EQ("1/" + std::to_string(entry.timecode->timescale), probed["1.time_base"]);
    EXPECT_EQ("1/" + std::to_string(tc.mediaTimescale()), probed["1.time_base"]);

    // One 4-byte sample holding the start frame number.
    auto samples = tc.samples();
    ASSERT_EQ(samples.size(), 1u);
    ASSERT_EQ(samples[0].size, 4u);
    EXPECT_EQ(bigEndian32(tc.sampleData(samples[0])), frameNumber(tag, c.base, c.dropped));

    // The video track: its frame timing and its link to the timecode track.
    EXPECT_EQ(std::to_string(video.sampleCount()), probed["0.nb_frames"]);
    EXPECT_EQ(video.minSampleDuration(), frameTime(probed["0.r_frame_rate"]));
    EXPECT_NEAR(video.nominalFrameRate(), 1.0 / *frameTime(probed["0.r_frame_rate"]).seconds(), 1e-9);
    EXPECT_EQ(video.references(fourCC("tmcd")), std::vector<uint32_t>{tc.trackID()});
    EXPECT_FALSE(video.sampleDescriptions().at(0).video->fields.has_value());
}

// 25 fps is written by ffmpeg as timescale 12800 with frames of 512 ticks.
INSTANTIATE_TEST_SUITE_P(Rates, FfmpegTimecode,
                         ::testing::Values(RateCase{"df2997", "30000/1001", "01:00:00;00", 30, 2},
                                           RateCase{"df5994", "60000/1001", "01:02:03;04", 60, 4},
                                           RateCase{"fps23976", "24000/1001", "00:59:59:23", 24, 0},
                                           RateCase{"fps25", "25", "10:00:00:00", 25, 0},
                                           RateCase{"fps30", "30", "23:59:59:29", 30, 0},
                                           RateCase{"fps50", "50", "12:34:56:49", 50, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegTimecode, TwentyFiveFramesPerSecondUsesTheVideoTimescale) {
    ScratchDirectory dir;
    makeMovie(dir / "25.mov", "25", "-c:v mpeg4 -timecode 00:00:01:00");
    Movie m = Movie::load(dir / "25.mov");
    const auto& fields = *m.tracks(movie::mediatype::timecode).at(0)->sampleDescriptions().at(0).timecode;
    EXPECT_EQ(fields.timescale, 12800u);
    EXPECT_EQ(fields.frameDuration, 512u);
    EXPECT_EQ(fields.frameDurationTime(), MediaTime::make(1, 25));
}

// Interlace as the 'fiel' atom of a video sample entry, compared with ffprobe's field order.
TEST(FfmpegVideo, FieldInfoMatchesFfprobeFieldOrder) {
    struct Case {
        const char* order;
        movie::FieldInfo fields;
    };
    for (const Case& c : {Case{"progressive", {1, 0}}, Case{"tt", {2, 1}}, Case{"bb", {2, 6}}, Case{"tb", {2, 9}},
                          Case{"bt", {2, 14}}}) {
        SCOPED_TRACE(c.order);
        ScratchDirectory dir;
        auto file = dir / "fields.mov";
        makeMovie(file, "25", std::string("-c:v rawvideo -pix_fmt uyvy422 -field_order ") + c.order, 1);
        ASSERT_EQ(probeStreams(file)["0.field_order"], c.order);
        Movie m = Movie::load(file);
        const auto& video = *m.tracks(movie::mediatype::video).at(0)->sampleDescriptions().at(0).video;
        EXPECT_EQ(video.width, 16);
        EXPECT_EQ(video.height, 16);
        ASSERT_TRUE(video.fields.has_value());
        EXPECT_EQ(*video.fields, c.fields);
    }
}

// The frame checksums ffmpeg computes for the video stream of a file.
std::string videoFrameChecksums(const std::filesystem::path& file) {
    auto result = run("ffmpeg -nostdin -v error -i '" + file.string() + "' -map 0:v -f framemd5 -");
    EXPECT_EQ(result.status, 0);
    std::string lines;
    std::size_t start = 0;
    while (start < result.output.size()) {  // comment lines name the input; only frame lines count
        std::size_t end = std::min(result.output.find('\n', start), result.output.size());
        if (result.output[start] != '#') {
            lines += result.output.substr(start, end - start) + "\n";
        }
        start = end + 1;
    }
    return lines;
}

struct WriteCase {
    const char* name;
    const char* ffmpegOptions;  // how the original is written
    const char* rate;
    movie::TimecodeDescription fields;
    uint32_t startFrame;
    const char* expected;  // what ffprobe must read back
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.name; }

class TimecodeTrackWriting : public ::testing::TestWithParam<WriteCase> {};

TEST_P(TimecodeTrackWriting, FfprobeReadsTheWrittenTimecode) {
    const WriteCase& c = GetParam();
    ScratchDirectory dir;
    auto written = dir / "movie.mov";
    makeMovie(written, c.rate, c.ffmpegOptions);
    const auto originalChecksums = videoFrameChecksums(written);

    // Unchanged, the movie is written back byte for byte.
    Movie m = Movie::load(written);
    EXPECT_EQ(m.bytes(), readFile(written));

    for (const auto* old : m.tracks(movie::mediatype::timecode)) {
        ASSERT_TRUE(m.removeTrack(old->trackID()));
    }
    movie::NewTrack track;
    track.mediaType = movie::mediatype::timecode;
    track.timescale = c.fields.timescale;
    track.description = movie::SampleDescription::makeTimecode(c.fields);
    uint64_t frames = m.tracks(movie::mediatype::video).at(0)->sampleCount();
    track.samples.push_back({{static_cast<uint8_t>(c.startFrame >> 24), static_cast<uint8_t>(c.startFrame >> 16),
                              static_cast<uint8_t>(c.startFrame >> 8), static_cast<uint8_t>(c.startFrame)},
                             static_cast<uint32_t>(frames * c.fields.frameDuration)});
    uint32_t id = m.addTrack(track);
    uint32_t videoID = m.tracks(movie::mediatype::video).at(0)->trackID();
    m.track(videoID)->addReference(fourCC("tmcd"), id);
    m.save(written);  // over the file it was read from

    auto probed = probeStreams(written);
    EXPECT_EQ(probed["0.tags.timecode"], c.expected);
    EXPECT_EQ(probed["1.codec_tag_string"], "tmcd");
    EXPECT_EQ(probed["1.tags.timecode"], c.expected);
    EXPECT_EQ(probed.count("2.codec_type"), 0u) << "the old timecode track is gone";
    // The video data moved with its atom (and its chunk offsets with it).
    EXPECT_EQ(videoFrameChecksums(written), originalChecksums);

    Movie again = Movie::load(written);
    ASSERT_EQ(again.tracks().size(), 2u);
    const auto& tc = *again.tracks(movie::mediatype::timecode).at(0);
    EXPECT_EQ(tc.trackID(), id);
    EXPECT_EQ(*tc.sampleDescriptions().at(0).timecode, c.fields);
    EXPECT_EQ(bigEndian32(tc.sampleData(tc.samples().at(0))), c.startFrame);
    EXPECT_EQ(again.track(videoID)->references(fourCC("tmcd")), std::vector<uint32_t>{id});
    EXPECT_GE(again.duration(), tc.timeRange().duration);
}

// Frame numbers: 01:00:00;00 at 29.97 drop-frame is 107892; 00:00:10:00 at 25 fps is 250; the
// sample bytes 00 01 51 80 (86400) at 24 fps are 01:00:00:00.
INSTANTIATE_TEST_SUITE_P(
    Movies, TimecodeTrackWriting,
    ::testing::Values(
        WriteCase{"addedAfterHeaderFirst", "-c:v mpeg4 -movflags +faststart", "30000/1001",
                  {movie::TimecodeDescription::dropFrame | movie::TimecodeDescription::twentyFourHourMax, 30000, 1001,
                   30},
                  107892, "01:00:00;00"},
        WriteCase{"replacedAtEnd", "-c:v mpeg4 -timecode 10:00:00:00", "25",
                  {movie::TimecodeDescription::twentyFourHourMax, 2500, 100, 25}, 250, "00:00:10:00"},
        WriteCase{"addedAtEnd", "-c:v mpeg4", "24", {movie::TimecodeDescription::twentyFourHourMax, 24, 1, 24}, 86400,
                  "01:00:00:00"},
        WriteCase{"replacedHeaderFirst", "-c:v mpeg4 -timecode '00:01:00;02' -movflags +faststart", "60000/1001",
                  {movie::TimecodeDescription::dropFrame, 60000, 1001, 60}, 0, "00:00:00;00"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
