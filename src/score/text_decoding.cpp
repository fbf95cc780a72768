#include "text_decoding.hpp"

#include <utility>

#include <strings.h>

#include "textservices/unicode.hpp"

namespace score::detail {

DecodedText decodeScoreText(ByteSpan bytes, Decoding decoding) {
    const auto mode = decoding == Decoding::strict ? textservices::Decoding::strict
                                                   : textservices::Decoding::replacing;
    const bool littleEndian = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool bigEndian = bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (!littleEndian && !bigEndian) {
        auto decoded = textservices::decodeUtf8(bytes, mode);
        return {std::move(decoded.text), decoded.firstInvalidByte};
    }
    auto decoded = textservices::decodeUtf16(
        bytes.subspan(2),
        bigEndian ? textservices::ByteOrder::bigEndian : textservices::ByteOrder::littleEndian,
        mode);
    DecodedText result{std::move(decoded.text), decoded.firstInvalidByte};
    if (result.firstInvalidByte) *result.firstInvalidByte += 2;  // count the byte-order mark
    return result;
}

namespace {

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isLatin1Name(std::string_view name) {
    constexpr std::string_view latin1 = "ISO-8859-1";
    return name.size() == latin1.size() &&
           ::strncasecmp(name.data(), latin1.data(), name.size()) == 0;
}

// Each byte as the character of its code.
std::string decodeLatin1(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes)
        textservices::appendUtf8(text, static_cast<uint8_t>(c));
    return text;
}

}  // namespace

std::optional<std::string_view> declaredEncoding(std::string_view bytes) {
    // '<?xml', then pseudo-attributes, each after white space: name, '=' with optional white space
    // around it, and a value in single or double quotes.
    constexpr std::string_view open = "<?xml";
    if (!bytes.starts_with(open)) return std::nullopt;
    size_t at = open.size();
    const auto skipSpace = [&] {
        const size_t from = at;
        while (at < bytes.size() && isXmlSpace(bytes[at]))
            ++at;
        return at > from;
    };
    for (;;) {
        if (!skipSpace()) return std::nullopt;  // also "<?xml-stylesheet" and the declaration's end
        const size_t nameStart = at;
        while (at < bytes.size() &&
               ((bytes[at] >= 'a' && bytes[at] <= 'z') || (bytes[at] >= 'A' && bytes[at] <= 'Z')))
            ++at;
        const std::string_view name = bytes.substr(nameStart, at - nameStart);
        skipSpace();
        if (name.empty() || at >= bytes.size() || bytes[at] != '=') return std::nullopt;
        ++at;
        skipSpace();
        if (at >= bytes.size() || (bytes[at] != '"' && bytes[at] != '\'')) return std::nullopt;
        const size_t valueStart = at + 1;
        const size_t valueEnd = bytes.find(bytes[at], valueStart);
        if (valueEnd == std::string_view::npos) return std::nullopt;
        if (name == "encoding") return bytes.substr(valueStart, valueEnd - valueStart);
        at = valueEnd + 1;
    }
}

DecodedText decodePlainScore(std::string bytes) {
    if (const auto encoding = declaredEncoding(bytes); encoding && isLatin1Name(*encoding))
        return {decodeLatin1(bytes), std::nullopt};
    // Well-formed UTF-8, by far the usual case, is the text as it stands. (A UTF-16 byte-order mark
    // is never well-formed UTF-8: its bytes 0xFE and 0xFF occur in no UTF-8 text.)
    if (textservices::isWellFormedUtf8(bytes)) return {std::move(bytes), std::nullopt};
    return decodeScoreText(ByteSpan(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                           Decoding::strict);
}

}  // namespace score::detail
