// A Standard MIDI File: a header (format and time base) and the chunks after it in file order,
// read from and written to bytes.
//
//     midifile::MIDIFile file = midifile::MIDIFile::fromPath("song.mid");
//     for (const auto& track : file.tracks()) { ... track.events ... }
//     std::vector<uint8_t> bytes = file.rawData();
//
// Chunks are framed as four identifier bytes, a big-endian 32-bit body length and the body. The
// header chunk ("MThd", 6 bytes) holds the format, the number of track chunks and the division
// word; track chunks ("MTrk") hold an event stream (track_codec.hpp); chunks of any other
// identifier are kept byte for byte. Reading throws MIDIFileDecodeError, writing
// MIDIFileEncodeError.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "midi_file/errors.hpp"
#include "midi_file/file_event.hpp"
#include "midi_file/time_base.hpp"

namespace midifile {

// What every chunk kind answers: its four-character identifier.
template <class C>
concept MIDIFileChunk = requires(const C& chunk) {
    { chunk.identifier() } -> std::convertible_to<std::string>;
};

// One chunk after the header: a track or a chunk of another kind. MIDIFile names it
// MIDIFile::Chunk.
class Chunk {
  public:
    // The header chunk. The track count is not stored: a file read must hold at least as many
    // track chunks as it announces, and writing counts the file's track chunks.
    struct Header {
        MIDIFileFormat format = MIDIFileFormat::multipleTracksSynchronous;
        MIDIFileTimeBase timeBase;

        std::string identifier() const { return "MThd"; }
        // From the first 14 bytes of `data`.
        static Header fromData(std::span<const uint8_t> data);
        // The 14 bytes of the header chunk. Throws for a format-0 file with other than one track,
        // a track count above 65535 and a musical time base of 32768 ticks or more, which the
        // division word cannot hold.
        std::array<uint8_t, 14> encodedBytes(int64_t trackCount) const;

        friend bool operator==(const Header&, const Header&) = default;
    };

    // A track chunk: its events in file order, without the end-of-track event.
    struct Track {
        std::vector<MIDIFileEvent> events;

        std::string identifier() const { return "MTrk"; }
        // From the bytes of a whole track chunk; bytes after its body are ignored.
        static Track fromData(std::span<const uint8_t> data);
        // Each event with its position in quarter notes from the start of the track.
        std::vector<std::pair<double, MIDIFileEvent>> eventsWithBeatPositions(
            uint16_t ticksPerQuarterNote) const;
        // "Track(\n  events (2): \n    <delta>  <payload>\n...)".
        std::string description() const;
        std::string debugDescription() const;

        friend bool operator==(const Track&, const Track&) = default;
    };

    // A chunk of an identifier other than "MThd" and "MTrk", kept byte for byte.
    class UnrecognizedChunk {
      public:
        // The identifier becomes exactly four ASCII characters: four ASCII bytes stay as they
        // are, "MThd" and "MTrk" become "----", anything else is made ASCII and then cut to four
        // characters or filled up with "-".
        explicit UnrecognizedChunk(std::string_view id, std::vector<uint8_t> rawData = {});
        // From the bytes of a whole chunk; throws for "MThd" and "MTrk".
        static UnrecognizedChunk fromData(std::span<const uint8_t> data);

        const std::string& identifier() const { return identifier_; }
        std::vector<uint8_t> rawData;

        std::string description() const;
        std::string debugDescription() const;
        friend bool operator==(const UnrecognizedChunk&, const UnrecognizedChunk&) = default;

      private:
        std::string identifier_;
    };

    Chunk(Track track) : value_(std::move(track)) {}                   // NOLINT: a track is a chunk
    Chunk(UnrecognizedChunk chunk) : value_(std::move(chunk)) {}       // NOLINT
    static Chunk track(Track track) { return Chunk(std::move(track)); }
    static Chunk other(UnrecognizedChunk chunk) { return Chunk(std::move(chunk)); }

    enum class Case { track, other };
    Case chunkCase() const { return static_cast<Case>(value_.index()); }
    const Track* trackIf() const { return std::get_if<Track>(&value_); }
    Track* trackIf() { return std::get_if<Track>(&value_); }
    const UnrecognizedChunk* otherIf() const { return std::get_if<UnrecognizedChunk>(&value_); }
    const std::variant<Track, UnrecognizedChunk>& unwrappedChunk() const { return value_; }
    std::string identifier() const;

    std::string description() const;
    std::string debugDescription() const;
    friend bool operator==(const Chunk&, const Chunk&) = default;
    size_t hash() const;

  private:
    std::variant<Track, UnrecognizedChunk> value_;
};

class MIDIFile {
  public:
    using Format = MIDIFileFormat;
    using TimeBase = MIDIFileTimeBase;
    using FrameRate = MIDIFileFrameRate;
    using SMPTEOffsetFrameRate = MIDIFileSMPTEOffsetFrameRate;
    using DecodeError = MIDIFileDecodeError;
    using EncodeError = MIDIFileEncodeError;
    using Chunk = midifile::Chunk;

    // Format 1, musical 960 ticks per quarter note, no chunks.
    MIDIFile() = default;
    MIDIFile(Format format, TimeBase timeBase, std::vector<Chunk> chunks)
        : header{format, timeBase}, chunks(std::move(chunks)) {}

    // The file at a path: DecodeError::fileNotFound when there is none, fileReadError when it
    // cannot be read, the decoding errors otherwise.
    static MIDIFile fromPath(const std::filesystem::path& path);
    // The file at a file URL ("file:///dir/song%20one.mid", host empty or "localhost"):
    // DecodeError::malformedURL for any other URL, then as fromPath.
    static MIDIFile fromURL(std::string_view url);
    // The file from its bytes.
    static MIDIFile fromRawData(std::span<const uint8_t> data);
    // The file's bytes: the header with the number of track chunks, then every chunk.
    std::vector<uint8_t> rawData() const;

    Format format() const { return header.format; }
    void setFormat(Format format) { header.format = format; }
    TimeBase timeBase() const { return header.timeBase; }
    void setTimeBase(TimeBase timeBase) { header.timeBase = timeBase; }
    // The track chunks, in order.
    std::vector<Chunk::Track> tracks() const;

    std::string description() const;
    std::string debugDescription() const;
    friend bool operator==(const MIDIFile&, const MIDIFile&) = default;
    size_t hash() const;

    Chunk::Header header;
    std::vector<Chunk> chunks;
};

}  // namespace midifile

template <>
struct std::hash<midifile::Chunk> {
    size_t operator()(const midifile::Chunk& chunk) const { return chunk.hash(); }
};
template <>
struct std::hash<midifile::MIDIFile> {
    size_t operator()(const midifile::MIDIFile& file) const { return file.hash(); }
};
