#include <gtest/gtest.h>

#include <iconv.h>

#include <string>
#include <vector>

#include "text_decoding.hpp"
#include "xml/indexing.hpp"

namespace {

using score::detail::declaredEncoding;
using score::detail::decodePlainScore;
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

// The C library's own converter, an independent reading of ISO-8859-1.
std::string iconvLatin1(std::string in) {
    const iconv_t cd = iconv_open("UTF-8", "ISO-8859-1");
    std::string out(in.size() * 2, '\0');
    char* from = in.data();
    char* to = out.data();
    size_t fromLeft = in.size(), toLeft = out.size();
    EXPECT_NE(iconv(cd, &from, &fromLeft, &to, &toLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - toLeft);
    return out;
}

TEST(ScoreTextDecoding, PlainFilesDeclaredISO88591AreLatin1) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::string body = "<a>" + everyByte + "</a>";
    struct Case {
        std::string declaration;
        bool latin1;
    };
    for (const auto& c : std::vector<Case>{
             {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", true},
             {"<?xml version='1.0' encoding='iso-8859-1' standalone='no'?>", true},
             {"<?xml version=\"1.0\"\r\n\tencoding = \"Iso-8859-1\"?>", true},
             // Unchanged: other names, declarations that name no encoding, and anything that is
             // no declaration at the very start.
             {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", false},
             {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", false},
             {"<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>", false},
             {"<?xml version=\"1.0\"?>", false},
             {"", false},
             {"\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", false},
             {"<?xml-stylesheet encoding=\"ISO-8859-1\"?>", false},
             {"<?xml version=\"1.0\" encoding=\"ISO-8859-1?>", false},
             {"<?xml version=\"1.0\"encoding=\"ISO-8859-1\"?>", false},
         }) {
        const std::string file = c.declaration + body;
        const auto decoded = decodePlainScore(file);
        if (c.latin1) {
            EXPECT_EQ(decoded.text, iconvLatin1(file)) << c.declaration;
            EXPECT_FALSE(decoded.firstInvalidByte) << c.declaration;
        } else {
            // Read as UTF-8, which these bytes are not.
            EXPECT_EQ(decoded.firstInvalidByte, c.declaration.size() + 3 + 0x7F) << c.declaration;
        }
    }
    EXPECT_EQ(declaredEncoding("<?xml version=\"1.0\" encoding='ISO-8859-1'?>"), "ISO-8859-1");
    EXPECT_EQ(declaredEncoding("<?xml version=\"1.0\" standalone=\"yes\"?>"), std::nullopt);

    // The parser reads the decoded text as the UTF-8 it now is, whatever the declaration says.
    const auto text = decodePlainScore(
                          "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><part-name>Fl\xf6te"
                          "</part-name>")
                          .text;
    EXPECT_EQ(xmlindexing::XMLHash::parse(text)["part-name"].element()->text(), "Fl\xc3\xb6te");
}

}  // namespace
