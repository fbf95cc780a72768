#include "xml/indexing/parser.hpp"

#include <utility>

#include "indexing/builder.hpp"
#include "indexing/text.hpp"
#include "sax/parser.hpp"
#include "textservices/unicode.hpp"

namespace xmlindexing {

namespace {

std::string_view asText(Bytes bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Bytes asBytes(std::string_view text) {
    return Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::shared_ptr<XMLElement> newRoot(const std::shared_ptr<XMLHashOptions>& options) {
    return std::make_shared<XMLElement>(std::string(rootElementName), 0, options);
}

sax::Options saxOptions(const XMLHashOptions& options, std::string_view encoding) {
    sax::Options out;
    out.processNamespaces = options.shouldProcessNamespaces;
    out.encoding = std::string(encoding);
    return out;
}

// Builds the whole tree: every element and every character run below the root.
class FullRun final : public sax::Handler {
  public:
    explicit FullRun(XMLElement& root, bool transient = false) : builder(root, transient) {}

    detail::TreeBuilder builder;
    std::optional<ParsingError> error;

    void startElementInPlace(std::string_view name, std::string_view, std::string_view,
                             const sax::AttributeList& attributes) override {
        builder.startElement(name, attributes);
    }
    void endElement(std::string_view, std::string_view, std::string_view) override {
        builder.endElement();
    }
    void characters(std::string_view text) override { builder.addText(text); }
    void cdata(std::string_view bytes) override {
        if (textservices::isWellFormedUtf8(bytes)) builder.addText(bytes);
    }
    void parseError(const sax::ParseError& e) override { error = ParsingError(e.line, e.column); }
};

}  // namespace

// Builds only the elements on the recorded path of a LazyXMLParser.
class LazyRun final : public sax::Handler {
  public:
    explicit LazyRun(LazyXMLParser& parser) : builder(*parser.root_), parser_(parser) {}

    detail::TreeBuilder builder;

    void startElementInPlace(std::string_view name, std::string_view, std::string_view,
                             const sax::AttributeList& attributes) override {
        auto& p = parser_;
        // The open elements match the path as far as they did, plus this one if it continues it.
        if (p.matchedElements_ == p.openElements_ && p.openElements_ < p.keys_.size() &&
            detail::canonicallyEqual(name, p.keys_[p.openElements_])) {
            ++p.matchedElements_;
        }
        ++p.openElements_;
        if (p.shouldPrepareElement()) builder.startElement(name, attributes);
    }
    void endElement(std::string_view, std::string_view, std::string_view) override {
        auto& p = parser_;
        const bool built = p.shouldPrepareElement();
        if (p.openElements_ > 0) --p.openElements_;
        if (p.matchedElements_ > p.openElements_) p.matchedElements_ = p.openElements_;
        if (built) builder.endElement();
    }
    void characters(std::string_view text) override {
        if (parser_.shouldPrepareElement()) builder.addText(text);
    }
    void cdata(std::string_view bytes) override {
        if (parser_.shouldPrepareElement() && textservices::isWellFormedUtf8(bytes))
            builder.addText(bytes);
    }

  private:
    LazyXMLParser& parser_;
};

// ---- FullXMLParser

FullXMLParser::FullXMLParser(std::shared_ptr<XMLHashOptions> options)
    : root_(newRoot(options)), options_(std::move(options)) {}

XMLIndexer FullXMLParser::parse(Bytes bytes, std::string_view encoding) {
    return run(bytes, encoding, false);
}

XMLIndexer FullXMLParser::run(Bytes bytes, std::string_view encoding, bool transient) {
    FullRun run(*root_, transient);
    sax::Parser parser(saxOptions(*options_, encoding));
    parser.parse(asText(bytes), run);
    run.builder.finish();
    parsingError_ = run.error;
    if (options_->detectParsingErrors && parsingError_) return XMLIndexer(*parsingError_);
    return XMLIndexer(root_);
}

// ---- LazyXMLParser

std::shared_ptr<LazyXMLParser> LazyXMLParser::create(std::shared_ptr<XMLHashOptions> options) {
    return std::make_shared<LazyXMLParser>(Token{}, std::move(options));
}

LazyXMLParser::LazyXMLParser(Token, std::shared_ptr<XMLHashOptions> options)
    : root_(newRoot(options)), options_(std::move(options)) {}

XMLIndexer LazyXMLParser::parse(Bytes bytes, std::string_view encoding) {
    data_.emplace(asText(bytes));
    encoding_ = std::string(encoding);
    return XMLIndexer::streamOver(shared_from_this());
}

void LazyXMLParser::startParsing(std::vector<std::shared_ptr<IndexOp>> ops) {
    root_ = newRoot(options_);
    ops_ = std::move(ops);
    keys_.clear();
    for (const auto& op : ops_)
        keys_.push_back(op ? op->key : std::string());
    // A run that stopped early (a malformed document) leaves elements open: every run starts with
    // none, so that the path of this run is matched from the document's top.
    openElements_ = 0;
    matchedElements_ = 0;

    LazyRun run(*this);
    sax::Parser parser(saxOptions(*options_, encoding_));
    parser.parse(data_ ? std::string_view(*data_) : std::string_view(), run);
    run.builder.finish();
}

bool LazyXMLParser::shouldPrepareElement() const {
    // Open elements lead towards the path's end when they all match it; they lie inside the
    // target when the whole path matches their outermost ones.
    if (keys_.size() >= openElements_) return matchedElements_ == openElements_;
    return matchedElements_ == keys_.size();
}

// ---- IndexOps

IndexOps::IndexOps(std::shared_ptr<LazyXMLParser> parser) : parser(std::move(parser)) {}

XMLIndexer IndexOps::findElements() {
    if (!parser) return XMLIndexer(IndexingError::error());
    parser->startParsing(ops);
    XMLIndexer found(parser->root());
    for (const auto& op : ops) {
        if (!op) continue;
        found = found[op->key];
        if (op->index >= 0) found = found.byIndex(op->index);
    }
    ops.clear();
    return found;
}

// ---- XMLHash

XMLHash::XMLHash(std::shared_ptr<XMLHashOptions> options) : options_(std::move(options)) {
    if (!options_) options_ = std::make_shared<XMLHashOptions>();
}

std::shared_ptr<XMLHash> XMLHash::config(const std::function<void(XMLHashOptions&)>& configure) {
    auto options = std::make_shared<XMLHashOptions>();
    if (configure) configure(*options);
    return std::make_shared<XMLHash>(std::move(options));
}

XMLIndexer XMLHash::parseDocument(std::string_view text) const {
    const auto encoded = detail::encode(text, options_->encoding);
    if (!encoded) return XMLIndexer(IndexingError::encoding());
    const std::string_view bytes =
        options_->encoding == StringEncoding::utf8 ? text : encoded->bytes;
    if (options_->shouldProcessLazily) {
        return LazyXMLParser::create(options_)->parse(asBytes(bytes), encoded->parserEncoding);
    }
    return FullXMLParser(options_).parse(asBytes(bytes), encoded->parserEncoding);
}

XMLIndexer XMLHash::parseDocument(Bytes bytes) const {
    if (options_->shouldProcessLazily) return LazyXMLParser::create(options_)->parse(bytes);
    return FullXMLParser(options_).parse(bytes);
}

XMLIndexer detail::parseTransiently(std::string_view text,
                                    std::shared_ptr<XMLHashOptions> options) {
    if (!options) options = std::make_shared<XMLHashOptions>();
    if (options->shouldProcessLazily) return XMLHash(std::move(options)).parseDocument(text);
    const auto encoded = detail::encode(text, options->encoding);
    if (!encoded) return XMLIndexer(IndexingError::encoding());
    const std::string_view bytes = options->encoding == StringEncoding::utf8 ? text : encoded->bytes;
    return FullXMLParser(std::move(options)).run(asBytes(bytes), encoded->parserEncoding, true);
}

XMLIndexer XMLHash::parse(std::string_view text) {
    return XMLHash(std::make_shared<XMLHashOptions>()).parseDocument(text);
}

XMLIndexer XMLHash::parse(Bytes bytes) {
    return XMLHash(std::make_shared<XMLHashOptions>()).parseDocument(bytes);
}

XMLIndexer XMLHash::lazy(std::string_view text) {
    auto options = std::make_shared<XMLHashOptions>();
    options->shouldProcessLazily = true;
    return XMLHash(std::move(options)).parseDocument(text);
}

XMLIndexer XMLHash::lazy(Bytes bytes) {
    auto options = std::make_shared<XMLHashOptions>();
    options->shouldProcessLazily = true;
    return XMLHash(std::move(options)).parseDocument(bytes);
}

}  // namespace xmlindexing
