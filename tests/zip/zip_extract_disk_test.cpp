// Extraction to disk: a tree made by `zip -ry` comes out as `unzip -d` makes it, and paths, links
// and existing files are handled safely.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "zip/archive.hpp"
#include "zip/file_system.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::quote;
using ziptest::run;
using ziptest::ScratchDir;
namespace fs = std::filesystem;
using Mode = Archive::AccessMode;

// Extracts every entry below `destination` the way a tree unzip does: refusing paths that leave it.
void extractAll(const Archive& archive, const fs::path& destination) {
    for (const Entry& entry : archive) {
        const fs::path item = joinEntryPath(destination, entry.path());
        if (!isInside(item, destination))
            throw FileError(FileError::Case::fileReadInvalidFileName, item.string());
        archive.extract(entry, item);
    }
}

struct stat lstatOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

TEST(ZipExtractDisk, MatchesUnzipOnAZipTree) {
    if (!ziptest::haveTool("zip") || !ziptest::haveTool("unzip"))
        GTEST_SKIP() << "Info-ZIP missing";
    ScratchDir dir;
    const fs::path tree = dir / "tree";
    ziptest::writeFile(tree / "top.txt", std::string("top\n"));
    ziptest::writeFile(tree / "a/b/c/deep.xml", ziptest::sampleBytes(50000));
    ziptest::writeFile(tree / "bin/run.sh", std::string("#!/bin/sh\necho hi\n"));
    fs::permissions(tree / "bin/run.sh", fs::perms(0755));
    ziptest::writeFile(tree / "private.txt", std::string("secret"));
    fs::permissions(tree / "private.txt", fs::perms(0600));
    fs::create_directories(tree / "empty");
    fs::create_symlink("a/b/c/deep.xml", tree / "link-to-deep");
    fs::create_symlink("deep.xml", tree / "a/b/c/sibling-link");
    run("cd " + quote(tree.string()) + " && zip -q -ry " + quote((dir / "t.zip").string()) + " .");
    run("unzip -q " + quote((dir / "t.zip").string()) + " -d " + quote((dir / "theirs").string()));
    extractAll(Archive(dir / "t.zip", Mode::read), dir / "ours");

    size_t compared = 0;
    for (const auto& item : fs::recursive_directory_iterator(dir / "theirs")) {
        const fs::path relative = item.path().lexically_relative(dir / "theirs");
        const fs::path mine = dir / "ours" / relative;
        SCOPED_TRACE(relative.string());
        const struct stat theirs = lstatOf(item.path());
        const struct stat ours = lstatOf(mine);
        EXPECT_EQ(ours.st_mode & S_IFMT, theirs.st_mode & S_IFMT);
        if (S_ISLNK(theirs.st_mode)) {
            EXPECT_EQ(fs::read_symlink(mine), fs::read_symlink(item.path()));
        } else {
            EXPECT_EQ(ours.st_mode & 07777, theirs.st_mode & 07777);
            EXPECT_LE(std::llabs(static_cast<long long>(ours.st_mtime - theirs.st_mtime)), 2);
        }
        if (S_ISREG(theirs.st_mode)) {
            EXPECT_EQ(ziptest::readFile(mine), ziptest::readFile(item.path()));
        }
        ++compared;
    }
    EXPECT_GE(compared, 11u);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir / "ours"),
                            fs::recursive_directory_iterator()),
              static_cast<std::ptrdiff_t>(compared));
}

// A small archive with one entry of each kind, made by Python with the given names.
fs::path craftedArchive(const ScratchDir& dir, const std::string& body) {
    ziptest::python(dir, R"(
import zipfile, os, stat
d = os.path.dirname(os.path.abspath(__file__))
def link(z, name, target):
    i = zipfile.ZipInfo(name)
    i.create_system = 3
    i.external_attr = (stat.S_IFLNK | 0o777) << 16
    z.writestr(i, target)
with zipfile.ZipFile(os.path.join(d, 'crafted.zip'), 'w') as z:
)" + body);
    return dir / "crafted.zip";
}

TEST(ZipExtractDisk, PathSafety) {
    ScratchDir dir;
    const fs::path out = dir / "out";
    const Archive archive(craftedArchive(dir, R"(
    z.writestr('../evil.txt', b'evil')
    z.writestr('/etc/x', b'inside')
    link(z, 'up', '../outside')
    link(z, 'abs', '/etc/passwd')
    link(z, 'ok', 'sub/target')
)"),
                          Mode::read);
    // ../evil.txt is refused and nothing lands outside.
    const Entry evil = *archive.entry("../evil.txt");
    const fs::path evilItem = joinEntryPath(out, evil.path());
    EXPECT_FALSE(isInside(evilItem, out));
    EXPECT_FALSE(fs::exists(dir / "evil.txt"));
    // An absolute entry path lands inside the destination.
    archive.extract(*archive.entry("/etc/x"), joinEntryPath(out, "/etc/x"));
    EXPECT_EQ(ziptest::readFile(out / "etc/x"), Bytes({'i', 'n', 's', 'i', 'd', 'e'}));
    // Links pointing outside their directory are refused and not created.
    for (const char* name : {"up", "abs"}) {
        try {
            archive.extract(*archive.entry(name), out / name);
            ADD_FAILURE() << name;
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.errorCase(), ArchiveError::Case::uncontainedSymlink) << name;
        }
        EXPECT_FALSE(itemExists(out / name)) << name;
    }
    archive.extract(*archive.entry("ok"), out / "ok");
    EXPECT_EQ(fs::read_symlink(out / "ok"), fs::path("sub/target"));
    archive.extract(*archive.entry("up"), out / "allowed", 16384, false, true);
    EXPECT_EQ(fs::read_symlink(out / "allowed"), fs::path("../outside"));
}

TEST(ZipExtractDisk, ExistingItemsAreNeverOverwritten) {
    ScratchDir dir;
    const Archive archive(craftedArchive(dir, "    z.writestr('f.txt', b'new content')\n"),
                          Mode::read);
    const Entry entry = *archive.begin();
    ziptest::writeFile(dir / "existing", std::string("old"));
    ziptest::writeFile(dir / "target", std::string("target"));
    fs::create_symlink(dir / "target", dir / "link");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    for (const char* name : {"existing", "link", "dangling"}) {
        try {
            archive.extract(entry, dir / name);
            ADD_FAILURE() << name;
        } catch (const FileError& e) {
            EXPECT_EQ(e.errorCase(), FileError::Case::fileWriteFileExists) << name;
            EXPECT_EQ(e.path(), (dir / name).string());
        }
    }
    EXPECT_EQ(ziptest::readFile(dir / "existing"), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(ziptest::readFile(dir / "target"), Bytes({'t', 'a', 'r', 'g', 'e', 't'}));
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST(ZipExtractDisk, FailedExtractionRemovesItsOutput) {
    ScratchDir dir;
    fs::path path =
        craftedArchive(dir, "    z.writestr('f.txt', b'x' * 100000, zipfile.ZIP_DEFLATED)\n");
    Bytes bytes = ziptest::readFile(path);
    Archive good(bytes, Mode::read);
    const uint64_t dataAt = good.begin()->dataOffset();
    for (uint64_t i = 8; i < 40; ++i)
        bytes[dataAt + i] ^= 0x55;  // damage the deflated data
    Archive damaged(bytes, Mode::read);
    EXPECT_THROW(damaged.extract(*damaged.begin(), dir / "out/f.txt"), Error);
    EXPECT_FALSE(fs::exists(dir / "out/f.txt"));

    auto cancelled = Progress::make();
    cancelled->cancel();
    EXPECT_THROW(
        good.extract(*good.begin(), dir / "out/g.txt", 16384, false, false, cancelled.get()),
        ArchiveError);
    EXPECT_FALSE(fs::exists(dir / "out/g.txt"));
    EXPECT_EQ(good.extract(*good.begin(), dir / "out/h.txt"), good.begin()->checksum());
    EXPECT_EQ(fs::file_size(dir / "out/h.txt"), 100000u);
}

}  // namespace
