#include "midi_support/text_encoding.hpp"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

#include "textservices/characters.hpp"
#include "textservices/unicode.hpp"

namespace midisupport {

namespace {

std::string_view asText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::vector<uint8_t> asBytes(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

void appendEscapedUnit(std::vector<uint8_t>& out, char16_t unit) {
    static constexpr char hex[] = "0123456789abcdef";
    const char escape[] = {'\\',
                           'u',
                           hex[(unit >> 12) & 0xF],
                           hex[(unit >> 8) & 0xF],
                           hex[(unit >> 4) & 0xF],
                           hex[unit & 0xF]};
    out.insert(out.end(), std::begin(escape), std::end(escape));
}

std::optional<std::vector<uint8_t>> encodeNonLossyASCII(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size());
    bool wellFormed = true;
    textservices::forEachScalar(text, [&](textservices::ScalarStep step, std::string_view) {
        const char32_t scalar = step.scalar;
        if (!step.wellFormed()) {
            wellFormed = false;
        } else if (scalar == '\\') {
            out.insert(out.end(), {'\\', '\\'});
        } else if (scalar < 0x80) {
            out.push_back(static_cast<uint8_t>(scalar));
        } else if (scalar < 0x100) {
            out.insert(out.end(), {'\\', static_cast<uint8_t>('0' + (scalar >> 6)),
                                   static_cast<uint8_t>('0' + ((scalar >> 3) & 7)),
                                   static_cast<uint8_t>('0' + (scalar & 7))});
        } else if (scalar < 0x10000) {
            appendEscapedUnit(out, static_cast<char16_t>(scalar));
        } else {
            const char32_t offset = scalar - 0x10000;
            appendEscapedUnit(out, static_cast<char16_t>(0xD800 + (offset >> 10)));
            appendEscapedUnit(out, static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
    });
    if (!wellFormed) return std::nullopt;
    return out;
}

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isOctal(uint8_t c) {
    return c >= '0' && c <= '7';
}

// Reads the escape starting after the backslash at bytes[at - 1]; returns the UTF-16 unit it
// stands for and moves `at` past it, or none when it is malformed.
std::optional<char16_t> readEscape(std::span<const uint8_t> bytes, size_t& at) {
    if (at >= bytes.size()) return std::nullopt;
    const uint8_t kind = bytes[at];
    if (kind == '\\') {
        ++at;
        return u'\\';
    }
    if (kind == 'u') {
        if (bytes.size() - at < 5) return std::nullopt;
        char16_t unit = 0;
        for (size_t i = 1; i <= 4; ++i) {
            const int digit = hexValue(bytes[at + i]);
            if (digit < 0) return std::nullopt;
            unit = static_cast<char16_t>((unit << 4) | digit);
        }
        at += 5;
        return unit;
    }
    if (kind >= '0' && kind <= '3' && bytes.size() - at >= 3 && isOctal(bytes[at + 1]) &&
        isOctal(bytes[at + 2])) {
        const auto unit = static_cast<char16_t>(((kind - '0') << 6) | ((bytes[at + 1] - '0') << 3) |
                                                (bytes[at + 2] - '0'));
        at += 3;
        return unit;
    }
    return std::nullopt;
}

std::optional<std::string> decodeNonLossyASCII(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::optional<char16_t> pendingHigh;
    for (size_t at = 0; at < bytes.size();) {
        const uint8_t byte = bytes[at++];
        if (byte >= 0x80) return std::nullopt;
        char16_t unit = byte;
        if (byte == '\\') {
            const auto escaped = readEscape(bytes, at);
            if (!escaped) return std::nullopt;
            unit = *escaped;
        }
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (pendingHigh) {
            if (!low) return std::nullopt;
            textservices::appendUtf8(out, 0x10000 + ((char32_t{*pendingHigh} - 0xD800) << 10) +
                                              (char32_t{unit} - 0xDC00));
            pendingHigh.reset();
        } else if (high) {
            pendingHigh = unit;
        } else if (low) {
            return std::nullopt;
        } else {
            textservices::appendUtf8(out, unit);
        }
    }
    if (pendingHigh) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> toData(std::string_view text, StringEncoding encoding) {
    switch (encoding) {
        case StringEncoding::ascii:
            if (!textservices::isAscii(text)) return std::nullopt;
            return asBytes(text);
        case StringEncoding::utf8:
            if (!textservices::isWellFormedUtf8(text)) return std::nullopt;
            return asBytes(text);
        case StringEncoding::nonLossyASCII:
            return encodeNonLossyASCII(text);
    }
    return std::nullopt;
}

std::optional<std::string> toString(std::span<const uint8_t> bytes, StringEncoding encoding) {
    switch (encoding) {
        case StringEncoding::ascii:
            if (!textservices::isAscii(asText(bytes))) return std::nullopt;
            return std::string(asText(bytes));
        case StringEncoding::utf8:
            if (!textservices::isWellFormedUtf8(asText(bytes))) return std::nullopt;
            return std::string(asText(bytes));
        case StringEncoding::nonLossyASCII:
            return decodeNonLossyASCII(bytes);
    }
    return std::nullopt;
}

std::vector<uint8_t> nonLossyASCIIData(std::string_view text, bool fallback) {
    if (auto bytes = encodeNonLossyASCII(text)) return std::move(*bytes);
    if (!fallback) return {};
    for (auto encoding : {StringEncoding::ascii, StringEncoding::utf8}) {
        if (auto bytes = toData(text, encoding)) return std::move(*bytes);
    }
    return {};
}

std::optional<std::string> nonLossyASCIIString(std::span<const uint8_t> bytes) {
    return decodeNonLossyASCII(bytes);
}

std::string nonLossyASCIIStringWithFallback(std::span<const uint8_t> bytes) {
    for (auto encoding :
         {StringEncoding::nonLossyASCII, StringEncoding::ascii, StringEncoding::utf8}) {
        if (auto text = toString(bytes, encoding)) return std::move(*text);
    }
    return std::string(bytes.size(), '?');
}

namespace {

// ICU services are costly to create and not to be shared between threads: one of each per thread.
icu::Transliterator* latinToASCII() {
    thread_local std::unique_ptr<icu::Transliterator> transliterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> made(
            icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status)) made.reset();
        return made;
    }();
    return transliterator.get();
}

}  // namespace

std::string asciiStringLossy(std::string_view text) {
    if (textservices::isAscii(text)) return std::string(text);

    // Ill-formed sequences become U+FFFD, which has no transliteration and so becomes "?".
    icu::UnicodeString unicode;
    textservices::forEachScalar(text, [&](textservices::ScalarStep step, std::string_view) {
        unicode.append(static_cast<UChar32>(step.wellFormed() ? step.scalar : 0xFFFD));
    });
    if (icu::Transliterator* transliterator = latinToASCII()) {
        icu::UnicodeString transliterated(unicode);
        transliterator->transliterate(transliterated);
        if (!transliterated.isBogus() && !transliterated.isEmpty()) unicode = transliterated;
    }

    std::string transliterated;
    unicode.toUTF8String(transliterated);
    std::string out;
    out.reserve(transliterated.size());
    for (const std::string& character : textservices::graphemeClusters(transliterated)) {
        const bool printable =
            character.size() == 1 && character[0] >= 0x20 && character[0] <= 0x7E;
        out += printable ? character[0] : '?';
    }
    return out;
}

std::string_view characterPrefix(std::string_view text, size_t count) {
    return text.substr(0, textservices::characterPrefixLength(text, count));
}

}  // namespace midisupport
