#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "xml_access_test_support.hpp"

namespace {

using namespace xmlaccess;
using Case = XML::Accessor::Case;
using Names = std::vector<std::string>;

const XML::Accessor& twoItems() {
    static const XML::Accessor document = XML::parse("<r><i>1</i><i>2</i></r>");
    return document;
}

std::string failureText(const XML::Accessor& accessor) {
    const auto error = accessor.xmlError();
    if (!error) return "(no failure)";
    EXPECT_EQ(error->errorCase(), XMLError::Case::accessError);
    EXPECT_EQ(error->description(), error->what());
    return error->description();
}

TEST(XmlAccessAccessor, PathLookupsGiveElementsSequencesOrFixedFailures) {
    const auto& A = twoItems();
    const struct {
        std::vector<XMLSubscriptType> path;
        Case kind;
        std::optional<Names> names;
        std::string failure;
    } cases[] = {
        {{"r", "i"}, Case::sequence, Names{"i", "i"}, ""},
        {{"r", "i", 0}, Case::singleElement, Names{"i"}, ""},
        {{"r", "i", 1}, Case::singleElement, Names{"i"}, ""},
        {{"r", "i", 2}, Case::failure, {}, "cannot access Index: 2"},
        {{"r", "i", -1}, Case::failure, {}, "cannot access Index: -1"},
        {{"r", "i", "x"}, Case::failure, {}, "cannot access x, because of multiple elements"},
        {{"r", "j"}, Case::failure, {}, "j not found."},
        {{"r", "j", "k"}, Case::failure, {}, "j not found."},
        {{"r", "j", 5}, Case::failure, {}, "j not found."},
        {{"r", 0, "i", 1}, Case::singleElement, Names{"i"}, ""},
        {{"r", 1}, Case::failure, {}, "cannot access Index: 1"},
        {{0}, Case::singleElement, Names{"XML.Parser.AbstructedDocumentRoot"}, ""},
        {{1}, Case::failure, {}, "cannot access Index: 1"},
        {{}, Case::singleElement, Names{"XML.Parser.AbstructedDocumentRoot"}, ""},
        {{"R"}, Case::failure, {}, "R not found."},
        {{"r", "i", std::numeric_limits<std::int64_t>::min()},
         Case::failure,
         {},
         "cannot access Index: -9223372036854775808"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const auto& c = cases[i];
        const XML::Accessor result = A[c.path];
        EXPECT_EQ(result.kind(), c.kind);
        EXPECT_EQ(result.names(), c.names);
        if (c.kind == Case::failure) {
            EXPECT_EQ(failureText(result), c.failure);
        }
    }
    EXPECT_EQ((A[{"r", "i", 1}].intValue()), 2);
    EXPECT_EQ(A["r"]["i"][0].text(), "1");
    EXPECT_EQ(A[0].element(), A.element());
}

TEST(XmlAccessAccessor, AFailurePassesUnchangedThroughEveryLaterStep) {
    const XML::Accessor failed = twoItems()[{"r", "j"}];
    const std::exception_ptr error = failed.error();
    ASSERT_NE(error, nullptr);
    const XML::Accessor later[] = {failed["k"],           failed[0],      failed[3],
                                   failed[{"a", 1, "b"}], failed.first(), failed.last()};
    for (const auto& accessor : later)
        EXPECT_EQ(accessor.error(), error);
    EXPECT_FALSE(failed.text().has_value());
    EXPECT_TRUE(failed.attributes().empty());
    EXPECT_TRUE(failed.map([](const XML::Accessor& a) { return a.name(); }).empty());
    auto iterator = failed.makeIterator();
    EXPECT_FALSE(iterator.next().has_value());
    // Any error type can travel in a failure.
    const auto foreign =
        XML::Accessor::failure(std::make_exception_ptr(std::runtime_error("disk")));
    EXPECT_EQ(foreign["x"].error(), foreign.error());
    EXPECT_FALSE(foreign.xmlError().has_value());
    EXPECT_EQ(foreign.description(), "disk");
}

XML::Accessor withText(std::optional<std::string> text) {
    return XML::Accessor::singleElement(std::make_shared<XML::Element>("e", std::move(text)));
}

TEST(XmlAccessAccessor, ReadsBooleansOnlyFromTheExactTextTrue) {
    const struct {
        std::optional<std::string> text;
        std::optional<bool> value;
    } cases[] = {{"true", true}, {"TRUE", false}, {"True", false},  {"1", false},
                 {"yes", false}, {"", false},     {" true", false}, {std::nullopt, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(withText(c.text).boolValue(), c.value) << c.text.value_or("(absent)");
}

TEST(XmlAccessAccessor, ReadsDecimalSigned64BitIntegersOnly) {
    const struct {
        std::optional<std::string> text;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"42", 42},
        {"+7", 7},
        {"-0", 0},
        {"007", 7},
        {"-15", -15},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", {}},
        {"-9223372036854775809", {}},
        {"", {}},
        {" 5", {}},
        {"5 ", {}},
        {"0x10", {}},
        {"1.0", {}},
        {"1e3", {}},
        {"+", {}},
        {"-", {}},
        {"+-1", {}},
        {"--1", {}},
        {"++1", {}},
        {std::string("1\0", 2), {}},
        {std::nullopt, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withText(c.text).intValue(), c.value) << c.text.value_or("(absent)");
}

TEST(XmlAccessAccessor, ReadsNumbersAsStrtodDoesWhenItConsumesTheWholeText) {
    const struct {
        std::optional<std::string> text;
        std::optional<double> value;
    } cases[] = {
        {"1e3", 1000.0},    {"1.5", 1.5},   {"-2.25", -2.25},
        {"+.5", 0.5},       {"0x1p3", 8.0}, {"1E-2", 0.01},
        {" 1.5", {}},       {"1.5 ", {}},   {"\t1", {}},
        {"\n1", {}},        {"", {}},       {"1,5", {}},
        {"abc", {}},        {"1.5x", {}},   {std::string("1\0", 2), {}},
        {std::nullopt, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withText(c.text).doubleValue(), c.value) << c.text.value_or("(absent)");
    EXPECT_EQ(withText("-INF").doubleValue(), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(*withText("nan").doubleValue()));

    // The process locale does not change the decimal point.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
        EXPECT_EQ(withText("1.5").doubleValue(), 1.5);
        EXPECT_EQ(withText("1,5").doubleValue(), std::nullopt);
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(XmlAccessAccessor, ReadsUrlsFromText) {
    EXPECT_EQ(withText("https://example.com/a?b#c").urlValue()->host(), "example.com");
    EXPECT_FALSE(withText("not a url").urlValue().has_value());
    EXPECT_FALSE(withText(std::nullopt).urlValue().has_value());
}

TEST(XmlAccessAccessor, ProjectsEachCase) {
    const auto& A = twoItems();
    const XML::Accessor single = A["r"], sequence = A[{"r", "i"}], failure = A["x"];
    ASSERT_EQ(single.allElements()->size(), 1u);
    EXPECT_EQ(single.allElements()->front(), single.element());
    EXPECT_EQ(single.name(), "r");
    EXPECT_EQ(single.error(), nullptr);

    EXPECT_EQ(sequence.allElements()->size(), 2u);
    EXPECT_EQ(sequence.element(), nullptr);
    EXPECT_FALSE(sequence.name().has_value());
    EXPECT_FALSE(sequence.text().has_value());
    EXPECT_FALSE(sequence.intValue().has_value());
    EXPECT_TRUE(sequence.attributes().empty());
    EXPECT_EQ(sequence.error(), nullptr);

    EXPECT_FALSE(failure.allElements().has_value());
    EXPECT_FALSE(failure.names().has_value());
    EXPECT_EQ(failure.element(), nullptr);
    EXPECT_NE(failure.error(), nullptr);

    EXPECT_EQ((A[{"r"}].attributes()), XML::Element::Attributes{});
    EXPECT_EQ(XML::parse("<a k='v'/>")["a"].attributes(), (XML::Element::Attributes{{"k", "v"}}));
}

TEST(XmlAccessAccessor, FirstAndLast) {
    const auto& A = twoItems();
    const auto sequence = A[{"r", "i"}];
    EXPECT_EQ(sequence.first().text(), "1");
    EXPECT_EQ(sequence.last().text(), "2");
    EXPECT_EQ(A["r"].first().element(), A["r"].element());
    EXPECT_EQ(A["r"].last().element(), A["r"].element());
    const auto empty = XML::Accessor::sequence({});
    EXPECT_EQ(failureText(empty.first()), "cannot access first element");
    EXPECT_EQ(failureText(empty.last()), "cannot access last element");
}

TEST(XmlAccessAccessor, DescribesPathsSequencesAndFailures) {
    const auto document = XML::parse("<a><b/><c/><c/></a>");
    EXPECT_EQ(document["a"].description(), "\"XML.Parser.AbstructedDocumentRoot > a\"");
    EXPECT_EQ((document[{"a", "b"}].description()),
              "\"XML.Parser.AbstructedDocumentRoot > a > b\"");
    EXPECT_EQ((document[{"a", "c"}].description()),
              "[ XML.Parser.AbstructedDocumentRoot > a > c,\n XML.Parser.AbstructedDocumentRoot > "
              "a > c ]");
    EXPECT_EQ(XML::Accessor::sequence({}).description(), "[  ]");
    EXPECT_EQ(document["z"].description(), "accessError(description: \"z not found.\")");
    EXPECT_EQ(XML::parse("").description(),
              "interruptedParseError(rawError: ParseError(code: 3, message: \"no element found\", "
              "line: 1, column: 0))");
    // An element made outside a parse has no parent; a loop of parent links ends the path.
    auto x = std::make_shared<XML::Element>("x"), y = std::make_shared<XML::Element>("y");
    EXPECT_EQ(XML::Accessor::singleElement(x).description(), "\"x\"");
    x->setParentElement(y);
    y->setParentElement(x);
    EXPECT_EQ(XML::Accessor::singleElement(x).description(), "\"y > x\"");
}

TEST(XmlAccessAccessor, KeysIgnoreNamespacePrefixesOnlyWhenTheChildSaysSo) {
    const char* document = "<r xmlns:ns='urn:x'><ns:a>1</ns:a><a>2</a><ns:x:b>3</ns:x:b></r>";
    const struct {
        bool ignoreNamespaces;
        const char* key;
        std::optional<Names> names;
    } cases[] = {
        {true, "a", Names{"ns:a", "a"}}, {true, "ns:a", {}},
        {true, "b", Names{"ns:x:b"}},    {false, "a", Names{"a"}},
        {false, "ns:a", Names{"ns:a"}},  {false, "b", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ((XML::parse(document, {}, c.ignoreNamespaces)[{"r", c.key}].names()), c.names)
            << c.key << " " << c.ignoreNamespaces;
    }
}

TEST(XmlAccessAccessor, MapsFilterMapsAndIterates) {
    const auto& A = twoItems();
    const auto items = A[{"r", "i"}];
    EXPECT_EQ(items.map([](const XML::Accessor& a) { return *a.intValue() * 10; }),
              (std::vector<std::int64_t>{10, 20}));
    EXPECT_EQ(A["r"].map([](const XML::Accessor& a) { return *a.name(); }), Names{"r"});
    EXPECT_EQ(items.filterMap([](const XML::Accessor& a) -> std::optional<std::string> {
        return a.text() == "2" ? a.text() : std::nullopt;
    }),
              Names{"2"});

    Names seen;
    for (const XML::Accessor& item : items)
        seen.push_back(*item.text());
    EXPECT_EQ(seen, (Names{"1", "2"}));

    // Copies of an iterator share one position over a snapshot taken when it was made.
    auto iterator = items.makeIterator();
    auto copy = iterator;
    EXPECT_EQ(iterator.next()->text(), "1");
    EXPECT_EQ(copy.next()->text(), "2");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(iterator.next().has_value());
}

TEST(XmlAccessAccessor, ChangesActOnTheSharedElementOfASingleAccessorOnly) {
    const auto document = XML::parse("<r><i>1</i><i>2</i><k a='1'/></r>");
    auto k = document[{"r", "k"}];
    k.setText("new");
    EXPECT_EQ((document[{"r", "k"}].text()), "new");
    auto again = document[{"r", "k"}];
    again.modifyAttributes([](XML::Element::Attributes& a) { a["b"] = "2"; });
    EXPECT_EQ(k.attributes(), (XML::Element::Attributes{{"a", "1"}, {"b", "2"}}));
    again.modifyText([](std::optional<std::string>& t) { t->append("er"); });
    EXPECT_EQ(k.text(), "newer");

    auto items = document[{"r", "i"}];
    items.setText("changed");
    items.setAttributes({{"x", "y"}});
    items.modifyText([](std::optional<std::string>& t) { t = "never"; });
    EXPECT_EQ((document[{"r", "i"}].map([](const XML::Accessor& a) { return *a.text(); })),
              (Names{"1", "2"}));
    EXPECT_TRUE((document[{"r", "i", 0}].attributes().empty()));
}

TEST(XmlAccessAccessor, AppendChildKeepsTheOldParentAndRefusesCycles) {
    const auto document = XML::parse("<a><b/></a>");
    auto a = document["a"];
    const auto other = XML::parse("<x><moved/></x>");
    const auto moved = other[{"x", "moved"}].element();
    a.appendChild(moved);
    EXPECT_EQ((document[{"a", "moved"}].element()), moved);
    EXPECT_EQ((document[{"a", "moved"}].description()),
              "\"XML.Parser.AbstructedDocumentRoot > x > moved\"");

    // An element cannot become its own descendant.
    const std::size_t before = a.element()->childElements().size();
    a.appendChild(a.element());
    a.appendChild(document.element());
    document[{"a", "b"}].appendChild(a.element());
    a.appendChild(nullptr);
    EXPECT_EQ(a.element()->childElements().size(), before);
    EXPECT_TRUE((document[{"a", "b"}].element()->childElements().empty()));

    // A sequence or a failure takes no child.
    auto fresh = std::make_shared<XML::Element>("fresh");
    XML::Accessor::sequence({a.element()}).appendChild(fresh);
    document["nothing"].appendChild(fresh);
    EXPECT_EQ(a.element()->childElements().size(), before);
}

TEST(XmlAccessAccessor, RejectsNullElements) {
    EXPECT_THROW(XML::Accessor::singleElement(nullptr), std::invalid_argument);
    EXPECT_THROW(XML::Accessor::sequence({nullptr}), std::invalid_argument);
    EXPECT_THROW(XML::Accessor::failure(std::exception_ptr()), std::invalid_argument);
    EXPECT_THROW(XML::Element("a", {}, {}, {nullptr}), std::invalid_argument);
    XML::Element e("e");
    EXPECT_THROW(e.appendChildElement(nullptr), std::invalid_argument);
    EXPECT_THROW(e.setChildElements({nullptr}), std::invalid_argument);
}

TEST(XmlAccessAccessor, AssignsAndAppendsOnlyPresentValues) {
    int target = 1;
    assignIfPresent(target, std::optional<int>());
    EXPECT_EQ(target, 1);
    assignIfPresent(target, std::optional<int>(5));
    EXPECT_EQ(target, 5);
    std::vector<std::string> list;
    appendIfPresent(list, std::optional<std::string>());
    appendIfPresent(list, twoItems()[{"r", "i", 0}].text());
    appendIfPresent(list, twoItems()[{"r", "i"}].text());
    EXPECT_EQ(list, Names{"1"});
}

}  // namespace
