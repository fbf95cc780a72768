#include "indexing/text.hpp"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

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

bool isAscii(std::string_view s) {
    const char* p = s.data();
    size_t n = s.size();
    // Eight bytes at a time: none may have its top bit set.
    while (n >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if ((word & 0x8080808080808080ull) != 0) return false;
        p += 8;
        n -= 8;
    }
    for (; n > 0; --n, ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    }
    return true;
}

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        // Skip ASCII eight bytes at a time.
        if (n - i >= 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Well-formed sequences as listed in Unicode's table of well-formed UTF-8 byte sequences.
        size_t length;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c == 0xE0) {
            length = 3, lo = 0xA0;
        } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
            length = 3;
        } else if (c == 0xED) {
            length = 3, hi = 0x9F;
        } else if (c == 0xF0) {
            length = 4, lo = 0x90;
        } else if (c >= 0xF1 && c <= 0xF3) {
            length = 4;
        } else if (c == 0xF4) {
            length = 4, hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < length) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k < length; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
        }
        i += length;
    }
    return true;
}

std::string canonical(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    std::string out;
    normalized(fromUtf8(s)).toUTF8String(out);
    return out;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) return false;
    return normalized(fromUtf8(a)) == normalized(fromUtf8(b));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) return asciiEqualIgnoringCase(a, b);
    icu::UnicodeString x = fromUtf8(a), y = fromUtf8(b);
    x.foldCase();
    y.foldCase();
    return normalized(x) == normalized(y);
}

std::optional<EncodedText> encode(std::string_view text, StringEncoding encoding) {
    if (!isValidUtf8(text)) return std::nullopt;
    EncodedText out{{}, "UTF-8"};
    switch (encoding) {
        case StringEncoding::utf8:
            return out;
        case StringEncoding::ascii:
            if (!isAscii(text)) return std::nullopt;
            out.bytes.assign(text);
            out.parserEncoding = "US-ASCII";
            return out;
        case StringEncoding::isoLatin1:
        case StringEncoding::utf16BigEndian:
        case StringEncoding::utf16LittleEndian:
            break;
    }
    out.bytes.reserve(encoding == StringEncoding::isoLatin1 ? text.size() : text.size() * 2);
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(p, i, length, c);
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
