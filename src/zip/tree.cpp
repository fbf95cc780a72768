#include "zip/tree.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "zip/archive.hpp"
#include "beneath.hpp"
#include "zip/file_system.hpp"

namespace zip {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kTreeBufferSize = 16384;

// The items below `root` as paths relative to it, depth-first, each directory's items in name
// order and after the directory itself. Links to directories are items, not followed. The types
// come with the directory listing where the file system gives them.
void listTree(const fs::path& root, const fs::path& relative, std::vector<fs::path>& items) {
    const fs::path directory = relative.empty() ? root : root / relative;
    std::error_code ec;
    std::vector<std::pair<fs::path, bool>> children;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const bool isDirectory = it->is_directory(ec) && !it->is_symlink(ec);
        if (ec) throw FileError::posix(ec.value(), it->path().string());
        children.emplace_back(it->path().filename(), isDirectory);
    }
    if (ec) throw FileError::posix(ec.value(), directory.string());
    std::sort(children.begin(), children.end());
    for (const auto& [name, isDirectory] : children) {
        const fs::path item = relative.empty() ? name : relative / name;
        items.push_back(item);
        if (isDirectory) listTree(root, item, items);
    }
}

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const fs::path& item) {
    struct stat st {};
    if (::lstat(item.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

// Adds one item, with a child progress object for its share of the total.
void addItem(Archive& archive, const std::string& entryPath, const fs::path& item,
             CompressionMethod method, Progress* progress) {
    if (progress == nullptr) {
        archive.addEntry(entryPath, item, method, kTreeBufferSize, nullptr);
        return;
    }
    const int64_t units = Archive::addingUnitCount(item);
    auto child = Progress::make(units);
    progress->addChild(child, units);
    archive.addEntry(entryPath, item, method, kTreeBufferSize, child.get());
}

}  // namespace

void zipItem(const fs::path& source, const fs::path& destination, bool keepsParent,
             CompressionMethod compressionMethod, Progress* progress) {
    if (!itemExists(source)) throw FileError(FileError::Case::fileReadNoSuchFile, source.string());
    if (itemExists(destination))
        throw FileError(FileError::Case::fileWriteFileExists, destination.string());
    Archive archive(destination, Archive::AccessMode::create);
    const Entry::EntryType type = entryType(source);
    const fs::path name =
        source.filename().empty() ? source.parent_path().filename() : source.filename();
    if (type != Entry::EntryType::directory) {
        if (progress != nullptr) progress->setTotalUnitCount(Archive::addingUnitCount(source));
        archive.addEntry(name.string(), source, compressionMethod, kTreeBufferSize, progress);
        return;
    }

    std::vector<fs::path> items;
    listTree(source, {}, items);
    // The archive being written is no item of the tree, wherever it lies.
    const auto archiveIdentity = identityOf(destination);
    std::erase_if(items, [&](const fs::path& item) {
        return archiveIdentity && item.filename() == destination.filename() &&
               identityOf(source / item) == archiveIdentity;
    });
    if (keepsParent) items.emplace_back();
    if (progress != nullptr) {
        int64_t total = 0;
        for (const fs::path& item : items)
            total += Archive::addingUnitCount(item.empty() ? source : source / item);
        progress->setTotalUnitCount(total);
    }

    // One directory write for the whole tree. A failed addition is undone alone; the entries
    // before it are kept.
    Archive::Transaction transaction = archive.beginTransaction();
    try {
        for (const fs::path& item : items) {
            const fs::path file = item.empty() ? source : source / item;
            std::string entryPath = item.generic_string();
            if (keepsParent) entryPath = name.string() + "/" + entryPath;
            addItem(archive, entryPath, file, compressionMethod, progress);
        }
    } catch (...) {
        transaction.commit();
        throw;
    }
    transaction.commit();
}

void unzipItem(const fs::path& archivePath, const fs::path& destination, bool skipCRC32,
               bool allowUncontainedSymlinks, Progress* progress,
               std::optional<TextEncoding> pathEncoding) {
    if (!itemExists(archivePath))
        throw FileError(FileError::Case::fileReadNoSuchFile, archivePath.string());
    const Archive archive(archivePath, Archive::AccessMode::read, pathEncoding);
    // Part of an archive is no success: a damaged directory or entries that share their data are
    // refused before anything is written.
    archive.checkDirectory();
    auto pathOf = [&](const Entry& entry) {
        std::string path = pathEncoding ? entry.path(*pathEncoding) : entry.path();
        if (path.empty()) {
            throw ArchiveError(ArchiveError::Case::invalidEntryPath, archivePath.string(),
                               "an entry's name is empty or cannot be decoded");
        }
        return path;
    };
    // Every name is checked before anything is written.
    for (const Entry& entry : archive)
        detail::pathComponents(pathOf(entry), (destination / pathOf(entry)).string());
    if (progress != nullptr) progress->setTotalUnitCount(archive.totalReadingUnitCount());

    // Every item is reached from the destination held open, one component at a time.
    const detail::Beneath beneath(destination, true);
    struct Deferred {
        std::vector<std::string> names;
        FileAttributes attributes;
        std::string display;
    };
    // Directory attributes wait until everything below them is written: a read-only directory
    // would refuse its contents, and writing them would change its modification time.
    std::vector<Deferred> directories;
    // Links are judged again once everything is there: a later entry may change where an earlier
    // link leads.
    std::vector<std::pair<std::vector<std::string>, std::string>> links;
    for (const Entry& entry : archive) {
        const std::string path = pathOf(entry);
        const std::string display = joinEntryPath(destination, path).string();
        std::vector<std::string> components = detail::pathComponents(path, display);
        std::shared_ptr<Progress> child;
        if (progress != nullptr) {
            const int64_t units = Archive::readingUnitCount(entry);
            child = Progress::make(units);
            progress->addChild(child, units);
        }
        if (entry.type() == Entry::EntryType::directory) {
            const detail::Location location = beneath.directory({}, components, true, display);
            directories.push_back({location.names, extractionAttributes(entry), display});
            if (child) child->setCompletedUnitCount(1);
            continue;
        }
        if (components.empty() || components.back() == "..")
            throw FileError(FileError::Case::fileReadInvalidFileName, display);
        const std::string name = std::move(components.back());
        components.pop_back();
        const detail::Location parent = beneath.directory({}, components, true, display);
        detail::extractAt(archive, entry, {beneath, parent, name, display}, kTreeBufferSize,
                          skipCRC32, allowUncontainedSymlinks, child.get());
        if (entry.type() == Entry::EntryType::symlink) {
            std::vector<std::string> item = parent.names;
            item.push_back(name);
            links.emplace_back(std::move(item), display);
        }
    }
    if (!allowUncontainedSymlinks) {
        for (const auto& [item, display] : links) {
            const std::vector<std::string> names(item.begin(), item.end() - 1);
            const detail::Location parent = beneath.directory({}, names, false, display);
            char target[4097];
            const ssize_t n = ::readlinkat(parent.fd.get(), item.back().c_str(), target, 4096);
            if (n < 0) throw FileError::posix(errno, display);
            if (!beneath.contains(parent.names, std::string_view(target, static_cast<size_t>(n)))) {
                ::unlinkat(parent.fd.get(), item.back().c_str(), 0);
                throw ArchiveError(ArchiveError::Case::uncontainedSymlink, display);
            }
        }
    }
    // Deepest first, so that a parent's time is set after its children's.
    std::stable_sort(directories.begin(), directories.end(),
                     [](const Deferred& a, const Deferred& b) {
                         return a.names.size() > b.names.size();
                     });
    for (const Deferred& directory : directories) {
        const detail::Location location =
            beneath.directory({}, directory.names, false, directory.display);
        detail::FileDescriptor fd(
            ::openat(location.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0) throw FileError::posix(errno, directory.display);
        detail::applyAttributes(fd.get(), directory.attributes, directory.display);
    }
}

}  // namespace zip
