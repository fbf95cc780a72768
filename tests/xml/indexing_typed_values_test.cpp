// The built-in readable types: the integer, floating-point, truth and string rules from attributes
// and from element text, their errors and texts, and their independence from the process locale.
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;
using Case = XMLDeserializationError::Case;

std::shared_ptr<XMLElement> elementWithText(const std::string& text,
                                            const std::string& name = "v") {
    auto element = std::make_shared<XMLElement>(name, 0, std::make_shared<XMLHashOptions>());
    if (!text.empty()) element->addText(text);
    return element;
}

XMLAttribute attribute(const std::string& text) {
    return XMLAttribute{"a", text};
}

template <class T, class Node>
std::optional<XMLDeserializationError> errorOf(const Node& node) {
    try {
        (void)deserialize<T>(node);
    } catch (const XMLDeserializationError& e) {
        return e;
    }
    return std::nullopt;
}

template <class T, class Node>
std::optional<Case> caseOf(const Node& node) {
    const auto error = errorOf<T>(node);
    return error ? std::optional(error->errorCase()) : std::nullopt;
}

// Escapes control characters so that a failing row names its input readably.
std::string shown(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return "\"" + out + "\"";
}

using namespace std::string_literals;

const double inf = std::numeric_limits<double>::infinity();

TEST(IndexingTypedValues, IntegerRuleAcceptsSignedDecimalsInTheWhole64BitRange) {
    const struct {
        std::string text;
        int64_t value;
    } rows[] = {
        {"42", 42},
        {"+7", 7},
        {"-0", 0},
        {"007", 7},
        {"0", 0},
        {"-12", -12},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"+0009223372036854775807", INT64_MAX},
        {"-0000000000000000000000009", -9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(shown(row.text));
        EXPECT_EQ(deserialize<int64_t>(attribute(row.text)), row.value);
        EXPECT_EQ(deserialize<int64_t>(elementWithText(row.text)), row.value);
    }
}

TEST(IndexingTypedValues, IntegerRuleRefusesEverythingElse) {
    const std::string rows[] = {
        " 42",
        "42 ",
        "4_2",
        "4.0",
        "+",
        "-",
        "--1",
        "+-1",
        "0x10",
        "1e3",
        "\t1",
        "1\n",
        "12a",
        "1\0"s,
        "\xd9\xa1\xd9\xa2",  // Arabic-Indic digits one, two
        "9223372036854775808",
        "-9223372036854775809",
        "18446744073709551616",
        "99999999999999999999999",
    };
    for (const auto& text : rows) {
        SCOPED_TRACE(shown(text));
        const auto fromAttribute = errorOf<int64_t>(attribute(text));
        ASSERT_TRUE(fromAttribute);
        EXPECT_EQ(fromAttribute->errorCase(), Case::attributeDeserializationFailed);
        const auto fromElement = errorOf<int64_t>(elementWithText(text));
        ASSERT_TRUE(fromElement);
        EXPECT_EQ(fromElement->errorCase(), Case::typeConversionFailed);
    }
}

TEST(IndexingTypedValues, EmptyTextIsNoValueForElementsButAConversionFailureForAttributes) {
    const auto blank = elementWithText("");
    for (const auto& error : {errorOf<int64_t>(blank), errorOf<double>(blank),
                              errorOf<float>(blank), errorOf<bool>(blank)}) {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorCase(), Case::nodeHasNoValue);
        EXPECT_STREQ(error->what(), "This node is empty");
    }
    EXPECT_EQ(deserialize<std::string>(blank), "");

    const struct {
        std::optional<XMLDeserializationError> error;
        const char* text;
    } rows[] = {
        {errorOf<int64_t>(attribute("")), "Can't convert attribute a=\"\" to value of type Int"},
        {errorOf<double>(attribute("")), "Can't convert attribute a=\"\" to value of type Double"},
        {errorOf<float>(attribute("")), "Can't convert attribute a=\"\" to value of type Float"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(row.error);
        EXPECT_EQ(row.error->errorCase(), Case::attributeDeserializationFailed);
        EXPECT_EQ(row.error->description(), row.text);
    }
    EXPECT_FALSE(deserialize<bool>(attribute("")));
    EXPECT_EQ(deserialize<std::string>(attribute("")), "");
}

TEST(IndexingTypedValues, ConversionFailuresNameTheNodeAndTheType) {
    const struct {
        std::optional<XMLDeserializationError> error;
        const char* text;
    } rows[] = {
        {errorOf<int64_t>(elementWithText("x", "a")),
         "Can't convert node <a>x</a> to value of type Int"},
        {errorOf<double>(elementWithText("  ", "a")),
         "Can't convert node <a>  </a> to value of type Double"},
        {errorOf<float>(elementWithText("1,5", "a")),
         "Can't convert node <a>1,5</a> to value of type Float"},
        {errorOf<int64_t>(XMLAttribute{"n", "4_2"}),
         "Can't convert attribute n=\"4_2\" to value of type Int"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(row.error);
        EXPECT_EQ(row.error->description(), row.text);
        EXPECT_STREQ(row.error->what(), row.text);
    }
    const auto element = elementWithText("x", "a");
    const auto error = errorOf<int64_t>(element);
    const auto& payload = std::get<XMLDeserializationError::TypeConversionFailed>(error->payload());
    EXPECT_EQ(payload.type, "Int");
    EXPECT_EQ(payload.element, element);
}

TEST(IndexingTypedValues, DoubleAcceptsWhatTheCLibraryAcceptsOverTheWholeText) {
    const struct {
        std::string text;
        double value;
    } rows[] = {
        {"1.5e3", 1500.0}, {"0x10", 16.0},
        {"0X1.8p1", 3.0},  {"-0x.8", -0.5},
        {".5", 0.5},       {"5.", 5.0},
        {"+.5e-1", 0.05},  {"0.1", 0.1},
        {"-0", -0.0},      {"1E+2", 100.0},
        {"inf", inf},      {"-Infinity", -inf},
        {"INF", inf},      {"1e999", inf},
        {"1e-999", 0.0},   {"4.9406564584124654e-324", 4.9406564584124654e-324},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(shown(row.text));
        EXPECT_EQ(deserialize<double>(attribute(row.text)), row.value);
        EXPECT_EQ(deserialize<double>(elementWithText(row.text)), row.value);
    }
    for (const std::string text : {"nan", "NAN", "-nan", "nan(123)", "NaN(abc_9)"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(std::isnan(deserialize<double>(attribute(text))));
        EXPECT_TRUE(std::isnan(deserialize<float>(elementWithText(text))));
    }
    EXPECT_TRUE(std::signbit(deserialize<double>(attribute("-0"))));
}

TEST(IndexingTypedValues, FloatingPointRefusesLeadingWhiteSpaceAndLeftovers) {
    const std::string rows[] = {
        " 1",
        "\t1",
        "\n1",
        "\v1",
        "\f1",
        "\r1",
        "\0"
        "1"s,
        "1 ",
        "1\n",
        "1\0"s,
        "1,5",
        "0x",
        "0x1p",
        "1e",
        "e5",
        "--1",
        "+-1",
        "infinit",
        "nan(",
        "1.5.2",
        "0x1g",
        "\xd9\xa1",
        "\xc2\xa0"
        "1",
        "1f",
    };
    for (const auto& text : rows) {
        SCOPED_TRACE(shown(text));
        EXPECT_EQ(caseOf<double>(attribute(text)), Case::attributeDeserializationFailed);
        EXPECT_EQ(caseOf<float>(attribute(text)), Case::attributeDeserializationFailed);
        EXPECT_EQ(caseOf<double>(elementWithText(text)), Case::typeConversionFailed);
        EXPECT_EQ(caseOf<float>(elementWithText(text)), Case::typeConversionFailed);
    }
}

TEST(IndexingTypedValues, FloatIsConvertedDirectlyAtSinglePrecision) {
    EXPECT_EQ(deserialize<float>(attribute("0.1")), 0.1f);
    EXPECT_EQ(deserialize<float>(attribute("0x10")), 16.0f);
    EXPECT_EQ(deserialize<float>(attribute("3.40282347e38")), FLT_MAX);
    EXPECT_EQ(deserialize<float>(attribute("1e39")), std::numeric_limits<float>::infinity());

    // Just above the midpoint between 1 and the next float: rounded once it is 1 + 2^-23; rounded
    // to double first it becomes the midpoint itself, which then rounds to even, 1.
    const char* aboveMidpoint = "1.00000005960464477539062500001";
    EXPECT_EQ(static_cast<float>(std::strtod(aboveMidpoint, nullptr)), 1.0f);
    EXPECT_EQ(deserialize<float>(attribute(aboveMidpoint)), 0x1.000002p0f);
    EXPECT_EQ(deserialize<float>(elementWithText(aboveMidpoint)), 0x1.000002p0f);
}

TEST(IndexingTypedValues, TruthRule) {
    const std::string truths[] = {
        "yes",           "TRUE", "t", "1",  "10",   "Y",         "   y", "\n\ty", "+1", "-1",
        "-0001",         "000t", "9", "T0", "y no", "\xc2\xa0y",  // NBSP
        "\xe3\x80\x80t",                                          // U+3000
    };
    const std::string falsities[] = {
        "no",       "false", "0", "00", "+-1", "x", " ", "0.5", ".5", "-", "+", "n", "f",
        "\xd9\xa1",  // Arabic-Indic digit one
        "\x80y",     // a stray continuation byte is not white space
        "\0y"s,
    };
    for (const auto& text : truths) {
        SCOPED_TRACE(shown(text));
        EXPECT_TRUE(deserialize<bool>(attribute(text)));
        EXPECT_TRUE(deserialize<bool>(elementWithText(text)));
    }
    for (const auto& text : falsities) {
        SCOPED_TRACE(shown(text));
        EXPECT_FALSE(deserialize<bool>(attribute(text)));
        EXPECT_FALSE(deserialize<bool>(elementWithText(text)));
    }
    EXPECT_FALSE(deserialize<bool>(attribute("")));
}

TEST(IndexingTypedValues, StringsAreTakenUnchanged) {
    EXPECT_EQ(deserialize<std::string>(attribute(" spaced \n")), " spaced \n");
    const auto root = XMLHash::parse("<a>\n  <b>x</b>\n  <c/>\n</a>");
    EXPECT_EQ(deserialize<std::string>(root["a"].element()), "\n  \n  \n");
    EXPECT_EQ(deserialize<std::string>(root["a"]["c"].element()), "");
    EXPECT_EQ(
        deserialize<std::string>(XMLHash::parse("<a>x &amp; <![CDATA[<y>]]></a>")["a"].element()),
        "x & <y>");
}

// Restores the C locale when a test leaves.
class CommaDecimalLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(CommaDecimalLocale, NumbersIgnoreTheProcessLocale) {
    // The locale is in effect: the library's own strtod now reads a comma.
    char* end = nullptr;
    const char* comma = "1,5";
    ASSERT_EQ(std::strtod(comma, &end), 1.5);
    ASSERT_EQ(end, comma + 3);

    EXPECT_EQ(deserialize<double>(attribute("1.5")), 1.5);
    EXPECT_EQ(deserialize<float>(attribute("2.25")), 2.25f);
    EXPECT_EQ(deserialize<double>(elementWithText("-0x1.8p1")), -3.0);
    EXPECT_EQ(deserialize<int64_t>(attribute("-1234")), -1234);
    EXPECT_EQ(caseOf<double>(attribute("1,5")), Case::attributeDeserializationFailed);
    EXPECT_EQ(caseOf<float>(elementWithText("1,5")), Case::typeConversionFailed);
}

TEST(IndexingTypedValues, ErrorTextsOfEveryCase) {
    auto element = elementWithText("x", "a");
    element->mutableAllAttributes().set("k", "v");
    const struct {
        XMLDeserializationError error;
        Case errorCase;
        const char* text;
    } rows[] = {
        {XMLDeserializationError::implementationIsMissing("m()"), Case::implementationIsMissing,
         "This deserialization method is not implemented: m()"},
        {XMLDeserializationError::nodeIsInvalid("n"), Case::nodeIsInvalid,
         "This node is invalid: n"},
        {XMLDeserializationError::typeConversionFailed("Int", element), Case::typeConversionFailed,
         "Can't convert node <a k=\"v\">x</a> to value of type Int"},
        {XMLDeserializationError::attributeDoesNotExist(element, "z"), Case::attributeDoesNotExist,
         "Element <a k=\"v\">x</a> does not contain attribute: z"},
        {XMLDeserializationError::attributeDeserializationFailed("Float", XMLAttribute{"q", "\""}),
         Case::attributeDeserializationFailed,
         "Can't convert attribute q=\"\"\" to value of type Float"},
        {XMLDeserializationError::nodeHasNoValue(), Case::nodeHasNoValue, "This node is empty"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.error.errorCase(), row.errorCase);
        EXPECT_EQ(row.error.description(), row.text);
        EXPECT_STREQ(row.error.what(), row.text);
    }
    EXPECT_THROW(XMLDeserializationError::typeConversionFailed("Int", nullptr),
                 std::invalid_argument);
}

TEST(IndexingTypedValues, ANullElementIsRefused) {
    const auto error = errorOf<int64_t>(std::shared_ptr<XMLElement>());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), Case::nodeIsInvalid);
}

}  // namespace
