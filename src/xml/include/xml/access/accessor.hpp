// A position in an element tree: one element, several elements, or a failure.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "xml/access/element.hpp"
#include "xml/access/error.hpp"
#include "xml/access/url.hpp"
#include "xml/access/xml.hpp"

namespace xmlaccess {

// One step of a lookup path: an index (a signed 64-bit integer) or a key (a child name).
class XMLSubscriptType {
  public:
    template <std::integral T>
    requires(!std::same_as<T, bool>) XMLSubscriptType(T index)
        : step_(static_cast<std::int64_t>(index)) {}
    XMLSubscriptType(const char* key) : step_(std::string(key)) {}
    XMLSubscriptType(std::string_view key) : step_(std::string(key)) {}
    XMLSubscriptType(std::string key) : step_(std::move(key)) {}

    bool isIndex() const { return std::holds_alternative<std::int64_t>(step_); }
    std::int64_t index() const { return std::get<std::int64_t>(step_); }
    const std::string& key() const { return std::get<std::string>(step_); }

  private:
    std::variant<std::int64_t, std::string> step_;
};

// The caller's handle on a position in an `XML::Element` tree. An accessor refers to elements and
// never copies them: a change made through one accessor is seen through the tree and through every
// other accessor of the same element.
//
// Every operation is total. A position that cannot be reached gives a `failure` accessor holding
// `XMLError::accessError`, and a failure passes unchanged (the same error object) through every
// later step. Nothing here raises an error.
class XML::Accessor {
  public:
    using ElementPtr = std::shared_ptr<Element>;
    enum class Case { singleElement, sequence, failure };

    // Throws std::invalid_argument for a null element.
    static Accessor singleElement(ElementPtr element);
    // Throws std::invalid_argument when `elements` holds a null pointer.
    static Accessor sequence(std::vector<ElementPtr> elements);
    // A failure holding any error; throws std::invalid_argument for a null pointer.
    static Accessor failure(std::exception_ptr error);
    static Accessor failure(const XMLError& error);

    Case kind() const { return static_cast<Case>(value_.index()); }

    // Lookups. A key step finds the children of a single element whose name matches the key
    // (without the namespace prefix for children that ignore namespaces): one match gives
    // `singleElement`, several a `sequence`, none the failure "<key> not found.". An index step
    // picks one element of a sequence; on a single element only index 0 is valid. A path applies
    // its steps in order: document[{"catalog", "book", 1, "title"}].
    Accessor operator[](std::string_view key) const;
    Accessor operator[](std::int64_t index) const;
    Accessor operator[](std::initializer_list<XMLSubscriptType> path) const;
    Accessor operator[](const std::vector<XMLSubscriptType>& path) const;

    // Readings of a single element; absent for a sequence or a failure.
    std::optional<std::string> name() const;
    std::optional<std::string> text() const;
    // True exactly when the text is "true".
    std::optional<bool> boolValue() const;
    // The text as a decimal signed 64-bit integer: an optional sign, then digits only.
    std::optional<std::int64_t> intValue() const;
    // The text read as strtod reads it in the POSIX locale, when that consumes all of it and it
    // does not start with white space.
    std::optional<double> doubleValue() const;
    std::optional<URL> urlValue() const;
    // The element's attributes; empty for a sequence or a failure.
    Element::Attributes attributes() const;

    // Projections.
    std::optional<std::vector<ElementPtr>> allElements() const;
    std::optional<std::vector<std::string>> names() const;
    // The single element, or null.
    ElementPtr element() const;
    // The failure's error, or null.
    std::exception_ptr error() const;
    // The failure's error when it is an `XMLError`.
    std::optional<XMLError> xmlError() const;
    Accessor first() const;
    Accessor last() const;

    // For diagnostics: a single element's path ("XML.Parser.AbstructedDocumentRoot > a > b") in
    // double quotes, a sequence's paths in "[ ... ]", a failure's error in its text form.
    std::string description() const;

    // Changes to a single element; no effect on a sequence or a failure.
    void setText(std::optional<std::string> text);
    void setAttributes(Element::Attributes attributes);
    // Reads the value as the getter does, lets `change` modify it, and writes it back on a single
    // element.
    template <class F>
    void modifyText(F&& change);
    template <class F>
    void modifyAttributes(F&& change);
    // Appends `child` to the single element's children, leaving the child's parent link alone.
    // No effect when `child` is null or when the single element lies inside `child`'s subtree
    // (the tree would become its own descendant).
    void appendChild(ElementPtr child);

    // Mapping and iteration work over the single accessors of the position: the accessor itself
    // for a single element, one per element of a sequence, none for a failure.
    template <class F>
    auto map(F&& transform) const;
    template <class F>
    auto filterMap(F&& transform) const;

    class Iterator;
    // An iterator over a snapshot of the elements, taken now; its copies share their position.
    Iterator makeIterator() const;

    class RangeIterator;
    RangeIterator begin() const;
    RangeIterator end() const;

  private:
    template <std::size_t Index, class Payload>
    Accessor(std::in_place_index_t<Index> tag, Payload&& payload)
        : value_(tag, std::forward<Payload>(payload)) {}

    std::vector<ElementPtr> elementList() const;
    Accessor childLookup(std::string_view key) const;
    Accessor indexStep(std::int64_t index) const;
    Accessor walk(std::span<const XMLSubscriptType> path) const;

    std::variant<ElementPtr, std::vector<ElementPtr>, std::exception_ptr> value_;
};

class XML::Accessor::Iterator {
  public:
    // `singleElement` of the next element, or absent after the last one (again and again).
    std::optional<Accessor> next();

  private:
    friend class Accessor;
    struct State {
        std::vector<ElementPtr> snapshot;
        std::size_t position = 0;
    };
    explicit Iterator(std::vector<ElementPtr> snapshot)
        : state_(std::make_shared<State>(State{std::move(snapshot), 0})) {}

    std::shared_ptr<State> state_;
};

// A C++ input iterator over a snapshot of the elements, for range-for loops.
class XML::Accessor::RangeIterator {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Accessor;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Accessor;

    RangeIterator() = default;
    Accessor operator*() const { return Accessor::singleElement((*items_)[index_]); }
    RangeIterator& operator++() {
        ++index_;
        return *this;
    }
    void operator++(int) { ++index_; }
    bool operator==(const RangeIterator& other) const {
        if (atEnd() || other.atEnd()) return atEnd() == other.atEnd();
        return items_ == other.items_ && index_ == other.index_;
    }

  private:
    friend class Accessor;
    explicit RangeIterator(std::shared_ptr<const std::vector<ElementPtr>> items)
        : items_(std::move(items)) {}
    bool atEnd() const { return !items_ || index_ >= items_->size(); }

    std::shared_ptr<const std::vector<ElementPtr>> items_;
    std::size_t index_ = 0;
};

template <class F>
void XML::Accessor::modifyText(F&& change) {
    std::optional<std::string> value = text();
    std::forward<F>(change)(value);
    setText(std::move(value));
}

template <class F>
void XML::Accessor::modifyAttributes(F&& change) {
    Element::Attributes value = attributes();
    std::forward<F>(change)(value);
    setAttributes(std::move(value));
}

template <class F>
auto XML::Accessor::map(F&& transform) const {
    using Result = std::invoke_result_t<F&, const Accessor&>;
    std::vector<Result> results;
    for (const Accessor& single : *this)
        results.push_back(transform(single));
    return results;
}

template <class F>
auto XML::Accessor::filterMap(F&& transform) const {
    using Optional = std::invoke_result_t<F&, const Accessor&>;
    std::vector<typename Optional::value_type> results;
    for (const Accessor& single : *this) {
        Optional result = transform(single);
        if (result) results.push_back(std::move(*result));
    }
    return results;
}

// Assigns `value` to `target` when it is present.
template <class T, class U>
void assignIfPresent(T& target, const std::optional<U>& value) {
    if (value) target = *value;
}

// Appends `value` to `list` when it is present.
template <class T, class U>
void appendIfPresent(std::vector<T>& list, const std::optional<U>& value) {
    if (value) list.push_back(*value);
}

}  // namespace xmlaccess
