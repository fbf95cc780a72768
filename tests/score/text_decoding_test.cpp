#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_decoding.hpp"

namespace {

using score::detail::decodeScoreText;
using score::detail::Decoding;

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

const std::string fffd = "\xef\xbf\xbd";

TEST(ScoreTextDecoding, IllFormedUTF8IsReplacedPerMaximalSubpart) {
    struct Case {
        std::string input;
        std::string replaced;
        size_t firstInvalid;
    };
    const std::vector<Case> cases = {
        // The example of the Unicode Standard, chapter 3 (U+FFFD substitution of maximal subparts).
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         "a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d", 1},
        {"Caf\xe9", "Caf" + fffd, 3},
        {"\xed\xa0\x80x", fffd + fffd + fffd + "x", 0},  // an encoded surrogate
        {"\xc0\xaf", fffd + fffd, 0},                    // an overlong form
        {"end\xf0\x9d\x84", "end" + fffd, 3},            // cut short
    };
    for (const auto& c : cases) {
        const auto replaced = decodeScoreText(bytes(c.input), Decoding::replacing);
        EXPECT_EQ(replaced.text, c.replaced);
        EXPECT_EQ(replaced.firstInvalidByte, c.firstInvalid);
        const auto strict = decodeScoreText(bytes(c.input), Decoding::strict);
        EXPECT_EQ(strict.firstInvalidByte, c.firstInvalid);
    }
}

TEST(ScoreTextDecoding, WellFormedTextPassesUnchanged) {
    const std::string text = "\xef\xbb\xbf<a>Caf\xc3\xa9 \xe2\x99\xab \xf0\x9d\x84\x9e</a>";
    for (auto decoding : {Decoding::strict, Decoding::replacing}) {
        const auto decoded = decodeScoreText(bytes(text), decoding);
        EXPECT_EQ(decoded.text, text);  // a UTF-8 byte-order mark stays for the XML parser
        EXPECT_FALSE(decoded.firstInvalidByte);
    }
}

TEST(ScoreTextDecoding, UTF16AfterAByteOrderMark) {
    struct Case {
        std::string input;
        std::string text;
        std::optional<size_t> firstInvalid;
    };
    const std::vector<Case> cases = {
        {std::string("\xff\xfe<\0a\0\xe9\0>\0", 10), "<a\xc3\xa9>", std::nullopt},
        {std::string("\xfe\xff\0<\xd8\x34\xdd\x1e\0>", 10), "<\xf0\x9d\x84\x9e>", std::nullopt},
        {std::string("\xff\xfe"
                     "a\0\x00\xd8"
                     "b\0",
                     8),
         "a" + fffd + "b", 4},                          // lone high surrogate
        {std::string("\xfe\xff\xdc\x00", 4), fffd, 2},  // lone low surrogate
        {std::string("\xff\xfe"
                     "a\0b",
                     5),
         "a" + fffd, 4},  // half a code unit
    };
    for (const auto& c : cases) {
        const auto decoded = decodeScoreText(bytes(c.input), Decoding::replacing);
        EXPECT_EQ(decoded.text, c.text);
        EXPECT_EQ(decoded.firstInvalidByte, c.firstInvalid);
        EXPECT_EQ(decodeScoreText(bytes(c.input), Decoding::strict).firstInvalidByte,
                  c.firstInvalid);
    }
}

}  // namespace
