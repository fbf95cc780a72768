// Writes the elements of an accessor as XML text.
#pragma once

#include <string>
#include <string_view>

#include "xml/access/accessor.hpp"
#include "xml/access/element.hpp"
#include "xml/access/xml.hpp"

namespace xmlaccess {

// The output is an optional XML declaration, then each element with its attributes, its text
// (in one piece, before the children) and its descendants, with no line breaks or indentation.
// Attributes come in name order; CDATA, line numbers and comments are not written. The synthetic
// root that a parse makes is invisible: only its children are written.
//
// The output is always well-formed: text and attribute values are escaped, characters that XML
// cannot carry are replaced by U+FFFD, and a name that is not an XML name raises
// `XMLError::invalidName`.
class XML::Converter {
  public:
    static constexpr std::string_view declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

    explicit Converter(Accessor accessor);
    virtual ~Converter();

    // The document text; raises the error of a `failure` accessor unchanged.
    virtual std::string convert(bool includeDeclaration);
    // The text of `element` and all its descendants, written without recursion.
    virtual std::string convertElement(const Element& element);

    const Accessor& accessor() const { return accessor_; }

    // Element text with "&", "<" and ">" replaced by references (and a carriage return, which a
    // parser would turn into a line feed, by "&#13;").
    static std::string escapeText(std::string_view text);
    // An attribute value for double quotes: the text escapes, the double quote, and the tab and
    // line breaks that a parser would turn into blanks, as references.
    static std::string escapeAttributeValue(std::string_view value);

  private:
    Accessor accessor_;
};

}  // namespace xmlaccess
