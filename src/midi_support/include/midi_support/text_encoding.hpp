// Text to bytes and back in the encodings MIDI files and identifiers use, and plain-ASCII forms of
// text. Text is UTF-8 in a std::string; bytes are std::vector<uint8_t>. No conversion is lossy
// unless its name says so: a conversion that cannot keep every character gives no value instead.
//
// Non-lossy ASCII is 7-bit text in which every character outside ASCII is written as a backslash
// escape, so that any text survives a round trip:
//   - a backslash is written as two backslashes;
//   - other ASCII characters (control characters included) stand for themselves;
//   - U+0080 ... U+00FF as a backslash and three octal digits ("é" is \351);
//   - the rest of the Basic Multilingual Plane as \u and four hexadecimal digits, lower-case when
//     written, either case when read;
//   - characters beyond it as two \u escapes of their UTF-16 surrogate pair.
// Decoding refuses bytes above 0x7F, any other escape, an incomplete escape and an unpaired
// surrogate.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace midisupport {

enum class StringEncoding {
    ascii,          // 7-bit ASCII
    utf8,           // well-formed UTF-8
    nonLossyASCII,  // 7-bit ASCII with escapes, as above
};

// `text` in `encoding`; none when `text` is not well-formed UTF-8 or has a character the encoding
// cannot hold.
std::optional<std::vector<uint8_t>> toData(std::string_view text, StringEncoding encoding);
// `bytes` decoded from `encoding` to UTF-8; none when they are not valid in it.
std::optional<std::string> toString(std::span<const uint8_t> bytes, StringEncoding encoding);

// `text` in non-lossy ASCII. When that fails (the text is not well-formed UTF-8): no bytes, or,
// with `fallback`, the text in ASCII, else in UTF-8, else no bytes.
std::vector<uint8_t> nonLossyASCIIData(std::string_view text, bool fallback = false);
// The same bytes (buffers and byte arrays are one type here).
inline std::vector<uint8_t> nonLossyASCIIBytes(std::string_view text, bool fallback = false) {
    return nonLossyASCIIData(text, fallback);
}

// `bytes` decoded as non-lossy ASCII; none when they do not decode.
std::optional<std::string> nonLossyASCIIString(std::span<const uint8_t> bytes);
// `bytes` decoded as non-lossy ASCII, else as ASCII, else as UTF-8, else one "?" per byte.
std::string nonLossyASCIIStringWithFallback(std::span<const uint8_t> bytes);

// `text` unchanged when it is all ASCII. Otherwise the text transliterated from Latin to ASCII
// ("café" gives "cafe", "Straße" gives "Strasse"), after which every character (grapheme cluster)
// that is not one printable ASCII character (space through tilde) becomes one "?". Ill-formed
// UTF-8 sequences count as characters without transliteration.
std::string asciiStringLossy(std::string_view text);

// The first `count` characters (extended grapheme clusters) of `text`: the whole text when it has
// no more than `count`. Each ill-formed UTF-8 sequence counts as a character of its own.
std::string_view characterPrefix(std::string_view text, size_t count);

}  // namespace midisupport
