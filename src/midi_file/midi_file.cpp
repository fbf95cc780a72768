#include "midi_file/midi_file.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "hashing.hpp"
#include "midi_file/track_codec.hpp"
#include "midi_support/number_text.hpp"
#include "midi_support/text_encoding.hpp"

namespace midifile {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr std::array<uint8_t, 4> headerID{'M', 'T', 'h', 'd'};
constexpr std::array<uint8_t, 4> trackID{'M', 'T', 'r', 'k'};

MIDIFileDecodeError malformed(const std::string& message) {
    return MIDIFileDecodeError::malformed(message);
}

uint32_t bigEndian32(Bytes bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

uint16_t bigEndian16(Bytes bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

// Four 7-bit bytes as they are; "????" when a byte is 0x80 or more.
std::string identifierText(Bytes bytes) {
    if (std::ranges::any_of(bytes, [](uint8_t b) { return b > 0x7F; })) return "????";
    return std::string(bytes.begin(), bytes.end());
}

std::array<uint8_t, 4> identifierBytes(const std::string& identifier) {
    std::array<uint8_t, 4> bytes{'-', '-', '-', '-'};
    std::copy_n(identifier.begin(), std::min<size_t>(4, identifier.size()), bytes.begin());
    return bytes;
}

std::string formatZeroMessage(int64_t count) {
    return "MIDI file is Format 0 which can only contain a single track, but header reports a "
           "track count of " +
           std::to_string(count) + ".";
}

// The framing of a single chunk given alone: identifier text, and the body.
std::pair<std::string, Bytes> readChunk(Bytes data, const char* shortBodyMessage,
                                        bool mustBeTrack) {
    if (data.size() < 8) {
        throw malformed("There was a problem reading chunk header. Encountered end of file early.");
    }
    std::string identifier = identifierText(data.first(4));
    const uint32_t length = bigEndian32(data.subspan(4, 4));
    if (mustBeTrack && identifier != "MTrk") {
        throw malformed("Chunk header does not contain track header identifier. Found \"" +
                        identifier + "\" instead.");
    }
    if (!mustBeTrack && (identifier == "MThd" || identifier == "MTrk")) {
        throw malformed("Chunk type matches known identifier \"" + identifier +
                        "\". Forming an unrecognized chunk using this identifier is not allowed.");
    }
    if (data.size() - 8 < length) throw malformed(shortBodyMessage);
    return {std::move(identifier), data.subspan(8, length)};
}

// The text cut or padded with blanks to exactly `width` bytes.
std::string fitted(std::string text, size_t width) {
    text.resize(width, ' ');
    return text;
}

std::string trackText(const Chunk::Track& track, bool debug) {
    std::string text = "Track(\n  events (" + std::to_string(track.events.size()) + "): \n";
    for (const MIDIFileEvent& event : track.events) {
        text += "    ";
        if (debug) {
            text += fitted("DeltaTime(" + event.delta().description() + ")", 26) + " " +
                    event.debugDescription();
        } else {
            text += fitted(event.delta().description(), 15) + " " + event.description();
        }
        text += "\n";
    }
    return text + ")";
}

std::string fileText(const MIDIFile& file, bool debug) {
    std::string text = "MIDIFile(\n";
    text += debug ? "  format: Format(" + description(file.format()) + ")\n"
                  : "  format: " + description(file.format()) + "\n";
    text += debug ? "  timebase: timeBase(" + file.timeBase().description() + ")\n"
                  : "  timebase: " + file.timeBase().description() + "\n";
    text += "  chunks (" + std::to_string(file.chunks.size()) + "): \n";
    size_t number = 0;
    for (const Chunk& chunk : file.chunks) {
        ++number;
        const std::string body = (debug ? "#" : "Chunk #") + std::to_string(number) + ": " +
                                 (debug ? chunk.debugDescription() : chunk.description());
        std::istringstream lines(body);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) text += "    " + line + "\n";
        }
    }
    return text + ")";
}

}  // namespace

// --- Header

Chunk::Header Chunk::Header::fromData(Bytes data) {
    const std::string notMIDI = "Header is not correct. File may not be a MIDI file.";
    if (data.size() < 14 || !std::ranges::equal(data.first(4), headerID)) throw malformed(notMIDI);
    if (bigEndian32(data.subspan(4, 4)) != 6) {
        throw malformed("Encountered unexpected header length header length.");
    }
    const auto format = fromRawValue<MIDIFileFormat>(static_cast<uint8_t>(std::min<uint16_t>(
        bigEndian16(data.subspan(8, 2)), 0xFF)));
    if (!format || bigEndian16(data.subspan(8, 2)) > 2) {
        throw malformed("Could not read MIDI file format.");
    }
    const uint16_t trackCount = bigEndian16(data.subspan(10, 2));
    const auto timeBase = MIDIFileTimeBase::fromRawBytes(data.subspan(12, 2));
    if (!timeBase) throw malformed("Could not decode timebase.");
    if (*format == MIDIFileFormat::singleTrack && trackCount != 1) {
        throw malformed(formatZeroMessage(trackCount));
    }
    return Header{*format, *timeBase};
}

std::array<uint8_t, 14> Chunk::Header::encodedBytes(int64_t trackCount) const {
    if (format == MIDIFileFormat::singleTrack && trackCount != 1) {
        throw MIDIFileEncodeError::internalInconsistency(formatZeroMessage(trackCount));
    }
    if (trackCount < 0 || trackCount > 0xFFFF) {
        throw MIDIFileEncodeError::internalInconsistency("Chunk count exceeds maximum.");
    }
    if (const auto ticks = timeBase.ticksPerQuarterNote(); ticks && *ticks > 0x7FFF) {
        throw MIDIFileEncodeError::internalInconsistency(
            "Time base of " + std::to_string(*ticks) +
            " ticks per quarter note exceeds the maximum of 32767.");
    }
    const auto division = timeBase.rawBytes();
    const auto count = static_cast<uint16_t>(trackCount);
    return {'M',  'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format),
            static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count), division[0],
            division[1]};
}

// --- Track

Chunk::Track Chunk::Track::fromData(Bytes data) {
    const auto [identifier, body] = readChunk(
        data, "There was a problem reading track data blob. Encountered end of data early.", true);
    return Track{decodeTrackEvents(body)};
}

std::vector<std::pair<double, MIDIFileEvent>> Chunk::Track::eventsWithBeatPositions(
    uint16_t ticksPerQuarterNote) const {
    std::vector<std::pair<double, MIDIFileEvent>> out;
    out.reserve(events.size());
    const MIDIFileTimeBase timeBase = MIDIFileTimeBase::musical(ticksPerQuarterNote);
    const double perQuarter = std::max<uint16_t>(ticksPerQuarterNote, 1);
    double position = 0;
    for (const MIDIFileEvent& event : events) {
        const uint32_t ticks = event.delta().ticksValue(timeBase).value_or(0);
        if (ticks != 0) position += ticks / perQuarter;
        out.emplace_back(position, event);
    }
    return out;
}

std::string Chunk::Track::description() const { return trackText(*this, false); }
std::string Chunk::Track::debugDescription() const { return trackText(*this, true); }

// --- Unrecognised chunk

Chunk::UnrecognizedChunk::UnrecognizedChunk(std::string_view id, std::vector<uint8_t> data)
    : rawData(std::move(data)) {
    const bool fourASCII =
        id.size() == 4 && std::ranges::none_of(id, [](char c) { return (c & 0x80) != 0; });
    if (id == "MThd" || id == "MTrk") {
        identifier_ = "----";
    } else if (fourASCII) {
        identifier_ = std::string(id);
    } else {
        identifier_ = midisupport::asciiStringLossy(id);
        identifier_.resize(4, '-');
    }
}

Chunk::UnrecognizedChunk Chunk::UnrecognizedChunk::fromData(Bytes data) {
    const auto [identifier, body] = readChunk(
        data, "There was a problem reading chunk data blob. Encountered end of data early.", false);
    return UnrecognizedChunk(identifier, std::vector<uint8_t>(body.begin(), body.end()));
}

std::string Chunk::UnrecognizedChunk::description() const {
    return "UnrecognizedChunk(\n  identifier: " + identifier_ + "\n  data: " +
           std::to_string(rawData.size()) + " bytes\n)";
}

std::string Chunk::UnrecognizedChunk::debugDescription() const {
    std::string text = "UnrecognizedChunk(\n  identifier: " + identifier_ + "\n  data: " +
                       std::to_string(rawData.size()) + " bytes\n    (";
    const std::string dump = midisupport::hexString(rawData, 2, false, " ");
    for (size_t at = 0; at < dump.size(); at += 48) {
        std::string piece = dump.substr(at, 48);
        const auto first = piece.find_first_not_of(" \n");
        const auto last = piece.find_last_not_of(" \n");
        piece = first == std::string::npos ? "" : piece.substr(first, last - first + 1);
        text += "      " + piece;
    }
    return text + "    ))";
}

// --- Chunk

std::string Chunk::identifier() const {
    return std::visit([](const auto& chunk) { return std::string(chunk.identifier()); }, value_);
}

std::string Chunk::description() const {
    return std::visit([](const auto& chunk) { return chunk.description(); }, value_);
}

std::string Chunk::debugDescription() const {
    return std::visit([](const auto& chunk) { return chunk.debugDescription(); }, value_);
}

size_t Chunk::hash() const {
    detail::Hasher hasher;
    hasher.combine(value_.index());
    if (const Track* track = trackIf()) {
        for (const MIDIFileEvent& event : track->events) hasher.combine(event);
    } else {
        hasher.combine(otherIf()->identifier());
        for (uint8_t b : otherIf()->rawData) hasher.combine(b);
    }
    return hasher.value();
}

// --- File

MIDIFile MIDIFile::fromPath(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw MIDIFileDecodeError(MIDIFileDecodeError::Case::fileNotFound);
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw MIDIFileDecodeError(MIDIFileDecodeError::Case::fileReadError);
    return fromRawData(data);
}

MIDIFile MIDIFile::fromURL(std::string_view url) {
    const auto malformedURL = [] { return MIDIFileDecodeError(MIDIFileDecodeError::Case::malformedURL); };
    constexpr std::string_view scheme = "file://";
    if (url.size() < scheme.size() ||
        !std::equal(scheme.begin(), scheme.end(), url.begin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
        throw malformedURL();
    }
    std::string_view rest = url.substr(scheme.size());
    if (rest.starts_with("localhost/")) rest.remove_prefix(9);
    if (!rest.starts_with('/')) throw malformedURL();
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#') break;
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const auto digit = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        if (i + 2 >= rest.size() || digit(rest[i + 1]) < 0 || digit(rest[i + 2]) < 0) {
            throw malformedURL();
        }
        const char decoded = static_cast<char>(digit(rest[i + 1]) * 16 + digit(rest[i + 2]));
        if (decoded == '\0') throw malformedURL();
        path += decoded;
        i += 2;
    }
    return fromPath(path);
}

MIDIFile MIDIFile::fromRawData(Bytes data) {
    if (data.empty()) throw malformed("MIDI data is empty / contains no bytes.");
    if (data.size() < 14) throw malformed("Header is not correct. File may not be a MIDI file.");
    MIDIFile file;
    file.header = Chunk::Header::fromData(data.first(14));
    size_t offset = 14;
    int64_t trackNumber = 0;
    do {
        if (data.size() - offset < 4) {
            throw malformed("There was a problem reading chunk header at byte offset " +
                            std::to_string(offset) + ". Encountered end of file early.");
        }
        const Bytes identifierBytes = data.subspan(offset, 4);
        offset += 4;
        if (data.size() - offset < 4) {
            throw malformed("There was a problem reading chunk length at byte offset " +
                            std::to_string(offset) + ". Encountered end of file early.");
        }
        const uint32_t length = bigEndian32(data.subspan(offset, 4));
        offset += 4;
        const std::string identifier = identifierText(identifierBytes);
        if (data.size() - offset < length) {
            throw malformed("There was a problem reading track data blob at byte offset " +
                            std::to_string(offset) + " for track " + std::to_string(trackNumber) +
                            ". Encountered end of file early.");
        }
        const Bytes body = data.subspan(offset, length);
        offset += length;
        if (identifier == "MTrk") {
            ++trackNumber;
            try {
                file.chunks.emplace_back(Chunk::Track{decodeTrackEvents(body)});
            } catch (const MIDIFileDecodeError& error) {
                if (error.errorCase() != MIDIFileDecodeError::Case::malformed) throw;
                throw malformed("There was a problem reading track data at byte offset " +
                                std::to_string(offset) + " for track " +
                                std::to_string(trackNumber) + ". " + error.message());
            }
        } else {
            file.chunks.emplace_back(
                Chunk::UnrecognizedChunk(identifier, std::vector<uint8_t>(body.begin(), body.end())));
        }
    } while (offset < data.size());
    // A file cut short after a whole chunk has fewer track chunks than its header announces.
    const uint16_t announced = bigEndian16(data.subspan(10, 2));
    if (trackNumber < announced) {
        throw malformed("The header reports " + std::to_string(announced) +
                        " tracks but the file holds " + std::to_string(trackNumber) +
                        ". Encountered end of file early.");
    }
    if (file.header.format == MIDIFileFormat::singleTrack && trackNumber != 1) {
        throw malformed(formatZeroMessage(trackNumber));
    }
    return file;
}

std::vector<uint8_t> MIDIFile::rawData() const {
    int64_t trackCount = 0;
    for (const Chunk& chunk : chunks) trackCount += chunk.trackIf() ? 1 : 0;
    if (trackCount > 0xFFFF) {
        throw MIDIFileEncodeError::internalInconsistency("Chunk count exceeds maximum.");
    }
    const auto head = header.encodedBytes(trackCount);
    size_t estimate = head.size();
    for (const Chunk& chunk : chunks) {
        const Chunk::Track* track = chunk.trackIf();
        estimate += 12 + (track ? track->events.size() * 4 : chunk.otherIf()->rawData.size());
    }
    std::vector<uint8_t> out;
    out.reserve(estimate);
    out.assign(head.begin(), head.end());
    for (const Chunk& chunk : chunks) {
        if (const Chunk::Track* track = chunk.trackIf()) {
            // The body is written in place after the chunk's framing, whose length follows it.
            const size_t start = out.size();
            out.insert(out.end(), trackID.begin(), trackID.end());
            out.insert(out.end(), 4, 0);
            detail::appendTrackBody(out, track->events, header.timeBase);
            const auto length = detail::chunkLengthBytes(out.size() - start - 8);
            std::ranges::copy(length, out.begin() + static_cast<ptrdiff_t>(start + 4));
        } else {
            const auto id = identifierBytes(chunk.otherIf()->identifier());
            const std::vector<uint8_t> bytes = encodeChunk(id, chunk.otherIf()->rawData);
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
    }
    return out;
}

std::vector<Chunk::Track> MIDIFile::tracks() const {
    std::vector<Chunk::Track> out;
    for (const Chunk& chunk : chunks) {
        if (const Chunk::Track* track = chunk.trackIf()) out.push_back(*track);
    }
    return out;
}

std::string MIDIFile::description() const { return fileText(*this, false); }
std::string MIDIFile::debugDescription() const { return fileText(*this, true); }

size_t MIDIFile::hash() const {
    detail::Hasher hasher;
    hasher.combine(static_cast<uint8_t>(header.format)).combine(header.timeBase);
    for (const Chunk& chunk : chunks) hasher.combine(chunk);
    return hasher.value();
}

}  // namespace midifile
