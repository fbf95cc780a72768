// The typed readers of the indexing XML reader: an attribute, the element text or the whole node at
// a position, read as a value of a readable type (see deserialization.hpp).
//
// The result type chosen names both the readable type T and the shape of the result:
//
//   T                              (T)     single: one value; every failure is thrown
//   std::optional<T>               (T?)    optional: a value or nothing
//   std::vector<T>                 ([T])   array, in document order
//   std::optional<std::vector<T>>  ([T]?)  optional array
//   std::vector<std::optional<T>>  ([T?])  array of optionals
//
// and the second argument the family:
//
//   value<R>(indexer, "name")          the attribute `name` of the element(s) at the position
//   value<R>(element, "name")          the attribute `name` of one element (single, optional)
//   value<R>(indexer, elementContent)  the text of the element(s) (T: XMLElementDeserializable)
//   value<R>(indexer, wholeNode)       the node(s) themselves (T: XMLObjectDeserialization)
//   value<R>(indexer)                  whichever of the last two T implements (T must not
//                                      implement both)
//
//     auto root = XMLHash::parse(text);
//     auto numbers = value<std::vector<int64_t>>(root["score"]["measure"], "number");
//     auto tempo = value<std::optional<double>>(root["score"]["tempo"], elementContent);
//
// Each read is deserialize followed by validate() (deserialization.hpp); every failure is an
// XMLDeserializationError. What each position gives, where a stream is replayed first and read as
// the position the replay gives; "bad(X)" is nodeIsInvalid with the text "Unexpected error
// deserializing X" (the letter T is literal), "bad(key)" nodeIsInvalid with the text of the
// position's IndexingError. Arrays stop at the first error: no partial array is returned.
//
// Attributes (N the name asked for). "read" throws attributeDoesNotExist for a missing attribute
// and the type's own failures; "opt" gives nothing for a missing, unreadable or refused value:
//
//   shape  element e  list                    xmlError   parsingError
//   T      read e     bad(XMLAttribute N -> T) bad(key)   bad(XMLAttribute N -> T)
//   T?     opt e      nothing                 nothing    nothing
//   [T]    [read e]   read each               bad(key)   bad(XMLAttribute N -> [T])
//   [T]?   [read e]   read each               nothing    nothing
//   [T?]   [opt e]    opt each                bad(key)   bad(XMLAttribute N -> [T?])
//
// Element content ("read" throws every failure, the optional shape included):
//
//   T      read e     bad(XMLElement -> T)    bad(key)   bad(XMLElement -> T)
//   T?     read e     nothing                 nothing    nothing
//   [T]    [read e]   read each               []         []
//   [T]?   [read e]   read each               nothing    nothing
//   [T?]   [read e]   read each               []         []
//
// Whole nodes (the single shapes read the position itself, the arrays each element as an element
// indexer of its own):
//
//   T      read       bad(XMLIndexer -> T)    bad(key)   bad(XMLIndexer -> T)
//   T?     read       nothing                 nothing    nothing
//   [T]    [read]     read each               bad(key)   bad(XMLIndexer -> [T])
//   [T]?   [read]     read each               nothing    nothing
//   [T?]   [read]     read each               bad(key)   bad(XMLIndexer -> [T?])
//
// Readers change nothing and keep nothing; errors hold shared references to elements of the tree.
#pragma once

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/indexing/deserialization.hpp"
#include "xml/indexing/element.hpp"
#include "xml/indexing/indexer.hpp"

namespace xmlindexing {

// Family selectors of value(indexer, ...).
struct ElementContent {};
struct WholeNode {};
inline constexpr ElementContent elementContent{};
inline constexpr WholeNode wholeNode{};

namespace detail {

enum class Shape { single, optional, array, optionalArray, arrayOfOptionals };

template <class R>
struct ShapeOf {
    static constexpr Shape shape = Shape::single;
    using Type = R;
};
template <class T>
struct ShapeOf<std::optional<T>> {
    static constexpr Shape shape = Shape::optional;
    using Type = T;
};
template <class T>
struct ShapeOf<std::vector<T>> {
    static constexpr Shape shape = Shape::array;
    using Type = T;
};
template <class T>
struct ShapeOf<std::optional<std::vector<T>>> {
    static constexpr Shape shape = Shape::optionalArray;
    using Type = T;
};
template <class T>
struct ShapeOf<std::vector<std::optional<T>>> {
    static constexpr Shape shape = Shape::arrayOfOptionals;
    using Type = T;
};

template <class R>
using ValueType = typename ShapeOf<R>::Type;
template <class R>
inline constexpr Shape shapeOf = ShapeOf<R>::shape;

// The position a reader works on: the indexer itself, or what replaying a stream gives.
XMLIndexer resolved(const XMLIndexer& indexer);

// The elements of an element or list position.
const XMLIndexer::List& listOf(const XMLIndexer& position);
const std::shared_ptr<XMLElement>& elementOf(const XMLIndexer& position);

// nodeIsInvalid carrying the text of an xmlError position's IndexingError.
[[noreturn]] void throwInvalidPosition(const XMLIndexer& position);
// nodeIsInvalid "Unexpected error deserializing <what><suffix>".
[[noreturn]] void throwUnexpected(std::string_view what, std::string_view suffix);
[[noreturn]] void throwUnexpectedAttribute(std::string_view name, std::string_view suffix);

inline constexpr std::string_view singleSuffix = " -> T";
inline constexpr std::string_view arraySuffix = " -> [T]";
inline constexpr std::string_view optionalsSuffix = " -> [T?]";

// Whether the position is an error (xmlError, parsingError, or a stream that replayed into one).
inline bool isError(const XMLIndexer& position) {
    const auto kind = position.kind();
    return kind != XMLIndexer::Kind::element && kind != XMLIndexer::Kind::list;
}

// A replay gives an element, list or error position; a replay that gives a stream again (only an
// overridden recording can) is read as a parse error position: refused without a line or column.
inline bool isIndexingError(const XMLIndexer& position) {
    return position.kind() == XMLIndexer::Kind::xmlError;
}

template <XMLAttributeDeserializable T>
T readAttribute(const std::shared_ptr<XMLElement>& element, std::string_view name) {
    if (!element) throwNullElement();
    auto attribute = element->attribute(name);
    if (!attribute) {
        throw XMLDeserializationError::attributeDoesNotExist(element, std::string(name));
    }
    T value = deserialize<T>(*attribute);
    validate(value);
    return value;
}

// The optional read of an attribute: nothing when it is absent, unreadable or refused by
// validate().
template <XMLAttributeDeserializable T>
std::optional<T> readOptionalAttribute(const std::shared_ptr<XMLElement>& element,
                                       std::string_view name) {
    if (!element) throwNullElement();
    auto attribute = element->attribute(name);
    if (!attribute) return std::nullopt;
    try {
        T value = deserialize<T>(*attribute);
        validate(value);
        return value;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

template <XMLElementDeserializable T>
T readElement(const std::shared_ptr<XMLElement>& element) {
    T value = deserialize<T>(element);
    validate(value);
    return value;
}

template <XMLObjectDeserialization T>
T readNode(const XMLIndexer& node) {
    T value = deserialize<T>(node);
    validate(value);
    return value;
}

// Applies `read` to every element of an element or list position, in order.
template <class Entry, class Read>
std::vector<Entry> readEach(const XMLIndexer& position, Read read) {
    std::vector<Entry> out;
    if (position.kind() == XMLIndexer::Kind::element) {
        out.push_back(read(elementOf(position)));
    } else {
        const auto& list = listOf(position);
        out.reserve(list.size());
        for (const auto& element : list)
            out.push_back(read(element));
    }
    return out;
}

// The single and optional shapes of the element-content and whole-node families: `read` of an
// element position; at any other position nothing (optional) or nodeIsInvalid, naming `what` for a
// list or a parse error.
template <class R, class Read>
R readAtElement(const XMLIndexer& position, std::string_view what, Read read) {
    if (position.kind() == XMLIndexer::Kind::element) return read(position);
    if constexpr (shapeOf<R> == Shape::optional) {
        return std::nullopt;
    } else {
        if (isIndexingError(position)) throwInvalidPosition(position);
        throwUnexpected(what, singleSuffix);
    }
}

}  // namespace detail

// Result types R whose readable type implements each family's interface.
template <class R>
concept AttributeResult = XMLAttributeDeserializable<detail::ValueType<R>>;
template <class R>
concept ElementContentResult = XMLElementDeserializable<detail::ValueType<R>>;
template <class R>
concept WholeNodeResult = XMLObjectDeserialization<detail::ValueType<R>>;
// Readable through exactly one of the two indexer families.
template <class R>
concept OneFamilyResult = ElementContentResult<R>
!= WholeNodeResult<R>;

// The attribute `name` of the element(s) at `indexer`, in the shape R names.
template <AttributeResult R>
R value(const XMLIndexer& indexer, std::string_view name) {
    using T = detail::ValueType<R>;
    using Shape = detail::Shape;
    constexpr Shape shape = detail::shapeOf<R>;
    const XMLIndexer position = detail::resolved(indexer);
    const bool isElement = position.kind() == XMLIndexer::Kind::element;
    const bool isError = detail::isError(position);

    const auto single = [name](const std::shared_ptr<XMLElement>& element) {
        return detail::readAttribute<T>(element, name);
    };
    const auto optional = [name](const std::shared_ptr<XMLElement>& element) {
        return detail::readOptionalAttribute<T>(element, name);
    };

    if constexpr (shape == Shape::single) {
        if (isElement) return single(detail::elementOf(position));
        if (detail::isIndexingError(position)) detail::throwInvalidPosition(position);
        detail::throwUnexpectedAttribute(name, detail::singleSuffix);
    } else if constexpr (shape == Shape::optional) {
        if (isElement) return optional(detail::elementOf(position));
        return std::nullopt;
    } else if constexpr (shape == Shape::array || shape == Shape::optionalArray) {
        if (isError) {
            if constexpr (shape == Shape::optionalArray) return std::nullopt;
            if (detail::isIndexingError(position)) detail::throwInvalidPosition(position);
            detail::throwUnexpectedAttribute(name, detail::arraySuffix);
        }
        return detail::readEach<T>(position, single);
    } else {
        if (isError) {
            if (detail::isIndexingError(position)) detail::throwInvalidPosition(position);
            detail::throwUnexpectedAttribute(name, detail::optionalsSuffix);
        }
        return detail::readEach<std::optional<T>>(position, optional);
    }
}

template <AttributeResult R, RawRepresentable K>
R value(const XMLIndexer& indexer, const K& key) {
    const std::string name(rawValue(key));
    return value<R>(indexer, std::string_view(name));
}

// The attribute `name` of one element, single or optional. The single shape throws
// attributeDoesNotExist when the element lacks the attribute; the optional shape never throws
// (nothing for an absent, unreadable or refused value). `element` must not be null.
template <AttributeResult R>
R value(const std::shared_ptr<XMLElement>& element, std::string_view name) {
    using T = detail::ValueType<R>;
    constexpr detail::Shape shape = detail::shapeOf<R>;
    static_assert(shape == detail::Shape::single || shape == detail::Shape::optional,
                  "an element attribute is read as T or std::optional<T>");
    if constexpr (shape == detail::Shape::single) {
        return detail::readAttribute<T>(element, name);
    } else {
        return detail::readOptionalAttribute<T>(element, name);
    }
}

template <AttributeResult R, RawRepresentable K>
R value(const std::shared_ptr<XMLElement>& element, const K& key) {
    const std::string name(rawValue(key));
    return value<R>(element, std::string_view(name));
}

// The text of the element(s) at `indexer`, in the shape R names.
template <ElementContentResult R>
R value(const XMLIndexer& indexer, ElementContent) {
    using T = detail::ValueType<R>;
    using Shape = detail::Shape;
    constexpr Shape shape = detail::shapeOf<R>;
    const XMLIndexer position = detail::resolved(indexer);
    const auto read = [](const std::shared_ptr<XMLElement>& element) {
        return detail::readElement<T>(element);
    };

    if constexpr (shape == Shape::single || shape == Shape::optional) {
        return detail::readAtElement<R>(position, "XMLElement", [&](const XMLIndexer& at) {
            return read(detail::elementOf(at));
        });
    } else if constexpr (shape == Shape::optionalArray) {
        if (detail::isError(position)) return std::nullopt;
        return detail::readEach<T>(position, read);
    } else {
        using Entry = std::conditional_t<shape == Shape::array, T, std::optional<T>>;
        if (detail::isError(position)) return std::vector<Entry>{};
        return detail::readEach<Entry>(position, read);
    }
}

// The node(s) at `indexer` themselves, in the shape R names.
template <WholeNodeResult R>
R value(const XMLIndexer& indexer, WholeNode) {
    using T = detail::ValueType<R>;
    using Shape = detail::Shape;
    constexpr Shape shape = detail::shapeOf<R>;
    const XMLIndexer position = detail::resolved(indexer);

    if constexpr (shape == Shape::single || shape == Shape::optional) {
        return detail::readAtElement<R>(position, "XMLIndexer", detail::readNode<T>);
    } else {
        if (detail::isError(position)) {
            if constexpr (shape == Shape::optionalArray) return std::nullopt;
            if (detail::isIndexingError(position)) detail::throwInvalidPosition(position);
            detail::throwUnexpected("XMLIndexer", shape == Shape::array ? detail::arraySuffix
                                                                        : detail::optionalsSuffix);
        }
        using Entry = std::conditional_t<shape == Shape::arrayOfOptionals, std::optional<T>, T>;
        return detail::readEach<Entry>(position, [](const std::shared_ptr<XMLElement>& element) {
            return detail::readNode<T>(XMLIndexer(element));
        });
    }
}

// The element content or the whole node, whichever of the two T implements.
template <OneFamilyResult R>
R value(const XMLIndexer& indexer) {
    if constexpr (ElementContentResult<R>) {
        return value<R>(indexer, elementContent);
    } else {
        return value<R>(indexer, wholeNode);
    }
}

}  // namespace xmlindexing
