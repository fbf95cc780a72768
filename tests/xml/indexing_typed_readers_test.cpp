// The typed readers: what every position (element, list, stream, error) gives for every result
// shape of the attribute, element-content and whole-node families, with the exact error texts;
// readable user types, validation, defaults and raw-value keys.
#include <gtest/gtest.h>

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;
using Case = XMLDeserializationError::Case;

const char* const document = R"(<root>
  <one a="1">12</one>
  <bare/>
  <many a="1">5</many>
  <many a="x">abc</many>
  <many>7</many>
  <nums a="1">1</nums>
  <nums a="2">2</nums>
</root>)";

// A whole-node type: the element's name.
struct Tagged {
    std::string name;
    static Tagged deserialize(const XMLIndexer& node) {
        const auto element = node.element();
        if (!element) throw XMLDeserializationError::nodeIsInvalid("no element");
        return {element->name()};
    }
};

// Rendering of results, so that a table row states the whole outcome as text.
std::string render(int64_t v);
std::string render(const Tagged& v);
template <class T>
std::string render(const std::optional<T>& v);
template <class T>
std::string render(const std::vector<T>& v);

std::string render(int64_t v) {
    return std::to_string(v);
}
std::string render(const Tagged& v) {
    return v.name;
}
template <class T>
std::string render(const std::optional<T>& v) {
    return v ? render(*v) : "none";
}
template <class T>
std::string render(const std::vector<T>& v) {
    std::string out = "[";
    for (size_t i = 0; i < v.size(); ++i)
        out += (i ? ", " : "") + render(v[i]);
    return out + "]";
}

const char* caseName(Case c) {
    switch (c) {
        case Case::implementationIsMissing:
            return "implementationIsMissing";
        case Case::nodeIsInvalid:
            return "nodeIsInvalid";
        case Case::typeConversionFailed:
            return "typeConversionFailed";
        case Case::attributeDoesNotExist:
            return "attributeDoesNotExist";
        case Case::attributeDeserializationFailed:
            return "attributeDeserializationFailed";
        case Case::nodeHasNoValue:
            return "nodeHasNoValue";
    }
    return "?";
}

template <class Read>
std::string outcome(Read read) {
    try {
        return render(read());
    } catch (const XMLDeserializationError& e) {
        return std::string("error ") + caseName(e.errorCase()) + ": " + e.what();
    }
}

enum class Shape { single, optional, array, optionalArray, arrayOfOptionals };
const Shape allShapes[] = {Shape::single, Shape::optional, Shape::array, Shape::optionalArray,
                           Shape::arrayOfOptionals};

// Reads with the result type of `shape` for T; `read` is called as read.template operator()<R>().
template <class T, class Read>
std::string readShape(Shape shape, Read read) {
    switch (shape) {
        case Shape::single:
            return outcome([&] { return read.template operator()<T>(); });
        case Shape::optional:
            return outcome([&] { return read.template operator()<std::optional<T>>(); });
        case Shape::array:
            return outcome([&] { return read.template operator()<std::vector<T>>(); });
        case Shape::optionalArray:
            return outcome(
                [&] { return read.template operator()<std::optional<std::vector<T>>>(); });
        case Shape::arrayOfOptionals:
            return outcome(
                [&] { return read.template operator()<std::vector<std::optional<T>>>(); });
    }
    return "?";
}

// The named positions of `document`, from a full parse or (lazy) as a stream to be replayed; none
// where a lazy parse has no such position.
std::optional<XMLIndexer> position(const std::string& name, bool lazy) {
    const XMLIndexer root = lazy ? XMLHash::lazy(document) : XMLHash::parse(document);
    if (name == "element") return root["root"]["one"];
    if (name == "bare") return root["root"]["bare"];
    if (name == "second") return root["root"]["many"][1];
    if (name == "list") return root["root"]["many"];
    if (name == "nums") return root["root"]["nums"];
    if (name == "xmlError") return root["root"]["missing"];
    if (name == "parsingError" && !lazy) {
        return XMLHash::config([](XMLHashOptions& o) { o.detectParsingErrors = true; })
            ->parseDocument("<root><one>");
    }
    return std::nullopt;
}

struct Row {
    const char* position;
    // One outcome per shape, in the order of allShapes.
    std::vector<std::string> outcomes;
};

// Checks every row for every shape, on the full parse and again on the lazy stream.
template <class ReadAt>
void checkTable(const std::vector<Row>& rows, ReadAt readAt) {
    for (const auto& row : rows) {
        for (const bool lazy : {false, true}) {
            for (size_t s = 0; s < std::size(allShapes); ++s) {
                auto at = position(row.position, lazy);
                if (!at) continue;
                SCOPED_TRACE(std::string(row.position) + (lazy ? " (stream)" : "") + " shape " +
                             std::to_string(s));
                EXPECT_EQ(readAt(*at, allShapes[s]), row.outcomes[s]);
            }
        }
    }
}

const std::string keyError =
    "error nodeIsInvalid: This node is invalid: XML Element Error: Incorrect key [\"missing\"]";

std::string unexpected(const std::string& what) {
    return "error nodeIsInvalid: This node is invalid: Unexpected error deserializing " + what;
}

TEST(IndexingTypedReaders, AttributeOfAPosition) {
    const std::string missing =
        "error attributeDoesNotExist: Element <bare></bare> does not contain attribute: a";
    const std::string unreadable =
        "error attributeDeserializationFailed: Can't convert attribute a=\"x\" to value of type "
        "Int";
    const std::vector<Row> rows = {
        {"element", {"1", "1", "[1]", "[1]", "[1]"}},
        {"bare", {missing, "none", missing, missing, "[none]"}},
        {"second", {unreadable, "none", unreadable, unreadable, "[none]"}},
        {"list",
         {unexpected("XMLAttribute a -> T"), "none", unreadable, unreadable, "[1, none, none]"}},
        {"nums", {unexpected("XMLAttribute a -> T"), "none", "[1, 2]", "[1, 2]", "[1, 2]"}},
        {"xmlError", {keyError, "none", keyError, "none", keyError}},
        {"parsingError",
         {unexpected("XMLAttribute a -> T"), "none", unexpected("XMLAttribute a -> [T]"), "none",
          unexpected("XMLAttribute a -> [T?]")}},
    };
    checkTable(rows, [](const XMLIndexer& at, Shape shape) {
        return readShape<int64_t>(shape, [&]<class R>() { return value<R>(at, "a"); });
    });
}

TEST(IndexingTypedReaders, ElementContentOfAPosition) {
    const std::string empty = "error nodeHasNoValue: This node is empty";
    const std::string unreadable =
        "error typeConversionFailed: Can't convert node <many a=\"x\">abc</many> to value of "
        "type Int";
    const std::vector<Row> rows = {
        {"element", {"12", "12", "[12]", "[12]", "[12]"}},
        {"bare", {empty, empty, empty, empty, empty}},
        {"second", {unreadable, unreadable, unreadable, unreadable, unreadable}},
        {"list", {unexpected("XMLElement -> T"), "none", unreadable, unreadable, unreadable}},
        {"nums", {unexpected("XMLElement -> T"), "none", "[1, 2]", "[1, 2]", "[1, 2]"}},
        {"xmlError", {keyError, "none", "[]", "none", "[]"}},
        {"parsingError", {unexpected("XMLElement -> T"), "none", "[]", "none", "[]"}},
    };
    checkTable(rows, [](const XMLIndexer& at, Shape shape) {
        return readShape<int64_t>(shape, [&]<class R>() { return value<R>(at, elementContent); });
    });
}

TEST(IndexingTypedReaders, WholeNodeOfAPosition) {
    const std::string many = "[many, many, many]";
    const std::vector<Row> rows = {
        {"element", {"one", "one", "[one]", "[one]", "[one]"}},
        {"list", {unexpected("XMLIndexer -> T"), "none", many, many, many}},
        {"xmlError", {keyError, "none", keyError, "none", keyError}},
        {"parsingError",
         {unexpected("XMLIndexer -> T"), "none", unexpected("XMLIndexer -> [T]"), "none",
          unexpected("XMLIndexer -> [T?]")}},
    };
    checkTable(rows, [](const XMLIndexer& at, Shape shape) {
        return readShape<Tagged>(shape, [&]<class R>() { return value<R>(at, wholeNode); });
    });
    // The single shape reads the position itself, here the synthetic root.
    EXPECT_EQ(value<Tagged>(XMLHash::parse(document), wholeNode).name, "XMLIndex_Root_Element");
}

TEST(IndexingTypedReaders, AttributeOfOneElement) {
    const auto root = XMLHash::parse(document);
    const auto one = root["root"]["one"].element();
    const auto bare = root["root"]["bare"].element();
    const auto second = root["root"]["many"][1].element();
    EXPECT_EQ(value<int64_t>(one, "a"), 1);
    EXPECT_EQ(value<std::optional<int64_t>>(one, "a"), 1);
    EXPECT_EQ(value<std::optional<int64_t>>(bare, "a"), std::nullopt);
    EXPECT_EQ(value<std::optional<int64_t>>(second, "a"), std::nullopt);
    EXPECT_EQ(outcome([&] { return value<int64_t>(bare, "a"); }),
              "error attributeDoesNotExist: Element <bare></bare> does not contain attribute: a");
    EXPECT_EQ(value<std::string>(second, "a"), "x");
    EXPECT_TRUE(value<bool>(one, "a"));

    try {
        (void)value<int64_t>(bare, "zz");
        FAIL();
    } catch (const XMLDeserializationError& e) {
        const auto& payload = std::get<XMLDeserializationError::AttributeDoesNotExist>(e.payload());
        EXPECT_EQ(payload.element, bare);
        EXPECT_EQ(payload.attribute, "zz");
    }
}

TEST(IndexingTypedReaders, CaseInsensitiveOptionsFindAttributesInAnyCase) {
    const auto insensitive = XMLHash::config([](XMLHashOptions& o) { o.caseInsensitive = true; });
    const auto root = insensitive->parseDocument(document);
    EXPECT_EQ(value<int64_t>(root["ROOT"]["One"], "A"), 1);
    EXPECT_EQ(value<std::optional<int64_t>>(XMLHash::parse(document)["root"]["one"], "A"),
              std::nullopt);
}

enum class Attr { a, missing };
std::string rawValue(Attr attr) {
    return attr == Attr::a ? "a" : "missing";
}

TEST(IndexingTypedReaders, RawValueKeysReadAsTheirNames) {
    const auto root = XMLHash::parse(document);
    const auto list = root["root"]["many"];
    const auto bare = root["root"]["bare"];
    EXPECT_EQ(outcome([&] { return value<int64_t>(list, Attr::a); }),
              outcome([&] { return value<int64_t>(list, "a"); }));
    EXPECT_EQ(outcome([&] { return value<std::vector<std::optional<int64_t>>>(list, Attr::a); }),
              "[1, none, none]");
    EXPECT_EQ(outcome([&] { return value<std::vector<int64_t>>(root["root"]["nums"], Attr::a); }),
              "[1, 2]");
    EXPECT_EQ(outcome([&] { return value<int64_t>(bare.element(), Attr::missing); }),
              outcome([&] { return value<int64_t>(bare.element(), "missing"); }));
    EXPECT_EQ(value<std::optional<int64_t>>(root["root"]["one"].element(), Attr::a), 1);
}

// Positive numbers only: validate() refuses the rest.
struct Positive {
    int64_t n;
    static Positive deserialize(const XMLAttribute& attribute) {
        return {xmlindexing::deserialize<int64_t>(attribute)};
    }
    static Positive deserialize(const std::shared_ptr<XMLElement>& element) {
        return {xmlindexing::deserialize<int64_t>(element)};
    }
    void validate() const {
        if (n <= 0) throw XMLDeserializationError::nodeIsInvalid("not positive");
    }
};

TEST(IndexingTypedReaders, ValidationRefusesAValueInEveryShape) {
    const auto root = XMLHash::parse(R"(<r><p a="-3">-3</p><p a="4">4</p></r>)");
    const auto refused = root["r"]["p"][0];
    const auto list = root["r"]["p"];
    const char* text = "This node is invalid: not positive";

    EXPECT_EQ(value<Positive>(list[1], "a").n, 4);
    for (const auto& read : std::vector<std::function<void()>>{
             [&] { (void)value<Positive>(refused.element(), "a"); },
             [&] { (void)value<Positive>(refused, "a"); },
             [&] { (void)value<std::vector<Positive>>(list, "a"); },
             [&] { (void)value<Positive>(refused, elementContent); },
             [&] { (void)value<std::optional<Positive>>(refused, elementContent); },
             [&] { (void)value<std::vector<std::optional<Positive>>>(list, elementContent); },
         }) {
        try {
            read();
            ADD_FAILURE() << "not refused";
        } catch (const XMLDeserializationError& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
    // The optional reads of an attribute give nothing for a refused value.
    EXPECT_FALSE(value<std::optional<Positive>>(refused.element(), "a"));
    EXPECT_FALSE(value<std::optional<Positive>>(refused, "a"));
    const auto entries = value<std::vector<std::optional<Positive>>>(list, "a");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_FALSE(entries[0]);
    EXPECT_EQ(entries[1]->n, 4);
}

// Errors of a type's own are passed through unchanged, except where an optional attribute read
// drops a failure.
struct Strict {
    static Strict deserialize(const XMLAttribute&) { throw std::domain_error("strict"); }
    static Strict deserialize(const XMLIndexer&) { return {}; }
    int validations = 0;
    void validate() {
        if (++validations > 0) throw std::range_error("validated");
    }
};

TEST(IndexingTypedReaders, ErrorsOfAReadableTypePassThrough) {
    const auto root = XMLHash::parse(document);
    EXPECT_THROW((void)value<Strict>(root["root"]["one"], "a"), std::domain_error);
    EXPECT_THROW((void)value<Strict>(root["root"]["one"], wholeNode), std::range_error);
    EXPECT_THROW((void)value<std::vector<Strict>>(root["root"]["many"]), std::range_error);
    EXPECT_FALSE(value<std::optional<Strict>>(root["root"]["one"], "a"));
}

// Declares every interface and provides none of their operations.
struct Declared : declares::XMLValueDeserialization, declares::XMLObjectDeserialization {};

TEST(IndexingTypedReaders, DeclaredInterfacesWithoutTheirOperationFail) {
    const auto one = XMLHash::parse(document)["root"]["one"];
    const std::string prefix =
        "error implementationIsMissing: This deserialization method is not implemented: ";
    const auto fails = [](auto read) {
        return outcome([&] {
            (void)read();
            return int64_t{0};
        });
    };
    EXPECT_EQ(fails([&] { return value<std::vector<Declared>>(one, "a"); }),
              prefix + "XMLAttributeDeserializable(element: XMLAttribute)");
    EXPECT_EQ(fails([&] { return value<Declared>(one, elementContent); }),
              prefix + "XMLElementDeserializable.deserialize(element: XMLElement)");
    EXPECT_EQ(fails([&] { return value<Declared>(one, wholeNode); }),
              prefix + "XMLIndexerDeserializable.deserialize(element: XMLIndexer)");
    // The optional attribute read drops that failure too.
    EXPECT_FALSE(value<std::optional<Declared>>(one, "a"));
}

// Both families; value() without a family selector is then not offered.
struct Both {
    static Both deserialize(const std::shared_ptr<XMLElement>&) { return {"content"}; }
    static Both deserialize(const XMLIndexer&) { return {"node"}; }
    std::string from;
};

template <class R>
concept ReadableWithoutFamily = requires(const XMLIndexer& at) {
    value<R>(at);
};

static_assert(XMLValueDeserialization<std::string> && XMLValueDeserialization<int64_t> &&
              XMLValueDeserialization<double> && XMLValueDeserialization<float> &&
              XMLValueDeserialization<bool>);
static_assert(!XMLObjectDeserialization<int64_t> && !XMLObjectDeserialization<std::string>);
static_assert(!XMLAttributeDeserializable<int> && !XMLElementDeserializable<char>);
static_assert(XMLObjectDeserialization<Tagged> && !XMLElementDeserializable<Tagged>);
static_assert(XMLValueDeserialization<Positive> && !XMLObjectDeserialization<Positive>);
static_assert(XMLAttributeDeserializable<Strict> && !XMLElementDeserializable<Strict>);
static_assert(XMLValueDeserialization<Declared> && XMLObjectDeserialization<Declared>);
static_assert(ReadableWithoutFamily<int64_t> && ReadableWithoutFamily<std::vector<Tagged>>);
static_assert(!ReadableWithoutFamily<Both> && !ReadableWithoutFamily<Declared>);

TEST(IndexingTypedReaders, FamilyFollowsTheInterfaceOrTheSelector) {
    const auto one = XMLHash::parse(document)["root"]["one"];
    EXPECT_EQ(value<int64_t>(one), 12);
    EXPECT_EQ(value<Tagged>(one).name, "one");
    EXPECT_EQ(value<Both>(one, elementContent).from, "content");
    EXPECT_EQ(value<Both>(one, wholeNode).from, "node");
}

// A whole-node type that reads its parts through the readers and the caller's userInfo.
struct Length {
    double amount;
    std::string unit;
    static Length deserialize(const XMLIndexer& node) {
        const auto unit = node.userInfo().find("unit");
        return {value<double>(node["amount"]),
                unit == node.userInfo().end() ? "" : std::any_cast<std::string>(unit->second)};
    }
};

TEST(IndexingTypedReaders, NodeTypesComposeReadersAndSeeUserInfo) {
    const auto hash =
        XMLHash::config([](XMLHashOptions& o) { o.userInfo["unit"] = std::string("cm"); });
    const auto root = hash->parseDocument(
        "<l><len><amount>1.5</amount></len><len><amount>0x2</amount></len></l>");
    const auto lengths = value<std::vector<Length>>(root["l"]["len"]);
    ASSERT_EQ(lengths.size(), 2u);
    EXPECT_EQ(lengths[0].amount, 1.5);
    EXPECT_EQ(lengths[1].amount, 2.0);
    EXPECT_EQ(lengths[1].unit, "cm");
}

TEST(IndexingTypedReaders, ErrorsKeepTheirElementAlive) {
    std::optional<XMLDeserializationError> kept;
    {
        const auto root = XMLHash::parse("<a><b>text</b></a>");
        try {
            (void)value<int64_t>(root["a"]["b"]);
        } catch (const XMLDeserializationError& e) {
            kept = e;
        }
    }
    ASSERT_TRUE(kept);
    const auto& payload = std::get<XMLDeserializationError::TypeConversionFailed>(kept->payload());
    EXPECT_EQ(payload.element->text(), "text");
    EXPECT_STREQ(kept->what(), "Can't convert node <b>text</b> to value of type Int");
}

TEST(IndexingTypedReaders, NullElementsAreRefused) {
    const std::shared_ptr<XMLElement> none;
    EXPECT_THROW((void)value<int64_t>(none, "a"), XMLDeserializationError);
    EXPECT_THROW((void)value<std::optional<int64_t>>(none, "a"), XMLDeserializationError);
    const XMLIndexer withNull(XMLIndexer::List{none});
    EXPECT_THROW((void)value<std::vector<int64_t>>(withNull, "a"), XMLDeserializationError);
    EXPECT_THROW((void)value<std::vector<int64_t>>(withNull, elementContent),
                 XMLDeserializationError);
    EXPECT_EQ(outcome([&] { return value<std::vector<Tagged>>(withNull, wholeNode); }),
              "error nodeIsInvalid: This node is invalid: no element");
}

}  // namespace
