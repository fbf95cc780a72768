// The storage of parsed trees: regions of memory asked of the system, carved up in order, and a
// small cache of freed regions for the next documents.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <memory>
#include <new>

#include "xml/indexing/element.hpp"

namespace xmlindexing::detail {

namespace {

constexpr size_t firstRegionSize = size_t{64} << 10;
// The size of a huge page on the platforms we run on; regions grow to it and stay there.
constexpr size_t largestRegionSize = size_t{2} << 20;
// A piece larger than this (the children of an element with very many) gets storage of its own,
// which goes back to the heap, so that regions are not left mostly empty.
constexpr size_t largePiece = size_t{16} << 10;

std::byte* mapRegion(size_t size) {
    // A region of the largest size is aligned to it, so that the system can back it with one huge
    // page; smaller ones to their granules.
    const size_t alignment = size == largestRegionSize ? largestRegionSize : Arena::granuleSize;
    void* mapped = mmap(nullptr, size + alignment, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    auto* base = static_cast<std::byte*>(mapped);
    if (alignment != 0) {
        const auto address = reinterpret_cast<uintptr_t>(base);
        const size_t lead = (alignment - address % alignment) % alignment;
        if (lead != 0) munmap(base, lead);
        if (alignment - lead != 0) munmap(base + lead + size, alignment - lead);
        base += lead;
    }
#ifdef MADV_HUGEPAGE
    if (size == largestRegionSize) madvise(base, size, MADV_HUGEPAGE);
#endif
    return base;
}

// Regions of freed arenas, kept for the next documents so that parsing one small document after
// another reuses memory that is already mapped instead of faulting in fresh pages each time. Only
// a few megabytes are kept: a long-running program must not hold the storage of one large tree
// forever.
class RegionPool {
  public:
    // Never destroyed: a tree held by a static object may be freed after every function-local
    // static is gone, and its regions must still have somewhere to go.
    static RegionPool& shared() {
        static RegionPool* pool = new RegionPool;
        return *pool;
    }

    std::byte* take(size_t size) {
        {
            std::lock_guard lock(mutex_);
            for (size_t i = free_.size(); i-- > 0;) {
                if (free_[i].size != size) continue;
                std::byte* base = free_[i].base;
                free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(i));
                cached_ -= size;
                return base;
            }
        }
        return mapRegion(size);
    }

    void give(std::byte* base, size_t size) noexcept {
        {
            std::lock_guard lock(mutex_);
            // Reserved up front for the most regions the cache can hold, so this never allocates.
            if (cached_ + size <= maxBytes && free_.size() < free_.capacity()) {
                free_.push_back({base, size});
                cached_ += size;
                return;
            }
        }
        munmap(base, size);
    }

    size_t cachedBytes() {
        std::lock_guard lock(mutex_);
        return cached_;
    }

  private:
    static constexpr size_t maxBytes = size_t{4} << 20;

    struct Free {
        std::byte* base;
        size_t size;
    };

    RegionPool() { free_.reserve(maxBytes / firstRegionSize); }

    std::mutex mutex_;
    std::vector<Free> free_;
    size_t cached_ = 0;
};

}  // namespace

size_t cachedTreeStorage() {
    return RegionPool::shared().cachedBytes();
}

ReleaseBatch::~ReleaseBatch() {
    current_ = outer_;
    if (arena_ != nullptr && count_ != 0) arena_->adjust(-count_);
}

void* Arena::allocateSlowly(Cursor& cursor, size_t size, size_t alignment) {
    if (size + alignment > largePiece) {
        largeBlocks_.reserve(largeBlocks_.size() + 1);
        auto* block = new std::byte[size + alignment];
        reserved_ += size + alignment;
        largeBlocks_.push_back(block);
        auto address = reinterpret_cast<uintptr_t>(block);
        address += (alignment - address % alignment) % alignment;
        return reinterpret_cast<void*>(address);
    }
    takeGranule(cursor);
    return cursor.take(size, alignment);
}

void Arena::takeGranule(Cursor& cursor) {
    if (granules_ == regionEnd_) {
        // Regions double in size up to the largest, so a small document takes little and a large
        // one few regions.
        const size_t regionSize =
            nextRegionSize_ == 0 ? firstRegionSize : std::min(nextRegionSize_, largestRegionSize);
        regions_.reserve(regions_.size() + 1);
        std::byte* base = RegionPool::shared().take(regionSize);
        regions_.push_back({base, regionSize});
        reserved_ += regionSize;
        nextRegionSize_ = regionSize * 2;
        granules_ = base;
        regionEnd_ = base + regionSize;
    }
    *reinterpret_cast<Arena**>(granules_) = this;
    cursor.next = granules_ + granuleHeader;
    cursor.end = granules_ + granuleSize;
    granules_ += granuleSize;
}

ElementName* Arena::makeName(std::string_view name) {
    void* memory = allocate(sizeof(ElementName), alignof(ElementName));
    auto* entry = new (memory) ElementName(std::string(name), &options_, false);
    entry->next = names_;
    names_ = entry;
    return entry;
}

Arena::~Arena() {
    for (XMLContent* node : kept_) {
        if (node->isElement()) {
            static_cast<XMLElement*>(node)->releaseHeldMemory();
        } else {
            std::destroy_at(static_cast<TextElement*>(node));
        }
    }
    for (ElementName* entry = names_; entry != nullptr;) {
        ElementName* next = entry->next;
        entry->~ElementName();
        entry = next;
    }
    for (const Region& region : regions_)
        RegionPool::shared().give(region.base, region.size);
    for (std::byte* block : largeBlocks_)
        delete[] block;
}

}  // namespace xmlindexing::detail
