// MS-DOS date and time, permissions from entries, and the file-system queries.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "zip/attributes.hpp"
#include "zip/file_system.hpp"
#include "zip/progress.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::ScratchDir;
namespace fs = std::filesystem;

Date at(int64_t secondsSince1970) {
    return Date(std::chrono::seconds(secondsSince1970));
}
int64_t seconds(Date d) {
    return std::chrono::duration_cast<std::chrono::seconds>(d.time_since_epoch()).count();
}

class ScopedTZ {
  public:
    explicit ScopedTZ(const char* zone) {
        const char* old = std::getenv("TZ");
        if (old != nullptr) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTZ() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST(ZipAttributes, DOSDateAndTimeIgnoreTheTimeZone) {
    const Date instant = at(1710006331);  // 2024-03-09T17:45:31Z
    for (const char* zone : {"UTC", "America/Los_Angeles", "Asia/Kolkata", "Pacific/Kiritimati"}) {
        ScopedTZ tz(zone);
        EXPECT_EQ(dosDate(instant), 22633) << zone;
        EXPECT_EQ(dosTime(instant), 36271) << zone;
        EXPECT_EQ(seconds(dateFromDOS(22633, 36271)), 1710006330) << zone;  // odd second lost
    }
}

TEST(ZipAttributes, DOSFieldsClampAndNormalise) {
    EXPECT_EQ(dosDate(at(173059200)), (0 << 9) | (6 << 5) | 27);  // 1975-06-27: year 1980
    EXPECT_EQ(dosDate(at(5680281600)) >> 9, 119);                 // 2150: year 2099
    EXPECT_EQ(seconds(dateFromDOS(0, 0)), 312768000);             // 1979-11-30T00:00:00Z
    const timeval tv = timevalFromSeconds(-1.25);
    EXPECT_EQ(tv.tv_sec, -1);
    EXPECT_EQ(tv.tv_usec, -250000);
}

TEST(ZipAttributes, PermissionsFromExternalAttributes) {
    using T = Entry::EntryType;
    struct Case {
        uint32_t attributes;
        std::optional<HostSystem> host;
        T type;
        uint16_t expected;
    };
    const Case cases[] = {
        {0100755u << 16, HostSystem::unix, T::file, 0755},
        {0100000u << 16, HostSystem::unix, T::file, 0644},
        {0, HostSystem::unix, T::directory, 0755},
        {0104755u << 16, HostSystem::osx, T::file, 04755},
        {0100700u << 16, HostSystem::msdos, T::file, 0644},
        {0100700u << 16, std::nullopt, T::directory, 0755},
    };
    for (const auto& c : cases)
        EXPECT_EQ(permissions(c.attributes, c.host, c.type), c.expected);
    EXPECT_FALSE(hostSystem(10));
}

TEST(ZipFileSystem, ContainmentIsLexical) {
    const fs::path out = "/tmp/out";
    struct Case {
        const char* candidate;
        bool inside;
    };
    const Case cases[] = {
        {"/tmp/out/a/../b.txt", true},    {"/tmp/out/../evil.txt", false},
        {"/tmp/out2/x", false},           {"/tmp/out", true},
        {"/tmp/out//a//b", true},         {"/etc/x", false},
        {"/tmp/out/a/../../out/c", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isInside(c.candidate, out), c.inside) << c.candidate;
    EXPECT_TRUE(isInside("/tmp/out/a", "/tmp/out/"));
}

TEST(ZipFileSystem, JoiningKeepsAbsoluteEntryPathsInside) {
    EXPECT_EQ(joinEntryPath("/dest", "/etc/x"), fs::path("/dest/etc/x"));
    EXPECT_EQ(joinEntryPath("/dest", "///etc/x"), fs::path("/dest/etc/x"));
    EXPECT_EQ(joinEntryPath("/dest", "a/b.txt"), fs::path("/dest/a/b.txt"));
    EXPECT_FALSE(isInside(joinEntryPath("/dest", "../evil.txt"), "/dest"));
}

TEST(ZipFileSystem, QueriesExamineLinksThemselves) {
    ScratchDir dir;
    ziptest::writeFile(dir / "file.txt", std::string(10, 'x'));
    fs::create_directory(dir / "sub");
    fs::create_directory_symlink("sub", dir / "link");
    EXPECT_EQ(entryType(dir / "link"), Entry::EntryType::symlink);
    EXPECT_EQ(entryType(dir / "sub"), Entry::EntryType::directory);
    EXPECT_EQ(entryType(dir / "file.txt"), Entry::EntryType::file);
    EXPECT_EQ(fileSize(dir / "link"), 3);
    EXPECT_EQ(fileSize(dir / "file.txt"), 10);
    try {
        entryType(dir / "missing");
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.errorCase(), FileError::Case::fileReadNoSuchFile);
        EXPECT_EQ(e.path(), (dir / "missing").string());
    }
    fs::create_directory(dir / "locked");
    ziptest::writeFile(dir / "locked" / "x", std::string("x"));
    fs::permissions(dir / "locked", fs::perms::none);
    if (::geteuid() != 0) {  // root reads everything
        try {
            fileSize(dir / "locked" / "x");
            ADD_FAILURE() << "lstat through a locked directory succeeded";
        } catch (const FileError& e) {
            EXPECT_EQ(e.errorCase(), FileError::Case::posix);
            EXPECT_EQ(e.posixCode(), EACCES);
        }
    }
    fs::permissions(dir / "locked", fs::perms::owner_all);
    EXPECT_EQ(FileError::posix(2, "p").posixCode(), 2);
    EXPECT_EQ(FileError::posix(99999, "p").posixCode(), 1);
}

TEST(ZipFileSystem, ReplacementDirectories) {
    ScratchDir dir;
    const fs::path beside = replacementDirectory(dir / "a.zip");
    EXPECT_TRUE(fs::is_directory(beside));
    EXPECT_EQ(beside.parent_path(), dir.path());
    const fs::path memory = replacementDirectory(std::nullopt);
    EXPECT_FALSE(fs::exists(memory));
    EXPECT_NE(memory, replacementDirectory(std::nullopt));
}

TEST(ZipProgress, ChildrenCountTowardTheirParent) {
    auto parent = Progress::make(30);
    auto child = Progress::make(10);
    parent->addChild(child, 20);
    parent->setCompletedUnitCount(10);
    child->setCompletedUnitCount(5);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 20.0 / 30.0);
    EXPECT_EQ(parent->completedUnitCount(), 10);
    child->setCompletedUnitCount(10);
    EXPECT_EQ(parent->completedUnitCount(), 30);
    EXPECT_TRUE(parent->isFinished());
    EXPECT_FALSE(child->isCancelled());
    parent->cancel();
    EXPECT_TRUE(child->isCancelled());
}

}  // namespace
