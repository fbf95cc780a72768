#include <stdexcept>
#include <type_traits>

#include "xml/indexing/deserialization.hpp"

namespace xmlindexing {

namespace {

std::string textOf(const XMLDeserializationError::Payload& payload) {
    using E = XMLDeserializationError;
    return std::visit(
        [](const auto& p) -> std::string {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, E::ImplementationIsMissing>) {
                return "This deserialization method is not implemented: " + p.method;
            } else if constexpr (std::is_same_v<P, E::NodeIsInvalid>) {
                return "This node is invalid: " + p.node;
            } else if constexpr (std::is_same_v<P, E::TypeConversionFailed>) {
                return "Can't convert node " + p.element->description() + " to value of type " +
                       p.type;
            } else if constexpr (std::is_same_v<P, E::AttributeDoesNotExist>) {
                return "Element " + p.element->description() +
                       " does not contain attribute: " + p.attribute;
            } else if constexpr (std::is_same_v<P, E::AttributeDeserializationFailed>) {
                return "Can't convert attribute " + p.attribute.description() +
                       " to value of type " + p.type;
            } else {
                return "This node is empty";
            }
        },
        payload);
}

// The errors that carry an element need one to describe.
std::shared_ptr<XMLElement> required(std::shared_ptr<XMLElement> element) {
    if (!element) throw std::invalid_argument("XMLDeserializationError: null element");
    return element;
}

}  // namespace

XMLDeserializationError::XMLDeserializationError(Payload payload)
    : payload_(std::move(payload)), text_(textOf(payload_)) {}

XMLDeserializationError XMLDeserializationError::implementationIsMissing(std::string method) {
    return XMLDeserializationError(ImplementationIsMissing{std::move(method)});
}

XMLDeserializationError XMLDeserializationError::nodeIsInvalid(std::string node) {
    return XMLDeserializationError(NodeIsInvalid{std::move(node)});
}

XMLDeserializationError XMLDeserializationError::typeConversionFailed(
    std::string type, std::shared_ptr<XMLElement> element) {
    return XMLDeserializationError(
        TypeConversionFailed{std::move(type), required(std::move(element))});
}

XMLDeserializationError XMLDeserializationError::attributeDoesNotExist(
    std::shared_ptr<XMLElement> element, std::string attribute) {
    return XMLDeserializationError(
        AttributeDoesNotExist{required(std::move(element)), std::move(attribute)});
}

XMLDeserializationError XMLDeserializationError::attributeDeserializationFailed(
    std::string type, XMLAttribute attribute) {
    return XMLDeserializationError(
        AttributeDeserializationFailed{std::move(type), std::move(attribute)});
}

XMLDeserializationError XMLDeserializationError::nodeHasNoValue() {
    return XMLDeserializationError(NodeHasNoValue{});
}

namespace detail {

void throwNullElement() {
    throw XMLDeserializationError::nodeIsInvalid("no element (null XMLElement)");
}

}  // namespace detail

}  // namespace xmlindexing
