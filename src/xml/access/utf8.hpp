// UTF-8 and XML character helpers of the accessor-style reader.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace xmlaccess::detail {

// Decodes the scalar that starts at `text[position]` and moves `position` past it. A sequence
// that is not valid UTF-8 (overlong forms, surrogates, values above U+10FFFF, truncation) gives
// absent and moves `position` past its maximal ill-formed part (at least one byte).
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& position);

bool isValidUtf8(std::string_view text);

// A character that XML 1.0 allows in a document.
bool isXmlChar(char32_t scalar);

// A name as XML 1.0 (fifth edition) defines it: a name start character, then name characters.
bool isXmlName(std::string_view name);

}  // namespace xmlaccess::detail
