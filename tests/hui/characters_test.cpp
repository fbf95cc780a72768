// Expected display strings are typed in from the character set tables of the HUI display
// documentation: the symbols and accented letters as Unicode scalars, the printable ASCII range as
// the character whose code it is.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hui/characters.hpp"

namespace {

using hui::HUILargeDisplayCharacter;
using hui::HUISmallDisplayCharacter;
using hui::HUITimeDisplayCharacter;
using midicore::UInt7;

// The display string of every code of a set, from the tables.
std::vector<std::string> largeTable() {
    std::vector<std::string> t(16, "");
    for (const char* s :
         {"11", "12", "13", "14", "full", "r4", "r3", "r2", "r1", "\u266A", "\u00B0\u0043",
          "\u00B0\u0046", "\u25BC", "\u25B6\uFE0E", "\u25C0\uFE0E", "\u25B2"}) {
        t.emplace_back(s);
    }
    for (int code = 0x20; code <= 0x7D; ++code)
        t.emplace_back(1, static_cast<char>(code));
    t.emplace_back("\u2192");
    t.emplace_back("\u2190");
    return t;
}

std::vector<std::string> smallTable() {
    std::vector<std::string> t = {"\u00EC",       "\u2191",       "\u2192",       "\u2193",
                                  "\u2190",       "\u00BF",       "\u0061\u0300", "\u00D8",
                                  "\u00F8",       "\u006F\u0300", "\u0075\u0300", "\u004E\u030C",
                                  "\u0043\u0327", "\u0065\u0302", "\u0045\u0301", "\u0065\u0301",
                                  "\u0065\u0300", "\u00C6",       "\u00E6",       "\u0041\u030A",
                                  "\u0061\u030A", "\u0041\u0308", "\u0061\u0308", "\u004F\u0308",
                                  "\u006F\u0308", "\u0055\u0308", "\u0075\u0308", "\u2103",
                                  "\u2109",       "\u00DF",       "\u00A3",       "\u00A5"};
    for (int code = 0x20; code <= 0x7E; ++code)
        t.emplace_back(1, static_cast<char>(code));
    t.emplace_back("\u2591");
    return t;
}

std::vector<std::string> timeTable() {
    return {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "A",  "B",  "C",
            "D",  "E",  "F",  "0.", "1.", "2.", "3.", "4.", "5.", "6.", "7.", "8.", "9.",
            "A.", "B.", "C.", "D.", "E.", "F.", " ",  "?",  "?",  "?",  "?",  "?",  "?",
            "?",  "?",  "?",  "?",  "?",  "?",  "?",  "?",  "?",  " ."};
}

// Every code converts to a character and back, shows the tabled text, and that text leads back
// to the lowest code that shows it.
template <class Character>
void checkSet(const std::vector<std::string>& table) {
    ASSERT_EQ(Character::caseCount, table.size());
    ASSERT_EQ(Character::stringTable(), table);
    const auto all = Character::allCases();
    for (unsigned code = 0; code < 128; ++code) {
        const auto character = Character::fromRawValue(UInt7(code));
        if (code >= table.size()) {
            EXPECT_FALSE(character) << code;
            continue;
        }
        ASSERT_TRUE(character) << code;
        EXPECT_EQ(character->rawValue(), code);
        EXPECT_EQ(all[code], *character);
        EXPECT_EQ(character->string(), table[code]) << code;
        EXPECT_EQ(character->description(), table[code]);
        unsigned first = 0;
        while (table[first] != table[code])
            ++first;
        const auto back = Character::fromString(table[code]);
        ASSERT_TRUE(back) << code;
        EXPECT_EQ(back->rawValue(), first) << code;
    }
    EXPECT_FALSE(Character::fromByte(0x80));
    EXPECT_FALSE(Character::fromByte(0xFF));
    EXPECT_EQ(Character::defaultChar().rawValue(), 0x20);
}

TEST(HUICharacters, EveryCodeOfEachSetRoundTrips) {
    checkSet<HUILargeDisplayCharacter>(largeTable());
    checkSet<HUISmallDisplayCharacter>(smallTable());
    checkSet<HUITimeDisplayCharacter>(timeTable());
}

TEST(HUICharacters, NamedCharactersHaveTheirCodes) {
    using L = HUILargeDisplayCharacter;
    using S = HUISmallDisplayCharacter;
    using T = HUITimeDisplayCharacter;
    const std::vector<std::pair<int, int>> cases = {
        {L::empty0x05, 0x05},  {L::full, 0x14},         {L::solidUpArrow, 0x1F},
        {L::space, 0x20},      {L::question, 0x3F},     {L::at, 0x40},
        {L::Z, 0x5A},          {L::backtick, 0x60},     {L::z, 0x7A},
        {L::rightBrace, 0x7D}, {L::rightArrow, 0x7E},   {L::leftArrow, 0x7F},
        {S::iGrave, 0x00},     {S::aGrave, 0x06},       {S::eAcute, 0x0F},
        {S::yen, 0x1F},        {S::num9, 0x39},         {S::a, 0x61},
        {S::tilde, 0x7E},      {S::shadedSquare, 0x7F}, {T::F, 0x0F},
        {T::Fdot, 0x1F},       {T::space, 0x20},        {T::unknown0x2F, 0x2F},
        {T::spaceDot, 0x30},
    };
    for (const auto& [named, code] : cases)
        EXPECT_EQ(named, code);
    EXPECT_EQ(L::unknownChar(), L::question);
    EXPECT_EQ(S::unknownChar(), S::question);
    EXPECT_EQ(T::unknownChar(), T::unknown0x21);
    EXPECT_EQ(HUILargeDisplayCharacter(L::empty0x05).string(), "");
}

template <class Character>
std::optional<int> codeOf(const std::string& text) {
    const auto c = Character::fromString(text);
    return c ? std::optional<int>(c->rawValue().value()) : std::nullopt;
}

TEST(HUICharacters, TextIsMatchedWholeUnderCanonicalEquivalence) {
    struct Case {
        std::string text;
        std::optional<int> large, small, time;
    };
    const std::optional<int> none;
    const std::vector<Case> cases = {
        {"", 0x00, none, none},
        {"full", 0x14, none, none},
        {"r4", 0x15, none, none},
        {"\u00B0C", 0x1A, none, none},
        {"\u25B6\uFE0E", 0x1D, none, none},
        {"\u25B6", none, none, none},  // without the text-presentation selector
        {"\u2192", 0x7E, 0x02, none},
        {"\u2190", 0x7F, 0x04, none},
        {"~", none, 0x7E, none},
        {"\u00EC", none, 0x00, none},
        {"i\u0300", none, 0x00, none},  // decomposed form of a precomposed entry
        {"\u00E0", none, 0x06, none},   // precomposed form of a decomposed entry
        {"a\u0300", none, 0x06, none},
        {"\u00E9", none, 0x0F, none},
        {"\u00C9", none, 0x0E, none},
        {"\u212B", none, 0x13, none},  // ANGSTROM SIGN is canonically A with ring
        {"?", 0x3F, 0x3F, 0x21},
        {"A.", none, none, 0x1A},
        {" .", none, none, 0x30},
        {"a", 0x61, 0x61, none},
        {"0", 0x30, 0x30, 0x00},
        {"A", 0x41, 0x41, 0x0A},
        {"ab", none, none, none},
        {"\xFF", none, none, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(codeOf<HUILargeDisplayCharacter>(c.text), c.large) << c.text;
        EXPECT_EQ(codeOf<HUISmallDisplayCharacter>(c.text), c.small) << c.text;
        EXPECT_EQ(codeOf<HUITimeDisplayCharacter>(c.text), c.time) << c.text;
    }
}

TEST(HUICharacters, BytesAboveTheSetHaveNoCharacter) {
    EXPECT_EQ(HUILargeDisplayCharacter::fromByte(0x41), HUILargeDisplayCharacter::A);
    EXPECT_EQ(HUISmallDisplayCharacter::fromByte(0x41), HUISmallDisplayCharacter::A);
    EXPECT_FALSE(HUITimeDisplayCharacter::fromByte(0x41));
    EXPECT_FALSE(HUITimeDisplayCharacter::fromByte(0x31));
    EXPECT_EQ(HUITimeDisplayCharacter::fromByte(0x30), HUITimeDisplayCharacter::spaceDot);
}

TEST(HUICharacters, TimeCharactersKnowTheirDot) {
    for (const auto c : HUITimeDisplayCharacter::allCases()) {
        const bool dotted = c.string().size() == 2;
        EXPECT_EQ(c.hasDot(), dotted) << c;
    }
}

}  // namespace
