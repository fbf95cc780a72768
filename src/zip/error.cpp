#include "zip/error.hpp"

#include <cstring>

namespace zip {
namespace {

std::string withPath(std::string message, const std::string& path) {
    if (!path.empty()) message += " (" + path + ")";
    return message;
}

std::string withDetail(std::string message, const std::string& detail) {
    if (!detail.empty()) {
        if (!message.empty() && message.back() == '.') message.pop_back();
        message += ": " + detail;
        if (message.back() != '.') message += '.';
    }
    return message;
}

const char* archiveMessage(ArchiveError::Case c) {
    using C = ArchiveError::Case;
    switch (c) {
        case C::unreadableArchive:
            return "The archive cannot be read.";
        case C::unwritableArchive:
            return "The archive cannot be written.";
        case C::invalidEntryPath:
            return "The entry path is not valid.";
        case C::invalidCompressionMethod:
            return "The entry uses an unsupported compression method.";
        case C::invalidCRC32:
            return "The entry's data does not match its CRC-32 checksum.";
        case C::cancelledOperation:
            return "The operation was cancelled.";
        case C::invalidBufferSize:
            return "The buffer size must be at least 1 byte.";
        case C::invalidEntrySize:
            return "The entry's size is not valid.";
        case C::invalidLocalHeaderDataOffset:
            return "The entry's data offset is not valid.";
        case C::invalidLocalHeaderSize:
            return "The entry's local header size is not valid.";
        case C::invalidCentralDirectoryOffset:
            return "The central directory offset is not valid.";
        case C::invalidCentralDirectorySize:
            return "The central directory size is out of range.";
        case C::invalidCentralDirectoryEntryCount:
            return "The central directory entry count is out of range.";
        case C::missingEndOfCentralDirectoryRecord:
            return "The file is not a ZIP archive: no end of central directory record was found.";
        case C::uncontainedSymlink:
            return "The symbolic link points outside the destination directory.";
    }
    return "Unknown archive error.";
}

const char* entryMessage(EntryError::Case c) {
    switch (c) {
        case EntryError::Case::invalidDataError:
            return "The extra field data is not valid.";
        case EntryError::Case::missingPermissionsAttributeError:
            return "The item's attributes lack its permissions.";
        case EntryError::Case::missingModificationDateAttributeError:
            return "The item's attributes lack its modification date.";
    }
    return "Unknown entry error.";
}

const char* fileMessage(FileError::Case c) {
    switch (c) {
        case FileError::Case::posix:
            return "A file operation failed.";
        case FileError::Case::fileReadNoSuchFile:
            return "The file does not exist.";
        case FileError::Case::fileReadNoPermission:
            return "The file cannot be read.";
        case FileError::Case::fileReadInvalidFileName:
            return "The path lies outside the destination directory.";
        case FileError::Case::fileReadTooLarge:
            return "The file is too large.";
        case FileError::Case::fileWriteFileExists:
            return "The file already exists.";
    }
    return "Unknown file error.";
}

}  // namespace

Error::Error(const std::string& message, std::string path)
    : std::runtime_error(withPath(message, path)), path_(std::move(path)) {}

ArchiveError::ArchiveError(Case errorCase, std::string path, const std::string& detail)
    : Error(withDetail(archiveMessage(errorCase), detail), std::move(path)), case_(errorCase) {}

EntryError::EntryError(Case errorCase, std::string path)
    : Error(entryMessage(errorCase), std::move(path)), case_(errorCase) {}

CompressionError::CompressionError(Case errorCase, const std::string& detail)
    : Error(withDetail(errorCase == Case::invalidStream
                           ? "The compression stream could not be set up."
                           : "The compressed data is corrupted.",
                       detail),
            {}),
      case_(errorCase) {}

DataError::DataError(Case errorCase, const std::string& detail, std::string path)
    : Error(withDetail(errorCase == Case::unreadableFile ? "The data could not be read."
                                                         : "The data could not be written.",
                       detail),
            std::move(path)),
      case_(errorCase) {}

FileError::FileError(Case errorCase, std::string path)
    : FileError(errorCase, 0, std::move(path), fileMessage(errorCase)) {}

FileError::FileError(Case errorCase, int code, std::string path, const std::string& message)
    : Error(message, std::move(path)), case_(errorCase), posixCode_(code) {}

FileError FileError::posix(int code, std::string path) {
    // Codes outside the range the system knows become EPERM.
    if (code <= 0 || code > 133) code = 1;
    std::string message = "A file operation failed: " + detail::systemMessage(code) + ".";
    return FileError(Case::posix, code, std::move(path), message);
}

namespace detail {

std::string systemMessage(int code) {
    // The GNU strerror_r: thread-safe, returns either the buffer or a static text.
    char buffer[256];
    return ::strerror_r(code, buffer, sizeof buffer);
}

}  // namespace detail

}  // namespace zip
