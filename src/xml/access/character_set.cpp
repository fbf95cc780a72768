#include "xml/access/character_set.hpp"

#include <algorithm>
#include <cstdint>

#include "textservices/unicode.hpp"

namespace xmlaccess {

CharacterSet CharacterSet::whitespaces() {
    CharacterSet set;
    set.insert(U'\t').insert(U' ').insert(0xA0).insert(0x1680).insert(0x2000, 0x200A);
    set.insert(0x202F).insert(0x205F).insert(0x3000);
    return set;
}

CharacterSet CharacterSet::newlines() {
    CharacterSet set;
    set.insert(0x0A, 0x0D).insert(0x85).insert(0x2028, 0x2029);
    return set;
}

CharacterSet CharacterSet::whitespacesAndNewlines() {
    return whitespaces().formUnion(newlines());
}

CharacterSet CharacterSet::of(std::u32string_view characters) {
    CharacterSet set;
    for (char32_t c : characters)
        set.ranges_.emplace_back(c, c);
    set.normalize();
    return set;
}

CharacterSet& CharacterSet::insert(char32_t first, char32_t last) {
    if (first > last) return *this;
    ranges_.emplace_back(first, last);
    normalize();
    return *this;
}

void CharacterSet::normalize() {
    std::sort(ranges_.begin(), ranges_.end());
    // Merge overlapping and adjacent ranges.
    std::vector<std::pair<char32_t, char32_t>> merged;
    for (const auto& range : ranges_) {
        if (!merged.empty() &&
            std::uint64_t{range.first} <= std::uint64_t{merged.back().second} + 1) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    ranges_ = std::move(merged);
}

CharacterSet& CharacterSet::formUnion(const CharacterSet& other) {
    for (const auto& range : other.ranges_)
        insert(range.first, range.second);
    return *this;
}

bool CharacterSet::contains(char32_t scalar) const {
    auto it = std::upper_bound(
        ranges_.begin(), ranges_.end(), scalar,
        [](char32_t value, const std::pair<char32_t, char32_t>& r) { return value < r.first; });
    return it != ranges_.begin() && scalar <= std::prev(it)->second;
}

std::string_view CharacterSet::trim(std::string_view text) const {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const auto step = textservices::nextScalar(text, begin);
        if (!step.wellFormed() || !contains(step.scalar)) break;
        begin += step.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the lead byte of the last scalar (at most three continuation bytes).
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 &&
               (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        const auto step = textservices::nextScalar(text, start);
        if (!step.wellFormed() || start + step.length != end || !contains(step.scalar)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace xmlaccess
