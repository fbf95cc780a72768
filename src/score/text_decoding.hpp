// Turning the bytes of a score file into UTF-8 text: UTF-8 as it stands, or UTF-16 after a
// byte-order mark, either strictly (ill-formed input is refused) or with every ill-formed sequence
// replaced by U+FFFD (one replacement for each maximal ill-formed subpart); and, for a plain file
// whose XML declaration says so, ISO-8859-1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace score::detail {

using ByteSpan = std::span<const uint8_t>;

struct DecodedText {
    std::string text;
    // Offset of the first ill-formed byte in the input, if any; with strict decoding the text is
    // then incomplete and must not be used.
    std::optional<size_t> firstInvalidByte;
};

enum class Decoding { strict, replacing };

// Decodes UTF-16 when the bytes start with a UTF-16 byte-order mark (which is dropped), UTF-8
// otherwise (a UTF-8 byte-order mark is kept for the XML parser to see). Strict decoding stops at
// the first ill-formed sequence.
DecodedText decodeScoreText(ByteSpan bytes, Decoding decoding);

// The encoding named by the XML declaration at the very start of `bytes` (no byte-order mark
// before it), as written; absent when there is no declaration or it names none.
std::optional<std::string_view> declaredEncoding(std::string_view bytes);

// The text of a plain score file: ISO-8859-1 when its declaration names that encoding (in any
// case, as XML readers compare encoding names), each byte the character of its code; otherwise as
// decodeScoreText() decodes it strictly.
DecodedText decodePlainScore(std::string bytes);

}  // namespace score::detail
