// Options of the indexing XML reader, shared by the entry class, the parser and every element of
// one tree.
#pragma once

#include <any>
#include <cstddef>
#include <map>
#include <string>

namespace xmlindexing {

// How text handed to the reader as a string is turned into bytes before it is parsed. The text
// itself is always UTF-8; a document given as bytes is never re-encoded (its encoding is detected
// from the byte-order mark and the declaration).
enum class StringEncoding {
    utf8,
    ascii,
    isoLatin1,
    utf16BigEndian,
    utf16LittleEndian,
};

// Values carried for the typed deserialisation layer, keyed by name. The parser never reads it.
using UserInfo = std::map<std::string, std::any>;

// One object is shared (through std::shared_ptr) by an XMLHash, its parser and every element of
// the resulting tree, so a change made after parsing is seen by all of them. It must not be changed
// while a parse that uses it runs.
struct XMLHashOptions {
    // Parse lazily: record lookups and build only the elements on the recorded path.
    bool shouldProcessLazily = false;
    // Report local names (without prefix) as element names.
    bool shouldProcessNamespaces = false;
    // Element-name, attribute-name and attribute-value lookups ignore letter case.
    bool caseInsensitive = false;
    // Encoding used to turn input text into bytes; text that it cannot represent is refused with
    // IndexingError::Case::encoding.
    StringEncoding encoding = StringEncoding::utf8;
    UserInfo userInfo;
    // Return the parse error instead of the partial tree when the document is malformed.
    bool detectParsingErrors = false;
    // The most memory, in bytes, that the tree of one parse may take (its nodes, attribute lists,
    // child lists and text); a document that needs more stops the parse with TreeSizeError (for
    // a lazy parse, thrown by the lookup that runs it). Zero means no limit.
    size_t maximumTreeSize = 0;
};

}  // namespace xmlindexing
