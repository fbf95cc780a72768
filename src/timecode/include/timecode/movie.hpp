// Timecode tracks of QuickTime movies, on the movie layer (`movie::Movie`): detecting a movie's
// frame rate, reading the 'tmcd' and 'tc64' samples of its timecode tracks (both big-endian frame
// numbers, of 32 and 64 bits), start, end and duration timecodes, time ranges as timecodes, and
// adding or replacing a timecode track (one 'tmcd' sample holding the start frame number,
// referenced from every video track).
//
//     auto take = movie::Movie::load("take.mov");
//     std::optional<Timecode> start = startTimecode(take);
//     replaceTimecodeTrack(take, Timecode::fromString("01:00:00:00", TimecodeFrameRate::_25));
//     take.save("take-tc.mov");
//
// Every rate parameter may be none: the rate is then detected with timecodeFrameRate(movie).
// Errors of the movie layer (`movie::MovieError`: unreadable files, broken atoms) pass through
// unchanged; these operations throw the two media errors below and the timecode's validation
// error for timecodes beyond the upper limit.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "movie/movie.hpp"
#include "timecode/frame_count.hpp"
#include "timecode/timecode.hpp"
#include "timecode/video_frame_rate.hpp"

namespace timecode {

class TimecodeMediaParseError : public std::runtime_error {
  public:
    enum class Case { missingOrNonStandardFrameRate, unknownTimecode, internalError, noData };
    TimecodeMediaParseError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

class TimecodeMediaWriteError : public std::runtime_error {
  public:
    enum class Case { internalError };
    explicit TimecodeMediaWriteError(const std::string& message) : std::runtime_error(message) {}
    Case errorCase() const { return Case::internalError; }
};

// The timecode fields of a 'tmcd' sample entry.
using TimecodeSampleDescription = movie::TimecodeDescription;

// ---- reading ----

// The timecode rate: drop frame when none is given and any timecode track's entry has the drop
// flag; from the first video track's shortest frame, else from the first timecode entry's frame
// duration, else from the video frame rate. Throws missingOrNonStandardFrameRate.
TimecodeFrameRate timecodeFrameRate(const movie::Movie& movie, std::optional<bool> drop = std::nullopt);
// The video rate, interlaced as isVideoInterlaced when none is given: from the first video
// track's shortest frame, else the first timecode entry's frame duration, else the video tracks'
// nominal rates. Throws missingOrNonStandardFrameRate.
VideoFrameRate videoFrameRate(const movie::Movie& movie, std::optional<bool> interlaced = std::nullopt);
// Whether the first video track is interlaced (false without video track).
bool isVideoInterlaced(const movie::Movie& movie);
// Whether any of the track's video entries has more than one field per frame.
bool isInterlaced(const movie::Track& track);

// The timecodes of every timecode track's samples, one list per track in track order. Empty
// samples are skipped; a sample of another format throws unknownTimecode, one whose data lies in
// another file internalError.
std::vector<std::vector<Timecode>> timecodeSamples(const movie::Movie& movie,
                                                   std::optional<TimecodeFrameRate> rate = std::nullopt,
                                                   UpperLimit limit = UpperLimit::_24hours,
                                                   SubFramesBase base = SubFramesBase::_80SubFrames,
                                                   StringFormat format = {});
// The first timecode of the first timecode track that has one.
std::optional<Timecode> startTimecode(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate = std::nullopt,
                                      UpperLimit limit = UpperLimit::_24hours,
                                      SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
// The start plus the movie's duration (wrapping at the upper limit).
std::optional<Timecode> endTimecode(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate = std::nullopt,
                                    UpperLimit limit = UpperLimit::_24hours,
                                    SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
// The movie's duration.
Timecode durationTimecode(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate = std::nullopt,
                          UpperLimit limit = UpperLimit::_24hours, SubFramesBase base = SubFramesBase::_80SubFrames,
                          StringFormat format = {});
// The start and end timecodes, throwing unknownTimecode where the optional forms give none.
Timecode startTimecodeOrThrow(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate = std::nullopt,
                              UpperLimit limit = UpperLimit::_24hours,
                              SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
Timecode endTimecodeOrThrow(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate = std::nullopt,
                            UpperLimit limit = UpperLimit::_24hours, SubFramesBase base = SubFramesBase::_80SubFrames,
                            StringFormat format = {});
// A track's time range in the movie (after its leading empty edits) as timecodes, and its length.
// The rate is detected from `movie`, the movie holding the track.
std::pair<Timecode, Timecode> timecodeRange(const movie::Movie& movie, const movie::Track& track,
                                            std::optional<TimecodeFrameRate> rate = std::nullopt,
                                            UpperLimit limit = UpperLimit::_24hours,
                                            SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
Timecode durationTimecode(const movie::Movie& movie, const movie::Track& track,
                          std::optional<TimecodeFrameRate> rate = std::nullopt, UpperLimit limit = UpperLimit::_24hours,
                          SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});

// ---- writing ----

// Adds a timecode track holding one 'tmcd' sample with the start frame number, lasting
// `duration` (the movie's duration at the detected rate when none), referenced from every video
// track. The movie is not saved. Throws TimecodeMediaWriteError for a start frame or a duration
// that does not fit the track's 32-bit fields.
movie::Track& addTimecodeTrack(movie::Movie& movie, const Timecode& start,
                               std::optional<Timecode> duration = std::nullopt);
// Removes every timecode track first.
movie::Track& replaceTimecodeTrack(movie::Movie& movie, const Timecode& start,
                                   std::optional<Timecode> duration = std::nullopt);

// ---- conversions ----

// The timecode of a media time (value over timescale seconds) at a rate, validated.
Timecode timecodeOfMediaTime(const MediaTime& time, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                             SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});

// A time range (start and end media times) as a closed range of timecodes. Throws
// unknownTimecode for an invalid range or one that ends before it starts, and the validation
// error for an end beyond the upper limit.
std::pair<Timecode, Timecode> timecodeRange(const MediaTime& start, const MediaTime& end, TimecodeFrameRate rate,
                                            UpperLimit limit = UpperLimit::_24hours,
                                            SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});

// The fields of the 'tmcd' sample description a timecode track of `timecode` carries: the
// frame duration of its rate, the frame quanta, and the flags (24-hour maximum with a 24-hour
// limit, drop frame at drop rates).
TimecodeSampleDescription timecodeSampleDescription(const Timecode& timecode);

// The payload of one timecode sample as a timecode: a 'tmcd' or 'tc64' frame number.
Timecode timecodeOfSample(uint64_t frameNumber, TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base,
                          StringFormat format);

}  // namespace timecode
