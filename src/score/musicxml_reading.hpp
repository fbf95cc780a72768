// What the MusicXML walk needs to read elements and texts: child lookup, the integer and number
// forms of a text, tick arithmetic that refuses to overflow, and the conversion error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "score/converter.hpp"
#include "xml/indexing.hpp"

namespace score::detail {

using xmlindexing::XMLElement;

[[noreturn]] inline void fail(std::string message) {
    throw JpsConversionError::conversionError(std::move(message));
}

// Calls `visit` with each child element in document order.
template <class Visit>
void forEachChildElement(const XMLElement& element, Visit&& visit) {
    for (const auto& child : element.children()) {
        if (child && child->isElement()) visit(static_cast<const XMLElement&>(*child));
    }
}

// Asks the processor for the child nodes of `element` (where their kinds, names and child lists
// are) before a loop over them reads them: a large score's tree does not fit in the caches, and
// reading the nodes one after the other would wait for each in turn.
inline void prefetchChildren(const XMLElement& element) {
    for (const auto& child : element.children()) {
        const auto* node = reinterpret_cast<const char*>(child.get());
        __builtin_prefetch(node);
        __builtin_prefetch(node + sizeof(XMLElement) - 1);
    }
}

// The same for the child list of `element`, whose node is read already.
inline void prefetchChildList(const XMLElement& element) {
    const auto& children = element.children();
    if (children.empty()) return;
    const auto* first = reinterpret_cast<const char*>(children.data());
    __builtin_prefetch(first);
    __builtin_prefetch(first + 64);
    __builtin_prefetch(first + 128);
    __builtin_prefetch(first + 192);
}

// The first child element named `name`, or null.
const XMLElement* firstChild(const XMLElement& element, std::string_view name);

// The element's text (its text children joined): the one text child as it stands, or the children
// joined in `storage`.
std::string_view textOf(const XMLElement& element, std::string& storage);

// The value of attribute `name`, if the element has one.
std::optional<std::string> attributeText(const XMLElement& element, std::string_view name);

// The text without the XML white space (space, tab, line feed, carriage return) around it.
std::string_view trimmed(std::string_view text);

// The whole text as a decimal integer with an optional sign (surrounding XML white space allowed);
// absent for anything else, or a value outside 64 bits.
std::optional<int64_t> integerOf(std::string_view text);

// The whole text as a finite decimal number in 32 bits (an optional sign, digits, a fraction, an
// exponent); absent for anything else.
std::optional<float> numberOf(std::string_view text);

// a + b and a − b on ticks; a result outside 64 bits ends the conversion.
int64_t addTicks(int64_t a, int64_t b);
int64_t subtractTicks(int64_t a, int64_t b);

}  // namespace score::detail
