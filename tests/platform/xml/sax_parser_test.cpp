#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "hostile_xml.hpp"
#include "sax/parser.hpp"

namespace {

// Records every event as one line of text.
struct Recorder : sax::Handler {
    std::vector<std::string> events;
    std::optional<sax::ParseError> error;
    sax::Parser* parser = nullptr;
    std::vector<int64_t> startLines;

    void startElement(std::string_view name, std::string_view uri, std::string_view qname,
                      const sax::Attributes& attributes) override {
        std::string e = "start " + std::string(name);
        if (!uri.empty()) e += " {" + std::string(uri) + "} " + std::string(qname);
        for (const auto& a : attributes)
            e += " " + a.name + "=" + a.value;
        events.push_back(e);
        if (parser) startLines.push_back(parser->currentLine());
    }
    void endElement(std::string_view name, std::string_view, std::string_view) override {
        events.push_back("end " + std::string(name));
    }
    void characters(std::string_view text) override {
        events.push_back("text [" + std::string(text) + "]");
    }
    void cdata(std::string_view bytes) override {
        events.push_back("cdata [" + std::string(bytes) + "]");
    }
    void parseError(const sax::ParseError& e) override { error = e; }
};

std::vector<std::string> eventsOf(std::string_view document, sax::Options options = {}) {
    Recorder r;
    sax::Parser parser(options);
    parser.parse(document, r);
    return r.events;
}

using Events = std::vector<std::string>;

TEST(SaxParser, ReportsElementsTextAndCdataInDocumentOrder) {
    const struct {
        const char* document;
        Events expected;
    } cases[] = {
        {"<a x=\"1\" y='&lt;2'>hi</a>", {"start a x=1 y=<2", "text [hi]", "end a"}},
        // Entity and character references do not split a run.
        {"<a>x &amp; y &#65;&#x42;\nz</a>", {"start a", "text [x & y AB\nz]", "end a"}},
        // A comment or processing instruction ends a run without an event of its own.
        {"<a>one<!-- c -->two<?pi data?>three</a>",
         {"start a", "text [one]", "text [two]", "text [three]", "end a"}},
        {"<a>x<![CDATA[<raw> & ]]>y</a>",
         {"start a", "text [x]", "cdata [<raw> & ]", "text [y]", "end a"}},
        {"<a><b/>\n  <c></c></a>",
         {"start a", "start b", "end b", "text [\n  ]", "start c", "end c", "end a"}},
        {"<p:a xmlns:p=\"urn:x\"/>", {"start p:a xmlns:p=urn:x", "end p:a"}},
        // The document type declaration and its internal entities.
        {"<!DOCTYPE a [<!ENTITY e \"expanded\">]><a>&e;</a>",
         {"start a", "text [expanded]", "end a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(eventsOf(c.document), c.expected) << c.document;
    }
}

TEST(SaxParser, NamespaceProcessingReportsLocalNamesAndUris) {
    sax::Options options;
    options.processNamespaces = true;
    EXPECT_EQ(eventsOf("<p:a xmlns:p=\"urn:x\" p:k=\"v\"/>", options),
              (Events{"start a {urn:x} p:a p:k=v", "end a"}));
}

TEST(SaxParser, ReportsErrorsWithLineAndColumnAndStops) {
    const struct {
        const char* document;
        int64_t line;
        int64_t column;
    } cases[] = {
        {"", 1, 0},
        {"<a>\n<b>\n</a>", 3, 2},
        {"<a>\n  text", 2, 6},
        {"<a></a><b/>", 1, 7},
        {"<a>&unknown;</a>", 1, 3},
    };
    for (const auto& c : cases) {
        Recorder r;
        sax::Parser parser;
        EXPECT_FALSE(parser.parse(c.document, r)) << c.document;
        ASSERT_TRUE(r.error.has_value()) << c.document;
        EXPECT_EQ(r.error->line, c.line) << c.document;
        EXPECT_EQ(r.error->column, c.column) << c.document;
        EXPECT_FALSE(r.error->message.empty());
    }
}

TEST(SaxParser, DeclaredEncodingIsHonouredForBytesAndOverriddenForText) {
    // "é" in Latin-1 is the single byte E9.
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>";
    EXPECT_EQ(eventsOf(latin1), (Events{"start a", "text [\xC3\xA9]", "end a"}));

    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC3\xA9</a>";
    sax::Options asText;
    asText.encoding = "UTF-8";
    EXPECT_EQ(eventsOf(utf8, asText), (Events{"start a", "text [\xC3\xA9]", "end a"}));

    // UTF-16 with a byte-order mark is detected.
    const std::string utf16{"\xFF\xFE<\0a\0/\0>\0", 10};
    EXPECT_EQ(eventsOf(utf16), (Events{"start a", "end a"}));
}

TEST(SaxParser, ReportsLineNumbersDuringEvents) {
    Recorder r;
    sax::Parser parser;
    r.parser = &parser;
    ASSERT_TRUE(parser.parse("<a>\n<b/>\n\n<c/></a>", r));
    EXPECT_EQ(r.startLines, (std::vector<int64_t>{1, 2, 4}));
}

TEST(SaxParser, StopEndsTheRunWithoutAnError) {
    struct Stopper : Recorder {
        void startElement(std::string_view name, std::string_view uri, std::string_view qname,
                          const sax::Attributes& attributes) override {
            Recorder::startElement(name, uri, qname, attributes);
            if (name == "b") parser->stop();
        }
    } r;
    sax::Parser parser;
    r.parser = &parser;
    EXPECT_FALSE(parser.parse("<a><b><c/></b></a>", r));
    EXPECT_TRUE(parser.stopped());
    EXPECT_FALSE(r.error.has_value());
    EXPECT_EQ(r.events, (Events{"start a", "start b"}));
}

TEST(SaxParser, HandlerExceptionsPropagateToTheCaller) {
    struct Thrower : sax::Handler {
        void startElement(std::string_view, std::string_view, std::string_view,
                          const sax::Attributes&) override {
            throw std::runtime_error("from handler");
        }
    } h;
    sax::Parser parser;
    EXPECT_THROW(parser.parse("<a/>", h), std::runtime_error);
}

TEST(SaxParser, EntityExpansionIsBounded) {
    const std::string lol = testsupport::billionLaughs();
    Recorder r;
    sax::Parser parser;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(parser.parse(lol, r));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(r.error.has_value());
}

TEST(SaxParser, ExternalEntitiesAreNeverLoaded) {
    const std::string path = ::testing::TempDir() + "sax_secret.txt";
    std::ofstream(path) << "SECRET";
    const std::string document =
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + path + "\">]><a>&x;</a>";
    for (const auto& e : eventsOf(document))
        EXPECT_EQ(e.find("SECRET"), std::string::npos) << e;
    const std::string external = "<!DOCTYPE a SYSTEM \"file://" + path + "\"><a>&x;</a>";
    for (const auto& e : eventsOf(external))
        EXPECT_EQ(e.find("SECRET"), std::string::npos) << e;
}

TEST(SaxParser, DeepNestingParsesOrHitsTheDepthLimit) {
    constexpr int depth = 200000;
    const std::string deep = testsupport::nestedElements(depth);

    struct Counter : sax::Handler {
        size_t starts = 0;
        std::optional<sax::ParseError> error;
        void startElement(std::string_view, std::string_view, std::string_view,
                          const sax::Attributes&) override {
            ++starts;
        }
        void parseError(const sax::ParseError& e) override { error = e; }
    };
    Counter unlimited;
    EXPECT_TRUE(sax::Parser().parse(deep, unlimited));
    EXPECT_EQ(unlimited.starts, static_cast<size_t>(depth));

    Counter limited;
    sax::Options options;
    options.maxDepth = 1000;
    EXPECT_FALSE(sax::Parser(options).parse(deep, limited));
    ASSERT_TRUE(limited.error.has_value());
    EXPECT_EQ(limited.error->code, sax::ParseError::depthLimitExceeded);
    EXPECT_EQ(limited.starts, 1000u);
}

}  // namespace
