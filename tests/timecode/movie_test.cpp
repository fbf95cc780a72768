// Timecode tracks in QuickTime movies: movies written by ffmpeg read back with the start
// timecode ffprobe reports, tracks we add or replace are read by ffprobe, rate detection, the
// sample payloads and formats. (Broken movies are the movie layer's: see its parse tests.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "peer_support.hpp"
#include "movie/movie.hpp"
#include "timecode/movie.hpp"

using namespace timecode;
using R = TimecodeFrameRate;
namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, pipe)) out += buf;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

class MovieFiles : public testing::Test {
  protected:
    void SetUp() override {
        if (!onPath("ffmpeg") || !onPath("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
        dir_ = fs::temp_directory_path() / ("timecode_movie_" + std::to_string(::getpid()) + "_" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    // A one-second 64x48 movie at `rate`, with a timecode track when `timecode` is not empty.
    fs::path make(const std::string& name, const std::string& rate, const std::string& timecode) {
        const fs::path path = dir_ / name;
        std::string command = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=" + rate +
                              ":duration=1 " + (timecode.empty() ? "" : "-timecode '" + timecode + "' ") +
                              "-c:v mpeg4 '" + path.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    // The timecode ffprobe reports for the movie's timecode stream.
    static std::string probedTimecode(const fs::path& path) {
        return run("ffprobe -v error -select_streams d -show_entries stream_tags=timecode -of "
                   "default=noprint_wrappers=1:nokey=1 '" + path.string() + "' | head -1");
    }
    fs::path dir_;
};

}  // namespace

TEST_F(MovieFiles, StartTimecodesOfMoviesWrittenByFfmpeg) {
    struct Case {
        std::string rate, timecode;
        R expected;
    } cases[] = {
        {"30000/1001", "01:00:00;00", R::_29_97_drop}, {"60000/1001", "12:34:56;08", R::_59_94_drop},
        {"24000/1001", "00:59:59:23", R::_23_976},    {"25", "01:00:00:00", R::_25},
        {"30", "23:59:59:29", R::_30},                {"50", "10:20:30:40", R::_50},
    };
    for (const auto& c : cases) {
        const fs::path path = make("in.mov", c.rate, c.timecode);
        const std::string probed = probedTimecode(path);
        ASSERT_EQ(probed, c.timecode) << "ffprobe on " << c.rate;
        const movie::Movie m = movie::Movie::load(path);
        EXPECT_EQ(timecodeFrameRate(m), c.expected) << c.rate;
        const auto start = startTimecode(m);
        ASSERT_TRUE(start) << c.rate;
        EXPECT_EQ(start->stringValue(), probed) << c.rate;
        EXPECT_EQ(durationTimecode(m).stringValue().substr(0, 8), "00:00:01") << c.rate;
        EXPECT_FALSE(isVideoInterlaced(m));
    }
}

TEST_F(MovieFiles, TracksWeAddOrReplaceAreReadByFfprobe) {
    struct Case {
        std::string rate, existing;
        R ours;
        std::string start;
    } cases[] = {
        {"25", "", R::_25, "01:00:00:00"},
        {"30000/1001", "", R::_29_97_drop, "10:00:00;02"},
        {"24", "02:00:00:00", R::_24, "03:04:05:06"},
        {"60000/1001", "01:00:00;00", R::_59_94_drop, "00:10:00;00"},
    };
    for (const auto& c : cases) {
        movie::Movie m = movie::Movie::load(make("in.mov", c.rate, c.existing));
        const Timecode start = Timecode::fromString(c.start, c.ours);
        const uint32_t added = replaceTimecodeTrack(m, start).trackID();
        EXPECT_EQ(startTimecode(m)->stringValue(), c.start);
        const fs::path out = dir_ / "out.mov";
        m.save(out);
        EXPECT_EQ(probedTimecode(out), c.start) << c.rate;
        // No temporary file is left beside the saved movie.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 2) << c.rate;
        // And read back by ourselves from the saved file: one timecode track, referenced by the
        // video track alone.
        const movie::Movie again = movie::Movie::load(out);
        EXPECT_EQ(timecodeSamples(again).size(), 1u);
        EXPECT_EQ(startTimecode(again, c.ours)->stringValue(), c.start);
        EXPECT_EQ(again.tracks(movie::mediatype::video).at(0)->references(movie::fourCC("tmcd")),
                  std::vector<uint32_t>{added});
    }
}

TEST_F(MovieFiles, SampleFormatsAndEmptySamples) {
    movie::Movie m = movie::Movie::load(make("in.mov", "25", ""));
    EXPECT_EQ(startTimecode(m, R::_25), std::nullopt);
    EXPECT_THROW(startTimecodeOrThrow(m, R::_25), TimecodeMediaParseError);
    EXPECT_EQ(durationTimecode(m, m.tracks().front()).stringValue(), "00:00:01:00");
    addTimecodeTrack(m, Timecode::fromString("01:00:00:00", R::_25), Timecode::fromString("00:00:10:00", R::_25));
    EXPECT_EQ(m.tracks().back().samples().front().duration, 25000u);  // 10 s at the timescale 2500
    std::vector<uint8_t> bytes = m.bytes();
    auto find = [&](std::vector<uint8_t> needle, size_t from = 0) {
        auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), needle.begin(), needle.end());
        return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
    };
    const std::vector<uint8_t> entry{0, 0, 0, 36, 't', 'm', 'c', 'd'};
    const std::vector<uint8_t> sizes{'s', 't', 's', 'z', 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1};
    const size_t entryAt = find(entry), sizesAt = find(sizes);
    ASSERT_NE(entryAt, std::string::npos);
    ASSERT_NE(sizesAt, std::string::npos);
    EXPECT_EQ(startTimecode(movie::Movie::fromBytes(bytes))->stringValue(), "01:00:00:00");

    auto patched = [&](size_t at, std::vector<uint8_t> with) {
        std::vector<uint8_t> copy = bytes;
        std::copy(with.begin(), with.end(), copy.begin() + static_cast<std::ptrdiff_t>(at));
        return copy;
    };
    // A 'tc64' sample is read in 64-bit frame numbers (a 4-byte sample holds none); an unknown
    // format is refused, and so is a track whose samples are in another file (its data reference
    // without the self-contained flag); an empty sample is skipped.
    EXPECT_TRUE(timecodeSamples(movie::Movie::fromBytes(patched(entryAt + 4, {'t', 'c', '6', '4'})), R::_25).front().empty());
    const std::vector<uint8_t> selfReference{0, 0, 0, 12, 'u', 'r', 'l', ' ', 0, 0, 0, 1};
    const auto ourReference = std::find_end(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(entryAt),
                                            selfReference.begin(), selfReference.end());
    ASSERT_NE(ourReference, bytes.begin() + static_cast<std::ptrdiff_t>(entryAt));
    const size_t flagsAt = static_cast<size_t>(ourReference - bytes.begin()) + 11;
    struct Refused {
        const char* what;
        std::vector<uint8_t> movie;
        TimecodeMediaParseError::Case expected;
    } refused[] = {
        {"unknown format", patched(entryAt + 4, {'x', 'y', 'z', 'w'}), TimecodeMediaParseError::Case::unknownTimecode},
        {"data in another file", patched(flagsAt, {0}), TimecodeMediaParseError::Case::internalError},
    };
    for (const auto& r : refused) {
        try {
            timecodeSamples(movie::Movie::fromBytes(r.movie), R::_25);
            ADD_FAILURE() << r.what << " accepted";
        } catch (const TimecodeMediaParseError& e) {
            EXPECT_EQ(e.errorCase(), r.expected) << r.what;
        }
    }
    {
        // The sample made empty: a size table of one entry 0 in place of the fixed size 4; the
        // atoms holding it grow by the 4 bytes. Only the added data after the movie atom moves,
        // and the empty sample reads none of it.
        std::vector<uint8_t> empty = patched(sizesAt + 8, {0, 0, 0, 0});
        empty.insert(empty.begin() + static_cast<std::ptrdiff_t>(sizesAt + 16), 4, 0);
        for (const char* parent : {"stsz", "stbl", "minf", "mdia", "trak", "moov"}) {
            auto it = std::find_end(empty.begin(), empty.begin() + static_cast<std::ptrdiff_t>(sizesAt + 4), parent,
                                    parent + 4);
            const size_t at = static_cast<size_t>(it - empty.begin()) - 4;
            uint32_t size = (uint32_t(empty[at]) << 24) | (uint32_t(empty[at + 1]) << 16) |
                            (uint32_t(empty[at + 2]) << 8) | empty[at + 3];
            size += 4;
            for (int i = 0; i < 4; ++i) empty[at + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
        }
        const movie::Movie loaded = movie::Movie::fromBytes(empty);
        ASSERT_EQ(loaded.tracks().back().samples().size(), 1u);
        EXPECT_EQ(loaded.tracks().back().samples()[0].size, 0u);
        EXPECT_EQ(startTimecode(loaded, R::_25), std::nullopt);
    }
}

// The rate comes from the video track's frames, then from the timecode entry; the drop flag from
// the timecode entries; with neither track the rate cannot be detected.
TEST_F(MovieFiles, RateDetectionOrder) {
    movie::Movie m = movie::Movie::load(make("in.mov", "30000/1001", "01:00:00;00"));
    EXPECT_EQ(timecodeFrameRate(m), R::_29_97_drop);
    EXPECT_EQ(timecodeFrameRate(m, false), R::_29_97);
    EXPECT_EQ(videoFrameRate(m), VideoFrameRate::_29_97p);
    ASSERT_TRUE(m.removeTrack(m.tracks(movie::mediatype::video).at(0)->trackID()));
    EXPECT_EQ(timecodeFrameRate(m), R::_29_97_drop);
    EXPECT_EQ(videoFrameRate(m), VideoFrameRate::_29_97p);
    EXPECT_EQ(startTimecode(m)->stringValue(), "01:00:00;00");
    ASSERT_TRUE(m.removeTrack(m.tracks(movie::mediatype::timecode).at(0)->trackID()));
    EXPECT_EQ(startTimecode(m, R::_25), std::nullopt);
    for (const auto& detecting : std::vector<std::function<void()>>{[&] { (void)startTimecode(m); },
                                                                    [&] { (void)startTimecodeOrThrow(m); },
                                                                    [&] { (void)videoFrameRate(m); }}) {
        try {
            detecting();
            ADD_FAILURE() << "a rate without video or timecode track";
        } catch (const TimecodeMediaParseError& e) {
            EXPECT_EQ(e.errorCase(), TimecodeMediaParseError::Case::missingOrNonStandardFrameRate);
        }
    }
}

// Interlace as ffmpeg writes it ('fiel' with two fields) decides the video rate's scan type.
TEST_F(MovieFiles, InterlacedVideo) {
    for (const auto& [order, interlaced] : {std::pair{"tt", true}, {"bb", true}, {"progressive", false}}) {
        const fs::path path = dir_ / "fields.mov";
        const std::string command = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i color=c=black:s=16x16:r=25 "
                                    "-frames:v 2 -c:v rawvideo -pix_fmt uyvy422 -field_order " +
                                    std::string(order) + " '" + path.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const movie::Movie m = movie::Movie::load(path);
        EXPECT_EQ(isVideoInterlaced(m), interlaced) << order;
        EXPECT_EQ(isInterlaced(*m.tracks(movie::mediatype::video).at(0)), interlaced) << order;
        EXPECT_EQ(videoFrameRate(m).isInterlaced(), interlaced) << order;
        EXPECT_EQ(videoFrameRate(m, false), VideoFrameRate::_25p) << order;
    }
}

TEST(MovieSamples, PayloadsAndTimes) {
    EXPECT_EQ(timecodeOfSample(0x00015180, R::_24, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {}).stringValue(),
              "01:00:00:00");
    EXPECT_THROW(timecodeOfSample(0x001FA400, R::_24, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {}),
                 TimecodeValidationError);
    EXPECT_EQ(timecodeOfSample(0x001FA400, R::_24, UpperLimit::_100days, SubFramesBase::_80SubFrames, {}).stringValue(),
              "1 00:00:00:00");
    // 'tc64' payloads are frame numbers too: 0x0001000200030004 is far beyond any limit.
    EXPECT_THROW(timecodeOfSample(0x0001000200030004ULL, R::_30, UpperLimit::_100days, SubFramesBase::_80SubFrames, {}),
                 TimecodeValidationError);
    EXPECT_EQ(timecodeOfSample(107892, R::_29_97_drop, UpperLimit::_24hours, SubFramesBase::_80SubFrames, {}).stringValue(),
              "01:00:00;00");
    EXPECT_EQ(timecodeOfMediaTime(MediaTime::make(1001, 30000), R::_29_97).frames, 1);
    EXPECT_THROW(timecodeOfMediaTime(MediaTime::make(-1, 1), R::_25), TimecodeValidationError);
    EXPECT_THROW(timecodeOfMediaTime(MediaTime::invalid(), R::_25), TimecodeValidationError);

    auto range = timecodeRange(MediaTime::make(0, 25), MediaTime::make(250, 25), R::_25);
    EXPECT_EQ(range.second.stringValue(), "00:00:10:00");
    EXPECT_THROW(timecodeRange(MediaTime::make(2, 1), MediaTime::make(1, 1), R::_25), TimecodeMediaParseError);
    EXPECT_THROW(timecodeRange(MediaTime::invalid(), MediaTime::make(1, 1), R::_25), TimecodeMediaParseError);
    EXPECT_THROW(timecodeRange(MediaTime::make(0, 1), MediaTime::make(86400, 1), R::_25), TimecodeValidationError);

    struct Description {
        Timecode timecode;
        uint32_t flags, timescale, frameDuration;
        uint8_t quanta;
    } descriptions[] = {
        {Timecode(R::_29_97_drop), 3, 30000, 1001, 30},
        {Timecode(R::_120_drop, UpperLimit::_100days), 1, 12000, 100, 120},
        {Timecode(R::_23_976), 2, 24000, 1001, 24},
    };
    for (const auto& d : descriptions) {
        const auto got = timecodeSampleDescription(d.timecode);
        EXPECT_EQ(got.flags, d.flags);
        EXPECT_EQ(got.timescale, d.timescale);
        EXPECT_EQ(got.frameDuration, d.frameDuration);
        EXPECT_EQ(got.numberOfFrames, d.quanta);
    }
}
