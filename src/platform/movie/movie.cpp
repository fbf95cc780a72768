#include "movie/movie.hpp"

#include "bytes.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <unistd.h>

namespace movie {

using detail::FieldReader;
using detail::malformed;
using detail::putU16;
using detail::putU32;
using detail::putU64;
using detail::putU8;
using detail::putZeros;

namespace {

// A movie header larger than this is refused rather than read into memory.
constexpr uint64_t maximumMovieAtomSize = uint64_t{1} << 30;
constexpr std::size_t copyBlockSize = std::size_t{1} << 20;

[[noreturn]] void invalidArgument(const std::string& message) {
    throw MovieError(MovieError::Case::invalidArgument, message);
}

// The payload of a full atom: version, flags, then the fields.
std::vector<uint8_t> fullAtomPayload(uint8_t version, uint32_t flags) {
    std::vector<uint8_t> payload;
    putU8(payload, version);
    putU8(payload, static_cast<uint8_t>(flags >> 16));
    putU16(payload, static_cast<uint16_t>(flags));
    return payload;
}

void putPascalString(std::vector<uint8_t>& out, const std::string& text) {
    std::size_t length = std::min<std::size_t>(text.size(), 255);
    putU8(out, static_cast<uint8_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

void putMatrix(std::vector<uint8_t>& out) {
    for (uint32_t value : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) {
        putU32(out, value);
    }
}

Atom handler(FourCC componentType, FourCC subtype, const std::string& name) {
    auto payload = fullAtomPayload(0, 0);
    putU32(payload, componentType);
    putU32(payload, subtype);
    putZeros(payload, 12);  // manufacturer, flags, flags mask
    putPascalString(payload, name);
    return Atom::leaf(fourCC("hdlr"), std::move(payload));
}

std::vector<uint8_t> serialized(const Atom& atom) {
    std::vector<uint8_t> bytes;
    atom.appendTo(bytes);
    return bytes;
}

Atom mediaInformationHeader(FourCC mediaType) {
    if (mediaType == mediatype::video) {
        auto payload = fullAtomPayload(0, 1);
        putZeros(payload, 8);  // graphics mode, opcolor
        return Atom::leaf(fourCC("vmhd"), std::move(payload));
    }
    if (mediaType == mediatype::sound) {
        auto payload = fullAtomPayload(0, 0);
        putZeros(payload, 4);  // balance, reserved
        return Atom::leaf(fourCC("smhd"), std::move(payload));
    }
    auto gmin = fullAtomPayload(0, 0);
    putU16(gmin, 0x0040);  // graphics mode: dither copy
    for (int i = 0; i < 3; ++i) {
        putU16(gmin, 0x8000);  // opcolor
    }
    putZeros(gmin, 4);  // balance, reserved
    std::vector<Atom> parts{Atom::leaf(fourCC("gmin"), std::move(gmin))};
    if (mediaType == mediatype::timecode) {
        auto tcmi = fullAtomPayload(0, 0);
        putU16(tcmi, 0);   // text font
        putU16(tcmi, 0);   // text face
        putU16(tcmi, 12);  // text size
        putU16(tcmi, 0);
        putZeros(tcmi, 6);  // text colour: black
        for (int i = 0; i < 3; ++i) {
            putU16(tcmi, 0xFFFF);  // background colour: white
        }
        putPascalString(tcmi, "");
        parts.push_back(Atom::box(fourCC("tmcd"), {Atom::leaf(fourCC("tcmi"), std::move(tcmi))}));
    }
    std::vector<uint8_t> payload;
    for (const auto& part : parts) {
        part.appendTo(payload);
    }
    return Atom::leaf(fourCC("gmhd"), std::move(payload));
}

// The chunk offset table of a track, 32-bit or 64-bit.
Atom chunkOffsetTable(const std::vector<uint64_t>& offsets, bool large) {
    auto payload = fullAtomPayload(0, 0);
    putU32(payload, static_cast<uint32_t>(offsets.size()));
    for (uint64_t offset : offsets) {
        if (large) {
            putU64(payload, offset);
        } else {
            putU32(payload, static_cast<uint32_t>(offset));
        }
    }
    return Atom::leaf(large ? fourCC("co64") : fourCC("stco"), std::move(payload));
}

Atom sampleTable(const NewTrack& track) {
    auto stsd = fullAtomPayload(0, 0);
    putU32(stsd, 1);
    putU32(stsd, static_cast<uint32_t>(8 + track.description.body.size()));
    putU32(stsd, track.description.format);
    stsd.insert(stsd.end(), track.description.body.begin(), track.description.body.end());

    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (const auto& sample : track.samples) {
        if (!runs.empty() && runs.back().second == sample.duration) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, sample.duration);
        }
    }
    auto stts = fullAtomPayload(0, 0);
    putU32(stts, static_cast<uint32_t>(runs.size()));
    for (auto [count, delta] : runs) {
        putU32(stts, count);
        putU32(stts, delta);
    }

    auto count = static_cast<uint32_t>(track.samples.size());
    auto stsc = fullAtomPayload(0, 0);
    putU32(stsc, count > 0 ? 1 : 0);
    if (count > 0) {
        putU32(stsc, 1);
        putU32(stsc, count);
        putU32(stsc, 1);
    }

    bool uniform = count > 0 && track.samples.front().bytes.size() > 0 &&
                   std::all_of(track.samples.begin(), track.samples.end(), [&](const NewSample& s) {
                       return s.bytes.size() == track.samples.front().bytes.size();
                   });
    auto stsz = fullAtomPayload(0, 0);
    putU32(stsz, uniform ? static_cast<uint32_t>(track.samples.front().bytes.size()) : 0);
    putU32(stsz, count);
    if (!uniform) {
        for (const auto& sample : track.samples) {
            putU32(stsz, static_cast<uint32_t>(sample.bytes.size()));
        }
    }

    return Atom::box(fourCC("stbl"), {Atom::leaf(fourCC("stsd"), std::move(stsd)),
                                      Atom::leaf(fourCC("stts"), std::move(stts)),
                                      Atom::leaf(fourCC("stsc"), std::move(stsc)),
                                      Atom::leaf(fourCC("stsz"), std::move(stsz)),
                                      chunkOffsetTable(std::vector<uint64_t>(count > 0 ? 1 : 0, 0), false)});
}

Atom trackAtom(const NewTrack& track, uint32_t trackID, uint64_t mediaDuration, uint64_t movieDuration) {
    bool longTrack = movieDuration > std::numeric_limits<uint32_t>::max();
    auto tkhd = fullAtomPayload(longTrack ? 1 : 0, 0x3);  // enabled, in the movie
    putZeros(tkhd, longTrack ? 16 : 8);                    // creation and modification times
    putU32(tkhd, trackID);
    putU32(tkhd, 0);
    if (longTrack) {
        putU64(tkhd, movieDuration);
    } else {
        putU32(tkhd, static_cast<uint32_t>(movieDuration));
    }
    putZeros(tkhd, 8 + 4);  // reserved, layer, alternate group
    putU16(tkhd, track.mediaType == mediatype::sound ? 0x0100 : 0);
    putU16(tkhd, 0);
    putMatrix(tkhd);
    putZeros(tkhd, 8);  // width, height

    bool longMedia = mediaDuration > std::numeric_limits<uint32_t>::max();
    auto mdhd = fullAtomPayload(longMedia ? 1 : 0, 0);
    putZeros(mdhd, longMedia ? 16 : 8);
    putU32(mdhd, track.timescale);
    if (longMedia) {
        putU64(mdhd, mediaDuration);
    } else {
        putU32(mdhd, static_cast<uint32_t>(mediaDuration));
    }
    putZeros(mdhd, 4);  // language, quality

    auto dref = fullAtomPayload(0, 0);
    putU32(dref, 1);
    Atom selfReference = Atom::leaf(fourCC("url "), fullAtomPayload(0, 1));  // data in this file
    selfReference.appendTo(dref);

    Atom minf = Atom::box(fourCC("minf"),
                          {mediaInformationHeader(track.mediaType), handler(fourCC("dhlr"), fourCC("url "), ""),
                           Atom::box(fourCC("dinf"), {Atom::leaf(fourCC("dref"), std::move(dref))}),
                           sampleTable(track)});
    Atom mdia = Atom::box(fourCC("mdia"), {Atom::leaf(fourCC("mdhd"), std::move(mdhd)),
                                           handler(fourCC("mhlr"), track.mediaType, track.handlerName),
                                           std::move(minf)});
    return Atom::box(fourCC("trak"), {Atom::leaf(fourCC("tkhd"), std::move(tkhd)), std::move(mdia)});
}

// Where an atom of the original file's top level goes in the written file.
struct Placement {
    uint64_t oldPayload;  // payload start in the source
    uint64_t payloadSize;
    uint64_t newStart;    // atom start in the written file
    uint64_t newPayload;  // payload start in the written file
    std::vector<uint8_t> header;  // rewritten header, or empty to copy the original one
};

}  // namespace

// What a save writes: the movie atom, where each original top-level atom goes, and the new media
// data atom with the pieces it holds.
struct Movie::Layout {
    std::vector<uint8_t> moov;
    std::vector<Placement> placements;  // parallel to topLevel_ (the movie atom's entry unused)
    struct Piece {
        const detail::ByteSource* source;
        uint64_t offset;
        uint64_t size;
    };
    std::vector<Piece> pieces;  // the payload of the new 'mdat' atom, in order
    uint64_t newDataSize = 0;
};

Movie Movie::load(const std::filesystem::path& path) { return read(detail::fileSource(path)); }

Movie Movie::fromBytes(std::vector<uint8_t> bytes) { return read(detail::memorySource(std::move(bytes))); }

Movie Movie::read(std::shared_ptr<const detail::ByteSource> source) {
    Movie movie;
    movie.source_ = source;
    const uint64_t total = source->size();
    uint64_t position = 0;
    std::optional<std::size_t> moovIndex;
    while (position < total) {
        uint8_t header[16];
        if (total - position < 8) {
            malformed("The movie ends with " + std::to_string(total - position) + " bytes that are not an atom.");
        }
        source->read(position, header, 8);
        TopLevelAtom atom{detail::getU32(header + 4), position, 8, detail::getU32(header), false};
        if (atom.size == 1) {
            if (total - position < 16) {
                malformed("The 64-bit size of atom '" + fourCCText(atom.type) + "' is truncated.");
            }
            source->read(position + 8, header + 8, 8);
            atom.size = (uint64_t{detail::getU32(header + 8)} << 32) | detail::getU32(header + 12);
            atom.headerSize = 16;
        } else if (atom.size == 0) {
            atom.size = total - position;
            atom.sizeToEnd = true;
        }
        if (atom.size < atom.headerSize || atom.size > total - position) {
            malformed("Atom '" + fourCCText(atom.type) + "' at offset " + std::to_string(position) + " declares " +
                      std::to_string(atom.size) + " bytes; " + std::to_string(total - position) +
                      " remain in the movie.");
        }
        if (atom.type == fourCC("moov")) {
            if (moovIndex) {
                malformed("The movie has more than one 'moov' atom.");
            }
            if (atom.size > maximumMovieAtomSize) {
                throw MovieError(MovieError::Case::unsupported,
                                 "The 'moov' atom of " + std::to_string(atom.size) + " bytes is too large.");
            }
            moovIndex = movie.topLevel_.size();
        }
        movie.topLevel_.push_back(atom);
        position += atom.size;
    }
    if (!moovIndex) {
        malformed("The movie has no 'moov' atom.");
    }
    const auto& moovEntry = movie.topLevel_[*moovIndex];
    auto moovBytes = source->readVector(moovEntry.offset, static_cast<std::size_t>(moovEntry.size));
    if (moovEntry.sizeToEnd) {
        detail::setU32(moovBytes.data(), static_cast<uint32_t>(moovBytes.size()));  // < 2^30, fits
    }
    movie.moov_ = parseAtom(moovBytes);

    const Atom* mvhd = movie.moov_.child(fourCC("mvhd"));
    if (mvhd == nullptr) {
        malformed("The movie has no 'mvhd' atom.");
    }
    FieldReader reader(mvhd->data, "movie header");
    uint8_t version = reader.u8();
    reader.skip(3);
    if (version > 1) {
        reader.fail("has the unknown version " + std::to_string(version));
    }
    reader.skip(version == 1 ? 16 : 8);
    movie.timescale_ = reader.u32();
    movie.duration_ = version == 1 ? reader.u64() : reader.u32();
    reader.skip(76);  // up to the next track ID, which must be there
    reader.u32();
    if (movie.timescale_ == 0 || movie.timescale_ > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        reader.fail("has the timescale " + std::to_string(movie.timescale_));
    }

    std::vector<Atom> kept;
    bool marked = false;
    std::set<uint32_t> ids;
    for (auto& child : movie.moov_.children) {
        if (child.type != fourCC("trak")) {
            kept.push_back(std::move(child));
            continue;
        }
        Track track = Track::parse(std::move(child), movie.timescale_, source);
        if (!ids.insert(track.trackID()).second) {
            malformed("Two tracks have the ID " + std::to_string(track.trackID()) + ".");
        }
        movie.tracks_.push_back(std::move(track));
        if (!marked) {
            kept.push_back(Atom::box(fourCC("trak"), {}));
            marked = true;
        }
    }
    movie.moov_.children = std::move(kept);
    return movie;
}

MediaTime Movie::duration() const {
    return MediaTime::make(static_cast<int64_t>(std::min<uint64_t>(duration_, INT64_MAX)),
                           static_cast<int32_t>(timescale_));
}

std::vector<const Track*> Movie::tracks(FourCC mediaType) const {
    std::vector<const Track*> matching;
    for (const auto& track : tracks_) {
        if (track.mediaType() == mediaType) {
            matching.push_back(&track);
        }
    }
    return matching;
}

const Track* Movie::track(uint32_t trackID) const { return const_cast<Movie*>(this)->track(trackID); }

Track* Movie::track(uint32_t trackID) {
    auto it = std::find_if(tracks_.begin(), tracks_.end(), [&](const Track& t) { return t.trackID() == trackID; });
    return it == tracks_.end() ? nullptr : &*it;
}

void Movie::updateHeader(uint64_t newTrackDuration, uint32_t nextTrackID) {
    Atom* mvhd = moov_.child(fourCC("mvhd"));
    bool v1 = mvhd->data[0] == 1;
    if (newTrackDuration > duration_) {
        if (!v1 && newTrackDuration > std::numeric_limits<uint32_t>::max()) {
            invalidArgument("The track is longer than the movie header can record.");
        }
        duration_ = newTrackDuration;
        std::vector<uint8_t> field;
        if (v1) {
            putU64(field, duration_);
        } else {
            putU32(field, static_cast<uint32_t>(duration_));
        }
        std::copy(field.begin(), field.end(), mvhd->data.begin() + (v1 ? 24 : 16));
    }
    detail::setU32(mvhd->data.data() + (v1 ? 108 : 96), nextTrackID);
}

uint32_t Movie::addTrack(const NewTrack& track) {
    if (track.timescale == 0 || track.timescale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        invalidArgument("A track cannot have the timescale " + std::to_string(track.timescale) + ".");
    }
    if (track.description.dataReferenceIndex != 1 || track.description.body.size() < 8) {
        invalidArgument("The sample description must be complete and use data reference 1.");
    }
    if (track.samples.size() > std::numeric_limits<uint32_t>::max()) {
        invalidArgument("A track holds at most 2^32 - 1 samples.");
    }
    std::vector<uint8_t> data;
    uint64_t mediaDuration = 0;
    for (const auto& sample : track.samples) {
        if (sample.bytes.size() > std::numeric_limits<uint32_t>::max()) {
            invalidArgument("A sample holds at most 2^32 - 1 bytes.");
        }
        data.insert(data.end(), sample.bytes.begin(), sample.bytes.end());
        mediaDuration += sample.duration;
    }

    const Atom& mvhd = *moov_.child(fourCC("mvhd"));
    uint32_t id = detail::getU32(mvhd.data.data() + (mvhd.data[0] == 1 ? 108 : 96));
    for (const auto& existing : tracks_) {
        id = std::max(id, existing.trackID() + 1);
    }
    if (id == 0 || id == std::numeric_limits<uint32_t>::max()) {
        invalidArgument("The movie has no free track ID.");
    }
    MediaTime inMovie = MediaTime::make(static_cast<int64_t>(mediaDuration), static_cast<int32_t>(track.timescale))
                            .convertScale(static_cast<int32_t>(timescale_));
    if (!inMovie.isValid()) {
        invalidArgument("The track's duration cannot be expressed in the movie's timescale.");
    }
    auto movieDuration = static_cast<uint64_t>(inMovie.value);

    Atom trak = trackAtom(track, id, mediaDuration, movieDuration);
    Track added = Track::parse(std::move(trak), timescale_, detail::memorySource(std::move(data)));
    added.home_ = Track::DataHome::own;
    updateHeader(movieDuration, id + 1);
    tracks_.push_back(std::move(added));
    return id;
}

bool Movie::removeTrack(uint32_t trackID) {
    auto before = tracks_.size();
    std::erase_if(tracks_, [&](const Track& t) { return t.trackID() == trackID; });
    if (tracks_.size() == before) {
        return false;
    }
    for (auto& track : tracks_) {
        track.removeReferencesTo(trackID);
    }
    return true;
}

Movie::Layout Movie::plan() const {
    Layout layout;
    // Chunks that do not lie inside one top-level atom other than the movie atom (or that belong
    // to an added track) are carried into the new media data atom; every other chunk moves with
    // the atom that holds it.
    std::vector<std::vector<std::pair<std::size_t, uint64_t>>> homes(tracks_.size());  // (atom, offset in payload)
    std::vector<std::vector<uint64_t>> carried(tracks_.size());  // offset within the new data
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        const Track& track = tracks_[t];
        if (track.home_ == Track::DataHome::external) {
            continue;
        }
        homes[t].assign(track.chunkOffsets_.size(), {SIZE_MAX, 0});
        carried[t].assign(track.chunkOffsets_.size(), 0);
        track.forEachChunk([&](std::size_t chunk, const Track::ChunkSpan& span) {
            uint64_t offset = track.chunkOffsets_[chunk];
            if (track.home_ == Track::DataHome::movie) {
                for (std::size_t a = 0; a < topLevel_.size(); ++a) {
                    const auto& atom = topLevel_[a];
                    uint64_t payload = atom.offset + atom.headerSize;
                    if (atom.type != fourCC("moov") && offset >= payload && offset - payload <= atom.size - atom.headerSize &&
                        span.byteCount <= atom.size - atom.headerSize - (offset - payload)) {
                        homes[t][chunk] = {a, offset - payload};
                        return true;
                    }
                }
            }
            carried[t][chunk] = layout.newDataSize;
            layout.pieces.push_back({track.source_.get(), offset, span.byteCount});
            layout.newDataSize += span.byteCount;
            return true;
        });
    }

    std::vector<bool> large(tracks_.size());
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        large[t] = tracks_[t].largeOffsets_;
    }
    for (;;) {
        // The movie atom's size depends only on which tracks use 64-bit offsets.
        auto build = [&](const std::vector<std::vector<uint64_t>>& offsets) {
            Atom moov = moov_;
            bool hasMarker = moov.child(fourCC("trak")) != nullptr;
            std::vector<Atom> children;
            bool placed = false;
            auto placeTracks = [&] {
                for (std::size_t t = 0; t < tracks_.size(); ++t) {
                    Atom trak = tracks_[t].trak_;
                    if (tracks_[t].home_ != Track::DataHome::external) {
                        Atom* stbl = trak.find({fourCC("mdia"), fourCC("minf"), fourCC("stbl")});
                        for (auto& child : stbl->children) {
                            if (child.type == fourCC("stco") || child.type == fourCC("co64")) {
                                child = chunkOffsetTable(offsets[t], large[t]);
                                break;
                            }
                        }
                    }
                    children.push_back(std::move(trak));
                }
                placed = true;
            };
            for (auto& child : moov.children) {
                if (child.type == fourCC("trak")) {
                    if (!placed) {
                        placeTracks();
                    }
                } else {
                    bool header = child.type == fourCC("mvhd");
                    children.push_back(std::move(child));
                    if (!placed && header && !hasMarker) {
                        placeTracks();
                    }
                }
            }
            if (!placed) {
                placeTracks();
            }
            moov.children = std::move(children);
            return moov;
        };
        std::vector<std::vector<uint64_t>> offsets(tracks_.size());
        for (std::size_t t = 0; t < tracks_.size(); ++t) {
            offsets[t] = tracks_[t].chunkOffsets_;
        }
        uint64_t moovSize = build(offsets).size();

        layout.placements.assign(topLevel_.size(), {});
        uint64_t position = 0;
        for (std::size_t a = 0; a < topLevel_.size(); ++a) {
            const auto& atom = topLevel_[a];
            if (atom.type == fourCC("moov")) {
                position += moovSize;
                continue;
            }
            Placement& place = layout.placements[a];
            place.oldPayload = atom.offset + atom.headerSize;
            place.payloadSize = atom.size - atom.headerSize;
            place.newStart = position;
            uint64_t headerSize = atom.headerSize;
            if (atom.sizeToEnd) {  // a later atom follows now, so the size is written out
                bool wide = place.payloadSize + 8 > std::numeric_limits<uint32_t>::max();
                headerSize = wide ? 16 : 8;
                putU32(place.header, wide ? 1 : static_cast<uint32_t>(place.payloadSize + 8));
                putU32(place.header, atom.type);
                if (wide) {
                    putU64(place.header, place.payloadSize + 16);
                }
            }
            place.newPayload = position + headerSize;
            position = place.newPayload + place.payloadSize;
        }
        uint64_t newData = position + (layout.newDataSize + 8 > std::numeric_limits<uint32_t>::max() ? 16 : 8);

        bool grew = false;
        for (std::size_t t = 0; t < tracks_.size(); ++t) {
            if (tracks_[t].home_ == Track::DataHome::external) {
                continue;
            }
            for (std::size_t c = 0; c < offsets[t].size(); ++c) {
                auto [atom, within] = homes[t][c];
                offsets[t][c] = atom == SIZE_MAX ? newData + carried[t][c] : layout.placements[atom].newPayload + within;
                if (!large[t] && offsets[t][c] > std::numeric_limits<uint32_t>::max()) {
                    large[t] = true;
                    grew = true;
                }
            }
        }
        if (!grew) {
            layout.moov = serialized(build(offsets));
            return layout;
        }
    }
}

void Movie::write(const std::function<void(const uint8_t*, std::size_t)>& sink) const {
    Layout layout = plan();
    std::vector<uint8_t> buffer;
    auto copy = [&](const detail::ByteSource& source, uint64_t offset, uint64_t size) {
        while (size > 0) {
            auto piece = static_cast<std::size_t>(std::min<uint64_t>(size, copyBlockSize));
            buffer.resize(piece);
            source.read(offset, buffer.data(), piece);
            sink(buffer.data(), piece);
            offset += piece;
            size -= piece;
        }
    };
    for (std::size_t a = 0; a < topLevel_.size(); ++a) {
        const auto& atom = topLevel_[a];
        if (atom.type == fourCC("moov")) {
            sink(layout.moov.data(), layout.moov.size());
            continue;
        }
        const auto& place = layout.placements[a];
        if (place.header.empty()) {
            copy(*source_, atom.offset, atom.headerSize);
        } else {
            sink(place.header.data(), place.header.size());
        }
        copy(*source_, place.oldPayload, place.payloadSize);
    }
    if (!layout.pieces.empty()) {
        std::vector<uint8_t> header;
        uint64_t size = layout.newDataSize + 8;
        if (size > std::numeric_limits<uint32_t>::max()) {
            putU32(header, 1);
            putU32(header, fourCC("mdat"));
            putU64(header, size + 8);
        } else {
            putU32(header, static_cast<uint32_t>(size));
            putU32(header, fourCC("mdat"));
        }
        sink(header.data(), header.size());
        for (const auto& piece : layout.pieces) {
            copy(*piece.source, piece.offset, piece.size);
        }
    }
}

std::vector<uint8_t> Movie::bytes() const {
    std::vector<uint8_t> out;
    write([&](const uint8_t* data, std::size_t size) { out.insert(out.end(), data, data + size); });
    return out;
}

void Movie::save(const std::filesystem::path& path) const {
    std::string pattern = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    if (path.parent_path().empty()) {
        pattern = "." + path.filename().string() + ".XXXXXX";
    }
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw MovieError(MovieError::Case::io,
                         "Could not create a temporary file beside " + path.string() + ": " + std::strerror(errno) + ".");
    }
    auto fail = [&](const std::string& what, int error) {
        ::unlink(pattern.c_str());
        throw MovieError(MovieError::Case::io, "Could not " + what + " " + path.string() + ": " + std::strerror(error) + ".");
    };
    try {
        write([&](const uint8_t* data, std::size_t size) {
            while (size > 0) {
                ssize_t done = ::write(fd, data, size);
                if (done < 0 && errno == EINTR) {
                    continue;
                }
                if (done <= 0) {
                    int error = done < 0 ? errno : EIO;
                    ::close(fd);
                    fd = -1;
                    fail("write", error);
                }
                data += done;
                size -= static_cast<std::size_t>(done);
            }
        });
    } catch (...) {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(pattern.c_str());
        }
        throw;
    }
    if (::close(fd) != 0) {
        fail("write", errno);
    }
    if (::rename(pattern.c_str(), path.c_str()) != 0) {
        fail("replace", errno);
    }
}

}  // namespace movie
