#include "midi_io/lookups.hpp"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <numeric>

#include "textservices/characters.hpp"

namespace midiio::detail {

namespace {

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A collator of the current locale that ignores letter case but not accents. The C/POSIX locale
// (no language chosen) has a collation in byte order, which would sort "Zulu" before "alpha":
// it takes the root collation, the common order of every language.
std::unique_ptr<icu::Collator> makeCollator() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getVariant()) == "POSIX" ||
        std::string_view(locale.getLanguage()).empty())
        locale = icu::Locale::getRoot();
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) return nullptr;
    }
    collator->setStrength(icu::Collator::SECONDARY);
    return collator;
}

}  // namespace

bool namesEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isASCII(a) && isASCII(b)) return false;
    return textservices::canonicalComposition(a) == textservices::canonicalComposition(b);
}

std::vector<size_t> collationOrder(const std::vector<std::string_view>& texts) {
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const auto collator = makeCollator();
    if (!collator) {
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return texts[a] < texts[b]; });
        return order;
    }
    // One sort key per text, so that each text is collated once.
    std::vector<std::string> keys(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const auto text = icu::UnicodeString::fromUTF8(
            icu::StringPiece(texts[i].data(), static_cast<int32_t>(texts[i].size())));
        const int32_t length = collator->getSortKey(text, nullptr, 0);
        keys[i].resize(static_cast<size_t>(length));
        collator->getSortKey(text, reinterpret_cast<uint8_t*>(keys[i].data()), length);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    return order;
}

}  // namespace midiio::detail
