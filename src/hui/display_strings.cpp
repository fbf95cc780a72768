#include "hui/display_strings.hpp"

#include "textservices/characters.hpp"

namespace hui::detail {

template <class Element>
std::vector<Element> charactersFromText(std::string_view text, std::size_t length) {
    std::vector<Element> chars;
    for (const std::string& character : textservices::graphemeClusters(text, length)) {
        chars.push_back(Element::fromString(character).value_or(Element::unknownChar()));
    }
    return chars;
}

template std::vector<HUILargeDisplayCharacter> charactersFromText(std::string_view, std::size_t);
template std::vector<HUISmallDisplayCharacter> charactersFromText(std::string_view, std::size_t);

// The time display shows a dot after a character rather than as one, so a dot joins the character
// before it. What the set cannot show becomes a space: the display has no unknown-character glyph
// worth lighting for text such as the colons of "12:34:56:78".
std::vector<HUITimeDisplayCharacter> timeCharactersFromText(std::string_view text) {
    constexpr std::size_t length = HUITimeDisplayString::length;
    if (text.empty()) return {zeroTimeDisplayChars.begin(), zeroTimeDisplayChars.end()};
    // Each produced character takes at most two clusters of the text.
    const std::vector<std::string> clusters = textservices::graphemeClusters(text, 2 * length);
    std::vector<HUITimeDisplayCharacter> chars;
    for (std::size_t at = 0; at < clusters.size() && chars.size() < length; ++at) {
        std::string character = clusters[at];
        if (at + 1 < clusters.size() && clusters[at + 1] == ".") {
            character += ".";
            ++at;
        }
        chars.push_back(HUITimeDisplayCharacter::fromString(character).value_or(
            HUITimeDisplayCharacter::space));
    }
    return chars;
}

}  // namespace hui::detail
