// One element of a parsed (or hand-built) tree.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/access/xml.hpp"

namespace xmlaccess {

// An element with shared ownership: a parent owns its children, the link back to the parent is
// weak, so a tree holds no ownership cycle. Every field is read and written through a virtual
// getter and setter so that the class can be specialised.
//
// Destroying a tree never recurses: however deep it is, the destructor takes the descendants
// apart one at a time.
class XML::Element {
  public:
    using Attributes = std::map<std::string, std::string>;
    using Ptr = std::shared_ptr<Element>;

    // Throws std::invalid_argument when `childElements` holds a null pointer. The parent link
    // starts absent.
    explicit Element(std::string name, std::optional<std::string> text = std::nullopt,
                     Attributes attributes = {}, std::vector<Ptr> childElements = {},
                     std::int64_t lineNumberStart = -1, std::int64_t lineNumberEnd = -1,
                     std::optional<Bytes> CDATA = std::nullopt, bool ignoreNamespaces = false);
    virtual ~Element();

    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    // The name as written in the document, namespace prefix included.
    virtual const std::string& name() const;
    virtual void setName(std::string name);

    // The element's own character data, all pieces concatenated; absent when there was none.
    virtual const std::optional<std::string>& text() const;
    virtual void setText(std::optional<std::string> text);

    virtual const Attributes& attributes() const;
    virtual void setAttributes(Attributes attributes);

    // The children in document order. A tree must stay a tree: an element must not become its
    // own descendant (`XML::Accessor::appendChild` refuses to make one).
    virtual const std::vector<Ptr>& childElements() const;
    // Throws std::invalid_argument when `childElements` holds a null pointer.
    virtual void setChildElements(std::vector<Ptr> childElements);

    // Line of the start tag and of the end tag; -1 for an element that no parse made.
    virtual std::int64_t lineNumberStart() const;
    virtual void setLineNumberStart(std::int64_t line);
    virtual std::int64_t lineNumberEnd() const;
    virtual void setLineNumberEnd(std::int64_t line);

    // The bytes of the last CDATA section directly inside the element.
    virtual const std::optional<Bytes>& CDATA() const;
    virtual void setCDATA(std::optional<Bytes> CDATA);

    // When true, key lookups compare this element's name without its namespace prefix.
    virtual bool ignoreNamespaces() const;
    virtual void setIgnoreNamespaces(bool ignoreNamespaces);

    // The enclosing element, or null when there is none or it no longer exists.
    virtual Ptr parentElement() const;
    virtual void setParentElement(std::weak_ptr<Element> parent);

    // Appends a piece of character data to the text, making it present.
    virtual void appendText(std::string_view piece);
    // Appends a child at the end of `childElements`; leaves the child's parent link alone.
    // Throws std::invalid_argument for a null pointer.
    virtual void appendChildElement(Ptr child);

  private:
    std::string name_;
    std::optional<std::string> text_;
    Attributes attributes_;
    std::vector<Ptr> childElements_;
    std::int64_t lineNumberStart_;
    std::int64_t lineNumberEnd_;
    std::optional<Bytes> CDATA_;
    bool ignoreNamespaces_;
    std::weak_ptr<Element> parentElement_;
};

}  // namespace xmlaccess
