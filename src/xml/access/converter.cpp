#include "xml/access/converter.hpp"

#include <cstdint>
#include <utility>

#include "access/utf8.hpp"
#include "textservices/unicode.hpp"

namespace xmlaccess {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// The reference that stands for an ASCII character in element text or in a double-quoted
// attribute value, or an empty view when the character stands for itself. A carriage return, and
// in attribute values a tab or line feed, would be normalised away by a parser, so they are
// written as references too.
std::string_view referenceFor(char c, bool inAttribute) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '\r':
            return "&#13;";
        case '"':
            return inAttribute ? "&quot;" : std::string_view();
        case '\t':
            return inAttribute ? "&#9;" : std::string_view();
        case '\n':
            return inAttribute ? "&#10;" : std::string_view();
        default:
            return {};
    }
}

// Copies `text` to `out` with references in place of markup characters, and U+FFFD in place of
// byte sequences that are not UTF-8 and of characters that XML cannot carry.
void appendEscaped(std::string& out, std::string_view text, bool inAttribute) {
    out.reserve(out.size() + text.size());
    for (std::size_t position = 0; position < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[position]);
        if (byte < 0x80) {
            ++position;
            const std::string_view reference = referenceFor(static_cast<char>(byte), inAttribute);
            if (!reference.empty()) {
                out += reference;
            } else if (detail::isXmlChar(byte)) {
                out += static_cast<char>(byte);
            } else {
                out += replacementCharacter;
            }
            continue;
        }
        const auto step = textservices::nextScalar(text, position);
        if (step.wellFormed() && detail::isXmlChar(step.scalar)) {
            out.append(text.substr(position, step.length));
        } else {
            out += replacementCharacter;
        }
        position += step.length;
    }
}

const std::string& checkedName(const std::string& name) {
    if (!detail::isXmlName(name)) throw XMLError::invalidName(name);
    return name;
}

// The synthetic root that a parse hangs a document under: an element of that name that no parse
// read from a document (those carry the line of their start tag).
bool isSyntheticRoot(const XML::Element& element) {
    return element.name() == XML::documentRootName && element.lineNumberStart() < 0;
}

void appendStartTag(std::string& out, const XML::Element& element) {
    out += '<';
    out += checkedName(element.name());
    for (const auto& [name, value] : element.attributes()) {
        out += ' ';
        out += checkedName(name);
        out += "=\"";
        appendEscaped(out, value, true);
        out += '"';
    }
    out += '>';
    if (const auto& text = element.text()) appendEscaped(out, *text, false);
}

void appendEndTag(std::string& out, const XML::Element& element) {
    out += "</";
    out += element.name();
    out += '>';
}

}  // namespace

XML::Converter::Converter(Accessor accessor) : accessor_(std::move(accessor)) {}

XML::Converter::~Converter() = default;

std::string XML::Converter::convert(bool includeDeclaration) {
    if (const std::exception_ptr failure = accessor_.error()) std::rethrow_exception(failure);
    std::string out = includeDeclaration ? std::string(declaration) : std::string();
    for (const Accessor& single : accessor_)
        out += convertElement(*single.element());
    return out;
}

std::string XML::Converter::convertElement(const Element& element) {
    // Depth first with an explicit stack, so that the depth of a tree is bounded by memory only.
    struct Frame {
        const Element* element;
        std::size_t nextChild;
        bool written;  // false for the synthetic root, whose tags are not written
    };
    std::string out;
    std::vector<Frame> stack;
    const auto enter = [&](const Element& e) {
        const bool written = !isSyntheticRoot(e);
        if (written) appendStartTag(out, e);
        stack.push_back({&e, 0, written});
    };
    enter(element);
    while (!stack.empty()) {
        const std::size_t top = stack.size() - 1;
        const auto& children = stack[top].element->childElements();
        if (stack[top].nextChild < children.size()) {
            const Element::Ptr& child = children[stack[top].nextChild++];
            if (child) enter(*child);
            continue;
        }
        if (stack[top].written) appendEndTag(out, *stack[top].element);
        stack.pop_back();
    }
    return out;
}

std::string XML::Converter::escapeText(std::string_view text) {
    std::string out;
    appendEscaped(out, text, false);
    return out;
}

std::string XML::Converter::escapeAttributeValue(std::string_view value) {
    std::string out;
    appendEscaped(out, value, true);
    return out;
}

std::string XML::convert(const Accessor& accessor, bool includeDeclaration) {
    Converter converter(accessor);
    return converter.convert(includeDeclaration);
}

}  // namespace xmlaccess
