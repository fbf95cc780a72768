// Parsing documents into the tree: options, encodings, malformed and hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "hostile_xml.hpp"
#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;

std::vector<uint8_t> bytesOf(std::string_view s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(IndexingParse, DocumentElementHangsUnderTheSyntheticRoot) {
    const auto root = XMLHash::parse("<?xml version=\"1.0\"?>\n<!-- c --><score-partwise/>\n");
    const auto element = root.element();
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->name(), "XMLIndex_Root_Element");
    EXPECT_EQ(element->index, 0);
    ASSERT_EQ(element->childElements().size(), 1u);
    EXPECT_EQ(root["score-partwise"].element(), element->childElements()[0]);
    EXPECT_EQ(root.description(), "<score-partwise></score-partwise>");
}

TEST(IndexingParse, NamespaceProcessingChoosesTheReportedName) {
    const std::string document = "<p:a xmlns:p=\"urn:x\" p:k=\"v\"><p:b/></p:a>";
    const auto plain = XMLHash::parse(document);
    EXPECT_NE(plain["p:a"]["p:b"].element(), nullptr);
    EXPECT_EQ(plain["p:a"].element()->attribute("p:k")->text, "v");

    const auto namespaced = XMLHash::config([](XMLHashOptions& o) {
                                o.shouldProcessNamespaces = true;
                            })->parseDocument(document);
    EXPECT_NE(namespaced["a"]["b"].element(), nullptr);
    EXPECT_EQ(namespaced["p:a"].kind(), XMLIndexer::Kind::xmlError);
}

TEST(IndexingParse, MalformedDocumentsGivePartialTreesOrTheError) {
    const struct {
        const char* document;
        int64_t line, column;
        const char* partial;  // description of the root indexer without error detection
    } cases[] = {
        {"<a><b>text</b>", 1, 14, "<a><b>text</b></a>"},
        {"<a>\n  <b>\n  </a>", 3, 4, "<a>\n  <b>\n  </b></a>"},
        {"<a></a><b/>", 1, 7, "<a></a>"},
        {"", 1, 0, ""},
        {"<a>&undefined;</a>", 1, 3, "<a></a>"},
    };
    for (const auto& c : cases) {
        const auto partial = XMLHash::parse(c.document);
        EXPECT_EQ(partial.kind(), XMLIndexer::Kind::element) << c.document;
        EXPECT_EQ(partial.description(), c.partial) << c.document;

        const auto detected = XMLHash::config([](XMLHashOptions& o) {
                                  o.detectParsingErrors = true;
                              })->parseDocument(c.document);
        ASSERT_EQ(detected.kind(), XMLIndexer::Kind::parsingError) << c.document;
        EXPECT_EQ(detected.parsingError()->line(), c.line) << c.document;
        EXPECT_EQ(detected.parsingError()->column(), c.column) << c.document;
        EXPECT_STREQ(detected.parsingError()->what(),
                     ("There was a parsing error on line: " + std::to_string(c.line) +
                      ", column: " + std::to_string(c.column))
                         .c_str());
        // Every further step stays an error and finds nothing.
        EXPECT_TRUE(detected["a"].all().empty());
    }
}

TEST(IndexingParse, TextIsUtf8WhateverItDeclaresBytesAreDetected) {
    const std::string declaredLatin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC3\xA9</a>";
    EXPECT_EQ(XMLHash::parse(declaredLatin1)["a"].element()->text(), "\xC3\xA9");
    // The same declaration on bytes is honoured: two Latin-1 characters.
    EXPECT_EQ(XMLHash::parse(bytesOf(declaredLatin1))["a"].element()->text(), "\xC3\x83\xC2\xA9");
    const std::string utf16{"\xFE\xFF\0<\0a\0>\0\xE9\0<\0/\0a\0>", 18};
    EXPECT_EQ(XMLHash::parse(bytesOf(utf16))["a"].element()->text(), "\xC3\xA9");
}

TEST(IndexingParse, TextTheEncodingCannotRepresentIsRefused) {
    const struct {
        StringEncoding encoding;
        const char* text;
        bool encodable;
    } cases[] = {
        {StringEncoding::utf8, "<a>\xC3\xA9</a>", true},
        {StringEncoding::utf8, "<a>\xC3</a>", false},          // truncated sequence
        {StringEncoding::utf8, "<a>\xED\xA0\x80</a>", false},  // encoded surrogate
        {StringEncoding::ascii, "<a>x</a>", true},
        {StringEncoding::ascii, "<a>\xC3\xA9</a>", false},
        {StringEncoding::isoLatin1, "<a>\xC3\xA9</a>", true},
        {StringEncoding::isoLatin1, "<a>\xE2\x82\xAC</a>", false},  // euro sign
        {StringEncoding::utf16BigEndian, "<a>\xF0\x9F\x8E\xB5</a>", true},
        {StringEncoding::utf16LittleEndian, "<a>\xE2\x82\xAC</a>", true},
    };
    for (const auto& c : cases) {
        const auto hash = XMLHash::config([&](XMLHashOptions& o) { o.encoding = c.encoding; });
        const auto root = hash->parseDocument(std::string_view(c.text));
        if (c.encodable) {
            ASSERT_NE(root["a"].element(), nullptr) << c.text;
            // Whatever the bytes in between, the text comes back as it went in.
            const std::string text(c.text);
            EXPECT_EQ(root["a"].element()->text(), text.substr(3, text.size() - 7)) << c.text;
        } else {
            ASSERT_EQ(root.kind(), XMLIndexer::Kind::xmlError) << c.text;
            EXPECT_EQ(root.xmlError()->errorCase(), IndexingError::Case::encoding);
            EXPECT_STREQ(root.xmlError()->what(), "String Encoding Error");
        }
    }
}

TEST(IndexingParse, InvalidCdataAddsNothing) {
    // Bytes in a UTF-8 document that are not UTF-8 stop the parse where they stand.
    const auto root = XMLHash::parse(bytesOf("<a>x<![CDATA[\xFF\xFE]]></a>"));
    ASSERT_NE(root["a"].element(), nullptr);
    EXPECT_EQ(root["a"].element()->description(), "<a>x</a>");
}

TEST(IndexingParse, RealScoreMatchesAnIndependentCount) {
    // Counts by xmllint: 18 measures, 2 notes in the first one, 3544 elements in all.
    const std::string score = readFile(PROJECT_TEST_DATA_DIR "/musicxml/clair-de-la-lune.musicxml");
    ASSERT_FALSE(score.empty());
    const auto root = XMLHash::parse(score);
    const auto measures = root["score-partwise"]["part"]["measure"];
    EXPECT_EQ(measures.all().size(), 18u);
    EXPECT_EQ(measures[0]["note"].all().size(), 2u);
    EXPECT_EQ(measures[1]["note"][0]["pitch"]["step"].element()->text(), "C");
    EXPECT_EQ(measures[1].element()->attribute("number")->text, "2");

    size_t elements = 0;
    std::vector<XMLIndexer> pending = root.children();
    while (!pending.empty()) {
        auto next = pending.back();
        pending.pop_back();
        ++elements;
        for (auto& child : next.children())
            pending.push_back(std::move(child));
    }
    EXPECT_EQ(elements, 3544u);
    // Serialising and re-parsing keeps the structure.
    EXPECT_EQ(XMLHash::parse(root.description()).description(), root.description());
}

TEST(IndexingParse, EntityExpansionIsBounded) {
    const std::string lol = testsupport::billionLaughs();
    const auto start = std::chrono::steady_clock::now();
    const auto root = XMLHash::config([](XMLHashOptions& o) {
                          o.detectParsingErrors = true;
                      })->parseDocument(lol);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(root.kind(), XMLIndexer::Kind::parsingError);
    // Without error detection, nothing near the expanded size was kept.
    EXPECT_LT(XMLHash::parse(lol).description().size(), size_t{1} << 24);
}

TEST(IndexingParse, ExternalEntitiesAreNeverRead) {
    const std::string path = ::testing::TempDir() + "xmlindexing_secret.txt";
    std::ofstream(path) << "SECRET";
    const std::string documents[] = {
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + path + "\">]><a>&x;</a>",
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + path + "\">]><a>&x;</a>",
        "<!DOCTYPE a SYSTEM \"file://" + path + "\"><a>&x;</a>",
    };
    for (const auto& document : documents) {
        EXPECT_EQ(XMLHash::parse(document).description().find("SECRET"), std::string::npos)
            << document;
    }
}

TEST(IndexingParse, DeepNestingParsesAndIsDestroyed) {
    constexpr int depth = 200000;
    const std::string deep = testsupport::nestedElements(depth, "x");
    {
        auto root = XMLHash::parse(deep);
        auto element = root["a"].element();
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->recursiveText(), "x");
        EXPECT_EQ(root.description(), deep);
    }
    // Unclosed: a partial tree as deep as the input.
    const auto partial = XMLHash::parse(std::string_view(deep).substr(0, depth * 3));
    EXPECT_EQ(partial.description().size(), static_cast<size_t>(depth) * 7);
}

// The W3C Canonical XML form of an element, as xmllint --c14n writes it: attributes sorted by name,
// references and special characters escaped, CDATA as text, empty elements with an end tag. Checks
// on the way that every element's index and count agree with its parent's and its own children.
std::string canonicalForm(const XMLElement& element) {
    auto escaped = [](std::string_view text, bool attribute) {
        std::string out;
        for (const char c : text) {
            switch (c) {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += attribute ? ">" : "&gt;"; break;
                case '"': out += attribute ? "&quot;" : "\""; break;
                case '\t': out += attribute ? "&#x9;" : "\t"; break;
                case '\n': out += attribute ? "&#xA;" : "\n"; break;
                case '\r': out += "&#xD;"; break;
                default: out += c;
            }
        }
        return out;
    };
    std::string out = "<" + element.name();
    std::vector<XMLAttribute> attributes(element.allAttributes().begin(),
                                         element.allAttributes().end());
    std::sort(attributes.begin(), attributes.end(),
              [](const XMLAttribute& a, const XMLAttribute& b) { return a.name < b.name; });
    for (const auto& attribute : attributes)
        out += " " + attribute.name + "=\"" + escaped(attribute.text, true) + "\"";
    out += ">";
    int64_t elements = 0;
    for (const auto& child : element.children()) {
        if (child->isText()) {
            out += escaped(static_cast<const TextElement&>(*child).text(), false);
        } else {
            const auto& childElement = static_cast<const XMLElement&>(*child);
            EXPECT_EQ(childElement.index, elements++) << childElement.name();
            out += canonicalForm(childElement);
        }
    }
    EXPECT_EQ(element.count, elements) << element.name();
    return out + "</" + element.name() + ">";
}

// Every way of parsing a document builds the tree whose canonical form libxml2 wrote for it: a
// document of the shapes the tree stores apart (shared indentation and short texts, interned
// names, attributes that live outside the tree's storage) and a real score. Each is parsed twice,
// the second time with the shared texts the first one left.
TEST(IndexingParse, TreesMatchTheCanonicalFormAPeerWrote) {
    const struct {
        const char* document;
        const char* canonical;
    } cases[] = {
        {"/xml_indexing/tree-shapes.xml", "/xml_indexing/tree-shapes.c14n.xml"},
        {"/musicxml/clair-de-la-lune.musicxml", "/xml_indexing/clair-de-la-lune.c14n.xml"},
    };
    const std::function<XMLIndexer(const std::string&)> parsers[] = {
        [](const std::string& text) { return XMLHash::parse(text); },
        [](const std::string& text) { return XMLHash::parse(bytesOf(text)); },
        [](const std::string& text) {
            return detail::parseTransiently(text, std::make_shared<XMLHashOptions>());
        },
    };
    for (const auto& c : cases) {
        const std::string document = readFile(std::string(PROJECT_TEST_DATA_DIR) + c.document);
        const std::string expected = readFile(std::string(PROJECT_TEST_DATA_DIR) + c.canonical);
        ASSERT_FALSE(document.empty() || expected.empty()) << c.document;
        for (size_t parser = 0; parser < std::size(parsers); ++parser) {
            for (int round = 0; round < 2; ++round) {
                const XMLIndexer root = parsers[parser](document);
                ASSERT_NE(root.element(), nullptr) << c.document;
                const auto top = root.element()->childElements();
                ASSERT_EQ(top.size(), 1u) << c.document;
                EXPECT_EQ(canonicalForm(*top[0]), expected)
                    << c.document << ", parser " << parser << ", round " << round;
            }
        }
    }
}

// Texts keep their values when the process's table of shared short texts is full and when names
// are many: a document of thousands of distinct short values and names, parsed both ways.
TEST(IndexingParse, ManyDistinctTextsAndNamesKeepTheirValues) {
    std::string document = "<values>";
    constexpr int count = 6000;
    for (int i = 0; i < count; ++i) {
        const std::string name = "v" + std::to_string(i % 700);
        document += "<" + name + ">" + std::to_string(i) + "</" + name + ">";
    }
    document += "</values>";
    for (const bool transient : {false, true}) {
        const XMLIndexer root =
            transient ? detail::parseTransiently(document, std::make_shared<XMLHashOptions>())
                      : XMLHash::parse(document);
        const auto values = root["values"].element();
        ASSERT_NE(values, nullptr);
        const auto children = values->childElements();
        ASSERT_EQ(children.size(), static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(children[i]->name(), "v" + std::to_string(i % 700)) << i;
            ASSERT_EQ(children[i]->text(), std::to_string(i)) << i;
        }
    }
}

}  // namespace
