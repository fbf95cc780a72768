// XMLIndexer: a position in a parsed document through which callers walk it by element name and
// position.
//
// A position is one of five cases: one element, a list of elements (several matches of one name),
// a stream (the recorded lookups of a lazy parse, resolved on demand), or an error (a failed
// lookup, or a parse error when error detection is on). Lookups by subscript never throw: a missing
// element turns the indexer into an error value and every further lookup on it gives another error
// value, so a chain of lookups can be written without checks and tested once at the end:
//
//     auto root = XMLHash::parse(text);
//     for (const auto& measure : root["score-partwise"]["part"]["measure"].all()) {
//         for (const auto& child : measure.children()) {
//             if (auto element = child.element(); element && element->name() == "note") ...
//         }
//     }
//
// A name with several matches gives a list; a list cannot be looked up by name (use all() and look
// up on each entry, or a position first); text nodes never appear among children().
//
// Copying an indexer shares its elements (and, for a stream, its recording). Stream indexers
// derived from one lazy parse share one recording and must not be used concurrently; other indexers
// over a finished tree may be read from several threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "xml/indexing/element.hpp"
#include "xml/indexing/errors.hpp"
#include "xml/indexing/options.hpp"

namespace xmlindexing {

class XMLIndexer;
class LazyXMLParser;

// One recorded lookup of a lazy parse: the element name, and the position asked for after it (-1
// for none).
class IndexOp {
  public:
    explicit IndexOp(std::string key) : key(std::move(key)) {}

    int64_t index = -1;
    const std::string key;
};

// The recorded lookups of a lazy parse, shared by every stream indexer derived from it.
class IndexOps {
  public:
    explicit IndexOps(std::shared_ptr<LazyXMLParser> parser);
    virtual ~IndexOps() = default;

    // Parses the stored document building only the recorded path, replays the lookups on the
    // result, clears the recording and returns the replayed indexer. A second call without new
    // lookups returns the indexer of the whole document's root.
    virtual XMLIndexer findElements();

    std::vector<std::shared_ptr<IndexOp>> ops;
    // Holds the document bytes alive.
    std::shared_ptr<LazyXMLParser> parser;
};

// Predicate of the filtering operations: an element and its zero-based position in the array that
// is filtered.
using ElementPredicate = std::function<bool(const XMLElement& element, int64_t position)>;

class XMLIndexer {
  public:
    enum class Kind { element, list, stream, xmlError, parsingError };
    using List = std::vector<std::shared_ptr<XMLElement>>;
    // Payload by case, in the order of Kind.
    using Value = std::variant<std::shared_ptr<XMLElement>, List, std::shared_ptr<IndexOps>,
                               IndexingError, ParsingError>;

    // An element indexer; a null element gives an xmlError indexer carrying IndexingError::error().
    explicit XMLIndexer(std::shared_ptr<XMLElement> element);
    explicit XMLIndexer(List elements);
    // A stream indexer; a null recording gives an xmlError indexer carrying IndexingError::error().
    explicit XMLIndexer(std::shared_ptr<IndexOps> ops);
    explicit XMLIndexer(IndexingError error);
    explicit XMLIndexer(ParsingError error);

    // From an arbitrary object (XMLIndexer.init(_:)): an XMLElement gives an element indexer, a
    // LazyXMLParser a stream over a new recording with no lookups; anything else throws
    // IndexingError::initialize carrying the object and `description` as its text form.
    template <class T>
    static XMLIndexer fromObject(const std::shared_ptr<T>& object, std::string description = {}) {
        using U = std::remove_const_t<T>;
        if constexpr (std::is_base_of_v<XMLElement, U>) {
            return XMLIndexer(
                std::static_pointer_cast<XMLElement>(std::const_pointer_cast<U>(object)));
        } else if constexpr (std::is_base_of_v<LazyXMLParser, U>) {
            return streamOver(
                std::static_pointer_cast<LazyXMLParser>(std::const_pointer_cast<U>(object)));
        } else {
            throw IndexingError::initialize(object, std::move(description));
        }
    }
    // A stream over a new recording with no lookups, for `parser`.
    static XMLIndexer streamOver(std::shared_ptr<LazyXMLParser> parser);

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    const Value& value() const { return value_; }
    // The error of an xmlError or parsingError indexer.
    std::optional<IndexingError> xmlError() const;
    std::optional<ParsingError> parsingError() const;

    // Lookup by element name; never throws: a failure gives an xmlError indexer carrying
    // IndexingError::key with the asked name. On a stream the name is recorded.
    XMLIndexer operator[](std::string_view key) const;
    template <RawRepresentable K>
    XMLIndexer operator[](const K& key) const {
        return (*this)[std::string_view(std::string(rawValue(key)))];
    }
    // Lookup by position; never throws.
    XMLIndexer operator[](int64_t index) const { return byIndex(index); }

    // Lookup by element name; throws IndexingError::key when nothing matches or when this is not an
    // element (or stream) position. One match gives an element indexer, several a list.
    XMLIndexer byKey(std::string_view key) const;
    template <RawRepresentable K>
    XMLIndexer byKey(const K& key) const {
        return byKey(std::string_view(std::string(rawValue(key))));
    }
    // Lookup by position in a list (an element is at position 0); never throws.
    XMLIndexer byIndex(int64_t index) const;

    // The element at an element position (a stream is resolved first); null otherwise. A list has
    // no single element: use all().
    std::shared_ptr<XMLElement> element() const;
    // The elements at this position: one for an element, all of a list, none for an error.
    List allElements() const;
    // allElements(), each as an element indexer.
    std::vector<XMLIndexer> all() const;
    // The child elements of every element at this position, in order, each as an element indexer.
    std::vector<XMLIndexer> children() const;

    // The first element at this position whose attribute `attr` has the text `value` (letter case
    // ignored when the options ask for it); throws IndexingError::attributeValue when none has, or
    // IndexingError::attribute on an error position.
    XMLIndexer withAttribute(std::string_view attr, std::string_view value) const;
    template <RawRepresentable A, RawRepresentable V>
    XMLIndexer withAttribute(const A& attr, const V& value) const {
        return withAttribute(std::string_view(std::string(rawValue(attr))),
                             std::string_view(std::string(rawValue(value))));
    }

    // Keeps the elements of allElements() for which the predicate holds: one kept element gives an
    // element indexer, any other number (zero included) a list.
    XMLIndexer filterAll(const ElementPredicate& predicate) const;
    // Keeps the child elements (as children() gathers them) for which the predicate holds, under a
    // new element with this element's name, index and options and no attributes; an xmlError
    // (IndexingError::error) when this is not an element position.
    XMLIndexer filterChildren(const ElementPredicate& predicate) const;

    // The options' userInfo of an element position; empty for every other case.
    const UserInfo& userInfo() const;

    // The XML text of the position: the document (without the synthetic root) for a root, the
    // element, the elements of a list joined; empty for a stream or an error.
    std::string description() const;

  private:
    Value value_;
};

}  // namespace xmlindexing
