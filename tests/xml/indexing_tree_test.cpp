// The element tree: text, serialisation, attribute lookup and teardown.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;

std::shared_ptr<XMLHashOptions> defaults() {
    return std::make_shared<XMLHashOptions>();
}

std::shared_ptr<XMLElement> documentElement(std::string_view text) {
    auto element = XMLHash::parse(text).children().at(0).element();
    EXPECT_NE(element, nullptr);
    return element;
}

TEST(IndexingTree, MixedContentTextForms) {
    // a(x, b(y), z)
    auto a = documentElement("<a>x<b>y</b>z</a>");
    EXPECT_EQ(a->text(), "xz");
    EXPECT_EQ(a->recursiveText(), "xyz");
    EXPECT_EQ(a->innerXML(), "x<b>y</b>z");
    EXPECT_EQ(a->description(), "<a>x<b>y</b>z</a>");
    ASSERT_EQ(a->childElements().size(), 1u);
    EXPECT_EQ(a->childElements()[0]->name(), "b");
    EXPECT_EQ(a->childElements()[0]->index, 0);
    EXPECT_EQ(a->count, 1);
    EXPECT_EQ(a->children().size(), 3u);
}

TEST(IndexingTree, TextAndDescriptionOfContentKinds) {
    const struct {
        const char* document;
        const char* text;
        const char* description;
        size_t children;
    } cases[] = {
        {"<a/>", "", "<a></a>", 0},
        {"<a></a>", "", "<a></a>", 0},
        {"<a> </a>", " ", "<a> </a>", 1},
        // References are resolved and written back unescaped.
        {"<a>x &amp; y</a>", "x & y", "<a>x & y</a>", 1},
        {"<a>&amp;&amp;&lt;&#x26;</a>", "&&<&", "<a>&&<&</a>", 1},
        {"<a><![CDATA[<b>&amp;</b>]]></a>", "<b>&amp;</b>", "<a><b>&amp;</b></a>", 1},
        // A comment or processing instruction splits the text into two children.
        {"<a>one<!-- c -->two</a>", "onetwo", "<a>onetwo</a>", 2},
        {"<a>one<?pi x?>two</a>", "onetwo", "<a>onetwo</a>", 2},
        {"<a>\n  <b/>\n</a>", "\n  \n", "<a>\n  <b></b>\n</a>", 3},
        {"<a k=\"v&quot;\"/>", "", "<a k=\"v\"\"></a>", 0},
    };
    for (const auto& c : cases) {
        auto a = documentElement(c.document);
        ASSERT_NE(a, nullptr) << c.document;
        EXPECT_EQ(a->text(), c.text) << c.document;
        EXPECT_EQ(a->description(), c.description) << c.document;
        EXPECT_EQ(a->children().size(), c.children) << c.document;
    }
}

TEST(IndexingTree, AttributesInEitherOrder) {
    auto a = documentElement("<a x=\"1\" y=\"2\"/>");
    const std::string d = a->description();
    EXPECT_TRUE(d == "<a x=\"1\" y=\"2\"></a>" || d == "<a y=\"2\" x=\"1\"></a>") << d;
    EXPECT_EQ(a->allAttributes().size(), 2u);
    for (const auto& attribute : a->allAttributes())
        EXPECT_EQ(a->attribute(attribute.name), attribute);
    EXPECT_EQ(XMLAttribute({"k", "a\"b"}).description(), "k=\"a\"b\"");
}

TEST(IndexingTree, AttributeLookupFollowsCaseOption) {
    auto element = std::make_shared<XMLElement>("e", 0, defaults());
    element->setAllAttributes({{"color", "red"}, {"Size", "9"}, {"\xC3\xA9t\xC3\xA9", "summer"}});
    const struct {
        const char* name;
        bool caseInsensitive;
        const char* expected;  // null: absent
    } cases[] = {
        {"color", false, "red"},
        {"COLOR", false, nullptr},
        {"COLOR", true, "red"},
        {"size", true, "9"},
        {"size", false, nullptr},
        {"missing", true, nullptr},
        // Canonically equivalent spellings are the same name: e + combining acute accent.
        {"e\xCC\x81te\xCC\x81", false, "summer"},
        {"\xC3\x89T\xC3\x89", true, "summer"},
        {"\xC3\x89T\xC3\x89", false, nullptr},
    };
    for (const auto& c : cases) {
        element->options()->caseInsensitive = c.caseInsensitive;
        const auto found = element->attribute(c.name);
        if (c.expected == nullptr) {
            EXPECT_FALSE(found.has_value()) << c.name;
        } else {
            ASSERT_TRUE(found.has_value()) << c.name;
            EXPECT_EQ(found->text, c.expected) << c.name;
        }
    }
}

TEST(IndexingTree, AttributeMapReplacesEquivalentNamesAndScales) {
    XMLElement::AttributeMap map{{"\xC3\xA9", "precomposed"}, {"e\xCC\x81", "decomposed"}};
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.find("\xC3\xA9")->text, "decomposed");

    // Past the size where the map indexes its names, lookups still find every entry.
    XMLElement::AttributeMap large;
    for (int i = 0; i < 200; ++i)
        large.set("a" + std::to_string(i), std::to_string(i));
    large.set("a7", "seven");
    EXPECT_EQ(large.size(), 200u);
    for (int i = 0; i < 200; ++i)
        ASSERT_NE(large.find("a" + std::to_string(i)), nullptr) << i;
    EXPECT_EQ(large.find("a7")->text, "seven");
    EXPECT_EQ(large.find("a200"), nullptr);
}

TEST(IndexingTree, AddElementCountsElementChildrenOnly) {
    XMLElement root("root", 0, defaults());
    root.addText("t");
    auto first = root.addElement("x", {{"k", "v"}});
    root.addText("u");
    auto second = root.addElement("y");
    EXPECT_EQ(first->index, 0);
    EXPECT_EQ(second->index, 1);
    EXPECT_EQ(root.count, 2);
    EXPECT_EQ(first->options(), root.options());
    EXPECT_EQ(root.description(), "<root>t<x k=\"v\"></x>u<y></y></root>");
}

// A parsed tree shares one block of storage; whatever part of it is still held stays valid after
// the rest is gone, on whichever thread the last holder lets go.
TEST(IndexingTree, PartsOfAParsedTreeOutliveTheirDocument) {
    std::shared_ptr<XMLElement> kept;
    std::shared_ptr<XMLContent> text;
    XMLElement::Children movedOut;
    XMLElement::AttributeMap attributes;
    {
        auto root = XMLHash::parse("<a><b k=\"v\">one<c/>two</b><d>three</d></a>");
        kept = root["a"]["b"].element();
        text = root["a"]["d"].element()->children().at(0);
        movedOut = std::move(root["a"]["d"].element()->mutableChildren());
        attributes = kept->allAttributes();
    }
    EXPECT_EQ(kept->description(), "<b k=\"v\">one<c></c>two</b>");
    EXPECT_EQ(text->description(), "three");
    ASSERT_EQ(movedOut.size(), 1u);
    movedOut.push_back(std::make_shared<TextElement>("four"));
    movedOut.clear();
    movedOut.shrink_to_fit();
    movedOut.push_back(std::make_shared<TextElement>("five"));
    EXPECT_EQ(movedOut.at(0)->description(), "five");
    EXPECT_EQ(attributes.find("k")->text, "v");

    std::thread([held = std::move(kept)]() mutable { held.reset(); }).join();
    text.reset();
}

// Nesting far deeper than any call stack could recurse through: built, walked and destroyed without
// recursion.
TEST(IndexingTree, DeepTreesAreWalkedAndDestroyedIteratively) {
    constexpr int depth = 200000;
    auto root = std::make_shared<XMLElement>("r", 0, defaults());
    XMLElement* at = root.get();
    for (int i = 0; i < depth; ++i) {
        at->addText("t");
        at = at->addElement("d").get();
    }
    EXPECT_EQ(root->recursiveText().size(), static_cast<size_t>(depth));
    EXPECT_EQ(root->description().size(), 7 + static_cast<size_t>(depth) * 8);
    // A subtree held elsewhere survives the teardown of the tree around it.
    auto middle = root->childElements()[0]->childElements()[0];
    root.reset();
    EXPECT_EQ(middle->recursiveText().size(), static_cast<size_t>(depth - 2));
}

}  // namespace
