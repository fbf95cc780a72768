#include "zip/file_system.hpp"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace zip {
namespace {

namespace fs = std::filesystem;

struct stat statOf(const fs::path& item) {
    struct stat st {};
    if (::lstat(item.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw FileError(FileError::Case::fileReadNoSuchFile, item.string());
        }
        throw FileError::posix(errno, item.string());
    }
    return st;
}

std::string lexicalKey(const fs::path& path) {
    std::string text = path.string();
    for (size_t at; (at = text.find("//")) != std::string::npos;)
        text.erase(at, 1);
    std::string normal = fs::path(text).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

}  // namespace

Entry::EntryType entryType(const fs::path& item) {
    const auto mode = statOf(item).st_mode & S_IFMT;
    if (mode == S_IFDIR) return Entry::EntryType::directory;
    if (mode == S_IFLNK) return Entry::EntryType::symlink;
    return Entry::EntryType::file;
}

int64_t fileSize(const fs::path& item) {
    const auto st = statOf(item);
    if (st.st_size < 0) throw FileError(FileError::Case::fileReadTooLarge, item.string());
    return st.st_size;
}

Date modificationDate(const fs::path& item) {
    const auto st = statOf(item);
    return Date(std::chrono::duration_cast<Date::duration>(
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
}

bool itemExists(const fs::path& item) {
    struct stat st {};
    if (::lstat(item.c_str(), &st) == 0) return true;
    if (errno == ENOENT) return false;
    throw FileError::posix(errno, item.string());
}

void createParentDirectories(const fs::path& item) {
    const fs::path parent = item.parent_path();
    if (parent.empty()) return;
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) throw FileError::posix(ec.value(), parent.string());
}

bool isInside(const fs::path& candidate, const fs::path& directory) {
    const std::string dir = lexicalKey(directory);
    const std::string key = lexicalKey(candidate);
    if (key == dir) return true;
    if (dir == "/") return !key.empty() && key.front() == '/';
    if (dir == ".") return key != ".." && key.rfind("../", 0) != 0 && key.front() != '/';
    return key.size() > dir.size() && key.compare(0, dir.size(), dir) == 0 &&
           key[dir.size()] == '/';
}

fs::path joinEntryPath(const fs::path& destination, std::string_view entryPath) {
    while (!entryPath.empty() && entryPath.front() == '/')
        entryPath.remove_prefix(1);
    return destination / fs::path(entryPath);
}

fs::path replacementDirectory(const std::optional<fs::path>& archive) {
    if (archive) {
        std::string pattern =
            (archive->parent_path() / ("." + archive->filename().string() + ".XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) return pattern;
    }
    std::random_device device;
    std::mt19937_64 rng((uint64_t{device()} << 32) ^ device());
    char name[40];
    std::snprintf(name, sizeof name, "zip-%016llx-%d", static_cast<unsigned long long>(rng()),
                  static_cast<int>(::getpid()));
    return fs::temp_directory_path() / name;
}

}  // namespace zip
