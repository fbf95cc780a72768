#include "xml/indexing/indexer.hpp"

#include "indexing/text.hpp"
#include "xml/indexing/parser.hpp"

namespace xmlindexing {

namespace {

const UserInfo& emptyUserInfo() {
    static const UserInfo empty;
    return empty;
}

// The indexer for the elements kept by a filter: one gives an element indexer, any other number a
// list.
XMLIndexer fromKept(XMLIndexer::List kept) {
    if (kept.size() == 1) return XMLIndexer(std::move(kept.front()));
    return XMLIndexer(std::move(kept));
}

XMLIndexer::List filtered(const XMLIndexer::List& elements, const ElementPredicate& predicate) {
    XMLIndexer::List kept;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (predicate(*elements[i], static_cast<int64_t>(i))) kept.push_back(elements[i]);
    }
    return kept;
}

bool hasAttributeValue(const XMLElement& element, std::string_view attr, std::string_view value) {
    const auto attribute = element.attribute(attr);
    return attribute && detail::namesMatch(attribute->text, value, element.caseInsensitive());
}

}  // namespace

XMLIndexer::XMLIndexer(std::shared_ptr<XMLElement> element) {
    if (element) {
        value_ = std::move(element);
    } else {
        value_ = IndexingError::error();
    }
}

XMLIndexer::XMLIndexer(List elements) : value_(std::move(elements)) {}

XMLIndexer::XMLIndexer(std::shared_ptr<IndexOps> ops) {
    if (ops) {
        value_ = std::move(ops);
    } else {
        value_ = IndexingError::error();
    }
}

XMLIndexer::XMLIndexer(IndexingError error) : value_(std::move(error)) {}

XMLIndexer::XMLIndexer(ParsingError error) : value_(std::move(error)) {}

XMLIndexer XMLIndexer::streamOver(std::shared_ptr<LazyXMLParser> parser) {
    if (!parser) return XMLIndexer(IndexingError::error());
    return XMLIndexer(std::make_shared<IndexOps>(std::move(parser)));
}

std::optional<IndexingError> XMLIndexer::xmlError() const {
    if (const auto* e = std::get_if<IndexingError>(&value_)) return *e;
    return std::nullopt;
}

std::optional<ParsingError> XMLIndexer::parsingError() const {
    if (const auto* e = std::get_if<ParsingError>(&value_)) return *e;
    return std::nullopt;
}

XMLIndexer XMLIndexer::operator[](std::string_view key) const {
    if (const auto* ops = std::get_if<std::shared_ptr<IndexOps>>(&value_)) {
        (*ops)->ops.push_back(std::make_shared<IndexOp>(std::string(key)));
        return *this;
    }
    if (const auto* element = std::get_if<std::shared_ptr<XMLElement>>(&value_)) {
        const bool caseInsensitive = (*element)->caseInsensitive();
        List matches;
        for (const auto& child : (*element)->children()) {
            if (!child || !child->isElement()) continue;
            auto& childElement = static_cast<XMLElement&>(*child);
            if (detail::namesMatch(childElement.name(), key, caseInsensitive)) {
                matches.push_back(std::static_pointer_cast<XMLElement>(child));
            }
        }
        if (matches.size() == 1) return XMLIndexer(std::move(matches.front()));
        if (!matches.empty()) return XMLIndexer(std::move(matches));
    }
    // A list is never searched, and an error stays an error (naming the latest key).
    return XMLIndexer(IndexingError::key(std::string(key)));
}

XMLIndexer XMLIndexer::byKey(std::string_view key) const {
    XMLIndexer found = (*this)[key];
    if (const auto* error = std::get_if<IndexingError>(&found.value_)) throw *error;
    return found;
}

XMLIndexer XMLIndexer::byIndex(int64_t index) const {
    switch (kind()) {
        case Kind::stream: {
            auto& ops = std::get<std::shared_ptr<IndexOps>>(value_);
            // A position needs a recorded name to apply to; a negative one is no position.
            if (ops->ops.empty() || index < 0) break;
            ops->ops.back()->index = index;
            return *this;
        }
        case Kind::list: {
            const auto& list = std::get<List>(value_);
            if (index >= 0 && static_cast<uint64_t>(index) < list.size()) {
                return XMLIndexer(list[static_cast<size_t>(index)]);
            }
            break;
        }
        case Kind::element:
            if (index == 0) return *this;
            break;
        case Kind::xmlError:
        case Kind::parsingError:
            break;
    }
    return XMLIndexer(IndexingError::index(index));
}

std::shared_ptr<XMLElement> XMLIndexer::element() const {
    if (const auto* element = std::get_if<std::shared_ptr<XMLElement>>(&value_)) return *element;
    if (const auto* ops = std::get_if<std::shared_ptr<IndexOps>>(&value_)) {
        return (*ops)->findElements().element();
    }
    return nullptr;
}

XMLIndexer::List XMLIndexer::allElements() const {
    switch (kind()) {
        case Kind::element:
            return List{std::get<std::shared_ptr<XMLElement>>(value_)};
        case Kind::list:
            return std::get<List>(value_);
        case Kind::stream:
            return std::get<std::shared_ptr<IndexOps>>(value_)->findElements().allElements();
        case Kind::xmlError:
        case Kind::parsingError:
            break;
    }
    return {};
}

std::vector<XMLIndexer> XMLIndexer::all() const {
    std::vector<XMLIndexer> out;
    for (auto& element : allElements())
        out.emplace_back(std::move(element));
    return out;
}

std::vector<XMLIndexer> XMLIndexer::children() const {
    std::vector<XMLIndexer> out;
    for (const auto& element : allElements()) {
        for (const auto& child : element->children()) {
            if (child && child->isElement())
                out.emplace_back(std::static_pointer_cast<XMLElement>(child));
        }
    }
    return out;
}

XMLIndexer XMLIndexer::withAttribute(std::string_view attr, std::string_view value) const {
    switch (kind()) {
        case Kind::stream:
            return std::get<std::shared_ptr<IndexOps>>(value_)->findElements().withAttribute(attr,
                                                                                             value);
        case Kind::list:
            for (const auto& element : std::get<List>(value_)) {
                if (hasAttributeValue(*element, attr, value)) return XMLIndexer(element);
            }
            break;
        case Kind::element:
            if (hasAttributeValue(*std::get<std::shared_ptr<XMLElement>>(value_), attr, value))
                return *this;
            break;
        case Kind::xmlError:
        case Kind::parsingError:
            throw IndexingError::attribute(std::string(attr));
    }
    throw IndexingError::attributeValue(std::string(attr), std::string(value));
}

XMLIndexer XMLIndexer::filterAll(const ElementPredicate& predicate) const {
    return fromKept(filtered(allElements(), predicate));
}

XMLIndexer XMLIndexer::filterChildren(const ElementPredicate& predicate) const {
    List children;
    for (const auto& child : this->children())
        children.push_back(child.element());
    List kept = filtered(children, predicate);

    const auto element = this->element();
    if (!element) return XMLIndexer(IndexingError::error());
    auto copy = std::make_shared<XMLElement>(element->name(), element->index, element->options());
    XMLElement::Children content(kept.begin(), kept.end());
    copy->setChildren(std::move(content));
    return XMLIndexer(std::move(copy));
}

const UserInfo& XMLIndexer::userInfo() const {
    if (const auto* element = std::get_if<std::shared_ptr<XMLElement>>(&value_)) {
        return (*element)->options()->userInfo;
    }
    return emptyUserInfo();
}

std::string XMLIndexer::description() const {
    switch (kind()) {
        case Kind::element: {
            const auto& element = std::get<std::shared_ptr<XMLElement>>(value_);
            if (element->name() != rootElementName) return element->description();
            std::string out;
            for (const auto& child : element->children()) {
                if (child) out += child->description();
            }
            return out;
        }
        case Kind::list: {
            std::string out;
            for (const auto& element : std::get<List>(value_))
                out += element->description();
            return out;
        }
        case Kind::stream:
        case Kind::xmlError:
        case Kind::parsingError:
            break;
    }
    return {};
}

}  // namespace xmlindexing
