#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "midi_support/text_encoding.hpp"

using namespace midisupport;

namespace {

std::vector<uint8_t> bytesOf(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string textOf(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// UTF-8 of one scalar, written out here so that the tests do not lean on the library's encoder.
std::string utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
        out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<char>(0x80 | (c & 0x3F))};
    } else {
        out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

TEST(NonLossyASCII, EncodesOutsideASCIIAsEscapes) {
    const struct {
        std::string text;
        std::string encoded;
    } cases[] = {
        {"MTrk", "MTrk"},
        {"", ""},
        {"caf\xC3\xA9", "caf\\351"},                               // é, U+00E9
        {"\xC2\x80\xC3\xBF", "\\200\\377"},                        // U+0080, U+00FF
        {"a\\b", "a\\\\b"},                                        // a backslash doubles
        {"\xE2\x82\xAC", "\\u20ac"},                               // €, U+20AC
        {"\xEF\xBF\xBF", "\\uffff"},                               // U+FFFF
        {"\xF0\x9F\x98\x80", "\\ud83d\\ude00"},                    // U+1F600 as a surrogate pair
        {"\xF4\x8F\xBF\xBF", "\\udbff\\udfff"},                    // U+10FFFF
        {std::string("\0\t\x7F", 3), std::string("\0\t\x7F", 3)},  // controls stand as they are
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textOf(nonLossyASCIIData(c.text)), c.encoded) << c.encoded;
        EXPECT_EQ(nonLossyASCIIBytes(c.text, true), bytesOf(c.encoded));
        EXPECT_EQ(nonLossyASCIIString(bytesOf(c.encoded)), c.text) << c.encoded;
    }
}

TEST(NonLossyASCII, ReadsEitherCaseOfHexDigitsAndOctalForAnyByte) {
    EXPECT_EQ(nonLossyASCIIString(bytesOf("\\u20AC\\uD83D\\uDE00")),
              "\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(nonLossyASCIIString(bytesOf("\\101\\000")), std::string("A\0", 2));
    EXPECT_EQ(nonLossyASCIIString(bytesOf("\\u0041")), "A");
}

TEST(NonLossyASCII, MalformedInputDecodesToNone) {
    const std::string malformed[] = {
        "\\",
        "abc\\",
        "\\q",
        "\\x41",
        "\\u",
        "\\u12",
        "\\u12G4",
        "\\U0041",
        "\\4",
        "\\400",
        "\\18",
        "\\7",
        "\\ud83d",
        "\\ude00",
        "\\ud83dx",
        "\\ud83d\\u0041",
        "\\ude00\\ud83d",
        "\xC3\xA9",
        "ok\x80",
    };
    for (const auto& bytes : malformed) {
        EXPECT_EQ(nonLossyASCIIString(bytesOf(bytes)), std::nullopt) << bytes;
    }
}

TEST(NonLossyASCII, RandomTextRoundTrips) {
    std::mt19937 random(20240611);
    // Scalars from every plane region, with the characters the escapes use weighed in.
    const char32_t specials[] = {'\\',  'u',    '0',    '7',    0,      0x7F,    0x80,    0xFF,
                                 0x100, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
    std::uniform_int_distribution<int> kind(0, 4);
    std::uniform_int_distribution<uint32_t> scalar(0, 0x10FFFF);
    std::uniform_int_distribution<size_t> length(0, 24);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (size_t i = length(random); i > 0; --i) {
            char32_t c = 0;
            switch (kind(random)) {
                case 0:
                    c = specials[random() % std::size(specials)];
                    break;
                case 1:
                    c = random() % 0x80;
                    break;
                case 2:
                    c = 0x80 + random() % 0x780;
                    break;
                default:
                    c = scalar(random);
                    if (c >= 0xD800 && c <= 0xDFFF) c = 'x';
            }
            text += utf8(c);
        }
        const auto encoded = nonLossyASCIIData(text);
        for (uint8_t b : encoded)
            ASSERT_LT(b, 0x80);
        ASSERT_EQ(nonLossyASCIIString(encoded), text);
        ASSERT_EQ(nonLossyASCIIStringWithFallback(encoded), text);
    }
}

TEST(TextEncoding, DecodingFallsBackThroughASCIIAndUTF8) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"caf\\351", "caf\xC3\xA9"},     // non-lossy ASCII
        {"C:\\tmp", "C:\\tmp"},          // not non-lossy ASCII (\t), but ASCII
        {"caf\xC3\xA9", "caf\xC3\xA9"},  // UTF-8
        {"\xFF\xFE\x41", "???"},         // none of them: one "?" per byte
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nonLossyASCIIStringWithFallback(bytesOf(c.bytes)), c.text) << c.bytes;
    }
}

TEST(TextEncoding, IllFormedTextEncodesToNothing) {
    for (const std::string text :
         {"\xC3", "a\xFF", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80"}) {
        EXPECT_TRUE(nonLossyASCIIData(text).empty());
        EXPECT_TRUE(nonLossyASCIIData(text, true).empty());
        EXPECT_EQ(toData(text, StringEncoding::utf8), std::nullopt);
        EXPECT_EQ(toString(bytesOf(text), StringEncoding::utf8), std::nullopt);
    }
}

TEST(TextEncoding, PlainConversions) {
    const std::string accented = "\xC3\xA9";
    EXPECT_EQ(toData("abc", StringEncoding::ascii), bytesOf("abc"));
    EXPECT_EQ(toData(accented, StringEncoding::ascii), std::nullopt);
    EXPECT_EQ(toData(accented, StringEncoding::utf8), bytesOf(accented));
    EXPECT_EQ(toData(accented, StringEncoding::nonLossyASCII), bytesOf("\\351"));
    EXPECT_EQ(toString(bytesOf(accented), StringEncoding::ascii), std::nullopt);
    EXPECT_EQ(toString(bytesOf(accented), StringEncoding::utf8), accented);
    EXPECT_EQ(toString(bytesOf("\\351"), StringEncoding::nonLossyASCII), accented);
}

TEST(AsciiStringLossy, TransliteratesLatinAndMarksTheRest) {
    const struct {
        std::string text;
        std::string ascii;
    } cases[] = {
        {"plain\ttext\n", "plain\ttext\n"},  // all ASCII: unchanged, controls too
        {"caf\xC3\xA9", "cafe"},             // café
        {"Stra\xC3\x9F"
         "e",
         "Strasse"},                         // Straße
        {"\xC3\x86sop", "AEsop"},            // Æsop
        {"e\xCC\x81", "e"},                  // e + combining acute
        {"na\xC3\xAFve\n", "naive?"},        // controls go once transliterated
        {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},  // 日本: no Latin form
        {"\xF0\x9F\x98\x80x", "?x"},         // one character beyond the BMP: one "?"
        {"\xC3\xA9\r\n", "e?"},              // CR LF is one character
        {"\xC3\xA9\xFF", "e?"},              // ill-formed byte
        // Ill-formed sequences count one character per maximal subpart, as in U+FFFD substitution.
        {"a\xE0\x80\x80"
         "b",
         "a???b"},                     // overlong form
        {"\xED\xA0\x80", "???"},       // encoded surrogate
        {"\xF4\x90\x80\x80", "????"},  // past U+10FFFF
        {"\xF0\x9F\x98", "?"},         // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(asciiStringLossy(c.text), c.ascii) << c.text;
}

TEST(CharacterPrefix, CountsExtendedGraphemeClusters) {
    const std::string acute = "e" + utf8(0x301);                  // e + combining acute
    const std::string flag = utf8(0x1F1EB) + utf8(0x1F1F7);       // two regional indicators
    const std::string family = utf8(0x1F468) + utf8(0x200D) + utf8(0x1F469);  // joined by ZWJ
    const struct {
        std::string text;
        size_t count;
        std::string prefix;
    } cases[] = {
        {"abc", 5, "abc"},
        {"abc", 0, ""},
        {acute + acute + acute, 2, acute + acute},
        {flag + flag + "x", 1, flag},
        {family + family, 1, family},
        {"a\r\nb", 2, "a\r\n"},           // CR LF is one character
        {"\xFF\xFE" "ab", 2, "\xFF\xFE"},  // each ill-formed byte is a character
        {utf8(0x65E5) + utf8(0x672C) + "!", 2, utf8(0x65E5) + utf8(0x672C)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(characterPrefix(c.text, c.count), c.prefix) << c.text << " " << c.count;
    }
}

}  // namespace
