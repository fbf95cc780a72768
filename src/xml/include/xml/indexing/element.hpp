// The element tree of the indexing XML reader: elements with a name, attributes and an ordered list
// of child nodes, each child being an element or a piece of text.
//
// Nodes are held through std::shared_ptr; a parent owns its children and nothing points back to a
// parent. A tree is built by a parser and not changed afterwards, so a finished tree may be read
// from several threads at once. Tearing a tree down, serialising it and collecting its text never
// recurse, so documents nested arbitrarily deep are safe.
//
// A parsed tree holds the commonest runs of white space (a line break followed by indentation) as
// text nodes that every tree shares: immutable, never freed, and held through shared pointers that
// own nothing (their use_count() is 0).
#pragma once

#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xml/indexing/options.hpp"

namespace xmlindexing {

class XMLContent;

namespace detail {
class TreeBuilder;
class Arena;

// Releases of references to one arena made by a teardown on this thread, counted without atomic
// operations and settled at once when the batch ends. A teardown frees a whole tree's nodes one by
// one; counting each of them atomically would cost more than freeing them.
class ReleaseBatch {
  public:
    ReleaseBatch() noexcept : outer_(current_) { current_ = this; }
    ~ReleaseBatch();
    ReleaseBatch(const ReleaseBatch&) = delete;
    ReleaseBatch& operator=(const ReleaseBatch&) = delete;

    // Counts one release of `arena` in the current batch; false when there is none, or when it
    // counts another arena's releases.
    static bool take(Arena* arena) noexcept {
        ReleaseBatch* batch = current_;
        if (batch == nullptr) return false;
        if (batch->arena_ == nullptr) batch->arena_ = arena;
        if (batch->arena_ != arena) return false;
        ++batch->count_;
        return true;
    }

  private:
    static inline thread_local ReleaseBatch* current_ = nullptr;
    ReleaseBatch* outer_;
    Arena* arena_ = nullptr;
    int64_t count_ = 0;
};

// The name of an element together with the options of its tree. A parsed tree keeps one entry per
// distinct element name in its storage, shared by its elements; an element made on its own owns
// one of its own.
struct ElementName : std::string {
    ElementName(std::string name, const std::shared_ptr<XMLHashOptions>* options,
                bool ownedByElement)
        : std::string(std::move(name)), options(options), ownedByElement(ownedByElement) {}

    const std::shared_ptr<XMLHashOptions>* options;
    ElementName* next = nullptr;  // the entries of one tree's storage
    bool ownedByElement;
};

// The storage of one parsed document, counted by every piece allocated from it. Pieces are taken
// from regions that grow from 64 KiB to 2 MiB as the document does; a region of 2 MiB is asked of
// the system as huge pages where it offers them, which saves most of the cost of faulting a large
// tree's memory in. Regions are made of granules aligned to their size, each starting with a
// pointer to its arena, so that a piece finds its storage from its own address.
class Arena {
  public:
    static constexpr size_t granuleSize = size_t{64} << 10;
    // The header keeps the pieces after it aligned to a cache line.
    static constexpr size_t granuleHeader = 64;

    // The arena of a piece of at most granuleSize - granuleHeader bytes allocated from one.
    static Arena* of(const void* piece) noexcept {
        return *reinterpret_cast<Arena* const*>(reinterpret_cast<uintptr_t>(piece) &
                                                ~(uintptr_t{granuleSize} - 1));
    }

    void retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Adds (or, with a negative count, removes) several references at once.
    void adjust(int64_t count) noexcept {
        if (refs_.fetch_add(static_cast<size_t>(count), std::memory_order_acq_rel) +
                static_cast<size_t>(count) ==
            0) {
            destroy(this);
        }
    }
    void release() noexcept {
        if (ReleaseBatch::take(this)) return;
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy(this);
    }
    // A piece of the tree's containers or names.
    void* allocate(size_t size, size_t alignment) {
        if (void* piece = pieces_.take(size, alignment)) return piece;
        return allocateSlowly(pieces_, size, alignment);
    }
    // A node with its reference count: aligned to a cache line, and kept apart from the other
    // pieces so that nodes of the sizes a tree uses fill whole cache lines, laid out in the order
    // they were made.
    static constexpr size_t nodeAlignment = 64;
    void* allocateNode(size_t size) {
        if (void* piece = nodes_.take(size, nodeAlignment)) return piece;
        return allocateSlowly(nodes_, size, nodeAlignment);
    }
    // Counts one reference without an atomic operation, for the one thread building a tree while
    // it has borrowed references (see adjust()); returns and resets the count.
    void countUnsettled() noexcept { ++unsettled_; }
    int64_t takeUnsettled() noexcept { return std::exchange(unsettled_, 0); }
    // Bytes of storage taken so far (whole regions and large arrays).
    size_t reservedBytes() const noexcept { return reserved_; }

    // The options shared by every element of the tree, kept as long as the storage.
    const std::shared_ptr<XMLHashOptions>* keepOptions(std::shared_ptr<XMLHashOptions> options) {
        options_ = std::move(options);
        return &options_;
    }
    // A name entry made in this storage, destroyed with it.
    ElementName* makeName(std::string_view name);
    // Room for one more node of a transient tree that holds memory of its own, to be handed to
    // keepUntilEnd() once it is made (which then cannot fail).
    void reserveKept() { kept_.reserve(kept_.size() + 1); }
    // A node of a transient tree whose own memory (long strings, lookup aids) is freed with the
    // storage, since the node itself is never destroyed.
    void keepUntilEnd(XMLContent* node) noexcept { kept_.push_back(node); }

    // A new arena with one reference, which the caller releases.
    static Arena* create() { return new Arena(); }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

  private:
    Arena() = default;
    ~Arena();
    static void destroy(Arena* arena) noexcept { delete arena; }
    // The free part of a granule.
    struct Cursor {
        std::byte* next = nullptr;
        std::byte* end = nullptr;

        void* take(size_t size, size_t alignment) noexcept {
            const auto address = reinterpret_cast<uintptr_t>(next);
            const uintptr_t aligned = (address + alignment - 1) & ~(uintptr_t{alignment} - 1);
            if (next == nullptr || aligned + size > reinterpret_cast<uintptr_t>(end)) return nullptr;
            next = reinterpret_cast<std::byte*>(aligned + size);
            return reinterpret_cast<void*>(aligned);
        }
    };
    void* allocateSlowly(Cursor& cursor, size_t size, size_t alignment);
    // Hands `cursor` the next granule of the current region, or of a new one.
    void takeGranule(Cursor& cursor);

    struct Region {
        std::byte* base;
        size_t size;
    };

    std::atomic<size_t> refs_{1};
    int64_t unsettled_ = 0;
    Cursor pieces_;
    Cursor nodes_;
    // The granules of the current region not handed out yet.
    std::byte* granules_ = nullptr;
    std::byte* regionEnd_ = nullptr;
    std::vector<Region> regions_;
    std::vector<std::byte*> largeBlocks_;
    size_t reserved_ = 0;
    size_t nextRegionSize_ = 0;
    std::shared_ptr<XMLHashOptions> options_;
    ElementName* names_ = nullptr;
    std::vector<XMLContent*> kept_;
};

// The mark of a reference to an arena taken while its tree is built (see Arena::countUnsettled).
struct BuildingReference {};
// The mark of a container of a transient tree (see parseTransiently()): it lives exactly as long as
// the tree's storage, is never destroyed on its own, and so takes no reference to it.
struct TransientReference {};

// Lets only the tree builder make the elements of a parsed tree.
class ParsedElementKey {
    ParsedElementKey() = default;
    friend class TreeBuilder;
};
}  // namespace detail

// Allocator of the containers of a tree (and of the nodes of a parsed one). A parser stores a
// document's nodes, child arrays and attribute arrays in one block of storage that every piece of
// it keeps alive, so building and freeing a tree costs few heap operations; every other container
// (default-constructed, or a copy) uses the heap. A parsed tree must not be modified from two
// threads at once.
template <class T>
class TreeAllocator {
  public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using is_always_equal = std::false_type;

    TreeAllocator() noexcept = default;
    explicit TreeAllocator(detail::Arena* arena) noexcept : arena_(arena) {
        if (arena_) arena_->retain();
    }
    // A reference taken by the builder of the arena's tree, counted without an atomic operation.
    TreeAllocator(detail::Arena* arena, detail::BuildingReference) noexcept : arena_(arena) {
        arena_->countUnsettled();
    }
    TreeAllocator(detail::Arena* arena, detail::TransientReference) noexcept : arena_(arena) {}

    TreeAllocator(const TreeAllocator& other) noexcept : TreeAllocator(other.arena_) {}
    template <class U>
    TreeAllocator(const TreeAllocator<U>& other) noexcept : TreeAllocator(other.arena()) {}
    TreeAllocator(TreeAllocator&& other) noexcept : arena_(std::exchange(other.arena_, nullptr)) {}
    TreeAllocator& operator=(TreeAllocator other) noexcept {
        std::swap(arena_, other.arena_);
        return *this;
    }
    ~TreeAllocator() {
        if (arena_) arena_->release();
    }

    T* allocate(size_t n) {
        if (!arena_) return std::allocator<T>().allocate(n);
        if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(arena_->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n) noexcept {
        if (!arena_) std::allocator<T>().deallocate(p, n);
    }
    // Copies of a container go to the heap.
    TreeAllocator select_on_container_copy_construction() const { return TreeAllocator(); }

    detail::Arena* arena() const noexcept { return arena_; }
    template <class U>
    bool operator==(const TreeAllocator<U>& other) const noexcept {
        return arena_ == other.arena();
    }

  private:
    detail::Arena* arena_ = nullptr;
};

// A key type other than a string: any type for which an unqualified call rawValue(key), found by
// argument-dependent lookup, yields a string (for instance an enumeration whose cases stand for
// element or attribute names). Lookups taking such a key behave exactly as with that string.
template <class K>
concept RawRepresentable = requires(const K& key) {
    { rawValue(key) } -> std::convertible_to<std::string>;
};

// A node of the tree.
class XMLContent {
  public:
    virtual ~XMLContent() = default;
    // The node as XML text (nothing escaped).
    virtual std::string description() const = 0;

    bool isElement() const { return kind_ == Kind::element; }
    bool isText() const { return kind_ == Kind::text; }

  protected:
    enum class Kind { element, text, other };
    XMLContent() = default;
    explicit XMLContent(Kind kind) : kind_(kind) {}

  private:
    Kind kind_ = Kind::other;
};

// A run of character data, or the contents of one CDATA section, exactly as the parser delivered it
// (references resolved, nothing trimmed).
class TextElement final : public XMLContent {
  public:
    explicit TextElement(std::string text) : XMLContent(Kind::text), text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    // The text itself.
    std::string description() const override { return text_; }

  private:
    std::string text_;
};

struct XMLAttribute {
    std::string name;
    std::string text;

    // name="text", nothing escaped.
    std::string description() const;
    bool operator==(const XMLAttribute&) const = default;
};

class XMLElement : public XMLContent {
  public:
    // The attributes of an element, keyed by name; every entry's key is its value's name. Names
    // that are canonically equivalent Unicode strings are the same key. Iteration follows insertion
    // order (document order for a parsed element); callers must not rely on any order.
    class AttributeMap {
      public:
        AttributeMap() = default;
        // From name/value pairs; a later pair replaces an earlier one with the same name.
        AttributeMap(std::initializer_list<std::pair<std::string, std::string>> pairs);

        // Stores an attribute under `name`, replacing one already held under that name.
        void set(std::string name, std::string text);
        // Exact lookup (canonical equivalence); null when absent.
        const XMLAttribute* find(std::string_view name) const;
        bool contains(std::string_view name) const { return find(name) != nullptr; }
        size_t size() const { return entries_.size(); }
        bool empty() const { return entries_.empty(); }
        void reserve(size_t n) { entries_.reserve(n); }

        using Entries = std::vector<XMLAttribute, TreeAllocator<XMLAttribute>>;
        using const_iterator = Entries::const_iterator;
        const_iterator begin() const { return entries_.begin(); }
        const_iterator end() const { return entries_.end(); }

      private:
        // Lookup aids, made only when needed: the canonical (NFC) form of each name where it
        // differs from the name, and an index by canonical name once the map is large enough for
        // scanning to be slow.
        struct Index {
            std::vector<std::string> canonical;
            std::unordered_map<std::string, size_t> byName;
        };

      public:
        AttributeMap(const AttributeMap& other);
        AttributeMap& operator=(const AttributeMap& other);
        AttributeMap(AttributeMap&&) noexcept = default;
        AttributeMap& operator=(AttributeMap&&) noexcept = default;
        ~AttributeMap() = default;

      private:
        friend class detail::TreeBuilder;
        friend class XMLElement;

        std::optional<size_t> position(std::string_view name) const;
        std::string_view keyOf(size_t i) const;

        Entries entries_;
        std::unique_ptr<Index> index_;
    };

    using Children =
        std::vector<std::shared_ptr<XMLContent>, TreeAllocator<std::shared_ptr<XMLContent>>>;

    // An element with no attributes, no children and count 0. `options` must not be null.
    XMLElement(std::string name, int64_t index, std::shared_ptr<XMLHashOptions> options);
    // An element of a parsed tree, named by an entry of the tree's storage (made by the parsers).
    XMLElement(detail::ParsedElementKey, const detail::ElementName& name, int64_t index);
    ~XMLElement() override;
    XMLElement(const XMLElement&) = delete;
    XMLElement& operator=(const XMLElement&) = delete;

    // The name as reported by the parser: the qualified name as written, or the local name when
    // namespace processing is on.
    const std::string& name() const { return *name_; }
    const std::shared_ptr<XMLHashOptions>& options() const { return *name_->options; }

    // options().caseInsensitive.
    virtual bool caseInsensitive() const;

    virtual const AttributeMap& allAttributes() const { return attributes_; }
    virtual void setAllAttributes(AttributeMap attributes) { attributes_ = std::move(attributes); }
    // In-place modification.
    virtual AttributeMap& mutableAllAttributes() { return attributes_; }

    // The attribute of that name: exact (canonical equivalence) by default, ignoring letter case
    // when the options ask for it (then which of several case variants is found is not defined).
    virtual std::optional<XMLAttribute> attribute(std::string_view name) const;
    template <RawRepresentable K>
    std::optional<XMLAttribute> attribute(const K& key) const {
        return attribute(std::string_view(std::string(rawValue(key))));
    }

    // The direct text children joined in order; nothing trimmed; empty without text children.
    virtual std::string text() const;
    // All text below this element, depth first, in document order.
    virtual std::string recursiveText() const;
    // The description of every child joined (the element's content as XML text).
    virtual std::string innerXML() const;

    // Child nodes in document order, text and elements interleaved.
    virtual const Children& children() const { return children_; }
    virtual void setChildren(Children children) { children_ = std::move(children); }
    // In-place modification.
    virtual Children& mutableChildren() { return children_; }
    // The children that are elements, in document order.
    virtual std::vector<std::shared_ptr<XMLElement>> childElements() const;

    // "<name attrs>" + content + "</name>"; an empty element gets a start and an end tag, never the
    // self-closing form. Nothing is escaped.
    std::string description() const override;

    // Used by the parsers: appends a child element with index = count, increments count.
    std::shared_ptr<XMLElement> addElement(std::string name, AttributeMap attributes = {});
    // Used by the parsers: appends a text child (never merged with a text child before it).
    void addText(std::string text);

    // The number of child elements added through addElement.
    int64_t count = 0;
    // Position among the element children of the parent when it was added; 0 for a root.
    int64_t index = 0;

  private:
    friend class detail::TreeBuilder;
    friend class detail::Arena;

    void tearDown() noexcept;
    // Frees what an element of a transient tree holds beyond its storage (attribute strings that do
    // not fit in place, lookup aids); the element itself is never destroyed.
    void releaseHeldMemory() noexcept;

    // With the options of the tree; owned by this element when it was made on its own.
    const detail::ElementName* name_;
    AttributeMap attributes_;
    Children children_;
};

namespace detail {
// Destroys the nodes held by `children` and everything below them without recursion and without
// allocating: the teardown used when a destructor's work list cannot grow.
void tearDownWithoutAllocating(XMLElement::Children& children) noexcept;
// Bytes of freed tree storage kept for the next documents.
size_t cachedTreeStorage();
}  // namespace detail

}  // namespace xmlindexing
