// XML character helpers of the accessor-style reader.
#pragma once

#include <string_view>

namespace xmlaccess::detail {

// A character that XML 1.0 allows in a document.
bool isXmlChar(char32_t scalar);

// A name as XML 1.0 (fifth edition) defines it: a name start character, then name characters.
bool isXmlName(std::string_view name);

}  // namespace xmlaccess::detail
