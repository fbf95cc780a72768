#include "midi_support/strings.hpp"

#include <unicode/uniset.h>

#include <vector>

#include "textservices/unicode.hpp"

namespace midisupport {

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

std::string appendingNewLine(std::string_view text) {
    return std::string(text) + '\n';
}
std::string appendingTab(std::string_view text) {
    return std::string(text) + '\t';
}
void appendNewLine(std::string& text) {
    text += '\n';
}
void appendTab(std::string& text) {
    text += '\t';
}

struct CharacterSet::Contents {
    icu::UnicodeSet set;
};

namespace {

enum class Named {
    alphanumerics,
    letters,
    decimalDigits,
    whitespaces,
    newlines,
    whitespaceAndNewlines
};

// The named sets as ICU set patterns, in the order of `Named`.
constexpr const char16_t* namedPatterns[] = {
    u"[\\p{L}\\p{M}\\p{N}]",
    u"[\\p{L}\\p{M}]",
    u"[\\p{Nd}]",
    u"[\\p{Zs}\\u0009]",
    u"[\\u000A-\\u000D\\u0085\\u2028\\u2029]",
    u"[\\p{Z}\\u0009-\\u000D\\u0085]",
};

// The contents of a named set, made once. The patterns are fixed and valid; should ICU still
// refuse one, the set is empty.
std::shared_ptr<const CharacterSet::Contents> named(Named which) {
    static const auto all = [] {
        std::vector<std::shared_ptr<const CharacterSet::Contents>> made;
        for (const char16_t* pattern : namedPatterns) {
            UErrorCode status = U_ZERO_ERROR;
            auto contents = std::make_shared<CharacterSet::Contents>();
            contents->set.applyPattern(icu::UnicodeString(pattern), status);
            if (U_FAILURE(status)) contents->set.clear();
            contents->set.freeze();
            made.push_back(std::move(contents));
        }
        return made;
    }();
    return all[static_cast<size_t>(which)];
}

}  // namespace

CharacterSet CharacterSet::alphanumerics() {
    return CharacterSet(named(Named::alphanumerics));
}
CharacterSet CharacterSet::letters() {
    return CharacterSet(named(Named::letters));
}
CharacterSet CharacterSet::decimalDigits() {
    return CharacterSet(named(Named::decimalDigits));
}
CharacterSet CharacterSet::whitespaces() {
    return CharacterSet(named(Named::whitespaces));
}
CharacterSet CharacterSet::newlines() {
    return CharacterSet(named(Named::newlines));
}
CharacterSet CharacterSet::whitespacesAndNewlines() {
    return CharacterSet(named(Named::whitespaceAndNewlines));
}

CharacterSet CharacterSet::characters(std::string_view characters) {
    auto contents = std::make_shared<Contents>();
    textservices::forEachScalar(characters, [&](textservices::ScalarStep step, std::string_view) {
        if (step.wellFormed()) contents->set.add(static_cast<UChar32>(step.scalar));
    });
    contents->set.freeze();
    return CharacterSet(std::move(contents));
}

CharacterSet CharacterSet::united(const CharacterSet& other) const {
    auto contents = std::make_shared<Contents>();
    contents->set.addAll(contents_->set).addAll(other.contents_->set);
    contents->set.freeze();
    return CharacterSet(std::move(contents));
}

bool CharacterSet::contains(char32_t scalar) const {
    return scalar <= 0x10FFFF && contents_->set.contains(static_cast<UChar32>(scalar));
}

namespace detail {

std::string filterScalars(std::string_view text, const CharacterSet& set, bool keep) {
    std::string out;
    out.reserve(text.size());
    textservices::forEachScalar(text, [&](textservices::ScalarStep step, std::string_view bytes) {
        const bool inSet = step.wellFormed() && set.contains(step.scalar);
        if (inSet == keep) out += bytes;
    });
    return out;
}

}  // namespace detail

std::string onlyCharacters(std::string_view text, std::string_view characters) {
    return detail::filterScalars(text, CharacterSet::characters(characters), true);
}

std::string onlyAlphanumerics(std::string_view text) {
    return detail::filterScalars(text, CharacterSet::alphanumerics(), true);
}

std::string removingCharacters(std::string_view text, std::string_view characters) {
    return detail::filterScalars(text, CharacterSet::characters(characters), false);
}

}  // namespace midisupport
