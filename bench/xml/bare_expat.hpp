// The floor under any tree built over expat: one pass over a document whose callbacks do nothing.
#pragma once

#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace xmlbench {

inline void ignoreStart(void*, const XML_Char*, const XML_Char**) {}
inline void ignoreEnd(void*, const XML_Char*) {}
inline void ignoreCharacters(void*, const XML_Char*, int) {}

// Parses `text` handing expat `piece` bytes at a time (0: all at once); false when expat refuses
// the document.
inline bool bareExpatPass(std::string_view text, size_t piece = 0) {
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetElementHandler(parser, ignoreStart, ignoreEnd);
    XML_SetCharacterDataHandler(parser, ignoreCharacters);
    if (piece == 0) piece = text.size();
    bool ok = true;
    size_t at = 0;
    do {
        const size_t n = std::min(piece, text.size() - at);
        ok = XML_Parse(parser, text.data() + at, static_cast<int>(n),
                       at + n == text.size() ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
        at += n;
    } while (ok && at < text.size());
    XML_ParserFree(parser);
    return ok;
}

}  // namespace xmlbench
