// String services of the indexing reader: Unicode-aware name comparison and the encoding of input
// text into bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "xml/indexing/options.hpp"

namespace xmlindexing::detail {

// The NFC form of a UTF-8 string (the string itself when it is ASCII).
std::string canonical(std::string_view s);

// Equal as Unicode strings: the same characters up to canonical equivalence.
bool canonicallyEqual(std::string_view a, std::string_view b);
// Equal ignoring letter case (full Unicode case folding), up to canonical equivalence.
bool equalIgnoringCase(std::string_view a, std::string_view b);

inline bool namesMatch(std::string_view a, std::string_view b, bool caseInsensitive) {
    return caseInsensitive ? equalIgnoringCase(a, b) : canonicallyEqual(a, b);
}

// The bytes of UTF-8 `text` in `encoding`, with the name under which the event-driven parser knows
// that encoding; none when the text is not valid UTF-8 or holds a character the encoding lacks.
// For UTF-8 the bytes are the text itself and `bytes` stays empty.
struct EncodedText {
    std::string bytes;
    const char* parserEncoding;
};
std::optional<EncodedText> encode(std::string_view text, StringEncoding encoding);

}  // namespace xmlindexing::detail
