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

TEST(ZipHardening, DescriptorsAreMeasuredAsWrittenWithOrWithoutSignature) {
    ScratchDir dir;
    // Entries back to back, each followed by its descriptor in one form (or none): one without its
    // signature takes 4 bytes less, and the next local header follows at once.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.txt", "alpha"}, {"b/c.txt", "beta\n"}, {"d.txt", std::string(70000, 'd')}};
    for (const auto& f : descriptorForms) {
        const fs::path file = dir / (std::string(f.name) + ".zip");
        writeFile(file, archiveOf(files, {}, f.form));
        // The peers read every form.
        const auto expected = pythonContentsOf(dir, file);
        EXPECT_EQ(expected, (std::map<std::string, std::string>(files.begin(), files.end())))
            << f.name;
        run("unzip -tqq " + quote(file.string()));
        for (const Archive& archive : {Archive(file, kRead), Archive(readFile(file), kRead)}) {
            EXPECT_NO_THROW(archive.checkDirectory()) << f.name;
            EXPECT_EQ(contentsOf(archive), expected) << f.name;
            const auto second = archive.entry("b/c.txt");
            ASSERT_TRUE(second.has_value()) << f.name;
            EXPECT_EQ(second->checksum(), zip::crc32(Bytes{'b', 'e', 't', 'a', '\n'})) << f.name;
        }
        const fs::path out = dir / (std::string(f.name) + ".out");
        EXPECT_NO_THROW(zip::unzipItem(file, out)) << f.name;
        for (const auto& [name, data] : files) {
            const Bytes written = readFile(out / name);
            EXPECT_EQ(std::string(written.begin(), written.end()), data) << f.name << " " << name;
        }
    }

    // Entries that really share bytes are still refused in every form: a record pointing into
    // another entry's data, where a local header of its own lies, and two records of one header.
    for (const auto& f : descriptorForms) {
        const Bytes nested = localEntry("b.txt", "beta", f.form);
        const struct {
            std::string name;
            Bytes bytes;
        } overlapping[] = {
            {std::string(f.name) + "-inside.zip",
             archiveOf({{"a.txt", std::string(nested.begin(), nested.end())}, {"b.txt", "beta"}},
                       {0, 30 + 5}, f.form)},
            {std::string(f.name) + "-shared.zip",
             archiveOf({{"a.txt", "alpha"}, {"b.txt", "alpha"}}, {0, 0}, f.form)},
        };
        for (const auto& c : overlapping) {
            writeFile(dir / c.name, c.bytes);
            const Archive archive(dir / c.name, kRead);
            try {
                archive.checkDirectory();
                ADD_FAILURE() << c.name << " was accepted";
            } catch (const ArchiveError& e) {
                EXPECT_EQ(e.errorCase(), ArchiveError::Case::invalidLocalHeaderDataOffset)
                    << c.name;
                EXPECT_NE(std::string(e.what()).find("overlapping entries"), std::string::npos)
                    << e.what();
            }
            EXPECT_THROW(archive.extract(*archive.begin(), [](zip::ByteView) {}), ArchiveError)
                << c.name;
            EXPECT_THROW(zip::unzipItem(dir / c.name, dir / (c.name + ".out")), ArchiveError)
                << c.name;
        }
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
