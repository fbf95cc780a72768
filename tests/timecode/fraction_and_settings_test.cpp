// Fractions, media time, text helpers and the timecode settings.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "timecode/fraction.hpp"
#include "timecode/settings.hpp"
#include "timecode/text_utilities.hpp"

using namespace timecode;

TEST(Fraction, ReductionKeepsTheSignRuleAndNeverDividesByZero) {
    constexpr int64_t min = std::numeric_limits<int64_t>::min();
    struct Case {
        int64_t n, d, rn, rd;
    } cases[] = {
        {6, 4, 3, 2},   {-1, 2, 1, -2}, {-4, 6, -2, 3}, {0, 5, 0, 1},     {0, -5, 0, 1},
        {3, 7, 3, 7},   {0, 0, 0, 0},   {5, 0, 1, 0},   {-5, 0, -1, 0},   {min, 1, min, 1},
        {min, 2, min / 2, 1},
    };
    for (const auto& c : cases) {
        Fraction r = Fraction(c.n, c.d).reduced();
        EXPECT_EQ(r, Fraction(c.rn, c.rd)) << c.n << "/" << c.d;
        EXPECT_EQ(r.isReducedFlag(), true);
        EXPECT_TRUE(r.isReduced());
    }
    EXPECT_THROW(Fraction(min, -1).reduced(), FractionOverflowError);
    EXPECT_THROW(Fraction(min, 3).magnitude(), FractionOverflowError);
    EXPECT_THROW(Fraction(min, 3).negated(), FractionOverflowError);
}

TEST(Fraction, EqualityValueEqualityAndMediaTime) {
    EXPECT_NE(Fraction(1, 2), Fraction(2, 4));
    EXPECT_TRUE(Fraction(1, 2).isEqual(Fraction(2, 4)));
    EXPECT_TRUE(Fraction(-1, 2).isEqual(Fraction(1, -2)));
    EXPECT_FALSE(Fraction(1, 2).isEqual(Fraction(-1, 2)));
    EXPECT_NE(std::hash<Fraction>{}(Fraction(1, 2)), std::hash<Fraction>{}(Fraction(2, 4)));
    EXPECT_EQ(Fraction(-3, -6).magnitude(), Fraction(3, 6));
    EXPECT_FALSE(Fraction(-3, -6).isNegative());
    EXPECT_TRUE(Fraction(3, -6).isNegative());
    EXPECT_EQ(Fraction(1001, 30000).description(), "1001/30000");
    EXPECT_EQ(Fraction(1, 4).doubleValue(), 0.25);

    // Media times: special values become 0/1; a zero or negative timescale is the invalid time.
    EXPECT_EQ(Fraction(MediaTime::indefinite()), Fraction(0, 1));
    EXPECT_EQ(Fraction(MediaTime::positiveInfinity()), Fraction(0, 1));
    EXPECT_EQ(Fraction(MediaTime::make(7, 0)), Fraction(0, 1));
    EXPECT_FALSE(MediaTime::make(7, 0).isValid());
    EXPECT_EQ(Fraction(MediaTime::make(-3, 2)), Fraction(-3, 2));
    EXPECT_EQ(Fraction(3, 0).mediaTimeValue(), MediaTime::invalid());
    EXPECT_EQ(Fraction(3, -4).mediaTimeValue(), MediaTime::make(-3, 4));
    EXPECT_EQ(Fraction(4, int64_t{1} << 32).mediaTimeValue(), MediaTime::make(1, 1 << 30));
    EXPECT_EQ(Fraction(7, int64_t{1} << 33).mediaTimeValue(), MediaTime::invalid());
}

TEST(TextUtilities, CaptureGroupsAndDigits) {
    auto groups = captureGroups("a1", "([a-z])(x)?([0-9])?");
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0], "a1");
    EXPECT_EQ(groups[1], "a");
    EXPECT_EQ(groups[2], std::nullopt);
    EXPECT_EQ(groups[3], "1");
    // Every match in order, flattened.
    auto all = captureGroups("ab", "([a-z])");
    EXPECT_EQ(all, (std::vector<std::optional<std::string>>{"a", "a", "b", "b"}));
    EXPECT_TRUE(captureGroups("abc", "[0-9]").empty());
    EXPECT_TRUE(captureGroups("abc", "(unclosed").empty());
    // Byte offsets of multi-byte text come back as whole scalars.
    EXPECT_EQ(captureGroups("\xC3\xA9t\xC3\xA9", "t(.)")[1], "\xC3\xA9");
    EXPECT_TRUE(captureGroups(std::string(2000, '1'), "1+").empty());

    struct {
        int64_t x;
        int digits;
    } digits[] = {{0, 1}, {9, 1}, {-9, 1}, {10, 2}, {-10, 2}, {99999, 5},
                  {std::numeric_limits<int64_t>::min(), 19}, {std::numeric_limits<int64_t>::max(), 19}};
    for (auto d : digits) EXPECT_EQ(numberOfDigits(d.x), d.digits) << d.x;
    EXPECT_EQ(numberOfDigits(uint64_t{18446744073709551615u}), 20);
}

TEST(TextUtilities, StyledTextRunsAndAlignment) {
    TextAttributes red{RGBColor::systemRed(), std::nullopt, std::nullopt};
    StyledText text("01", {});
    text.append(":", {});
    text.append("99", red);
    EXPECT_EQ(text.string(), "01:99");
    ASSERT_EQ(text.runs().size(), 2u);  // neighbouring runs with equal attributes merge
    auto aligned = text.applyingAlignment(TextAlignment::center);
    EXPECT_EQ(aligned.string(), "01:99");
    for (const auto& run : aligned.runs()) EXPECT_EQ(run.attributes.alignment, TextAlignment::center);
    EXPECT_EQ(aligned.runs()[1].attributes.foregroundColor, RGBColor::systemRed());
    TextAttributes blue{RGBColor{0, 0, 1}, RGBColor{1, 1, 1}, std::nullopt};
    EXPECT_EQ(blue.merged(red).foregroundColor, RGBColor::systemRed());
    EXPECT_EQ(blue.merged(red).backgroundColor, (RGBColor{1, 1, 1}));
}

TEST(Settings, SubFramesBaseUpperLimitAndStringFormat) {
    using B = SubFramesBase;
    EXPECT_EQ(convert(40, B::_80SubFrames, B::_100SubFrames), 50);
    EXPECT_EQ(convert(3, B::quarterFrames, B::_80SubFrames), 60);
    EXPECT_EQ(convert(99, B::_100SubFrames, B::quarterFrames), 3);
    EXPECT_EQ(convert(-99, B::_100SubFrames, B::quarterFrames), -3);
    EXPECT_EQ(convert(std::numeric_limits<int64_t>::max(), B::quarterFrames, B::_100SubFrames),
              std::numeric_limits<int64_t>::max());
    EXPECT_EQ(subFramesBaseFromRawValue(100), B::_100SubFrames);
    EXPECT_EQ(subFramesBaseFromRawValue(25), std::nullopt);
    EXPECT_EQ(description(B::quarterFrames), "4");
    EXPECT_EQ(upperLimitFromRawValue("100 days"), UpperLimit::_100days);
    EXPECT_EQ(upperLimitFromRawValue("24 Hours"), std::nullopt);
    EXPECT_EQ(rawValue(UpperLimit::_24hours), "24 hours");
    StringFormat format;
    EXPECT_FALSE(format.showSubFrames());
    format.setShowSubFrames(true);
    EXPECT_TRUE(format.contains(StringFormatParameter::showSubFrames));
    format.setShowSubFrames(false);
    EXPECT_EQ(format, defaultStringFormat);
    EXPECT_EQ(stringFormatParameterFromRawValue("showSubFrames"), StringFormatParameter::showSubFrames);
    EXPECT_EQ(stringFormatParameterFromRawValue("ShowSubFrames"), std::nullopt);
}
