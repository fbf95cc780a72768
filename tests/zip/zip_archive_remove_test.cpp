// Removing entries: the others stay byte-identical, offsets come from where the entries now lie
// (also behind a self-extracting prefix), and a failed replacement keeps the original.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "zip/archive.hpp"
#include "zip_test_support.hpp"

// The replacing rename and the truncation of a rollback fail on demand; otherwise both go
// through to the system.
namespace {
std::atomic<bool> failRename{false};
std::atomic<bool> failTruncate{false};
}  // namespace
extern "C" int rename(const char* from, const char* to) noexcept {
    if (failRename.load()) {
        errno = EXDEV;
        return -1;
    }
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}
extern "C" int ftruncate(int fd, off_t length) noexcept {
    if (failTruncate.load()) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_ftruncate, fd, length));
}

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::quote;
using ziptest::run;
using ziptest::ScratchDir;
namespace fs = std::filesystem;
using Mode = Archive::AccessMode;

// Each entry's local bytes (header, data, descriptor) and its central record minus the offset.
struct Kept {
    std::string path;
    Bytes local;
    Bytes central;
    bool operator==(const Kept&) const = default;
};

std::vector<Kept> keptBytes(const Archive& archive, const Bytes& bytes) {
    std::vector<Kept> out;
    for (const Entry& e : archive) {
        const auto offset = static_cast<std::ptrdiff_t>(
            e.centralDirectoryStructure().effectiveRelativeOffsetOfLocalHeader());
        Bytes central = e.centralDirectoryStructure().data();
        std::fill(central.begin() + 42, central.begin() + 46, 0);
        out.push_back({e.path(),
                       Bytes(bytes.begin() + offset,
                             bytes.begin() + offset + static_cast<std::ptrdiff_t>(e.localSize())),
                       central});
    }
    return out;
}

// An Info-ZIP archive of three members (extra fields with times and owners included).
fs::path zipArchive(const ScratchDir& dir, const std::string& name,
                    const std::vector<std::string>& members) {
    const fs::path tree = dir / ("tree-" + name);
    for (size_t i = 0; i < members.size(); ++i)
        ziptest::writeFile(tree / members[i], ziptest::sampleBytes(3000 + 1000 * i, 7 + i));
    std::string command =
        "cd " + quote(tree.string()) + " && zip -q " + quote((dir / name).string());
    for (const auto& m : members)
        command += " " + quote(m);
    run(command);
    return dir / name;
}

TEST(ZipArchiveRemove, EveryPositionInFileAndMemoryKeepsTheOthersIdentical) {
    ScratchDir dir;
    const std::vector<std::string> three = {"first.txt", "middle.xml", "last.bin"};
    struct Case {
        const char* name;
        std::vector<std::string> members;
        std::string removed;
    };
    const std::vector<Case> cases = {
        {"first", three, "first.txt"},
        {"middle", three, "middle.xml"},
        {"last", three, "last.bin"},
        {"only", {"only.txt"}, "only.txt"},
    };
    for (const Case& c : cases) {
        const fs::path made = zipArchive(dir, std::string(c.name) + ".zip", c.members);
        const Bytes original = ziptest::readFile(made);
        std::vector<Kept> expected = keptBytes(Archive(original, Mode::read), original);
        std::erase_if(expected, [&](const Kept& k) { return k.path == c.removed; });
        for (const bool memory : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (memory ? " (memory)" : " (file)"));
            const fs::path target = dir / "target.zip";
            ziptest::writeFile(target, original);
            Archive archive =
                memory ? Archive(original, Mode::update) : Archive(target, Mode::update);
            auto progress = Progress::make();
            archive.remove(*archive.entry(c.removed), 16384, progress.get());
            EXPECT_EQ(progress->completedUnitCount(), progress->totalUnitCount());
            const Bytes after = memory ? *archive.data() : ziptest::readFile(target);
            EXPECT_EQ(keptBytes(archive, after), expected);
            EXPECT_EQ(archive.totalNumberOfEntriesInCentralDirectory(), expected.size());
            if (expected.empty()) {
                EXPECT_EQ(after, EndOfCentralDirectoryRecord{}.data());
            } else {
                if (memory) ziptest::writeFile(target, after);
                EXPECT_EQ(ziptest::toolsTest(dir, target), "None");
            }
            // Still open for update on the rebuilt bytes.
            archive.addEntry("added", Entry::EntryType::file, 2, Date{}, std::nullopt,
                             CompressionMethod::none, 16384, nullptr, [](int64_t, size_t) {
                                 return Bytes{'h', 'i'};
                             });
            EXPECT_EQ(archive.totalNumberOfEntriesInCentralDirectory(), expected.size() + 1);
        }
    }
}

// After `zip -A` a self-extracting stub precedes the entries and the offsets count it; removal
// keeps the stub and takes each offset from the entry's new position.
TEST(ZipArchiveRemove, PrefixedArchiveStaysValid) {
    ScratchDir dir;
    const fs::path inner = zipArchive(dir, "inner.zip", {"a.txt", "b.txt", "c.txt"});
    const std::string stub =
        "#!/bin/sh\necho self-extracting stub\nexit 0\n" + std::string(500, '#');
    Bytes prefixed(stub.begin(), stub.end());
    const Bytes innerBytes = ziptest::readFile(inner);
    prefixed.insert(prefixed.end(), innerBytes.begin(), innerBytes.end());
    const fs::path sfx = dir / "sfx.zip";
    ziptest::writeFile(sfx, prefixed);
    run("zip -qA " + quote(sfx.string()));
    {
        Archive archive(sfx, Mode::update);
        archive.remove(*archive.entry("a.txt"));
    }
    const Bytes after = ziptest::readFile(sfx);
    EXPECT_EQ(Bytes(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(stub.size())),
              Bytes(stub.begin(), stub.end()));
    EXPECT_EQ(ziptest::toolsTest(dir, sfx), "None");
    const std::string listing = run("unzip -l " + quote(sfx.string()) + " 2>&1");
    EXPECT_EQ(listing.find("extra bytes"), std::string::npos) << listing;
    const Archive reread(sfx, Mode::read);
    EXPECT_EQ(reread.entry("b.txt")->centralDirectoryStructure().relativeOffsetOfLocalHeader,
              stub.size());
}

TEST(ZipArchiveRemove, RefusalsAndFailuresKeepTheOriginal) {
    ScratchDir dir;
    const fs::path made = zipArchive(dir, "made.zip", {"x.txt", "y.txt"});
    const Bytes original = ziptest::readFile(made);
    const Entry foreign = *Archive(zipArchive(dir, "other.zip", {"z.txt"}), Mode::read).begin();
    const fs::path target = dir / "target.zip";

    auto expectCase = [](const std::function<void()>& f, ArchiveError::Case expected) {
        try {
            f();
            ADD_FAILURE() << "no error";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.errorCase(), expected) << e.what();
        }
    };
    ziptest::writeFile(target, original);
    {
        Archive readOnly(target, Mode::read);
        expectCase([&] { readOnly.remove(*readOnly.begin()); },
                   ArchiveError::Case::unwritableArchive);
        Archive archive(target, Mode::update);
        expectCase([&] { archive.remove(foreign); }, ArchiveError::Case::invalidEntryPath);
        auto cancelled = Progress::make();
        cancelled->cancel();
        expectCase([&] { archive.remove(*archive.entry("y.txt"), 16384, cancelled.get()); },
                   ArchiveError::Case::cancelledOperation);
        {
            auto transaction = archive.beginTransaction();
            expectCase([&] { archive.remove(*archive.entry("x.txt")); },
                       ArchiveError::Case::unwritableArchive);
        }
        // A directory that lists fewer entries than it counts would lose the rest.
        Bytes damaged = original;
        damaged[damaged.size() - 22 + 8] = damaged[damaged.size() - 22 + 10] = 3;
        Archive short3(damaged, Mode::update);
        expectCase([&] { short3.remove(*short3.begin()); },
                   ArchiveError::Case::invalidCentralDirectoryEntryCount);
        EXPECT_EQ(*short3.data(), damaged);
    }
    EXPECT_EQ(ziptest::readFile(target), original);

    // The final rename fails: the original file stays as it was, and so does the archive.
    {
        Archive archive(target, Mode::update);
        failRename = true;
        try {
            archive.remove(*archive.entry("x.txt"));
            ADD_FAILURE() << "no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.posixCode(), EXDEV);
        }
        failRename = false;
        EXPECT_EQ(ziptest::readFile(target), original);
        EXPECT_EQ(archive.entry("x.txt")->path(), "x.txt") << "still usable";
        archive.remove(*archive.entry("x.txt"));
        EXPECT_FALSE(archive.entry("x.txt"));
    }
    // No temporary directory or file is left behind.
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(dir.path()))
        left.push_back(item.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"made.zip", "other.zip", "target.zip",
                                              "tree-made.zip", "tree-other.zip"}));
}

// A rollback whose truncation fails reports that failure, never the addition's success or its
// original error alone.
TEST(ZipArchiveRemove, RollbackReportsAFailedTruncation) {
    ScratchDir dir;
    const fs::path made = zipArchive(dir, "made.zip", {"x.txt"});
    Archive archive(made, Mode::update);
    try {
        archive.addEntry("y", Entry::EntryType::file, 100, Date{}, std::nullopt,
                         CompressionMethod::none, 16384, nullptr, [](int64_t, size_t) -> Bytes {
                             failTruncate = true;
                             throw std::runtime_error("provider failed");
                         });
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.posixCode(), EIO);
    }
    failTruncate = false;
}

TEST(ZipArchiveRemove, ARecordMovedPastFourGiBGetsAZIP64Offset) {
    // Central directory order differs from file order, so an entry can move further out.
    CentralDirectoryStructure record = CentralDirectoryStructure::forNewEntry(
        LocalFileHeader::forNewEntry({'n'}, 0, 1, 1, 0, 0, 0), 0, 10);
    record.extraFieldData = {0x55, 0x54, 0x01, 0x00, 0x07};  // another block, kept as it is
    record.extraFieldLength = 5;
    const auto moved = record.movedTo(1ull << 32);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->relativeOffsetOfLocalHeader, 0xFFFFFFFFu);
    EXPECT_EQ(moved->effectiveRelativeOffsetOfLocalHeader(), 1ull << 32);
    EXPECT_EQ(moved->versionNeededToExtract, 45);
    EXPECT_EQ(Bytes(moved->extraFieldData.end() - 5, moved->extraFieldData.end()),
              record.extraFieldData);
    const auto back = moved->movedTo(77);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->relativeOffsetOfLocalHeader, 77u);
    EXPECT_EQ(back->extraFieldData, record.extraFieldData);
    // Below 4 GiB only the offset field changes.
    EXPECT_EQ(record.movedTo(99)->extraFieldData, record.extraFieldData);
}

}  // namespace
