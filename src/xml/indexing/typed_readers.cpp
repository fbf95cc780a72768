// The parts of the typed readers that do not depend on the type read.
#include <string>

#include "xml/indexing/value_readers.hpp"

namespace xmlindexing::detail {

XMLIndexer resolved(const XMLIndexer& indexer) {
    if (const auto* ops = std::get_if<std::shared_ptr<IndexOps>>(&indexer.value())) {
        return (*ops)->findElements();
    }
    return indexer;
}

const XMLIndexer::List& listOf(const XMLIndexer& position) {
    return std::get<XMLIndexer::List>(position.value());
}

const std::shared_ptr<XMLElement>& elementOf(const XMLIndexer& position) {
    return std::get<std::shared_ptr<XMLElement>>(position.value());
}

void throwInvalidPosition(const XMLIndexer& position) {
    throw XMLDeserializationError::nodeIsInvalid(
        std::get<IndexingError>(position.value()).description());
}

void throwUnexpected(std::string_view what, std::string_view suffix) {
    std::string node = "Unexpected error deserializing ";
    node += what;
    node += suffix;
    throw XMLDeserializationError::nodeIsInvalid(std::move(node));
}

void throwUnexpectedAttribute(std::string_view name, std::string_view suffix) {
    std::string what = "XMLAttribute ";
    what += name;
    throwUnexpected(what, suffix);
}

}  // namespace xmlindexing::detail
