// The event handler that builds an element tree from the event-driven parser's events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sax/parser.hpp"
#include "xml/access/accessor.hpp"
#include "xml/access/character_set.hpp"
#include "xml/access/element.hpp"
#include "xml/access/error.hpp"
#include "xml/access/xml.hpp"

namespace xmlaccess {

// Made for one parse. A second `parse` on the same object appends the second document's elements
// under the same root and keeps an error stored by the first run.
class XML::Parser {
  public:
    enum class InputEncoding {
        // Taken from the byte-order mark and the XML declaration.
        detect,
        // UTF-8 whatever the declaration says (the bytes of text that is already decoded).
        utf8,
    };

    // A parser with a fresh synthetic root, an empty stack and no error.
    Parser(std::optional<CharacterSet> trimmingManner, bool ignoreNamespaces);
    virtual ~Parser();

    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    virtual const std::optional<XMLError>& error() const;
    virtual void setError(std::optional<XMLError> error);

    // Runs the event-driven parser over `data` to its end. Returns `singleElement` of the
    // document root, or `failure` holding the stored error.
    virtual Accessor parse(std::span<const std::uint8_t> data,
                           InputEncoding encoding = InputEncoding::detect);

    virtual const Element::Ptr& documentRoot() const;
    virtual void setDocumentRoot(Element::Ptr documentRoot);

    // The open elements, innermost last, the document root at the bottom.
    virtual const std::vector<Element::Ptr>& stack() const;
    virtual void setStack(std::vector<Element::Ptr> stack);

    const std::optional<CharacterSet>& trimmingManner() const { return trimmingManner_; }
    bool ignoreNamespaces() const { return ignoreNamespaces_; }

    // The event handlers.
    virtual void didStartElement(std::string_view name, const Element::Attributes& attributes);
    virtual void foundCharacters(std::string_view text);
    virtual void foundCDATA(std::span<const std::uint8_t> bytes);
    virtual void didEndElement();
    virtual void parseErrorOccurred(const sax::ParseError& error);

  protected:
    // During an event, the line the event-driven parser is at (from 1); -1 outside a parse.
    std::int64_t currentLineNumber() const;

  private:
    class Events;

    std::optional<XMLError> error_;
    Element::Ptr documentRoot_;
    std::vector<Element::Ptr> stack_;
    std::optional<CharacterSet> trimmingManner_;
    bool ignoreNamespaces_;
    const sax::Parser* platform_ = nullptr;
};

}  // namespace xmlaccess
