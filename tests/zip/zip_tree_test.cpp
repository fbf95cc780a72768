// Zipping and unzipping trees: a round trip reproduces the tree, hostile archives write nothing
// outside the destination, and directory modes and times survive their contents being written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "zip/archive.hpp"
#include "zip/file_system.hpp"
#include "zip/tree.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::quote;
using ziptest::run;
using ziptest::ScratchDir;
namespace fs = std::filesystem;
using Mode = Archive::AccessMode;
using Type = Entry::EntryType;

struct stat lstatOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

void setTime(const fs::path& p, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << p;
}

std::vector<std::string> entryPaths(const fs::path& archive) {
    std::vector<std::string> paths;
    for (const Entry& e : Archive(archive, Mode::read))
        paths.push_back(e.path());
    return paths;
}

// Builds an archive from (path, type, content) triples through the provider form.
fs::path handMade(const ScratchDir& dir, const std::string& name,
                  const std::vector<std::tuple<std::string, Type, std::string>>& items,
                  std::optional<uint16_t> permissions = std::nullopt) {
    const fs::path path = dir / name;
    Archive archive(path, Mode::create);
    for (const auto& [entryPath, type, content] : items) {
        const Bytes bytes(content.begin(), content.end());
        archive.addEntry(
            entryPath, type, static_cast<int64_t>(bytes.size()),
            Date(std::chrono::seconds(1600000000)), permissions, CompressionMethod::none, 16384,
            nullptr, [&](int64_t, size_t n) { return Bytes(bytes.begin(), bytes.begin() + n); });
    }
    return path;
}

TEST(ZipTree, ZipThenUnzipReproducesTheTree) {
    ScratchDir dir;
    const fs::path tree = dir / "docs";
    ziptest::writeFile(tree / "a.txt", std::string("alpha\n"));
    ziptest::writeFile(tree / "sub/b.txt", ziptest::sampleBytes(70000));
    ziptest::writeFile(tree / "sub/deeper/run.sh", std::string("#!/bin/sh\n"));
    fs::permissions(tree / "sub/deeper/run.sh", fs::perms(0750));
    fs::create_directories(tree / "empty");
    fs::permissions(tree / "empty", fs::perms(0700));
    fs::create_symlink("sub/b.txt", tree / "link");
    fs::create_symlink("deeper", tree / "sub/dirlink");
    // Read-only directory with contents: its mode and time come back after the contents.
    fs::permissions(tree / "sub/deeper", fs::perms(0555));
    for (const char* p : {"a.txt", "sub/b.txt", "sub/deeper/run.sh", "link", "sub/dirlink",
                          "sub/deeper", "sub", "empty"}) {
        setTime(tree / p, 1500000000 + static_cast<time_t>(std::strlen(p)) * 1000);
    }

    for (const bool keepsParent : {false, true}) {
        for (CompressionMethod method : {CompressionMethod::none, CompressionMethod::deflate}) {
            SCOPED_TRACE(std::string(keepsParent ? "keeps parent" : "contents only") +
                         (method == CompressionMethod::none ? ", stored" : ", deflated"));
            const fs::path archive = dir / "docs.zip";
            const fs::path out = dir / "out";
            auto progress = Progress::make();
            zipItem(tree, archive, keepsParent, method, progress.get());
            EXPECT_EQ(progress->completedUnitCount(), progress->totalUnitCount());
            std::vector<std::string> expected = {"a.txt",
                                                 "empty/",
                                                 "link",
                                                 "sub/",
                                                 "sub/b.txt",
                                                 "sub/deeper/",
                                                 "sub/deeper/run.sh",
                                                 "sub/dirlink"};
            if (keepsParent) {
                for (auto& p : expected)
                    p = "docs/" + p;
                expected.push_back("docs/");
            }
            EXPECT_EQ(entryPaths(archive), expected);
            EXPECT_EQ(ziptest::toolsTest(dir, archive), "None");

            auto unzipProgress = Progress::make();
            unzipItem(archive, out, false, false, unzipProgress.get());
            EXPECT_EQ(unzipProgress->completedUnitCount(), unzipProgress->totalUnitCount());
            const fs::path root = keepsParent ? out / "docs" : out;
            size_t compared = 0;
            for (const auto& item : fs::recursive_directory_iterator(tree)) {
                const fs::path relative = item.path().lexically_relative(tree);
                SCOPED_TRACE(relative.string());
                const struct stat theirs = lstatOf(item.path());
                const struct stat ours = lstatOf(root / relative);
                EXPECT_EQ(ours.st_mode, theirs.st_mode);
                EXPECT_LE(std::abs(ours.st_mtim.tv_sec - theirs.st_mtim.tv_sec), 2);
                if (S_ISREG(theirs.st_mode)) {
                    EXPECT_EQ(ziptest::readFile(root / relative), ziptest::readFile(item.path()));
                } else if (S_ISLNK(theirs.st_mode)) {
                    EXPECT_EQ(fs::read_symlink(root / relative), fs::read_symlink(item.path()));
                }
                ++compared;
            }
            EXPECT_EQ(compared, 8u);
            fs::permissions(out / (keepsParent ? "docs/sub/deeper" : "sub/deeper"),
                            fs::perms(0755));
            fs::remove_all(out);
            fs::remove(archive);
        }
    }
}

TEST(ZipTree, SingleItemsExistingDestinationsAndTheArchiveInsideTheTree) {
    ScratchDir dir;
    ziptest::writeFile(dir / "x/report.txt", std::string("report"));
    zipItem(dir / "x/report.txt", dir / "one.zip");
    EXPECT_EQ(entryPaths(dir / "one.zip"), std::vector<std::string>{"report.txt"});

    const Bytes before = ziptest::readFile(dir / "one.zip");
    try {
        zipItem(dir / "x", dir / "one.zip");
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.errorCase(), FileError::Case::fileWriteFileExists);
    }
    EXPECT_EQ(ziptest::readFile(dir / "one.zip"), before);
    EXPECT_THROW(zipItem(dir / "missing", dir / "two.zip"), FileError);
    EXPECT_FALSE(fs::exists(dir / "two.zip"));

    // An archive written into the tree it zips leaves itself out.
    zipItem(dir / "x", dir / "x/self.zip", false);
    EXPECT_EQ(entryPaths(dir / "x/self.zip"), std::vector<std::string>{"report.txt"});
    // An empty directory gives a valid empty archive.
    fs::create_directories(dir / "void");
    zipItem(dir / "void", dir / "void.zip", false);
    EXPECT_EQ(ziptest::readFile(dir / "void.zip"), EndOfCentralDirectoryRecord{}.data());
}

// Nothing lands outside the destination, whatever the archive says.
TEST(ZipTree, HostileArchivesWriteNothingOutside) {
    ScratchDir dir;
    const fs::path out = dir / "out";
    struct Case {
        const char* name;
        std::vector<std::tuple<std::string, Type, std::string>> items;
        std::function<void(const std::exception&)> check;
        bool allowUncontainedSymlinks = false;
    };
    auto fileCase = ziptest::isError<FileError>;
    auto archiveCase = ziptest::isError<ArchiveError>;
    const std::vector<Case> cases = {
        {"parent step",
         {{"../evil.txt", Type::file, "x"}},
         fileCase(FileError::Case::fileReadInvalidFileName)},
        {"deeper parent steps",
         {{"a/../../evil.txt", Type::file, "x"}},
         fileCase(FileError::Case::fileReadInvalidFileName)},
        {"outward link",
         {{"evil.txt", Type::symlink, "../evil.txt"}},
         archiveCase(ArchiveError::Case::uncontainedSymlink)},
        {"absolute link",
         {{"evil.txt", Type::symlink, "/tmp"}},
         archiveCase(ArchiveError::Case::uncontainedSymlink)},
        // Each link stays inside by its text; together they lead out: the second is judged
        // where it leads and refused.
        {"links chained outward",
         {{"here", Type::symlink, "."},
          {"up", Type::symlink, "here/.."},
          {"up/evil.txt", Type::file, "x"}},
         archiveCase(ArchiveError::Case::uncontainedSymlink)},
        // A link that leads out only once later entries exist.
        {"link led out by later entries",
         {{"a", Type::symlink, "x/y/../.."}, {"x", Type::symlink, "."}, {"y/", Type::directory, ""}},
         archiveCase(ArchiveError::Case::uncontainedSymlink)},
        // The system calls would see only the bytes before the NUL ('#' in the names here, made
        // a NUL in the archive's bytes).
        {"NUL byte in a directory name",
         {{"../victim#/../out/x/", Type::directory, ""}},
         archiveCase(ArchiveError::Case::invalidEntryPath)},
        {"NUL byte in a file name",
         {{"fine.txt", Type::file, "x"}, {"../evil.txt#/../out/f", Type::file, "x"}},
         archiveCase(ArchiveError::Case::invalidEntryPath)},
        {"write through a permitted outward link",
         {{"out-link", Type::symlink, ".."}, {"out-link/evil.txt", Type::file, "x"}},
         fileCase(FileError::Case::fileReadInvalidFileName),
         true},
        {"directory through a link",
         {{"l", Type::symlink, "."},
          {"m", Type::symlink, "l/.."},
          {"m/evil.txt/", Type::directory, ""}},
         archiveCase(ArchiveError::Case::uncontainedSymlink)},
    };
    // A directory beside the destination that a hostile entry might reach.
    fs::create_directories(dir / "victim");
    fs::permissions(dir / "victim", fs::perms(0755));
    setTime(dir / "victim", 1000000000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path archive = handMade(dir, "hostile.zip", c.items, uint16_t{0777});
        if (std::string(c.name).find("NUL") != std::string::npos) {
            Bytes bytes = ziptest::readFile(archive);
            std::replace(bytes.begin(), bytes.end(), uint8_t{'#'}, uint8_t{0});
            ziptest::writeFile(archive, bytes);
        }
        try {
            unzipItem(archive, out, false, c.allowUncontainedSymlinks);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            c.check(e);
        }
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "evil.txt")));
        EXPECT_EQ(lstatOf(dir / "victim").st_mode & 07777, 0755u);
        EXPECT_EQ(lstatOf(dir / "victim").st_mtim.tv_sec, 1000000000);
        // No link left behind leads out, unless such links were permitted.
        std::error_code ec;
        for (fs::recursive_directory_iterator it(out, ec), end; !c.allowUncontainedSymlinks && it != end;
             it.increment(ec)) {
            if (!it->is_symlink()) continue;
            const fs::path leadsTo =
                fs::weakly_canonical(it->path().parent_path() / fs::read_symlink(it->path()));
            EXPECT_TRUE(isInside(leadsTo, fs::canonical(out))) << it->path() << " -> " << leadsTo;
        }
        fs::remove_all(out);
        fs::remove(archive);
    }
    // Into a relative destination that does not exist yet.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    try {
        unzipItem(handMade(dir, "relative.zip",
                           {{"one.txt", Type::file, "1"}, {"sub/two.txt", Type::file, "2"}}),
                  "relative/new");
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    fs::current_path(previous);
    EXPECT_TRUE(fs::exists(dir / "relative/new/one.txt"));
    EXPECT_TRUE(fs::exists(dir / "relative/new/sub/two.txt"));
    // Inside by its own steps: extracted.
    unzipItem(handMade(dir, "fine.zip", {{"a/../b.txt", Type::file, "fine"}}), out);
    EXPECT_EQ(ziptest::readFile(out / "b.txt"), Bytes({'f', 'i', 'n', 'e'}));
    EXPECT_THROW(unzipItem(dir / "missing.zip", out), FileError);
}

TEST(ZipTree, NamesChecksumsAndSpecialBits) {
    ScratchDir dir;
    // A name that does not decode (invalid UTF-8 with the UTF-8 flag) is refused.
    const fs::path badName = handMade(dir, "bad.zip", {{"ok", Type::file, "data"}});
    Bytes bytes = ziptest::readFile(badName);
    for (size_t at = 0; at + 2 <= bytes.size(); ++at) {
        if (bytes[at] == 'o' && bytes[at + 1] == 'k') bytes[at] = 0xFF;
    }
    ziptest::writeFile(badName, bytes);
    try {
        unzipItem(badName, dir / "out");
        ADD_FAILURE() << "no error";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.errorCase(), ArchiveError::Case::invalidEntryPath);
    }

    // Altered data fails its checksum unless the check is skipped.
    const fs::path altered = handMade(dir, "altered.zip", {{"data.txt", Type::file, "original"}});
    bytes = ziptest::readFile(altered);
    bytes[30 + 8] ^= 0x20;  // first data byte
    ziptest::writeFile(altered, bytes);
    try {
        unzipItem(altered, dir / "crc");
        ADD_FAILURE() << "no error";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.errorCase(), ArchiveError::Case::invalidCRC32);
    }
    unzipItem(altered, dir / "skipped", true);
    EXPECT_EQ(ziptest::readFile(dir / "skipped/data.txt"),
              Bytes({'O', 'r', 'i', 'g', 'i', 'n', 'a', 'l'}));

    // Set-user-ID and set-group-ID bits are never applied; the sticky and other bits are.
    unzipItem(handMade(dir, "suid.zip", {{"tool", Type::file, "#!"}}, uint16_t{06755}),
              dir / "suid");
    EXPECT_EQ(lstatOf(dir / "suid/tool").st_mode & 07777, 0755u);
    EXPECT_EQ(Archive(dir / "suid.zip", Mode::read).totalReadingUnitCount(), 2);
}

}  // namespace
