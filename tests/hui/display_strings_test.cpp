// Expected contents are typed in from the display string rules of the HUI display documentation
// (padding, cutting, the time display's dot rule) as character codes.
#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "hui/display_strings.hpp"

namespace {

using hui::HUILargeDisplayCharacter;
using hui::HUILargeDisplayString;
using hui::HUISmallDisplay;
using hui::HUISmallDisplayCharacter;
using hui::HUISmallDisplayString;
using hui::HUITimeDisplayCharacter;
using hui::HUITimeDisplayString;

template <class String>
std::vector<int> codes(const String& s) {
    std::vector<int> out;
    for (const auto& c : s.chars())
        out.push_back(c.rawValue().value());
    return out;
}

// `prefix` followed by spaces (0x20) up to `length`.
std::vector<int> padded(std::vector<int> prefix, std::size_t length) {
    prefix.resize(length, 0x20);
    return prefix;
}

TEST(HUIDisplayStrings, FreshStringsAreSpaces) {
    EXPECT_EQ(HUILargeDisplayString().stringValue(), std::string(40, ' '));
    EXPECT_EQ(HUISmallDisplayString().stringValue(), "    ");
    EXPECT_EQ(HUITimeDisplayString().stringValue(), "        ");
    EXPECT_EQ(HUILargeDisplayString().description(), std::string(40, ' '));
}

TEST(HUIDisplayStrings, StoredCharactersAreCutOrPadded) {
    using L = HUILargeDisplayCharacter;
    const std::vector<HUILargeDisplayCharacter> many(41, L::x);
    EXPECT_EQ(codes(HUILargeDisplayString::fromChars(many)), std::vector<int>(40, 'x'));
    EXPECT_EQ(HUILargeDisplayString::fromChars({}), HUILargeDisplayString());

    using S = HUISmallDisplayCharacter;
    HUISmallDisplayString small;
    const std::vector<HUISmallDisplayCharacter> three = {S::a, S::b, S::c};
    small.setChars(three);
    EXPECT_EQ(small.stringValue(), "abc ");
    small.modifyChars([](std::vector<HUISmallDisplayCharacter>& chars) {
        chars.push_back(S::d);
        chars.push_back(S::e);
    });
    EXPECT_EQ(small.stringValue(), "abc ");
    small.modifyChars(
        [](std::vector<HUISmallDisplayCharacter>& chars) { chars.erase(chars.begin()); });
    EXPECT_EQ(small.stringValue(), "bc  ");
}

TEST(HUIDisplayStrings, LargeAndSmallStringsFromText) {
    struct Case {
        std::string text;
        std::vector<int> large, small;  // leading codes; the rest are spaces
    };
    const std::vector<Case> cases = {
        {"Hello", {'H', 'e', 'l', 'l', 'o'}, {'H', 'e', 'l', 'l'}},
        {"Volume", {'V', 'o', 'l', 'u', 'm', 'e'}, {'V', 'o', 'l', 'u'}},
        {"full", {'f', 'u', 'l', 'l'}, {'f', 'u', 'l', 'l'}},
        {"11", {'1', '1'}, {'1', '1'}},
        {"h\u00E9", {'h', 0x3F}, {'h', 0x0F}},
        {"he\u0301", {'h', 0x3F}, {'h', 0x0F}},
        {"\u2192\u00B0C", {0x7E, 0x3F, 'C'}, {0x02, 0x3F, 'C'}},
        {"~\u2591", {0x3F, 0x3F}, {0x7E, 0x7F}},
        // Ill-formed UTF-8, a combining mark with no base, an emoji sequence, a control character.
        {"a\xFF\xC0z", {'a', 0x3F, 0x3F, 'z'}, {'a', 0x3F, 0x3F, 'z'}},
        {"\u0301b", {0x3F, 'b'}, {0x3F, 'b'}},
        {"\U0001F469\u200D\U0001F4BBx", {0x3F, 'x'}, {0x3F, 'x'}},
        {"\t", {0x3F}, {0x3F}},
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(codes(HUILargeDisplayString(c.text)), padded(c.large, 40)) << c.text;
        EXPECT_EQ(codes(HUISmallDisplayString(c.text)), padded(c.small, 4)) << c.text;
    }
    const std::string fifty(50, 'w');
    EXPECT_EQ(HUILargeDisplayString(fifty).stringValue(), std::string(40, 'w'));
}

TEST(HUIDisplayStrings, TimeStringsFromText) {
    struct Case {
        std::string text;
        std::vector<int> codes;  // leading codes; the rest are spaces
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"12.34.56.78", {0x01, 0x12, 0x03, 0x14, 0x05, 0x16, 0x07, 0x08}, "12.34.56.78"},
        {"1.2", {0x11, 0x02}, "1.2      "},
        {".5", {0x20, 0x05}, " 5      "},
        {"..", {0x20, 0x20}, "        "},
        {"12:34:56:78", {0x01, 0x02, 0x20, 0x03, 0x04, 0x20, 0x05, 0x06}, "12 34 56"},
        {"x", {}, "        "},
        {" .?F.", {0x30, 0x21, 0x1F}, " .?F.     "},
        {"a.b", {0x20, 0x20}, "        "},
        {"\xFF"
         "1\u0301.",
         {0x20, 0x20},
         "        "},
        {"", {0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00}, "00.00.00.00"},
    };
    for (const auto& c : cases) {
        const HUITimeDisplayString time(c.text);
        EXPECT_EQ(codes(time), padded(c.codes, 8)) << c.text;
        EXPECT_EQ(time.stringValue(), c.shown) << c.text;
    }
    EXPECT_EQ(HUITimeDisplayString("x"), HUITimeDisplayString());
    EXPECT_NE(HUITimeDisplayString(""), HUITimeDisplayString());
}

TEST(HUIDisplayStrings, TextOfStringsWithBlankAndLongEntries) {
    using L = HUILargeDisplayCharacter;
    const std::vector<HUILargeDisplayCharacter> blank(40, L::empty0x00);
    EXPECT_EQ(HUILargeDisplayString::fromChars(blank).stringValue(), "");
    const std::vector<HUILargeDisplayCharacter> marks = {L::full, L::degreesCelsius, L::empty0x0F,
                                                         L::A};
    EXPECT_EQ(HUILargeDisplayString::fromChars(marks).stringValue(),
              "full\u00B0CA" + std::string(36, ' '));
}

TEST(HUIDisplayStrings, EqualityAndHashFollowTheCodes) {
    const HUISmallDisplayString a("ab"), b("ab"), c("ba"), d("ab ");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, d);
    EXPECT_NE(a, c);
    EXPECT_EQ(std::hash<HUISmallDisplayString>{}(a), std::hash<HUISmallDisplayString>{}(b));
    std::unordered_set<HUISmallDisplayString> set = {a, b, c, d};
    EXPECT_EQ(set.size(), 2u);
}

TEST(HUIDisplayStrings, LargeLinesCutIntoFourSlices) {
    const std::string text = "0123456789abcdefghijABCDEFGHIJklmnopqrst";
    const auto slices = HUILargeDisplayString(text).slices();
    ASSERT_EQ(slices.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(slices[i].size(), 10u);
        std::string shown;
        for (const auto c : slices[i])
            shown += c.string();
        EXPECT_EQ(shown, text.substr(10 * i, 10));
    }
    EXPECT_EQ(hui::blankLargeDisplaySlices.size(), 8u);
    for (const auto& slice : hui::blankLargeDisplaySlices) {
        for (const auto c : slice)
            EXPECT_EQ(c, HUILargeDisplayCharacter::space);
    }
}

TEST(HUIDisplayStrings, TimeUpdatesArriveRightToLeft) {
    using T = HUITimeDisplayCharacter;
    struct Case {
        std::vector<HUITimeDisplayCharacter> update;
        bool changed;
        std::string shown;
    };
    // Applied in order to one string.
    const std::vector<Case> steps = {
        {{}, false, "        "},
        {{T::num5, T::num4, T::num3}, true, "     345"},
        {{T::num5, T::num4, T::num3}, false, "     345"},
        {{T::A}, true, "     34A"},
        {{T::num1, T::num2, T::num3, T::num4, T::num5, T::num6, T::num7, T::num8dot},
         true,
         "8.7654321"},
        // Characters beyond the eighth would lie left of the display: they are dropped.
        {{T::F, T::E, T::D, T::C, T::B, T::A, T::num9, T::num8, T::num7, T::num6},
         true,
         "89ABCDEF"},
    };
    HUITimeDisplayString time;
    for (const auto& step : steps) {
        EXPECT_EQ(time.update(step.update), step.changed) << step.shown;
        EXPECT_EQ(time.stringValue(), step.shown);
    }
}

TEST(HUIDisplayStrings, SmallDisplaysAreNamedByStripOrSelectAssign) {
    using midicore::UInt4;
    EXPECT_EQ(HUISmallDisplay::channel(UInt4(3)), HUISmallDisplay::channel(UInt4(3)));
    EXPECT_NE(HUISmallDisplay::channel(UInt4(3)), HUISmallDisplay::channel(UInt4(4)));
    EXPECT_NE(HUISmallDisplay::channel(UInt4(0)), HUISmallDisplay::selectAssign());
    EXPECT_EQ(HUISmallDisplay::selectAssign().channelNumber(), std::nullopt);
    const std::unordered_set<HUISmallDisplay> set = {
        HUISmallDisplay::channel(UInt4(0)), HUISmallDisplay::channel(UInt4(0)),
        HUISmallDisplay::selectAssign(), HUISmallDisplay::channel(UInt4(15))};
    EXPECT_EQ(set.size(), 3u);
}

}  // namespace
