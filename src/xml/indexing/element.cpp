#include "xml/indexing/element.hpp"

#include <stdexcept>
#include <utility>

#include "indexing/text.hpp"
#include "textservices/unicode.hpp"

namespace xmlindexing {

namespace {

// Above this size an attribute map keeps an index by name instead of scanning.
constexpr size_t indexedAttributeCount = 16;

void appendOpenTag(const XMLElement& element, std::string& out) {
    out += '<';
    out += element.name();
    for (const auto& attribute : element.allAttributes()) {
        out += ' ';
        out += attribute.name;
        out += "=\"";
        out += attribute.text;
        out += '"';
    }
    out += '>';
}

void appendCloseTag(const XMLElement& element, std::string& out) {
    out += "</";
    out += element.name();
    out += '>';
}

// Walks the subtree below `element` depth first in document order without recursion, calling
// `onText` for every text child, `onOpen` when entering an element and `onClose` when leaving it.
// Nodes that are neither text nor elements are passed to `onOther`.
template <class OnText, class OnOpen, class OnClose, class OnOther>
void walk(const XMLElement& element, OnText onText, OnOpen onOpen, OnClose onClose,
          OnOther onOther) {
    struct Frame {
        const XMLElement* element;
        size_t next;
    };
    std::vector<Frame> stack;
    onOpen(element);
    stack.push_back({&element, 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto& children = frame.element->children();
        if (frame.next == children.size()) {
            onClose(*frame.element);
            stack.pop_back();
            continue;
        }
        const XMLContent* child = children[frame.next++].get();
        if (child == nullptr) continue;
        if (child->isText()) {
            onText(static_cast<const TextElement&>(*child).text());
        } else if (child->isElement()) {
            const auto& childElement = static_cast<const XMLElement&>(*child);
            onOpen(childElement);
            stack.push_back({&childElement, 0});
        } else {
            onOther(*child);
        }
    }
}

void appendDescription(const XMLElement& element, std::string& out) {
    walk(
        element, [&](const std::string& text) { out += text; },
        [&](const XMLElement& e) { appendOpenTag(e, out); },
        [&](const XMLElement& e) { appendCloseTag(e, out); },
        [&](const XMLContent& other) { out += other.description(); });
}

}  // namespace

std::string XMLAttribute::description() const {
    return name + "=\"" + text + "\"";
}

// ---- AttributeMap

XMLElement::AttributeMap::AttributeMap(
    std::initializer_list<std::pair<std::string, std::string>> pairs) {
    for (const auto& [name, text] : pairs)
        set(name, text);
}

XMLElement::AttributeMap::AttributeMap(const AttributeMap& other)
    : entries_(other.entries_),
      index_(other.index_ ? std::make_unique<Index>(*other.index_) : nullptr) {}

XMLElement::AttributeMap& XMLElement::AttributeMap::operator=(const AttributeMap& other) {
    if (this != &other) *this = AttributeMap(other);
    return *this;
}

std::string_view XMLElement::AttributeMap::keyOf(size_t i) const {
    if (index_ && !index_->canonical.empty() && !index_->canonical[i].empty())
        return index_->canonical[i];
    return entries_[i].name;
}

std::optional<size_t> XMLElement::AttributeMap::position(std::string_view name) const {
    const bool ascii = textservices::isAscii(name);
    std::string canonicalName;
    if (!ascii) canonicalName = detail::canonical(name);
    const std::string_view key = ascii ? name : std::string_view(canonicalName);
    if (index_ && !index_->byName.empty()) {
        auto it = index_->byName.find(std::string(key));
        if (it == index_->byName.end()) return std::nullopt;
        return it->second;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (keyOf(i) == key) return i;
    }
    return std::nullopt;
}

void XMLElement::AttributeMap::set(std::string name, std::string text) {
    // The canonical form is kept only for names that are not already canonical.
    std::string canonicalName;
    if (!textservices::isAscii(name)) {
        canonicalName = detail::canonical(name);
        if (canonicalName == name) canonicalName.clear();
    }
    if (!canonicalName.empty()) {
        if (!index_) index_ = std::make_unique<Index>();
        if (index_->canonical.empty()) index_->canonical.resize(entries_.size());
    }
    const bool keepsCanonical = index_ && !index_->canonical.empty();

    if (auto at = position(name)) {
        entries_[*at] = XMLAttribute{std::move(name), std::move(text)};
        if (keepsCanonical) index_->canonical[*at] = std::move(canonicalName);
        return;
    }
    if (keepsCanonical) index_->canonical.push_back(canonicalName);
    entries_.push_back(XMLAttribute{std::move(name), std::move(text)});

    const size_t last = entries_.size() - 1;
    if (index_ && !index_->byName.empty()) {
        index_->byName.emplace(std::string(keyOf(last)), last);
    } else if (entries_.size() > indexedAttributeCount) {
        if (!index_) index_ = std::make_unique<Index>();
        index_->byName.reserve(entries_.size() * 2);
        for (size_t i = 0; i < entries_.size(); ++i)
            index_->byName.emplace(std::string(keyOf(i)), i);
    }
}

const XMLAttribute* XMLElement::AttributeMap::find(std::string_view name) const {
    const auto at = position(name);
    return at ? &entries_[*at] : nullptr;
}

// ---- XMLElement

namespace {

// The name of an element made on its own, with the options it keeps alive.
struct OwnedElementName : detail::ElementName {
    OwnedElementName(std::string name, std::shared_ptr<XMLHashOptions> options)
        : detail::ElementName(std::move(name), &ownOptions, true), ownOptions(std::move(options)) {}
    std::shared_ptr<XMLHashOptions> ownOptions;
};

const detail::ElementName* ownedName(std::string name, std::shared_ptr<XMLHashOptions> options) {
    if (!options) throw std::invalid_argument("an XMLElement needs options");
    return new OwnedElementName(std::move(name), std::move(options));
}

}  // namespace

XMLElement::XMLElement(std::string name, int64_t index, std::shared_ptr<XMLHashOptions> options)
    : XMLContent(Kind::element),
      index(index),
      name_(ownedName(std::move(name), std::move(options))) {}

XMLElement::XMLElement(detail::ParsedElementKey, const detail::ElementName& name, int64_t index)
    : XMLContent(Kind::element), index(index), name_(&name) {}

namespace {

// Asks the processor for a node that a teardown is about to read (its reference counts, kind and
// child list: the two cache lines of a parsed element, the count just before the object): the
// nodes of a large tree are rarely in the cache, and waiting for each in turn would cost most of the
// teardown.
void prefetchNode(const std::shared_ptr<XMLContent>& node) {
    const auto* at = reinterpret_cast<const char*>(node.get());
    __builtin_prefetch(at - 16);
    __builtin_prefetch(at + 48);
}

// Whether destroying `node` now would destroy children of its own: the recursion the teardown
// avoids.
bool ownsChildren(const std::shared_ptr<XMLContent>& node) {
    return node && node->isElement() && node.use_count() == 1 &&
           !static_cast<const XMLElement&>(*node).children().empty();
}

}  // namespace

namespace detail {

void tearDownWithoutAllocating(XMLElement::Children& children) noexcept {
    // Prunes leaves from the bottom: descend along last children that own children of their own,
    // then drop the last child there. The path is remembered as far as a fixed array reaches;
    // deeper than that, the descent starts again from the top. Nothing is allocated, so nothing
    // can fail, only take longer.
    constexpr size_t remembered = 256;
    XMLElement::Children* path[remembered];
    size_t depth = 0;
    while (!children.empty()) {
        XMLElement::Children* current = depth == 0 ? &children : path[depth - 1];
        if (current->empty()) {
            --depth;  // that element is bare now: its parent drops it next
            continue;
        }
        bool lost = false;
        while (ownsChildren(current->back())) {
            current = &static_cast<XMLElement&>(*current->back()).mutableChildren();
            if (depth < remembered) {
                path[depth++] = current;
            } else {
                lost = true;
            }
        }
        current->pop_back();
        if (lost) depth = 0;
    }
}

}  // namespace detail

XMLElement::~XMLElement() {
    if (!children_.empty()) tearDown();
    if (name_->ownedByElement) delete static_cast<const OwnedElementName*>(name_);
}

void XMLElement::tearDown() noexcept {
    // Frees the subtree without recursion, depth first in document order (the order a parse laid
    // the nodes out in memory): an element that only its parent holds has its own children freed
    // before it, so every destructor below sees an element without children. Everything stays
    // reachable from this element meanwhile, so should the path not grow, the rest is pruned in
    // place without allocating. The references the nodes hold to their tree's storage are counted
    // once for the whole teardown.
    constexpr size_t ahead = 4;
    detail::ReleaseBatch batch;
    try {
        struct Frame {
            Children* list;
            size_t next;
        };
        std::vector<Frame> path;
        path.reserve(32);
        auto enter = [&](Children& list) {
            path.push_back({&list, 0});
            for (size_t i = 0; i < ahead && i < list.size(); ++i)
                prefetchNode(list[i]);
        };
        enter(children_);
        while (!path.empty()) {
            Frame& frame = path.back();
            Children& list = *frame.list;
            if (frame.next == list.size()) {
                list.clear();
                path.pop_back();
                // The element whose children were just freed goes now.
                if (!path.empty()) {
                    Frame& parent = path.back();
                    (*parent.list)[parent.next++].reset();
                }
                continue;
            }
            if (frame.next + ahead < list.size()) prefetchNode(list[frame.next + ahead]);
            std::shared_ptr<XMLContent>& node = list[frame.next];
            if (ownsChildren(node)) {
                enter(static_cast<XMLElement&>(*node).children_);
            } else {
                node.reset();
                ++frame.next;
            }
        }
    } catch (...) {
        detail::tearDownWithoutAllocating(children_);
    }
}

void XMLElement::releaseHeldMemory() noexcept {
    // The list itself lives in the tree's storage; only what its entries hold elsewhere goes.
    for (XMLAttribute& attribute : attributes_.entries_)
        std::destroy_at(&attribute);
    attributes_.index_.reset();
}

bool XMLElement::caseInsensitive() const {
    return options()->caseInsensitive;
}

std::optional<XMLAttribute> XMLElement::attribute(std::string_view name) const {
    const AttributeMap& attributes = allAttributes();
    if (!caseInsensitive()) {
        if (const XMLAttribute* found = attributes.find(name)) return *found;
        return std::nullopt;
    }
    for (const auto& attribute : attributes) {
        if (detail::equalIgnoringCase(attribute.name, name)) return attribute;
    }
    return std::nullopt;
}

std::string XMLElement::text() const {
    std::string out;
    for (const auto& child : children()) {
        if (child && child->isText()) out += static_cast<const TextElement&>(*child).text();
    }
    return out;
}

std::string XMLElement::recursiveText() const {
    std::string out;
    walk(
        *this, [&](const std::string& text) { out += text; }, [](const XMLElement&) {},
        [](const XMLElement&) {}, [](const XMLContent&) {});
    return out;
}

std::string XMLElement::innerXML() const {
    std::string out;
    for (const auto& child : children()) {
        if (!child) continue;
        if (child->isText()) {
            out += static_cast<const TextElement&>(*child).text();
        } else if (child->isElement()) {
            appendDescription(static_cast<const XMLElement&>(*child), out);
        } else {
            out += child->description();
        }
    }
    return out;
}

std::vector<std::shared_ptr<XMLElement>> XMLElement::childElements() const {
    std::vector<std::shared_ptr<XMLElement>> out;
    for (const auto& child : children()) {
        if (child && child->isElement()) out.push_back(std::static_pointer_cast<XMLElement>(child));
    }
    return out;
}

std::string XMLElement::description() const {
    std::string out;
    appendDescription(*this, out);
    return out;
}

std::shared_ptr<XMLElement> XMLElement::addElement(std::string name, AttributeMap attributes) {
    auto child = std::make_shared<XMLElement>(std::move(name), count, options());
    ++count;
    children_.push_back(child);
    child->attributes_ = std::move(attributes);
    return child;
}

void XMLElement::addText(std::string text) {
    children_.push_back(std::make_shared<TextElement>(std::move(text)));
}

}  // namespace xmlindexing
