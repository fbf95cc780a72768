#include <gtest/gtest.h>

#include "midi_support/strings.hpp"

using namespace midisupport;

namespace {

TEST(Strings, QuotingAndAppending) {
    EXPECT_EQ(quoted("Tessaloom MIDI In"), "\"Tessaloom MIDI In\"");
    EXPECT_EQ(quoted("say \"hi\""), "\"say \"hi\"\"");  // nothing inside is escaped
    EXPECT_EQ(quoted(""), "\"\"");
    std::string text = appendingTab(appendingNewLine("x"));
    appendNewLine(text);
    EXPECT_EQ(text, "x\n\t\n");
}

TEST(Strings, OnlyKeepsScalarsOfTheSets) {
    const struct {
        std::string text, expected;
    } alphanumerics[] = {
        {"TessaloomMIDIModule", "TessaloomMIDIModule"},
        {"My App: MIDI-Client #2!", "MyAppMIDIClient2"},
        // Letters, marks and numbers of other scripts stay: 日本, ñ, e + U+0301, Arabic-Indic 3,
        // superscript two (a number, not a digit).
        {"\xE6\x97\xA5\xE6\x9C\xAC \xC3\xB1-e\xCC\x81/\xD9\xA3\xC2\xB2",
         "\xE6\x97\xA5\xE6\x9C\xAC\xC3\xB1"
         "e\xCC\x81\xD9\xA3\xC2\xB2"},
        {"\xF0\x9F\x98\x80\xE2\x82\xAC", ""},  // emoji and euro sign are neither
        {"a\xFF"
         "b",
         "ab"},  // an ill-formed byte is in no set
    };
    for (const auto& c : alphanumerics)
        EXPECT_EQ(onlyAlphanumerics(c.text), c.expected) << c.text;
    EXPECT_EQ(only("a1 b2\tc3", CharacterSet::decimalDigits(), CharacterSet::whitespaces()),
              "1 2\t3");
    EXPECT_EQ(only("a1b2", CharacterSet::letters()), "ab");
    EXPECT_EQ(onlyCharacters("F0 7e 7F", "0123456789ABCDEF"), "F077F");
}

TEST(Strings, RemovingDropsScalarsOfTheSets) {
    // Tab, line feed, no-break space, line separator, next line: all white space or line breaks.
    const std::string spaced =
        "F0 7E\n\t7F\xC2\xA0"
        "01\xE2\x80\xA8"
        "06\xC2\x85"
        "F7";
    EXPECT_EQ(removing(spaced, CharacterSet::whitespacesAndNewlines()), "F07E7F0106F7");
    EXPECT_EQ(removing("a b\nc", CharacterSet::newlines()), "a bc");
    EXPECT_EQ(removing("a1 b2", CharacterSet::decimalDigits(), CharacterSet::whitespaces()), "ab");
    EXPECT_EQ(removingCharacters("a-b_c", "-_"), "abc");
    EXPECT_EQ(removing("x\xFF y", CharacterSet::whitespaces()), "x\xFFy");  // kept as it was
}

TEST(Strings, CharacterSetsUniteAndAnswerMembership) {
    const auto set =
        CharacterSet::characters("ab\xE2\x82\xAC").united(CharacterSet::decimalDigits());
    for (char32_t in : {U'a', U'b', U'\u20AC', U'7', U'\u0663'})
        EXPECT_TRUE(set.contains(in));
    for (char32_t out : {U'c', U' ', char32_t{0x110000}, char32_t{0xFFFFFFFF}}) {
        EXPECT_FALSE(set.contains(out));
    }
}

}  // namespace
