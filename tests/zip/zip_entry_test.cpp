// Entries: path decoding, type, sizes, checksum, local size and equality.
#include <gtest/gtest.h>

#include "zip/entry.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;

CentralDirectoryStructure record(uint16_t hostByte, uint32_t attributes, const std::string& name,
                                 uint16_t flags = 0) {
    CentralDirectoryStructure r;
    r.versionMadeBy = static_cast<uint16_t>(hostByte << 8 | 20);
    r.versionNeededToExtract = 20;
    r.generalPurposeBitFlag = flags;
    r.externalFileAttributes = attributes;
    r.fileNameData.assign(name.begin(), name.end());
    r.fileNameLength = static_cast<uint16_t>(name.size());
    return r;
}

Entry entryOf(CentralDirectoryStructure r, std::optional<DataDescriptor<uint32_t>> d = {},
              std::optional<DataDescriptor<uint64_t>> d64 = {}) {
    LocalFileHeader h;
    h.fileNameLength = r.fileNameLength;
    h.fileNameData = r.fileNameData;
    h.compressionMethod = r.compressionMethod;
    h.crc32 = r.crc32;
    return Entry::make(std::move(r), std::move(h), d, d64).value();
}

TEST(ZipEntry, TypeFollowsHostSystemAttributesAndTrailingSlash) {
    struct Case {
        uint16_t host;
        uint32_t attributes;
        const char* name;
        Entry::EntryType type;
    };
    using T = Entry::EntryType;
    const Case cases[] = {
        {0, 0x10, "dir", T::directory},
        {0, 0x30, "dir", T::file},
        {0, 0x30, "dir/", T::directory},
        {0, 0x11, "readonly-dir", T::directory},
        {3, 0120777u << 16, "link", T::symlink},
        {3, 0040755u << 16, "dir", T::directory},
        {3, 0100644u << 16, "file/", T::file},
        {3, 0, "dir/", T::directory},
        {3, 0, "file", T::file},
        {19, 0120755u << 16, "link", T::symlink},
        {10, 0040755u << 16, "x", T::file},
        {10, 0, "x/", T::directory},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(entryOf(record(c.host, c.attributes, c.name)).type(), c.type)
            << "host " << c.host << " attributes " << std::oct << c.attributes << " " << c.name;
    }
    EXPECT_EQ(Entry::entryType(2), Entry::EntryType::symlink);
    EXPECT_FALSE(Entry::entryType(3));
}

TEST(ZipEntry, PathsDecodeAsCP437OrUTF8ByFlag) {
    EXPECT_EQ(entryOf(record(0, 0, "\x82t")).path(), "\xC3\xA9t");  // "ét"
    EXPECT_EQ(entryOf(record(0, 0, "\x82t", 0x0800)).path(), "");   // not UTF-8
    EXPECT_EQ(entryOf(record(0, 0, "\xC3\xA9t", 0x0800)).path(), "\xC3\xA9t");
    EXPECT_EQ(entryOf(record(0, 0, "\x82t", 0x0800)).path(TextEncoding::cp437), "\xC3\xA9t");
    EXPECT_EQ(entryOf(record(0, 0, "../a\\b")).path(), "../a\\b");  // used exactly as stored
}

TEST(ZipEntry, CP437TableMatchesPython) {
    ziptest::ScratchDir dir;
    std::string expected = ziptest::python(dir,
                                           "import sys\nsys.stdout.buffer.write(bytes(range(32, "
                                           "256)).decode('cp437').encode('utf-8'))\n");
    Bytes all;
    for (int b = 32; b < 256; ++b)
        all.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(decodeText(all, TextEncoding::cp437), expected);
}

TEST(ZipEntry, UTF8ValidationRejectsMalformedSequences) {
    const std::pair<const char*, bool> cases[] = {
        {"plain", true},
        {"\xC3\xA9", true},
        {"\xF0\x9F\x8E\xB5", true},
        {"\xC0\xAF", false},
        {"\xED\xA0\x80", false},
        {"\xC3", false},
        {"\xF4\x90\x80\x80", false},
        {"\xE0\x80\xAF", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(isValidUTF8(text), valid) << text;
}

TEST(ZipEntry, SizesAndChecksumPreferDescriptors) {
    auto r = record(3, 0100644u << 16, "a.txt", 0x0008);
    r.compressionMethod = 8;
    r.crc32 = 0x11111111;
    r.compressedSize = 1;
    r.uncompressedSize = 2;
    DataDescriptor<uint32_t> d;
    d.crc32 = 0x22222222;
    d.compressedSize = 30;
    d.uncompressedSize = 40;
    Entry withDescriptor = entryOf(r, d);
    EXPECT_EQ(withDescriptor.checksum(), 0x22222222u);
    EXPECT_EQ(withDescriptor.compressedSize(), 30u);
    EXPECT_EQ(withDescriptor.uncompressedSize(), 40u);
    EXPECT_EQ(withDescriptor.localSize(), 30u + 5 + 30 + 16);

    Entry without = entryOf(r);
    EXPECT_EQ(without.checksum(), 0u);
    EXPECT_EQ(without.compressedSize(), 1u);
    EXPECT_EQ(without.uncompressedSize(), 2u);

    r.generalPurposeBitFlag = 0;
    EXPECT_EQ(entryOf(r, d).checksum(), 0x11111111u);
}

TEST(ZipEntry, ZIP64SizesAboveFourGibibytes) {
    auto r = record(3, 0, "big", 0);
    r.uncompressedSize = 0xFFFFFFFF;
    ZIP64ExtendedInformation z;
    z.dataSize = 8;
    z.uncompressedSize = 5000000000ULL;
    r.extraFieldData = z.data(std::vector{ZIP64ExtendedInformation::Field::uncompressedSize});
    r.extraFieldLength = static_cast<uint16_t>(r.extraFieldData.size());
    r.extraFields = {*ZIP64ExtendedInformation::scanForZIP64Field(
        r.extraFieldData, std::vector{ZIP64ExtendedInformation::Field::uncompressedSize})};
    EXPECT_EQ(entryOf(r).uncompressedSize(), 5000000000ULL);
    r.extraFields.clear();
    EXPECT_EQ(entryOf(r).uncompressedSize(), 4294967295ULL);

    // Version 45 alone makes the record ZIP64: the 64-bit descriptor counts 24 bytes.
    auto v = record(3, 0, "v", 0x0008);
    v.versionNeededToExtract = 0x012D;
    DataDescriptor<uint64_t> d64;
    d64.uncompressedSize = d64.compressedSize = 6000000000ULL;
    Entry e = entryOf(v, std::nullopt, d64);
    EXPECT_EQ(e.uncompressedSize(), 6000000000ULL);
    EXPECT_EQ(e.localSize(), 30u + 1 + 6000000000ULL + 24);
    v.versionNeededToExtract = 0x0114;
    EXPECT_FALSE(v.isZIP64());
}

TEST(ZipEntry, LocalSizeOfAStoredEntry) {
    auto r = record(3, 0, "abcde");
    r.uncompressedSize = r.compressedSize = 10;
    EXPECT_EQ(entryOf(r).localSize(), 45u);
}

TEST(ZipEntry, EncryptedEntriesAreNotFormed) {
    EXPECT_FALSE(Entry::make(record(3, 0, "secret", 0x0001), LocalFileHeader{}, {}, {}));
}

TEST(ZipEntry, EqualityComparesCanonicalPathCRCAndOffset) {
    auto composed = record(3, 0, "caf\xC3\xA9", 0x0800);
    auto decomposed = record(3, 0, "cafe\xCC\x81", 0x0800);
    EXPECT_EQ(entryOf(composed), entryOf(decomposed));
    EXPECT_EQ(entryOf(composed), entryOf(composed));
    auto moved = composed;
    moved.relativeOffsetOfLocalHeader = 100;
    EXPECT_FALSE(entryOf(composed) == entryOf(moved));
    EXPECT_FALSE(entryOf(composed) == entryOf(record(3, 0, "cafe", 0x0800)));
}

}  // namespace
