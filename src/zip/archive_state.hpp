// The shared state behind Archive handles and their iterators.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "zip/archive.hpp"

namespace zip::detail {

struct ArchiveState {
    ~ArchiveState() {
        if (file != nullptr) std::fclose(file);
    }
    std::optional<std::filesystem::path> path;  // none for a memory archive
    std::string url;
    Archive::AccessMode accessMode = Archive::AccessMode::read;
    FILE* file = nullptr;
    EndOfCentralDirectoryRecord endOfCentralDirectoryRecord;
    std::optional<Archive::ZIP64EndOfCentralDirectory> zip64EndOfCentralDirectory;
    std::optional<TextEncoding> pathEncoding;
    std::shared_ptr<MemoryFile> memoryFile;

    // Entries being added whose directory is not written yet. The new entries' local headers and
    // data start where the directory began; the directory and end records are written when the
    // additions are committed. `savedTail` holds the bytes from the directory's start to the end
    // of the archive as they were, to restore them when the additions are abandoned.
    struct PendingAdditions {
        uint64_t start = 0;
        Bytes savedTail;
        uint64_t dataEnd = 0;  // where the next entry's local header goes
        Bytes records;         // central directory records of the new entries
        uint64_t count = 0;    // new entries
        bool explicitTransaction = false;
        bool lost = false;  // bytes of the new entries could not be written: commit rolls back
    };
    std::optional<PendingAdditions> pending;

    // What one walk of the directory learnt, kept while the archive is open: where each entry's
    // record lies (relative to the directory's start, so that additions, which move the directory
    // but not its records, keep it valid), the first entry of each path, and whether the walk saw
    // every entry the end records count and no two entries share bytes.
    struct EntryIndex {
        struct Item {
            uint64_t recordOffset = 0;
            uint64_t localStart = 0;
            uint64_t localEnd = 0;
        };
        std::vector<Item> items;
        std::unordered_map<std::string, size_t> byPath;
        uint64_t nextRecordOffset = 0;  // where the walk stopped
        uint64_t dataEnd = 0;           // the furthest end of the entries' local ranges
        bool complete = false;
        bool stopsAtEncryptedEntry = false;  // the walk stopped at a record of an encrypted entry
        // Set when the local ranges of two entries overlap: the sentence that says which.
        std::optional<std::string> overlap;
    };
    std::optional<EntryIndex> index;
};

// An owned file descriptor, closed unless released.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) FileDescriptor(std::exchange(fd_, other.release()));
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

// An addition made ready apart from the archive: its checked values and, once `encoded`, its data
// as the archive takes it (compressed or stored) with the CRC-32 of the uncompressed bytes. It can
// be made on another thread and written later, in its turn, with the same bytes as addEntry writes.
struct PreparedAddition {
    std::string path;
    Entry::EntryType type = Entry::EntryType::file;
    uint64_t size = 0;
    Date modificationDate;
    std::optional<uint16_t> permissions;
    CompressionMethod compressionMethod = CompressionMethod::none;
    uint64_t bound = 0;  // the most bytes the data can take in the archive
    bool encoded = false;
    uint64_t written = 0;
    uint32_t crc = 0;
    Bytes data;
};
// The values of an addition checked as addEntry checks them (invalidEntryPath, invalidEntrySize),
// with the method settled: only files are compressed. `url` names the archive in errors.
PreparedAddition checkedAddition(const std::string& url, std::string_view path,
                                 Entry::EntryType type, int64_t uncompressedSize,
                                 Date modificationDate, std::optional<uint16_t> permissions,
                                 CompressionMethod compressionMethod);
// Encodes an entry's data as Archive::writeEntry does, handing the bytes for the archive to `sink`.
std::pair<uint64_t, uint32_t> encodeEntry(const std::string& url, uint64_t uncompressedSize,
                                          Entry::EntryType type,
                                          CompressionMethod compressionMethod, size_t bufferSize,
                                          Progress* progress, const DataProvider& provider,
                                          const DataConsumer& sink);
// Encodes the addition's data into its `data`, reserving its bound up front.
void encodeInMemory(const std::string& url, PreparedAddition& addition, size_t bufferSize,
                    Progress* progress, const DataProvider& provider);

// A file-system item opened for adding: what one look at it gives (a link is itself, not its
// target), its entry path (a directory's ending in "/"), and its bytes: a regular file held open,
// a link's target read. Fails as Archive::addEntry does for the item.
struct ItemSource {
    std::string path;
    std::string where;  // the item's path, for errors
    Entry::EntryType type = Entry::EntryType::file;
    int64_t size = 0;
    Date date;
    uint16_t mode = 0;
    FileDescriptor fd;
    Bytes target;
    // Reads the item's bytes; the source must stay where it is while the provider is used.
    DataProvider provider() const;
};
ItemSource openItem(std::string_view path, const std::filesystem::path& item);

// What tree operations of this library use of an archive beyond its public interface.
struct ArchiveAccess {
    static void writeAddition(Archive& archive, PreparedAddition& addition, size_t bufferSize,
                              const DataProvider& provider) {
        archive.writeAddition(addition, bufferSize, nullptr, provider);
    }
};

// Opens an existing archive file fully buffered: "rb" for read, "rb+" otherwise. Fails with the
// system error, and for anything but a regular file.
FilePtr openArchiveFile(const std::filesystem::path& path, Archive::AccessMode mode);
// Fails with cancelledOperation when the progress object was cancelled.
void checkNotCancelled(const Progress* progress);
// The buffer size of a chunk loop: at least 1 (else invalidBufferSize), at most 64 MiB.
size_t checkedBufferSize(int64_t bufferSize);
// Writes all bytes or fails with DataError::unwritableFile.
size_t writeAll(ByteView bytes, FILE* file);

// The stream's size: its end position. Nothing when the stream cannot be positioned.
std::optional<uint64_t> streamSize(FILE* file);
// The archive's size as streamSize() gives it, without moving the stream of an archive opened
// for reading.
std::optional<uint64_t> archiveSize(const ArchiveState& state);
// Exactly `count` bytes at `offset`, when they lie inside the first `fileSize` bytes and can be
// read; nothing otherwise.
std::optional<Bytes> readAt(FILE* file, uint64_t offset, size_t count, uint64_t fileSize);
// A provider of record variable parts read on from the stream's position, refusing to go past
// `limit` bytes.
AdditionalDataProvider streamProvider(FILE* file, uint64_t limit);

// The directory's entry count and start: the ZIP64 end record's when present, else the 32-bit
// record's.
uint64_t directoryCount(const ArchiveState& state);
uint64_t directoryStart(const ArchiveState& state);
// An entry as the walk reads it, with the lengths the walk needs besides.
struct EntryRead {
    Entry entry;
    uint64_t recordLength = 0;  // bytes of the central record
    // Bytes from the local header to the end of the data and of the descriptor as it lies in the
    // archive: a descriptor without its signature takes 12 bytes (20 with 64-bit sizes), where
    // Entry::localSize() counts 16 (24) whatever the form.
    uint64_t localExtent = 0;
};
// Central records read ahead in blocks, for a walk of an archive that cannot change: one read
// serves many records instead of two reads each, between which the local headers are read.
struct DirectoryWindow {
    static constexpr size_t kBlock = 65536;
    uint64_t start = 0;
    Bytes bytes;
    // The `count` bytes at `offset`, read anew with those after them when the block does not hold
    // them; nothing when they do not lie inside the first `fileSize` bytes or cannot be read. The
    // view lasts until the next call.
    std::optional<ByteView> view(FILE* file, uint64_t offset, size_t count, uint64_t fileSize);
};
// The entry whose central record starts at `position`, read through `window` when one is given;
// nothing when the record or its local header is damaged, the entry is encrypted, or a value
// points outside the first `fileSize` bytes.
std::optional<EntryRead> readEntryAt(FILE* file, uint64_t position, uint64_t fileSize,
                                     DirectoryWindow* window = nullptr);
// The archive's index, built by one walk of its directory when there is none yet. Null while
// additions are pending and no index was built before they began.
const ArchiveState::EntryIndex* entryIndex(ArchiveState& state);
// Extends the index with the records added behind the ones it knows.
void extendIndex(ArchiveState& state);

}  // namespace zip::detail
