// Small text helpers: quoting, appending line feeds and tabs, and filtering text by sets of
// Unicode scalars. Text is UTF-8 in a std::string.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace midisupport {

// `text` between two double quotes; nothing inside is escaped.
std::string quoted(std::string_view text);

std::string appendingNewLine(std::string_view text);
std::string appendingTab(std::string_view text);
void appendNewLine(std::string& text);
void appendTab(std::string& text);

// An immutable set of Unicode scalars. Copies share their contents.
class CharacterSet {
  public:
    // Letters, marks and numbers of every script (general categories L*, M* and N*).
    static CharacterSet alphanumerics();
    // Letters and marks of every script (general categories L* and M*).
    static CharacterSet letters();
    // Decimal digits of every script (general category Nd).
    static CharacterSet decimalDigits();
    // Space separators (general category Zs) and the tab.
    static CharacterSet whitespaces();
    // Line feed through carriage return (U+000A ... U+000D), U+0085, U+2028 and U+2029.
    static CharacterSet newlines();
    // Separators (general category Z*), U+0009 ... U+000D and U+0085.
    static CharacterSet whitespacesAndNewlines();
    // The scalars of `characters` (ill-formed UTF-8 in it adds nothing).
    static CharacterSet characters(std::string_view characters);

    CharacterSet united(const CharacterSet& other) const;
    bool contains(char32_t scalar) const;

    struct Contents;

  private:
    explicit CharacterSet(std::shared_ptr<const Contents> contents)
        : contents_(std::move(contents)) {}
    std::shared_ptr<const Contents> contents_;
};

namespace detail {
// `text` with only the scalars that are (`keep`) or are not (!`keep`) in `set`, order kept.
// Ill-formed UTF-8 sequences are in no set; those that stay are copied unchanged.
std::string filterScalars(std::string_view text, const CharacterSet& set, bool keep);

template <class... More>
CharacterSet unionOf(const CharacterSet& set, const More&... more) {
    if constexpr (sizeof...(more) == 0) {
        return set;
    } else {
        return set.united(unionOf(more...));
    }
}
}  // namespace detail

// `text` reduced to the scalars in the union of the given sets, order kept.
template <class... More>
std::string only(std::string_view text, const CharacterSet& set, const More&... more) {
    return detail::filterScalars(text, detail::unionOf(set, more...), true);
}
// `text` reduced to the scalars that occur in `characters`.
std::string onlyCharacters(std::string_view text, std::string_view characters);
// `text` reduced to its letters, marks and numbers.
std::string onlyAlphanumerics(std::string_view text);

// `text` without the scalars in the union of the given sets, wherever they stand.
template <class... More>
std::string removing(std::string_view text, const CharacterSet& set, const More&... more) {
    return detail::filterScalars(text, detail::unionOf(set, more...), false);
}
// `text` without the scalars that occur in `characters`.
std::string removingCharacters(std::string_view text, std::string_view characters);

}  // namespace midisupport
