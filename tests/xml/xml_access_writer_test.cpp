#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "xml_access_test_support.hpp"

namespace {

using namespace xmlaccess;
using xmlaccess::test::outline;
using xmlaccess::test::parseBytes;
using xmlaccess::test::xmllintAccepts;

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

XML::Element::Ptr element(std::string name, std::optional<std::string> text = {},
                          XML::Element::Attributes attributes = {},
                          std::vector<XML::Element::Ptr> children = {}) {
    return std::make_shared<XML::Element>(std::move(name), std::move(text), std::move(attributes),
                                          std::move(children));
}

XML::Accessor single(XML::Element::Ptr e) {
    return XML::Accessor::singleElement(std::move(e));
}

TEST(XmlAccessWriter, TheIndependentCheckerRejectsMalformedText) {
    EXPECT_TRUE(xmllintAccepts("<a x=\"1\">t</a>"));
    for (const char* bad : {"<a x=\"\"\"></a>", "<a>x < y</a>", "<a>&</a>", "", "<a></a><b></b>"}) {
        EXPECT_FALSE(xmllintAccepts(bad)) << bad;
    }
}

TEST(XmlAccessWriter, WritesElementsTextAndAttributesWithOrWithoutTheDeclaration) {
    const auto parsed = XML::parse("<a x=\"1\">t<b/></a>");
    const auto syntheticRoot = [] { return element(std::string(XML::documentRootName)); };
    const struct {
        const char* what;
        XML::Accessor accessor;
        bool includeDeclaration;
        std::string expected;
        bool isDocument;
    } cases[] = {
        {"parsed, declared", parsed, true, declaration + "<a x=\"1\">t<b></b></a>", true},
        {"parsed, bare", parsed, false, "<a x=\"1\">t<b></b></a>", true},
        {"escaped text", single(element("e", "x<y & z>")), false, "<e>x&lt;y &amp; z&gt;</e>",
         true},
        {"reference in text", single(element("e", "&lt;")), false, "<e>&amp;lt;</e>", true},
        {"sequence", XML::parse("<r><i>1</i><i>2</i></r>")[{"r", "i"}], false, "<i>1</i><i>2</i>",
         false},
        {"inner element alone", parsed[{"a", "b"}], true, declaration + "<b></b>", true},
        {"synthetic root inside a tree",
         single(element("outer", {}, {},
                        {element("in", "1"),
                         [&] {
                             auto root = syntheticRoot();
                             root->setText("dropped");
                             root->setAttributes({{"k", "v"}});
                             root->appendChildElement(element("kept"));
                             return root;
                         }()})),
         false, "<outer><in>1</in><kept></kept></outer>", true},
        {"empty root, declared", single(syntheticRoot()), true, declaration, false},
        {"empty root, bare", single(syntheticRoot()), false, "", false},
        {"attribute order", single(element("e", {}, {{"z", "1"}, {"a", "2"}, {"m", ""}})), false,
         "<e a=\"2\" m=\"\" z=\"1\"></e>", true},
        {"no line breaks added", XML::parse("<a>\n <b>x</b>\n</a>"), false, "<a>\n \n<b>x</b></a>",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string written = XML::convert(c.accessor, c.includeDeclaration);
        EXPECT_EQ(written, c.expected);
        // Fragments (several or no top-level elements) are checked inside a wrapper element.
        const std::string body =
            c.includeDeclaration ? written.substr(declaration.size()) : written;
        EXPECT_TRUE(xmllintAccepts(c.isDocument ? written : "<w>" + body + "</w>"));
    }
}

TEST(XmlAccessWriter, AFailureIsRaisedUnchanged) {
    const XML::Accessor failures[] = {
        XML::parse("<a>"), XML::parse("<a/>")["b"],
        XML::Accessor::failure(std::make_exception_ptr(std::logic_error("x")))};
    for (const auto& failure : failures) {
        for (bool includeDeclaration : {true, false}) {
            try {
                XML::convert(failure, includeDeclaration);
                ADD_FAILURE() << "no error raised";
            } catch (...) {
                EXPECT_EQ(std::current_exception(), failure.error());
            }
        }
    }
}

TEST(XmlAccessWriter, EscapesAttributeValuesSoTheyReadBackUnchanged) {
    const std::vector<std::string> values = {
        "say \"hi\"",  "a & b",    "<tag>", "it's",  "tab\there",
        "line\nbreak", "cr\rhere", "]]>",   "&amp;", "",
    };
    for (const auto& value : values) {
        SCOPED_TRACE(value);
        const auto accessor = single(element("e", value, {{"v", value}}));
        const std::string written = XML::convert(accessor, true);
        ASSERT_TRUE(xmllintAccepts(written)) << written;
        const auto back = XML::parse(written)["e"];
        EXPECT_EQ(back.attributes().at("v"), value);
        EXPECT_EQ(back.text().value_or(""), value);
    }
    EXPECT_EQ(XML::Converter::escapeAttributeValue("\"<&>\t\n\r'"),
              "&quot;&lt;&amp;&gt;&#9;&#10;&#13;'");
    EXPECT_EQ(XML::Converter::escapeText("\"<&>\t\n\r'"), "\"&lt;&amp;&gt;\t\n&#13;'");
}

TEST(XmlAccessWriter, ReplacesCharactersThatXmlCannotCarry) {
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string text;
        std::string written;
    } cases[] = {
        {std::string("a\0b", 3), "a" + replacement + "b"},
        {"\x01\x1F", replacement + replacement},
        {"bad\xFF", "bad" + replacement},
        {"\xC0\xAF", replacement + replacement},
        {"\xEF\xBF\xBE", replacement},                              // U+FFFE
        {"\xED\xA0\x80", replacement + replacement + replacement},  // an encoded surrogate
        {"\xE2\x82", replacement},  // truncated: one ill-formed part
        {"ok \xC3\xA9 \xF0\x9F\x8E\xB5", "ok \xC3\xA9 \xF0\x9F\x8E\xB5"},
    };
    for (const auto& c : cases) {
        const auto accessor = single(element("e", c.text, {{"a", c.text}}));
        const std::string written = XML::convert(accessor, false);
        EXPECT_EQ(written, "<e a=\"" + c.written + "\">" + c.written + "</e>");
        EXPECT_TRUE(xmllintAccepts(written)) << written;
    }
}

TEST(XmlAccessWriter, RefusesNamesThatAreNotXmlNames) {
    // The accessor and the sentence naming the offending name.
    const std::vector<std::pair<XML::Accessor, std::string>> cases = {
        {single(element("")), "\"\""},
        {single(element("a b")), "\"a b\""},
        {single(element("1a")), "\"1a\""},
        {single(element("a<b")), "\"a<b\""},
        {single(element("ok", {}, {}, {element("bad\xFF")})), ""},
        {single(element("ok", {}, {{"no good", "1"}})), "\"no good\""},
        {single(element("ok", {}, {{"", "1"}})), "\"\""},
    };
    for (const auto& [accessor, quotedName] : cases) {
        try {
            XML::convert(accessor, false);
            ADD_FAILURE() << "no error for " << accessor.description();
        } catch (const XMLError& e) {
            EXPECT_EQ(e.errorCase(), XMLError::Case::invalidName);
            EXPECT_NE(std::string(e.what()).find("is not a valid XML name"), std::string::npos);
            if (!quotedName.empty()) {
                EXPECT_EQ(e.what(),
                          quotedName + " is not a valid XML name, so it cannot be written.");
            }
        }
    }
    // Names beyond ASCII, with prefixes, dots and dashes are fine.
    EXPECT_EQ(
        XML::convert(single(element("p:\xC3\xA9t\xC3\xA9-1.x", {}, {{"xml:lang", "fr"}})), false),
        "<p:\xC3\xA9t\xC3\xA9-1.x xml:lang=\"fr\"></p:\xC3\xA9t\xC3\xA9-1.x>");
}

TEST(XmlAccessWriter, RefusesNamesThatOnlyLatin1OrUtf16InputLetThrough) {
    // The parser takes U+00AA, U+00B5 and U+00BA as name characters in Latin-1 and UTF-16 input,
    // though XML names exclude them (and UTF-8 input is refused). Such a tree reads fine but
    // cannot be written as well-formed XML.
    for (const char c : {'\xAA', '\xB5', '\xBA'}) {
        const std::string latin1 =
            std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a") + c + "/>";
        const auto parsed = parseBytes(latin1);
        ASSERT_EQ(parsed.kind(), XML::Accessor::Case::singleElement) << +c;
        const std::string name = parsed.element()->childElements()[0]->name();
        EXPECT_EQ(XML::parse("<" + name + "/>").kind(), XML::Accessor::Case::failure);
        EXPECT_FALSE(xmllintAccepts("<" + name + "/>"));
        try {
            XML::convert(parsed, false);
            ADD_FAILURE() << "no error for " << name;
        } catch (const XMLError& e) {
            EXPECT_EQ(e.errorCase(), XMLError::Case::invalidName);
            EXPECT_EQ(e.description(), name);
        }
    }
}

TEST(XmlAccessWriter, ADocumentElementNamedLikeTheSyntheticRootIsWritten) {
    const std::string document =
        "<XML.Parser.AbstructedDocumentRoot "
        "k=\"v\">text<a></a><b></b></XML.Parser.AbstructedDocumentRoot>";
    EXPECT_EQ(XML::convert(XML::parse(document), false), document);
}

std::vector<std::string> roundTripDocuments() {
    std::vector<std::string> documents;
    for (const auto& path : test::dataDocuments())
        documents.push_back(test::readFile(path));
    for (const char* inline_ : {
             "<a/>",
             "<a>one<b/>two<c>three</c>four</a>",
             "<a x=\"&quot;&amp;&lt;&gt;&apos;\">&amp;&lt;&gt;\"'</a>",
             "<a v=\"&#9;&#10;&#13;\">&#13;&#10;&#9;</a>",
             "<a>]]&gt;</a>",
             "<a><![CDATA[kept only by the reader]]>text</a>",
             "<!DOCTYPE a [<!ENTITY e \"<b>x</b>\">]><a>&e;&e;</a>",
             "<p:a xmlns:p='urn:p'><p:b p:c='1'/></p:a>",
             "<a>\xF0\x9F\x8E\xB5 \xE2\x82\xAC \xC3\xA9</a>",
         }) {
        documents.emplace_back(inline_);
    }
    return documents;
}

TEST(XmlAccessWriter, ParsingTheWrittenTextGivesTheSameTree) {
    for (const auto& document : roundTripDocuments()) {
        SCOPED_TRACE(document.substr(0, 60));
        const auto parsed = parseBytes(document);
        ASSERT_EQ(parsed.kind(), XML::Accessor::Case::singleElement);
        for (bool includeDeclaration : {true, false}) {
            const std::string written = XML::convert(parsed, includeDeclaration);
            EXPECT_TRUE(xmllintAccepts(written)) << written;
            const auto reparsed = XML::parse(written);
            ASSERT_EQ(reparsed.kind(), XML::Accessor::Case::singleElement) << written;
            EXPECT_EQ(outline(*reparsed.element()), outline(*parsed.element()));
            // Writing is stable: the second generation is the same text.
            EXPECT_EQ(XML::convert(reparsed, includeDeclaration), written);
        }
    }
}

}  // namespace
