#include "indexing/builder.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <mutex>

#include "indexing/text.hpp"
#include "textservices/unicode.hpp"

namespace xmlindexing::detail {

namespace {

// Blocks are of one size; a larger allocation gets storage of its own.
constexpr size_t blockSize = size_t{64} << 10;

// Blocks of freed arenas, kept for the next documents so that parsing one small document after
// another reuses memory that is already mapped instead of faulting in fresh pages each time. Only
// a few megabytes are kept: a long-running program must not hold the storage of one large tree
// forever.
class BlockPool {
  public:
    // Never destroyed: a tree held by a static object may be freed after every function-local
    // static is gone, and its blocks must still have somewhere to go.
    static BlockPool& shared() {
        static BlockPool* pool = new BlockPool;
        return *pool;
    }

    std::byte* take() {
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                std::byte* block = free_.back();
                free_.pop_back();
                return block;
            }
        }
        return new std::byte[blockSize];
    }

    void give(std::byte* block) noexcept {
        {
            std::lock_guard lock(mutex_);
            if (free_.size() < maxBlocks) {
                // Reserved up front for maxBlocks, so this never allocates.
                free_.push_back(block);
                return;
            }
        }
        delete[] block;
    }

    size_t cachedBytes() {
        std::lock_guard lock(mutex_);
        return free_.size() * blockSize;
    }

  private:
    static constexpr size_t maxBlocks = (size_t{4} << 20) / blockSize;

    BlockPool() { free_.reserve(maxBlocks); }

    std::mutex mutex_;
    std::vector<std::byte*> free_;
};

}  // namespace

size_t cachedTreeStorage() {
    return BlockPool::shared().cachedBytes();
}

void* Arena::allocate(size_t size, size_t alignment) {
    auto fits = [&] {
        const auto address = reinterpret_cast<uintptr_t>(next_);
        const size_t padding = (alignment - address % alignment) % alignment;
        if (next_ == nullptr || padding + size > left_) return false;
        next_ += padding;
        left_ -= padding;
        return true;
    };
    if (fits()) {
        void* out = next_;
        next_ += size;
        left_ -= size;
        return out;
    }
    if (size + alignment > blockSize / 4) {
        // A large array (the children of an element with very many) gets storage of its own,
        // which goes back to the heap.
        largeBlocks_.reserve(largeBlocks_.size() + 1);
        auto* block = new std::byte[size + alignment];
        reserved_ += size + alignment;
        largeBlocks_.push_back(block);
        auto address = reinterpret_cast<uintptr_t>(block);
        address += (alignment - address % alignment) % alignment;
        return reinterpret_cast<void*>(address);
    }
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(BlockPool::shared().take());
    reserved_ += blockSize;
    next_ = blocks_.back();
    left_ = blockSize;
    fits();
    void* out = next_;
    next_ += size;
    left_ -= size;
    return out;
}

Arena::~Arena() {
    for (std::byte* block : blocks_)
        BlockPool::shared().give(block);
    for (std::byte* block : largeBlocks_)
        delete[] block;
}

// Every node holds a reference to the storage of its document. Rather than counting each node
// atomically as it is made, the builder borrows a large number of references up front and settles
// the account when it is done: nodes freed meanwhile draw on the borrowed ones, so the count never
// reaches zero early.
constexpr int64_t borrowedReferences = int64_t{1} << 48;

namespace {

// What a string of `length` bytes takes on the heap beyond its own object: nothing while it fits
// in place, else its buffer and the allocator's bookkeeping.
size_t heapCost(size_t length) {
    constexpr size_t inPlace = 15;
    return length <= inPlace ? 0 : length + 1 + 16;
}

}  // namespace

TreeBuilder::TreeBuilder(XMLElement& root)
    : storage_(Arena::create()), limit_(root.options_->maximumTreeSize) {
    // The allocator holds a reference of its own: drop the one create() gave.
    storage_.arena()->release();
    storage_.arena()->adjust(borrowedReferences);
    open_.emplace_back();
    open_[0].element = &root;
    depth_ = 1;
}

void TreeBuilder::startElement(std::string_view name, const sax::Attributes& attributes) {
    size_t cost = heapCost(name.size());
    for (const auto& attribute : attributes)
        cost += heapCost(attribute.name.size()) + heapCost(attribute.value.size());
    charge(cost);
    XMLElement* parent = open_[depth_ - 1].element;
    auto child =
        std::allocate_shared<XMLElement>(NodeAllocator<XMLElement>(storage_.arena()),
                                         std::string(name), parent->count, parent->options_);
    ++parent->count;
    if (!attributes.empty()) addAttributes(child->attributes_, attributes);
    XMLElement* raw = child.get();
    gather(open_[depth_ - 1].children, std::move(child));
    if (depth_ == open_.size()) open_.emplace_back();
    open_[depth_].element = raw;
    ++depth_;
}

void TreeBuilder::addAttributes(XMLElement::AttributeMap& map, const sax::Attributes& attributes) {
    map.entries_ = XMLElement::AttributeMap::Entries(TreeAllocator<XMLAttribute>(storage_));
    map.entries_.reserve(attributes.size());
    // The parser refuses a start tag that repeats a name, so ASCII names, which are their own
    // canonical form, need no test for an equivalent name already stored.
    bool ascii = true;
    for (const auto& attribute : attributes)
        ascii = ascii && textservices::isAscii(attribute.name);
    for (const auto& attribute : attributes) {
        if (ascii) {
            map.entries_.push_back(XMLAttribute{attribute.name, attribute.value});
        } else {
            map.set(attribute.name, attribute.value);
        }
    }
}

TreeBuilder::~TreeBuilder() {
    Arena* arena = storage_.arena();
    arena->adjust(arena->takeUnsettled() - borrowedReferences);
}

void TreeBuilder::endElement() {
    if (depth_ <= 1) return;
    store(open_[depth_ - 1]);
    --depth_;
}

void TreeBuilder::gather(XMLElement::Children& children, std::shared_ptr<XMLContent> node) {
    const size_t capacity = children.capacity();
    children.push_back(std::move(node));
    gatheredBytes_ += (children.capacity() - capacity) * sizeof(std::shared_ptr<XMLContent>);
}

void TreeBuilder::charge(size_t heapBytes) {
    if (limit_ == 0) return;
    heapBytes_ += heapBytes;
    if (heapBytes_ + gatheredBytes_ + storage_.arena()->reservedBytes() > limit_)
        throw TreeSizeError(limit_);
}

void TreeBuilder::addText(std::string_view text) {
    charge(heapCost(text.size()));
    gather(open_[depth_ - 1].children,
           std::allocate_shared<TextElement>(NodeAllocator<TextElement>(storage_.arena()),
                                             std::string(text)));
}

void TreeBuilder::finish() {
    while (depth_ > 0) {
        store(open_[depth_ - 1]);
        --depth_;
    }
}

void TreeBuilder::store(Open& open) {
    if (open.children.empty()) return;
    auto& children = open.element->children_;
    if (children.empty())
        children = XMLElement::Children(TreeAllocator<std::shared_ptr<XMLContent>>(storage_));
    children.reserve(children.size() + open.children.size());
    std::move(open.children.begin(), open.children.end(), std::back_inserter(children));
    // clear() keeps the capacity for the next element at this depth.
    open.children.clear();
}

}  // namespace xmlindexing::detail
