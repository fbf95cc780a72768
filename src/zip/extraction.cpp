// Extraction of entries to the file system. Every item is created by name inside a directory
// held open, never through a path, and its attributes are set on the open item, so that nothing
// swapped in meanwhile can redirect a write or a change of mode.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "beneath.hpp"
#include "zip/archive.hpp"
#include "zip/file_system.hpp"

namespace zip {
namespace detail {
namespace {

bool exists(int directory, const std::string& name, const std::string& display) {
    struct stat st {};
    if (::fstatat(directory, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return true;
    if (errno == ENOENT) return false;
    throw FileError::posix(errno, display);
}

}  // namespace

void applyAttributes(int fd, const FileAttributes& attributes, const std::string& display) {
    if (attributes.posixPermissions && ::fchmod(fd, *attributes.posixPermissions) != 0)
        throw FileError::posix(errno, display);
    if (attributes.modificationDate) {
        const timespec times[2] = {{0, UTIME_OMIT}, timespecOf(*attributes.modificationDate)};
        if (::futimens(fd, times) != 0) throw FileError::posix(errno, display);
    }
}

uint32_t extractAt(const Archive& archive, const Entry& entry, const Placement& placement,
                   int64_t bufferSize, bool skipCRC32, bool allowUncontainedSymlinks,
                   Progress* progress) {
    const int parent = placement.parent.fd.get();
    const char* name = placement.name.c_str();
    const std::string& where = placement.display;
    const FileAttributes attributes = extractionAttributes(entry);
    switch (entry.type()) {
        case Entry::EntryType::directory: {
            bool created = false;
            try {
                const uint32_t crc = archive.extract(entry, bufferSize, skipCRC32, progress,
                                                     [&](ByteView) {
                                                         if (::mkdirat(parent, name, 0755) == 0) {
                                                             created = true;
                                                         } else if (errno != EEXIST) {
                                                             throw FileError::posix(errno, where);
                                                         }
                                                     });
                FileDescriptor directory(
                    ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (directory.get() < 0) {
                    if (errno == ELOOP || errno == ENOTDIR)
                        throw FileError(FileError::Case::fileWriteFileExists, where);
                    throw FileError::posix(errno, where);
                }
                applyAttributes(directory.get(), attributes, where);
                return crc;
            } catch (...) {
                if (created) ::unlinkat(parent, name, AT_REMOVEDIR);
                throw;
            }
        }
        case Entry::EntryType::symlink: {
            if (exists(parent, placement.name, where))
                throw FileError(FileError::Case::fileWriteFileExists, where);
            bool created = false;
            try {
                const uint32_t crc =
                    archive.extract(entry, bufferSize, skipCRC32, progress, [&](ByteView bytes) {
                        const std::string target(bytes.begin(), bytes.end());
                        if (!isValidUTF8(target) || target.empty() ||
                            target.find('\0') != std::string::npos) {
                            throw ArchiveError(ArchiveError::Case::invalidEntryPath, where,
                                               "the symbolic link target is not a valid path");
                        }
                        // Judged where it really leads, through the links already on disk.
                        if (!allowUncontainedSymlinks &&
                            !placement.beneath.contains(placement.parent.names, target)) {
                            throw ArchiveError(ArchiveError::Case::uncontainedSymlink, where);
                        }
                        if (::symlinkat(target.c_str(), parent, name) != 0) {
                            if (errno == EEXIST)
                                throw FileError(FileError::Case::fileWriteFileExists, where);
                            throw FileError::posix(errno, where);
                        }
                        created = true;
                    });
                // A link's own mode cannot be changed here; its time can, by name in the
                // directory held open, without following it.
                if (attributes.modificationDate) {
                    const timespec times[2] = {{0, UTIME_OMIT},
                                               timespecOf(*attributes.modificationDate)};
                    if (::utimensat(parent, name, times, AT_SYMLINK_NOFOLLOW) != 0)
                        throw FileError::posix(errno, where);
                }
                return crc;
            } catch (...) {
                if (created) ::unlinkat(parent, name, 0);
                throw;
            }
        }
        case Entry::EntryType::file:
            break;
    }
    // Never through an existing item, a symbolic link included.
    FileDescriptor fd(
        ::openat(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        if (errno == EEXIST) throw FileError(FileError::Case::fileWriteFileExists, where);
        throw FileError::posix(errno, where);
    }
    FILE* out = ::fdopen(fd.get(), "wb");
    if (out == nullptr) {
        const int error = errno;
        ::unlinkat(parent, name, 0);
        throw FileError::posix(error, where);
    }
    fd.release();
    try {
        const uint32_t crc = archive.extract(entry, bufferSize, skipCRC32, progress,
                                             [&](ByteView piece) {
                                                 if (writeChunk(piece, out) != piece.size()) {
                                                     throw DataError(
                                                         DataError::Case::unwritableFile, {},
                                                         where);
                                                 }
                                             });
        if (std::fflush(out) != 0) throw DataError(DataError::Case::unwritableFile, {}, where);
        applyAttributes(::fileno(out), attributes, where);
        FILE* closing = std::exchange(out, nullptr);
        if (std::fclose(closing) != 0) throw DataError(DataError::Case::unwritableFile, {}, where);
        return crc;
    } catch (...) {
        if (out != nullptr) std::fclose(out);
        ::unlinkat(parent, name, 0);
        throw;
    }
}

}  // namespace detail

uint32_t Archive::extract(const Entry& entry, const std::filesystem::path& destination,
                          int64_t bufferSize, bool skipCRC32, bool allowUncontainedSymlinks,
                          Progress* progress) const {
    detail::checkedBufferSize(bufferSize);
    const std::string where = destination.string();
    std::filesystem::path item = destination;
    if (item.filename().empty()) item = item.parent_path();  // "dir/" names "dir"
    const std::string name = item.filename().string();
    if (name.empty() || name == "." || name == ".." ||
        name.find('\0') != std::string::npos || where.find('\0') != std::string::npos) {
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, where,
                           "the destination names no item");
    }
    // The item's directory is the root its link, if it is one, must stay inside.
    const detail::Beneath beneath(item.parent_path(), true);
    const detail::Location parent{detail::FileDescriptor(::fcntl(beneath.fd(), F_DUPFD_CLOEXEC, 0)),
                                  {}};
    if (parent.fd.get() < 0) throw FileError::posix(errno, where);
    return detail::extractAt(*this, entry, {beneath, parent, name, where}, bufferSize, skipCRC32,
                             allowUncontainedSymlinks, progress);
}

}  // namespace zip
