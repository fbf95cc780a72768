// Loads arbitrary bytes as a movie and, when they load, runs every timecode operation on it and
// writes it back: only the typed errors are ever thrown, and a saved movie loads again with the
// same tracks.

#include <cstddef>
#include <cstdint>
#include <span>

#include "timecode/movie.hpp"

using namespace timecode;

namespace {
void check(bool condition) {
    if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<Movie> movie;
    try {
        movie = Movie::load(std::span(data, size));
    } catch (const TimecodeMediaParseError&) {
        return 0;
    }
    try {
        (void)movie->timecodeSamples(TimecodeFrameRate::_25);
        (void)movie->startTimecode();
        (void)movie->endTimecode();
        (void)movie->videoFrameRate();
    } catch (const TimecodeMediaParseError&) {
    } catch (const TimecodeValidationError&) {
    }
    try {
        movie->replaceTimecodeTrack(Timecode::fromString("01:00:00:00", TimecodeFrameRate::_25),
                                    Timecode::fromString("00:00:01:00", TimecodeFrameRate::_25));
        const Movie again = Movie::load(movie->save());
        check(again.tracks().size() == movie->tracks().size());
        const auto start = again.startTimecode(TimecodeFrameRate::_25);
        check(start.has_value() && start->stringValue() == "01:00:00:00");
    } catch (const TimecodeMediaWriteError&) {
    } catch (const TimecodeMediaParseError&) {
    } catch (const TimecodeValidationError&) {
    }
    return 0;
}
