// The errors of the ZIP component. Every failure is a zip::Error (a std::runtime_error) whose
// what() is a complete English sentence; each subclass carries its enumerated case, and every
// error that concerns a file-system item carries that item's path.
#pragma once

#include <stdexcept>
#include <string>

namespace zip {

class Error : public std::runtime_error {
  public:
    Error(const std::string& message, std::string path);
    // The file-system path the error concerns; empty when none.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The archive-level errors; the numeric code of a case is its value.
class ArchiveError : public Error {
  public:
    enum class Case {
        unreadableArchive = 0,
        unwritableArchive = 1,
        invalidEntryPath = 2,
        invalidCompressionMethod = 3,
        invalidCRC32 = 4,
        cancelledOperation = 5,
        invalidBufferSize = 6,
        invalidEntrySize = 7,
        invalidLocalHeaderDataOffset = 8,
        invalidLocalHeaderSize = 9,
        invalidCentralDirectoryOffset = 10,
        invalidCentralDirectorySize = 11,
        invalidCentralDirectoryEntryCount = 12,
        missingEndOfCentralDirectoryRecord = 13,
        uncontainedSymlink = 14,
    };
    explicit ArchiveError(Case errorCase, std::string path = {}, const std::string& detail = {});
    Case errorCase() const { return case_; }
    int code() const { return static_cast<int>(case_); }

  private:
    Case case_;
};

// Errors about the file-system attributes of an entry.
class EntryError : public Error {
  public:
    enum class Case {
        invalidDataError = 0,
        missingPermissionsAttributeError = 1,
        missingModificationDateAttributeError = 2,
    };
    explicit EntryError(Case errorCase, std::string path = {});
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// Failures of the raw DEFLATE streams.
class CompressionError : public Error {
  public:
    enum class Case { invalidStream = 0, corruptedData = 1 };
    explicit CompressionError(Case errorCase, const std::string& detail = {});
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// Read and write failures on a stream.
class DataError : public Error {
  public:
    enum class Case { unreadableFile = 0, unwritableFile = 1 };
    explicit DataError(Case errorCase, const std::string& detail = {}, std::string path = {});
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// File-system failures: a system call's errno, or one of the named conditions.
class FileError : public Error {
  public:
    enum class Case {
        posix,                    // a system call failed; posixCode() is its errno
        fileReadNoSuchFile,       // the item does not exist
        fileReadNoPermission,     // the item cannot be read
        fileReadInvalidFileName,  // the path leaves the directory it must stay in
        fileReadTooLarge,         // the item's size cannot be represented
        fileWriteFileExists,      // the destination already exists and is never overwritten
    };
    FileError(Case errorCase, std::string path);
    // The error of a failed system call: `code` is its errno (1, EPERM, when not a known code).
    static FileError posix(int code, std::string path);
    Case errorCase() const { return case_; }
    int posixCode() const { return posixCode_; }

  private:
    FileError(Case errorCase, int code, std::string path, const std::string& message);
    Case case_;
    int posixCode_ = 0;
};

namespace detail {
// The system's text for an errno value; safe to call from any thread.
std::string systemMessage(int code);
}  // namespace detail

}  // namespace zip
