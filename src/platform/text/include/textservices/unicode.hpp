// UTF-8 and UTF-16 string services: well-formedness, stepping through UTF-8 one scalar at a time,
// encoding scalars as UTF-8, and decoding UTF-8 or UTF-16 bytes into UTF-8 text, either strictly
// or with U+FFFD for every ill-formed sequence.
//
// Ill-formed input is split the way the Unicode Standard recommends for U+FFFD substitution: each
// maximal subpart (the longest prefix of a well-formed sequence, or else a single byte) counts as
// one ill-formed sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace textservices {

using ByteSpan = std::span<const std::uint8_t>;

// Whether every byte of `text` is below 0x80.
bool isAscii(std::string_view text) noexcept;

// Whether `text` is well-formed UTF-8: no stray or missing continuation bytes, overlong forms,
// encoded surrogates or values above U+10FFFF. Runs of ASCII are skipped eight bytes at a time.
bool isWellFormedUtf8(std::string_view text) noexcept;

// The length of the longest prefix of `text` that is well-formed UTF-8 ending on a scalar
// boundary: the offset of the first ill-formed sequence, or the size of the text.
std::size_t wellFormedUtf8Prefix(std::string_view text) noexcept;

// One step through UTF-8 text: the scalar and the number of bytes it took. On ill-formed input the
// scalar is `illFormed` and the length that of the maximal subpart (at least one byte).
struct ScalarStep {
    static constexpr char32_t illFormed = 0xFFFFFFFF;

    char32_t scalar;
    std::size_t length;

    bool wellFormed() const noexcept { return scalar != illFormed; }
};

namespace detail {
ScalarStep nextMultibyteScalar(std::string_view text, std::size_t at) noexcept;
}  // namespace detail

// The scalar that starts at `text[at]`; `at` must be below the size of the text.
inline ScalarStep nextScalar(std::string_view text, std::size_t at) noexcept {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    if (lead < 0x80) return {lead, 1};
    return detail::nextMultibyteScalar(text, at);
}

// Calls `body(step, bytes)` for each scalar of `text` (or ill-formed subpart, whose step has the
// scalar `ScalarStep::illFormed`) with the bytes it was read from.
template <class Body>
void forEachScalar(std::string_view text, Body&& body) {
    for (std::size_t at = 0; at < text.size();) {
        const ScalarStep step = nextScalar(text, at);
        body(step, text.substr(at, step.length));
        at += step.length;
    }
}

// Appends the UTF-8 form of `scalar` (one to four bytes); `scalar` must not exceed U+10FFFF.
void appendUtf8(std::string& out, char32_t scalar);

enum class Decoding {
    strict,     // stop at the first ill-formed sequence
    replacing,  // put U+FFFD in place of each ill-formed sequence and go on
};

enum class ByteOrder { bigEndian, littleEndian };

struct DecodedText {
    // The text as UTF-8. After strict decoding of ill-formed input it holds only what came before
    // the first ill-formed sequence.
    std::string text;
    // The offset in the input of the first byte of the first ill-formed sequence, if any.
    std::optional<std::size_t> firstInvalidByte;
};

// UTF-8 bytes as text. A byte-order mark is kept as it is.
DecodedText decodeUtf8(ByteSpan bytes, Decoding decoding);

// UTF-16 bytes in the given byte order as UTF-8 text; a byte-order mark is not looked for (one at
// the start becomes U+FEFF). A lone surrogate code unit is ill-formed, and so is an odd last byte.
DecodedText decodeUtf16(ByteSpan bytes, ByteOrder order, Decoding decoding);

}  // namespace textservices
