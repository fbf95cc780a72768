// Broken movies give the typed parse error, never a crash or a huge allocation; media times with a
// timescale of 0 are invalid rather than divided by.
#include "movie/movie.hpp"
#include "peer_tools.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using namespace movietest;
using movie::MediaTime;
using movie::Movie;
using movie::MovieError;

// The position of the n-th (0-based) atom type code in the bytes; the size field is 4 bytes before.
std::size_t findType(const std::vector<uint8_t>& bytes, const char* type, int n = 0) {
    for (std::size_t i = 4; i + 4 <= bytes.size(); ++i) {
        if (std::equal(type, type + 4, bytes.begin() + static_cast<std::ptrdiff_t>(i)) && n-- == 0) {
            return i;
        }
    }
    ADD_FAILURE() << "no atom " << type;
    return 4;
}

void put32(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

// A movie with a video track and a timecode track (the second 'stco', 'mdhd' and 'stts').
const std::vector<uint8_t>& peerMovie() {
    static const std::vector<uint8_t> bytes = [] {
        ScratchDirectory dir;
        makeMovie(dir / "m.mov", "30", "-c:v mpeg4 -timecode 01:00:00:00");
        return readFile(dir / "m.mov");
    }();
    return bytes;
}

TEST(MovieParsing, BrokenMoviesGiveTheParseError) {
    using Mutation = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* name;
        Mutation mutate;
    };
    const Case cases[] = {
        {"cut inside the movie atom", [](auto& b) { b.erase(b.begin() + static_cast<std::ptrdiff_t>(findType(b, "moov") + 200), b.end()); }},
        {"three bytes short", [](auto& b) { b.erase(b.end() - 3, b.end()); }},
        {"movie atom larger than the file", [](auto& b) { put32(b, findType(b, "moov") - 4, 0x7FFFFFF0); }},
        {"64-bit size beyond the file",
         [](auto& b) {
             std::size_t at = findType(b, "wide") - 4;  // becomes a media data atom with a 64-bit size
             put32(b, at, 1);
             std::copy_n("mdat", 4, b.begin() + static_cast<std::ptrdiff_t>(at + 4));
             put32(b, at + 8, 1);
             put32(b, at + 12, 0);
         }},
        {"empty file", [](auto& b) { b.clear(); }},
        {"atom smaller than its header", [](auto& b) { put32(b, findType(b, "trak") - 4, 4); }},
        {"movie atom smaller than its header", [](auto& b) { put32(b, findType(b, "moov") - 4, 4); }},
        {"child running past its parent", [](auto& b) { put32(b, findType(b, "stbl") - 4, 0x00100000); }},
        {"no movie atom", [](auto& b) { std::copy_n("free", 4, b.begin() + static_cast<std::ptrdiff_t>(findType(b, "moov"))); }},
        {"chunk offset beyond the file", [](auto& b) { put32(b, findType(b, "stco", 1) + 12, 0xFFFFFF00); }},
        {"chunk reaching past the end", [](auto& b) { put32(b, findType(b, "stco", 1) + 12, static_cast<uint32_t>(b.size() - 2)); }},
        {"movie timescale 0", [](auto& b) { put32(b, findType(b, "mvhd") + 16, 0); }},
        {"video media timescale 0", [](auto& b) { put32(b, findType(b, "mdhd") + 16, 0); }},
        {"media timescale 0", [](auto& b) { put32(b, findType(b, "mdhd", 1) + 16, 0); }},
        {"timecode entry timescale 0", [](auto& b) { put32(b, findType(b, "stsd", 1) + 36, 0); }},
        {"huge time-to-sample count", [](auto& b) { put32(b, findType(b, "stts") + 8, 0xFFFFFFFF); }},
        {"huge sample-to-chunk count", [](auto& b) { put32(b, findType(b, "stsc") + 8, 0x40000000); }},
        {"huge sample size count", [](auto& b) { put32(b, findType(b, "stsz") + 12, 0xFFFFFFFF); }},
        {"huge uniform sample count", [](auto& b) { put32(b, findType(b, "stsz", 1) + 12, 0xFFFFFFFF); }},
        {"huge chunk offset count", [](auto& b) { put32(b, findType(b, "stco") + 8, 0x3FFFFFFF); }},
        {"huge description count", [](auto& b) { put32(b, findType(b, "stsd") + 8, 0xFFFFFFFF); }},
        {"huge edit count", [](auto& b) { put32(b, findType(b, "elst") + 8, 0xFFFFFFFF); }},
        {"sample tables disagree", [](auto& b) { put32(b, findType(b, "stts") + 12, 2); }},
        {"unknown description index", [](auto& b) { put32(b, findType(b, "stsc") + 20, 9); }},
        {"duplicate track IDs", [](auto& b) { put32(b, findType(b, "tkhd", 1) + 16, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = peerMovie();
        c.mutate(bytes);
        try {
            (void)Movie::fromBytes(bytes);
            ADD_FAILURE() << "no error";
        } catch (const MovieError& error) {
            EXPECT_EQ(error.errorCase(), MovieError::Case::malformed) << error.what();
        }
    }
    // The unchanged movie reads, so each case above failed for its own fault.
    EXPECT_EQ(Movie::fromBytes(peerMovie()).tracks().size(), 2u);
}

TEST(MovieParsing, EveryTruncationReadsOrGivesTheParseError) {
    const auto& whole = peerMovie();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        try {
            (void)Movie::fromBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        } catch (const MovieError& error) {
            EXPECT_EQ(error.errorCase(), MovieError::Case::malformed) << "cut at " << cut << ": " << error.what();
        }
    }
}

TEST(MovieParsing, MissingFileIsAnInputOutputError) {
    try {
        (void)Movie::load("/nonexistent/movie.mov");
        FAIL();
    } catch (const MovieError& error) {
        EXPECT_EQ(error.errorCase(), MovieError::Case::io);
    }
}

TEST(MovieWriting, AFailedSaveLeavesNoTemporaryFile) {
    ScratchDirectory dir;
    std::filesystem::create_directory(dir / "occupied");
    try {
        Movie::fromBytes(peerMovie()).save(dir / "occupied");
        FAIL();
    } catch (const MovieError& error) {
        EXPECT_EQ(error.errorCase(), MovieError::Case::io);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / ""), {}), 1);
}

TEST(MovieWriting, RemovingATrackDropsTheReferencesToIt) {
    Movie m = Movie::fromBytes(peerMovie());
    auto* video = m.tracks(movie::mediatype::video).at(0);
    uint32_t videoID = video->trackID();
    uint32_t timecodeID = m.tracks(movie::mediatype::timecode).at(0)->trackID();
    ASSERT_EQ(video->references(movie::fourCC("tmcd")), std::vector<uint32_t>{timecodeID});
    EXPECT_TRUE(m.removeTrack(timecodeID));
    EXPECT_FALSE(m.removeTrack(timecodeID));
    Movie again = Movie::fromBytes(m.bytes());
    EXPECT_EQ(again.tracks().size(), 1u);
    EXPECT_TRUE(again.track(videoID)->references(movie::fourCC("tmcd")).empty());
    EXPECT_EQ(again.track(videoID)->atom().child(movie::fourCC("tref")), nullptr);
}

TEST(MovieWriting, RefusesTracksItCannotWrite) {
    Movie m = Movie::fromBytes(peerMovie());
    movie::NewTrack zero;
    zero.mediaType = movie::mediatype::timecode;
    zero.description = movie::SampleDescription::makeTimecode({0, 25, 1, 25});
    movie::NewTrack wide = zero;
    wide.timescale = 0x80000000u;
    for (const auto& track : {zero, wide}) {
        try {
            m.addTrack(track);
            ADD_FAILURE();
        } catch (const MovieError& error) {
            EXPECT_EQ(error.errorCase(), MovieError::Case::invalidArgument);
        }
    }
    EXPECT_EQ(m.tracks().size(), 2u);
}

TEST(MediaTime, ComparesExactlyAndNeverDividesByZero) {
    struct Case {
        MediaTime a, b;
        std::partial_ordering order;
    };
    const Case cases[] = {
        {MediaTime::make(1, 2), MediaTime::make(50, 100), std::partial_ordering::equivalent},
        {MediaTime::make(1001, 30000), MediaTime::make(1, 30), std::partial_ordering::greater},
        {MediaTime::make(-1, 3), MediaTime::zero(), std::partial_ordering::less},
        {MediaTime::make(INT64_MAX, 1), MediaTime::make(INT64_MAX, 2), std::partial_ordering::greater},
        {MediaTime::make(5, 0), MediaTime::make(5, 0), std::partial_ordering::unordered},
        {MediaTime::invalid(), MediaTime::zero(), std::partial_ordering::unordered},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a <=> c.b, c.order) << c.a.value << "/" << c.a.timescale << " vs " << c.b.value << "/" << c.b.timescale;
    }
    EXPECT_FALSE(MediaTime::make(5, 0).isValid());
    EXPECT_FALSE(MediaTime::make(5, 0).seconds().has_value());
    EXPECT_FALSE(MediaTime::make(5, 0).convertScale(600).isValid());
    EXPECT_FALSE(MediaTime::make(5, 30).convertScale(0).isValid());
    EXPECT_EQ(MediaTime::make(1001, 30000).convertScale(600).value, 20);  // 20.02 ticks
    EXPECT_EQ(MediaTime::make(-3, 4).convertScale(2).value, -2);           // -1.5 rounds away from zero
    EXPECT_FALSE(MediaTime::make(INT64_MAX, 1).convertScale(2).isValid());
}

}  // namespace
