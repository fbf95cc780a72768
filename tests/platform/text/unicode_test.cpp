// Expected values come from the Unicode Standard (its table of well-formed UTF-8 byte sequences and
// its examples of U+FFFD substitution by maximal subpart) and from Python's codecs, whose UTF-8
// and UTF-16 decoders with errors="replace" follow the same practice.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "textservices/unicode.hpp"

namespace {

using textservices::ByteOrder;
using textservices::Decoding;
using textservices::ScalarStep;

// Bytes written as hexadecimal pairs separated by spaces: "C2 80".
std::string hex(std::string_view pairs) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < pairs.size(); at += 3) {
        bytes += static_cast<char>(std::stoi(std::string(pairs.substr(at, 2)), nullptr, 16));
    }
    return bytes;
}

std::vector<std::uint8_t> byteVector(const std::string& bytes) {
    return {bytes.begin(), bytes.end()};
}

// Code units laid out as bytes in the given order.
std::vector<std::uint8_t> utf16Bytes(std::u16string_view units, ByteOrder order) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : units) {
        const auto high = static_cast<std::uint8_t>(unit >> 8);
        const auto low = static_cast<std::uint8_t>(unit & 0xFF);
        bytes.push_back(order == ByteOrder::bigEndian ? high : low);
        bytes.push_back(order == ByteOrder::bigEndian ? low : high);
    }
    return bytes;
}

// ASCII filler that lines the case up at every offset within and across the eight-byte words.
const std::size_t paddings[] = {0, 1, 3, 7, 8, 9, 15, 16, 31, 32, 33, 40};

std::string padding(std::size_t length) {
    std::string text;
    for (std::size_t k = 0; k < length; ++k)
        text += static_cast<char>('a' + k % 26);
    return text;
}

// Unicode's table of well-formed UTF-8 byte sequences, at the edges of each row, and the sequences
// just outside them.
TEST(Utf8WellFormedness, TableOfWellFormedSequences) {
    const struct {
        const char* bytes;
        std::optional<std::size_t> firstInvalid;  // none: well-formed
    } cases[] = {
        {"00", std::nullopt},
        {"7F", std::nullopt},
        {"C2 80", std::nullopt},
        {"DF BF", std::nullopt},
        {"E0 A0 80", std::nullopt},
        {"E0 BF BF", std::nullopt},
        {"E1 80 80", std::nullopt},
        {"EC BF BF", std::nullopt},
        {"ED 80 80", std::nullopt},
        {"ED 9F BF", std::nullopt},  // U+D7FF, the last scalar before the surrogates
        {"EE 80 80", std::nullopt},  // U+E000, the first after them
        {"EF BF BF", std::nullopt},
        {"F0 90 80 80", std::nullopt},
        {"F0 BF BF BF", std::nullopt},
        {"F1 80 80 80", std::nullopt},
        {"F3 BF BF BF", std::nullopt},
        {"F4 80 80 80", std::nullopt},
        {"F4 8F BF BF", std::nullopt},  // U+10FFFF
        {"80", 0},                      // a continuation byte alone
        {"BF", 0},
        {"C0 80", 0},  // C0 and C1 lead only overlong forms
        {"C1 BF", 0},
        {"C2 7F", 0},  // second byte out of range
        {"C2 C0", 0},
        {"DF", 0},        // cut short
        {"E0 9F BF", 0},  // overlong
        {"E0 A0", 0},
        {"ED A0 80", 0},  // U+D800
        {"ED BF BF", 0},  // U+DFFF
        {"EF BF", 0},
        {"EF BF 7F", 0},
        {"F0 8F BF BF", 0},  // overlong
        {"F0 90 80", 0},
        {"F4 90 80 80", 0},  // U+110000
        {"F4 8F BF", 0},
        {"F4 8F BF 7F", 0},
        {"F5 80 80 80", 0},  // F5 to FF lead nothing
        {"F8 88 80 80 80", 0},
        {"FE", 0},
        {"FF", 0},
        {"C3 A9 80", 2},
        {"F0 9D 84 9E E2 82", 4},
    };
    for (const auto& c : cases) {
        for (const std::size_t before : paddings) {
            const std::string text = padding(before) + hex(c.bytes) + padding(9);
            SCOPED_TRACE(std::string(c.bytes) + " after " + std::to_string(before));
            EXPECT_EQ(textservices::isWellFormedUtf8(text), !c.firstInvalid);
            EXPECT_EQ(textservices::wellFormedUtf8Prefix(text),
                      c.firstInvalid ? before + *c.firstInvalid : text.size());
            const auto decoded = textservices::decodeUtf8(byteVector(text), Decoding::strict);
            EXPECT_EQ(decoded.firstInvalidByte,
                      c.firstInvalid ? std::optional(before + *c.firstInvalid) : std::nullopt);
            bool stepsWellFormed = true;
            textservices::forEachScalar(text, [&](ScalarStep step, std::string_view) {
                stepsWellFormed = stepsWellFormed && step.wellFormed();
            });
            EXPECT_EQ(stepsWellFormed, !c.firstInvalid);
        }
    }
}

TEST(Utf8WellFormedness, AsciiAndOneOtherByteAtEveryOffset) {
    for (std::size_t at = 0; at < 48; ++at) {
        SCOPED_TRACE(at);
        std::string text = padding(48);
        EXPECT_TRUE(textservices::isAscii(text.substr(0, at)));
        text[at] = '\x80';
        EXPECT_FALSE(textservices::isAscii(text));
        EXPECT_EQ(textservices::wellFormedUtf8Prefix(text), at);
        text[at] = '\x7F';
        EXPECT_TRUE(textservices::isAscii(text));
        EXPECT_TRUE(textservices::isWellFormedUtf8(text));
        text.replace(at, 1, hex("F0 9F 98 80"));
        EXPECT_TRUE(textservices::isWellFormedUtf8(text));
    }
    EXPECT_TRUE(textservices::isAscii(""));
    EXPECT_TRUE(textservices::isWellFormedUtf8(""));
}

// How text is split into scalars and maximal ill-formed subparts.
TEST(Utf8Stepping, MaximalSubparts) {
    constexpr char32_t ill = ScalarStep::illFormed;
    const struct {
        const char* bytes;
        std::vector<std::pair<char32_t, std::size_t>> steps;
    } cases[] = {
        // clang-format off
        {"41 C3 A9 E2 82 AC F0 9F 98 80", {{0x41, 1}, {0xE9, 2}, {0x20AC, 3}, {0x1F600, 4}}},
        {"7F C2 80 DF BF E0 A0 80 ED 9F BF EE 80 80 EF BF BF F4 8F BF BF",
         {{0x7F, 1}, {0x80, 2}, {0x7FF, 2}, {0x800, 3}, {0xD7FF, 3}, {0xE000, 3}, {0xFFFF, 3},
          {0x10FFFF, 4}}},
        // The Unicode Standard's examples of U+FFFD substitution, one replacement per ill step.
        {"61 F1 80 80 E1 80 C2 62 80 63 80 BF 64",
         {{0x61, 1}, {ill, 3}, {ill, 2}, {ill, 1}, {0x62, 1}, {ill, 1}, {0x63, 1}, {ill, 1},
          {ill, 1}, {0x64, 1}}},
        {"C0 AF E0 80 BF F0 81 82 41",  // non-shortest forms
         {{ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1},
          {0x41, 1}}},
        {"ED A0 80 ED BF BF ED AF 41",  // surrogates
         {{ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1},
          {0x41, 1}}},
        {"F4 91 92 93 FF 41 80 BF 42",  // past U+10FFFF, bytes that are never used
         {{ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {ill, 1}, {0x41, 1}, {ill, 1}, {ill, 1},
          {0x42, 1}}},
        {"E1 80 E2 F0 91 92 F1 BF 41",  // truncated sequences
         {{ill, 2}, {ill, 1}, {ill, 3}, {ill, 2}, {0x41, 1}}},
        {"F4 8F BF", {{ill, 3}}},  // cut short by the end of the text
        {"E0 A0", {{ill, 2}}},
        {"F5 80", {{ill, 1}, {ill, 1}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::vector<std::pair<char32_t, std::size_t>> steps;
        std::string joined;
        const std::string text = hex(c.bytes);
        textservices::forEachScalar(text, [&](ScalarStep step, std::string_view bytes) {
            steps.emplace_back(step.scalar, step.length);
            EXPECT_EQ(bytes.size(), step.length);
            joined += bytes;
        });
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(joined, text);
    }
}

TEST(Utf8Encoding, EveryLengthAtItsEdges) {
    const struct {
        char32_t scalar;
        const char* bytes;
    } cases[] = {
        {0x0, "00"},
        {0x7F, "7F"},
        {0x80, "C2 80"},
        {0x7FF, "DF BF"},
        {0x800, "E0 A0 80"},
        {0xD7FF, "ED 9F BF"},
        {0xE000, "EE 80 80"},
        {0xFFFD, "EF BF BD"},
        {0xFFFF, "EF BF BF"},
        {0x10000, "F0 90 80 80"},
        {0x10FFFF, "F4 8F BF BF"},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        textservices::appendUtf8(out, c.scalar);
        EXPECT_EQ(out, "x" + hex(c.bytes)) << c.bytes;
    }
}

TEST(Utf8Encoding, EveryScalarSurvivesARoundTrip) {
    std::string text;
    for (char32_t scalar = 0; scalar <= 0x10FFFF; ++scalar) {
        if (scalar == 0xD800) scalar = 0xE000;
        text.clear();
        textservices::appendUtf8(text, scalar);
        const ScalarStep step = textservices::nextScalar(text, 0);
        if (step.scalar != scalar || step.length != text.size() ||
            !textservices::isWellFormedUtf8(text)) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(scalar);
            break;
        }
    }
}

TEST(Utf8Decoding, ReplacingAndStrict) {
    const struct {
        const char* bytes;
        const char* replaced;
        std::optional<std::size_t> firstInvalid;
    } cases[] = {
        {"61 F1 80 80 E1 80 C2 62 80 63 80 BF 64",
         "61 EF BF BD EF BF BD EF BF BD 62 EF BF BD 63 EF BF BD EF BF BD 64", 1},
        {"C0 AF E0 80 BF F0 81 82 41",
         "EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD 41", 0},
        {"ED A0 80 ED BF BF ED AF 41",
         "EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD 41", 0},
        {"F4 91 92 93 FF 41 80 BF 42",
         "EF BF BD EF BF BD EF BF BD EF BF BD EF BF BD 41 EF BF BD EF BF BD 42", 0},
        {"E1 80 E2 F0 91 92 F1 BF 41", "EF BF BD EF BF BD EF BF BD EF BF BD 41", 0},
        {"C3 A9 F0 9D 84 9E E2 82", "C3 A9 F0 9D 84 9E EF BF BD", 6},
        {"EF BB BF 3C 61 3E", "EF BB BF 3C 61 3E", std::nullopt},  // a byte-order mark is kept
        {"", "", std::nullopt},
    };
    for (const auto& c : cases) {
        for (const std::size_t before : paddings) {
            SCOPED_TRACE(std::string(c.bytes) + " after " + std::to_string(before));
            const std::string input = padding(before) + hex(c.bytes);
            const auto replaced = textservices::decodeUtf8(byteVector(input), Decoding::replacing);
            EXPECT_EQ(replaced.text, padding(before) + hex(c.replaced));
            const auto first =
                c.firstInvalid ? std::optional(before + *c.firstInvalid) : std::nullopt;
            EXPECT_EQ(replaced.firstInvalidByte, first);
            const auto strict = textservices::decodeUtf8(byteVector(input), Decoding::strict);
            EXPECT_EQ(strict.firstInvalidByte, first);
            // Strict decoding keeps what came before the first ill-formed sequence.
            EXPECT_EQ(strict.text, first ? input.substr(0, *first) : input);
        }
    }
}

TEST(Utf16Decoding, BothByteOrders) {
    const struct {
        std::u16string units;
        bool oddByte;  // one more byte (0x62) after the units
        const char* utf8;
        std::optional<std::size_t> firstInvalid;
    } cases[] = {
        {{0x61, 0xE9, 0x20AC, 0xFFFF}, false, "61 C3 A9 E2 82 AC EF BF BF", std::nullopt},
        {{0xD834, 0xDD1E}, false, "F0 9D 84 9E", std::nullopt},
        {{0xDBFF, 0xDFFF}, false, "F4 8F BF BF", std::nullopt},
        {{0xFEFF, 0x61}, false, "EF BB BF 61", std::nullopt},  // no byte-order mark is looked for
        {{0x61, 0xD800, 0x62}, false, "61 EF BF BD 62", 2},    // lone high surrogate
        {{0xD800}, false, "EF BF BD", 0},                      // ... at the end
        {{0xD800, 0xD800, 0xDC00}, false, "EF BF BD F0 90 80 80", 0},
        {{0xDC00}, false, "EF BF BD", 0},                   // lone low surrogate
        {{0xDC00, 0xD800}, false, "EF BF BD EF BF BD", 0},  // a pair the wrong way round
        {{0x61}, true, "61 EF BF BD", 2},                   // half a code unit
        {{}, true, "EF BF BD", 0},
        {{0x61, 0xD800}, true, "61 EF BF BD EF BF BD", 2},  // each counts on its own
        {{}, false, "", std::nullopt},
    };
    for (const auto order : {ByteOrder::littleEndian, ByteOrder::bigEndian}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.utf8) +
                         (order == ByteOrder::bigEndian ? " big-endian" : " little-endian"));
            std::vector<std::uint8_t> bytes = utf16Bytes(c.units, order);
            if (c.oddByte) bytes.push_back(0x62);
            const auto replaced = textservices::decodeUtf16(bytes, order, Decoding::replacing);
            EXPECT_EQ(replaced.text, hex(c.utf8));
            EXPECT_EQ(replaced.firstInvalidByte, c.firstInvalid);
            const auto strict = textservices::decodeUtf16(bytes, order, Decoding::strict);
            EXPECT_EQ(strict.firstInvalidByte, c.firstInvalid);
            if (!c.firstInvalid) {
                EXPECT_EQ(strict.text, hex(c.utf8));
            }
        }
    }
}

// Long input crosses the blocks in which decoded UTF-16 is gathered, and runs of ASCII of every
// length end at every position within the groups of four code units taken at once.
TEST(Utf16Decoding, LongTextWithScalarsOfEveryLength) {
    const std::u16string others[] = {u"\u00E9", u"\u4E00\u0100\u0200\u3000", u"\U0001D11E"};
    const char* const othersUtf8[] = {"C3 A9", "E4 B8 80 C4 80 C8 80 E3 80 80", "F0 9D 84 9E"};
    std::u16string units;
    std::string expected;
    for (std::size_t k = 0; k < 6000; ++k) {
        const std::size_t run = k % 11;
        units += std::u16string_view(u"abcdefghijk", run);
        expected += std::string_view("abcdefghijk", run);
        units += others[k % 3];
        expected += hex(othersUtf8[k % 3]);
    }
    units += u'\xDC00';
    for (const auto order : {ByteOrder::littleEndian, ByteOrder::bigEndian}) {
        const std::vector<std::uint8_t> bytes = utf16Bytes(units, order);
        const auto strict = textservices::decodeUtf16(bytes, order, Decoding::strict);
        EXPECT_EQ(strict.firstInvalidByte, bytes.size() - 2);
        EXPECT_EQ(strict.text, expected);
        const auto replaced = textservices::decodeUtf16(bytes, order, Decoding::replacing);
        EXPECT_EQ(replaced.text, expected + hex("EF BF BD"));
    }
}

}  // namespace
