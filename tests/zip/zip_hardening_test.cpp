// Hostile and unusual archives: ZIP64 fields holding zero, entries that share their data, damaged
// directories, and lookups by path through the per-archive index.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "zip/archive.hpp"
#include "zip/tree.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace ziptest;
using zip::Archive;
using zip::ArchiveError;
using zip::Entry;

constexpr auto kRead = Archive::AccessMode::read;

// Every entry's path and data, through this library.
std::map<std::string, std::string> contentsOf(const Archive& archive) {
    std::map<std::string, std::string> out;
    for (const Entry& entry : archive) {
        std::string data;
        archive.extract(entry, [&](zip::ByteView piece) { data.append(piece.begin(), piece.end()); });
        out[entry.path()] = data;
    }
    return out;
}

// Every member's name and data, through Python's zipfile.
std::map<std::string, std::string> pythonContentsOf(const ScratchDir& dir, const fs::path& file) {
    const std::string listing = python(
        dir, "import zipfile\nz = zipfile.ZipFile(" + quote(file.string()) +
                 ")\nfor i in z.infolist():\n    print(i.filename + '=' + z.read(i).hex())\n");
    std::map<std::string, std::string> out;
    size_t at = 0;
    while (at < listing.size()) {
        const size_t end = listing.find('\n', at);
        const std::string line = listing.substr(at, end - at);
        at = end + 1;
        const size_t eq = line.find('=');
        std::string data;
        for (size_t i = eq + 1; i + 1 < line.size(); i += 2)
            data += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        out[line.substr(0, eq)] = data;
    }
    return out;
}

// The fields a local header and a central record share, from the flags to the name length, for
// a stored entry.
LE& storedFields(LE& le, const std::string& name, const std::string& data) {
    const auto size = static_cast<uint32_t>(data.size());
    return le.put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint32_t>(0)
        .put<uint32_t>(zip::crc32(Bytes(data.begin(), data.end())))
        .put(size)
        .put(size)
        .put<uint16_t>(static_cast<uint16_t>(name.size()));
}

// A stored local header and its data.
Bytes localEntry(const std::string& name, const std::string& data) {
    LE le;
    le.put<uint32_t>(0x04034b50).put<uint16_t>(20);
    return storedFields(le, name, data).put<uint16_t>(0).append(name).append(data);
}

// A central record of a stored entry; `offset` may be the ZIP64 placeholder with `extra` holding
// the value.
Bytes centralRecord(const std::string& name, const std::string& data, uint32_t offset,
                    const Bytes& extra = {}) {
    LE le;
    le.put<uint32_t>(0x02014b50).put<uint16_t>(0x031e).put<uint16_t>(extra.empty() ? 20 : 45);
    return storedFields(le, name, data)
        .put<uint16_t>(static_cast<uint16_t>(extra.size()))
        .put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint32_t>(0100644u << 16)
        .put<uint32_t>(offset)
        .append(name)
        .append(extra);
}

Bytes endRecord(uint64_t count, uint64_t size, uint64_t offset) {
    return LE()
        .put<uint32_t>(0x06054b50)
        .put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint16_t>(static_cast<uint16_t>(count))
        .put<uint16_t>(static_cast<uint16_t>(count))
        .put<uint32_t>(static_cast<uint32_t>(size))
        .put<uint32_t>(static_cast<uint32_t>(offset))
        .put<uint16_t>(0);
}

// Local entries followed by their directory: `offsets[i]` is where record i points, by default
// at its own local header.
Bytes archiveOf(const std::vector<std::pair<std::string, std::string>>& files,
                const std::vector<uint32_t>& offsets = {}) {
    Bytes bytes;
    std::vector<uint32_t> own;
    for (const auto& [name, data] : files) {
        own.push_back(static_cast<uint32_t>(bytes.size()));
        const Bytes local = localEntry(name, data);
        bytes.insert(bytes.end(), local.begin(), local.end());
    }
    const size_t start = bytes.size();
    for (size_t i = 0; i < files.size(); ++i) {
        const Bytes record = centralRecord(files[i].first, files[i].second,
                                           i < offsets.size() ? offsets[i] : own[i]);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    const Bytes end = endRecord(files.size(), bytes.size() - start, start);
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

TEST(ZipHardening, ZIP64FieldsHoldingZeroAreValues) {
    ScratchDir dir;
    // Info-ZIP's forced ZIP64: an empty file's size sits in the ZIP64 field as 0.
    writeFile(dir / "in" / "empty", std::string());
    writeFile(dir / "in" / "a.txt", std::string("hello\n"));
    run("cd " + quote((dir / "in").string()) + " && zip -q -fz ../forced.zip empty a.txt");
    // A first entry whose local-header offset 0 is held in its ZIP64 field.
    const std::string data = "first entry";
    Bytes offsetZero = localEntry("first.txt", data);
    const size_t start = offsetZero.size();
    const Bytes record = centralRecord("first.txt", data, 0xFFFFFFFFu,
                                       LE().put<uint16_t>(1).put<uint16_t>(8).put<uint64_t>(0));
    offsetZero.insert(offsetZero.end(), record.begin(), record.end());
    const Bytes end = endRecord(1, record.size(), start);
    offsetZero.insert(offsetZero.end(), end.begin(), end.end());
    writeFile(dir / "offset.zip", offsetZero);

    for (const char* name : {"forced.zip", "offset.zip"}) {
        const auto expected = pythonContentsOf(dir, dir / name);
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(contentsOf(Archive(dir / name, kRead)), expected) << name;
        EXPECT_EQ(contentsOf(Archive(readFile(dir / name), kRead)), expected) << name;
    }
}

TEST(ZipHardening, MemoryArchiveCreatedOverBytesStartsEmpty) {
    const Bytes existing = archiveOf({{"a.txt", "alpha"}, {"b.txt", "beta"}});
    Archive archive(existing, Archive::AccessMode::create);
    EXPECT_EQ(archive.totalNumberOfEntriesInCentralDirectory(), 0u);
    EXPECT_EQ(archive.begin(), archive.end());
    EXPECT_EQ(*archive.data(), zip::EndOfCentralDirectoryRecord{}.data());
    archive.addEntry("c.txt", Entry::EntryType::file, 5, zip::Date{}, std::nullopt,
                     zip::CompressionMethod::none, 16384, nullptr,
                     [](int64_t, size_t count) { return Bytes(count, 'c'); });
    EXPECT_EQ(contentsOf(Archive(*archive.data(), kRead)),
              (std::map<std::string, std::string>{{"c.txt", "ccccc"}}));
}

TEST(ZipHardening, EntriesSharingTheirDataAreRefused) {
    ScratchDir dir;
    // Many records pointing at one local header with a large stream; then a record pointing into
    // the middle of another entry's data.
    const std::string big(1 << 16, 'x');
    std::vector<std::pair<std::string, std::string>> files = {{"bomb", big}};
    Bytes bomb = localEntry("bomb", big);
    const size_t start = bomb.size();
    constexpr int kRecords = 1000;
    for (int i = 0; i < kRecords; ++i) {
        const Bytes record = centralRecord("copy" + std::to_string(i), big, 0);
        bomb.insert(bomb.end(), record.begin(), record.end());
    }
    const Bytes end = endRecord(kRecords, bomb.size() - start, start);
    bomb.insert(bomb.end(), end.begin(), end.end());
    // An entry whose local header and data lie inside another entry's data.
    const Bytes nested = localEntry("b.txt", "beta");
    const Bytes inside = archiveOf({{"a.txt", std::string(nested.begin(), nested.end())},
                                    {"b.txt", "beta"}},
                                   {0, 30 + 5});

    for (const auto& [name, bytes] : {std::pair<std::string, Bytes>{"bomb.zip", bomb},
                                      std::pair<std::string, Bytes>{"inside.zip", inside}}) {
        writeFile(dir / name, bytes);
        // The peer tool refuses it as well.
        EXPECT_NE(std::system(("unzip -tqq " + quote((dir / name).string()) + " >/dev/null 2>&1")
                                  .c_str()),
                  0)
            << name;
        const Archive archive(dir / name, kRead);
        size_t handedOut = 0;
        try {
            archive.extract(*archive.begin(), [&](zip::ByteView piece) { handedOut += piece.size(); });
            ADD_FAILURE() << name << " was extracted";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.errorCase(), ArchiveError::Case::invalidLocalHeaderDataOffset) << name;
            EXPECT_NE(std::string(e.what()).find("overlapping entries"), std::string::npos);
        }
        EXPECT_EQ(handedOut, 0u) << name;
        EXPECT_THROW(archive.checkDirectory(), ArchiveError) << name;
        EXPECT_THROW(zip::unzipItem(dir / name, dir / (name + ".out")), ArchiveError) << name;
        EXPECT_FALSE(fs::exists(dir / (name + ".out") / "copy0")) << name;
        EXPECT_FALSE(fs::exists(dir / (name + ".out") / "a.txt")) << name;
    }
}

TEST(ZipHardening, DamagedDirectoriesFailUnzipping) {
    ScratchDir dir;
    const Bytes good = archiveOf({{"a.txt", "alpha"}, {"b.txt", "beta"}, {"c.txt", "gamma"}});
    const size_t secondRecord = good.size() - 22 - 2 * (46 + 5);
    auto changed = [&](size_t at, uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    const struct {
        const char* name;
        Bytes bytes;
        size_t readable;
        ArchiveError::Case error;
        std::string sentence;
    } cases[] = {
        {"overwritten", changed(secondRecord + 1, 'X'), 1,
         ArchiveError::Case::invalidCentralDirectoryEntryCount,
         "the central directory is damaged: only 1 of its 3 entries can be read"},
        // The end record claims more entries than the directory holds.
        {"truncated", changed(good.size() - 22 + 10, 5), 3,
         ArchiveError::Case::invalidCentralDirectoryEntryCount,
         "the central directory is damaged: only 3 of its 5 entries can be read"},
        // The walk stops at an encrypted entry: said as such.
        {"encrypted", changed(secondRecord + 8, 1), 1, ArchiveError::Case::unreadableArchive,
         "entry 2 is encrypted, which is not supported"},
    };
    for (const auto& c : cases) {
        writeFile(dir / c.name, c.bytes);
        const Archive archive(dir / c.name, kRead);
        // Walking stays lenient.
        EXPECT_EQ(contentsOf(archive).size(), c.readable) << c.name;
        try {
            zip::unzipItem(dir / c.name, dir / (std::string(c.name) + ".out"));
            ADD_FAILURE() << c.name << " was unzipped";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.errorCase(), c.error) << c.name;
            EXPECT_NE(std::string(e.what()).find(c.sentence), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(dir / (std::string(c.name) + ".out") / "a.txt")) << c.name;
    }
}

TEST(ZipHardening, LookupsFollowAdditionsAndRemovals) {
    ScratchDir dir;
    // Two entries of one name: the first is found.
    writeFile(dir / "a.zip", archiveOf({{"a.txt", "first"}, {"b.txt", "beta"}, {"a.txt", "second"}}));
    Archive archive(dir / "a.zip", Archive::AccessMode::update);
    auto text = [&](const std::string& path) -> std::string {
        const auto entry = archive.entry(path);
        if (!entry) return "(none)";
        std::string data;
        archive.extract(*entry, [&](zip::ByteView piece) { data.append(piece.begin(), piece.end()); });
        return data;
    };
    EXPECT_EQ(text("a.txt"), "first");
    EXPECT_EQ(text("c.txt"), "(none)");
    archive.addEntry("c.txt", Entry::EntryType::file, 3, zip::Date{}, std::nullopt,
                     zip::CompressionMethod::deflate, 16384, nullptr,
                     [](int64_t, size_t count) { return Bytes(count, 'c'); });
    EXPECT_EQ(text("c.txt"), "ccc");
    EXPECT_EQ(text("b.txt"), "beta");
    {
        auto transaction = archive.beginTransaction();
        archive.addEntry("d.txt", Entry::EntryType::file, 1, zip::Date{}, std::nullopt,
                         zip::CompressionMethod::none, 16384, nullptr,
                         [](int64_t, size_t count) { return Bytes(count, 'd'); });
        transaction.commit();
    }
    EXPECT_EQ(text("d.txt"), "d");
    archive.remove(*archive.entry("a.txt"));
    EXPECT_EQ(text("a.txt"), "second");
    EXPECT_EQ(text("b.txt"), "beta");
    EXPECT_EQ(text("d.txt"), "d");
    EXPECT_NO_THROW(archive.checkDirectory());
}

}  // namespace
