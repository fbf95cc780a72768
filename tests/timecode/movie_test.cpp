// Timecode tracks in QuickTime movies: movies written by ffmpeg read back with the start
// timecode ffprobe reports, tracks we add or replace are read by ffprobe, the sample payloads,
// and malformed movies.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "peer_support.hpp"
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
        const Movie movie = Movie::loadFile(path);
        EXPECT_EQ(movie.timecodeFrameRate(), c.expected) << c.rate;
        const auto start = movie.startTimecode();
        ASSERT_TRUE(start) << c.rate;
        EXPECT_EQ(start->stringValue(), probed) << c.rate;
        EXPECT_EQ(movie.durationTimecode().stringValue().substr(0, 8), "00:00:01") << c.rate;
        EXPECT_FALSE(movie.isVideoInterlaced());
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
        Movie movie = Movie::loadFile(make("in.mov", c.rate, c.existing));
        const Timecode start = Timecode::fromString(c.start, c.ours);
        movie.replaceTimecodeTrack(start);
        EXPECT_EQ(movie.startTimecode()->stringValue(), c.start);
        const fs::path out = dir_ / "out.mov";
        movie.saveFile(out);
        EXPECT_EQ(probedTimecode(out), c.start) << c.rate;
        // And read back by ourselves from the saved file.
        const Movie again = Movie::loadFile(out);
        EXPECT_EQ(again.timecodeSamples().size(), 1u);
        EXPECT_EQ(again.startTimecode(c.ours)->stringValue(), c.start);
    }
}

TEST_F(MovieFiles, SampleFormatsEmptySamplesAndMalformedMovies) {
    Movie movie = Movie::loadFile(make("in.mov", "25", ""));
    EXPECT_EQ(movie.startTimecode(R::_25), std::nullopt);
    EXPECT_THROW(movie.startTimecodeOrThrow(R::_25), TimecodeMediaParseError);
    EXPECT_EQ(movie.durationTimecode(movie.tracks().front()).stringValue(), "00:00:01:00");
    movie.addTimecodeTrack(Timecode::fromString("01:00:00:00", R::_25),
                           Timecode::fromString("00:00:10:00", R::_25));
    EXPECT_EQ(movie.tracks().back().samples.front().duration, 25000u);  // 10 s at the timescale 2500
    std::vector<uint8_t> bytes = movie.save();
    auto find = [&](std::vector<uint8_t> needle, size_t from = 0) {
        auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), needle.begin(), needle.end());
        return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
    };
    const std::vector<uint8_t> entry{0, 0, 0, 36, 't', 'm', 'c', 'd'};
    const std::vector<uint8_t> sizes{'s', 't', 's', 'z', 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1};
    const size_t entryAt = find(entry), sizesAt = find(sizes);
    ASSERT_NE(entryAt, std::string::npos);
    ASSERT_NE(sizesAt, std::string::npos);
    EXPECT_EQ(Movie::load(bytes).startTimecode()->stringValue(), "01:00:00:00");

    auto patched = [&](size_t at, std::vector<uint8_t> with) {
        std::vector<uint8_t> copy = bytes;
        std::copy(with.begin(), with.end(), copy.begin() + static_cast<std::ptrdiff_t>(at));
        return copy;
    };
    // A 'tc64' sample is read in 64-bit frame numbers (a 4-byte sample holds none); an unknown
    // format is refused; an empty sample is skipped.
    EXPECT_TRUE(Movie::load(patched(entryAt + 4, {'t', 'c', '6', '4'})).timecodeSamples(R::_25).front().empty());
    try {
        Movie::load(patched(entryAt + 4, {'x', 'y', 'z', 'w'})).timecodeSamples(R::_25);
        ADD_FAILURE() << "unknown subtype accepted";
    } catch (const TimecodeMediaParseError& e) {
        EXPECT_EQ(e.errorCase(), TimecodeMediaParseError::Case::unknownTimecode);
    }
    {
        // The sample made empty: a size table of one entry 0 in place of the fixed size 4; the
        // atoms holding it grow by the 4 bytes (the movie atom is last, so no data moves).
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
        const Movie loaded = Movie::load(empty);
        ASSERT_EQ(loaded.tracks().back().samples.size(), 1u);
        EXPECT_EQ(loaded.tracks().back().samples[0].size, 0u);
        EXPECT_EQ(loaded.startTimecode(R::_25), std::nullopt);
    }

    const size_t moovAt = find({'m', 'o', 'o', 'v'}) - 4;
    const size_t mdhdAt = find({'m', 'd', 'h', 'd'});
    const size_t stcoAt = find({'s', 't', 'c', 'o'}, entryAt);
    struct Bad {
        const char* what;
        std::vector<uint8_t> movie;
    } bad[] = {
        {"oversized movie atom", patched(moovAt, {0x7F, 0xFF, 0xFF, 0xFF})},
        {"media timescale 0", patched(mdhdAt + 4 + 12, {0, 0, 0, 0})},
        {"chunk offset beyond the file", patched(stcoAt + 12, {0x7F, 0xFF, 0xFF, 0x00})},
        {"huge sample count", patched(sizesAt + 12, {0xFF, 0xFF, 0xFF, 0xFF})},
        {"huge chunk count", patched(stcoAt + 8, {0x0F, 0xFF, 0xFF, 0xFF})},
        {"atom smaller than its header", patched(moovAt, {0, 0, 0, 4})},
    };
    for (const auto& b : bad) EXPECT_THROW(Movie::load(b.movie), TimecodeMediaParseError) << b.what;
    // Every truncation either loads or is refused with the parse error.
    for (size_t cut = 0; cut < bytes.size(); cut += 97) {
        try {
            Movie::load(std::span(bytes.data(), cut));
        } catch (const TimecodeMediaParseError&) {
        }
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
    EXPECT_THROW(Movie::load(std::vector<uint8_t>{}), TimecodeMediaParseError);

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
