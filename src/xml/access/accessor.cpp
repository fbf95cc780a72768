#include "xml/access/accessor.hpp"

#include <locale.h>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <stdexcept>
#include <unordered_set>

namespace xmlaccess {

namespace {

using ElementPtr = XML::Accessor::ElementPtr;

// The part of a name after its last ":", the whole name when it has none.
std::string_view localName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The element's name preceded by the names of its ancestors, joined by " > ". Parent links can be
// set freely, so a loop among them ends the walk.
std::string elementPath(const XML::Element& element) {
    std::vector<const std::string*> names{&element.name()};
    std::unordered_set<const XML::Element*> seen{&element};
    std::vector<ElementPtr> ancestors;  // keeps each parent alive while its name is in use
    for (ElementPtr parent = element.parentElement(); parent && seen.insert(parent.get()).second;
         parent = parent->parentElement()) {
        names.push_back(&parent->name());
        ancestors.push_back(parent);
    }
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!path.empty()) path += " > ";
        path += **it;
    }
    return path;
}

// Whether `target` is `root` or lies in the subtree under it.
bool subtreeContains(const ElementPtr& root, const XML::Element* target) {
    std::vector<const XML::Element*> pending{root.get()};
    std::unordered_set<const XML::Element*> seen;
    while (!pending.empty()) {
        const XML::Element* element = pending.back();
        pending.pop_back();
        if (element == target) return true;
        if (!seen.insert(element).second) continue;
        for (const ElementPtr& child : element->childElements()) {
            if (child) pending.push_back(child.get());
        }
    }
    return false;
}

XML::Accessor accessFailure(std::string description) {
    return XML::Accessor::failure(XMLError::accessError(std::move(description)));
}

// The POSIX locale, for reading numbers whatever the process locale is.
locale_t posixLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

}  // namespace

XML::Accessor XML::Accessor::singleElement(ElementPtr element) {
    if (!element) throw std::invalid_argument("An accessor cannot refer to a null element.");
    return Accessor(std::in_place_index<0>, std::move(element));
}

XML::Accessor XML::Accessor::sequence(std::vector<ElementPtr> elements) {
    if (std::any_of(elements.begin(), elements.end(), [](const auto& e) { return !e; })) {
        throw std::invalid_argument("An accessor cannot refer to a null element.");
    }
    return Accessor(std::in_place_index<1>, std::move(elements));
}

XML::Accessor XML::Accessor::failure(std::exception_ptr error) {
    if (!error) throw std::invalid_argument("A failure accessor needs an error.");
    return Accessor(std::in_place_index<2>, std::move(error));
}

XML::Accessor XML::Accessor::failure(const XMLError& error) {
    return Accessor(std::in_place_index<2>, std::make_exception_ptr(error));
}

XML::Accessor XML::Accessor::childLookup(std::string_view key) const {
    switch (kind()) {
        case Case::singleElement: {
            std::vector<ElementPtr> matches;
            for (const ElementPtr& child : std::get<ElementPtr>(value_)->childElements()) {
                const std::string_view name =
                    child->ignoreNamespaces() ? localName(child->name()) : child->name();
                if (name == key) matches.push_back(child);
            }
            if (matches.empty()) return accessFailure(std::string(key) + " not found.");
            if (matches.size() == 1)
                return Accessor(std::in_place_index<0>, std::move(matches.front()));
            return Accessor(std::in_place_index<1>, std::move(matches));
        }
        case Case::sequence:
            return accessFailure("cannot access " + std::string(key) +
                                 ", because of multiple elements");
        case Case::failure:
            break;
    }
    return *this;
}

XML::Accessor XML::Accessor::indexStep(std::int64_t index) const {
    switch (kind()) {
        case Case::singleElement:
            if (index == 0) return *this;
            break;
        case Case::sequence: {
            const auto& elements = std::get<std::vector<ElementPtr>>(value_);
            if (index >= 0 && static_cast<std::uint64_t>(index) < elements.size()) {
                return Accessor(std::in_place_index<0>, elements[static_cast<std::size_t>(index)]);
            }
            break;
        }
        case Case::failure:
            return *this;
    }
    return accessFailure("cannot access Index: " + std::to_string(index));
}

XML::Accessor XML::Accessor::operator[](std::string_view key) const {
    return childLookup(key);
}

XML::Accessor XML::Accessor::operator[](std::int64_t index) const {
    return indexStep(index);
}

XML::Accessor XML::Accessor::operator[](std::initializer_list<XMLSubscriptType> path) const {
    return walk({path.begin(), path.size()});
}

XML::Accessor XML::Accessor::operator[](const std::vector<XMLSubscriptType>& path) const {
    return walk(path);
}

XML::Accessor XML::Accessor::walk(std::span<const XMLSubscriptType> path) const {
    Accessor position = *this;
    for (const XMLSubscriptType& step : path) {
        position =
            step.isIndex() ? position.indexStep(step.index()) : position.childLookup(step.key());
    }
    return position;
}

std::optional<std::string> XML::Accessor::name() const {
    if (const ElementPtr e = element()) return e->name();
    return std::nullopt;
}

std::optional<std::string> XML::Accessor::text() const {
    if (const ElementPtr e = element()) return e->text();
    return std::nullopt;
}

std::optional<bool> XML::Accessor::boolValue() const {
    const auto value = text();
    if (!value) return std::nullopt;
    return *value == "true";
}

std::optional<std::int64_t> XML::Accessor::intValue() const {
    const auto value = text();
    if (!value || value->empty()) return std::nullopt;
    std::string_view digits = *value;
    const bool negative = digits.front() == '-';
    if (digits.front() == '+' || negative) digits.remove_prefix(1);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    // Read with the sign so that the most negative value is in range.
    const char* begin = negative ? digits.data() - 1 : digits.data();
    std::int64_t result = 0;
    const auto [end, error] = std::from_chars(begin, digits.data() + digits.size(), result);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return result;
}

std::optional<double> XML::Accessor::doubleValue() const {
    const auto value = text();
    if (!value || value->empty()) return std::nullopt;
    if (std::string_view(" \t\n\v\f\r").find(value->front()) != std::string_view::npos) {
        return std::nullopt;
    }
    const char* begin = value->c_str();
    char* end = nullptr;
    const double result = strtod_l(begin, &end, posixLocale());
    // An embedded NUL stops the conversion early, so the whole text is not consumed.
    if (end != begin + value->size()) return std::nullopt;
    return result;
}

std::optional<URL> XML::Accessor::urlValue() const {
    const auto value = text();
    if (!value) return std::nullopt;
    return URL::parse(*value);
}

XML::Element::Attributes XML::Accessor::attributes() const {
    if (const ElementPtr e = element()) return e->attributes();
    return {};
}

std::optional<std::vector<ElementPtr>> XML::Accessor::allElements() const {
    if (kind() == Case::failure) return std::nullopt;
    return elementList();
}

std::optional<std::vector<std::string>> XML::Accessor::names() const {
    if (kind() == Case::failure) return std::nullopt;
    std::vector<std::string> result;
    for (const ElementPtr& e : elementList())
        result.push_back(e->name());
    return result;
}

ElementPtr XML::Accessor::element() const {
    if (const auto* single = std::get_if<ElementPtr>(&value_)) return *single;
    return nullptr;
}

std::exception_ptr XML::Accessor::error() const {
    if (const auto* failure = std::get_if<std::exception_ptr>(&value_)) return *failure;
    return nullptr;
}

std::optional<XMLError> XML::Accessor::xmlError() const {
    const std::exception_ptr failure = error();
    if (!failure) return std::nullopt;
    try {
        std::rethrow_exception(failure);
    } catch (const XMLError& e) {
        return e;
    } catch (...) {}
    return std::nullopt;
}

XML::Accessor XML::Accessor::first() const {
    if (const auto* elements = std::get_if<std::vector<ElementPtr>>(&value_)) {
        if (elements->empty()) return accessFailure("cannot access first element");
        return Accessor(std::in_place_index<0>, elements->front());
    }
    return *this;
}

XML::Accessor XML::Accessor::last() const {
    if (const auto* elements = std::get_if<std::vector<ElementPtr>>(&value_)) {
        if (elements->empty()) return accessFailure("cannot access last element");
        return Accessor(std::in_place_index<0>, elements->back());
    }
    return *this;
}

std::string XML::Accessor::description() const {
    switch (kind()) {
        case Case::singleElement: {
            std::string text = "\"";
            text += elementPath(*std::get<ElementPtr>(value_));
            text += '"';
            return text;
        }
        case Case::sequence: {
            std::string text = "[ ";
            bool first = true;
            for (const ElementPtr& e : std::get<std::vector<ElementPtr>>(value_)) {
                if (!first) text += ",\n ";
                text += elementPath(*e);
                first = false;
            }
            return text + " ]";
        }
        case Case::failure:
            break;
    }
    try {
        std::rethrow_exception(std::get<std::exception_ptr>(value_));
    } catch (const XMLError& e) {
        return e.textForm();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {}
    return "unknown error";
}

void XML::Accessor::setText(std::optional<std::string> text) {
    if (const ElementPtr e = element()) e->setText(std::move(text));
}

void XML::Accessor::setAttributes(Element::Attributes attributes) {
    if (const ElementPtr e = element()) e->setAttributes(std::move(attributes));
}

void XML::Accessor::appendChild(ElementPtr child) {
    const ElementPtr e = element();
    if (!e || !child || subtreeContains(child, e.get())) return;
    e->appendChildElement(std::move(child));
}

std::vector<ElementPtr> XML::Accessor::elementList() const {
    switch (kind()) {
        case Case::singleElement:
            return {std::get<ElementPtr>(value_)};
        case Case::sequence:
            return std::get<std::vector<ElementPtr>>(value_);
        case Case::failure:
            break;
    }
    return {};
}

XML::Accessor::Iterator XML::Accessor::makeIterator() const {
    return Iterator(elementList());
}

XML::Accessor::RangeIterator XML::Accessor::begin() const {
    return RangeIterator(std::make_shared<const std::vector<ElementPtr>>(elementList()));
}

XML::Accessor::RangeIterator XML::Accessor::end() const {
    return RangeIterator();
}

std::optional<XML::Accessor> XML::Accessor::Iterator::next() {
    if (state_->position >= state_->snapshot.size()) return std::nullopt;
    return Accessor::singleElement(state_->snapshot[state_->position++]);
}

}  // namespace xmlaccess
