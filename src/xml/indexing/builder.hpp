// Building a parsed tree: nodes are allocated from one arena per document and each element's
// children are gathered while it is open, then stored in one exactly sized array when it closes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "sax/parser.hpp"
#include "xml/indexing/element.hpp"
#include "xml/indexing/errors.hpp"

namespace xmlindexing::detail {

// The arena that the tree builder running on this thread takes nodes from.
inline thread_local Arena* buildingArena = nullptr;

// Allocator of the nodes of a parsed tree (the node and its reference count in one piece of its
// document's storage, aligned to a cache line). Each allocation counts as one reference to the
// storage, released when the node is freed. The allocator holds nothing, so a node keeps no copy
// of it: it allocates from the arena of the builder at work, and a node finds its arena from its
// own address when it goes.
template <class T>
class NodeAllocator {
  public:
    using value_type = T;

    NodeAllocator() noexcept = default;
    template <class U>
    NodeAllocator(const NodeAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        Arena* arena = buildingArena;
        static_assert(alignof(T) <= Arena::nodeAlignment);
        void* memory = arena->allocateNode(n * sizeof(T));
        arena->countUnsettled();
        return static_cast<T*>(memory);
    }
    void deallocate(T* p, size_t) noexcept { Arena::of(p)->release(); }

    template <class U>
    bool operator==(const NodeAllocator<U>&) const noexcept {
        return true;
    }
};

// The bytes of a string as two words and its length, read with a few loads: for strings of up to
// `exactLength` bytes, equal keys mean equal strings; longer ones keep their first and last eight
// bytes, and equal keys only mean that the strings may be equal.
struct StringKey {
    static constexpr size_t exactLength = 16;

    StringKey() = default;
    explicit StringKey(std::string_view s) : length(s.size()) {
        const char* p = s.data();
        const size_t n = s.size();
        if (n >= 8) {
            std::memcpy(&first, p, 8);
            std::memcpy(&last, p + n - 8, 8);
        } else if (n >= 4) {
            uint32_t head, tail;
            std::memcpy(&head, p, 4);
            std::memcpy(&tail, p + n - 4, 4);
            first = head | (uint64_t{tail} << 32);
        } else if (n > 0) {
            first = uint64_t{static_cast<unsigned char>(p[0])} |
                    uint64_t{static_cast<unsigned char>(p[n / 2])} << 8 |
                    uint64_t{static_cast<unsigned char>(p[n - 1])} << 16;
        }
    }

    bool exact() const { return length <= exactLength; }
    uint64_t hash(uint64_t seed) const {
        uint64_t h = (first ^ seed) * 0x9E3779B97F4A7C15ull;
        h ^= (last + length) * 0xC2B2AE3D27D4EB4Full;
        h ^= h >> 29;
        h *= 0xD6E8FEB86659FD93ull;
        return h ^ (h >> 32);
    }
    bool operator==(const StringKey&) const = default;

    uint64_t first = 0;
    uint64_t last = 0;
    size_t length = 0;
};

// The text node that every tree shares for `text` (whose key is `key`), held through a pointer that
// owns nothing; null when the text has none. Runs of white space of a common shape (a line break,
// then indentation of blanks or of tabs) always have one; other texts of up to
// StringKey::exactLength bytes get one while the process holds fewer than a few thousand of them,
// first come first served.
const std::shared_ptr<XMLContent>* sharedText(std::string_view text, const StringKey& key);

// Adds elements and text below a root as the event-driven parser reports them.
//
// A transient tree (see parseTransiently()) has its nodes made in place, without reference counts
// of their own, linked by pointers that own nothing; the root's child list holds the only
// reference to the storage, and the whole tree goes with it.
class TreeBuilder {
  public:
    explicit TreeBuilder(XMLElement& root, bool transient = false);
    ~TreeBuilder();
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;

    // A child of the innermost open element, which becomes the innermost open element.
    void startElement(std::string_view name, const sax::AttributeList& attributes);
    // Closes the innermost open element (never the root).
    void endElement();
    void addText(std::string_view text);
    // Hands every element still open the children gathered for it; call once the run is over
    // (after a document that ended early, elements are still open).
    void finish();

  private:
    struct Open {
        XMLElement* element = nullptr;
        XMLElement::Children children;
    };
    void store(Open& open);

    // Stores the attributes of a start tag; `asciiNames` tells whether every name is ASCII.
    void addAttributes(XMLElement::AttributeMap& map, const sax::AttributeList& attributes,
                       bool asciiNames);
    // A node of a transient tree, made in the storage.
    template <class Node, class... Args>
    Node* makeInPlace(Args&&... args);
    // The reference a container of this tree takes to the storage.
    template <class T>
    TreeAllocator<T> containerAllocator() const {
        if (transient_) return TreeAllocator<T>(arena_, TransientReference{});
        return TreeAllocator<T>(arena_, BuildingReference{});
    }
    // The tree's entry for an element name, made on first use.
    const ElementName& nameEntry(std::string_view name);
    // Counts heap bytes of a new node's strings; fails with TreeSizeError once the tree takes more
    // than the options allow.
    void charge(size_t heapBytes);
    // Appends to a list being gathered, counting what its growth takes.
    void gather(XMLElement::Children& children, std::shared_ptr<XMLContent> node);

    // The builder's own reference to the document's storage.
    TreeAllocator<std::byte> storage_;
    Arena* arena_;
    // open_[0, depth_) are the open elements, root first; entries beyond keep their capacity for
    // reuse.
    std::vector<Open> open_;
    size_t depth_ = 0;
    bool transient_;
    size_t limit_ = 0;  // 0: no limit
    size_t heapBytes_ = 0;
    size_t gatheredBytes_ = 0;
    // The shared text nodes this tree used last, by the low bits of their keys' hashes: most texts
    // of a document repeat, and this finds them without a look into the process's table.
    struct TextSlot {
        StringKey key;
        const std::shared_ptr<XMLContent>* shared = nullptr;
    };
    static constexpr size_t recentTexts = 256;
    std::array<TextSlot, recentTexts> texts_{};
    // The name entries made so far, by name: an open-addressed table whose size is a power of two.
    struct NameSlot {
        StringKey key;
        const ElementName* entry = nullptr;
    };
    std::vector<NameSlot> names_;
    size_t nameCount_ = 0;
};

}  // namespace xmlindexing::detail
