// Arbitrary bytes as a QuickTime movie: reading either succeeds or throws MovieError; a movie that
// reads is written back, with and without an added timecode track, and must read again with the
// same tracks and the same sample bytes.
#include "movie/movie.hpp"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The first samples' bytes of every track whose data is in the movie.
std::vector<std::vector<uint8_t>> firstSamples(const movie::Movie& m) {
    std::vector<std::vector<uint8_t>> data;
    for (const auto& track : m.tracks()) {
        if (track.hasExternalData()) {
            continue;
        }
        for (const auto& sample : track.samples(8)) {
            data.push_back(track.sampleData(sample));
        }
    }
    return data;
}

void exercise(const movie::Movie& m) {
    for (const auto& track : m.tracks()) {
        (void)track.minSampleDuration();
        (void)track.nominalFrameRate();
        (void)track.timeRange();
        (void)track.mediaDuration().seconds();
        (void)track.references(movie::fourCC("tmcd"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        movie::Movie m = movie::Movie::fromBytes(std::vector<uint8_t>(data, data + size));
        exercise(m);
        auto samples = firstSamples(m);

        movie::Movie same = movie::Movie::fromBytes(m.bytes());
        require(same.tracks().size() == m.tracks().size());
        require(firstSamples(same) == samples);

        movie::NewTrack track;
        track.mediaType = movie::mediatype::timecode;
        track.timescale = 30000;
        track.description = movie::SampleDescription::makeTimecode({movie::TimecodeDescription::dropFrame, 30000, 1001, 30});
        track.samples.push_back({{0x00, 0x01, 0xA5, 0x74}, 3003});
        uint32_t id = m.addTrack(track);
        if (!m.tracks().empty() && m.tracks().front().trackID() != id) {
            m.track(m.tracks().front().trackID())->addReference(movie::fourCC("tmcd"), id);
        }
        movie::Movie added = movie::Movie::fromBytes(m.bytes());
        require(added.tracks().size() == m.tracks().size());
        const movie::Track* written = added.track(id);
        require(written != nullptr && written->sampleData(written->samples().at(0)) == track.samples[0].bytes);
        require(firstSamples(added).size() == firstSamples(m).size());
    } catch (const movie::MovieError&) {
    }
    return 0;
}
