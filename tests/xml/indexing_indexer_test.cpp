// Walking a parsed document with XMLIndexer: lookups, lists, errors and their texts, filters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;
using Kind = XMLIndexer::Kind;

const char* const threeMeasures = R"(<?xml version="1.0" encoding="UTF-8"?>
<score-partwise version="3.1">
  <part-list>
    <score-part id="P1"><part-name>Piano</part-name></score-part>
  </part-list>
  <part id="P1">
    <measure number="1">
      <note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note>
      <note><pitch><step>D</step><octave>4</octave></pitch><duration>1</duration></note>
      <note><pitch><step>E</step><octave>4</octave></pitch><duration>2</duration></note>
    </measure>
    <measure number="2">
      <note><rest/><duration>4</duration></note>
    </measure>
    <measure number="3">
      <note><pitch><step>G</step><octave>4</octave></pitch><duration>4</duration></note>
    </measure>
  </part>
</score-partwise>
)";

std::vector<std::string> names(const std::vector<XMLIndexer>& indexers) {
    std::vector<std::string> out;
    for (const auto& indexer : indexers)
        out.push_back(indexer.element() ? indexer.element()->name() : "?");
    return out;
}

std::string errorText(const XMLIndexer& indexer) {
    if (auto e = indexer.xmlError()) return e->what();
    return "(no error)";
}

TEST(IndexingIndexer, ThreeMeasureScore) {
    const auto root = XMLHash::parse(threeMeasures);
    const auto part = root["score-partwise"]["part"];
    ASSERT_EQ(part.kind(), Kind::element);
    const auto measures = part["measure"].all();
    ASSERT_EQ(measures.size(), 3u);
    for (size_t i = 0; i < measures.size(); ++i) {
        EXPECT_EQ(measures[i].element()->attribute("number")->text, std::to_string(i + 1));
        EXPECT_EQ(measures[i].element()->index, static_cast<int64_t>(i));
    }

    const auto notes = measures[0]["note"];
    EXPECT_EQ(notes.kind(), Kind::list);
    EXPECT_EQ(notes.element(), nullptr);
    std::vector<std::string> steps;
    for (const auto& note : notes.all())
        steps.push_back(note["pitch"]["step"].element()->text());
    EXPECT_EQ(steps, (std::vector<std::string>{"C", "D", "E"}));
    // A list cannot be looked up by name.
    EXPECT_EQ(errorText(notes["pitch"]), "XML Element Error: Incorrect key [\"pitch\"]");
    // One note is an element, not a list.
    EXPECT_EQ(measures[1]["note"].kind(), Kind::element);

    // children never holds text nodes, though every element here has whitespace between children.
    EXPECT_EQ(names(measures[0].children()), (std::vector<std::string>{"note", "note", "note"}));
    EXPECT_EQ(names(measures[0]["note"][0].children()),
              (std::vector<std::string>{"pitch", "duration"}));
    EXPECT_EQ(names(notes.children()).size(), 6u);  // children of all three notes
    EXPECT_TRUE(measures[0]["note"][0]["duration"].children().empty());

    // attribute(by:) is case-sensitive by default.
    EXPECT_FALSE(measures[0].element()->attribute("Number").has_value());
    EXPECT_FALSE(part.element()->attribute("ID").has_value());
    EXPECT_EQ(part.element()->attribute("id")->text, "P1");
}

TEST(IndexingIndexer, ErrorTexts) {
    const auto root = XMLHash::parse(threeMeasures);
    const auto measure = root["score-partwise"]["part"]["measure"][0];
    const struct {
        XMLIndexer indexer;
        const char* text;
    } cases[] = {
        {root["missing"], "XML Element Error: Incorrect key [\"missing\"]"},
        // The error names the latest name asked.
        {root["first"]["second"], "XML Element Error: Incorrect key [\"second\"]"},
        {measure[1], "XML Element Error: Incorrect index [\"1\"]"},
        {measure["note"][3], "XML Element Error: Incorrect index [\"3\"]"},
        {measure["note"][-1], "XML Element Error: Incorrect index [\"-1\"]"},
        {root["missing"][0], "XML Element Error: Incorrect index [\"0\"]"},
        {measure.filterChildren([](const XMLElement&, int64_t) { return true; })["note"]
             .filterChildren([](const XMLElement&, int64_t) { return true; }),
         "Unknown Error"},
        {XMLHash::config([](XMLHashOptions& o) {
             o.encoding = StringEncoding::ascii;
         })->parseDocument("<\xC3\xA9/>"),
         "String Encoding Error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorText(c.indexer), c.text);

    const struct {
        IndexingError error;
        const char* text;
        IndexingError::Case errorCase;
    } errors[] = {
        {IndexingError::attribute("id"), "XML Attribute Error: Missing attribute [\"id\"]",
         IndexingError::Case::attribute},
        {IndexingError::attributeValue("id", "P2"),
         "XML Attribute Error: Missing attribute [\"id\"] with value [\"P2\"]",
         IndexingError::Case::attributeValue},
        {IndexingError::key("k"), "XML Element Error: Incorrect key [\"k\"]",
         IndexingError::Case::key},
        {IndexingError::index(12), "XML Element Error: Incorrect index [\"12\"]",
         IndexingError::Case::index},
        {IndexingError::initialize(nullptr, "thing"),
         "XML Indexer Error: initialization with Object [\"thing\"]",
         IndexingError::Case::initialize},
        {IndexingError::encoding(), "String Encoding Error", IndexingError::Case::encoding},
        {IndexingError::error(), "Unknown Error", IndexingError::Case::error},
    };
    for (const auto& e : errors) {
        EXPECT_STREQ(e.error.what(), e.text);
        EXPECT_EQ(e.error.description(), e.text);
        EXPECT_EQ(e.error.errorCase(), e.errorCase);
    }
}

TEST(IndexingIndexer, ThrowingLookups) {
    const auto root = XMLHash::parse(threeMeasures);
    const auto parts = root["score-partwise"];
    EXPECT_EQ(parts.byKey("part").element()->name(), "part");
    try {
        parts.byKey("Part");
        FAIL() << "byKey found a name of the wrong case";
    } catch (const IndexingError& e) {
        EXPECT_EQ(e.errorCase(), IndexingError::Case::key);
    }

    const auto measures = parts["part"]["measure"];
    EXPECT_EQ(measures.withAttribute("number", "2").element()->index, 1);
    const auto measure = measures[0];
    EXPECT_EQ(measure.withAttribute("number", "1").element(), measure.element());
    const struct {
        XMLIndexer indexer;
        const char* attr;
        const char* value;
        IndexingError::Case expected;
    } failures[] = {
        {measures, "number", "4", IndexingError::Case::attributeValue},
        // An element without the attribute fails with attributeValue, not attribute.
        {measure, "width", "1", IndexingError::Case::attributeValue},
        {measure, "number", "2", IndexingError::Case::attributeValue},
        {root["nothing"], "number", "1", IndexingError::Case::attribute},
    };
    for (const auto& f : failures) {
        try {
            f.indexer.withAttribute(f.attr, f.value);
            ADD_FAILURE() << f.attr << "=" << f.value << " was found";
        } catch (const IndexingError& e) {
            EXPECT_EQ(e.errorCase(), f.expected) << f.attr << "=" << f.value;
        }
    }
}

TEST(IndexingIndexer, CaseInsensitiveOptionAppliesToNamesAndValues) {
    const char* document = "<Score><Part ID=\"P1\"/><part id=\"p2\"/></Score>";
    const auto exact = XMLHash::parse(document);
    EXPECT_EQ(exact["score"].kind(), Kind::xmlError);
    EXPECT_EQ(exact["Score"]["Part"].kind(), Kind::element);

    const auto loose = XMLHash::config([](XMLHashOptions& o) {
                           o.caseInsensitive = true;
                       })->parseDocument(document);
    EXPECT_EQ(loose["SCORE"]["part"].kind(), Kind::list);
    EXPECT_EQ(loose["score"]["part"].withAttribute("id", "P2").element()->index, 1);
}

TEST(IndexingIndexer, AllChildrenAndFiltersByCase) {
    const auto root =
        XMLHash::parse("<r><a i=\"0\">t<x/></a><a i=\"1\"><y/><z/></a><b>text only</b></r>");
    const auto r = root["r"];
    const auto as = r["a"];
    const auto missing = r["c"];
    EXPECT_EQ(as.allElements().size(), 2u);
    EXPECT_EQ(r.all().size(), 1u);
    EXPECT_TRUE(missing.all().empty());
    EXPECT_EQ(names(as.children()), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_TRUE(r["b"].children().empty());
    EXPECT_TRUE(missing.children().empty());

    const auto keepNone = [](const XMLElement&, int64_t) { return false; };
    const auto second = [](const XMLElement&, int64_t position) { return position == 1; };
    EXPECT_EQ(as.filterAll(keepNone).kind(), Kind::list);
    EXPECT_TRUE(as.filterAll(keepNone).all().empty());
    EXPECT_EQ(as.filterAll(second).element()->attribute("i")->text, "1");
    EXPECT_EQ(as.filterAll([](const XMLElement&, int64_t) { return true; }).kind(), Kind::list);

    // On an element: a copy without attributes holding only the kept child elements.
    const auto filtered = as[0].filterChildren([](const XMLElement&, int64_t) { return true; });
    EXPECT_EQ(filtered.description(), "<a><x></x></a>");
    EXPECT_EQ(filtered.element()->count, 0);
    EXPECT_EQ(r.filterChildren(second).description(), "<r><a i=\"1\"><y></y><z></z></a></r>");
    EXPECT_EQ(errorText(as.filterChildren(second)), "Unknown Error");
    // The original tree is unchanged.
    EXPECT_EQ(as[0].element()->description(), "<a i=\"0\">t<x></x></a>");
}

TEST(IndexingIndexer, DescriptionByCase) {
    const auto root = XMLHash::parse("<?xml version=\"1.0\"?><r><a>1</a><a>2</a></r>");
    EXPECT_EQ(root.description(), "<r><a>1</a><a>2</a></r>");
    EXPECT_EQ(root["r"].description(), "<r><a>1</a><a>2</a></r>");
    EXPECT_EQ(root["r"]["a"].description(), "<a>1</a><a>2</a>");
    EXPECT_EQ(root["x"].description(), "");
    EXPECT_EQ(XMLHash::parse("<e/>").description(), "<e></e>");
    EXPECT_EQ(XMLHash::lazy("<e/>").description(), "");
}

TEST(IndexingIndexer, UserInfoAndConstruction) {
    const auto hash = XMLHash::config([](XMLHashOptions& o) { o.userInfo["k"] = 7; });
    const auto root = hash->parseDocument("<a><b/><b/></a>");
    ASSERT_EQ(root["a"].userInfo().count("k"), 1u);
    EXPECT_EQ(std::any_cast<int>(root["a"].userInfo().at("k")), 7);
    EXPECT_TRUE(root["a"]["b"].userInfo().empty());  // a list
    EXPECT_TRUE(root["x"].userInfo().empty());

    auto element = root["a"].element();
    EXPECT_EQ(XMLIndexer::fromObject(element).element(), element);
    EXPECT_EQ(XMLIndexer::fromObject(LazyXMLParser::create(hash->options())).kind(), Kind::stream);
    try {
        XMLIndexer::fromObject(std::make_shared<int>(3), "3");
        FAIL() << "an int made an indexer";
    } catch (const IndexingError& e) {
        EXPECT_STREQ(e.what(), "XML Indexer Error: initialization with Object [\"3\"]");
    }
    EXPECT_EQ(errorText(XMLIndexer(std::shared_ptr<XMLElement>())), "Unknown Error");
}

enum class Tag { note, pitch };
std::string rawValue(Tag tag) {
    return tag == Tag::note ? "note" : "pitch";
}

TEST(IndexingIndexer, RawValueKeysActAsTheirStrings) {
    const auto root = XMLHash::parse("<note kind=\"pitch\"><pitch/></note>");
    EXPECT_EQ(root[Tag::note][Tag::pitch].element(), root["note"]["pitch"].element());
    EXPECT_EQ(root[Tag::note].withAttribute("kind", "pitch").element(), root["note"].element());
    EXPECT_EQ(errorText(root[Tag::pitch]), "XML Element Error: Incorrect key [\"pitch\"]");
}

}  // namespace
