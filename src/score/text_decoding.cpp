#include "text_decoding.hpp"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace score::detail {

namespace {

void appendUTF8(std::string& out, UChar32 c) {
    uint8_t buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, c);
    out.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

DecodedText decodeUTF8(ByteSpan bytes, Decoding decoding) {
    DecodedText result;
    result.text.reserve(bytes.size());
    const auto length = static_cast<int64_t>(bytes.size());
    int64_t i = 0;
    while (i < length) {
        // Runs of ASCII are copied without decoding.
        const int64_t runStart = i;
        while (i < length && bytes[static_cast<size_t>(i)] < 0x80)
            ++i;
        result.text.append(reinterpret_cast<const char*>(bytes.data() + runStart),
                           static_cast<size_t>(i - runStart));
        if (i == length) break;
        const int64_t sequenceStart = i;
        UChar32 c = 0;
        U8_NEXT(bytes.data(), i, length,
                c);  // on an ill-formed sequence: c < 0, past its maximal subpart
        if (c < 0) {
            if (!result.firstInvalidByte)
                result.firstInvalidByte = static_cast<size_t>(sequenceStart);
            if (decoding == Decoding::strict) return result;
            c = 0xFFFD;
        }
        appendUTF8(result.text, c);
    }
    return result;
}

DecodedText decodeUTF16(ByteSpan bytes, bool bigEndian, Decoding decoding) {
    DecodedText result;
    const size_t units = bytes.size() / 2;
    result.text.reserve(units);
    const auto unitAt = [&](size_t k) -> char16_t {
        const uint8_t a = bytes[2 * k], b = bytes[2 * k + 1];
        return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    size_t k = 0;
    const auto invalid = [&](size_t byteOffset) {
        if (!result.firstInvalidByte) result.firstInvalidByte = byteOffset;
        return decoding == Decoding::strict;
    };
    while (k < units) {
        const size_t start = k;
        UChar32 c = unitAt(k++);
        if (U16_IS_LEAD(c) && k < units && U16_IS_TRAIL(unitAt(k))) {
            c = U16_GET_SUPPLEMENTARY(c, unitAt(k));
            ++k;
        } else if (U16_IS_SURROGATE(c)) {
            if (invalid(2 * start)) return result;
            c = 0xFFFD;
        }
        appendUTF8(result.text, c);
    }
    if (bytes.size() % 2 != 0) {  // a dangling half code unit
        if (invalid(bytes.size() - 1)) return result;
        appendUTF8(result.text, 0xFFFD);
    }
    return result;
}

}  // namespace

DecodedText decodeScoreText(ByteSpan bytes, Decoding decoding) {
    const bool littleEndian = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool bigEndian = bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (!littleEndian && !bigEndian) return decodeUTF8(bytes, decoding);
    DecodedText result = decodeUTF16(bytes.subspan(2), bigEndian, decoding);
    if (result.firstInvalidByte) *result.firstInvalidByte += 2;  // count the byte-order mark
    return result;
}

}  // namespace score::detail
