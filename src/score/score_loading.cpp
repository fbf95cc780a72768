// Loading a score file into text: a plain MusicXML file as strict UTF-8 (or UTF-16 after a
// byte-order mark), a compressed ".mxl" container through the ZIP library.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "musicxml_reading.hpp"
#include "score/musicxml_converter.hpp"
#include "text_decoding.hpp"

namespace score {

namespace {

std::string quotedName(const std::filesystem::path& path) {
    return "\"" + path.filename().string() + "\"";
}

[[noreturn]] void unreadable(const std::filesystem::path& path, int error) {
    throw ScoreFileError(
        ScoreFileError::Case::unreadable,
        "The file " + quotedName(path) + " could not be read: " + std::strerror(error) + ".");
}

[[noreturn]] void tooLarge(const std::string& what) {
    detail::fail(what + " is larger than " +
                 std::to_string(JpsMusicXmlConverter::maximumScoreSize >> 20) +
                 " MiB, more than any score needs.");
}

std::vector<uint8_t> readWholeFile(const std::filesystem::path& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) unreadable(path, errno);
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        if (bytes.size() + n > JpsMusicXmlConverter::maximumScoreSize)
            tooLarge("The score file " + quotedName(path));
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(file.get())) unreadable(path, errno ? errno : EIO);
    return bytes;
}

std::string readScoreFile(const std::filesystem::path& path) {
    const auto bytes = readWholeFile(path);
    auto decoded = detail::decodeScoreText(bytes, detail::Decoding::strict);
    if (decoded.firstInvalidByte)
        throw ScoreFileError(ScoreFileError::Case::invalidEncoding,
                             "The file " + quotedName(path) +
                                 " is not valid UTF-8 text (ill-formed bytes at offset " +
                                 std::to_string(*decoded.firstInvalidByte) + ").");
    return std::move(decoded.text);
}

}  // namespace

void JpsMusicXmlConverter::convert(const std::filesystem::path& url) {
    // Only a lower-case "mxl" extension means a compressed container.
    const std::string text = url.extension() == ".mxl" ? std::string() : readScoreFile(url);
    parseScore(text);
}

}  // namespace score
