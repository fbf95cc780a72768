#include "bytes.hpp"
#include "movie/movie.hpp"

#include <algorithm>
#include <limits>

namespace movie {

using detail::FieldReader;
using detail::malformed;

namespace {

constexpr std::size_t sampleEntryPrefix = 8;      // reserved (6 bytes), data reference index (2)
constexpr std::size_t visualEntryFields = 70;     // version ... colour table ID
constexpr std::size_t timecodeEntryBodySize = 28; // what common writers put in a 'tmcd' entry

const Atom& required(const Atom* atom, const char* what, uint32_t trackID) {
    if (atom == nullptr) {
        malformed("Track " + std::to_string(trackID) + " has no '" + what + "' atom.");
    }
    return *atom;
}

TimecodeDescription parseTimecodeEntry(std::span<const uint8_t> body) {
    FieldReader reader(body, "timecode sample entry");
    reader.skip(sampleEntryPrefix + 4);  // reserved word
    TimecodeDescription fields;
    fields.flags = reader.u32();
    fields.timescale = reader.u32();
    fields.frameDuration = reader.u32();
    fields.numberOfFrames = reader.u8();
    if (fields.timescale == 0 || fields.timescale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        reader.fail("has the timescale " + std::to_string(fields.timescale));
    }
    return fields;
}

VideoDescription parseVideoEntry(std::span<const uint8_t> body) {
    FieldReader reader(body, "video sample entry");
    reader.skip(sampleEntryPrefix + 16);  // version, revision, vendor, temporal and spatial quality
    VideoDescription video;
    video.width = reader.u16();
    video.height = reader.u16();
    reader.skip(visualEntryFields - 20);
    // Extension atoms follow; a colour table or a writer's padding may stand in their place, so
    // the scan stops quietly at the first thing that is not an atom.
    while (reader.remaining() >= 8) {
        uint32_t size = reader.u32();
        FourCC type = reader.u32();
        if (size < 8 || size - 8 > reader.remaining()) {
            break;
        }
        auto payload = reader.take(size - 8);
        if (type == fourCC("fiel") && payload.size() >= 2) {
            video.fields = FieldInfo{payload[0], payload[1]};
        }
    }
    return video;
}

std::vector<SampleDescription> parseSampleDescriptions(const Atom& stsd, FourCC mediaType) {
    FieldReader reader(stsd.data, "sample description table");
    reader.skip(4);
    uint32_t count = reader.entryCount(16);
    std::vector<SampleDescription> descriptions;
    descriptions.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = reader.u32();
        SampleDescription entry;
        entry.format = reader.u32();
        if (size < 8 + sampleEntryPrefix || size - 8 > reader.remaining()) {
            reader.fail("has an entry of " + std::to_string(size) + " bytes");
        }
        auto body = reader.take(size - 8);
        entry.body.assign(body.begin(), body.end());
        entry.dataReferenceIndex = static_cast<uint16_t>((body[6] << 8) | body[7]);
        if (entry.format == fourCC("tmcd") || entry.format == fourCC("tc64")) {
            entry.timecode = parseTimecodeEntry(body);
        } else if (mediaType == mediatype::video) {
            entry.video = parseVideoEntry(body);
        }
        descriptions.push_back(std::move(entry));
    }
    return descriptions;
}

// Whether each data reference says the data is in this very file.
std::vector<bool> parseDataReferences(const Atom* dref) {
    std::vector<bool> selfContained;
    if (dref == nullptr) {
        return selfContained;
    }
    FieldReader reader(dref->data, "data reference table");
    reader.skip(4);
    uint32_t count = reader.entryCount(12);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = reader.u32();
        reader.skip(4);  // type
        if (size < 12 || size - 8 > reader.remaining()) {
            reader.fail("has an entry of " + std::to_string(size) + " bytes");
        }
        auto body = reader.take(size - 8);
        selfContained.push_back((body[3] & 1) != 0);
    }
    return selfContained;
}

// A full atom's version byte, after which its fields follow.
uint8_t versionOf(FieldReader& reader) {
    uint8_t version = reader.u8();
    reader.skip(3);
    if (version > 1) {
        reader.fail("has the unknown version " + std::to_string(version));
    }
    return version;
}

}  // namespace

MediaTime TimecodeDescription::frameDurationTime() const {
    if (timescale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        return MediaTime::invalid();
    }
    return MediaTime::make(frameDuration, static_cast<int32_t>(timescale));
}

SampleDescription SampleDescription::makeTimecode(const TimecodeDescription& fields, FourCC format) {
    SampleDescription entry;
    entry.format = format;
    entry.dataReferenceIndex = 1;
    detail::putZeros(entry.body, 6);
    detail::putU16(entry.body, 1);
    detail::putU32(entry.body, 0);
    detail::putU32(entry.body, fields.flags);
    detail::putU32(entry.body, fields.timescale);
    detail::putU32(entry.body, fields.frameDuration);
    detail::putU8(entry.body, fields.numberOfFrames);
    detail::putZeros(entry.body, timecodeEntryBodySize - entry.body.size());
    entry.timecode = fields;
    return entry;
}

Track Track::parse(Atom trak, uint32_t movieTimescale, std::shared_ptr<const detail::ByteSource> source) {
    Track track;
    track.movieTimescale_ = movieTimescale;
    track.source_ = std::move(source);

    const Atom& tkhd = required(trak.child(fourCC("tkhd")), "tkhd", 0);
    {
        FieldReader reader(tkhd.data, "track header");
        bool v1 = versionOf(reader) == 1;
        reader.skip(v1 ? 16 : 8);
        track.trackID_ = reader.u32();
        reader.skip(4);
        track.trackDuration_ = v1 ? reader.u64() : reader.u32();
        if (track.trackID_ == 0) {
            reader.fail("has the track ID 0");
        }
    }
    const uint32_t id = track.trackID_;
    const Atom& mdia = required(trak.child(fourCC("mdia")), "mdia", id);
    {
        FieldReader reader(required(mdia.child(fourCC("mdhd")), "mdhd", id).data, "media header");
        bool v1 = versionOf(reader) == 1;
        reader.skip(v1 ? 16 : 8);
        track.mediaTimescale_ = reader.u32();
        track.mediaDuration_ = v1 ? reader.u64() : reader.u32();
        if (track.mediaTimescale_ == 0 ||
            track.mediaTimescale_ > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
            reader.fail("of track " + std::to_string(id) + " has the timescale " +
                        std::to_string(track.mediaTimescale_));
        }
    }
    {
        FieldReader reader(required(mdia.child(fourCC("hdlr")), "hdlr", id).data, "media handler");
        reader.skip(8);
        track.mediaType_ = reader.u32();
    }
    if (const Atom* elst = trak.find({fourCC("edts"), fourCC("elst")})) {
        FieldReader reader(elst->data, "edit list");
        bool v1 = versionOf(reader) == 1;
        uint32_t count = reader.entryCount(v1 ? 20 : 12);
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t segment = v1 ? reader.u64() : reader.u32();
            int64_t mediaTime = v1 ? static_cast<int64_t>(reader.u64()) : static_cast<int32_t>(reader.u32());
            reader.skip(4);
            if (mediaTime != -1) {
                break;
            }
            track.emptyEditDuration_ = std::min(track.trackDuration_ - track.emptyEditDuration_, segment) +
                                       track.emptyEditDuration_;
        }
    }
    const Atom& minf = required(mdia.child(fourCC("minf")), "minf", id);
    const Atom& stbl = required(minf.child(fourCC("stbl")), "stbl", id);
    track.descriptions_ = parseSampleDescriptions(required(stbl.child(fourCC("stsd")), "stsd", id), track.mediaType_);
    auto references = parseDataReferences(minf.find({fourCC("dinf"), fourCC("dref")}));
    for (const auto& entry : track.descriptions_) {
        if (references.empty()) {
            break;
        }
        if (entry.dataReferenceIndex == 0 || entry.dataReferenceIndex > references.size()) {
            malformed("A sample description of track " + std::to_string(id) + " names the data reference " +
                      std::to_string(entry.dataReferenceIndex) + " of " + std::to_string(references.size()) + ".");
        }
        if (!references[entry.dataReferenceIndex - 1u]) {
            track.home_ = DataHome::external;
        }
    }
    track.parseSampleTables(stbl);
    if (track.home_ == DataHome::movie) {
        track.checkChunks();
    }
    track.trak_ = std::move(trak);
    return track;
}

void Track::parseSampleTables(const Atom& stbl) {
    const uint32_t id = trackID_;
    {
        FieldReader reader(required(stbl.child(fourCC("stts")), "stts", id).data, "time-to-sample table");
        reader.skip(4);
        uint32_t count = reader.entryCount(8);
        timeToSample_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t samples = reader.u32();
            timeToSample_.push_back({samples, reader.u32()});
        }
    }
    {
        FieldReader reader(required(stbl.child(fourCC("stsc")), "stsc", id).data, "sample-to-chunk table");
        reader.skip(4);
        uint32_t count = reader.entryCount(12);
        sampleToChunk_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            SampleToChunk entry{reader.u32(), reader.u32(), reader.u32()};
            if (entry.firstChunk == 0 || (i > 0 && entry.firstChunk <= sampleToChunk_.back().firstChunk)) {
                reader.fail("has the out-of-order first chunk " + std::to_string(entry.firstChunk));
            }
            if (entry.descriptionIndex == 0 || entry.descriptionIndex > descriptions_.size()) {
                reader.fail("names the sample description " + std::to_string(entry.descriptionIndex) + " of " +
                            std::to_string(descriptions_.size()));
            }
            sampleToChunk_.push_back(entry);
        }
    }
    if (stbl.child(fourCC("stz2")) != nullptr && stbl.child(fourCC("stsz")) == nullptr) {
        throw MovieError(MovieError::Case::unsupported, "Compact sample size tables are not supported.");
    }
    {
        FieldReader reader(required(stbl.child(fourCC("stsz")), "stsz", id).data, "sample size table");
        reader.skip(4);
        uniformSampleSize_ = reader.u32();
        sampleCount_ = reader.u32();
        if (uniformSampleSize_ == 0) {
            reader.requireEntries(sampleCount_, 4);
            sampleSizes_.reserve(sampleCount_);
            for (uint64_t i = 0; i < sampleCount_; ++i) {
                sampleSizes_.push_back(reader.u32());
            }
        }
    }
    {
        const Atom* stco = stbl.child(fourCC("stco"));
        const Atom* co64 = stco == nullptr ? stbl.child(fourCC("co64")) : nullptr;
        largeOffsets_ = co64 != nullptr;
        if (stco == nullptr && co64 == nullptr) {
            required(nullptr, "stco", id);
        }
        FieldReader reader((largeOffsets_ ? co64 : stco)->data, "chunk offset table");
        reader.skip(4);
        uint32_t count = reader.entryCount(largeOffsets_ ? 8 : 4);
        chunkOffsets_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            chunkOffsets_.push_back(largeOffsets_ ? reader.u64() : reader.u32());
        }
    }

    // The three tables must agree on the number of samples.
    uint64_t timed = 0;
    for (const auto& run : timeToSample_) {
        timed += run.count;
    }
    if (!sampleToChunk_.empty() && sampleToChunk_.back().firstChunk > chunkOffsets_.size()) {
        malformed("The sample-to-chunk table of track " + std::to_string(id) + " names chunk " +
                  std::to_string(sampleToChunk_.back().firstChunk) + " of " + std::to_string(chunkOffsets_.size()) +
                  ".");
    }
    if (!chunkOffsets_.empty() && (sampleToChunk_.empty() || sampleToChunk_.front().firstChunk != 1)) {
        malformed("The sample-to-chunk table of track " + std::to_string(id) + " does not start at chunk 1.");
    }
    uint64_t chunked = 0;
    for (std::size_t r = 0; r < sampleToChunk_.size(); ++r) {
        uint64_t end = r + 1 < sampleToChunk_.size() ? sampleToChunk_[r + 1].firstChunk : chunkOffsets_.size() + 1;
        uint64_t inRun = (end - sampleToChunk_[r].firstChunk) * sampleToChunk_[r].samplesPerChunk;  // < 2^64
        if (inRun > sampleCount_ - chunked) {
            chunked = sampleCount_ + 1;
            break;
        }
        chunked += inRun;
    }
    if (timed != sampleCount_ || chunked != sampleCount_) {
        malformed("The sample tables of track " + std::to_string(id) + " disagree: " + std::to_string(sampleCount_) +
                  " sizes, " + std::to_string(timed) + " durations and " +
                  (chunked > sampleCount_ ? std::string("more") : std::to_string(chunked)) + " samples in chunks.");
    }
}

uint32_t Track::sampleSize(uint64_t index) const {
    return uniformSampleSize_ != 0 ? uniformSampleSize_ : sampleSizes_[index];
}

void Track::forEachChunk(const std::function<bool(std::size_t, const ChunkSpan&)>& visit) const {
    uint64_t firstSample = 0;
    for (std::size_t r = 0; r < sampleToChunk_.size(); ++r) {
        const auto& run = sampleToChunk_[r];
        std::size_t end = r + 1 < sampleToChunk_.size() ? sampleToChunk_[r + 1].firstChunk - 1u : chunkOffsets_.size();
        for (std::size_t chunk = run.firstChunk - 1u; chunk < end; ++chunk) {
            ChunkSpan span{firstSample, run.samplesPerChunk, 0, run.descriptionIndex};
            if (uniformSampleSize_ != 0) {
                span.byteCount = span.sampleCount * uniformSampleSize_;
            } else {
                for (uint64_t s = 0; s < span.sampleCount; ++s) {
                    span.byteCount += sampleSizes_[firstSample + s];
                }
            }
            if (!visit(chunk, span)) {
                return;
            }
            firstSample += span.sampleCount;
        }
    }
}

void Track::checkChunks() const {
    const uint64_t available = source_->size();
    forEachChunk([&](std::size_t chunk, const ChunkSpan& span) {
        uint64_t offset = chunkOffsets_[chunk];
        if (offset > available || span.byteCount > available - offset) {
            malformed("Chunk " + std::to_string(chunk + 1) + " of track " + std::to_string(trackID_) + " (" +
                      std::to_string(span.byteCount) + " bytes at offset " + std::to_string(offset) +
                      ") lies beyond the end of the movie (" + std::to_string(available) + " bytes).");
        }
        return true;
    });
}

MediaTime Track::mediaDuration() const {
    if (mediaDuration_ > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return MediaTime::invalid();
    }
    return MediaTime::make(static_cast<int64_t>(mediaDuration_), static_cast<int32_t>(mediaTimescale_));
}

TimeRange Track::timeRange() const {
    auto scale = static_cast<int32_t>(movieTimescale_);
    auto clamp = [](uint64_t v) { return static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX)); };
    return TimeRange{MediaTime::make(clamp(emptyEditDuration_), scale),
                     MediaTime::make(clamp(trackDuration_ - emptyEditDuration_), scale)};
}

std::optional<MediaTime> Track::minSampleDuration() const {
    std::optional<uint32_t> shortest;
    for (const auto& run : timeToSample_) {
        if (run.count > 0 && run.delta > 0 && (!shortest || run.delta < *shortest)) {
            shortest = run.delta;
        }
    }
    if (!shortest) {
        return std::nullopt;
    }
    return MediaTime::make(*shortest, static_cast<int32_t>(mediaTimescale_));
}

double Track::nominalFrameRate() const {
    if (mediaDuration_ == 0) {
        return 0.0;
    }
    return static_cast<double>(sampleCount_) * mediaTimescale_ / static_cast<double>(mediaDuration_);
}

void Track::forEachSample(const std::function<bool(const SampleInfo&)>& visit) const {
    std::size_t run = 0;
    uint32_t leftInRun = timeToSample_.empty() ? 0 : timeToSample_[0].count;
    uint64_t decodeTime = 0;
    forEachChunk([&](std::size_t chunk, const ChunkSpan& span) {
        uint64_t offset = chunkOffsets_[chunk];
        for (uint64_t s = 0; s < span.sampleCount; ++s) {
            while (leftInRun == 0) {  // the tables agree on the count, so a run with samples remains
                leftInRun = timeToSample_[++run].count;
            }
            --leftInRun;
            SampleInfo info{span.firstSample + s, offset, sampleSize(span.firstSample + s), timeToSample_[run].delta,
                            decodeTime, span.descriptionIndex};
            if (!visit(info)) {
                return false;
            }
            offset += info.size;
            decodeTime += info.duration;
        }
        return true;
    });
}

std::vector<SampleInfo> Track::samples(std::size_t maximumCount) const {
    std::vector<SampleInfo> list;
    list.reserve(static_cast<std::size_t>(std::min<uint64_t>({sampleCount_, maximumCount, 4096})));
    forEachSample([&](const SampleInfo& info) {
        if (list.size() >= maximumCount) {
            return false;
        }
        list.push_back(info);
        return true;
    });
    return list;
}

std::vector<uint8_t> Track::sampleData(const SampleInfo& sample) const {
    switch (home_) {
    case DataHome::external:
        throw MovieError(MovieError::Case::unsupported,
                         "The samples of track " + std::to_string(trackID_) + " are in another file.");
    case DataHome::own:
    case DataHome::movie:
        break;
    }
    return source_->readVector(sample.offset, sample.size);
}

std::vector<uint32_t> Track::references(FourCC type) const {
    std::vector<uint32_t> ids;
    if (const Atom* list = trak_.find({fourCC("tref"), type})) {
        for (std::size_t i = 0; i + 4 <= list->data.size(); i += 4) {
            ids.push_back(detail::getU32(list->data.data() + i));
        }
    }
    return ids;
}

void Track::addReference(FourCC type, uint32_t trackID) {
    auto existing = references(type);
    if (std::find(existing.begin(), existing.end(), trackID) != existing.end()) {
        return;
    }
    Atom* tref = trak_.child(fourCC("tref"));
    if (tref == nullptr) {
        auto mdia = std::find_if(trak_.children.begin(), trak_.children.end(),
                                 [](const Atom& a) { return a.type == fourCC("mdia"); });
        tref = &*trak_.children.insert(mdia, Atom::box(fourCC("tref"), {}));
    }
    Atom* list = tref->child(type);
    if (list == nullptr) {
        tref->children.push_back(Atom::leaf(type, {}));
        list = &tref->children.back();
    }
    list->data.resize(list->data.size() / 4 * 4);
    detail::putU32(list->data, trackID);
}

void Track::removeReferencesTo(uint32_t trackID) {
    Atom* tref = trak_.child(fourCC("tref"));
    if (tref == nullptr) {
        return;
    }
    for (auto& list : tref->children) {
        std::vector<uint8_t> kept;
        for (std::size_t i = 0; i + 4 <= list.data.size(); i += 4) {
            if (detail::getU32(list.data.data() + i) != trackID) {
                kept.insert(kept.end(), list.data.begin() + static_cast<std::ptrdiff_t>(i),
                            list.data.begin() + static_cast<std::ptrdiff_t>(i + 4));
            }
        }
        list.data = std::move(kept);
    }
    std::erase_if(tref->children, [](const Atom& list) { return list.data.empty(); });
    if (tref->children.empty()) {
        std::erase_if(trak_.children, [](const Atom& a) { return a.type == fourCC("tref"); });
    }
}

}  // namespace movie
