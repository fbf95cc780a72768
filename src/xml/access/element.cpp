#include "xml/access/element.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace xmlaccess {

namespace {

void requireNoNull(const std::vector<XML::Element::Ptr>& children) {
    if (std::any_of(children.begin(), children.end(), [](const auto& c) { return !c; })) {
        throw std::invalid_argument("An element's children must not include a null element.");
    }
}

}  // namespace

XML::Element::Element(std::string name, std::optional<std::string> text, Attributes attributes,
                      std::vector<Ptr> childElements, std::int64_t lineNumberStart,
                      std::int64_t lineNumberEnd, std::optional<Bytes> CDATA, bool ignoreNamespaces)
    : name_(std::move(name)),
      text_(std::move(text)),
      attributes_(std::move(attributes)),
      childElements_(std::move(childElements)),
      lineNumberStart_(lineNumberStart),
      lineNumberEnd_(lineNumberEnd),
      CDATA_(std::move(CDATA)),
      ignoreNamespaces_(ignoreNamespaces) {
    requireNoNull(childElements_);
}

XML::Element::~Element() {
    // Take the subtree apart without recursion: a descendant that nobody else holds gives up its
    // children to this list before it is destroyed, so its own destructor has nothing to do.
    std::vector<Ptr> pending = std::move(childElements_);
    while (!pending.empty()) {
        Ptr element = std::move(pending.back());
        pending.pop_back();
        if (element.use_count() == 1) {
            for (Ptr& child : element->childElements_)
                pending.push_back(std::move(child));
            element->childElements_.clear();
        }
    }
}

const std::string& XML::Element::name() const {
    return name_;
}
void XML::Element::setName(std::string name) {
    name_ = std::move(name);
}

const std::optional<std::string>& XML::Element::text() const {
    return text_;
}
void XML::Element::setText(std::optional<std::string> text) {
    text_ = std::move(text);
}

const XML::Element::Attributes& XML::Element::attributes() const {
    return attributes_;
}
void XML::Element::setAttributes(Attributes attributes) {
    attributes_ = std::move(attributes);
}

const std::vector<XML::Element::Ptr>& XML::Element::childElements() const {
    return childElements_;
}
void XML::Element::setChildElements(std::vector<Ptr> childElements) {
    requireNoNull(childElements);
    // The old children are released through a temporary element so that a deep subtree is taken
    // apart without recursion.
    Element old{std::string()};
    old.childElements_ = std::exchange(childElements_, std::move(childElements));
}

std::int64_t XML::Element::lineNumberStart() const {
    return lineNumberStart_;
}
void XML::Element::setLineNumberStart(std::int64_t line) {
    lineNumberStart_ = line;
}
std::int64_t XML::Element::lineNumberEnd() const {
    return lineNumberEnd_;
}
void XML::Element::setLineNumberEnd(std::int64_t line) {
    lineNumberEnd_ = line;
}

const std::optional<Bytes>& XML::Element::CDATA() const {
    return CDATA_;
}
void XML::Element::setCDATA(std::optional<Bytes> CDATA) {
    CDATA_ = std::move(CDATA);
}

bool XML::Element::ignoreNamespaces() const {
    return ignoreNamespaces_;
}
void XML::Element::setIgnoreNamespaces(bool ignoreNamespaces) {
    ignoreNamespaces_ = ignoreNamespaces;
}

XML::Element::Ptr XML::Element::parentElement() const {
    return parentElement_.lock();
}
void XML::Element::setParentElement(std::weak_ptr<Element> parent) {
    parentElement_ = std::move(parent);
}

void XML::Element::appendText(std::string_view piece) {
    if (text_) {
        text_->append(piece);
    } else {
        text_.emplace(piece);
    }
}

void XML::Element::appendChildElement(Ptr child) {
    if (!child) throw std::invalid_argument("A null element cannot be appended as a child.");
    childElements_.push_back(std::move(child));
}

}  // namespace xmlaccess
