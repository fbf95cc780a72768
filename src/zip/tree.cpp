#include "zip/tree.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "archive_state.hpp"
#include "beneath.hpp"
#include "zip/archive.hpp"
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

// The worker threads a tree is zipped with: one per processor this thread may run on (its
// affinity, as a container or taskset sets it), at most 16.
unsigned availableProcessors() {
    constexpr unsigned kMostWorkers = 16;
    cpu_set_t set;
    CPU_ZERO(&set);
    const unsigned processors = ::sched_getaffinity(0, sizeof set, &set) == 0
                                    ? static_cast<unsigned>(CPU_COUNT(&set))
                                    : std::thread::hardware_concurrency();
    return std::clamp(processors, 1u, kMostWorkers);
}

// Adds the items of a tree with their data made ready on worker threads while the calling thread
// writes them. Workers take items in list order, at most a window of them ahead of the one being
// written, and hold their encoded data within a memory budget; the calling thread writes each item
// in its turn with the bytes a one-by-one addition writes (and prepares it itself when no worker
// has taken it). An item too large to be held is opened ahead and encoded in its turn. The first
// failure in list order is thrown once the items before it are written; the workers are stopped
// and joined before anything leaves.
class ParallelAdditions {
  public:
    struct Item {
        std::string entryPath;
        fs::path file;
    };

    ParallelAdditions(Archive& archive, std::vector<Item> items, CompressionMethod method)
        : archive_(archive), url_(archive.url()), items_(std::move(items)), method_(method),
          slots_(items_.size()) {}

    // Runs with `workers` threads besides the calling one.
    void run(unsigned workers) {
        window_ = kAheadPerWorker * std::max(1u, workers);
        Workers threads{*this, {}};
        for (unsigned i = 0; i < workers; ++i) {
            try {
                threads.threads.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // fewer workers; the calling thread prepares what nobody took
            }
        }
        for (size_t index = 0; index < items_.size(); ++index) {
            Slot slot = take(index);
            if (slot.error) std::rethrow_exception(slot.error);
            const DataProvider provider =
                slot.source ? slot.source->provider() : DataProvider([](int64_t, size_t) {
                    return Bytes{};
                });
            detail::ArchiveAccess::writeAddition(archive_, slot.addition, kTreeBufferSize,
                                                 provider);
            bool budgetWaiters;
            {
                std::lock_guard lock(mutex_);
                inFlight_ -= slot.reserved;
                nextToWrite_ = index + 1;
                budgetWaiters = budgetWaiters_ > 0;
            }
            // One more item fits the window; the next item may be held whatever the budget, and
            // budget given back may let several workers on.
            room_.notify_one();
            if (budgetWaiters) budget_.notify_all();
        }
    }

  private:
    // Items taken ahead of the one being written, per worker.
    static constexpr size_t kAheadPerWorker = 4;
    // Encoded data held ahead of the writer, and the largest entry held at all.
    static constexpr uint64_t kBudget = uint64_t{64} << 20;
    static constexpr uint64_t kLargestHeld = uint64_t{16} << 20;

    struct Slot {
        bool ready = false;
        detail::PreparedAddition addition;
        std::unique_ptr<detail::ItemSource> source;  // an item encoded in its turn
        std::exception_ptr error;
        uint64_t reserved = 0;  // bytes of the budget it holds
    };

    // Stops and joins the workers however the run ends.
    struct Workers {
        ParallelAdditions& owner;
        std::vector<std::thread> threads;
        ~Workers() {
            {
                std::lock_guard lock(owner.mutex_);
                owner.stop_ = true;
            }
            owner.room_.notify_all();
            owner.budget_.notify_all();
            for (std::thread& thread : threads)
                thread.join();
        }
    };

    bool roomAhead() const {
        return nextToClaim_ < items_.size() && nextToClaim_ < nextToWrite_ + window_;
    }

    // The slot of the item whose turn it is, prepared here when no worker has taken it.
    Slot take(size_t index) {
        std::unique_lock lock(mutex_);
        if (nextToClaim_ == index) {
            ++nextToClaim_;
            lock.unlock();
            return prepare(index);
        }
        ready_.wait(lock, [&] { return slots_[index].ready; });
        return std::move(slots_[index]);
    }

    void work() {
        for (;;) {
            size_t index;
            {
                std::unique_lock lock(mutex_);
                room_.wait(lock, [&] {
                    return stop_ || nextToClaim_ >= items_.size() || roomAhead();
                });
                if (stop_ || nextToClaim_ >= items_.size()) return;
                index = nextToClaim_++;
            }
            Slot slot = prepare(index);
            bool awaited;
            {
                std::lock_guard lock(mutex_);
                slots_[index] = std::move(slot);
                slots_[index].ready = true;
                awaited = index == nextToWrite_;
            }
            // Only the item whose turn it is can be waited for.
            if (awaited) ready_.notify_one();
        }
    }

    Slot prepare(size_t index) {
        Slot slot;
        try {
            const Item& item = items_[index];
            auto source = std::make_unique<detail::ItemSource>(
                detail::openItem(item.entryPath, item.file));
            slot.addition = detail::checkedAddition(url_, source->path, source->type,
                                                    source->size, source->date, source->mode,
                                                    method_);
            if (slot.addition.bound > kLargestHeld || !reserve(index, slot.addition.bound)) {
                slot.source = std::move(source);
                return slot;
            }
            slot.reserved = slot.addition.bound;
            detail::encodeInMemory(url_, slot.addition, kTreeBufferSize, nullptr,
                                   source->provider());
        } catch (...) {
            slot.error = std::current_exception();
        }
        return slot;
    }

    // Takes `bytes` of the budget for the item at `index`: at once for the item whose turn it is,
    // else once enough is free. False when the run is stopping.
    bool reserve(size_t index, uint64_t bytes) {
        std::unique_lock lock(mutex_);
        ++budgetWaiters_;
        budget_.wait(lock, [&] {
            return stop_ || index == nextToWrite_ || inFlight_ + bytes <= kBudget;
        });
        --budgetWaiters_;
        if (stop_) return false;
        inFlight_ += bytes;
        return true;
    }

    Archive& archive_;
    const std::string url_;
    const std::vector<Item> items_;
    const CompressionMethod method_;
    std::mutex mutex_;
    std::condition_variable ready_;   // the writer waits for the item whose turn it is
    std::condition_variable room_;    // workers wait for room in the window
    std::condition_variable budget_;  // and for room in the budget
    size_t budgetWaiters_ = 0;
    std::vector<Slot> slots_;
    size_t nextToClaim_ = 0;
    size_t nextToWrite_ = 0;
    size_t window_ = 1;
    uint64_t inFlight_ = 0;
    bool stop_ = false;
};

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
        std::vector<ParallelAdditions::Item> additions;
        additions.reserve(items.size());
        for (const fs::path& item : items) {
            std::string entryPath = item.generic_string();
            if (keepsParent) entryPath = name.string() + "/" + entryPath;
            additions.push_back({std::move(entryPath), item.empty() ? source : source / item});
        }
        // Entries are compressed on worker threads unless progress is reported, which counts
        // each entry's units in list order as it is added.
        const unsigned processors = availableProcessors();
        if (progress == nullptr && processors > 1 && additions.size() > 1) {
            ParallelAdditions(archive, std::move(additions), compressionMethod).run(processors);
        } else {
            for (const auto& [entryPath, file] : additions)
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
