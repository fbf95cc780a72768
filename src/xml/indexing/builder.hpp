// Building a parsed tree: nodes are allocated from one arena per document and each element's
// children are gathered while it is open, then stored in one exactly sized array when it closes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "sax/parser.hpp"
#include "xml/indexing/element.hpp"
#include "xml/indexing/errors.hpp"

namespace xmlindexing::detail {

// Allocator of the nodes of a parsed tree (the node and its reference count in one piece of its
// document's storage). Each allocation counts as one reference to the storage, released when the
// node is freed; copies of the allocator count nothing, so making a node costs no atomic
// operation.
template <class T>
class NodeAllocator {
  public:
    using value_type = T;

    explicit NodeAllocator(Arena* arena) noexcept : arena_(arena) {}
    template <class U>
    NodeAllocator(const NodeAllocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(size_t n) {
        void* memory = arena_->allocate(n * sizeof(T), alignof(T));
        arena_->countUnsettled();
        return static_cast<T*>(memory);
    }
    void deallocate(T*, size_t) noexcept { arena_->release(); }

    Arena* arena() const noexcept { return arena_; }
    template <class U>
    bool operator==(const NodeAllocator<U>& other) const noexcept {
        return arena_ == other.arena();
    }

  private:
    Arena* arena_;
};

// A hash of a short string, eight bytes at a time.
uint64_t hashOf(std::string_view text, uint64_t seed);

// The text node that every tree shares for `text`, held through a pointer that owns nothing; null
// when the text has none. Runs of white space of a common shape (a line break, then indentation of
// blanks or of tabs) always have one; other short texts get one while the process holds fewer than
// a few thousand of them, first come first served.
const std::shared_ptr<XMLContent>* sharedText(std::string_view text);

// Adds elements and text below a root as the event-driven parser reports them.
class TreeBuilder {
  public:
    explicit TreeBuilder(XMLElement& root);
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

    void addAttributes(XMLElement::AttributeMap& map, const sax::AttributeList& attributes);
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
    size_t limit_ = 0;  // 0: no limit
    size_t heapBytes_ = 0;
    size_t gatheredBytes_ = 0;
    // The name entries made so far, by name: an open-addressed table whose size is a power of two.
    std::vector<const ElementName*> names_;
    size_t nameCount_ = 0;
};

}  // namespace xmlindexing::detail
