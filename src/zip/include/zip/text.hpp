// Decoding of entry names: UTF-8 and IBM code page 437 (DOS Latin US).
#pragma once

#include <optional>
#include <string>

#include "zip/records.hpp"

namespace zip {

enum class TextEncoding { utf8, cp437 };

// `bytes` decoded as text (returned as UTF-8); nothing when they are not valid in the encoding.
std::optional<std::string> decodeText(ByteView bytes, TextEncoding encoding);
// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUTF8(std::string_view text);

}  // namespace zip
