#include "timecode/movie.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "counting.hpp"

namespace timecode {

namespace {

constexpr uint32_t kMoov = fourCC("moov"), kTrak = fourCC("trak"), kMdia = fourCC("mdia"), kMinf = fourCC("minf"),
                   kStbl = fourCC("stbl"), kMvhd = fourCC("mvhd"), kTkhd = fourCC("tkhd"), kMdhd = fourCC("mdhd"),
                   kHdlr = fourCC("hdlr"), kStsd = fourCC("stsd"), kStts = fourCC("stts"), kStsc = fourCC("stsc"),
                   kStsz = fourCC("stsz"), kStco = fourCC("stco"), kCo64 = fourCC("co64"), kTref = fourCC("tref"),
                   kTmcd = fourCC("tmcd"), kTc64 = fourCC("tc64"), kVide = fourCC("vide"), kMdat = fourCC("mdat"),
                   kFiel = fourCC("fiel"), kGmhd = fourCC("gmhd"), kDinf = fourCC("dinf"), kFtyp = fourCC("ftyp");

// Samples a movie may list at most (a guard against counts no file could hold).
constexpr uint64_t maxSamples = 1u << 24;

[[noreturn]] void corrupt(const std::string& what) {
    throw TimecodeMediaParseError(TimecodeMediaParseError::Case::internalError, "The movie is malformed: " + what + ".");
}

bool isContainerType(uint32_t t) {
    return t == kMoov || t == kTrak || t == kMdia || t == kMinf || t == kStbl || t == kDinf || t == kTref ||
           t == kGmhd || t == fourCC("edts") || t == fourCC("udta");
}

class Bytes {
  public:
    explicit Bytes(std::span<const uint8_t> b) : b_(b) {}
    size_t size() const { return b_.size(); }
    uint64_t be(size_t at, size_t n) const {
        if (at > b_.size() || n > b_.size() - at) corrupt("a field runs past the end of its atom");
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v = (v << 8) | b_[at + i];
        return v;
    }
    uint32_t u32(size_t at) const { return static_cast<uint32_t>(be(at, 4)); }
    uint64_t u64(size_t at) const { return be(at, 8); }
    uint16_t u16(size_t at) const { return static_cast<uint16_t>(be(at, 2)); }
    uint8_t u8(size_t at) const { return static_cast<uint8_t>(be(at, 1)); }

  private:
    std::span<const uint8_t> b_;
};

void put(std::vector<uint8_t>& out, uint64_t v, size_t n) {
    for (size_t i = n; i-- > 0;) out.push_back(i >= 8 ? 0 : static_cast<uint8_t>(v >> (8 * i)));
}

void setAt(std::vector<uint8_t>& out, size_t at, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
}

struct Located {
    Atom atom;
    uint64_t start;  // of the header
    uint64_t size;   // header included
};

// The atoms in `bytes` from `begin` to `end`; containers are parsed down to `depth` levels.
std::vector<Located> parseAtoms(std::span<const uint8_t> bytes, uint64_t begin, uint64_t end, int depth,
                                bool top = false) {
    std::vector<Located> out;
    Bytes b(bytes);
    uint64_t at = begin;
    while (at < end) {
        if (end - at < 8) corrupt("a truncated atom header");
        uint64_t size = b.u32(at);
        const uint32_t type = b.u32(at + 4);
        uint64_t header = 8;
        if (size == 1) {
            if (end - at < 16) corrupt("a truncated 64-bit atom size");
            size = b.u64(at + 8);
            header = 16;
        } else if (size == 0) {
            if (!top) corrupt("an atom without a size inside another");
            size = end - at;  // to the end of the file
        }
        if (size < header || size > end - at) corrupt("an atom larger than its container");
        Located l{Atom{type, {}, {}, false}, at, size};
        if (isContainerType(type) && type != kMdat) {
            if (depth > 16) corrupt("atoms nested too deeply");
            l.atom.isContainer = true;
            for (auto& child : parseAtoms(bytes, at + header, at + size, depth + 1)) l.atom.children.push_back(std::move(child.atom));
        } else if (type != kMdat) {
            l.atom.payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + header),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        }
        out.push_back(std::move(l));
        at += size;
    }
    return out;
}

void serialize(const Atom& a, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    put(out, 0, 4);
    put(out, a.type, 4);
    if (a.isContainer) {
        for (const auto& c : a.children) serialize(c, out);
    } else {
        out.insert(out.end(), a.payload.begin(), a.payload.end());
    }
    const uint64_t size = out.size() - start;
    if (size > UINT32_MAX) throw TimecodeMediaWriteError("An atom is too large to write.");
    setAt(out, start, size, 4);
}

Atom leaf(uint32_t type, std::vector<uint8_t> payload) { return Atom{type, std::move(payload), {}, false}; }
Atom container(uint32_t type, std::vector<Atom> children) { return Atom{type, {}, std::move(children), true}; }

// The chunk offsets of a sample table.
std::vector<uint64_t> chunkOffsets(const Atom& stbl) {
    std::vector<uint64_t> offsets;
    if (const Atom* stco = stbl.child(kStco)) {
        Bytes b(stco->payload);
        const uint64_t n = b.u32(4);
        if (n > (b.size() - 8) / 4) corrupt("a chunk offset count beyond its atom");
        for (uint64_t i = 0; i < n; ++i) offsets.push_back(b.u32(8 + 4 * i));
    } else if (const Atom* co64 = stbl.child(kCo64)) {
        Bytes b(co64->payload);
        const uint64_t n = b.u32(4);
        if (n > (b.size() - 8) / 8) corrupt("a chunk offset count beyond its atom");
        for (uint64_t i = 0; i < n; ++i) offsets.push_back(b.u64(8 + 8 * i));
    }
    return offsets;
}

void setChunkOffsets(Atom& stbl, const std::vector<uint64_t>& offsets) {
    const bool wide = std::any_of(offsets.begin(), offsets.end(), [](uint64_t o) { return o > UINT32_MAX; });
    std::vector<uint8_t> p;
    put(p, 0, 4);
    put(p, offsets.size(), 4);
    for (uint64_t o : offsets) put(p, o, wide ? 8 : 4);
    auto& children = stbl.children;
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [](const Atom& a) { return a.type == kStco || a.type == kCo64; }),
                   children.end());
    children.push_back(leaf(wide ? kCo64 : kStco, std::move(p)));
}

MovieTrack readTrack(const Atom& trak, uint64_t fileSize) {
    MovieTrack t;
    const Atom* tkhd = trak.child(kTkhd);
    const Atom* mdia = trak.child(kMdia);
    if (!tkhd || !mdia) corrupt("a track without header or media");
    Bytes th(tkhd->payload);
    t.trackID = th.u8(0) == 1 ? th.u32(20) : th.u32(12);
    const Atom* mdhd = mdia->child(kMdhd);
    const Atom* hdlr = mdia->child(kHdlr);
    const Atom* minf = mdia->child(kMinf);
    if (!mdhd || !hdlr || !minf) corrupt("a track without media header, handler or media information");
    Bytes mh(mdhd->payload);
    if (mh.u8(0) == 1) {
        t.mediaTimescale = mh.u32(20);
        t.mediaDuration = mh.u64(24);
    } else {
        t.mediaTimescale = mh.u32(12);
        t.mediaDuration = mh.u32(16);
    }
    if (t.mediaTimescale == 0) corrupt("a media timescale of 0");
    t.handler = Bytes(hdlr->payload).u32(8);
    const Atom* stbl = minf->child(kStbl);
    if (!stbl) return t;

    if (const Atom* stsd = stbl->child(kStsd)) {
        Bytes sd(stsd->payload);
        const uint32_t n = sd.u32(4);
        size_t at = 8;
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t size = sd.u32(at);
            if (size < 16 || size > sd.size() - at) corrupt("a sample description larger than its atom");
            const uint32_t format = sd.u32(at + 4);
            t.sampleFormats.push_back(format);
            if ((format == kTmcd || format == kTc64) && !t.timecodeDescription && size >= 34) {
                t.timecodeDescription = TimecodeSampleDescription{sd.u32(at + 20), sd.u32(at + 24), sd.u32(at + 28),
                                                                  sd.u8(at + 32)};
                if (t.timecodeDescription->timescale == 0) corrupt("a timecode timescale of 0");
            }
            if (t.handler == kVide && size > 86) {
                // Video sample entries carry child atoms after 78 bytes of fields.
                std::span<const uint8_t> entry(stsd->payload.data() + at, size);
                try {
                    for (const auto& c : parseAtoms(entry, 86, size, 17))
                        if (c.atom.type == kFiel && !c.atom.payload.empty()) t.fieldCount = c.atom.payload[0];
                } catch (const TimecodeMediaParseError&) {
                    // extensions that do not parse as atoms carry no field count
                }
            }
            at += size;
        }
    }

    // Sample sizes, chunks and durations.
    std::vector<uint32_t> sizes;
    if (const Atom* stsz = stbl->child(kStsz)) {
        Bytes sz(stsz->payload);
        const uint32_t fixed = sz.u32(4);
        const uint64_t n = sz.u32(8);
        if (n > maxSamples) corrupt("a sample count beyond what the movie can hold");
        if (fixed == 0 && n > (sz.size() - 12) / 4) corrupt("a sample size count beyond its atom");
        for (uint64_t i = 0; i < n; ++i) sizes.push_back(fixed != 0 ? fixed : sz.u32(12 + 4 * i));
    }
    const std::vector<uint64_t> chunks = chunkOffsets(*stbl);
    struct Run {
        uint32_t firstChunk, perChunk, description;
    };
    std::vector<Run> runs;
    if (const Atom* stsc = stbl->child(kStsc)) {
        Bytes sc(stsc->payload);
        const uint64_t n = sc.u32(4);
        if (n > (sc.size() - 8) / 12) corrupt("a sample-to-chunk count beyond its atom");
        for (uint64_t i = 0; i < n; ++i) runs.push_back({sc.u32(8 + 12 * i), sc.u32(12 + 12 * i), sc.u32(16 + 12 * i)});
    }
    size_t sample = 0;
    for (size_t r = 0; r < runs.size() && sample < sizes.size(); ++r) {
        const uint64_t first = runs[r].firstChunk;
        const uint64_t last = r + 1 < runs.size() ? runs[r + 1].firstChunk : chunks.size() + 1;
        if (first == 0 || last < first) corrupt("a sample-to-chunk table out of order");
        for (uint64_t chunk = first; chunk < last && sample < sizes.size(); ++chunk) {
            if (chunk > chunks.size()) corrupt("a sample in a chunk that does not exist");
            uint64_t offset = chunks[chunk - 1];
            for (uint32_t k = 0; k < runs[r].perChunk && sample < sizes.size(); ++k, ++sample) {
                if (offset > fileSize || sizes[sample] > fileSize - offset) corrupt("sample data beyond the file");
                t.samples.push_back({offset, sizes[sample], 0, runs[r].description});
                offset += sizes[sample];
            }
        }
    }
    if (const Atom* stts = stbl->child(kStts)) {
        Bytes ts(stts->payload);
        const uint64_t n = ts.u32(4);
        if (n > (ts.size() - 8) / 8) corrupt("a time-to-sample count beyond its atom");
        size_t s = 0;
        for (uint64_t i = 0; i < n && s < t.samples.size(); ++i) {
            const uint32_t count = ts.u32(8 + 8 * i), delta = ts.u32(12 + 8 * i);
            for (uint32_t k = 0; k < count && s < t.samples.size(); ++k) t.samples[s++].duration = delta;
        }
    }
    return t;
}

[[noreturn]] void noFrameRate() {
    throw TimecodeMediaParseError(TimecodeMediaParseError::Case::missingOrNonStandardFrameRate,
                                  "The movie has no standard frame rate.");
}

}  // namespace

Atom* Atom::child(uint32_t t) {
    for (auto& c : children)
        if (c.type == t) return &c;
    return nullptr;
}

const Atom* Atom::child(uint32_t t) const { return const_cast<Atom*>(this)->child(t); }

std::optional<Fraction> MovieTrack::minFrameDuration() const {
    uint32_t least = 0;
    for (const auto& s : samples)
        if (s.duration != 0 && (least == 0 || s.duration < least)) least = s.duration;
    if (least == 0) return std::nullopt;
    return Fraction(least, mediaTimescale);
}

double MovieTrack::nominalFrameRate() const {
    if (mediaDuration == 0) return 0;
    return static_cast<double>(samples.size()) * mediaTimescale / static_cast<double>(mediaDuration);
}

Movie Movie::load(std::span<const uint8_t> bytes) {
    Movie m;
    m.file_.assign(bytes.begin(), bytes.end());
    for (auto& l : parseAtoms(m.file_, 0, m.file_.size(), 0, true)) m.atoms_.push_back(std::move(l.atom));
    m.index();
    return m;
}

Movie Movie::loadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) corrupt("the file " + path.string() + " cannot be read");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return load(bytes);
}

void Movie::index() {
    tracks_.clear();
    const Atom* moov = nullptr;
    for (const auto& a : atoms_)
        if (a.type == kMoov) moov = &a;
    if (!moov) corrupt("no movie atom");
    const Atom* mvhd = moov->child(kMvhd);
    if (!mvhd) corrupt("no movie header");
    Bytes mh(mvhd->payload);
    if (mh.u8(0) == 1) {
        timescale_ = mh.u32(20);
        duration_ = mh.u64(24);
    } else {
        timescale_ = mh.u32(12);
        duration_ = mh.u32(16);
    }
    if (timescale_ == 0) corrupt("a movie timescale of 0");
    const uint64_t extent = file_.size() + addedData_.size();
    for (const auto& c : moov->children)
        if (c.type == kTrak) tracks_.push_back(readTrack(c, extent));
}

std::vector<uint8_t> Movie::save() const {
    // Layout: the loaded atoms other than the movie atom, byte for byte in their order; an mdat
    // with the added sample data; the movie atom last, its chunk offsets moved to match.
    std::vector<uint8_t> out;
    struct Moved {
        uint64_t oldStart, oldEnd, newStart;
    };
    std::vector<Moved> moved;
    if (!file_.empty()) {
        for (const auto& l : parseAtoms(file_, 0, file_.size(), 0, true)) {
            if (l.atom.type == kMoov) continue;
            moved.push_back({l.start, l.start + l.size, out.size()});
            out.insert(out.end(), file_.begin() + static_cast<std::ptrdiff_t>(l.start),
                       file_.begin() + static_cast<std::ptrdiff_t>(l.start + l.size));
        }
    }
    uint64_t addedStart = 0;
    if (!addedData_.empty()) {
        put(out, addedData_.size() + 8, 4);
        put(out, kMdat, 4);
        addedStart = out.size();
        out.insert(out.end(), addedData_.begin(), addedData_.end());
    }
    auto relocate = [&](uint64_t o) -> uint64_t {
        if (o >= file_.size()) return addedStart + (o - file_.size());
        for (const auto& m : moved)
            if (o >= m.oldStart && o < m.oldEnd) return m.newStart + (o - m.oldStart);
        throw TimecodeMediaWriteError("A chunk offset points into the movie atom.");
    };
    for (Atom moov : atoms_) {
        if (moov.type != kMoov) continue;
        for (auto& trak : moov.children) {
            if (trak.type != kTrak) continue;
            Atom* stbl = trak.child(kMdia) ? trak.child(kMdia)->child(kMinf) : nullptr;
            stbl = stbl ? stbl->child(kStbl) : nullptr;
            if (!stbl) continue;
            auto offsets = chunkOffsets(*stbl);
            for (auto& o : offsets) o = relocate(o);
            setChunkOffsets(*stbl, offsets);
        }
        serialize(moov, out);
    }
    return out;
}

void Movie::saveFile(const std::filesystem::path& path) const {
    const auto bytes = save();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw TimecodeMediaWriteError("The movie cannot be written to " + path.string() + ".");
}

// ---- reading timecode ----

TimecodeFrameRate Movie::timecodeFrameRate(std::optional<bool> drop) const {
    if (!drop) {
        drop = false;
        for (const auto& t : tracks_)
            if (t.handler == kTmcd && t.timecodeDescription && t.timecodeDescription->isDrop()) drop = true;
    }
    for (const auto& t : tracks_) {
        if (t.handler != kVide) continue;
        if (auto d = t.minFrameDuration()) {
            if (auto r = TimecodeFrameRate::fromFrameDuration(*d, *drop)) return *r;
            break;
        }
    }
    for (const auto& t : tracks_) {
        if (t.handler != kTmcd || !t.timecodeDescription) continue;
        const Fraction d(t.timecodeDescription->frameDuration, t.timecodeDescription->timescale);
        if (auto r = TimecodeFrameRate::fromFrameDuration(d, *drop)) return *r;
        break;
    }
    if (auto r = videoFrameRate().timecodeFrameRate(*drop)) return *r;
    noFrameRate();
}

VideoFrameRate Movie::videoFrameRate(std::optional<bool> interlaced) const {
    const bool fields = interlaced.value_or(isVideoInterlaced());
    for (const auto& t : tracks_) {
        if (t.handler != kVide) continue;
        if (auto d = t.minFrameDuration()) {
            if (auto r = VideoFrameRate::fromFrameDuration(*d, fields)) return *r;
            break;
        }
    }
    for (const auto& t : tracks_) {
        if (t.handler != kVide) continue;
        if (auto r = VideoFrameRate::fromFPS(t.nominalFrameRate(), fields)) return *r;
    }
    noFrameRate();
}

bool Movie::isVideoInterlaced() const {
    for (const auto& t : tracks_)
        if (t.handler == kVide) return t.fieldCount.value_or(1) > 1;
    return false;
}

Timecode timecodeOfSample(uint64_t frameNumber, TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base,
                          StringFormat format) {
    if (frameNumber > static_cast<uint64_t>(rate.maxFrameIndex(limit)))
        detail::throwOutOfBounds("the sample's frame number lies beyond the upper limit");
    return Timecode::rawValues(FrameCount::Value::frames(static_cast<int64_t>(frameNumber)), rate, limit, base, format);
}

std::vector<std::vector<Timecode>> Movie::timecodeSamples(std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                                                          SubFramesBase base, StringFormat stringFormat) const {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate();
    std::vector<std::vector<Timecode>> all;
    for (const auto& t : tracks_) {
        if (t.handler != kTmcd) continue;
        std::vector<Timecode> list;
        for (const auto& s : t.samples) {
            if (s.size == 0) continue;  // an empty sample holds no timecode
            const size_t d = s.descriptionIndex;
            if (d == 0 || d > t.sampleFormats.size())
                throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode,
                                              "A timecode sample has no sample description.");
            const uint32_t format = t.sampleFormats[d - 1];
            // 'tmcd' samples hold 32-bit frame numbers, 'tc64' samples 64-bit ones, big-endian.
            const size_t width = format == kTmcd ? 4 : format == kTc64 ? 8 : 0;
            if (width == 0)
                throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode,
                                              "A timecode sample has an unknown format.");
            for (size_t at = 0; at + width <= s.size; at += width) {
                const uint64_t o = s.offset + at;
                const std::vector<uint8_t>& src = o >= file_.size() ? addedData_ : file_;
                const uint64_t local = o >= file_.size() ? o - file_.size() : o;
                list.push_back(timecodeOfSample(Bytes(src).be(local, width), r, limit, base, stringFormat));
            }
        }
        all.push_back(std::move(list));
    }
    return all;
}

std::optional<Timecode> Movie::startTimecode(std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                                             SubFramesBase base, StringFormat format) const {
    for (auto& list : timecodeSamples(rate, limit, base, format))
        if (!list.empty()) return list.front();
    return std::nullopt;
}

Timecode timecodeOfMediaTime(const MediaTime& time, TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base,
                             StringFormat format) {
    if (!time.isNumeric()) detail::throwOutOfBounds("the media time is not numeric");
    const Fraction d = rate.frameDuration();
    const double frames = (static_cast<double>(time.value()) * static_cast<double>(d.denominator())) /
                          (static_cast<double>(d.numerator()) * static_cast<double>(time.timescale()));
    return Timecode::fromFrameCount(FrameCount::Value::combined(frames), rate, limit, base, format);
}

Timecode Movie::durationTimecode(std::optional<TimecodeFrameRate> rate, UpperLimit limit, SubFramesBase base,
                                 StringFormat format) const {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate();
    if (duration_ > static_cast<uint64_t>(INT64_MAX)) detail::throwOutOfBounds("the movie duration");
    return timecodeOfMediaTime(MediaTime::make(static_cast<int64_t>(duration_), static_cast<int32_t>(std::min<uint64_t>(timescale_, INT32_MAX))),
                               r, limit, base, format);
}

std::optional<Timecode> Movie::endTimecode(std::optional<TimecodeFrameRate> rate, UpperLimit limit, SubFramesBase base,
                                           StringFormat format) const {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate();
    auto start = startTimecode(r, limit, base, format);
    if (!start) return std::nullopt;
    return *start + durationTimecode(r, limit, base, format);
}

Timecode Movie::startTimecodeOrThrow(std::optional<TimecodeFrameRate> rate, UpperLimit limit, SubFramesBase base,
                                     StringFormat format) const {
    if (auto t = startTimecode(rate, limit, base, format)) return *t;
    throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode, "The movie has no timecode.");
}

Timecode Movie::endTimecodeOrThrow(std::optional<TimecodeFrameRate> rate, UpperLimit limit, SubFramesBase base,
                                   StringFormat format) const {
    if (auto t = endTimecode(rate, limit, base, format)) return *t;
    throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode, "The movie has no timecode.");
}

std::pair<Timecode, Timecode> timecodeRange(const MediaTime& start, const MediaTime& end, TimecodeFrameRate rate,
                                            UpperLimit limit, SubFramesBase base, StringFormat format) {
    if (!start.isNumeric() || !end.isNumeric() ||
        detail::Int128(start.value()) * end.timescale() > detail::Int128(end.value()) * start.timescale())
        throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode, "The time range is not valid.");
    return {timecodeOfMediaTime(start, rate, limit, base, format), timecodeOfMediaTime(end, rate, limit, base, format)};
}

std::pair<Timecode, Timecode> Movie::timecodeRange(const MovieTrack& track, std::optional<TimecodeFrameRate> rate,
                                                   UpperLimit limit, SubFramesBase base, StringFormat format) const {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate();
    if (track.mediaDuration > static_cast<uint64_t>(INT64_MAX) || track.mediaTimescale > static_cast<uint32_t>(INT32_MAX))
        detail::throwOutOfBounds("the track's time range");
    const auto ts = static_cast<int32_t>(track.mediaTimescale);
    return timecode::timecodeRange(MediaTime::make(0, ts), MediaTime::make(static_cast<int64_t>(track.mediaDuration), ts),
                                   r, limit, base, format);
}

Timecode Movie::durationTimecode(const MovieTrack& track, std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                                 SubFramesBase base, StringFormat format) const {
    const auto [lower, upper] = timecodeRange(track, rate, limit, base, format);
    return upper - lower;
}

TimecodeSampleDescription timecodeSampleDescription(const Timecode& timecode) {
    const Fraction frame = timecode.frameRate.frameDuration();
    uint32_t flags = 0;
    if (timecode.upperLimit == UpperLimit::_24hours) flags |= 2;
    if (timecode.frameRate.isDrop()) flags |= 1;
    return {flags, static_cast<uint32_t>(frame.denominator()), static_cast<uint32_t>(frame.numerator()),
            static_cast<uint8_t>(timecode.frameRate.timecodeBase())};
}

// ---- writing ----

const MovieTrack& Movie::replaceTimecodeTrack(const Timecode& start, std::optional<Timecode> duration) {
    for (auto& a : atoms_) {
        if (a.type != kMoov) continue;
        auto& c = a.children;
        c.erase(std::remove_if(c.begin(), c.end(),
                               [](const Atom& trak) {
                                   if (trak.type != kTrak || !trak.child(kMdia)) return false;
                                   const Atom* hdlr = trak.child(kMdia)->child(kHdlr);
                                   return hdlr && hdlr->payload.size() >= 12 && Bytes(hdlr->payload).u32(8) == kTmcd;
                               }),
                c.end());
    }
    index();
    if (!duration)
        duration = durationTimecode(std::nullopt, UpperLimit::_24hours, SubFramesBase::_100SubFrames, StringFormat{});
    return addTimecodeTrack(start, duration);
}

const MovieTrack& Movie::addTimecodeTrack(const Timecode& start, std::optional<Timecode> duration) {
    if (!duration)
        duration = durationTimecode(std::nullopt, UpperLimit::_24hours, SubFramesBase::_100SubFrames, StringFormat{});
    Atom* moov = nullptr;
    for (auto& a : atoms_)
        if (a.type == kMoov) moov = &a;
    if (!moov) throw TimecodeMediaWriteError("The movie has no movie atom.");

    const int64_t startFrame = start.frameCount().wholeFrames();
    if (startFrame < 0 || startFrame > UINT32_MAX) throw TimecodeMediaWriteError("The start frame has no 32-bit value.");
    const TimecodeFrameRate rate = start.frameRate;
    const Fraction frame = rate.frameDuration();
    const uint32_t mediaTimescale = static_cast<uint32_t>(frame.denominator());

    // The sample lasts the duration: (num x subframes) / (den x divisor) seconds.
    const Fraction dFrame = duration->frameRate.frameDuration();
    const detail::Int128 k = duration->frameCount().subFrameCount();
    const detail::Int128 num = detail::Int128(dFrame.numerator()) * k;
    const detail::Int128 den = detail::Int128(dFrame.denominator()) * divisor(duration->subFramesBase);
    const uint64_t mediaUnits = static_cast<uint64_t>(num * mediaTimescale / den);
    const uint64_t movieUnits = static_cast<uint64_t>(num * timescale_ / den);
    if (mediaUnits > UINT32_MAX || movieUnits > UINT32_MAX) throw TimecodeMediaWriteError("The duration is too long.");

    uint32_t trackID = 1;
    for (const auto& t : tracks_) trackID = std::max(trackID, t.trackID + 1);

    std::vector<uint8_t> tkhd;
    put(tkhd, 0x00000003, 4);  // version 0, enabled and in the movie
    put(tkhd, 0, 8);
    put(tkhd, trackID, 4);
    put(tkhd, 0, 4);
    put(tkhd, movieUnits, 4);
    put(tkhd, 0, 16);  // reserved, layer, alternate group, volume, reserved
    for (uint32_t m : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) put(tkhd, m, 4);
    put(tkhd, 0, 8);  // width, height

    std::vector<uint8_t> mdhd;
    put(mdhd, 0, 12);
    put(mdhd, mediaTimescale, 4);
    put(mdhd, mediaUnits, 4);
    put(mdhd, 0x55C4, 2);  // language "und"
    put(mdhd, 0, 2);

    std::vector<uint8_t> hdlr;
    put(hdlr, 0, 4);
    put(hdlr, fourCC("mhlr"), 4);
    put(hdlr, kTmcd, 4);
    put(hdlr, 0, 12);
    const std::string name = "TimeCodeHandler";
    hdlr.push_back(static_cast<uint8_t>(name.size()));
    hdlr.insert(hdlr.end(), name.begin(), name.end());

    std::vector<uint8_t> gmin;
    put(gmin, 0, 4);
    put(gmin, 0x0040, 2);
    put(gmin, 0x8000, 2);
    put(gmin, 0x8000, 2);
    put(gmin, 0x8000, 2);
    put(gmin, 0, 4);
    std::vector<uint8_t> tcmi;
    put(tcmi, 0, 4);
    put(tcmi, 0, 8);  // font, face, size, reserved
    put(tcmi, 0, 6);  // text colour black
    put(tcmi, 0xFFFFFFFFFFFF, 6);  // background white
    tcmi.push_back(0);

    std::vector<uint8_t> dref;
    put(dref, 0, 4);
    put(dref, 1, 4);
    put(dref, 12, 4);
    put(dref, fourCC("alis"), 4);
    put(dref, 1, 4);  // the data is in this file

    const TimecodeSampleDescription description = timecodeSampleDescription(start);
    std::vector<uint8_t> stsd;
    put(stsd, 0, 4);
    put(stsd, 1, 4);
    put(stsd, 36, 4);
    put(stsd, kTmcd, 4);
    put(stsd, 0, 6);
    put(stsd, 1, 2);
    put(stsd, 0, 4);
    put(stsd, description.flags, 4);
    put(stsd, description.timescale, 4);
    put(stsd, description.frameDuration, 4);
    stsd.push_back(description.numberOfFrames);
    put(stsd, 0, 3);  // reserved, and padding to the entry's 36 bytes

    std::vector<uint8_t> stts, stsc, stsz, stco;
    put(stts, 0, 4);
    put(stts, 1, 4);
    put(stts, 1, 4);
    put(stts, mediaUnits, 4);
    put(stsc, 0, 4);
    put(stsc, 1, 4);
    for (uint32_t v : {1u, 1u, 1u}) put(stsc, v, 4);
    put(stsz, 0, 4);
    put(stsz, 4, 4);
    put(stsz, 1, 4);
    // The sample goes after the loaded bytes; save() moves the offset to its place.
    const uint64_t offset = file_.size() + addedData_.size();
    put(addedData_, static_cast<uint64_t>(startFrame), 4);
    put(stco, 0, 4);
    put(stco, 1, 4);
    put(stco, 0, 4);
    Atom stbl = container(kStbl, {leaf(kStsd, stsd), leaf(kStts, stts), leaf(kStsc, stsc), leaf(kStsz, stsz),
                                  leaf(kStco, stco)});
    setChunkOffsets(stbl, {offset});
    Atom minf = container(kMinf, {container(kGmhd, {leaf(fourCC("gmin"), gmin), container(kTmcd, {leaf(fourCC("tcmi"), tcmi)})}),
                                  container(kDinf, {leaf(fourCC("dref"), dref)}), std::move(stbl)});
    Atom trak = container(kTrak, {leaf(kTkhd, tkhd), container(kMdia, {leaf(kMdhd, mdhd), leaf(kHdlr, hdlr), std::move(minf)})});

    // Every video track refers to the new timecode track.
    for (auto& c : moov->children) {
        if (c.type != kTrak || !c.child(kMdia) || !c.child(kMdia)->child(kHdlr)) continue;
        const auto& h = c.child(kMdia)->child(kHdlr)->payload;
        if (h.size() < 12 || Bytes(h).u32(8) != kVide) continue;
        std::vector<uint8_t> ref;
        put(ref, trackID, 4);
        Atom* tref = c.child(kTref);
        if (!tref) {
            c.children.insert(c.children.begin() + 1, container(kTref, {}));
            tref = c.child(kTref);
        }
        if (Atom* tm = tref->child(kTmcd)) {
            tm->payload = ref;
        } else {
            tref->children.push_back(leaf(kTmcd, ref));
        }
    }
    // The movie header's next track ID.
    if (Atom* mvhd = moov->child(kMvhd)) {
        const size_t at = mvhd->payload.empty() || mvhd->payload[0] != 1 ? 96 : 108;
        if (mvhd->payload.size() >= at + 4 && Bytes(mvhd->payload).u32(at) <= trackID)
            setAt(mvhd->payload, at, trackID + 1, 4);
    }
    moov->children.push_back(std::move(trak));
    index();
    return tracks_.back();
}

}  // namespace timecode
