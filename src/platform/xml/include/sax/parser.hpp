// An event-driven XML parser over expat. It reads a complete document held in memory and reports,
// in document order and on the calling thread, the start and end of each element, character data,
// CDATA sections and a fatal error, after which it stops.
//
// Character data is reported in runs: text between two pieces of markup arrives as one event,
// whatever way the underlying parser split it (entity references and line breaks included).
// Comments, processing instructions and the document type declaration are not reported, but they
// do end a run, so the text on either side of a comment arrives as two events.
//
// Safe defaults: no external entity or DTD is ever loaded; entity expansion is bounded by expat's
// amplification limits; an optional depth limit turns very deep nesting into a parse error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sax {

// One attribute of a start tag, its value with references resolved.
struct Attribute {
    std::string name;
    std::string value;
};
using Attributes = std::vector<Attribute>;

// One attribute of a start tag as the parser holds it: views valid during the event only.
struct AttributeView {
    std::string_view name;
    std::string_view value;
};

// The attributes of a start tag, read in place. copied() gives them as owned strings (made once per
// event, in storage the parser reuses).
class AttributeList {
  public:
    AttributeList(std::span<const AttributeView> views, Attributes& scratch)
        : views_(views), scratch_(&scratch) {}

    size_t size() const { return views_.size(); }
    bool empty() const { return views_.empty(); }
    const AttributeView& operator[](size_t i) const { return views_[i]; }
    auto begin() const { return views_.begin(); }
    auto end() const { return views_.end(); }

    const Attributes& copied() const;

  private:
    std::span<const AttributeView> views_;
    Attributes* scratch_;
};

struct ParseError {
    // expat's error code, or one of the codes below.
    int code = 0;
    std::string message;
    // Where the parser stopped: line counted from 1, column counted from 0, as expat counts them.
    int64_t line = 0;
    int64_t column = 0;

    static constexpr int depthLimitExceeded = -1;
};

class Handler {
  public:
    virtual ~Handler() = default;

    // `name` is the element name as written (prefix included) unless namespace processing is on;
    // then it is the local name, `namespaceURI` the namespace and `qualifiedName` the prefixed
    // name.
    virtual void startElement(std::string_view name, std::string_view namespaceURI,
                              std::string_view qualifiedName, const Attributes& attributes) {
        (void)name, (void)namespaceURI, (void)qualifiedName, (void)attributes;
    }
    // The same event with the attributes read in place, for handlers that need no copy of them.
    // The parser calls this one; by default it hands a copy of the attributes to startElement().
    virtual void startElementInPlace(std::string_view name, std::string_view namespaceURI,
                                     std::string_view qualifiedName,
                                     const AttributeList& attributes) {
        startElement(name, namespaceURI, qualifiedName, attributes.copied());
    }
    virtual void endElement(std::string_view name, std::string_view namespaceURI,
                            std::string_view qualifiedName) {
        (void)name, (void)namespaceURI, (void)qualifiedName;
    }
    // A run of character data, UTF-8.
    virtual void characters(std::string_view text) { (void)text; }
    // The content of one CDATA section, UTF-8.
    virtual void cdata(std::string_view bytes) { (void)bytes; }
    // A fatal error; no event follows it.
    virtual void parseError(const ParseError& error) { (void)error; }
};

struct Options {
    // Report local names with their namespace URI instead of names as written.
    bool processNamespaces = false;
    // The document's encoding when known beforehand ("UTF-8" for text that is already decoded);
    // empty: detect it from the byte-order mark and the declaration, as expat does.
    std::string encoding;
    // Deepest element nesting accepted; 0 for no limit.
    size_t maxDepth = 0;
};

class Parser {
  public:
    explicit Parser(Options options = {});
    ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // Parses a complete document, delivering events to `handler`. Returns true when the document
    // was well-formed and the run was not stopped. A parser can run once.
    bool parse(std::string_view document, Handler& handler);

    // From inside an event: stops the run without an error; `parse` returns false.
    void stop();
    bool stopped() const { return stopped_; }

    // Inside an event: the position of the parser in the document (line from 1, column from 0).
    int64_t currentLine() const;
    int64_t currentColumn() const;

    struct Impl;

  private:
    Impl* impl_;
    bool stopped_ = false;
};

}  // namespace sax
