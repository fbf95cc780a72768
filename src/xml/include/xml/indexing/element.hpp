// The element tree of the indexing XML reader: elements with a name, attributes and an ordered list
// of child nodes, each child being an element or a piece of text.
//
// Nodes are held through std::shared_ptr; a parent owns its children and nothing points back to a
// parent. A tree is built by a parser and not changed afterwards, so a finished tree may be read
// from several threads at once. Tearing a tree down, serialising it and collecting its text never
// recurse, so documents nested arbitrarily deep are safe.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/indexing/options.hpp"

namespace xmlindexing {

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

        using const_iterator = std::vector<XMLAttribute>::const_iterator;
        const_iterator begin() const { return entries_.begin(); }
        const_iterator end() const { return entries_.end(); }

      private:
        std::optional<size_t> position(std::string_view name) const;

        std::vector<XMLAttribute> entries_;
        // Canonical form (NFC) of each entry's name where it differs from the name; parallel to
        // entries_ once any name needed one, else empty.
        std::vector<std::string> canonical_;
        // Position by canonical name; built once the map is large enough for scanning to be slow.
        std::unordered_map<std::string, size_t> byName_;
    };

    using Children = std::vector<std::shared_ptr<XMLContent>>;

    // An element with no attributes, no children and count 0. `options` must not be null.
    XMLElement(std::string name, int64_t index, std::shared_ptr<XMLHashOptions> options);
    ~XMLElement() override;
    XMLElement(const XMLElement&) = delete;
    XMLElement& operator=(const XMLElement&) = delete;

    // The name as reported by the parser: the qualified name as written, or the local name when
    // namespace processing is on.
    const std::string& name() const { return name_; }
    const std::shared_ptr<XMLHashOptions>& options() const { return options_; }

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
    std::string name_;
    AttributeMap attributes_;
    Children children_;
    std::shared_ptr<XMLHashOptions> options_;
};

}  // namespace xmlindexing
