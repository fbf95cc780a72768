// Arbitrary bytes as a QuickTime movie, through the movie layer and the timecode operations on it:
// reading either succeeds or throws the movie layer's error; a movie that reads is written back
// and reads again with the same tracks and sample bytes; every timecode operation throws only its
// typed errors; and after its timecode track is replaced, the movie is written, read again with
// the same tracks and sample bytes and the new start timecode.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "movie/movie.hpp"
#include "timecode/movie.hpp"

using namespace timecode;

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// The first samples' bytes of every track whose data is in the movie, but for timecode tracks
// (those a replacement changes).
std::vector<std::vector<uint8_t>> firstSamples(const movie::Movie& m) {
    std::vector<std::vector<uint8_t>> data;
    for (const auto& track : m.tracks()) {
        if (track.hasExternalData() || track.mediaType() == movie::mediatype::timecode) continue;
        for (const auto& sample : track.samples(8)) data.push_back(track.sampleData(sample));
    }
    return data;
}

void readTimecodes(const movie::Movie& m) {
    try {
        (void)timecodeSamples(m, TimecodeFrameRate::_25);
        (void)startTimecode(m);
        (void)endTimecode(m);
        (void)videoFrameRate(m);
        (void)isVideoInterlaced(m);
    } catch (const TimecodeMediaParseError&) {
    } catch (const TimecodeValidationError&) {
    }
    for (const auto& track : m.tracks()) {
        (void)track.minSampleDuration();
        (void)track.nominalFrameRate();
        (void)track.mediaDuration().seconds();
        (void)track.references(movie::fourCC("tmcd"));
        try {
            (void)durationTimecode(m, track, TimecodeFrameRate::_29_97_drop);
        } catch (const TimecodeMediaParseError&) {
        } catch (const TimecodeValidationError&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<movie::Movie> m;
    try {
        m = movie::Movie::fromBytes(std::vector<uint8_t>(data, data + size));
    } catch (const movie::MovieError&) {
        return 0;
    }
    readTimecodes(*m);
    const auto samples = firstSamples(*m);
    const movie::Movie same = movie::Movie::fromBytes(m->bytes());
    require(same.tracks().size() == m->tracks().size());
    require(firstSamples(same) == samples);

    try {
        const uint32_t id = replaceTimecodeTrack(*m, Timecode::fromString("01:00:00:00", TimecodeFrameRate::_25),
                                                 Timecode::fromString("00:00:01:00", TimecodeFrameRate::_25))
                                .trackID();
        const movie::Movie again = movie::Movie::fromBytes(m->bytes());
        require(again.tracks().size() == m->tracks().size());
        require(firstSamples(again) == samples);
        const movie::Track* written = again.track(id);
        require(written != nullptr && written->sampleData(written->samples().at(0)) ==
                                          std::vector<uint8_t>{0x00, 0x01, 0x5F, 0x90});  // frame 90000
        const auto start = startTimecode(again, TimecodeFrameRate::_25);
        require(start.has_value() && start->stringValue() == "01:00:00:00");
        for (const movie::Track* video : again.tracks(movie::mediatype::video)) {
            const auto refs = video->references(movie::fourCC("tmcd"));
            require(std::count(refs.begin(), refs.end(), id) == 1);
        }
    } catch (const movie::MovieError& error) {
        // Only a movie with no free track ID or a header too short for the track is refused.
        require(error.errorCase() == movie::MovieError::Case::invalidArgument);
    }
    return 0;
}
