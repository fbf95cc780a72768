#include "zip/archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "archive_state.hpp"
#include "compression_detail.hpp"
#include "zip/file_system.hpp"

namespace zip {

using detail::ArchiveState;
using detail::checkedBufferSize;
using detail::checkNotCancelled;
using detail::FileDescriptor;
using detail::FilePtr;
using detail::openArchiveFile;
using detail::writeAll;

namespace detail {

std::optional<uint64_t> streamSize(FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return std::nullopt;
    const off_t size = ftello(file);
    if (size < 0) return std::nullopt;
    return static_cast<uint64_t>(size);
}

std::optional<uint64_t> archiveSize(const ArchiveState& state) {
    if (state.accessMode != Archive::AccessMode::read) return streamSize(state.file);
    // Nothing is written: the size needs no flush, and the stream keeps its buffer.
    if (state.memoryFile) return state.memoryFile->data().size();
    struct stat st {};
    if (::fstat(::fileno(state.file), &st) != 0 || st.st_size < 0) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

std::optional<Bytes> readAt(FILE* file, uint64_t offset, size_t count, uint64_t fileSize) {
    if (offset > fileSize || count > fileSize - offset) return std::nullopt;
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return std::nullopt;
    try {
        Bytes bytes = readChunk(count, file);
        if (bytes.size() != count) return std::nullopt;
        return bytes;
    } catch (const DataError&) {
        return std::nullopt;
    }
}

AdditionalDataProvider streamProvider(FILE* file, uint64_t limit) {
    return [file, limit](size_t count) -> std::optional<Bytes> {
        if (count > limit) return std::nullopt;
        try {
            return readChunk(count, file);
        } catch (const DataError&) {
            return std::nullopt;
        }
    };
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FilePtr openArchiveFile(const std::filesystem::path& path, Archive::AccessMode mode) {
    const bool readOnly = mode == Archive::AccessMode::read;
    // Non-blocking, so that a FIFO cannot hang the open; examined before any read.
    FileDescriptor fd(
        ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) throw FileError::posix(errno, path.string());
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FileError::posix(errno, path.string());
    if (S_ISDIR(st.st_mode)) throw FileError::posix(EISDIR, path.string());
    if (!S_ISREG(st.st_mode)) throw FileError::posix(ESPIPE, path.string());
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        throw FileError::posix(errno, path.string());
    }
    FILE* file = ::fdopen(fd.get(), readOnly ? "rb" : "rb+");
    if (file == nullptr) throw FileError::posix(errno, path.string());
    fd.release();
    FilePtr stream(file, &std::fclose);
    std::setvbuf(file, nullptr, _IOFBF, defaultChunkSize);
    return stream;
}

void checkNotCancelled(const Progress* progress) {
    if (progress != nullptr && progress->isCancelled()) {
        throw ArchiveError(ArchiveError::Case::cancelledOperation);
    }
}

size_t checkedBufferSize(int64_t bufferSize) {
    if (bufferSize < 1) throw ArchiveError(ArchiveError::Case::invalidBufferSize);
    return static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(bufferSize), size_t{1} << 26));
}

size_t writeAll(ByteView bytes, FILE* file) {
    const size_t written = writeChunk(bytes, file);
    if (written != bytes.size()) throw DataError(DataError::Case::unwritableFile);
    return written;
}

}  // namespace detail

namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
constexpr size_t kSearchBlock = 65536;
constexpr uint64_t kMaxSymlinkTarget = 4096;
// Compressed data is read in pieces this large, so that each inflate call has enough input to
// fill its output buffer.
constexpr size_t kInflateInputPiece = 128 * 1024;

struct EndRecords {
    uint64_t offset;
    EndOfCentralDirectoryRecord record;
    std::optional<Archive::ZIP64EndOfCentralDirectory> zip64;
};

std::optional<Archive::ZIP64EndOfCentralDirectory> findZIP64EndOfCentralDirectory(
    FILE* file, uint64_t endOffset, uint64_t fileSize) {
    if (endOffset <= 20 || endOffset - 20 <= 56) return std::nullopt;
    auto locatorBytes =
        detail::readAt(file, endOffset - 20, ZIP64EndOfCentralDirectoryLocator::size, fileSize);
    if (!locatorBytes) return std::nullopt;
    auto locator = ZIP64EndOfCentralDirectoryLocator::parse(*locatorBytes);
    if (!locator) return std::nullopt;
    auto recordBytes =
        detail::readAt(file, endOffset - 76, ZIP64EndOfCentralDirectoryRecord::size, fileSize);
    if (!recordBytes) return std::nullopt;
    auto record = ZIP64EndOfCentralDirectoryRecord::parse(*recordBytes);
    if (!record) return std::nullopt;
    return Archive::ZIP64EndOfCentralDirectory{*record, *locator};
}

// Finds the last end-of-central-directory signature, reading backwards in blocks, and parses the
// record there. The search does not go on past a signature whose record does not parse.
std::optional<EndRecords> findEndOfCentralDirectory(FILE* file) {
    auto size = detail::streamSize(file);
    if (!size || *size < EndOfCentralDirectoryRecord::size) return std::nullopt;
    const uint64_t fileSize = *size;
    uint64_t high = fileSize - EndOfCentralDirectoryRecord::size;  // highest candidate offset
    std::optional<uint64_t> found;
    for (;;) {
        const uint64_t low = high >= kSearchBlock - 1 ? high - (kSearchBlock - 1) : 0;
        auto block = detail::readAt(file, low, static_cast<size_t>(high - low + 4), fileSize);
        if (!block) return std::nullopt;
        for (uint64_t candidate = high + 1; candidate-- > low;) {
            if (scanValue<uint32_t>(*block, static_cast<size_t>(candidate - low)) ==
                EndOfCentralDirectoryRecord::signature) {
                found = candidate;
                break;
            }
        }
        if (found || low == 0) break;
        high = low - 1;
    }
    if (!found) return std::nullopt;
    auto fixed = detail::readAt(file, *found, EndOfCentralDirectoryRecord::size, fileSize);
    if (!fixed) return std::nullopt;
    const uint64_t rest = fileSize - *found - EndOfCentralDirectoryRecord::size;
    auto record = EndOfCentralDirectoryRecord::parse(*fixed, detail::streamProvider(file, rest));
    if (!record) return std::nullopt;
    return EndRecords{*found, *record, findZIP64EndOfCentralDirectory(file, *found, fileSize)};
}

void takeEndRecords(ArchiveState& state, FILE* file) {
    auto end = findEndOfCentralDirectory(file);
    if (!end) throw ArchiveError(ArchiveError::Case::missingEndOfCentralDirectoryRecord, state.url);
    state.endOfCentralDirectoryRecord = std::move(end->record);
    state.zip64EndOfCentralDirectory = std::move(end->zip64);
    if (state.accessMode != Archive::AccessMode::read && fseeko(file, 0, SEEK_SET) != 0) {
        throw FileError::posix(errno, state.url);
    }
}

// Writes the empty archive to a new file; refuses to replace anything at the path.
void createEmptyArchiveFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        if (errno == EEXIST) throw FileError(FileError::Case::fileWriteFileExists, path.string());
        throw FileError::posix(errno, path.string());
    }
    const Bytes empty = EndOfCentralDirectoryRecord{}.data();
    size_t written = 0;
    while (written < empty.size()) {
        const ssize_t n = ::write(fd.get(), empty.data() + written, empty.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::unlink(path.c_str());
            throw FileError::posix(error, path.string());
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd.release()) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        throw FileError::posix(error, path.string());
    }
}

// Hands a piece to the consumer unless cancelled, then counts it.
DataConsumer progressStep(Progress* progress, const DataConsumer& consumer) {
    if (progress == nullptr) return consumer;
    return [progress, &consumer](ByteView piece) {
        checkNotCancelled(progress);
        consumer(piece);
        progress->addCompletedUnits(static_cast<int64_t>(piece.size()));
    };
}

}  // namespace

// Opening

std::optional<Archive::AccessMode> Archive::accessMode(int rawValue) {
    if (rawValue < 0 || rawValue > 2) return std::nullopt;
    return static_cast<AccessMode>(rawValue);
}

Archive::Archive(const std::filesystem::path& path, AccessMode mode,
                 std::optional<TextEncoding> pathEncoding)
    : state_(std::make_shared<ArchiveState>()) {
    state_->path = path;
    state_->url = path.string();
    state_->accessMode = mode;
    state_->pathEncoding = pathEncoding;
    if (mode == AccessMode::create) createEmptyArchiveFile(path);
    FilePtr file = openArchiveFile(path, mode);
    takeEndRecords(*state_, file.get());
    state_->file = file.release();
}

Archive::Archive(Bytes data, AccessMode mode, std::optional<TextEncoding> pathEncoding)
    : state_(std::make_shared<ArchiveState>()) {
    state_->url = "memory://";
    state_->accessMode = mode;
    state_->pathEncoding = pathEncoding;
    // A new archive starts from nothing, whatever bytes were handed in.
    if (mode == AccessMode::create) data.clear();
    auto memory = MemoryFile::make(std::move(data));
    const char* streamMode = mode == AccessMode::create ? "wb+"
                             : mode == AccessMode::read ? "rb"
                                                        : "rb+";
    FilePtr file(memory->open(streamMode), &std::fclose);
    if (!file) throw ArchiveError(ArchiveError::Case::unreadableArchive, state_->url);
    if (mode == AccessMode::create) {
        writeAll(EndOfCentralDirectoryRecord{}.data(), file.get());
        if (std::fflush(file.get()) != 0)
            throw DataError(DataError::Case::unwritableFile, {}, state_->url);
    }
    takeEndRecords(*state_, file.get());
    state_->memoryFile = std::move(memory);
    state_->file = file.release();
}

std::optional<Archive> Archive::open(const std::filesystem::path& path, AccessMode mode,
                                     std::optional<TextEncoding> pathEncoding) {
    try {
        return Archive(path, mode, pathEncoding);
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<Archive> Archive::open(Bytes data, AccessMode mode,
                                     std::optional<TextEncoding> pathEncoding) {
    try {
        return Archive(std::move(data), mode, pathEncoding);
    } catch (const Error&) {
        return std::nullopt;
    }
}

const std::string& Archive::url() const {
    return state_->url;
}
bool Archive::isMemoryArchive() const {
    return state_->memoryFile != nullptr;
}
Archive::AccessMode Archive::accessMode() const {
    return state_->accessMode;
}
std::optional<TextEncoding> Archive::pathEncoding() const {
    return state_->pathEncoding;
}
FILE* Archive::archiveFile() const {
    return state_->file;
}

const EndOfCentralDirectoryRecord& Archive::endOfCentralDirectoryRecord() const {
    return state_->endOfCentralDirectoryRecord;
}

const std::optional<Archive::ZIP64EndOfCentralDirectory>& Archive::zip64EndOfCentralDirectory()
    const {
    return state_->zip64EndOfCentralDirectory;
}

std::optional<Bytes> Archive::data() const {
    if (!state_->memoryFile) return std::nullopt;
    // Bytes still in the stream's buffer belong to the archive: a failed flush would hand out
    // stale data.
    if (state_->file != nullptr && std::fflush(state_->file) != 0) {
        throw DataError(DataError::Case::unwritableFile, "buffered bytes could not be written",
                        state_->url);
    }
    return state_->memoryFile->data();
}

uint64_t detail::directoryCount(const ArchiveState& state) {
    if (state.zip64EndOfCentralDirectory) {
        return state.zip64EndOfCentralDirectory->record.totalNumberOfEntriesInCentralDirectory;
    }
    return state.endOfCentralDirectoryRecord.totalNumberOfEntriesInCentralDirectory;
}

uint64_t detail::directoryStart(const ArchiveState& state) {
    if (state.zip64EndOfCentralDirectory) {
        return state.zip64EndOfCentralDirectory->record.offsetToStartOfCentralDirectory;
    }
    return state.endOfCentralDirectoryRecord.offsetToStartOfCentralDirectory;
}

uint64_t Archive::totalNumberOfEntriesInCentralDirectory() const {
    return detail::directoryCount(*state_);
}

uint64_t Archive::sizeOfCentralDirectory() const {
    if (state_->zip64EndOfCentralDirectory)
        return state_->zip64EndOfCentralDirectory->record.sizeOfCentralDirectory;
    return state_->endOfCentralDirectoryRecord.sizeOfCentralDirectory;
}

uint64_t Archive::offsetToStartOfCentralDirectory() const {
    return detail::directoryStart(*state_);
}

void Archive::setEndOfCentralDirectory(EndOfCentralDirectoryRecord record,
                                       std::optional<ZIP64EndOfCentralDirectory> zip64) {
    state_->endOfCentralDirectoryRecord = std::move(record);
    state_->zip64EndOfCentralDirectory = std::move(zip64);
}

// Walking

Archive::Iterator::Iterator(std::shared_ptr<ArchiveState> state) : state_(std::move(state)) {
    const Archive archive(state_);
    count_ = archive.totalNumberOfEntriesInCentralDirectory();
    position_ = archive.offsetToStartOfCentralDirectory();
    fileSize_ = detail::streamSize(state_->file).value_or(0);
    // The records of an archive that cannot change are read ahead in blocks.
    if (state_->accessMode == AccessMode::read) window_ = std::make_shared<detail::DirectoryWindow>();
}

std::optional<Entry> Archive::Iterator::next() {
    // A closed archive, or one whose directory is being rewritten, has nothing to walk.
    if (!state_ || index_ >= count_ || state_->file == nullptr || state_->pending)
        return std::nullopt;
    auto found = detail::readEntryAt(state_->file, position_, fileSize_, window_.get());
    if (!found) return std::nullopt;
    position_ += found->recordLength;
    ++index_;
    return std::move(found->entry);
}

namespace detail {

std::optional<ByteView> DirectoryWindow::view(FILE* file, uint64_t offset, size_t count,
                                              uint64_t fileSize) {
    if (offset >= start && offset - start <= bytes.size() &&
        count <= bytes.size() - (offset - start)) {
        return ByteView(bytes).subspan(static_cast<size_t>(offset - start), count);
    }
    if (offset > fileSize) return std::nullopt;
    const size_t length =
        static_cast<size_t>(std::min<uint64_t>(std::max(count, kBlock), fileSize - offset));
    if (length < count) return std::nullopt;
    auto block = readAt(file, offset, length, fileSize);
    if (!block) return std::nullopt;
    bytes = std::move(*block);
    start = offset;
    return ByteView(bytes).first(count);
}

namespace {

// The central record at `position`, its variable part included, from the window.
std::optional<CentralDirectoryStructure> centralRecordFrom(DirectoryWindow& window, FILE* file,
                                                           uint64_t position, uint64_t size) {
    auto fixed = window.view(file, position, CentralDirectoryStructure::size, size);
    if (!fixed) return std::nullopt;
    const size_t length = CentralDirectoryStructure::size + size_t{scanValue<uint16_t>(*fixed, 28)} +
                          scanValue<uint16_t>(*fixed, 30) + scanValue<uint16_t>(*fixed, 32);
    auto record = window.view(file, position, length, size);
    if (!record) return std::nullopt;
    ByteView rest = record->subspan(CentralDirectoryStructure::size);
    return CentralDirectoryStructure::parse(
        record->first(CentralDirectoryStructure::size),
        [&rest](size_t count) -> std::optional<Bytes> {
            if (count > rest.size()) return std::nullopt;
            Bytes bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(count));
            rest = rest.subspan(count);
            return bytes;
        });
}

}  // namespace

std::optional<EntryRead> readEntryAt(FILE* file, uint64_t position, uint64_t size,
                                     DirectoryWindow* window) {
    std::optional<CentralDirectoryStructure> central;
    if (window != nullptr) {
        central = centralRecordFrom(*window, file, position, size);
    } else if (auto fixed = readAt(file, position, CentralDirectoryStructure::size, size)) {
        const uint64_t afterFixed = position + CentralDirectoryStructure::size;
        central = CentralDirectoryStructure::parse(*fixed, streamProvider(file, size - afterFixed));
    }
    if (!central) return std::nullopt;

    const uint64_t localOffset = central->effectiveRelativeOffsetOfLocalHeader();
    auto localFixed = readAt(file, localOffset, LocalFileHeader::size, size);
    if (!localFixed) return std::nullopt;
    auto local = LocalFileHeader::parse(
        *localFixed, streamProvider(file, size - (localOffset + LocalFileHeader::size)));
    if (!local) return std::nullopt;

    std::optional<DataDescriptor<uint32_t>> descriptor;
    std::optional<DataDescriptor<uint64_t>> zip64Descriptor;
    // A descriptor read without its signature lies in 4 bytes less than its parsed form counts.
    bool descriptorUnsigned = false;
    auto parseDescriptor = [&]<class SizeType>(const Bytes& bytes,
                                               std::optional<DataDescriptor<SizeType>>& into) {
        into = DataDescriptor<SizeType>::parse(bytes);
        descriptorUnsigned =
            into && scanValue<uint32_t>(bytes, 0) != DataDescriptor<SizeType>::signature;
    };
    if (central->usesDataDescriptor()) {
        const uint64_t dataSize = central->compressionMethod == 0
                                      ? central->effectiveUncompressedSize()
                                      : central->effectiveCompressedSize();
        const uint64_t dataStart =
            localOffset + LocalFileHeader::size + local->fileNameLength + local->extraFieldLength;
        if (dataSize <= size && dataStart <= size - dataSize) {
            const uint64_t at = dataStart + dataSize;
            if (central->isZIP64()) {
                if (auto bytes = readAt(file, at, DataDescriptor<uint64_t>::size, size)) {
                    parseDescriptor(*bytes, zip64Descriptor);
                }
            } else if (auto bytes =
                           readAt(file, at, DataDescriptor<uint32_t>::size, size)) {
                parseDescriptor(*bytes, descriptor);
            }
        }
    }
    const uint64_t recordLength = central->recordLength();
    auto entry = Entry::make(std::move(*central), std::move(*local), descriptor, zip64Descriptor);
    if (!entry) return std::nullopt;
    // localSize() holds the descriptor, so it is never below the 4 bytes taken off.
    const uint64_t localExtent = entry->localSize() - (descriptorUnsigned ? 4 : 0);
    return EntryRead{std::move(*entry), recordLength, localExtent};
}



namespace {

// Adds the entries whose records follow the last one the index knows, up to the count the end
// records give; stops at the first damaged record.
void walkInto(ArchiveState& state, ArchiveState::EntryIndex& index) {
    const uint64_t count = directoryCount(state);
    const uint64_t start = directoryStart(state);
    const uint64_t fileSize = streamSize(state.file).value_or(0);
    // Room for as many entries as the count says, as far as records of the smallest size fit in
    // the file: the count itself is not to be trusted.
    const uint64_t fitting = (fileSize - std::min(fileSize, start)) / CentralDirectoryStructure::size;
    const auto expected = static_cast<size_t>(std::min(count, fitting));
    index.items.reserve(expected);
    index.byPath.reserve(expected);
    const size_t firstNew = index.items.size();
    DirectoryWindow window;
    DirectoryWindow* const ahead = state.accessMode == Archive::AccessMode::read ? &window : nullptr;
    while (index.items.size() < count) {
        if (start > std::numeric_limits<uint64_t>::max() - index.nextRecordOffset) break;
        auto found = readEntryAt(state.file, start + index.nextRecordOffset, fileSize, ahead);
        if (!found) break;
        const Entry& entry = found->entry;
        const uint64_t localStart =
            entry.centralDirectoryStructure().effectiveRelativeOffsetOfLocalHeader();
        // The bytes the entry really takes, its descriptor as written.
        const uint64_t extent = found->localExtent;
        const uint64_t localEnd = localStart > std::numeric_limits<uint64_t>::max() - extent
                                      ? std::numeric_limits<uint64_t>::max()
                                      : localStart + extent;
        index.byPath.try_emplace(state.pathEncoding ? entry.path(*state.pathEncoding)
                                                    : entry.path(),
                                 index.items.size());
        index.items.push_back({index.nextRecordOffset, localStart, localEnd});
        index.nextRecordOffset += found->recordLength;
    }
    index.complete = index.items.size() == count;
    // A walk that stops at an encrypted entry stops for that, not for damage.
    index.stopsAtEncryptedEntry = false;
    if (!index.complete && start <= std::numeric_limits<uint64_t>::max() - index.nextRecordOffset) {
        // The flags sit in the fixed part; the rest of the record does not matter here.
        const uint64_t at = start + index.nextRecordOffset;
        if (auto fixed = readAt(state.file, at, CentralDirectoryStructure::size, fileSize)) {
            index.stopsAtEncryptedEntry =
                scanValue<uint32_t>(*fixed, 0) == CentralDirectoryStructure::signature &&
                (scanValue<uint16_t>(*fixed, 8) & 0x0001) != 0;
        }
    }
    // Entries whose local headers and data share bytes (the same data handed out again and again,
    // as in a zip bomb) are found by sorting the ranges; entries that each begin past the end of
    // all before them, as written archives and additions have it, need no sort.
    bool inOrder = true;
    for (size_t i = firstNew; i < index.items.size(); ++i) {
        inOrder = inOrder && index.items[i].localStart >= index.dataEnd;
        index.dataEnd = std::max(index.dataEnd, index.items[i].localEnd);
    }
    if (inOrder || index.overlap) return;
    std::vector<size_t> order(index.items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return index.items[a].localStart < index.items[b].localStart;
    });
    uint64_t end = 0;
    size_t endsLast = 0;  // the entry whose range reaches furthest so far
    for (size_t k = 0; k < order.size(); ++k) {
        const auto& item = index.items[order[k]];
        if (k > 0 && item.localStart < end) {
            index.overlap = "entries " + std::to_string(std::min(endsLast, order[k]) + 1) + " and " +
                            std::to_string(std::max(endsLast, order[k]) + 1) +
                            " of the directory share their data (overlapping entries)";
            return;
        }
        if (item.localEnd > end) {
            end = item.localEnd;
            endsLast = order[k];
        }
    }
}

}  // namespace

const ArchiveState::EntryIndex* entryIndex(ArchiveState& state) {
    if (state.index) return &*state.index;
    if (state.pending || state.file == nullptr) return nullptr;
    ArchiveState::EntryIndex index;
    walkInto(state, index);
    state.index = std::move(index);
    return &*state.index;
}

void extendIndex(ArchiveState& state) {
    if (state.index) walkInto(state, *state.index);
}

}  // namespace detail

Archive::Iterator Archive::makeIterator() const {
    return Iterator(state_);
}

Archive::Iterator Archive::begin() const {
    Iterator it(state_);
    ++it;
    return it;
}

std::optional<Entry> Archive::entry(std::string_view path) const {
    const auto* index = detail::entryIndex(*state_);
    if (index == nullptr) return std::nullopt;
    const auto found = index->byPath.find(std::string(path));
    if (found == index->byPath.end()) return std::nullopt;
    const uint64_t fileSize = detail::streamSize(state_->file).value_or(0);
    auto read = detail::readEntryAt(
        state_->file,
        offsetToStartOfCentralDirectory() + index->items[found->second].recordOffset, fileSize);
    if (!read) return std::nullopt;
    return std::move(read->entry);
}

void Archive::checkDirectory() const {
    const auto* index = detail::entryIndex(*state_);
    if (index == nullptr) return;
    if (!index->complete && index->stopsAtEncryptedEntry) {
        throw ArchiveError(ArchiveError::Case::unreadableArchive, state_->url,
                           "entry " + std::to_string(index->items.size() + 1) +
                               " is encrypted, which is not supported");
    }
    if (!index->complete) {
        throw ArchiveError(ArchiveError::Case::invalidCentralDirectoryEntryCount, state_->url,
                           "the central directory is damaged: only " +
                               std::to_string(index->items.size()) + " of its " +
                               std::to_string(totalNumberOfEntriesInCentralDirectory()) +
                               " entries can be read");
    }
    if (index->overlap) {
        throw ArchiveError(ArchiveError::Case::invalidLocalHeaderDataOffset, state_->url,
                           *index->overlap);
    }
}

// Reading entry data

uint32_t Archive::readStoredEntry(const Entry& entry, size_t bufferSize, bool skipCRC32,
                                  Progress* progress, const DataConsumer& consumer) const {
    const uint64_t size = entry.centralDirectoryStructure().effectiveUncompressedSize();
    if (size > kMaxOffset) throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url);
    return detail::passThrough(static_cast<int64_t>(size), bufferSize, skipCRC32,
                               detail::streamSource(state_->file, state_->url),
                               progressStep(progress, consumer));
}

uint32_t Archive::readDeflatedEntry(const Entry& entry, size_t bufferSize, bool skipCRC32,
                                    Progress* progress, const DataConsumer& consumer) const {
    const uint64_t size = entry.centralDirectoryStructure().effectiveCompressedSize();
    if (size > kMaxOffset) throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url);
    // The inflated data may not run past the entry's declared size.
    const uint64_t declared = entry.uncompressedSize();
    uint64_t delivered = 0;
    const DataConsumer step = progressStep(progress, consumer);
    const uint32_t crc = detail::processStream(
        StreamOperation::decode, static_cast<int64_t>(size), bufferSize,
        std::max(bufferSize, kInflateInputPiece), skipCRC32,
        detail::streamSource(state_->file, state_->url),
        [&](ByteView piece) {
            if (piece.size() > declared - delivered) {
                throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url,
                                   "the data inflates past its declared size");
            }
            delivered += piece.size();
            step(piece);
        },
        declared);
    if (delivered != declared) {
        throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url,
                           "the data inflates to less than its declared size");
    }
    return crc;
}

uint32_t Archive::extract(const Entry& entry, int64_t bufferSize, bool skipCRC32,
                          Progress* progress, const DataConsumer& consumer) const {
    const size_t chunk = checkedBufferSize(bufferSize);
    FILE* file = state_->file;
    if (file == nullptr) {
        throw ArchiveError(ArchiveError::Case::unreadableArchive, state_->url,
                           "the archive was closed after a failed replacement");
    }
    // Nothing is handed out of an archive whose entries share their data.
    if (const auto* index = detail::entryIndex(*state_); index != nullptr && index->overlap) {
        throw ArchiveError(ArchiveError::Case::invalidLocalHeaderDataOffset, state_->url,
                           *index->overlap);
    }
    const uint64_t dataOffset = entry.dataOffset();
    const auto fileSize = detail::archiveSize(*state_);
    if (!fileSize || dataOffset > *fileSize) {
        throw ArchiveError(ArchiveError::Case::invalidLocalHeaderDataOffset, state_->url);
    }
    if (fseeko(file, static_cast<off_t>(dataOffset), SEEK_SET) != 0) {
        throw DataError(DataError::Case::unreadableFile, "cannot position the archive",
                        state_->url);
    }
    if (progress != nullptr) progress->setTotalUnitCount(readingUnitCount(entry));

    const Entry::EntryType type = entry.type();
    if (type == Entry::EntryType::directory) {
        consumer(ByteView());
        if (progress != nullptr) progress->setCompletedUnitCount(1);
        return 0;
    }
    const auto method = compressionMethod(entry.localFileHeader().compressionMethod);
    if (!method) throw ArchiveError(ArchiveError::Case::invalidCompressionMethod, state_->url);
    const auto& central = entry.centralDirectoryStructure();
    const uint64_t stored = *method == CompressionMethod::none ? central.effectiveUncompressedSize()
                                                               : central.effectiveCompressedSize();
    if (stored > *fileSize - dataOffset) {
        throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url,
                           "the entry's data runs past the end of the archive");
    }
    auto read = [&](bool skip, Progress* p, const DataConsumer& to) {
        return *method == CompressionMethod::none ? readStoredEntry(entry, chunk, skip, p, to)
                                                  : readDeflatedEntry(entry, chunk, skip, p, to);
    };
    auto verify = [&](uint32_t crc) {
        if (crc != entry.checksum()) {
            throw ArchiveError(ArchiveError::Case::invalidCRC32, state_->url,
                               "entry " + entry.path());
        }
    };

    if (type == Entry::EntryType::symlink) {
        // A link target is small: read it whole through the normal path, then hand it over once.
        if (entry.uncompressedSize() > kMaxSymlinkTarget) {
            throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url,
                               "a symbolic link target is longer than 4096 bytes");
        }
        Bytes target;
        const uint32_t crc = read(false, nullptr, [&](ByteView piece) {
            if (target.size() + piece.size() > kMaxSymlinkTarget) {
                throw ArchiveError(ArchiveError::Case::invalidEntrySize, state_->url,
                                   "a symbolic link target is longer than 4096 bytes");
            }
            target.insert(target.end(), piece.begin(), piece.end());
        });
        if (!skipCRC32) verify(crc);
        consumer(target);
        if (progress != nullptr)
            progress->setCompletedUnitCount(static_cast<int64_t>(entry.uncompressedSize()));
        return crc;
    }
    const uint32_t crc = read(skipCRC32, progress, consumer);
    if (!skipCRC32) verify(crc);
    return crc;
}

// Writing records

std::pair<uint64_t, uint32_t> Archive::writeEntry(uint64_t uncompressedSize, Entry::EntryType type,
                                                  CompressionMethod compressionMethod,
                                                  size_t bufferSize, Progress* progress,
                                                  const DataProvider& provider) {
    FILE* file = state_->file;
    return detail::encodeEntry(state_->url, uncompressedSize, type, compressionMethod, bufferSize,
                               progress, provider,
                               [file](ByteView piece) { writeAll(piece, file); });
}

std::pair<uint64_t, uint32_t> detail::encodeEntry(const std::string& url,
                                                  uint64_t uncompressedSize, Entry::EntryType type,
                                                  CompressionMethod compressionMethod,
                                                  size_t bufferSize, Progress* progress,
                                                  const DataProvider& provider,
                                                  const DataConsumer& sink) {
    bufferSize = std::max<size_t>(bufferSize, 1);
    if (uncompressedSize > kMaxOffset)
        throw ArchiveError(ArchiveError::Case::invalidEntrySize, url);
    const auto size = static_cast<int64_t>(uncompressedSize);
    auto finish = [progress] {
        if (progress != nullptr) progress->setCompletedUnitCount(progress->totalUnitCount());
    };
    switch (type) {
        case Entry::EntryType::directory:
            provider(0, 0);
            finish();
            return {0, 0};
        case Entry::EntryType::symlink: {
            if (uncompressedSize > kMaxSymlinkTarget) {
                throw ArchiveError(ArchiveError::Case::invalidEntrySize, url);
            }
            const Bytes target = provider(0, static_cast<size_t>(uncompressedSize));
            if (target.size() != uncompressedSize) throw DataError(DataError::Case::unreadableFile);
            sink(target);
            const uint64_t written = target.size();
            finish();
            return {written, crc32(target)};
        }
        case Entry::EntryType::file:
            break;
    }
    uint64_t total = 0;
    if (compressionMethod == CompressionMethod::deflate) {
        const uint32_t crc = deflate(
            size, bufferSize,
            [&](int64_t position, size_t count) {
                checkNotCancelled(progress);
                Bytes piece = provider(position, count);
                if (progress != nullptr)
                    progress->addCompletedUnits(static_cast<int64_t>(piece.size()));
                return piece;
            },
            [&](ByteView piece) {
                sink(piece);
                total += piece.size();
            });
        return {total, crc};
    }
    if (size < 1) return {0, 0};
    uint32_t crc = 0;
    for (int64_t position = 0; position < size;) {
        checkNotCancelled(progress);
        const auto count = static_cast<size_t>(
            std::min<uint64_t>(static_cast<uint64_t>(size - position), bufferSize));
        const Bytes piece = provider(position, count);
        if (piece.size() != count) {
            throw DataError(DataError::Case::unreadableFile,
                            "the source delivered fewer bytes than its size");
        }
        crc = crc32(piece, crc);
        sink(piece);
        total += piece.size();
        if (progress != nullptr) progress->setCompletedUnitCount(static_cast<int64_t>(total));
        position += static_cast<int64_t>(count);
    }
    return {total, crc};
}

LocalFileHeader Archive::writeLocalFileHeader(std::string_view path,
                                              CompressionMethod compressionMethod,
                                              uint64_t uncompressedSize, uint64_t compressedSize,
                                              uint32_t checksum, uint16_t dosTime, uint16_t dosDate,
                                              bool forceZIP64) {
    if (!isValidUTF8(path) || path.size() > 0xFFFF) {
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, state_->url,
                           path.size() > 0xFFFF ? "the path is longer than 65535 bytes"
                                                : "the path is not valid UTF-8");
    }
    LocalFileHeader header = LocalFileHeader::forNewEntry(
        Bytes(path.begin(), path.end()), static_cast<uint16_t>(compressionMethod), uncompressedSize,
        compressedSize, checksum, dosTime, dosDate, forceZIP64);
    writeAll(header.data(), state_->file);
    return header;
}

CentralDirectoryStructure Archive::writeCentralDirectoryStructure(
    const LocalFileHeader& localFileHeader, uint64_t relativeOffset,
    uint32_t externalFileAttributes) {
    CentralDirectoryStructure record = CentralDirectoryStructure::forNewEntry(
        localFileHeader, externalFileAttributes, relativeOffset);
    writeAll(record.data(), state_->file);
    return record;
}

std::pair<EndOfCentralDirectoryRecord, std::optional<Archive::ZIP64EndOfCentralDirectory>>
Archive::writeEndOfCentralDirectory(const CentralDirectoryStructure& centralDirectoryStructure,
                                    uint64_t startOfCentralDirectory,
                                    uint64_t startOfEndOfCentralDirectory,
                                    ModifyOperation operation) {
    const uint64_t count = totalNumberOfEntriesInCentralDirectory();
    const uint64_t size = sizeOfCentralDirectory();
    const uint64_t length = centralDirectoryStructure.recordLength();
    uint64_t newSize;
    uint64_t newCount;
    if (operation == ModifyOperation::add) {
        if (size > std::numeric_limits<uint64_t>::max() - length) {
            throw ArchiveError(ArchiveError::Case::invalidCentralDirectorySize, state_->url);
        }
        if (count == std::numeric_limits<uint64_t>::max()) {
            throw ArchiveError(ArchiveError::Case::invalidCentralDirectoryEntryCount, state_->url);
        }
        newSize = size + length;
        newCount = count + 1;
    } else {
        if (size < length)
            throw ArchiveError(ArchiveError::Case::invalidCentralDirectorySize, state_->url);
        if (count < 1)
            throw ArchiveError(ArchiveError::Case::invalidCentralDirectoryEntryCount, state_->url);
        newSize = size - length;
        newCount = count - 1;
    }
    return writeEndRecords(newCount, newSize, startOfCentralDirectory,
                           startOfEndOfCentralDirectory);
}

std::pair<EndOfCentralDirectoryRecord, std::optional<Archive::ZIP64EndOfCentralDirectory>>
Archive::writeEndRecords(uint64_t newCount, uint64_t newSize, uint64_t startOfCentralDirectory,
                         uint64_t startOfEndOfCentralDirectory) {
    const bool sizeOverflows = newSize >= 0xFFFFFFFFu;
    const bool countOverflows = newCount >= 0xFFFFu;
    const bool offsetOverflows = startOfCentralDirectory >= 0xFFFFFFFFu;
    std::optional<ZIP64EndOfCentralDirectory> zip64;
    if (sizeOverflows || countOverflows || offsetOverflows) {
        zip64 = writeZIP64EndOfCentralDirectory(newCount, newSize, startOfCentralDirectory,
                                                startOfEndOfCentralDirectory);
    }
    const EndOfCentralDirectoryRecord& current = state_->endOfCentralDirectoryRecord;
    EndOfCentralDirectoryRecord record;
    record.numberOfDisk = current.numberOfDisk;
    record.numberOfDiskStart = current.numberOfDiskStart;
    record.totalNumberOfEntriesOnDisk = record.totalNumberOfEntriesInCentralDirectory =
        countOverflows ? 0xFFFF : static_cast<uint16_t>(newCount);
    record.sizeOfCentralDirectory = sizeOverflows ? 0xFFFFFFFFu : static_cast<uint32_t>(newSize);
    record.offsetToStartOfCentralDirectory =
        offsetOverflows ? 0xFFFFFFFFu : static_cast<uint32_t>(startOfCentralDirectory);
    record.zipFileCommentLength = current.zipFileCommentLength;
    record.zipFileCommentData = current.zipFileCommentData;
    writeAll(record.data(), state_->file);
    return {record, zip64};
}

Archive::ZIP64EndOfCentralDirectory Archive::writeZIP64EndOfCentralDirectory(
    uint64_t totalNumberOfEntries, uint64_t sizeOfCentralDirectory,
    uint64_t offsetOfStartOfCentralDirectory, uint64_t offsetOfEndOfCentralDirectory) {
    ZIP64EndOfCentralDirectory result;
    const auto& existing = state_->zip64EndOfCentralDirectory;
    if (existing) {
        result = *existing;
    } else {
        result.record.sizeOfZIP64EndOfCentralDirectoryRecord = 44;
        result.record.versionMadeBy = 0x0315;
        result.record.versionNeededToExtract = 45;
        result.locator.totalNumberOfDisk = 1;
    }
    result.record.totalNumberOfEntriesOnDisk = totalNumberOfEntries;
    result.record.totalNumberOfEntriesInCentralDirectory = totalNumberOfEntries;
    result.record.sizeOfCentralDirectory = sizeOfCentralDirectory;
    result.record.offsetToStartOfCentralDirectory = offsetOfStartOfCentralDirectory;
    result.locator.relativeOffsetOfZIP64EOCDRecord = offsetOfEndOfCentralDirectory;
    Bytes bytes = result.record.data();
    const Bytes locator = result.locator.data();
    bytes.insert(bytes.end(), locator.begin(), locator.end());
    writeAll(bytes, state_->file);
    return result;
}

// Progress totals

int64_t Archive::readingUnitCount(const Entry& entry) {
    if (entry.type() == Entry::EntryType::directory) return 1;
    return static_cast<int64_t>(std::min<uint64_t>(entry.uncompressedSize(), kMaxOffset));
}

int64_t Archive::totalReadingUnitCount() const {
    int64_t total = 0;
    for (const Entry& entry : *this)
        total = static_cast<int64_t>(
            std::min<uint64_t>(static_cast<uint64_t>(total) + readingUnitCount(entry), kMaxOffset));
    return total;
}

int64_t Archive::removalUnitCount(const Entry& entry) const {
    const uint64_t start = offsetToStartOfCentralDirectory();
    const uint64_t local = entry.localSize();
    if (local > start) return 0;
    return static_cast<int64_t>(std::min<uint64_t>(start - local, kMaxOffset));
}

int64_t Archive::addingUnitCount(const std::filesystem::path& item) {
    try {
        if (entryType(item) == Entry::EntryType::directory) return 1;
        return fileSize(item);
    } catch (const Error&) {
        return -1;
    }
}

}  // namespace zip
