// Timecode text, the parser, the text formatter and the legacy rates.
#include <gtest/gtest.h>

#include "timecode/legacy.hpp"
#include "timecode/text_formatter.hpp"

using namespace timecode;
using R = TimecodeFrameRate;
using C = Components;

TEST(TimecodeText, PlainFileNameAndStyledText) {
    struct Case {
        C c;
        R rate;
        SubFramesBase base;
        bool showSubFrames;
        std::string text, fileName;
    } cases[] = {
        {{0, 1, 0, 0, 0, 0}, R::_24, SubFramesBase::_80SubFrames, false, "01:00:00:00", "01-00-00-00"},
        {{0, 1, 0, 0, 0, 0}, R::_29_97_drop, SubFramesBase::_80SubFrames, false, "01:00:00;00", "01-00-00-00"},
        {{0, 1, 0, 0, 5, 0}, R::_120, SubFramesBase::_80SubFrames, false, "01:00:00:005", "01-00-00-005"},
        {{0, 1, 0, 0, 5, 0}, R::_100, SubFramesBase::_80SubFrames, false, "01:00:00:05", "01-00-00-05"},
        {{2, 1, 0, 0, 0, 0}, R::_29_97_drop, SubFramesBase::_80SubFrames, false, "2 01:00:00;00", "2-01-00-00-00"},
        {{0, 0, 0, 0, 0, 5}, R::_24, SubFramesBase::_80SubFrames, true, "00:00:00:00.05", "00-00-00-00.05"},
        {{0, 0, 0, 0, 0, 5}, R::_24, SubFramesBase::_100SubFrames, false, "00:00:00:00", "00-00-00-00"},
        {{0, 0, 0, 0, 0, 3}, R::_24, SubFramesBase::quarterFrames, true, "00:00:00:00.3", "00-00-00-00.3"},
        {{-1, 123, 0, 0, 0, 0}, R::_24, SubFramesBase::_80SubFrames, false, "-1 123:00:00:00", "-1-123-00-00-00"},
    };
    for (const auto& k : cases) {
        StringFormat format;
        format.setShowSubFrames(k.showSubFrames);
        auto t = Timecode::rawValues(k.c, k.rate, UpperLimit::_100days, k.base, format);
        EXPECT_EQ(t.stringValue(), k.text);
        EXPECT_EQ(t.fileNameStringValue(), k.fileName);
        EXPECT_EQ(t.attributedStringValue().string(), k.text);
    }
    // Only the out-of-range piece carries the invalid attributes; red when none are given.
    auto t = Timecode::rawValues(C{0, 25, 0, 0, 0, 0}, R::_24);
    TextAttributes plain{std::nullopt, RGBColor{1, 1, 1}, std::nullopt};
    StyledText styled = t.attributedStringValue(std::nullopt, plain);
    ASSERT_EQ(styled.runs().size(), 2u);
    EXPECT_EQ(styled.runs()[0].text, "25");
    EXPECT_EQ(styled.runs()[0].attributes.foregroundColor, RGBColor::systemRed());
    EXPECT_EQ(styled.runs()[0].attributes.backgroundColor, (RGBColor{1, 1, 1}));
    EXPECT_EQ(styled.runs()[1].text, ":00:00:00");
    EXPECT_EQ(styled.runs()[1].attributes, plain);
}

TEST(TimecodeText, Parser) {
    struct Case {
        const char* text;
        std::optional<C> parsed;  // none: malformed
    } cases[] = {
        {"01:02:03:04", C{0, 1, 2, 3, 4, 0}},
        {"1 01:02:03:04", C{1, 1, 2, 3, 4, 0}},
        {"1:01:02:03:04", C{1, 1, 2, 3, 4, 0}},
        {"01:02:03:04:05", C{1, 2, 3, 4, 5, 0}},
        {"01:02:03;04", C{0, 1, 2, 3, 4, 0}},
        {"01;02;03;04", C{0, 1, 2, 3, 4, 0}},
        {"01:02:03:04.05", C{0, 1, 2, 3, 4, 5}},
        {"01:02:03:04.", C{0, 1, 2, 3, 4, 0}},
        {" 01:02:03:04", C{0, 1, 2, 3, 4, 0}},
        {":01:02:03:04", C{0, 1, 2, 3, 4, 0}},
        {"1\t01:02:03:04", C{1, 1, 2, 3, 4, 0}},
        {"25:00:00:99", C{0, 25, 0, 0, 99, 0}},
        {"101:02:03:04", C{0, 101, 2, 3, 4, 0}},
        {"01:02:03", std::nullopt},
        {"01:02:03:04:05:06", std::nullopt},
        {"01:02:03:04 ", std::nullopt},
        {"", std::nullopt},
        {"a1:02:03:04", std::nullopt},
        // A group that overflows is malformed, not silently 0.
        {"1 99999999999999999999:00:00:00", std::nullopt},
        {"01:02:03:99999999999999999999", std::nullopt},
        {"00000000000000000000000001:02:03:04", C{0, 1, 2, 3, 4, 0}},
        // Digits of other scripts match the pattern but have no value here.
        {"\xd9\xa1:02:03:04", std::nullopt},
    };
    for (const auto& k : cases) {
        if (k.parsed) {
            EXPECT_EQ(Timecode::parseComponents(k.text), *k.parsed) << k.text;
        } else {
            EXPECT_THROW(Timecode::parseComponents(k.text), TimecodeStringParseError) << k.text;
        }
    }
    EXPECT_THROW(Timecode::fromString("101:02:03:04", R::_24), TimecodeValidationError);
    EXPECT_EQ(Timecode::rawValues(std::string_view("101:02:03:04"), R::_24).hours, 101);
    // Long text never runs away: it is refused outright.
    EXPECT_THROW(Timecode::parseComponents(std::string(100000, '1') + ":00:00:00"), TimecodeStringParseError);
}

TEST(TimecodeTextFormatter, PartialStrings) {
    struct Case {
        R rate;
        UpperLimit limit;
        bool showSubFrames;
        std::string typed;
        bool valid;
        std::string after;  // the text afterwards (the replacement when one was made)
        std::string error;
    } cases[] = {
        {R::_29_97_drop, UpperLimit::_24hours, false, "01.02.03.04", false, "01:02:03;04", ""},
        {R::_29_97_drop, UpperLimit::_24hours, false, "01;02", false, "01:02", ""},
        {R::_29_97_drop, UpperLimit::_24hours, false, "01:02:03;04", true, "01:02:03;04", ""},
        {R::_24, UpperLimit::_24hours, false, "01;02;03;04", false, "01:02:03:04", ""},
        {R::_24, UpperLimit::_24hours, false, "01:02:03:04:", false, "01:02:03:04:", ""},
        {R::_24, UpperLimit::_24hours, true, "01:02:03:04.5", true, "01:02:03:04.5", ""},
        {R::_24, UpperLimit::_24hours, false, "01:02:03:04.5", false, "01:02:03:04.5", ""},
        {R::_24, UpperLimit::_24hours, true, "01:02:03:04.5.6", false, "01:02:03:04.5.6", ""},
        {R::_24, UpperLimit::_24hours, false, "1 ", false, "1 ", ""},
        {R::_24, UpperLimit::_100days, false, "1 ", true, "1 ", ""},
        {R::_24, UpperLimit::_100days, false, " ", false, " ", ""},
        {R::_24, UpperLimit::_100days, false, "1 2 ", false, "1 2 ", ""},
        {R::_24, UpperLimit::_100days, false, "1:2 ", false, "1:2 ", ""},
        {R::_24, UpperLimit::_24hours, false, "01:0a", false, "01:0a", "Invalid characters."},
        {R::_24, UpperLimit::_24hours, false, "01:0\t", false, "01:0\t", "Invalid characters."},
        {R::_24, UpperLimit::_24hours, false, "", true, "", ""},
    };
    for (const auto& k : cases) {
        StringFormat format;
        format.setShowSubFrames(k.showSubFrames);
        TimecodeTextFormatter f(k.rate, k.limit, format, SubFramesBase::_80SubFrames);
        std::string text = k.typed, error;
        EXPECT_EQ(f.isPartialStringValid(text, &error), k.valid) << k.typed;
        EXPECT_EQ(text, k.after) << k.typed;
        EXPECT_EQ(error, k.error) << k.typed;
    }
    // Without a frame rate everything is accepted and passed through.
    auto bare = TimecodeTextFormatter::restored();
    std::string letters = "hello";
    EXPECT_TRUE(bare.isPartialStringValid(letters, nullptr));
    EXPECT_EQ(bare.string(std::string("hello")), "hello");
    EXPECT_EQ(bare.alignment, TextAlignment::natural);
    EXPECT_FALSE(bare.showsValidation);
    EXPECT_EQ(bare.validationAttributes.foregroundColor, RGBColor::systemRed());
}

TEST(TimecodeTextFormatter, CanonicalAndStyledText) {
    TimecodeTextFormatter at24(R::_24, UpperLimit::_24hours, StringFormat{}, SubFramesBase::_80SubFrames, true);
    TimecodeTextFormatter atDrop(Timecode(R::_29_97_drop));
    EXPECT_EQ(at24.string(std::string("1:2:3:4")), "01:02:03:04");
    EXPECT_EQ(atDrop.string(std::string("1:2:3:4")), "01:02:03;04");
    EXPECT_EQ(at24.string(std::string("hello")), "hello");
    EXPECT_EQ(at24.string(42), std::nullopt);
    EXPECT_EQ(at24.objectValue("1:2"), "1:2");

    auto styled = at24.attributedString(std::string("25:00:00:00"), std::nullopt);
    ASSERT_TRUE(styled);
    EXPECT_EQ(styled->runs()[0].text, "25");
    EXPECT_EQ(styled->runs()[0].attributes.foregroundColor, RGBColor::systemRed());
    EXPECT_EQ(styled->runs()[0].attributes.alignment, TextAlignment::natural);
    auto word = at24.attributedString(std::string("hello"), std::nullopt);
    ASSERT_EQ(word->runs().size(), 1u);
    EXPECT_EQ(word->runs()[0].attributes.foregroundColor, RGBColor::systemRed());
    at24.showsValidation = false;
    EXPECT_EQ(at24.attributedString(std::string("25:00:00:00"), std::nullopt)->runs().size(), 1u);
    EXPECT_FALSE(at24.attributedString(std::string("hello"), std::nullopt)->runs()[0].attributes.foregroundColor);

    TimecodeTextFormatter copy = TimecodeTextFormatter::restored();
    copy.copyProperties(atDrop);
    EXPECT_EQ(copy.frameRate, R::_29_97_drop);
}

TEST(LegacyFrameRates, TextsAndLookups) {
    ASSERT_EQ(allLegacyFrameRates().size(), 20u);
    for (auto legacy : allLegacyFrameRates()) {
        EXPECT_EQ(timecodeFrameRate(legacy).rawValue(), rawValue(legacy));
        EXPECT_EQ(legacyFrameRateFromRawValue(rawValue(legacy)), legacy);
    }
    EXPECT_EQ(legacyFrameRateFromRawValue("96"), std::nullopt);
    EXPECT_EQ(legacyFrameRateFromRawValue("95.904"), std::nullopt);
    EXPECT_EQ(legacyFrameRateFromRawValue("29.97D"), std::nullopt);
    EXPECT_EQ(static_cast<int>(*legacyFrameRateFromRawValue("100")), 15);
    EXPECT_EQ(timecodeFrameRate(LegacyFrameRate::_100).index(), 17u);
    EXPECT_EQ(TimecodeFrameRate::fromRawValue("23.98"), std::nullopt);
    Timecode t(R::_25);
    legacy::setTimecode(t, 48000.0, 48000);
    EXPECT_EQ(t.seconds, 1);
    EXPECT_EQ(legacy::fraction(R::_29_97), Fraction(30000, 1001));
}
