// The accessor-style XML reader: parse a whole document into a tree of `XML::Element` objects hung
// under one synthetic root, navigate it through `XML::Accessor` values, and write it back as XML
// text. Include "xml/access/access.hpp" for the whole reader.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xml/access/character_set.hpp"
#include "xml/access/error.hpp"

namespace xmlaccess {

using Bytes = std::vector<std::uint8_t>;

// Holds no data: the home of the parse and write operations and of the reader's types.
class XML {
  public:
    class Element;
    class Accessor;
    class Parser;
    class Converter;

    // The name of the element that every parse hangs the document under.
    static constexpr std::string_view documentRootName = "XML.Parser.AbstructedDocumentRoot";

    // Parses a complete document given as bytes; the encoding is taken from the byte-order mark
    // and the XML declaration (UTF-8 when neither says otherwise). Returns `singleElement` of the
    // synthetic root, or `failure` holding `XMLError::interruptedParseError`. Raises nothing.
    static Accessor parse(std::span<const std::uint8_t> data,
                          const std::optional<CharacterSet>& trimmingManner = std::nullopt,
                          bool ignoreNamespaces = false);

    // Parses a complete document given as UTF-8 text; an encoding named by its XML declaration
    // is ignored, since the text is already decoded. Raises `XMLError::failToEncodeString` when
    // `text` is not valid UTF-8; otherwise as the byte form.
    static Accessor parse(std::string_view text,
                          const std::optional<CharacterSet>& trimmingManner = std::nullopt,
                          bool ignoreNamespaces = false);

    // Writes the elements of `accessor` as XML text (see `XML::Converter`). Raises the error of
    // a `failure` accessor unchanged.
    static std::string convert(const Accessor& accessor, bool includeDeclaration);
};

}  // namespace xmlaccess
