// Cluster boundaries follow the rules and examples of Unicode Standard Annex #29 (extended grapheme
// clusters); compositions follow the Unicode Character Database's canonical decompositions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textservices/characters.hpp"

namespace {

using textservices::canonicalComposition;
using textservices::graphemeClusters;

struct ClusterCase {
    const char* name;
    std::string text;
    std::vector<std::string> clusters;
};

TEST(GraphemeClusters, SplitsTextIntoUserPerceivedCharacters) {
    const std::vector<ClusterCase> cases = {
        {"empty", "", {}},
        {"ascii", "ab c", {"a", "b", " ", "c"}},
        {"combining mark joins its base", "e\xCC\x81x", {"e\xCC\x81", "x"}},
        {"two marks on one base", "a\xCC\x81\xCC\x88", {"a\xCC\x81\xCC\x88"}},
        {"leading mark stands alone",
         "\xCC\x81"
         "a",
         {"\xCC\x81", "a"}},
        {"CR LF is one", "\r\nx", {"\r\n", "x"}},
        {"variation selector joins",
         "\xE2\x96\xB6\xEF\xB8\x8E!",
         {"\xE2\x96\xB6\xEF\xB8\x8E", "!"}},
        {"ZWJ emoji sequence",
         "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"
         "a",
         {"\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", "a"}},
        {"regional indicator pair",
         "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA",
         {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"}},
        {"Hangul syllable from jamo", "\xE1\x84\x80\xE1\x85\xA1", {"\xE1\x84\x80\xE1\x85\xA1"}},
        // Each maximal ill-formed subpart becomes one U+FFFD.
        {"ill-formed bytes",
         "a\xFF\xE2\x82"
         "b",
         {"a", "\xEF\xBF\xBD", "\xEF\xBF\xBD", "b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graphemeClusters(c.text), c.clusters) << c.name;
    }
}

TEST(GraphemeClusters, StopsAtTheLimit) {
    EXPECT_EQ(graphemeClusters("e\xCC\x81xyz", 2), (std::vector<std::string>{"e\xCC\x81", "x"}));
    EXPECT_TRUE(graphemeClusters("abc", 0).empty());
}

TEST(CanonicalComposition, EquivalentTextsCompose) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "plain"},
        {"e\xCC\x81", "\xC3\xA9"},                   // e + acute -> U+00E9
        {"A\xCC\x8A", "\xC3\x85"},                   // A + ring -> U+00C5
        {"\xE2\x84\xAB", "\xC3\x85"},                // ANGSTROM SIGN is a singleton of U+00C5
        {"N\xCC\x8C", "\xC5\x87"},                   // N + caron -> U+0147
        {"\xE2\x84\x83", "\xE2\x84\x83"},            // DEGREE CELSIUS has no canonical mapping
        {"q\xCC\xA3\xCC\x87", "q\xCC\xA3\xCC\x87"},  // marks already in canonical order
        {"q\xCC\x87\xCC\xA3", "q\xCC\xA3\xCC\x87"},  // reordered by combining class
        {"\xFF", "\xEF\xBF\xBD"},
    };
    for (const auto& [text, composed] : cases) {
        EXPECT_EQ(canonicalComposition(text), composed) << text;
    }
}

}  // namespace
