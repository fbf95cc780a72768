// A small reader and writer of QuickTime movies, as far as timecode tracks need them: the atom
// tree (ftyp, moov/mvhd, trak/tkhd, tref, mdia/mdhd/hdlr, minf, stbl with stsd, stts, stsc, stsz,
// stco/co64, mdat), an in-memory movie with its tracks, and the timecode operations on it:
// detecting the frame rate, reading the 'tmcd' and 'tc64' samples, start, end and duration
// timecodes, and adding or replacing a timecode track.
//
//     auto movie = Movie::loadFile("take.mov");
//     std::optional<Timecode> start = movie.startTimecode();
//     movie.replaceTimecodeTrack(Timecode::fromString("01:00:00:00", TimecodeFrameRate::_25));
//     movie.saveFile("take-tc.mov");
//
// Files are read whole into memory; nothing is written to temporary files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

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

// A four-character code as a big-endian number ('tmcd' = 0x746D6364).
constexpr uint32_t fourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

// One atom: a leaf keeps its payload bytes, a container its children.
struct Atom {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
    std::vector<Atom> children;
    bool isContainer = false;

    Atom* child(uint32_t t);
    const Atom* child(uint32_t t) const;
};

// The timecode fields of a 'tmcd' sample entry.
struct TimecodeSampleDescription {
    uint32_t flags = 0;  // 1 drop frame, 2 24-hour maximum, 4 negative times allowed, 8 counter
    uint32_t timescale = 0;
    uint32_t frameDuration = 0;
    uint8_t numberOfFrames = 0;
    bool isDrop() const { return (flags & 1) != 0; }
};

struct MovieTrack {
    uint32_t trackID = 0;
    uint32_t handler = 0;  // 'vide', 'soun', 'tmcd', ...
    uint32_t mediaTimescale = 0;
    uint64_t mediaDuration = 0;
    // The sample entry formats ('tmcd', 'tc64', 'mp4v', ...), in order.
    std::vector<uint32_t> sampleFormats;
    std::optional<TimecodeSampleDescription> timecodeDescription;
    // The field count of a video sample entry's 'fiel' atom (1 progressive, 2 interlaced).
    std::optional<uint8_t> fieldCount;
    struct Sample {
        uint64_t offset = 0;  // into the file as loaded
        uint32_t size = 0;
        uint32_t duration = 0;  // in media time units
        uint32_t descriptionIndex = 1;
    };
    std::vector<Sample> samples;

    // The shortest sample duration as seconds (value over the media timescale), if any.
    std::optional<Fraction> minFrameDuration() const;
    double nominalFrameRate() const;
};

class Movie {
  public:
    // Throws TimecodeMediaParseError (internalError) for anything that is no readable movie:
    // truncated or oversized atoms, sample data outside the file, timescale 0, entry counts
    // beyond what the atoms hold.
    static Movie load(std::span<const uint8_t> bytes);
    static Movie loadFile(const std::filesystem::path& path);
    std::vector<uint8_t> save() const;
    void saveFile(const std::filesystem::path& path) const;

    const std::vector<MovieTrack>& tracks() const { return tracks_; }
    uint32_t timescale() const { return timescale_; }
    uint64_t duration() const { return duration_; }

    // ---- timecode reading (a rate of none is detected) ----
    TimecodeFrameRate timecodeFrameRate(std::optional<bool> drop = std::nullopt) const;
    VideoFrameRate videoFrameRate(std::optional<bool> interlaced = std::nullopt) const;
    bool isVideoInterlaced() const;
    std::vector<std::vector<Timecode>> timecodeSamples(std::optional<TimecodeFrameRate> rate = std::nullopt,
                                                       UpperLimit limit = UpperLimit::_24hours,
                                                       SubFramesBase base = SubFramesBase::_80SubFrames,
                                                       StringFormat format = {}) const;
    std::optional<Timecode> startTimecode(std::optional<TimecodeFrameRate> rate = std::nullopt,
                                          UpperLimit limit = UpperLimit::_24hours,
                                          SubFramesBase base = SubFramesBase::_80SubFrames,
                                          StringFormat format = {}) const;
    std::optional<Timecode> endTimecode(std::optional<TimecodeFrameRate> rate = std::nullopt,
                                        UpperLimit limit = UpperLimit::_24hours,
                                        SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) const;
    Timecode durationTimecode(std::optional<TimecodeFrameRate> rate = std::nullopt,
                              UpperLimit limit = UpperLimit::_24hours,
                              SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) const;

    // The first timecode of the movie, or of its end; throw unknownTimecode where the optional
    // forms give none.
    Timecode startTimecodeOrThrow(std::optional<TimecodeFrameRate> rate = std::nullopt,
                                  UpperLimit limit = UpperLimit::_24hours,
                                  SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) const;
    Timecode endTimecodeOrThrow(std::optional<TimecodeFrameRate> rate = std::nullopt,
                                UpperLimit limit = UpperLimit::_24hours,
                                SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) const;
    // A track's time range (0 to its media duration) as timecodes, and its length.
    std::pair<Timecode, Timecode> timecodeRange(const MovieTrack& track, std::optional<TimecodeFrameRate> rate = std::nullopt,
                                                UpperLimit limit = UpperLimit::_24hours,
                                                SubFramesBase base = SubFramesBase::_80SubFrames,
                                                StringFormat format = {}) const;
    Timecode durationTimecode(const MovieTrack& track, std::optional<TimecodeFrameRate> rate = std::nullopt,
                              UpperLimit limit = UpperLimit::_24hours,
                              SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) const;

    // ---- writing ----
    // Adds a timecode track holding one 'tmcd' sample with the start frame number, lasting
    // `duration` (the movie's duration when none), referenced from every video track.
    const MovieTrack& addTimecodeTrack(const Timecode& start, std::optional<Timecode> duration = std::nullopt);
    // Removes every timecode track first.
    const MovieTrack& replaceTimecodeTrack(const Timecode& start, std::optional<Timecode> duration = std::nullopt);

  private:
    void index();
    std::vector<Atom> atoms_;          // top level, in file order
    std::vector<uint8_t> file_;        // the loaded bytes (sample data is read from here)
    std::vector<uint8_t> addedData_;   // sample data of added tracks, stored after the loaded data
    std::vector<MovieTrack> tracks_;
    uint32_t timescale_ = 0;
    uint64_t duration_ = 0;
};

// The components of a media time (value over timescale seconds) at a rate, validated.
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
