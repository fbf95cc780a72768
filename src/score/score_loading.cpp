// Loading a score file into text: a plain MusicXML file as strict UTF-8 (or UTF-16 after a
// byte-order mark, or ISO-8859-1 where its declaration says so), a compressed ".mxl" container
// through the ZIP library.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "musicxml_reading.hpp"
#include "score/musicxml_converter.hpp"
#include "text_decoding.hpp"
#include "zip/archive.hpp"

namespace score {

namespace {

std::string quotedName(const std::filesystem::path& path) {
    std::string quoted = "\"";
    quoted += path.filename().string();
    quoted += '"';
    return quoted;
}

std::string systemMessage(int error) {
    // The GNU strerror_r: safe while other threads convert too.
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

[[noreturn]] void unreadable(const std::filesystem::path& path, int error) {
    throw ScoreFileError(
        ScoreFileError::Case::unreadable,
        "The file " + quotedName(path) + " could not be read: " + systemMessage(error) + ".");
}

[[noreturn]] void tooLarge(const std::string& what) {
    detail::fail(what + " is larger than " +
                 std::to_string(JpsMusicXmlConverter::maximumScoreSize >> 20) +
                 " MiB, more than any score needs.");
}

constexpr std::string_view musicXmlMediaType = "application/vnd.recordare.musicxml+xml";

std::optional<std::string> mediaType(const xmlindexing::XMLElement& rootfile) {
    return detail::attributeText(rootfile, "media-type");
}

std::string readWholeFile(const std::filesystem::path& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) unreadable(path, errno);
    // Read at the size the file has, in one piece; a file that is still growing is read on to its
    // end.
    struct stat status {};
    size_t expected = 0;
    if (::fstat(::fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size > 0)
        expected = static_cast<size_t>(status.st_size);
    if (expected > JpsMusicXmlConverter::maximumScoreSize)
        tooLarge("The score file " + quotedName(path));
    // One byte more than expected, so that the end of the file is seen in the first read.
    std::string bytes(expected + 1, '\0');
    size_t size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > JpsMusicXmlConverter::maximumScoreSize)
                tooLarge("The score file " + quotedName(path));
            bytes.resize(std::max<size_t>(size * 2, 65536));
        }
        const size_t n = std::fread(bytes.data() + size, 1, bytes.size() - size, file.get());
        size += n;
        if (n == 0) break;
    }
    if (std::ferror(file.get())) unreadable(path, errno ? errno : EIO);
    if (size > JpsMusicXmlConverter::maximumScoreSize)
        tooLarge("The score file " + quotedName(path));
    bytes.resize(size);
    return bytes;
}

std::string readScoreFile(const std::filesystem::path& path) {
    auto decoded = detail::decodePlainScore(readWholeFile(path));
    if (decoded.firstInvalidByte)
        throw ScoreFileError(ScoreFileError::Case::invalidEncoding,
                             "The file " + quotedName(path) +
                                 " is not valid UTF-8 text (ill-formed bytes at offset " +
                                 std::to_string(*decoded.firstInvalidByte) + ").");
    return std::move(decoded.text);
}

// The whole data of an entry, checked against its CRC-32. Data beyond `limit` bytes is refused
// before it is held, whatever the entry's header claims.
std::vector<uint8_t> extractEntry(const zip::Archive& archive, const zip::Entry& entry,
                                  size_t limit, const std::string& what) {
    if (entry.uncompressedSize() > limit) tooLarge(what);
    std::vector<uint8_t> data;
    data.reserve(
        static_cast<size_t>(std::min<uint64_t>(entry.uncompressedSize(), uint64_t{16} << 20)));
    archive.extract(entry, 16384, false, nullptr, [&](zip::ByteView piece) {
        if (data.size() + piece.size() > limit) tooLarge(what);
        data.insert(data.end(), piece.begin(), piece.end());
    });
    return data;
}

// What META-INF/container.xml says of the score: the entry of the first root file that is
// MusicXML (a root file without a media type counts as MusicXML), or the path it names when the
// archive holds no such file. Neither when the archive has no container description or it cannot
// be read.
struct ContainerRootFile {
    std::optional<zip::Entry> entry;
    std::optional<std::string> missingPath;
};

ContainerRootFile containerRootFile(const zip::Archive& archive,
                                    const std::vector<zip::Entry>& entries) {
    constexpr size_t containerLimit = size_t{1} << 20;
    const zip::Entry* container = nullptr;
    for (const auto& entry : entries)
        if (entry.path() == "META-INF/container.xml") container = &entry;
    if (!container) return {};
    std::string text;
    try {
        const auto bytes =
            extractEntry(archive, *container, containerLimit, "The container description");
        text = detail::decodeScoreText(bytes, detail::Decoding::replacing).text;
    } catch (const std::exception&) {
        return {};  // a damaged description is no description: the fallback decides
    }
    const auto document = xmlindexing::XMLHash::parse(text);
    for (const auto& rootfile : document["container"]["rootfiles"]["rootfile"].all()) {
        const auto element = rootfile.element();
        if (!element) continue;
        const auto path = detail::attributeText(*element, "full-path");
        if (!path || (mediaType(*element) && *mediaType(*element) != musicXmlMediaType)) continue;
        for (const auto& entry : entries)
            if (entry.type() == zip::Entry::EntryType::file && entry.path() == *path)
                return {entry, std::nullopt};
        return {std::nullopt, *path};
    }
    return {};
}

struct CompressedScore {
    std::string text;
    // Set when the container description names a file the archive does not hold and the last
    // entry was taken instead: what to say should that entry be no score.
    std::optional<std::string> fallbackNote;
};

CompressedScore readCompressedScore(const std::filesystem::path& path) {
    const zip::Archive archive(path, zip::Archive::AccessMode::read);
    // A damaged directory or entries sharing their data are refused before anything is read.
    archive.checkDirectory();
    std::vector<zip::Entry> entries;
    for (const auto& entry : archive)
        entries.push_back(entry);
    if (entries.empty())
        detail::fail("The compressed score " + quotedName(path) + " holds no files.");
    // The container description names the score; without a usable one, the last entry is taken.
    const auto rootFile = containerRootFile(archive, entries);
    const zip::Entry& scoreEntry = rootFile.entry ? *rootFile.entry : entries.back();
    const auto bytes = extractEntry(archive, scoreEntry, JpsMusicXmlConverter::maximumScoreSize,
                                    "The score inside " + quotedName(path));
    CompressedScore score{detail::decodeScoreText(bytes, detail::Decoding::replacing).text, {}};
    if (rootFile.missingPath) {
        score.fallbackNote = "The container description of " + quotedName(path) + " names \"" +
                             *rootFile.missingPath +
                             "\", a file the archive does not hold; its last entry, \"" +
                             scoreEntry.path() + "\", is no score either: ";
    }
    return score;
}

}  // namespace

void JpsMusicXmlConverter::convert(const std::filesystem::path& url) {
    // Only a lower-case "mxl" extension means a compressed container.
    if (url.extension() != ".mxl") {
        parseScore(readScoreFile(url));
        return;
    }
    CompressedScore score = readCompressedScore(url);
    if (!score.fallbackNote) {
        parseScore(score.text);
        return;
    }
    try {
        parseScore(score.text);
    } catch (const JpsConversionError& error) {
        detail::fail(*score.fallbackNote + error.message());
    }
}

}  // namespace score
