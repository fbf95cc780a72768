// Memory of the indexing reader's trees: a budget that stops a parse, the storage kept after a
// tree is freed, and a teardown that cannot fail when memory runs out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "xml/indexing.hpp"

#include "replaced_allocation.hpp"

namespace {
// While set, every allocation through operator new fails.
bool failAllocations = false;
}  // namespace

void* testsupport::allocateForTest(size_t size) {
    if (failAllocations) throw std::bad_alloc();
    return mallocOrThrow(size);
}

namespace {

using namespace xmlindexing;

std::string repeated(const std::string& piece, size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i)
        text += piece;
    return text;
}

TEST(IndexingMemory, TeardownSucceedsWhenNothingCanBeAllocated) {
    // A wide and deep tree whose child lists use the heap: the destructor's work list would have
    // to grow.
    auto options = std::make_shared<XMLHashOptions>();
    auto root = std::make_shared<XMLElement>("root", 0, options);
    std::vector<std::weak_ptr<XMLElement>> nodes;
    for (int branch = 0; branch < 4; ++branch) {
        std::shared_ptr<XMLElement> at = root->addElement("branch");
        nodes.push_back(at);
        // Deeper than the pruning remembers, with siblings along the way.
        for (int depth = 0; depth < 600; ++depth) {
            nodes.push_back(at->addElement("leaf"));
            at->addText("text");
            at = at->addElement("node");
            nodes.push_back(at);
        }
    }
    // One subtree is held elsewhere and must survive.
    std::shared_ptr<XMLElement> kept = nodes[10].lock();
    failAllocations = true;
    root.reset();
    failAllocations = false;
    size_t alive = 0;
    for (const auto& node : nodes)
        alive += node.expired() ? 0 : 1;
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->name(), "node");
    // The kept node and what lies below it on its branch: 2 nodes per level below level 5.
    EXPECT_EQ(alive, 1 + 2 * (600 - 5));
}

TEST(IndexingMemory, TreeBudgetStopsTheParse) {
    const struct {
        const char* what;
        std::string document;
        size_t limit;
        bool fits;
    } cases[] = {
        {"small document, small budget", "<a><b x='1'>text</b></a>", size_t{1} << 20, true},
        {"many empty elements", "<a>" + repeated("<b/>", 200000) + "</a>", size_t{4} << 20, false},
        {"many empty elements, no limit", "<a>" + repeated("<b/>", 200000) + "</a>", 0, true},
        {"deeply nested", repeated("<b>", 50000) + repeated("</b>", 50000), size_t{2} << 20,
         false},
        // Few nodes, but long names, values and texts that live beside the tree's own storage.
        {"long strings", "<a>" + repeated("<b attribute-with-a-long-name='" +
                                              std::string(200, 'v') + "'>" +
                                              std::string(300, 't') + "</b>",
                                          5000) + "</a>",
         size_t{2} << 20, false},
    };
    for (const auto& c : cases) {
        auto hash = XMLHash::config([&](XMLHashOptions& options) {
            options.maximumTreeSize = c.limit;
            options.detectParsingErrors = true;
        });
        try {
            const XMLIndexer document = hash->parseDocument(c.document);
            EXPECT_TRUE(c.fits) << c.what;
            EXPECT_TRUE(document.children().at(0).element() != nullptr) << c.what;
        } catch (const TreeSizeError& e) {
            EXPECT_FALSE(c.fits) << c.what;
            EXPECT_EQ(e.limit(), c.limit);
            EXPECT_EQ(std::string(e.what()), "The document's element tree needs more than " +
                                                 std::to_string(c.limit) + " bytes of memory.");
        }
    }
}

TEST(IndexingMemory, FreedTreesLeaveOnlyASmallCache) {
    {
        // About 30 MB of tree.
        const XMLIndexer document =
            XMLHash::parse("<a>" + repeated("<b c='d'>e</b>", 100000) + "</a>");
        EXPECT_EQ(document["a"]["b"].all().size(), 100000u);
    }
    EXPECT_LE(detail::cachedTreeStorage(), size_t{4} << 20);
}

// A score exported by a notation program, grown to a few megabytes by repeating its measures.
std::string largeScore(size_t measureCopies) {
    std::ifstream in(PROJECT_TEST_DATA_DIR "/musicxml/clair-de-la-lune.musicxml", std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    const std::string score = read.str();
    const size_t first = score.find("    <measure ");
    const size_t end = score.rfind("    </part>");
    if (first == std::string::npos || end == std::string::npos) return {};
    const std::string measures = score.substr(first, end - first);
    std::string text = score.substr(0, first);
    for (size_t i = 0; i < measureCopies; ++i)
        text += measures;
    return text + score.substr(end);
}

// The tree of a score takes at most eight bytes of memory per byte of its text, everything
// counted (nodes, child and attribute lists, names, storage reserved but not used yet).
TEST(IndexingMemory, TreeOfAScoreTakesAtMostEightBytesPerInputByte) {
    const std::string score = largeScore(16);
    ASSERT_GT(score.size(), size_t{1} << 20);
    auto hash = XMLHash::config([&](XMLHashOptions& options) {
        options.maximumTreeSize = 8 * score.size();
        options.detectParsingErrors = true;
    });
    try {
        const XMLIndexer document = hash->parseDocument(score);
        EXPECT_EQ(document["score-partwise"]["part"]["measure"].all().size(), 16u * 18u);
    } catch (const TreeSizeError& e) {
        FAIL() << e.what();
    }
}

// Indentation is held once for every tree: the same immutable node, owned by none of them, which
// outlives them all.
TEST(IndexingMemory, IndentationIsSharedByEveryTree) {
    std::shared_ptr<XMLContent> kept;
    {
        const XMLIndexer first = XMLHash::parse("<a>\n  <b/>\n</a>");
        const XMLIndexer second = XMLHash::parse("<c>\n  <d>x</d></c>");
        const auto& indentation = first["a"].element()->children().at(0);
        EXPECT_EQ(indentation.get(), second["c"].element()->children().at(0).get());
        EXPECT_EQ(indentation.use_count(), 0);
        kept = indentation;
    }
    EXPECT_EQ(kept->description(), "\n  ");
}

}  // namespace
