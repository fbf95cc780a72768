#include "hui/characters.hpp"

#include <utility>

#include "textservices/characters.hpp"

namespace hui {

namespace detail {

CharacterTable::CharacterTable(std::vector<std::string> entries) : entries_(std::move(entries)) {
    composed_.reserve(entries_.size());
    for (const auto& entry : entries_)
        composed_.push_back(textservices::canonicalComposition(entry));
}

std::optional<std::uint8_t> CharacterTable::find(std::string_view text) const {
    const std::string composed = textservices::canonicalComposition(text);
    for (std::size_t code = 0; code < composed_.size(); ++code) {
        if (composed_[code] == composed) return static_cast<std::uint8_t>(code);
    }
    return std::nullopt;
}

}  // namespace detail

namespace {

// Appends the printable ASCII characters from `first` through `last`, each as its own entry.
void appendAscii(std::vector<std::string>& table, char first, char last) {
    for (char c = first; c <= last; ++c)
        table.emplace_back(1, c);
}

}  // namespace

const detail::CharacterTable& HUILargeDisplayCharacter::table() {
    static const detail::CharacterTable table = [] {
        std::vector<std::string> entries(16);  // 0x00-0x0F show nothing
        for (const char* entry : {
                 "11", "12", "13", "14", "full", "r4", "r3", "r2", "r1",
                 "\u266A",              // eighth note
                 "\u00B0C", "\u00B0F",  // degrees Celsius, Fahrenheit
                 "\u25BC",              // down-pointing triangle
                 "\u25B6\uFE0E",        // right-pointing triangle, text presentation
                 "\u25C0\uFE0E",        // left-pointing triangle, text presentation
                 "\u25B2",              // up-pointing triangle
             }) {
            entries.emplace_back(entry);
        }
        appendAscii(entries, ' ', '}');
        entries.emplace_back("\u2192");
        entries.emplace_back("\u2190");
        return detail::CharacterTable(std::move(entries));
    }();
    return table;
}

const detail::CharacterTable& HUISmallDisplayCharacter::table() {
    static const detail::CharacterTable table = [] {
        // Accented letters are stored as the display shows them: some precomposed, some as a
        // base letter and a combining mark. Lookups compare canonical compositions, so either
        // spelling of a letter finds it.
        std::vector<std::string> entries = {
            "\u00EC",  "\u2191",  "\u2192",  "\u2193",  "\u2190",  "\u00BF",  "a\u0300", "\u00D8",
            "\u00F8",  "o\u0300", "u\u0300", "N\u030C", "C\u0327", "e\u0302", "E\u0301", "e\u0301",
            "e\u0300", "\u00C6",  "\u00E6",  "A\u030A", "a\u030A", "A\u0308", "a\u0308", "O\u0308",
            "o\u0308", "U\u0308", "u\u0308", "\u2103",  "\u2109",  "\u00DF",  "\u00A3",  "\u00A5",
        };
        appendAscii(entries, ' ', '~');
        entries.emplace_back("\u2591");
        return detail::CharacterTable(std::move(entries));
    }();
    return table;
}

const detail::CharacterTable& HUITimeDisplayCharacter::table() {
    static const detail::CharacterTable table = [] {
        static constexpr std::string_view digits = "0123456789ABCDEF";
        std::vector<std::string> entries;
        for (const char digit : digits)
            entries.emplace_back(1, digit);
        for (const char digit : digits)
            entries.push_back(std::string(1, digit) + ".");
        entries.emplace_back(" ");
        for (int code = 0x21; code <= 0x2F; ++code)
            entries.emplace_back("?");
        entries.emplace_back(" .");
        return detail::CharacterTable(std::move(entries));
    }();
    return table;
}

}  // namespace hui
