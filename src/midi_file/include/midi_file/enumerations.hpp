// Enumerations of the file component with raw values: every case in order and the case of a raw
// value. An enumeration joins by specialising EnumerationCases with its case list; one whose raw
// values are texts (its case names) adds the list of names, in the same order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace midifile {

template <class E>
struct EnumerationCases;

template <class E>
concept RawValueEnumeration = std::is_enum_v<E> && requires {
    EnumerationCases<E>::cases;
};

// Every case, in declaration order.
template <RawValueEnumeration E>
constexpr const auto& allCases() {
    return EnumerationCases<E>::cases;
}

template <class E>
concept NamedEnumeration = RawValueEnumeration<E> && requires {
    EnumerationCases<E>::names;
};

template <RawValueEnumeration E>
requires(!NamedEnumeration<E>) constexpr std::underlying_type_t<E> rawValue(E value) {
    return static_cast<std::underlying_type_t<E>>(value);
}

// The case with the given raw value; none when no case has it.
template <RawValueEnumeration E>
requires(!NamedEnumeration<E>) constexpr std::optional<E> fromRawValue(
    std::underlying_type_t<E> raw) {
    for (E candidate : allCases<E>()) {
        if (rawValue(candidate) == raw) return candidate;
    }
    return std::nullopt;
}

// The case name of a named enumeration's case.
template <NamedEnumeration E>
constexpr std::string_view rawValue(E value) {
    const auto& cases = allCases<E>();
    for (size_t i = 0; i < cases.size(); ++i) {
        if (cases[i] == value) return EnumerationCases<E>::names[i];
    }
    return {};
}

// The case whose name is exactly `raw` (case-sensitive); none for any other text.
template <NamedEnumeration E>
constexpr std::optional<E> fromRawValue(std::string_view raw) {
    const auto& cases = allCases<E>();
    for (size_t i = 0; i < cases.size(); ++i) {
        if (EnumerationCases<E>::names[i] == raw) return cases[i];
    }
    return std::nullopt;
}

}  // namespace midifile
