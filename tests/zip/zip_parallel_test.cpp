// Zipping a tree compresses its entries on worker threads when no progress is reported. The
// archive must be the one that adding the items one by one writes, byte for byte, with the same
// failure at the same item, and the peers must read it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "zip/archive.hpp"
#include "zip/tree.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace ziptest;
using zip::CompressionMethod;

// A tree of a few hundred items of every kind and of sizes around the limits of the write path:
// empty, small, larger than an entry assembled in memory, and one larger than a worker holds.
void makeTree(const fs::path& root) {
    for (int i = 0; i < 300; ++i) {
        const fs::path folder = root / ("part" + std::to_string(i / 50));
        const size_t size = i % 97 == 0 ? 300000 : static_cast<size_t>(i * 37 % 5000);
        writeFile(folder / ("file" + std::to_string(i) + ".xml"),
                  sampleBytes(size, static_cast<uint32_t>(i)));
    }
    fs::create_directories(root / "empty");
    fs::create_symlink("part0/file1.xml", root / "link");
    // Mostly a hole: quick to compress, too large to be held by a worker.
    const fs::path large = root / "part3" / "large.bin";
    writeFile(large, std::string("head"));
    fs::resize_file(large, 17u << 20);
}

TEST(ZipParallel, TreesZipToTheBytesOfOneByOneAdditions) {
    ScratchDir dir;
    const fs::path tree = dir / "tree";
    makeTree(tree);
    // A FIFO is refused; everything listed before it stays in the archive.
    const fs::path fifo = tree / "part2" / "file120.xml.fifo";
    const struct {
        const char* name;
        bool keepsParent;
        CompressionMethod method;
        bool withFifo;
    } cases[] = {
        {"deflated", true, CompressionMethod::deflate, false},
        {"stored, contents only", false, CompressionMethod::none, false},
        {"deflated, failing", false, CompressionMethod::deflate, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.withFifo) {
            ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        }
        const fs::path parallel = dir / "parallel.zip";
        const fs::path oneByOne = dir / "one-by-one.zip";
        std::string parallelError = "none";
        std::string oneByOneError = "none";
        try {
            zip::zipItem(tree, parallel, c.keepsParent, c.method);
        } catch (const zip::Error& e) {
            parallelError = e.what();
        }
        // Reporting progress adds the items one by one.
        try {
            auto progress = zip::Progress::make();
            zip::zipItem(tree, oneByOne, c.keepsParent, c.method, progress.get());
        } catch (const zip::Error& e) {
            oneByOneError = e.what();
        }
        EXPECT_EQ(parallelError, oneByOneError);
        EXPECT_EQ(parallelError != "none", c.withFifo) << parallelError;
        EXPECT_TRUE(readFile(parallel) == readFile(oneByOne));
        EXPECT_EQ(toolsTest(dir, parallel), "None");
        const zip::Archive archive(parallel, zip::Archive::AccessMode::read);
        size_t entries = 0;
        for (const zip::Entry& entry : archive) {
            (void)entry;
            ++entries;
        }
        // 300 files, 6 folders, the empty folder, the link and the large file, and the tree
        // itself when kept; a failure ends the list at the FIFO, after the empty folder, the
        // link, part0 and part1 with their files, part2 and its files 100 to 120.
        const size_t expected =
            c.withFifo ? 2 + 51 + 51 + 1 + 21 : 309 + (c.keepsParent ? 1 : 0);
        EXPECT_EQ(entries, expected);
        fs::remove(parallel);
        fs::remove(oneByOne);
        if (c.withFifo) fs::remove(fifo);
    }
}

}  // namespace
