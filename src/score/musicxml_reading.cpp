#include "musicxml_reading.hpp"

#include <charconv>
#include <cmath>

namespace score::detail {

const XMLElement* firstChild(const XMLElement& element, std::string_view name) {
    for (const auto& child : element.children()) {
        if (!child->isElement()) continue;
        const auto& childElement = static_cast<const XMLElement&>(*child);
        if (childElement.name() == name) return &childElement;
    }
    return nullptr;
}

std::string_view textOf(const XMLElement& element, std::string& storage) {
    const auto& children = element.children();
    if (children.size() == 1 && children[0] && children[0]->isText())
        return static_cast<const xmlindexing::TextElement&>(*children[0]).text();
    storage = element.text();
    return storage;
}

std::optional<std::string> attributeText(const XMLElement& element, std::string_view name) {
    if (auto attribute = element.attribute(name)) return std::move(attribute->text);
    return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view space = " \t\r\n";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

namespace {

// Drops one leading '+' that stands before a digit or a point; from_chars takes no '+'.
std::string_view withoutPlus(std::string_view text) {
    if (text.size() >= 2 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        return text.substr(1);
    return text;
}

}  // namespace

std::optional<int64_t> integerOf(std::string_view text) {
    text = withoutPlus(trimmed(text));
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<float> numberOf(std::string_view text) {
    text = withoutPlus(text);
    // Digits, a point, signs and exponents only: no "inf", "nan" or hexadecimal forms.
    if (text.empty() || text.find_first_not_of("0123456789.+-eE") != std::string_view::npos)
        return std::nullopt;
    float value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

int64_t addTicks(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) fail("Tick value out of range");
    return sum;
}

int64_t subtractTicks(int64_t a, int64_t b) {
    int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference)) fail("Tick value out of range");
    return difference;
}

}  // namespace score::detail
