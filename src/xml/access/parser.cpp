#include "xml/access/parser.hpp"

#include <string>
#include <utility>

#include "textservices/unicode.hpp"

namespace xmlaccess {

// Hands the event-driven parser's events to the parser's handlers.
class XML::Parser::Events : public sax::Handler {
  public:
    explicit Events(Parser& parser) : parser_(parser) {}

    void startElement(std::string_view name, std::string_view, std::string_view,
                      const sax::Attributes& attributes) override {
        Element::Attributes map;
        for (const auto& attribute : attributes)
            map.emplace(attribute.name, attribute.value);
        parser_.didStartElement(name, map);
    }
    void endElement(std::string_view, std::string_view, std::string_view) override {
        parser_.didEndElement();
    }
    void characters(std::string_view text) override { parser_.foundCharacters(text); }
    void cdata(std::string_view bytes) override {
        parser_.foundCDATA({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    }
    void parseError(const sax::ParseError& error) override { parser_.parseErrorOccurred(error); }

  private:
    Parser& parser_;
};

XML::Parser::Parser(std::optional<CharacterSet> trimmingManner, bool ignoreNamespaces)
    : documentRoot_(std::make_shared<Element>(std::string(documentRootName), std::nullopt,
                                              Element::Attributes{}, std::vector<Element::Ptr>{},
                                              -1, -1, std::nullopt, ignoreNamespaces)),
      trimmingManner_(std::move(trimmingManner)),
      ignoreNamespaces_(ignoreNamespaces) {}

XML::Parser::~Parser() = default;

const std::optional<XMLError>& XML::Parser::error() const {
    return error_;
}
void XML::Parser::setError(std::optional<XMLError> error) {
    error_ = std::move(error);
}

const XML::Element::Ptr& XML::Parser::documentRoot() const {
    return documentRoot_;
}
void XML::Parser::setDocumentRoot(Element::Ptr documentRoot) {
    documentRoot_ = std::move(documentRoot);
}

const std::vector<XML::Element::Ptr>& XML::Parser::stack() const {
    return stack_;
}
void XML::Parser::setStack(std::vector<Element::Ptr> stack) {
    stack_ = std::move(stack);
}

XML::Accessor XML::Parser::parse(std::span<const std::uint8_t> data, InputEncoding encoding) {
    stack_.clear();
    if (documentRoot()) stack_.push_back(documentRoot());

    sax::Options options;
    options.encoding = encoding == InputEncoding::utf8 ? "UTF-8" : "";
    sax::Parser platform(options);
    Events events(*this);
    // The platform parser is reachable from the handlers only while it runs.
    struct Running {
        const sax::Parser*& slot;
        ~Running() { slot = nullptr; }
    } running{platform_};
    platform_ = &platform;
    platform.parse({reinterpret_cast<const char*>(data.data()), data.size()}, events);

    if (const auto& stored = error()) return Accessor::failure(*stored);
    return Accessor::singleElement(documentRoot());
}

std::int64_t XML::Parser::currentLineNumber() const {
    return platform_ ? platform_->currentLine() : -1;
}

void XML::Parser::didStartElement(std::string_view name, const Element::Attributes& attributes) {
    auto element = std::make_shared<Element>(std::string(name), std::nullopt, Element::Attributes{},
                                             std::vector<Element::Ptr>{}, -1, -1, std::nullopt,
                                             ignoreNamespaces_);
    element->setLineNumberStart(currentLineNumber());
    if (!attributes.empty()) element->setAttributes(attributes);
    if (!stack_.empty()) {
        element->setParentElement(stack_.back());
        stack_.back()->appendChildElement(element);
    }
    stack_.push_back(std::move(element));
}

void XML::Parser::foundCharacters(std::string_view text) {
    if (!stack_.empty()) stack_.back()->appendText(text);
}

void XML::Parser::foundCDATA(std::span<const std::uint8_t> bytes) {
    if (!stack_.empty()) stack_.back()->setCDATA(Bytes(bytes.begin(), bytes.end()));
}

void XML::Parser::didEndElement() {
    if (stack_.empty()) return;
    const Element::Ptr& top = stack_.back();
    top->setLineNumberEnd(currentLineNumber());
    if (trimmingManner_ && top->text()) {
        const std::string_view kept = trimmingManner_->trim(*top->text());
        if (kept.size() != top->text()->size()) top->setText(std::string(kept));
    }
    stack_.pop_back();
}

void XML::Parser::parseErrorOccurred(const sax::ParseError& error) {
    setError(XMLError::interruptedParseError(error));
}

XML::Accessor XML::parse(std::span<const std::uint8_t> data,
                         const std::optional<CharacterSet>& trimmingManner, bool ignoreNamespaces) {
    Parser parser(trimmingManner, ignoreNamespaces);
    return parser.parse(data);
}

XML::Accessor XML::parse(std::string_view text, const std::optional<CharacterSet>& trimmingManner,
                         bool ignoreNamespaces) {
    if (!textservices::isWellFormedUtf8(text)) throw XMLError::failToEncodeString();
    Parser parser(trimmingManner, ignoreNamespaces);
    return parser.parse({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                        Parser::InputEncoding::utf8);
}

}  // namespace xmlaccess
