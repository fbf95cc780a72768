// Lazy parsing: recorded lookups, the reduced tree they build, and repeated resolutions.
#include <gtest/gtest.h>

#include <string>

#include "hostile_xml.hpp"
#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;
using Kind = XMLIndexer::Kind;

const char* const document =
    "<p>lead<s>skipped<t/></s><q n=\"1\">one<u/></q>mid<q n=\"2\">two</q></p>";

TEST(IndexingLazy, BuildsOnlyTheRecordedPath) {
    const auto stream = XMLHash::lazy(document);
    ASSERT_EQ(stream.kind(), Kind::stream);
    const auto qs = stream["p"]["q"];
    EXPECT_EQ(qs.kind(), Kind::stream);

    const auto found = qs.all();
    ASSERT_EQ(found.size(), 2u);
    // Only matching siblings are built, so the first q is at index 0 (1 in a full parse).
    EXPECT_EQ(found[0].element()->index, 0);
    EXPECT_EQ(found[0].element()->description(), "<q n=\"1\">one<u></u></q>");
    EXPECT_EQ(XMLHash::parse(document)["p"]["q"][0].element()->index, 1);

    // Text directly inside p lies on the path; s and what it holds do not.
    auto lazyP = XMLHash::lazy(document)["p"]["q"][0].element();
    ASSERT_NE(lazyP, nullptr);
    const auto reduced = XMLHash::lazy(document);
    reduced["p"]["q"];
    const auto ops = std::get<std::shared_ptr<IndexOps>>(reduced.value());
    const auto replayed = ops->findElements();  // a list of two q
    EXPECT_EQ(replayed.kind(), Kind::list);
    EXPECT_EQ(ops->parser->root()->description(),
              "<XMLIndex_Root_Element><p>lead<q n=\"1\">one<u></u></q>mid<q n=\"2\">two</q></p>"
              "</XMLIndex_Root_Element>");
}

TEST(IndexingLazy, PositionsAndSharedRecordings) {
    const auto stream = XMLHash::lazy(document);
    // p, q through one indexer and u through another made from the same root: one recording.
    const auto viaFirst = stream["p"]["q"][0];
    const auto viaSecond = stream["u"];
    EXPECT_EQ(viaSecond.element()->name(), "u");
    // The recording is used up: resolving again gives the whole document's root.
    EXPECT_EQ(viaFirst.element()->name(), "XMLIndex_Root_Element");
    EXPECT_EQ(viaFirst.description(), "");

    EXPECT_EQ(XMLHash::lazy(document)["p"]["q"][1].element()->attribute("n")->text, "2");
    EXPECT_EQ(XMLHash::lazy(document)["p"]["q"][2].xmlError(), std::nullopt);  // still a stream
    EXPECT_EQ(XMLHash::lazy(document)["p"]["q"][2].element(), nullptr);
    EXPECT_TRUE(XMLHash::lazy(document)["p"]["q"][2].all().empty());
    // A position with no name recorded before it is no lookup.
    EXPECT_EQ(XMLHash::lazy(document)[0].kind(), Kind::xmlError);
}

TEST(IndexingLazy, ResolvingOperations) {
    const struct {
        const char* what;
        size_t count;  // all().size() after the lookups below
    } cases[] = {{"p", 1}, {"q", 2}, {"s", 1}, {"x", 0}};
    for (const auto& c : cases) {
        auto stream = XMLHash::lazy(document)["p"];
        if (std::string(c.what) != "p") stream = stream[c.what];
        EXPECT_EQ(stream.all().size(), c.count) << c.what;
    }
    EXPECT_EQ(XMLHash::lazy(document)["p"]["q"].withAttribute("n", "2").element()->text(), "two");
    EXPECT_EQ(XMLHash::lazy(document)["p"].children().size(), 3u);
    EXPECT_EQ(XMLHash::lazy(document)["p"]["q"]
                  .filterAll([](const XMLElement&, int64_t i) { return i == 1; })
                  .element()
                  ->text(),
              "two");
    EXPECT_TRUE(XMLHash::lazy(document).userInfo().empty());
}

TEST(IndexingLazy, NamesOnThePathCompareExactly) {
    const auto hash = XMLHash::config([](XMLHashOptions& o) {
        o.caseInsensitive = true;
        o.shouldProcessLazily = true;
    });
    // The letter case differs, so nothing is built on that level; a full parse would find it.
    EXPECT_EQ(hash->parseDocument(document)["P"].kind(), Kind::stream);
    EXPECT_EQ(hash->parseDocument(document)["P"].element(), nullptr);
    EXPECT_EQ(hash->parseDocument(document)["P"].all().size(), 0u);
    hash->options()->shouldProcessLazily = false;
    EXPECT_NE(hash->parseDocument(document)["P"].element(), nullptr);
}

TEST(IndexingLazy, MalformedDocumentsResolveToWhatWasBuilt) {
    const auto hash = XMLHash::config([](XMLHashOptions& o) {
        o.detectParsingErrors = true;
        o.shouldProcessLazily = true;
    });
    const char* broken = "<p><q>one</q><q>two</q><r>";
    const auto stream = hash->parseDocument(broken);
    EXPECT_EQ(stream.kind(), Kind::stream);
    EXPECT_EQ(stream["p"]["q"].all().size(), 2u);
    // The aborted run left elements open; the next resolution still matches from the top.
    EXPECT_EQ(stream["p"]["q"][1].element()->text(), "two");
    EXPECT_EQ(stream["p"]["r"].element()->name(), "r");
}

TEST(IndexingLazy, BytesAreKeptAndDeepDocumentsWalkedWithoutRecursion) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    auto stream = XMLHash::lazy(bytes)["a"];
    EXPECT_EQ(stream.element()->text(), "\xC3\xA9");

    constexpr int depth = 200000;
    const std::string deep = testsupport::nestedElements(depth);
    auto root = XMLHash::lazy(deep)["a"]["a"]["a"].element();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->description().size(), static_cast<size_t>(depth - 2) * 7);
    EXPECT_EQ(XMLHash::lazy(deep)["a"]["b"].element(), nullptr);
}

}  // namespace
