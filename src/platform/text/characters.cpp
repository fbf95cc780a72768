#include "textservices/characters.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <memory>

#include "textservices/unicode.hpp"

namespace textservices {

namespace {

constexpr UChar32 kReplacementCharacter = 0xFFFD;

icu::UnicodeString unicodeOf(std::string_view text) {
    icu::UnicodeString unicode;
    forEachScalar(text, [&](ScalarStep step, std::string_view) {
        unicode.append(
            static_cast<UChar32>(step.wellFormed() ? step.scalar : kReplacementCharacter));
    });
    return unicode;
}

std::string utf8Of(const icu::UnicodeString& unicode) {
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

// Break iterators are costly to create and must not be shared between threads: one per thread.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> breaks = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) made.reset();
        return made;
    }();
    return breaks.get();
}

}  // namespace

std::vector<std::string> graphemeClusters(std::string_view text, std::size_t limit) {
    std::vector<std::string> clusters;
    if (text.empty() || limit == 0) return clusters;
    const icu::UnicodeString unicode = unicodeOf(text);
    icu::BreakIterator* breaks = characterBreaks();
    if (breaks == nullptr) {
        // Without segmentation data every code point counts as a character of its own.
        for (int32_t at = 0; at < unicode.length() && clusters.size() < limit;) {
            const int32_t next = unicode.moveIndex32(at, 1);
            clusters.push_back(utf8Of(unicode.tempSubStringBetween(at, next)));
            at = next;
        }
        return clusters;
    }
    breaks->setText(unicode);
    for (int32_t start = breaks->first(), end = breaks->next();
         end != icu::BreakIterator::DONE && clusters.size() < limit;
         start = end, end = breaks->next()) {
        clusters.push_back(utf8Of(unicode.tempSubStringBetween(start, end)));
    }
    return clusters;
}

std::size_t characterPrefixLength(std::string_view text, std::size_t count) {
    // A character takes at least one byte, so a text of no more bytes than `count` is whole.
    if (text.size() <= count) return text.size();
    icu::BreakIterator* breaks = characterBreaks();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (breaks == nullptr || U_FAILURE(status)) {
        utext_close(utext);
        // Without grapheme segmentation, each scalar (or ill-formed sequence) is a character.
        std::size_t at = 0;
        for (std::size_t taken = 0; taken < count && at < text.size(); ++taken) {
            at += nextScalar(text, at).length;
        }
        return at;
    }
    breaks->setText(utext, status);
    // Boundaries are offsets into the UTF-8 bytes, as the text is read through a UTF-8 UText.
    int32_t end = breaks->first();
    for (std::size_t taken = 0; taken < count; ++taken) {
        const int32_t next = breaks->next();
        if (next == icu::BreakIterator::DONE) {
            end = static_cast<int32_t>(text.size());
            break;
        }
        end = next;
    }
    // Leave the iterator on text that outlives it, not on the caller's bytes.
    static const icu::UnicodeString nothing;
    breaks->setText(nothing);
    utext_close(utext);
    return static_cast<std::size_t>(end);
}

std::string canonicalComposition(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    const icu::UnicodeString unicode = unicodeOf(text);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || nfc == nullptr) return utf8Of(unicode);
    const icu::UnicodeString composed = nfc->normalize(unicode, status);
    return utf8Of(U_FAILURE(status) ? unicode : composed);
}

}  // namespace textservices
