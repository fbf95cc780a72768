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

// The first child element named `name`, or null.
const XMLElement* firstChild(const XMLElement& element, std::string_view name);

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
