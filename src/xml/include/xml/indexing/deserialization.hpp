// The typed layer of the indexing XML reader: how an attribute value, the text of an element or a
// whole indexed node becomes a value of a type the caller chooses.
//
// A type is readable through one or more of four interfaces, each a concept here:
//
//   XMLAttributeDeserializable  static T deserialize(const XMLAttribute&)
//   XMLElementDeserializable    static T deserialize(const std::shared_ptr<XMLElement>&)
//   XMLObjectDeserialization    static T deserialize(const XMLIndexer&)
//   XMLValueDeserialization     both of the first two
//
// so a type becomes readable by providing the one static function of the interface it wants:
//
//     struct Pitch {
//         std::string step;
//         int64_t octave;
//         static Pitch deserialize(const XMLIndexer& node) {
//             return {value<std::string>(node["step"], elementContent),
//                     value<int64_t>(node["octave"], elementContent)};
//         }
//         void validate() const { if (octave > 9) throw ...; }   // optional
//     };
//
// A value that was just read is checked by its validate() member when it has one (const or not);
// without one the check succeeds. A type may also declare an interface without providing its
// function by deriving from the marker of the same name in namespace `declares`; reading it then
// fails with XMLDeserializationError::implementationIsMissing naming the missing operation.
//
// Built in: std::string, int64_t, double, float and bool implement XMLValueDeserialization (none
// implements XMLObjectDeserialization):
//
// - std::string: the element's text (empty without text) or the attribute's value, unchanged.
// - int64_t: an optional sign and decimal digits only, nothing else (no blank, no point); the whole
//   signed 64-bit range, nothing beyond it.
// - double, float: what the C library's strtod / strtof accept in the "C" locale (decimal point
//   always a full stop, whatever the process locale), covering the whole text: sign, digits with
//   point and exponent, the 0x hexadecimal form, inf, infinity, nan. Leading white space is
//   refused, not skipped. float is converted directly at single precision.
// - bool: leading white space (Unicode) skipped, then one optional sign, then any zeros; true
//   when the next character is Y, y, T, t or a digit 1 to 9, false otherwise (and when empty).
//
// The element forms of int64_t, double, float and bool refuse an element without any text with
// nodeHasNoValue; a text the number rules refuse gives typeConversionFailed ("Int", "Double",
// "Float"). The attribute forms refuse with attributeDeserializationFailed.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>

#include "xml/indexing/element.hpp"
#include "xml/indexing/indexer.hpp"

namespace xmlindexing {

// Why a typed read failed. what() and description() give the same English sentence.
class XMLDeserializationError : public std::exception {
  public:
    enum class Case {
        implementationIsMissing,
        nodeIsInvalid,
        typeConversionFailed,
        attributeDoesNotExist,
        attributeDeserializationFailed,
        nodeHasNoValue,
    };

    // Payload of each case, in the order of Case.
    struct ImplementationIsMissing {
        std::string method;
    };
    struct NodeIsInvalid {
        std::string node;
    };
    struct TypeConversionFailed {
        std::string type;
        std::shared_ptr<XMLElement> element;
    };
    struct AttributeDoesNotExist {
        std::shared_ptr<XMLElement> element;
        std::string attribute;
    };
    struct AttributeDeserializationFailed {
        std::string type;
        XMLAttribute attribute;
    };
    struct NodeHasNoValue {};
    using Payload =
        std::variant<ImplementationIsMissing, NodeIsInvalid, TypeConversionFailed,
                     AttributeDoesNotExist, AttributeDeserializationFailed, NodeHasNoValue>;

    // "This deserialization method is not implemented: <method>"
    static XMLDeserializationError implementationIsMissing(std::string method);
    // "This node is invalid: <node>"
    static XMLDeserializationError nodeIsInvalid(std::string node);
    // "Can't convert node <element as XML> to value of type <type>"
    static XMLDeserializationError typeConversionFailed(std::string type,
                                                        std::shared_ptr<XMLElement> element);
    // "Element <element as XML> does not contain attribute: <attribute>"
    static XMLDeserializationError attributeDoesNotExist(std::shared_ptr<XMLElement> element,
                                                         std::string attribute);
    // "Can't convert attribute name="value" to value of type <type>"
    static XMLDeserializationError attributeDeserializationFailed(std::string type,
                                                                  XMLAttribute attribute);
    // "This node is empty"
    static XMLDeserializationError nodeHasNoValue();

    Case errorCase() const { return static_cast<Case>(payload_.index()); }
    const Payload& payload() const { return payload_; }
    const std::string& description() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    explicit XMLDeserializationError(Payload payload);

    Payload payload_;
    std::string text_;
};

// Markers through which a type declares an interface without providing its operation (reading it
// then fails with implementationIsMissing). Providing the operation needs no marker.
namespace declares {
struct XMLAttributeDeserializable {};
struct XMLElementDeserializable {};
struct XMLObjectDeserialization {};
struct XMLValueDeserialization : XMLAttributeDeserializable, XMLElementDeserializable {};
}  // namespace declares

namespace detail {

// nodeIsInvalid for a null element handed to an element operation.
[[noreturn]] void throwNullElement();

// The conversions of the built-in readable types; the primary template is empty.
template <class T>
struct BuiltIn {};

template <>
struct BuiltIn<std::string> {
    static std::string deserialize(const XMLAttribute& attribute);
    static std::string deserialize(const std::shared_ptr<XMLElement>& element);
};
template <>
struct BuiltIn<int64_t> {
    static int64_t deserialize(const XMLAttribute& attribute);
    static int64_t deserialize(const std::shared_ptr<XMLElement>& element);
};
template <>
struct BuiltIn<double> {
    static double deserialize(const XMLAttribute& attribute);
    static double deserialize(const std::shared_ptr<XMLElement>& element);
};
template <>
struct BuiltIn<float> {
    static float deserialize(const XMLAttribute& attribute);
    static float deserialize(const std::shared_ptr<XMLElement>& element);
};
template <>
struct BuiltIn<bool> {
    static bool deserialize(const XMLAttribute& attribute);
    static bool deserialize(const std::shared_ptr<XMLElement>& element);
};

template <class T, class Node>
concept BuiltInFrom = requires(const Node& node) {
    { BuiltIn<T>::deserialize(node) } -> std::same_as<T>;
};

template <class T, class Node>
concept ProvidesFrom = requires(const Node& node) {
    { T::deserialize(node) } -> std::convertible_to<T>;
};

template <class T, class Marker, class Node>
concept ReadableFrom =
    std::is_object_v<T> && !std::is_const_v<T> &&
    (BuiltInFrom<T, Node> || ProvidesFrom<T, Node> || std::is_base_of_v<Marker, T>);

}  // namespace detail

template <class T>
concept XMLAttributeDeserializable =
    detail::ReadableFrom<T, declares::XMLAttributeDeserializable, XMLAttribute>;

template <class T>
concept XMLElementDeserializable =
    detail::ReadableFrom<T, declares::XMLElementDeserializable, std::shared_ptr<XMLElement>>;

template <class T>
concept XMLObjectDeserialization =
    detail::ReadableFrom<T, declares::XMLObjectDeserialization, XMLIndexer>;

template <class T>
concept XMLValueDeserialization = XMLAttributeDeserializable<T> && XMLElementDeserializable<T>;

// The `method` texts of implementationIsMissing, one per interface.
inline constexpr const char* missingAttributeDeserialize =
    "XMLAttributeDeserializable(element: XMLAttribute)";
inline constexpr const char* missingElementDeserialize =
    "XMLElementDeserializable.deserialize(element: XMLElement)";
inline constexpr const char* missingObjectDeserialize =
    "XMLIndexerDeserializable.deserialize(element: XMLIndexer)";

// The deserialize operation of each interface: the type's own, the built-in one, or the default
// that fails with implementationIsMissing.
template <XMLAttributeDeserializable T>
T deserialize(const XMLAttribute& attribute) {
    if constexpr (detail::BuiltInFrom<T, XMLAttribute>) {
        return detail::BuiltIn<T>::deserialize(attribute);
    } else if constexpr (detail::ProvidesFrom<T, XMLAttribute>) {
        return T::deserialize(attribute);
    } else {
        throw XMLDeserializationError::implementationIsMissing(missingAttributeDeserialize);
    }
}

// A null `element` is refused with nodeIsInvalid.
template <XMLElementDeserializable T>
T deserialize(const std::shared_ptr<XMLElement>& element) {
    if (!element) detail::throwNullElement();
    if constexpr (detail::BuiltInFrom<T, std::shared_ptr<XMLElement>>) {
        return detail::BuiltIn<T>::deserialize(element);
    } else if constexpr (detail::ProvidesFrom<T, std::shared_ptr<XMLElement>>) {
        return T::deserialize(element);
    } else {
        throw XMLDeserializationError::implementationIsMissing(missingElementDeserialize);
    }
}

template <XMLObjectDeserialization T>
T deserialize(const XMLIndexer& node) {
    if constexpr (detail::ProvidesFrom<T, XMLIndexer>) {
        return T::deserialize(node);
    } else {
        throw XMLDeserializationError::implementationIsMissing(missingObjectDeserialize);
    }
}

// Checks a value that was just read: its validate() member when it has one; nothing otherwise.
template <class T>
void validate(T& value) {
    if constexpr (requires { value.validate(); }) value.validate();
}

}  // namespace xmlindexing
