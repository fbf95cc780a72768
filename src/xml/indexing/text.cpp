#include "indexing/text.hpp"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <stdexcept>

#include "textservices/unicode.hpp"

namespace xmlindexing::detail {

namespace {

const icu::Normalizer2& nfc() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || normalizer == nullptr) {
        throw std::runtime_error("Unicode normalization data is unavailable");
    }
    return *normalizer;
}

icu::UnicodeString normalized(icu::UnicodeString s) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = nfc().normalize(s, status);
    return U_FAILURE(status) ? s : result;
}

bool asciiEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

icu::UnicodeString fromUtf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

}  // namespace

std::string canonical(std::string_view s) {
    if (textservices::isAscii(s)) return std::string(s);
    std::string out;
    normalized(fromUtf8(s)).toUTF8String(out);
    return out;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (textservices::isAscii(a) && textservices::isAscii(b)) return false;
    return normalized(fromUtf8(a)) == normalized(fromUtf8(b));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (textservices::isAscii(a) && textservices::isAscii(b)) return asciiEqualIgnoringCase(a, b);
    icu::UnicodeString x = fromUtf8(a), y = fromUtf8(b);
    x.foldCase();
    y.foldCase();
    return normalized(x) == normalized(y);
}

std::optional<EncodedText> encode(std::string_view text, StringEncoding encoding) {
    if (!textservices::isWellFormedUtf8(text)) return std::nullopt;
    EncodedText out{{}, "UTF-8"};
    switch (encoding) {
        case StringEncoding::utf8:
            return out;
        case StringEncoding::ascii:
            if (!textservices::isAscii(text)) return std::nullopt;
            out.bytes.assign(text);
            out.parserEncoding = "US-ASCII";
            return out;
        case StringEncoding::isoLatin1:
        case StringEncoding::utf16BigEndian:
        case StringEncoding::utf16LittleEndian:
            break;
    }
    out.bytes.reserve(encoding == StringEncoding::isoLatin1 ? text.size() : text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const auto [c, length] = textservices::nextScalar(text, i);
        i += length;
        if (encoding == StringEncoding::isoLatin1) {
            if (c > 0xFF) return std::nullopt;
            out.bytes.push_back(static_cast<char>(c));
            continue;
        }
        auto put = [&](uint16_t unit) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            if (encoding == StringEncoding::utf16BigEndian) {
                out.bytes += high;
                out.bytes += low;
            } else {
                out.bytes += low;
                out.bytes += high;
            }
        };
        if (c > 0xFFFF) {
            put(static_cast<uint16_t>(U16_LEAD(c)));
            put(static_cast<uint16_t>(U16_TRAIL(c)));
        } else {
            put(static_cast<uint16_t>(c));
        }
    }
    out.parserEncoding = encoding == StringEncoding::isoLatin1        ? "ISO-8859-1"
                         : encoding == StringEncoding::utf16BigEndian ? "UTF-16BE"
                                                                      : "UTF-16LE";
    return out;
}

}  // namespace xmlindexing::detail
