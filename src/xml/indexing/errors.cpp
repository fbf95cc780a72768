#include "xml/indexing/errors.hpp"

#include <type_traits>

namespace xmlindexing {

namespace {

std::string quoted(const std::string& s) {
    return "[\"" + s + "\"]";
}

std::string textOf(const IndexingError::Payload& payload) {
    return std::visit(
        [](const auto& p) -> std::string {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, IndexingError::Attribute>) {
                return "XML Attribute Error: Missing attribute " + quoted(p.attr);
            } else if constexpr (std::is_same_v<P, IndexingError::AttributeValue>) {
                return "XML Attribute Error: Missing attribute " + quoted(p.attr) + " with value " +
                       quoted(p.value);
            } else if constexpr (std::is_same_v<P, IndexingError::Key>) {
                return "XML Element Error: Incorrect key " + quoted(p.key);
            } else if constexpr (std::is_same_v<P, IndexingError::Index>) {
                return "XML Element Error: Incorrect index " + quoted(std::to_string(p.idx));
            } else if constexpr (std::is_same_v<P, IndexingError::Initialize>) {
                return "XML Indexer Error: initialization with Object " +
                       quoted(p.instanceDescription);
            } else if constexpr (std::is_same_v<P, IndexingError::Encoding>) {
                return "String Encoding Error";
            } else {
                return "Unknown Error";
            }
        },
        payload);
}

}  // namespace

IndexingError::IndexingError(Payload payload)
    : payload_(std::move(payload)), text_(textOf(payload_)) {}

IndexingError IndexingError::attribute(std::string attr) {
    return IndexingError(Attribute{std::move(attr)});
}

IndexingError IndexingError::attributeValue(std::string attr, std::string value) {
    return IndexingError(AttributeValue{std::move(attr), std::move(value)});
}

IndexingError IndexingError::key(std::string key) {
    return IndexingError(Key{std::move(key)});
}

IndexingError IndexingError::index(int64_t idx) {
    return IndexingError(Index{idx});
}

IndexingError IndexingError::initialize(std::shared_ptr<const void> instance,
                                        std::string instanceDescription) {
    return IndexingError(Initialize{std::move(instance), std::move(instanceDescription)});
}

IndexingError IndexingError::encoding() {
    return IndexingError(Encoding{});
}

IndexingError IndexingError::error() {
    return IndexingError(Error{});
}

bool IndexingError::operator==(const IndexingError& other) const {
    if (errorCase() != other.errorCase()) return false;
    if (const auto* a = std::get_if<Initialize>(&payload_)) {
        return a->instance == std::get<Initialize>(other.payload_).instance;
    }
    return text_ == other.text_;
}

ParsingError::ParsingError(int64_t line, int64_t column)
    : line_(line),
      column_(column),
      text_("There was a parsing error on line: " + std::to_string(line) +
            ", column: " + std::to_string(column)) {}

TreeSizeError::TreeSizeError(size_t limit)
    : limit_(limit),
      text_("The document's element tree needs more than " + std::to_string(limit) +
            " bytes of memory.") {}

}  // namespace xmlindexing
