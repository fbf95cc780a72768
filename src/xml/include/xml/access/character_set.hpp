// A set of Unicode scalar values, used to trim element text.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace xmlaccess {

class CharacterSet {
  public:
    // The empty set.
    CharacterSet() = default;

    // Blanks: the space separators (general category Zs) and the tab.
    static CharacterSet whitespaces();
    // Line feed, vertical tab, form feed, carriage return, U+0085, U+2028 and U+2029.
    static CharacterSet newlines();
    // Both of the above.
    static CharacterSet whitespacesAndNewlines();
    // The scalars of `characters`.
    static CharacterSet of(std::u32string_view characters);

    // Adds one scalar, or the closed range [first, last].
    CharacterSet& insert(char32_t scalar) { return insert(scalar, scalar); }
    CharacterSet& insert(char32_t first, char32_t last);
    CharacterSet& formUnion(const CharacterSet& other);

    bool contains(char32_t scalar) const;

    // `text` (UTF-8) without its leading and trailing scalars that belong to the set. A byte
    // sequence that is not valid UTF-8 belongs to no set and stops the trimming.
    std::string_view trim(std::string_view text) const;

    bool operator==(const CharacterSet&) const = default;

  private:
    void normalize();

    // Sorted, disjoint, non-adjacent closed ranges.
    std::vector<std::pair<char32_t, char32_t>> ranges_;
};

}  // namespace xmlaccess
