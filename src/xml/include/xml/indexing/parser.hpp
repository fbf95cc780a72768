// Parsing XML into the element tree: the entry class XMLHash and its two parsers.
//
// Every parse hangs the document's top-level content under one synthetic root element named
// "XMLIndex_Root_Element" (index 0); the document element is its child, reached by its own name:
//
//     XMLIndexer root = XMLHash::parse(text);          // default options, full parse
//     auto part = root["score-partwise"]["part"];
//
// Text handed in as a string is UTF-8 and is parsed as such whatever its XML declaration says;
// bytes are decoded as the byte-order mark and the declaration tell. Parsing never throws: text the
// options' encoding cannot represent gives an xmlError indexer (IndexingError::encoding); a
// malformed document gives the tree built up to the error, or, with detectParsingErrors, a
// parsingError indexer with expat's line (from 1) and column (from 0).
//
// No external entity or DTD is ever loaded, entity expansion is bounded, and arbitrarily deep
// nesting is safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xml/indexing/element.hpp"
#include "xml/indexing/errors.hpp"
#include "xml/indexing/indexer.hpp"
#include "xml/indexing/options.hpp"

namespace xmlindexing {

// Name of the synthetic root element of every parse.
inline constexpr std::string_view rootElementName = "XMLIndex_Root_Element";

using Bytes = std::span<const uint8_t>;

namespace detail {
// A full parse for a reader that keeps nothing of the tree beyond the root's life (the score
// converter walks a score once and copies out what it needs): the nodes are made without reference
// counts of their own and the pointers between them own nothing, so building is cheaper and the
// whole tree goes at once, without a walk, when the root does. The indexer equals what
// XMLHash::parseDocument(text) gives with the same options; no pointer to a node below the root
// may be used after the root is gone.
XMLIndexer parseTransiently(std::string_view text, std::shared_ptr<XMLHashOptions> options);
}  // namespace detail

// A parser turning document bytes into an indexer.
class SimpleXmlParser {
  public:
    virtual ~SimpleXmlParser() = default;

    // Parses bytes whose encoding is detected from the byte-order mark and the declaration.
    XMLIndexer parse(Bytes bytes) { return parse(bytes, {}); }
    // Parses bytes known to be in `encoding` (an encoding name the event-driven parser knows, such
    // as "UTF-8"), whatever the declaration says; empty: detect it.
    virtual XMLIndexer parse(Bytes bytes, std::string_view encoding) = 0;
};

// Builds the whole tree in one run.
class FullXMLParser : public SimpleXmlParser {
  public:
    explicit FullXMLParser(std::shared_ptr<XMLHashOptions> options);

    using SimpleXmlParser::parse;
    // An element indexer around root(), or a parsingError indexer when the options ask for parse
    // errors and one occurred. A parser runs once.
    XMLIndexer parse(Bytes bytes, std::string_view encoding) override;

    const std::shared_ptr<XMLElement>& root() const { return root_; }
    const std::shared_ptr<XMLHashOptions>& options() const { return options_; }
    // The last parse error of the run, if any.
    const std::optional<ParsingError>& parsingError() const { return parsingError_; }

  private:
    friend XMLIndexer detail::parseTransiently(std::string_view,
                                               std::shared_ptr<XMLHashOptions>);
    XMLIndexer run(Bytes bytes, std::string_view encoding, bool transient);

    std::shared_ptr<XMLElement> root_;
    std::shared_ptr<XMLHashOptions> options_;
    std::optional<ParsingError> parsingError_;
};

// Keeps the document and builds, on demand, only the elements on a recorded path of lookups (and
// everything below its end); see IndexOps::findElements(). Each resolution re-parses the whole
// document. Parse errors are not reported in this mode: a resolution works on what was built.
class LazyXMLParser : public SimpleXmlParser, public std::enable_shared_from_this<LazyXMLParser> {
    struct Token {};

  public:
    static std::shared_ptr<LazyXMLParser> create(std::shared_ptr<XMLHashOptions> options);
    LazyXMLParser(Token, std::shared_ptr<XMLHashOptions> options);

    using SimpleXmlParser::parse;
    // Stores a copy of the bytes (replacing any held before) and returns a stream indexer over a
    // new recording with no lookups; parses nothing.
    XMLIndexer parse(Bytes bytes, std::string_view encoding) override;

    // Runs one parse of the stored document, building the elements on the path of `ops` under a
    // fresh root.
    virtual void startParsing(std::vector<std::shared_ptr<IndexOp>> ops);
    // Whether the position of the current run lies on the recorded path: the open elements lead to
    // the path's end, or lie inside it. Names compare as equal strings, whatever the options say
    // about letter case; positions play no part.
    virtual bool shouldPrepareElement() const;

    const std::shared_ptr<XMLElement>& root() const { return root_; }
    const std::shared_ptr<XMLHashOptions>& options() const { return options_; }

  private:
    friend class LazyRun;

    std::shared_ptr<XMLElement> root_;
    // The open elements of the document, built or not: their number, and how many of the
    // outermost ones equal the leading names of the path.
    size_t openElements_ = 0;
    size_t matchedElements_ = 0;
    std::optional<std::string> data_;
    std::string encoding_;
    std::vector<std::shared_ptr<IndexOp>> ops_;
    std::vector<std::string> keys_;
    std::shared_ptr<XMLHashOptions> options_;
};

// The entry class.
class XMLHash {
  public:
    explicit XMLHash(std::shared_ptr<XMLHashOptions> options);
    virtual ~XMLHash() = default;

    // A new XMLHash over default options that `configure` may change first.
    static std::shared_ptr<XMLHash> config(const std::function<void(XMLHashOptions&)>& configure);

    const std::shared_ptr<XMLHashOptions>& options() const { return options_; }

    // Parses with this object's options (lazily when they say so); the text is first encoded with
    // options().encoding. A new parser and a new tree for every call.
    virtual XMLIndexer parseDocument(std::string_view text) const;
    virtual XMLIndexer parseDocument(Bytes bytes) const;

    // Full parse with default options.
    static XMLIndexer parse(std::string_view text);
    static XMLIndexer parse(Bytes bytes);
    // Lazy parse with default options: a stream indexer.
    static XMLIndexer lazy(std::string_view text);
    static XMLIndexer lazy(Bytes bytes);

  private:
    std::shared_ptr<XMLHashOptions> options_;
};

}  // namespace xmlindexing
