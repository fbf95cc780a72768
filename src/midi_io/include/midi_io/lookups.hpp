// Lookups in collections of MIDI object records (devices, entities, endpoints, the type-erased
// forms): by unique ID, by name (stored names, never the services), and sorting by name in the
// user's locale, letter case aside.
//
// Names are equal when they are canonically equivalent (a precomposed letter equals the letter
// and its combining mark); case and surrounding spaces matter.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi_io/object_interface.hpp"

namespace midiio {

namespace detail {
// Equality of names under canonical equivalence.
bool namesEqual(std::string_view a, std::string_view b);
// The order that sorts `texts` by the current locale's collation, case-insensitively (ICU
// collator at secondary strength): result[i] is the index of the i-th text. Equal texts keep
// their order.
std::vector<size_t> collationOrder(const std::vector<std::string_view>& texts);
// Whether a name matches `wanted` under the name rule.
inline bool nameMatches(std::string_view name, std::string_view wanted, bool ignoringEmpty) {
    if (ignoringEmpty && name.empty()) return false;
    return namesEqual(name, wanted);
}
template <class Range, class Key>
auto sortedBy(const Range& objects, Key key) {
    using Element = std::decay_t<decltype(*std::begin(objects))>;
    std::vector<std::string_view> keys;
    for (const auto& o : objects)
        keys.push_back(key(o));
    const auto order = collationOrder(keys);
    std::vector<Element> all(std::begin(objects), std::end(objects));
    std::vector<Element> sorted;
    sorted.reserve(all.size());
    for (size_t i : order)
        sorted.push_back(all[i]);
    return sorted;
}
}  // namespace detail

template <class Range>
auto firstWhereUniqueID(const Range& objects, int32_t uniqueID) {
    using Element = std::decay_t<decltype(*std::begin(objects))>;
    for (const auto& o : objects)
        if (detail::uniqueIDOf(o) == uniqueID) return std::optional<Element>(o);
    return std::optional<Element>();
}

template <class Range>
bool containsWhereUniqueID(const Range& objects, int32_t uniqueID) {
    return firstWhereUniqueID(objects, uniqueID).has_value();
}

template <class Range>
auto firstWhereName(const Range& objects, std::string_view name, bool ignoringEmpty = false) {
    using Element = std::decay_t<decltype(*std::begin(objects))>;
    for (const auto& o : objects)
        if (detail::nameMatches(detail::nameOf(o), name, ignoringEmpty))
            return std::optional<Element>(o);
    return std::optional<Element>();
}

template <class Range>
bool containsWhereName(const Range& objects, std::string_view name, bool ignoringEmpty = false) {
    return firstWhereName(objects, name, ignoringEmpty).has_value();
}

template <class Range>
auto filterWhereName(const Range& objects, std::string_view name, bool ignoringEmpty = false) {
    using Element = std::decay_t<decltype(*std::begin(objects))>;
    std::vector<Element> matching;
    for (const auto& o : objects)
        if (detail::nameMatches(detail::nameOf(o), name, ignoringEmpty)) matching.push_back(o);
    return matching;
}

// All elements in ascending name order (locale-aware, case-insensitive).
template <class Range>
auto sortedByName(const Range& objects) {
    return detail::sortedBy(objects,
                            [](const auto& o) -> std::string_view { return detail::nameOf(o); });
}

}  // namespace midiio
