// The conversion rules of the built-in readable types.
#include <locale.h>
#include <clocale>
#include <cstdlib>
#include <new>

#include <unicode/uchar.h>

#include "textservices/unicode.hpp"
#include "xml/indexing/deserialization.hpp"

namespace xmlindexing::detail {

namespace {

// Decimal digits with an optional leading sign; the whole signed 64-bit range and nothing beyond.
std::optional<int64_t> parseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
    }
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        // Accumulating towards the sign's side reaches INT64_MIN without overflowing.
        if (__builtin_mul_overflow(value, int64_t{10}, &value)) return std::nullopt;
        if (negative ? __builtin_sub_overflow(value, digit, &value)
                     : __builtin_add_overflow(value, digit, &value)) {
            return std::nullopt;
        }
    }
    return value;
}

// The "C" locale, so that the decimal point is a full stop whatever the process locale says.
locale_t cLocale() {
    static const locale_t locale = [] {
        locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
        if (c == locale_t{}) throw std::bad_alloc();
        return c;
    }();
    return locale;
}

bool startsWithSpaceOrNul(std::string_view text) {
    switch (text.front()) {
        case '\0':
        case '\t':
        case '\n':
        case '\v':
        case '\f':
        case '\r':
        case ' ':
            return true;
        default:
            return false;
    }
}

// strtod / strtof in the "C" locale over the whole text; leading white space is refused, trailing
// characters fail. Out-of-range texts give what the library gives (infinity, zero).
template <class F, class Convert>
std::optional<F> parseFloating(std::string_view text, Convert convert) {
    if (text.empty() || startsWithSpaceOrNul(text)) return std::nullopt;
    // The library reads up to a NUL; a NUL inside the text then leaves characters unread.
    const std::string terminated(text);
    char* end = nullptr;
    const F value = convert(terminated.c_str(), &end, cLocale());
    if (end != terminated.c_str() + terminated.size()) return std::nullopt;
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    return parseFloating<double>(text, strtod_l);
}

std::optional<float> parseFloat(std::string_view text) {
    return parseFloating<float>(text, strtof_l);
}

// White space (Unicode White_Space) at the start of the text, skipped; the offset after it.
size_t leadingWhiteSpace(std::string_view text) {
    size_t offset = 0;
    while (offset < text.size()) {
        const auto step = textservices::nextScalar(text, offset);
        if (!step.wellFormed() || !u_isUWhiteSpace(static_cast<UChar32>(step.scalar))) break;
        offset += step.length;
    }
    return offset;
}

// Leading white space, one optional sign, any zeros; then Y, y, T, t or 1-9 means true.
bool parseTruth(std::string_view text) {
    text.remove_prefix(leadingWhiteSpace(text));
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    while (!text.empty() && text.front() == '0')
        text.remove_prefix(1);
    if (text.empty()) return false;
    const char c = text.front();
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// The element's text, refused with nodeHasNoValue when it holds no character at all.
std::string nonEmptyText(const std::shared_ptr<XMLElement>& element) {
    std::string text = element->text();
    if (text.empty()) throw XMLDeserializationError::nodeHasNoValue();
    return text;
}

template <class T, class Parse>
T fromAttribute(const XMLAttribute& attribute, const char* type, Parse parse) {
    if (auto value = parse(attribute.text)) return *value;
    throw XMLDeserializationError::attributeDeserializationFailed(type, attribute);
}

template <class T, class Parse>
T fromElement(const std::shared_ptr<XMLElement>& element, const char* type, Parse parse) {
    if (auto value = parse(nonEmptyText(element))) return *value;
    throw XMLDeserializationError::typeConversionFailed(type, element);
}

}  // namespace

std::string BuiltIn<std::string>::deserialize(const XMLAttribute& attribute) {
    return attribute.text;
}

std::string BuiltIn<std::string>::deserialize(const std::shared_ptr<XMLElement>& element) {
    return element->text();
}

int64_t BuiltIn<int64_t>::deserialize(const XMLAttribute& attribute) {
    return fromAttribute<int64_t>(attribute, "Int", parseInteger);
}

int64_t BuiltIn<int64_t>::deserialize(const std::shared_ptr<XMLElement>& element) {
    return fromElement<int64_t>(element, "Int", parseInteger);
}

double BuiltIn<double>::deserialize(const XMLAttribute& attribute) {
    return fromAttribute<double>(attribute, "Double", parseDouble);
}

double BuiltIn<double>::deserialize(const std::shared_ptr<XMLElement>& element) {
    return fromElement<double>(element, "Double", parseDouble);
}

float BuiltIn<float>::deserialize(const XMLAttribute& attribute) {
    return fromAttribute<float>(attribute, "Float", parseFloat);
}

float BuiltIn<float>::deserialize(const std::shared_ptr<XMLElement>& element) {
    return fromElement<float>(element, "Float", parseFloat);
}

bool BuiltIn<bool>::deserialize(const XMLAttribute& attribute) {
    return parseTruth(attribute.text);
}

bool BuiltIn<bool>::deserialize(const std::shared_ptr<XMLElement>& element) {
    return parseTruth(nonEmptyText(element));
}

}  // namespace xmlindexing::detail
