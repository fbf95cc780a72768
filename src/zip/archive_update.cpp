// Adding and removing entries, and undoing additions.
//
// An addition writes the new entry where the central directory began, then the directory again
// with the new record and fresh end records. Before anything is written, the bytes from the
// directory's start to the end of the archive are kept in memory; any failure cuts the archive
// back to the directory's start and writes them again, so the archive is byte for byte what it was.
//
// A removal builds the new archive beside the old one and replaces it in one rename(2), so the
// original is never modified in place.
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <tuple>

#include "archive_state.hpp"
#include "compression_detail.hpp"
#include "zip/archive.hpp"
#include "zip/file_system.hpp"

namespace zip {

using detail::ArchiveState;
using detail::checkedBufferSize;
using detail::checkNotCancelled;
using detail::FileDescriptor;
using detail::FilePtr;
using detail::writeAll;

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMarker32 = 0xFFFFFFFFu;
constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
// Entries whose data cannot take more than this are assembled in memory and written in one go.
constexpr uint64_t kInMemoryEntry = 256 * 1024;

void seekTo(FILE* file, uint64_t offset, const std::string& url) {
    if (offset > kMaxOffset || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        throw DataError(DataError::Case::unwritableFile, "cannot position the archive", url);
    }
}

uint64_t positionOf(FILE* file, const std::string& url) {
    const off_t position = ftello(file);
    if (position < 0)
        throw DataError(DataError::Case::unwritableFile, "cannot position the archive", url);
    return static_cast<uint64_t>(position);
}

void flush(FILE* file, const std::string& url) {
    if (std::fflush(file) != 0 || std::ferror(file) != 0)
        throw DataError(DataError::Case::unwritableFile, {}, url);
}

// Cuts the archive to `size` bytes and positions it there. Buffered bytes not yet written are
// dropped and a pending error indicator is cleared first: this is how failed writes are undone.
void truncateStream(ArchiveState& state, uint64_t size, bool discardBuffered) {
    FILE* file = state.file;
    if (discardBuffered) {
        __fpurge(file);
        std::clearerr(file);
    } else {
        flush(file, state.url);
    }
    if (state.memoryFile) {
        Bytes& bytes = state.memoryFile->data();
        if (size < bytes.size()) bytes.resize(static_cast<size_t>(size));
    } else if (::ftruncate(::fileno(file), static_cast<off_t>(size)) != 0) {
        throw FileError::posix(errno, state.url);
    }
    seekTo(file, size, state.url);
}

// Undoes the one addition that began at `start` while the others stay pending. Their bytes may
// still sit in the stream's buffer, so they are written out before the archive is cut back; when
// that fails they are lost, and committing the pending additions rolls them all back instead.
void undoAddition(ArchiveState& state, uint64_t start) {
    if (std::fflush(state.file) != 0 || std::ferror(state.file) != 0) state.pending->lost = true;
    truncateStream(state, start, true);
}

void checkEntryPath(std::string_view path, const std::string& url) {
    if (path.empty() || path.find('\0') != std::string_view::npos) {
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, url,
                           "an entry path must be non-empty text without NUL characters");
    }
    if (path.size() > 0xFFFF) {
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, url,
                           "the path is longer than 65535 bytes");
    }
    if (!isValidUTF8(path))
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, url,
                           "the path is not valid UTF-8");
}

uint32_t typeBits(Entry::EntryType type) {
    switch (type) {
        case Entry::EntryType::directory:
            return S_IFDIR;
        case Entry::EntryType::symlink:
            return S_IFLNK;
        case Entry::EntryType::file:
            break;
    }
    return S_IFREG;
}

// Runs `body`; on any failure runs `undo` and rethrows the original error, or undo's own error
// when undoing fails as well.
template <class Body, class Undo>
void undoingOnFailure(Body&& body, Undo&& undo) {
    try {
        body();
    } catch (...) {
        const std::exception_ptr original = std::current_exception();
        undo();
        std::rethrow_exception(original);
    }
}

}  // namespace

FILE* Archive::writableFile() const {
    if (state_->accessMode == AccessMode::read) {
        throw ArchiveError(ArchiveError::Case::unwritableArchive, state_->url,
                           "it was opened for reading");
    }
    if (state_->file == nullptr) {
        throw ArchiveError(ArchiveError::Case::unwritableArchive, state_->url,
                           "the archive was closed after a failed replacement");
    }
    return state_->file;
}

// Pending additions

void Archive::beginPendingAdditions(bool explicitTransaction) {
    FILE* file = writableFile();
    const std::string& url = state_->url;
    const uint64_t start = offsetToStartOfCentralDirectory();
    const uint64_t size = sizeOfCentralDirectory();
    const auto fileSize = detail::streamSize(file);
    if (!fileSize)
        throw DataError(DataError::Case::unreadableFile, "cannot position the archive", url);
    if (start > *fileSize || start > kMaxOffset) {
        throw ArchiveError(ArchiveError::Case::invalidCentralDirectoryOffset, url,
                           "the central directory starts past the end of the archive");
    }
    if (size > *fileSize - start) {
        throw ArchiveError(ArchiveError::Case::invalidCentralDirectorySize, url,
                           "the central directory runs past the end of the archive");
    }
    auto tail = detail::readAt(file, start, static_cast<size_t>(*fileSize - start), *fileSize);
    if (!tail)
        throw DataError(DataError::Case::unreadableFile, "cannot read the central directory", url);
    ArchiveState::PendingAdditions pending;
    pending.start = start;
    pending.savedTail = std::move(*tail);
    pending.dataEnd = start;
    pending.explicitTransaction = explicitTransaction;
    state_->pending = std::move(pending);
}

void Archive::abandonPendingAdditions() {
    if (!state_->pending) return;
    const ArchiveState::PendingAdditions pending = std::move(*state_->pending);
    state_->pending.reset();
    truncateStream(*state_, pending.start, true);
    writeAll(pending.savedTail, state_->file);
    flush(state_->file, state_->url);
}

void Archive::commitPendingAdditions() {
    auto& pending = *state_->pending;
    if (pending.count == 0) {
        abandonPendingAdditions();  // nothing added: the saved bytes are the archive
        return;
    }
    undoingOnFailure(
        [&] {
            FILE* file = state_->file;
            const std::string& url = state_->url;
            const uint64_t oldSize = sizeOfCentralDirectory();
            const uint64_t oldCount = totalNumberOfEntriesInCentralDirectory();
            if (oldSize > std::numeric_limits<uint64_t>::max() - pending.records.size())
                throw ArchiveError(ArchiveError::Case::invalidCentralDirectorySize, url);
            if (oldCount > std::numeric_limits<uint64_t>::max() - pending.count)
                throw ArchiveError(ArchiveError::Case::invalidCentralDirectoryEntryCount, url);
            if (pending.lost) {
                throw DataError(DataError::Case::unwritableFile,
                                "entries added before a failed one could not be written", url);
            }
            seekTo(file, pending.dataEnd, url);
            writeAll(ByteView(pending.savedTail).first(static_cast<size_t>(oldSize)), file);
            writeAll(pending.records, file);
            const uint64_t endStart = positionOf(file, url);
            auto [record, zip64] =
                writeEndRecords(oldCount + pending.count, oldSize + pending.records.size(),
                                pending.dataEnd, endStart);
            // An archive that held bytes after its end record is cut after the new one.
            truncateStream(*state_, positionOf(file, url), false);
            flush(file, url);
            state_->pending.reset();
            setEndOfCentralDirectory(std::move(record), std::move(zip64));
            detail::extendIndex(*state_);
        },
        [&] { abandonPendingAdditions(); });
}

Archive::Transaction Archive::beginTransaction() {
    writableFile();
    if (state_->pending) {
        throw ArchiveError(ArchiveError::Case::unwritableArchive, state_->url,
                           "a transaction is already open");
    }
    beginPendingAdditions(true);
    return Transaction(state_);
}

Archive::Transaction::~Transaction() {
    try {
        rollback();
    } catch (...) {
        // Destruction cannot report; an explicit rollback() does.
    }
}

bool Archive::Transaction::isOpen() const {
    return state_ && state_->pending && state_->pending->explicitTransaction;
}

void Archive::Transaction::commit() {
    if (!isOpen()) return;
    Archive(state_).commitPendingAdditions();
}

void Archive::Transaction::rollback() {
    if (!isOpen()) return;
    Archive(state_).abandonPendingAdditions();
}

// Adding

namespace detail {

PreparedAddition checkedAddition(const std::string& url, std::string_view path,
                                 Entry::EntryType type, int64_t uncompressedSize,
                                 Date modificationDate, std::optional<uint16_t> permissions,
                                 CompressionMethod compressionMethod) {
    checkEntryPath(path, url);
    if (uncompressedSize < 0) {
        throw ArchiveError(ArchiveError::Case::invalidEntrySize, url,
                           "an entry's size cannot be negative");
    }
    const auto size = static_cast<uint64_t>(uncompressedSize);
    if (type != Entry::EntryType::file) compressionMethod = CompressionMethod::none;
    if (type == Entry::EntryType::directory && size != 0) {
        throw ArchiveError(ArchiveError::Case::invalidEntrySize, url,
                           "a directory entry holds no data");
    }
    PreparedAddition addition;
    addition.path = std::string(path);
    addition.type = type;
    addition.size = size;
    addition.modificationDate = modificationDate;
    addition.permissions = permissions;
    addition.compressionMethod = compressionMethod;
    addition.bound = maximumCompressedSize(compressionMethod, size);
    return addition;
}

void encodeInMemory(const std::string& url, PreparedAddition& addition, size_t bufferSize,
                    Progress* progress, const DataProvider& provider) {
    addition.data.reserve(static_cast<size_t>(addition.bound));
    std::tie(addition.written, addition.crc) =
        encodeEntry(url, addition.size, addition.type, addition.compressionMethod, bufferSize,
                    progress, provider, [&](ByteView piece) {
                        addition.data.insert(addition.data.end(), piece.begin(), piece.end());
                    });
    addition.encoded = true;
}

}  // namespace detail

void Archive::addEntry(std::string_view path, Entry::EntryType type, int64_t uncompressedSize,
                       Date modificationDate, std::optional<uint16_t> permissions,
                       CompressionMethod compressionMethod, int64_t bufferSize, Progress* progress,
                       const DataProvider& provider) {
    writableFile();
    const size_t chunk = checkedBufferSize(bufferSize);
    detail::PreparedAddition addition =
        detail::checkedAddition(state_->url, path, type, uncompressedSize, modificationDate,
                                permissions, compressionMethod);
    if (progress != nullptr)
        progress->setTotalUnitCount(type == Entry::EntryType::directory ? 1 : uncompressedSize);
    writeAddition(addition, chunk, progress, provider);
}

void Archive::writeAddition(detail::PreparedAddition& addition, size_t bufferSize,
                            Progress* progress, const DataProvider& provider) {
    const std::string& url = state_->url;
    const bool ownsPending = !state_->pending;
    if (ownsPending) beginPendingAdditions(false);
    auto& pending = *state_->pending;
    const uint64_t start = pending.dataEnd;
    undoingOnFailure(
        [&] {
            FILE* file = state_->file;
            const std::string& path = addition.path;
            const uint64_t size = addition.size;
            const Entry::EntryType type = addition.type;
            const CompressionMethod compressionMethod = addition.compressionMethod;
            const uint16_t time = dosTime(addition.modificationDate);
            const uint16_t date = dosDate(addition.modificationDate);
            // The header is written before the data and again after it with the final sizes,
            // and must keep its length: take the ZIP64 form up front whenever the data could need
            // it. Small entries are put together in memory and written once, header first.
            const bool zip64 = addition.bound >= kMarker32;
            if (positionOf(file, url) != start) seekTo(file, start, url);
            uint64_t end = 0;
            if (!addition.encoded && addition.bound <= kInMemoryEntry)
                detail::encodeInMemory(url, addition, bufferSize, progress, provider);
            if (!addition.encoded) {
                writeLocalFileHeader(path, compressionMethod, size, 0, 0, time, date, zip64);
                std::tie(addition.written, addition.crc) =
                    writeEntry(size, type, compressionMethod, bufferSize, progress, provider);
                end = positionOf(file, url);
                seekTo(file, start, url);
            }
            if (!zip64 && addition.written >= kMarker32) {
                throw ArchiveError(ArchiveError::Case::invalidEntrySize, url,
                                   "the compressed data outgrew its header");
            }
            const LocalFileHeader header =
                writeLocalFileHeader(path, compressionMethod, size, addition.written, addition.crc,
                                     time, date, zip64);
            if (addition.encoded) {
                writeAll(addition.data, file);
                end = positionOf(file, url);
            } else {
                seekTo(file, end, url);
            }
            const uint16_t mode =
                addition.permissions.value_or(type == Entry::EntryType::directory
                                                  ? defaultDirectoryPermissions
                                                  : defaultFilePermissions);
            const uint32_t external = ((typeBits(type) | mode) & 0xFFFFu) << 16;
            const Bytes record =
                CentralDirectoryStructure::forNewEntry(header, external, start).data();
            pending.records.insert(pending.records.end(), record.begin(), record.end());
            pending.count += 1;
            pending.dataEnd = end;
        },
        [&] {
            if (ownsPending) {
                abandonPendingAdditions();
            } else {
                undoAddition(*state_, start);
            }
        });
    if (ownsPending) commitPendingAdditions();
}

namespace detail {

DataProvider ItemSource::provider() const {
    switch (type) {
        case Entry::EntryType::directory:
            return [](int64_t, size_t) { return Bytes{}; };
        case Entry::EntryType::symlink:
            return [this](int64_t, size_t) { return target; };
        case Entry::EntryType::file:
            break;
    }
    // Regular files ignore O_NONBLOCK: reads block as usual.
    return [this](int64_t, size_t count) {
        Bytes bytes(count);
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::read(fd.get(), bytes.data() + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw DataError(DataError::Case::unreadableFile, systemMessage(errno), where);
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
        return bytes;
    };
}

ItemSource openItem(std::string_view path, const fs::path& item) {
    ItemSource source;
    source.where = item.string();
    const std::string& where = source.where;
    // One look at the item gives its type, size, time and mode (a link is itself, not its target).
    struct stat st {};
    if (::lstat(item.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw FileError(FileError::Case::fileReadNoSuchFile, where);
        throw FileError::posix(errno, where);
    }
    source.type = S_ISDIR(st.st_mode)   ? Entry::EntryType::directory
                  : S_ISLNK(st.st_mode) ? Entry::EntryType::symlink
                                        : Entry::EntryType::file;
    if (source.type == Entry::EntryType::directory && ::access(item.c_str(), R_OK) != 0)
        throw FileError(FileError::Case::fileReadNoPermission, where);
    if (st.st_size < 0) throw FileError(FileError::Case::fileReadTooLarge, where);
    source.date = Date(std::chrono::duration_cast<Date::duration>(
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
    source.mode = static_cast<uint16_t>(st.st_mode);
    source.path = std::string(path);

    switch (source.type) {
        case Entry::EntryType::directory:
            if (source.path.empty() || source.path.back() != '/') source.path += '/';
            return source;
        case Entry::EntryType::symlink: {
            Bytes& target = source.target;
            target.resize(static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1);
            const ssize_t n =
                ::readlink(item.c_str(), reinterpret_cast<char*>(target.data()), target.size());
            if (n < 0) throw FileError::posix(errno, where);
            target.resize(static_cast<size_t>(n));
            source.size = static_cast<int64_t>(target.size());
            return source;
        }
        case Entry::EntryType::file:
            break;
    }
    source.size = st.st_size;
    // Opened without following a link swapped in since, and without blocking on a FIFO, which is
    // refused like every other item that is not a regular file.
    source.fd = FileDescriptor(::open(item.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (source.fd.get() < 0) {
        if (errno == EACCES) throw FileError(FileError::Case::fileReadNoPermission, where);
        throw FileError::posix(errno, where);
    }
    struct stat opened {};
    if (::fstat(source.fd.get(), &opened) != 0) throw FileError::posix(errno, where);
    if (!S_ISREG(opened.st_mode)) throw FileError::posix(ENOTSUP, where);
    return source;
}

}  // namespace detail

void Archive::addEntry(std::string_view path, const fs::path& item,
                       CompressionMethod compressionMethod, int64_t bufferSize,
                       Progress* progress) {
    writableFile();
    const detail::ItemSource source = detail::openItem(path, item);
    addEntry(source.path, source.type, source.size, source.date, source.mode, compressionMethod,
             bufferSize, progress, source.provider());
}

void Archive::addEntryRelativeTo(std::string_view path, const fs::path& baseDirectory,
                                 CompressionMethod compressionMethod, int64_t bufferSize,
                                 Progress* progress) {
    addEntry(path, baseDirectory / fs::path(path), compressionMethod, bufferSize, progress);
}

// Removing

void Archive::remove(const Entry& entry, int64_t bufferSize, Progress* progress) {
    FILE* in = writableFile();
    const std::string& url = state_->url;
    if (state_->pending) {
        throw ArchiveError(ArchiveError::Case::unwritableArchive, url,
                           "entries cannot be removed while a transaction is open");
    }
    const size_t chunk = checkedBufferSize(bufferSize);

    // Every entry must be read before anything is copied: a damaged directory would lose the
    // entries behind the damage.
    std::vector<Entry> entries;
    for (Iterator it = makeIterator(); auto next = it.next();)
        entries.push_back(std::move(*next));
    if (entries.size() != totalNumberOfEntriesInCentralDirectory()) {
        throw ArchiveError(ArchiveError::Case::invalidCentralDirectoryEntryCount, url,
                           "the central directory is damaged");
    }
    size_t removed = entries.size();
    uint64_t firstEntry = offsetToStartOfCentralDirectory();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (removed == entries.size() && entries[i] == entry) removed = i;
        firstEntry =
            std::min(firstEntry,
                     entries[i].centralDirectoryStructure().effectiveRelativeOffsetOfLocalHeader());
    }
    if (removed == entries.size()) {
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, url,
                           "the entry is not in this archive");
    }
    if (progress != nullptr) progress->setTotalUnitCount(removalUnitCount(entry));

    // The new archive is built beside the old one, so that it can be renamed over it.
    std::optional<fs::path> temporaryDirectory;
    fs::path temporaryPath;
    if (!isMemoryArchive()) {
        temporaryDirectory = replacementDirectory(state_->path);
        if (temporaryDirectory->parent_path() != state_->path->parent_path()) {
            throw ArchiveError(ArchiveError::Case::unwritableArchive, url,
                               "no temporary archive can be made in its directory");
        }
        temporaryPath = *temporaryDirectory / "archive.zip";
    }
    struct DirectoryRemover {
        const std::optional<fs::path>& directory;
        ~DirectoryRemover() {
            std::error_code ignored;
            if (directory) fs::remove_all(*directory, ignored);
        }
    } remover{temporaryDirectory};
    Archive temporary = isMemoryArchive() ? Archive(Bytes{}, AccessMode::create, pathEncoding())
                                          : Archive(temporaryPath, AccessMode::create);
    FILE* out = temporary.state_->file;
    const std::string& outUrl = temporary.state_->url;

    auto copy = [&](uint64_t offset, uint64_t size) {
        if (size == 0) return;
        if (size > kMaxOffset) throw ArchiveError(ArchiveError::Case::invalidEntrySize, url);
        seekTo(in, offset, url);
        detail::passThrough(static_cast<int64_t>(size), chunk, true, detail::streamSource(in, url),
                    [&](ByteView piece) {
                        checkNotCancelled(progress);
                        if (writeChunk(piece, out) != piece.size())
                            throw DataError(DataError::Case::unwritableFile, {}, outUrl);
                        if (progress != nullptr)
                            progress->addCompletedUnits(static_cast<int64_t>(piece.size()));
                    });
    };
    // Bytes ahead of the first entry (a self-extracting program, say) stay where they are.
    copy(0, firstEntry);
    Bytes directory;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i == removed) continue;
        const Entry& kept = entries[i];
        const uint64_t newOffset = positionOf(out, outUrl);
        copy(kept.centralDirectoryStructure().effectiveRelativeOffsetOfLocalHeader(),
             kept.localSize());
        auto record = kept.centralDirectoryStructure().movedTo(newOffset);
        if (!record) {
            throw ArchiveError(ArchiveError::Case::invalidCentralDirectorySize, url,
                               "an entry's extra field cannot take its new offset");
        }
        const Bytes bytes = record->data();
        directory.insert(directory.end(), bytes.begin(), bytes.end());
    }
    const uint64_t directoryStart = positionOf(out, outUrl);
    writeAll(directory, out);
    const uint64_t endStart = positionOf(out, outUrl);
    // The new end records keep this archive's comment and ZIP64 record fields.
    temporary.setEndOfCentralDirectory(state_->endOfCentralDirectoryRecord,
                                       state_->zip64EndOfCentralDirectory);
    auto [record, zip64] =
        temporary.writeEndRecords(entries.size() - 1, directory.size(), directoryStart, endStart);
    flush(out, outUrl);
    replaceCurrentArchive(temporary, temporaryPath, record, zip64);
}

void Archive::replaceCurrentArchive(Archive& temporary, const fs::path& temporaryPath,
                                    const EndOfCentralDirectoryRecord& record,
                                    const std::optional<ZIP64EndOfCentralDirectory>& zip64) {
    const std::string& url = state_->url;
    // The records move: the next lookup walks the new directory.
    state_->index.reset();
    if (isMemoryArchive()) {
        auto memory = MemoryFile::make(std::move(temporary.state_->memoryFile->data()));
        FILE* file = memory->open("rb+");
        if (file == nullptr) throw ArchiveError(ArchiveError::Case::unwritableArchive, url);
        std::fclose(std::exchange(state_->file, file));
        state_->memoryFile = std::move(memory);
        setEndOfCentralDirectory(record, zip64);
        return;
    }
    // The new file takes the old one's permissions, reaches the disk, and replaces it in one
    // step: until the rename the original is untouched and this archive keeps using it.
    const int fd = ::fileno(temporary.state_->file);
    struct stat original {};
    if (::fstat(::fileno(state_->file), &original) != 0) throw FileError::posix(errno, url);
    if (::fchmod(fd, original.st_mode & 07777) != 0)
        throw FileError::posix(errno, temporaryPath.string());
    if (::fsync(fd) != 0 && errno != EINVAL) throw FileError::posix(errno, temporaryPath.string());
    fs::path target = *state_->path;
    std::error_code ec;
    if (fs::is_symlink(target, ec)) target = fs::canonical(target, ec);
    if (ec) throw FileError::posix(ec.value(), url);
    if (::rename(temporaryPath.c_str(), target.c_str()) != 0) throw FileError::posix(errno, url);
    try {
        FilePtr reopened = detail::openArchiveFile(target, AccessMode::update);
        std::fclose(std::exchange(state_->file, reopened.release()));
    } catch (const Error&) {
        std::fclose(std::exchange(state_->file, nullptr));
        throw ArchiveError(ArchiveError::Case::unreadableArchive, url,
                           "the rebuilt archive cannot be opened again");
    }
    setEndOfCentralDirectory(record, zip64);
}

}  // namespace zip
