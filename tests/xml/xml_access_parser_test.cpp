#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "xml_access_test_support.hpp"

namespace {

using namespace xmlaccess;
using xmlaccess::test::outline;
using xmlaccess::test::parseBytes;
using Case = XML::Accessor::Case;

TEST(XmlAccessParser, OneElementDocumentHangsUnderTheSyntheticRoot) {
    const XML::Accessor document = XML::parse("<a>x</a>");
    ASSERT_EQ(document.kind(), Case::singleElement);
    const auto root = document.element();
    EXPECT_EQ(root->name(), "XML.Parser.AbstructedDocumentRoot");
    EXPECT_EQ(root->lineNumberStart(), -1);
    EXPECT_EQ(root->lineNumberEnd(), -1);
    EXPECT_EQ(root->parentElement(), nullptr);
    ASSERT_EQ(root->childElements().size(), 1u);
    const auto a = root->childElements()[0];
    EXPECT_EQ(a->name(), "a");
    EXPECT_EQ(a->text(), "x");
    EXPECT_EQ(a->parentElement(), root);
    EXPECT_EQ(a->lineNumberStart(), 1);
    EXPECT_EQ(a->lineNumberEnd(), 1);
    EXPECT_TRUE(a->attributes().empty());
    EXPECT_FALSE(a->CDATA().has_value());
}

TEST(XmlAccessParser, CollectsTextAndCdataAsWrittenOrTrimmed) {
    const auto blanksAndBreaks = CharacterSet::whitespacesAndNewlines();
    const struct {
        const char* document;
        std::optional<CharacterSet> trim;
        std::vector<XMLSubscriptType> path;
        std::optional<std::string> text;
        std::optional<std::string> cdata;
    } cases[] = {
        // Mixed content: the pieces around a child are joined with nothing between them.
        {"<a>one<b/>two</a>", {}, {"a"}, "onetwo", {}},
        {"<a>one<b/>two</a>", {}, {"a", "b"}, {}, {}},
        {"<a>\n  <b>x</b>\n</a>", {}, {"a"}, "\n  \n", {}},
        {"<a>\n  <b>x</b>\n</a>", blanksAndBreaks, {"a"}, "", {}},
        {"<a>\n  <b>x</b>\n</a>", CharacterSet::whitespaces(), {"a"}, "\n  \n", {}},
        {"<a> \t x y \n</a>", blanksAndBreaks, {"a"}, "x y", {}},
        {"<a>\xE3\x80\x80x\xC2\xA0</a>", CharacterSet::whitespaces(), {"a"}, "x", {}},
        {"<a>--x-</a>", CharacterSet::of(U"-"), {"a"}, "x", {}},
        {"<a/>", blanksAndBreaks, {"a"}, {}, {}},
        {"<a>x &amp; &#x3C;y&#62;</a>", {}, {"a"}, "x & <y>", {}},
        {"<a>one<!-- c -->two<?pi?>three</a>", {}, {"a"}, "onetwothree", {}},
        {"<a>line\r\nbreak</a>", {}, {"a"}, "line\nbreak", {}},
        // Only the last CDATA section is kept, and no CDATA enters the text.
        {"<a>t<![CDATA[first]]><![CDATA[second]]></a>", {}, {"a"}, "t", "second"},
        {"<a><![CDATA[ <raw> & ]]></a>", blanksAndBreaks, {"a"}, {}, " <raw> & "},
        {"<a><![CDATA[]]></a>", {}, {"a"}, {}, ""},
        {"<a><b><![CDATA[inner]]></b></a>", {}, {"a"}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        const auto element = XML::parse(c.document, c.trim)[c.path].element();
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->text(), c.text);
        const std::optional<std::string> cdata =
            element->CDATA() ? std::optional<std::string>(
                                   std::string(element->CDATA()->begin(), element->CDATA()->end()))
                             : std::nullopt;
        EXPECT_EQ(cdata, c.cdata);
    }
}

TEST(XmlAccessParser, RecordsTheLinesOfStartAndEndTags) {
    const auto document = XML::parse("<r>\n<a>\n</a>\n\n<b/>\n<c>x</c></r>");
    const struct {
        const char* name;
        std::int64_t start, end;
    } cases[] = {{"a", 2, 3}, {"b", 5, 5}, {"c", 6, 6}};
    for (const auto& c : cases) {
        const auto element = document[{"r", c.name}].element();
        ASSERT_NE(element, nullptr) << c.name;
        EXPECT_EQ(element->lineNumberStart(), c.start) << c.name;
        EXPECT_EQ(element->lineNumberEnd(), c.end) << c.name;
    }
    EXPECT_EQ(document["r"].element()->lineNumberStart(), 1);
    EXPECT_EQ(document["r"].element()->lineNumberEnd(), 6);
}

TEST(XmlAccessParser, KeepsNamesAsWrittenAndAttributesAsAMap) {
    const auto document =
        XML::parse("<p:a xmlns:p=\"urn:x\" p:k='v' plain=\"&lt;1&gt;\"><p:b/><c/></p:a>", {}, true);
    const auto a = document.element()->childElements()[0];
    EXPECT_EQ(a->name(), "p:a");
    EXPECT_TRUE(a->ignoreNamespaces());
    EXPECT_EQ(a->attributes(),
              (XML::Element::Attributes{{"xmlns:p", "urn:x"}, {"p:k", "v"}, {"plain", "<1>"}}));
    EXPECT_EQ(a->childElements()[0]->name(), "p:b");
    EXPECT_TRUE(a->childElements()[1]->attributes().empty());
    EXPECT_FALSE(XML::parse("<a/>").element()->childElements()[0]->ignoreNamespaces());
}

TEST(XmlAccessParser, MalformedEmptyOrTruncatedInputGivesAFailure) {
    const struct {
        std::string document;
        std::int64_t line;
    } cases[] = {
        {"", 1},
        {"   \n", 2},
        {"<r><i>1</i><i>2</i>", 1},
        {"<r>\n<a>\n</b></r>", 3},
        {"<a/><b/>", 1},
        {"<a>&undefined;</a>", 1},
        {"<a x='1' x='2'/>", 1},
        {"<a>\x01</a>", 1},
        {"<a>\xFF</a>", 1},
        {std::string("<a>\0</a>", 8), 1},
        {"<?xml version=\"1.0\"?>", 1},
        {"<a", 1},
        {"<a><![CDATA[open", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        const XML::Accessor result = parseBytes(c.document);
        ASSERT_EQ(result.kind(), Case::failure);
        const auto error = result.xmlError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->errorCase(), XMLError::Case::interruptedParseError);
        ASSERT_TRUE(error->rawError().has_value());
        EXPECT_NE(error->rawError()->code, 0);
        EXPECT_EQ(error->rawError()->line, c.line);
        EXPECT_NE(std::string(error->what()).find("could not be parsed"), std::string::npos);
        // The partial tree cannot be reached, and every later step keeps the failure.
        EXPECT_EQ(result["r"].error(), result.error());
        EXPECT_EQ(result.element(), nullptr);
    }
}

TEST(XmlAccessParser, TextThatIsNotUtf8CannotBeParsedAsText) {
    for (const std::string text :
         {"<a>\xFF</a>", "<a>\xC0\xAF</a>", "<a>\xED\xA0\x80</a>", "<a>\xE2\x82</a>"}) {
        try {
            XML::parse(text);
            ADD_FAILURE() << "no error for " << text;
        } catch (const XMLError& e) {
            EXPECT_EQ(e.errorCase(), XMLError::Case::failToEncodeString);
            EXPECT_STREQ(e.what(), "The text could not be converted to UTF-8 bytes.");
        }
        // The byte form never raises: the parser reports the bad byte.
        EXPECT_EQ(parseBytes(text).kind(), Case::failure);
    }
}

TEST(XmlAccessParser, BytesFollowTheirDeclaredEncodingWhileTextIsAlreadyDecoded) {
    const auto dir = std::filesystem::path(PROJECT_TEST_DATA_DIR) / "xml_access";
    const std::string expected =
        outline(*parseBytes(test::readFile(dir / "catalog.xml")).element());
    for (const char* file : {"catalog-latin1.xml", "catalog-utf16.xml"}) {
        const auto document = parseBytes(test::readFile(dir / file));
        ASSERT_EQ(document.kind(), Case::singleElement) << file;
        EXPECT_EQ(outline(*document.element()), expected) << file;
    }
    // Text ignores a declared single-byte encoding: "é" stays one character.
    const auto text = XML::parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC3\xA9</a>");
    EXPECT_EQ(text["a"].text(), "\xC3\xA9");
}

TEST(XmlAccessParser, ASecondParseAddsToTheSameRootAndKeepsAnEarlierError) {
    XML::Parser parser(std::nullopt, false);
    const std::string first = "<a/>", second = "<b/>";
    parser.parse({reinterpret_cast<const std::uint8_t*>(first.data()), first.size()});
    const auto both =
        parser.parse({reinterpret_cast<const std::uint8_t*>(second.data()), second.size()});
    ASSERT_EQ(both.kind(), Case::singleElement);
    EXPECT_EQ(both.element(), parser.documentRoot());
    EXPECT_EQ(parser.documentRoot()->childElements().size(), 2u);
    EXPECT_EQ(both["b"].name(), "b");

    XML::Parser failing(std::nullopt, false);
    const std::string bad = "<a>";
    EXPECT_EQ(failing.parse({reinterpret_cast<const std::uint8_t*>(bad.data()), bad.size()}).kind(),
              Case::failure);
    EXPECT_EQ(
        failing.parse({reinterpret_cast<const std::uint8_t*>(first.data()), first.size()}).kind(),
        Case::failure);
}

TEST(XmlAccessParser, ParentLinksDoNotKeepATreeAlive) {
    std::weak_ptr<XML::Element> root, child;
    std::shared_ptr<XML::Element> kept;
    {
        const auto document = XML::parse("<a><b/><c/></a>");
        root = document.element();
        child = document["a"].element();
        kept = document[{"a", "c"}].element();
    }
    EXPECT_TRUE(root.expired());
    EXPECT_TRUE(child.expired());
    // An element held elsewhere outlives its parent, whose link then reads as absent.
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->parentElement(), nullptr);
}

std::string nested(const char* name, int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += std::string("<") + name + ">";
    for (int i = 0; i < depth; ++i)
        text += std::string("</") + name + ">";
    return text;
}

TEST(XmlAccessParser, VeryDeepDocumentsParseWriteDescribeAndTearDownWithoutRecursion) {
    constexpr int depth = 200000;
    const std::string document = nested("a", depth);
    std::weak_ptr<XML::Element> watch;
    {
        const auto parsed = XML::parse(document);
        ASSERT_EQ(parsed.kind(), Case::singleElement);
        auto deepest = parsed.element();
        int levels = 0;
        while (!deepest->childElements().empty()) {
            deepest = deepest->childElements()[0];
            ++levels;
        }
        EXPECT_EQ(levels, depth);
        watch = deepest;
        EXPECT_EQ(XML::convert(parsed, false), document);
        const std::string path = XML::Accessor::singleElement(deepest).description();
        EXPECT_EQ(path.size(),
                  2 + XML::documentRootName.size() + depth * std::string(" > a").size());
        EXPECT_NE(test::outline(*parsed.element()).find("\n200000 <a>\n"), std::string::npos);
        // Appending an ancestor under the deepest element is refused after a full search.
        XML::Accessor::singleElement(deepest).appendChild(parsed.element());
        EXPECT_TRUE(deepest->childElements().empty());
        deepest.reset();
    }
    EXPECT_TRUE(watch.expired());

    // A document that breaks off deep down: the partial tree is dropped with the parser.
    EXPECT_EQ(XML::parse(document.substr(0, document.size() / 2)).kind(), Case::failure);

    // Hand-built chains, dropped whole or replaced through the setter.
    auto top = std::make_shared<XML::Element>("top");
    auto current = top;
    for (int i = 0; i < depth; ++i) {
        auto next = std::make_shared<XML::Element>("n");
        current->appendChildElement(next);
        current = next;
    }
    current.reset();
    top->setChildElements({});
    EXPECT_TRUE(top->childElements().empty());
}

}  // namespace

namespace {

using xmlaccess::CharacterSet;

TEST(XmlAccessCharacterSet, NamedSetsFollowTheUnicodeSpaceSeparators) {
    // General category Zs (Unicode 14), plus tab for blanks; the line and paragraph separators,
    // NEL and the C0 line breaks for newlines.
    const std::u32string spaceSeparators =
        U"\u0020\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005"
        U"\u2006\u2007\u2008\u2009\u200A\u202F\u205F\u3000";
    const std::u32string lineBreaks = U"\n\v\f\r\u0085\u2028\u2029";
    const std::u32string neither = U"a\u0000\u001F\u200B\u180E\uFEFF\u00B7\U0001F3B5";
    for (char32_t c : spaceSeparators + U"\t") {
        EXPECT_TRUE(CharacterSet::whitespaces().contains(c))
            << std::hex << static_cast<std::uint32_t>(c);
        EXPECT_FALSE(CharacterSet::newlines().contains(c))
            << std::hex << static_cast<std::uint32_t>(c);
    }
    for (char32_t c : lineBreaks) {
        EXPECT_TRUE(CharacterSet::newlines().contains(c))
            << std::hex << static_cast<std::uint32_t>(c);
        EXPECT_FALSE(CharacterSet::whitespaces().contains(c))
            << std::hex << static_cast<std::uint32_t>(c);
    }
    for (char32_t c : spaceSeparators + lineBreaks + U"\t") {
        EXPECT_TRUE(CharacterSet::whitespacesAndNewlines().contains(c))
            << std::hex << static_cast<std::uint32_t>(c);
    }
    for (char32_t c : neither)
        EXPECT_FALSE(CharacterSet::whitespacesAndNewlines().contains(c));
    EXPECT_EQ(CharacterSet().insert(U'a', U'c').insert(U'd').insert(U'b'),
              CharacterSet::of(U"dcba"));
    EXPECT_TRUE(CharacterSet().insert(0, 0xFFFFFFFF).contains(0x10FFFF));
}

TEST(XmlAccessCharacterSet, TrimsWholeScalarsFromBothEnds) {
    const auto blanks = CharacterSet::whitespacesAndNewlines();
    const struct {
        std::string text;
        std::string kept;
    } cases[] = {
        {"  x  ", "x"},
        {"\xE2\x80\xA8x y\xE3\x80\x80", "x y"},
        {" \t\n", ""},
        {"", ""},
        {"x", "x"},
        // A damaged sequence belongs to no set and ends the trimming on its side.
        {" \xFF x \xE3\x80", "\xFF x \xE3\x80"},
        {"\x80 x", "\x80 x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(blanks.trim(c.text), c.kept) << c.text;
}

}  // namespace
