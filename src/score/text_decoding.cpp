#include "text_decoding.hpp"

#include <utility>

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

}  // namespace score::detail
