#include "textservices/characters.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

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
