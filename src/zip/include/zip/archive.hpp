// A ZIP archive kept in a file or in memory. Opening finds and validates the end of central
// directory record (and the ZIP64 end records before it); walking yields the entries in central
// directory order. Entries are extracted, added and removed here, and the record writers those
// operations are built from live here too.
//
// An Archive is a handle: copies share one archive and its one stdio stream, and iterators keep it
// alive. One archive is used from one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "zip/attributes.hpp"
#include "zip/compression.hpp"
#include "zip/entry.hpp"
#include "zip/error.hpp"
#include "zip/memory_file.hpp"
#include "zip/progress.hpp"
#include "zip/records.hpp"
#include "zip/text.hpp"

namespace zip {

namespace detail {
struct ArchiveState;
struct ArchiveAccess;
struct DirectoryWindow;
struct PreparedAddition;
}  // namespace detail

class Archive {
  public:
    enum class AccessMode { create = 0, read = 1, update = 2 };
    static std::optional<AccessMode> accessMode(int rawValue);
    enum class ModifyOperation { add, remove };

    using ArchiveError = zip::ArchiveError;
    using EndOfCentralDirectoryRecord = zip::EndOfCentralDirectoryRecord;
    using ZIP64EndOfCentralDirectoryRecord = zip::ZIP64EndOfCentralDirectoryRecord;
    using ZIP64EndOfCentralDirectoryLocator = zip::ZIP64EndOfCentralDirectoryLocator;
    struct ZIP64EndOfCentralDirectory {
        ZIP64EndOfCentralDirectoryRecord record;
        ZIP64EndOfCentralDirectoryLocator locator;
        bool operator==(const ZIP64EndOfCentralDirectory&) const = default;
    };

    // Opens the archive file at `path`. `create` writes an empty archive there and fails with
    // FileError fileWriteFileExists when anything exists at the path; `read` and `update` fail
    // with the system error of opening it (FileError::posix, with the path), and every mode fails
    // with missingEndOfCentralDirectoryRecord when the file is not an archive.
    Archive(const std::filesystem::path& path, AccessMode mode,
            std::optional<TextEncoding> pathEncoding = std::nullopt);
    // Opens an archive over a copy of `data`; `create` starts an empty archive.
    Archive(Bytes data, AccessMode mode, std::optional<TextEncoding> pathEncoding = std::nullopt);
    // The same, yielding nothing instead of an error.
    static std::optional<Archive> open(const std::filesystem::path& path, AccessMode mode,
                                       std::optional<TextEncoding> pathEncoding = std::nullopt);
    static std::optional<Archive> open(Bytes data, AccessMode mode,
                                       std::optional<TextEncoding> pathEncoding = std::nullopt);

    // The file path, or "memory://" for an archive in memory.
    const std::string& url() const;
    bool isMemoryArchive() const;
    AccessMode accessMode() const;
    std::optional<TextEncoding> pathEncoding() const;
    const EndOfCentralDirectoryRecord& endOfCentralDirectoryRecord() const;
    const std::optional<ZIP64EndOfCentralDirectory>& zip64EndOfCentralDirectory() const;
    // The current bytes of a memory archive; nothing for a file archive.
    std::optional<Bytes> data() const;
    // The open stream, positioned by whoever uses it last.
    FILE* archiveFile() const;

    // Directory values: the ZIP64 end record's when present, else the 32-bit record's.
    uint64_t totalNumberOfEntriesInCentralDirectory() const;
    uint64_t sizeOfCentralDirectory() const;
    uint64_t offsetToStartOfCentralDirectory() const;

    // Walks the central directory. A damaged record, an encrypted entry or a value that points
    // outside the archive ends the walk there; it never throws.
    class Iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = const Entry*;
        using reference = const Entry&;

        Iterator() = default;
        std::optional<Entry> next();

        const Entry& operator*() const { return *current_; }
        const Entry* operator->() const { return &*current_; }
        Iterator& operator++() {
            current_ = next();
            return *this;
        }
        void operator++(int) { ++*this; }
        bool operator==(std::default_sentinel_t) const { return !current_; }

      private:
        friend class Archive;
        explicit Iterator(std::shared_ptr<detail::ArchiveState> state);
        std::shared_ptr<detail::ArchiveState> state_;
        std::shared_ptr<detail::DirectoryWindow> window_;  // read-ahead of the records, or none
        uint64_t index_ = 0;
        uint64_t count_ = 0;
        uint64_t position_ = 0;
        uint64_t fileSize_ = 0;
        std::optional<Entry> current_;
    };
    Iterator makeIterator() const;
    Iterator begin() const;
    std::default_sentinel_t end() const { return {}; }

    // The first entry whose path (decoded with the archive's path encoding when it has one)
    // equals `path`.
    std::optional<Entry> entry(std::string_view path) const;
    std::optional<Entry> operator[](std::string_view path) const { return entry(path); }
    // Fails unless the walk reaches every entry the end records count (invalidCentralDirectory-
    // EntryCount) and no two entries' local headers and data share bytes
    // (invalidLocalHeaderDataOffset). The walk is done once per opened archive; lookups by path
    // use what it learnt.
    void checkDirectory() const;

    // Extraction to a consumer: pieces of at most `bufferSize` bytes in order (one empty piece for
    // a directory or an empty file). Returns the CRC-32 of the data (0 for directories and when
    // skipped). Unless `skipCRC32` is set, data whose CRC-32 differs from the entry's checksum
    // fails with invalidCRC32 after the last piece. Inflated data that runs past the entry's
    // declared size fails with invalidEntrySize.
    uint32_t extract(const Entry& entry, int64_t bufferSize, bool skipCRC32, Progress* progress,
                     const DataConsumer& consumer) const;
    uint32_t extract(const Entry& entry, const DataConsumer& consumer) const {
        return extract(entry, defaultChunkSize, false, nullptr, consumer);
    }
    // Extraction to a new file, directory or symbolic link at `destination`, with the entry's
    // permissions and modification time. An existing item at the destination is never
    // overwritten (fileWriteFileExists); a link whose target leaves its directory fails with
    // uncontainedSymlink unless permitted. A failed extraction removes what it created.
    uint32_t extract(const Entry& entry, const std::filesystem::path& destination,
                     int64_t bufferSize = defaultChunkSize, bool skipCRC32 = false,
                     bool allowUncontainedSymlinks = false, Progress* progress = nullptr) const;

    // Adding entries (create and update modes). The new entry's local header and data go where the
    // central directory began; the directory is written again behind them with the new record,
    // followed by fresh end records (ZIP64 ones where counts, sizes or offsets need them). Any
    // failure, cancellation included, restores the archive's previous bytes and then rethrows;
    // if the restoring itself fails, its error is thrown instead. An archive opened for reading
    // fails with unwritableArchive and is not touched.
    //
    // From a provider: `uncompressedSize` bytes are asked for in pieces of at most `bufferSize`.
    // Directories and symbolic links are always stored; a directory's provider is called once
    // for nothing, a link's once for its whole target. `permissions` default to 0644 for files
    // and links and 0755 for directories. A provider that delivers fewer bytes than asked fails
    // with DataError::unreadableFile.
    void addEntry(std::string_view path, Entry::EntryType type, int64_t uncompressedSize,
                  Date modificationDate, std::optional<uint16_t> permissions,
                  CompressionMethod compressionMethod, int64_t bufferSize, Progress* progress,
                  const DataProvider& provider);
    // From the file-system item at `item` (examined with lstat: a symbolic link is stored as a
    // link): its type, size, modification time and mode. A directory's path gets a trailing "/".
    // Fails with FileError fileReadNoSuchFile or fileReadNoPermission, or with the system error of
    // opening it; an item that is neither a regular file, a directory nor a link is refused.
    void addEntry(std::string_view path, const std::filesystem::path& item,
                  CompressionMethod compressionMethod = CompressionMethod::none,
                  int64_t bufferSize = defaultChunkSize, Progress* progress = nullptr);
    // The item at `baseDirectory` / `path`.
    void addEntryRelativeTo(std::string_view path, const std::filesystem::path& baseDirectory,
                            CompressionMethod compressionMethod = CompressionMethod::none,
                            int64_t bufferSize = defaultChunkSize, Progress* progress = nullptr);

    // Removes `entry` (one read from this archive): the other entries, and any bytes before the
    // first entry, are copied unchanged into a new archive beside this one, which then takes this
    // archive's place (rename(2) over the file; a memory archive takes the new bytes) and is
    // reopened for update. The archive is untouched by any failure before that replacement. An
    // entry that is not in the archive fails with invalidEntryPath; a directory that lists fewer
    // entries than its count, with invalidCentralDirectoryEntryCount. Should the replaced file
    // fail to reopen, the archive is closed and every later call fails.
    void remove(const Entry& entry, int64_t bufferSize = defaultChunkSize,
                Progress* progress = nullptr);

    // Many additions with one directory write. While a transaction is open each addEntry appends
    // its entry without writing the directory: a failed addition is undone alone and the others
    // stay pending. commit() writes the directory and end records; rollback(), or destroying an
    // open transaction, restores the archive as it was before the transaction began. While it is
    // open the archive has no directory on disk: walks yield nothing and removal fails; entries
    // read before it can still be extracted. A failed commit rolls the transaction back.
    class Transaction {
      public:
        Transaction(Transaction&& other) noexcept = default;
        Transaction& operator=(Transaction&&) = delete;
        ~Transaction();
        void commit();
        void rollback();
        bool isOpen() const;

      private:
        friend class Archive;
        explicit Transaction(std::shared_ptr<detail::ArchiveState> state)
            : state_(std::move(state)) {}
        std::shared_ptr<detail::ArchiveState> state_;
    };
    // Fails with unwritableArchive in read mode or when a transaction is already open.
    Transaction beginTransaction();

    // Entry data at the stream's current position (the entry's first data byte).
    uint32_t readStoredEntry(const Entry& entry, size_t bufferSize, bool skipCRC32,
                             Progress* progress, const DataConsumer& consumer) const;
    uint32_t readDeflatedEntry(const Entry& entry, size_t bufferSize, bool skipCRC32,
                               Progress* progress, const DataConsumer& consumer) const;

    // Record writers: each writes at the stream's current position and leaves the stream after
    // what it wrote; positioning is the caller's business. None changes the archive's fields.
    // Writes an entry's data; returns (bytes written, CRC-32 of the uncompressed bytes).
    std::pair<uint64_t, uint32_t> writeEntry(uint64_t uncompressedSize, Entry::EntryType type,
                                             CompressionMethod compressionMethod, size_t bufferSize,
                                             Progress* progress, const DataProvider& provider);
    // `forceZIP64` writes the ZIP64 form whatever the sizes, so that a header written again with
    // the final sizes keeps its length.
    LocalFileHeader writeLocalFileHeader(std::string_view path, CompressionMethod compressionMethod,
                                         uint64_t uncompressedSize, uint64_t compressedSize,
                                         uint32_t checksum, uint16_t dosTime, uint16_t dosDate,
                                         bool forceZIP64 = false);
    CentralDirectoryStructure writeCentralDirectoryStructure(const LocalFileHeader& localFileHeader,
                                                             uint64_t relativeOffset,
                                                             uint32_t externalFileAttributes);
    std::pair<EndOfCentralDirectoryRecord, std::optional<ZIP64EndOfCentralDirectory>>
    writeEndOfCentralDirectory(const CentralDirectoryStructure& centralDirectoryStructure,
                               uint64_t startOfCentralDirectory,
                               uint64_t startOfEndOfCentralDirectory, ModifyOperation operation);
    ZIP64EndOfCentralDirectory writeZIP64EndOfCentralDirectory(
        uint64_t totalNumberOfEntries, uint64_t sizeOfCentralDirectory,
        uint64_t offsetOfStartOfCentralDirectory, uint64_t offsetOfEndOfCentralDirectory);
    // Makes written end records the archive's own.
    void setEndOfCentralDirectory(EndOfCentralDirectoryRecord record,
                                  std::optional<ZIP64EndOfCentralDirectory> zip64);

    // Progress totals: 1 for a directory, else the uncompressed size.
    static int64_t readingUnitCount(const Entry& entry);
    // The reading units of all entries.
    int64_t totalReadingUnitCount() const;
    // The directory's start minus the entry's local size; 0 for an entry that does not fit.
    int64_t removalUnitCount(const Entry& entry) const;
    // 1 for a directory, else its size; -1 when the item cannot be examined.
    static int64_t addingUnitCount(const std::filesystem::path& item);

  private:
    friend struct detail::ArchiveAccess;
    explicit Archive(std::shared_ptr<detail::ArchiveState> state) : state_(std::move(state)) {}
    // The stream, or unwritableArchive for a read-mode or closed archive.
    FILE* writableFile() const;
    // Writes a checked addition behind the pending ones (or alone, with a directory write of its
    // own, outside a transaction). Its data is encoded here from `provider` unless it was encoded
    // beforehand. Any failure undoes this addition and rethrows.
    void writeAddition(detail::PreparedAddition& addition, size_t bufferSize, Progress* progress,
                       const DataProvider& provider);
    // Writes the end records for a directory of `count` entries and `size` bytes at `start`; the
    // records are written at `endStart`, the current position.
    std::pair<EndOfCentralDirectoryRecord, std::optional<ZIP64EndOfCentralDirectory>>
    writeEndRecords(uint64_t count, uint64_t size, uint64_t start, uint64_t endStart);
    void beginPendingAdditions(bool explicitTransaction);
    void commitPendingAdditions();
    void abandonPendingAdditions();
    void replaceCurrentArchive(Archive& temporary, const std::filesystem::path& temporaryPath,
                               const EndOfCentralDirectoryRecord& record,
                               const std::optional<ZIP64EndOfCentralDirectory>& zip64);
    std::shared_ptr<detail::ArchiveState> state_;
};

}  // namespace zip
