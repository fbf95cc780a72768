#include "indexing/builder.hpp"

#include <cstring>
#include <iterator>

#include "textservices/unicode.hpp"

namespace xmlindexing::detail {

namespace {

// What a string of `length` bytes takes on the heap beyond its own object: nothing while it fits
// in place, else its buffer and the allocator's bookkeeping.
size_t heapCost(size_t length) {
    constexpr size_t inPlace = 15;
    return length <= inPlace ? 0 : length + 1 + 16;
}

// Probes of the name table before a name gets an entry of its own outside it: crafted names that
// collide cost memory, never quadratic time.
constexpr size_t maxProbes = 8;

}  // namespace

// Every node holds a reference to the storage of its document. Rather than counting each node
// atomically as it is made, the builder borrows a large number of references up front and settles
// the account when it is done: nodes freed meanwhile draw on the borrowed ones, so the count never
// reaches zero early.
constexpr int64_t borrowedReferences = int64_t{1} << 48;

TreeBuilder::TreeBuilder(XMLElement& root, bool transient)
    : storage_(Arena::create()),
      arena_(storage_.arena()),
      transient_(transient),
      limit_(root.options()->maximumTreeSize),
      names_(64) {
    // The allocator holds a reference of its own: drop the one create() gave.
    arena_->release();
    arena_->adjust(borrowedReferences);
    arena_->keepOptions(root.options());
    open_.emplace_back();
    open_[0].element = &root;
    depth_ = 1;
}

TreeBuilder::~TreeBuilder() {
    arena_->adjust(arena_->takeUnsettled() - borrowedReferences);
}

const ElementName& TreeBuilder::nameEntry(std::string_view name) {
    const uint64_t seed = reinterpret_cast<uintptr_t>(arena_);
    const StringKey key(name);
    const size_t mask = names_.size() - 1;
    size_t slot = key.hash(seed) & mask;
    for (size_t probe = 0; probe < maxProbes; ++probe, slot = (slot + 1) & mask) {
        const NameSlot& at = names_[slot];
        if (at.entry == nullptr) {
            charge(heapCost(name.size()));
            ElementName* made = arena_->makeName(name);
            names_[slot] = NameSlot{key, made};
            if (++nameCount_ * 2 > names_.size()) {
                // Grow to keep the table at most half full.
                std::vector<NameSlot> grown(names_.size() * 2);
                const size_t grownMask = grown.size() - 1;
                for (const NameSlot& e : names_) {
                    if (e.entry == nullptr) continue;
                    size_t to = e.key.hash(seed) & grownMask;
                    while (grown[to].entry != nullptr)
                        to = (to + 1) & grownMask;
                    grown[to] = e;
                }
                names_ = std::move(grown);
            }
            return *made;
        }
        if (at.key == key && (key.exact() || std::string_view(*at.entry) == name)) return *at.entry;
    }
    charge(heapCost(name.size()));
    return *arena_->makeName(name);
}

void TreeBuilder::startElement(std::string_view name, const sax::AttributeList& attributes) {
    size_t cost = 0;
    bool asciiNames = true;
    for (const auto& attribute : attributes) {
        cost += heapCost(attribute.name.size()) + heapCost(attribute.value.size());
        asciiNames = asciiNames && textservices::isAscii(attribute.name);
    }
    if (cost != 0) charge(cost);
    const ElementName& entry = nameEntry(name);
    Open& parentOpen = open_[depth_ - 1];
    XMLElement* parent = parentOpen.element;
    XMLElement* raw;
    if (transient_) {
        raw = makeInPlace<XMLElement>(ParsedElementKey{}, entry, parent->count);
        // Strings that do not fit in place, and the lookup aids of names that are not ASCII, live
        // outside the storage.
        if (cost != 0 || !asciiNames) arena_->keepUntilEnd(raw);
        if (!attributes.empty()) addAttributes(raw->attributes_, attributes, asciiNames);
        gather(parentOpen.children, std::shared_ptr<XMLContent>(std::shared_ptr<XMLContent>(), raw));
    } else {
        buildingArena = arena_;
        auto child = std::allocate_shared<XMLElement>(NodeAllocator<XMLElement>(),
                                                      ParsedElementKey{}, entry, parent->count);
        if (!attributes.empty()) addAttributes(child->attributes_, attributes, asciiNames);
        raw = child.get();
        gather(parentOpen.children, std::move(child));
    }
    ++parent->count;
    if (depth_ == open_.size()) open_.emplace_back();
    open_[depth_].element = raw;
    ++depth_;
    // Checked once the element is made, so that the budget also sees the storage it took.
    if (limit_ != 0) charge(0);
}

template <class Node, class... Args>
Node* TreeBuilder::makeInPlace(Args&&... args) {
    // Room to keep the node is taken first, so that keeping it cannot fail once it holds memory.
    arena_->reserveKept();
    return new (arena_->allocate(sizeof(Node), alignof(Node))) Node(std::forward<Args>(args)...);
}

void TreeBuilder::addAttributes(XMLElement::AttributeMap& map, const sax::AttributeList& attributes,
                                bool asciiNames) {
    map.entries_ = XMLElement::AttributeMap::Entries(containerAllocator<XMLAttribute>());
    map.entries_.reserve(attributes.size());
    // The parser refuses a start tag that repeats a name, so ASCII names, which are their own
    // canonical form, need no test for an equivalent name already stored.
    for (const auto& attribute : attributes) {
        if (asciiNames) {
            map.entries_.push_back(
                XMLAttribute{std::string(attribute.name), std::string(attribute.value)});
        } else {
            map.set(std::string(attribute.name), std::string(attribute.value));
        }
    }
}

void TreeBuilder::endElement() {
    if (depth_ <= 1) return;
    store(open_[depth_ - 1]);
    --depth_;
}

void TreeBuilder::gather(XMLElement::Children& children, std::shared_ptr<XMLContent> node) {
    const size_t capacity = children.capacity();
    children.push_back(std::move(node));
    if (children.capacity() != capacity)
        gatheredBytes_ += (children.capacity() - capacity) * sizeof(std::shared_ptr<XMLContent>);
}

void TreeBuilder::charge(size_t heapBytes) {
    if (limit_ == 0) return;
    heapBytes_ += heapBytes;
    if (heapBytes_ + gatheredBytes_ + arena_->reservedBytes() > limit_) throw TreeSizeError(limit_);
}

void TreeBuilder::addText(std::string_view text) {
    XMLElement::Children& children = open_[depth_ - 1].children;
    const StringKey key(text);
    if (key.exact() && !text.empty()) {
        TextSlot& recent = texts_[key.hash(0) & (recentTexts - 1)];
        if (recent.shared != nullptr && recent.key == key) {
            gather(children, *recent.shared);
            return;
        }
        if (const auto* shared = sharedText(text, key)) {
            recent = TextSlot{key, shared};
            gather(children, *shared);
            return;
        }
    } else if (const auto* shared = sharedText(text, key)) {
        gather(children, *shared);
        return;
    }
    charge(heapCost(text.size()));
    if (transient_) {
        auto* node = makeInPlace<TextElement>(std::string(text));
        if (heapCost(text.size()) != 0) arena_->keepUntilEnd(node);
        gather(children, std::shared_ptr<XMLContent>(std::shared_ptr<XMLContent>(), node));
        return;
    }
    buildingArena = arena_;
    gather(children,
           std::allocate_shared<TextElement>(NodeAllocator<TextElement>(), std::string(text)));
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
    if (children.empty()) {
        // The root of a transient tree is an element of its own: its list holds the reference
        // through which the whole tree lives.
        children = XMLElement::Children(
            open.element == open_[0].element
                ? TreeAllocator<std::shared_ptr<XMLContent>>(arena_, BuildingReference{})
                : containerAllocator<std::shared_ptr<XMLContent>>());
    }
    children.reserve(children.size() + open.children.size());
    std::move(open.children.begin(), open.children.end(), std::back_inserter(children));
    // clear() keeps the capacity for the next element at this depth.
    open.children.clear();
}

}  // namespace xmlindexing::detail
