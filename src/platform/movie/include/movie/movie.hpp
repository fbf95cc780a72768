// An in-memory QuickTime movie: its tracks with their media types, timescales, sample
// descriptions, sample tables and references, loaded from a file or from bytes; tracks can be
// added (with their samples) and removed, and the movie saved again. Atoms this layer does not
// interpret are written back byte for byte; sample data already in the file stays where it is and
// only moves with the atom that holds it.
#pragma once

#include "movie/atoms.hpp"
#include "movie/media_time.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace movie {

namespace detail {
class ByteSource;
}

namespace mediatype {
inline constexpr FourCC video = fourCC("vide");
inline constexpr FourCC sound = fourCC("soun");
inline constexpr FourCC timecode = fourCC("tmcd");
}  // namespace mediatype

// The fields of a timecode sample entry ('tmcd' for 32-bit frame-number samples, 'tc64' for 64-bit
// samples): a frame lasts frameDuration / timescale seconds, and numberOfFrames frames make one
// timecode second.
struct TimecodeDescription {
    static constexpr uint32_t dropFrame = 0x1;
    static constexpr uint32_t twentyFourHourMax = 0x2;
    static constexpr uint32_t negativeTimesOK = 0x4;
    static constexpr uint32_t counter = 0x8;

    uint32_t flags = 0;
    uint32_t timescale = 0;
    uint32_t frameDuration = 0;
    uint8_t numberOfFrames = 0;

    bool isDropFrame() const { return (flags & dropFrame) != 0; }
    MediaTime frameDurationTime() const;

    friend bool operator==(const TimecodeDescription&, const TimecodeDescription&) = default;
};

// The field layout of interlaced video (the 'fiel' atom of a video sample entry): one or two fields
// per frame, and their order and arrangement.
struct FieldInfo {
    uint8_t fieldCount = 1;
    uint8_t fieldOrdering = 0;

    friend bool operator==(const FieldInfo&, const FieldInfo&) = default;
};

struct VideoDescription {
    uint16_t width = 0;
    uint16_t height = 0;
    std::optional<FieldInfo> fields;
};

// One entry of a track's sample descriptions. `body` holds the entry's bytes after its 8-byte
// header exactly as read (or as made); the typed views are read from it.
struct SampleDescription {
    FourCC format = 0;
    uint16_t dataReferenceIndex = 1;
    std::vector<uint8_t> body;
    std::optional<TimecodeDescription> timecode;  // for 'tmcd' and 'tc64' entries
    std::optional<VideoDescription> video;        // for entries of video tracks

    // A 'tmcd' (or 'tc64') entry with the given fields.
    static SampleDescription makeTimecode(const TimecodeDescription& fields, FourCC format = fourCC("tmcd"));
};

// Where one sample lies and when it plays, in media time.
struct SampleInfo {
    uint64_t index = 0;         // 0-based, in decode order
    uint64_t offset = 0;        // in the movie file (or in the added track's own data)
    uint32_t size = 0;
    uint32_t duration = 0;      // in the media timescale
    uint64_t decodeTime = 0;    // in the media timescale
    uint32_t descriptionIndex = 1;  // 1-based index into sampleDescriptions()
};

// A sample to write into a new track.
struct NewSample {
    std::vector<uint8_t> bytes;
    uint32_t duration = 0;  // in the track's media timescale
};

// A track to add to a movie: media type, media timescale, one sample description and the samples.
struct NewTrack {
    FourCC mediaType = 0;
    uint32_t timescale = 0;
    SampleDescription description;
    std::vector<NewSample> samples;
    std::string handlerName;
};

// The segment of movie time a track covers: `start` (movie timescale) is the length of the empty
// edits before its media, `duration` the rest of the track.
struct TimeRange {
    MediaTime start;
    MediaTime duration;
};

class Track {
public:
    uint32_t trackID() const { return trackID_; }
    FourCC mediaType() const { return mediaType_; }
    // Ticks per second of the media; never 0.
    uint32_t mediaTimescale() const { return mediaTimescale_; }
    MediaTime mediaDuration() const;
    TimeRange timeRange() const;

    const std::vector<SampleDescription>& sampleDescriptions() const { return descriptions_; }

    uint64_t sampleCount() const { return sampleCount_; }
    // The shortest sample duration (zero durations left out), in the media timescale.
    std::optional<MediaTime> minSampleDuration() const;
    // Samples per second over the media duration; 0 when the media has no duration.
    double nominalFrameRate() const;

    // Calls `visit` for each sample in decode order until it returns false.
    void forEachSample(const std::function<bool(const SampleInfo&)>& visit) const;
    std::vector<SampleInfo> samples(std::size_t maximumCount = SIZE_MAX) const;
    // The sample's bytes. Throws MovieError (unsupported) for a track whose data lies in another
    // file.
    std::vector<uint8_t> sampleData(const SampleInfo& sample) const;
    bool hasExternalData() const { return home_ == DataHome::external; }

    // The IDs this track references under the type (e.g. 'tmcd'), from its 'tref' atom.
    std::vector<uint32_t> references(FourCC type) const;
    // Adds a reference unless it is already there.
    void addReference(FourCC type, uint32_t trackID);
    // Removes every reference to the track, of any type.
    void removeReferencesTo(uint32_t trackID);

    // The track's atom as it would be written (chunk offsets as read).
    const Atom& atom() const { return trak_; }

private:
    friend class Movie;
    enum class DataHome { movie, own, external };
    struct TimeToSample {
        uint32_t count;
        uint32_t delta;
    };
    struct SampleToChunk {
        uint32_t firstChunk;
        uint32_t samplesPerChunk;
        uint32_t descriptionIndex;
    };

    // The samples of one chunk: [first, first + count) and their total size.
    struct ChunkSpan {
        uint64_t firstSample;
        uint64_t sampleCount;
        uint64_t byteCount;
        uint32_t descriptionIndex;
    };

    static Track parse(Atom trak, uint32_t movieTimescale, std::shared_ptr<const detail::ByteSource> source);
    void parseSampleTables(const Atom& stbl);
    void checkChunks() const;
    void forEachChunk(const std::function<bool(std::size_t chunk, const ChunkSpan&)>& visit) const;
    uint32_t sampleSize(uint64_t index) const;

    Atom trak_;
    uint32_t trackID_ = 0;
    FourCC mediaType_ = 0;
    uint32_t movieTimescale_ = 0;
    uint32_t mediaTimescale_ = 0;
    uint64_t mediaDuration_ = 0;
    uint64_t trackDuration_ = 0;   // movie timescale
    uint64_t emptyEditDuration_ = 0;
    std::vector<SampleDescription> descriptions_;
    std::vector<TimeToSample> timeToSample_;
    std::vector<SampleToChunk> sampleToChunk_;
    uint32_t uniformSampleSize_ = 0;
    uint64_t sampleCount_ = 0;
    std::vector<uint32_t> sampleSizes_;
    std::vector<uint64_t> chunkOffsets_;
    bool largeOffsets_ = false;
    DataHome home_ = DataHome::movie;
    // The movie's bytes, or for an added track its own samples (one chunk from offset 0).
    std::shared_ptr<const detail::ByteSource> source_;
};

class Movie {
public:
    // Reads a movie. Throws MovieError: io when the file cannot be read, malformed when its atoms
    // or tables are broken (sizes, counts, offsets beyond the file, a timescale of 0),
    // unsupported for forms this layer does not read.
    static Movie load(const std::filesystem::path& path);
    static Movie fromBytes(std::vector<uint8_t> bytes);

    // Writes the movie to a temporary file beside `path` and renames it over `path`; the
    // temporary file is removed when anything fails.
    void save(const std::filesystem::path& path) const;
    std::vector<uint8_t> bytes() const;

    // Ticks per second of movie time; never 0.
    uint32_t timescale() const { return timescale_; }
    MediaTime duration() const;

    // Pointers and references to tracks stay valid until a track is added or removed.
    const std::vector<Track>& tracks() const { return tracks_; }
    std::vector<const Track*> tracks(FourCC mediaType) const;
    const Track* track(uint32_t trackID) const;
    Track* track(uint32_t trackID);

    // Adds a track holding the samples in one chunk, to be written in a new 'mdat' atom on saving;
    // returns its ID. Throws MovieError (invalidArgument) for a timescale of 0 or above 2^31 - 1,
    // a description index or data reference other than 1, or sizes beyond 32 bits.
    uint32_t addTrack(const NewTrack& track);
    // Removes the track and every other track's references to it. Returns false when there is no
    // such track.
    bool removeTrack(uint32_t trackID);

private:
    struct TopLevelAtom {
        FourCC type;
        uint64_t offset;
        uint64_t headerSize;
        uint64_t size;
        bool sizeToEnd;
    };
    struct Layout;

    static Movie read(std::shared_ptr<const detail::ByteSource> source);
    void updateHeader(uint64_t newTrackDuration, uint32_t nextTrackID);
    Layout plan() const;
    void write(const std::function<void(const uint8_t*, std::size_t)>& sink) const;

    std::shared_ptr<const detail::ByteSource> source_;
    std::vector<TopLevelAtom> topLevel_;
    Atom moov_;  // without its tracks: one empty 'trak' atom marks where they go
    std::vector<Track> tracks_;
    uint32_t timescale_ = 0;
    uint64_t duration_ = 0;
};

}  // namespace movie
