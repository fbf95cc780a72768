#include "textservices/unicode.hpp"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <bit>
#include <cstring>

namespace textservices {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr std::size_t kReplacementLength = sizeof(kReplacement) - 1;

std::uint64_t load8(const std::uint8_t* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The number of bytes, in memory order, before the first one of a word whose top bit is set;
// `highBits` is the word masked with kHighBits and is not zero.
std::size_t asciiBytesBefore(std::uint64_t highBits) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::size_t>(std::countr_zero(highBits)) / 8;
    } else {
        return static_cast<std::size_t>(std::countl_zero(highBits)) / 8;
    }
}

// The length of the well-formed multi-byte sequence at the start of `p` (whose first byte is not
// ASCII; `available` bytes may be read), or 0 when the sequence is ill-formed. The lead byte fixes
// the length and the range of the second byte, which keeps out overlong forms (E0, F0),
// surrogates (ED) and values past U+10FFFF (F4); C0, C1 and F5-FF never start a sequence.
std::size_t wellFormedSequenceLength(const std::uint8_t* p, std::size_t available) noexcept {
    const std::uint8_t lead = p[0];
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (available < length || p[1] < low || p[1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
    }
    return length;
}

std::size_t wellFormedPrefix(const std::uint8_t* p, std::size_t n) noexcept {
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            // A run of ASCII: whole words first (four at a time while they last), then the bytes
            // of the last word before the first one that is not ASCII.
            while (n - i >= 32 &&
                   ((load8(p + i) | load8(p + i + 8) | load8(p + i + 16) | load8(p + i + 24)) &
                    kHighBits) == 0) {
                i += 32;
            }
            while (n - i >= 8) {
                const std::uint64_t high = load8(p + i) & kHighBits;
                if (high != 0) {
                    i += asciiBytesBefore(high);
                    break;
                }
                i += 8;
            }
            while (i < n && p[i] < 0x80)
                ++i;
            if (i == n) break;
        }
        const std::size_t length = wellFormedSequenceLength(p + i, n - i);
        if (length == 0) return i;
        i += length;
    }
    return n;
}

const std::uint8_t* bytesOf(std::string_view text) noexcept {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

const char* charsOf(const std::uint8_t* bytes) noexcept {
    return reinterpret_cast<const char*>(bytes);
}

// Writes the UTF-8 form of `scalar` at `out` and gives its length.
std::size_t putUtf8(char* out, char32_t scalar) noexcept {
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (scalar < 0x80) {
        out[0] = byte(scalar);
        return 1;
    }
    if (scalar < 0x800) {
        out[0] = byte(0xC0 | (scalar >> 6));
        out[1] = byte(0x80 | (scalar & 0x3F));
        return 2;
    }
    if (scalar < 0x10000) {
        out[0] = byte(0xE0 | (scalar >> 12));
        out[1] = byte(0x80 | ((scalar >> 6) & 0x3F));
        out[2] = byte(0x80 | (scalar & 0x3F));
        return 3;
    }
    out[0] = byte(0xF0 | (scalar >> 18));
    out[1] = byte(0x80 | ((scalar >> 12) & 0x3F));
    out[2] = byte(0x80 | ((scalar >> 6) & 0x3F));
    out[3] = byte(0x80 | (scalar & 0x3F));
    return 4;
}

// Notes an ill-formed sequence at `offset`; true when decoding is to stop there.
bool noteInvalid(DecodedText& result, std::size_t offset, Decoding decoding) noexcept {
    if (!result.firstInvalidByte) result.firstInvalidByte = offset;
    return decoding == Decoding::strict;
}

template <ByteOrder order>
char16_t unitAt(const std::uint8_t* p, std::size_t index) noexcept {
    const std::uint8_t first = p[2 * index], second = p[2 * index + 1];
    return static_cast<char16_t>(order == ByteOrder::bigEndian ? (first << 8) | second
                                                               : (second << 8) | first);
}

// The bits that are zero in four ASCII code units of the given byte order loaded as one word.
template <ByteOrder order>
constexpr std::uint64_t kNonAsciiUnits = (order == ByteOrder::littleEndian) ==
                                                 (std::endian::native == std::endian::little)
                                             ? 0xFF80FF80FF80FF80ull
                                             : 0x80FF80FF80FF80FFull;

template <ByteOrder order>
void decodeUtf16Units(ByteSpan bytes, Decoding decoding, DecodedText& result) {
    const std::uint8_t* p = bytes.data();
    const std::size_t units = bytes.size() / 2;
    // UTF-8 is gathered in a small buffer and appended a block at a time.
    char buffer[4096];
    std::size_t used = 0;
    const auto flush = [&] {
        result.text.append(buffer, used);
        used = 0;
    };
    for (std::size_t k = 0; k < units;) {
        if (used > sizeof buffer - 4) flush();
        // A run of ASCII goes four code units at a time, as far as the buffer holds it.
        while (units - k >= 4 && used <= sizeof buffer - 4 &&
               (load8(p + 2 * k) & kNonAsciiUnits<order>) == 0) {
            for (std::size_t j = 0; j < 4; ++j)
                buffer[used + j] = static_cast<char>(unitAt<order>(p, k + j));
            used += 4;
            k += 4;
        }
        if (k == units || used > sizeof buffer - 4) continue;
        const char16_t unit = unitAt<order>(p, k);
        if (unit < 0x80) {
            buffer[used++] = static_cast<char>(unit);
            ++k;
            continue;
        }
        char32_t scalar = unit;
        if (!U16_IS_SURROGATE(unit)) {
            ++k;
        } else if (U16_IS_SURROGATE_LEAD(unit) && k + 1 < units &&
                   U16_IS_TRAIL(unitAt<order>(p, k + 1))) {
            scalar = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(unit, unitAt<order>(p, k + 1)));
            k += 2;
        } else {
            // A lone surrogate: one ill-formed code unit.
            if (noteInvalid(result, 2 * k, decoding)) break;
            scalar = 0xFFFD;
            ++k;
        }
        used += putUtf8(buffer + used, scalar);
    }
    flush();
    if (bytes.size() % 2 != 0 && !(result.firstInvalidByte && decoding == Decoding::strict)) {
        // Half a code unit at the end.
        if (!noteInvalid(result, bytes.size() - 1, decoding)) {
            result.text.append(kReplacement, kReplacementLength);
        }
    }
}

}  // namespace

bool isAscii(std::string_view text) noexcept {
    const std::uint8_t* p = bytesOf(text);
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        if ((load8(p) & kHighBits) != 0) return false;
    }
    for (; n > 0; ++p, --n) {
        if (*p >= 0x80) return false;
    }
    return true;
}

std::size_t wellFormedUtf8Prefix(std::string_view text) noexcept {
    return wellFormedPrefix(bytesOf(text), text.size());
}

bool isWellFormedUtf8(std::string_view text) noexcept {
    return wellFormedPrefix(bytesOf(text), text.size()) == text.size();
}

namespace detail {

ScalarStep nextMultibyteScalar(std::string_view text, std::size_t at) noexcept {
    const std::uint8_t* s = bytesOf(text);
    const std::size_t length = text.size();
    std::size_t i = at;
    UChar32 scalar = 0;
    // On an ill-formed sequence ICU gives a negative value and steps past its maximal subpart.
    U8_NEXT(s, i, length, scalar);
    if (scalar < 0) return {ScalarStep::illFormed, i - at};
    return {static_cast<char32_t>(scalar), i - at};
}

}  // namespace detail

void appendUtf8(std::string& out, char32_t scalar) {
    char buffer[4];
    out.append(buffer, putUtf8(buffer, scalar));
}

DecodedText decodeUtf8(ByteSpan bytes, Decoding decoding) {
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
    DecodedText result;
    std::size_t prefix = wellFormedPrefix(p, n);
    if (prefix == n) {
        // Well-formed throughout: the text is the bytes.
        result.text.assign(charsOf(p), n);
        return result;
    }
    result.text.reserve(n);
    std::size_t i = 0;
    while (true) {
        result.text.append(charsOf(p + i), prefix);
        i += prefix;
        if (i == n || noteInvalid(result, i, decoding)) break;
        const std::string_view rest(charsOf(p + i), n - i);
        i += detail::nextMultibyteScalar(rest, 0).length;
        result.text.append(kReplacement, kReplacementLength);
        prefix = wellFormedPrefix(p + i, n - i);
    }
    return result;
}

DecodedText decodeUtf16(ByteSpan bytes, ByteOrder order, Decoding decoding) {
    DecodedText result;
    result.text.reserve(bytes.size() / 2);
    if (order == ByteOrder::bigEndian) {
        decodeUtf16Units<ByteOrder::bigEndian>(bytes, decoding, result);
    } else {
        decodeUtf16Units<ByteOrder::littleEndian>(bytes, decoding, result);
    }
    return result;
}

}  // namespace textservices
