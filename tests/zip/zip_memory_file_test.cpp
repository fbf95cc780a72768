// The in-memory archive file behind a stdio stream.
#include <gtest/gtest.h>

#include "zip/memory_file.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;

Bytes range(size_t n, uint8_t first = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

TEST(ZipMemoryFile, WritesGrowCutAndOverwrite) {
    struct Case {
        const char* name;
        size_t initial;
        long position;
        size_t count;
        Bytes expected;
    };
    const Bytes w = {0xA, 0xB, 0xC, 0xD};
    const std::vector<Case> cases = {
        {"empty buffer", 0, 0, 4, w},
        {"gap past the end", 8, 10, 4, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0xA, 0xB, 0xC, 0xD}},
        {"across the end", 8, 6, 4, Bytes{1, 2, 3, 4, 5, 6, 0xA, 0xB, 0xC, 0xD}},
        {"inside", 8, 2, 2, Bytes{1, 2, 0xA, 0xB, 5, 6, 7, 8}},
    };
    for (const auto& c : cases) {
        auto file = MemoryFile::make(range(c.initial));
        FILE* stream = file->open("wb+");
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(fseeko(stream, c.position, SEEK_SET), 0);
        EXPECT_EQ(std::fwrite(w.data(), 1, c.count, stream), c.count);
        std::fclose(stream);
        EXPECT_EQ(file->data(), c.expected) << c.name;
    }
}

TEST(ZipMemoryFile, ReadsStopAtTheEnd) {
    auto file = MemoryFile::make(range(22));
    FILE* stream = file->open("rb");
    uint8_t buffer[16];
    fseeko(stream, 20, SEEK_SET);
    EXPECT_EQ(std::fread(buffer, 1, 16, stream), 2u);
    EXPECT_EQ(buffer[0], 21);
    EXPECT_EQ(std::fread(buffer, 1, 16, stream), 0u);
    EXPECT_TRUE(std::feof(stream));
    // A position far beyond the end reads as the end, touching nothing outside the buffer.
    std::clearerr(stream);
    ASSERT_EQ(fseeko(stream, 1000, SEEK_SET), 0);
    EXPECT_EQ(std::fread(buffer, 1, 16, stream), 0u);
    EXPECT_FALSE(std::ferror(stream));
    std::fclose(stream);
}

TEST(ZipMemoryFile, SeeksFromEveryOrigin) {
    auto file = MemoryFile::make(range(100));
    EXPECT_EQ(file->seek(-22, SEEK_END), 78);
    EXPECT_EQ(file->seek(2, SEEK_CUR), 80);
    EXPECT_EQ(file->seek(5, SEEK_SET), 5);
    EXPECT_EQ(file->seek(0, 7), -1);
    EXPECT_EQ(file->seek(-1, SEEK_SET), -1);  // before the start: refused, position kept
    EXPECT_EQ(file->offset(), 5);
    FILE* stream = file->open("rb");
    EXPECT_NE(fseeko(stream, -1, SEEK_SET), 0);
    std::fclose(stream);
}

TEST(ZipMemoryFile, ModesDecideWritabilityAndStart) {
    auto file = MemoryFile::make(range(8));
    FILE* readOnly = file->open("r");
    const uint8_t byte = 0x55;
    std::fwrite(&byte, 1, 1, readOnly);
    std::fflush(readOnly);
    EXPECT_TRUE(std::ferror(readOnly));
    std::fclose(readOnly);
    EXPECT_EQ(file->data(), range(8));

    FILE* appending = file->open("ab");
    EXPECT_EQ(ftello(appending), 8);
    std::fwrite(&byte, 1, 1, appending);
    std::fclose(appending);
    EXPECT_EQ(file->data().size(), 9u);
    EXPECT_EQ(file->data().back(), 0x55);

    FILE* update = file->open("rb+");
    EXPECT_EQ(ftello(update), 0);
    std::fwrite(&byte, 1, 1, update);
    std::fclose(update);
    EXPECT_EQ(file->data().front(), 0x55);
}

TEST(ZipMemoryFile, StreamKeepsTheBufferAlive) {
    FILE* stream;
    {
        auto file = MemoryFile::make(range(4));
        stream = file->open("rb");
    }
    uint8_t buffer[4];
    EXPECT_EQ(std::fread(buffer, 1, 4, stream), 4u);
    EXPECT_EQ(buffer[3], 4);
    std::fclose(stream);
}

}  // namespace
