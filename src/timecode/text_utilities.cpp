#include "timecode/text_utilities.hpp"

#include <memory>

#include <unicode/regex.h>
#include <unicode/utext.h>

namespace timecode {

namespace {

struct UTextCloser {
    void operator()(UText* t) const { utext_close(t); }
};
using UTextPtr = std::unique_ptr<UText, UTextCloser>;

UTextPtr openUTF8(std::string_view text, UErrorCode& status) {
    return UTextPtr(utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
}

// The match engine's step limit (ICU counts in units of roughly a millisecond of work).
constexpr int32_t matchStepLimit = 200;

}  // namespace

struct RegularExpression::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

std::optional<RegularExpression> RegularExpression::compile(std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UTextPtr patternText = openUTF8(pattern, status);
    if (U_FAILURE(status)) return std::nullopt;
    UParseError parseError{};
    auto compiled = std::make_shared<Compiled>();
    compiled->pattern.reset(icu::RegexPattern::compile(patternText.get(), 0, parseError, status));
    if (U_FAILURE(status) || !compiled->pattern) return std::nullopt;
    return RegularExpression(std::move(compiled));
}

std::vector<std::optional<std::string>> RegularExpression::captureGroups(std::string_view text,
                                                                         size_t maxTextLength) const {
    std::vector<std::optional<std::string>> result;
    if (text.size() > maxTextLength) return result;
    UErrorCode status = U_ZERO_ERROR;
    UTextPtr input = openUTF8(text, status);
    if (U_FAILURE(status)) return result;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(status));
    if (U_FAILURE(status) || !matcher) return result;
    matcher->reset(input.get());
    matcher->setTimeLimit(matchStepLimit, status);
    if (U_FAILURE(status)) return result;
    const int32_t groups = matcher->groupCount();
    while (matcher->find(status) && U_SUCCESS(status)) {
        for (int32_t g = 0; g <= groups; ++g) {
            int64_t start = matcher->start64(g, status);
            int64_t end = matcher->end64(g, status);
            if (U_FAILURE(status)) return {};
            // Native indexes of a UTF-8 text are byte offsets.
            if (start < 0 || end < start || static_cast<size_t>(end) > text.size()) {
                result.emplace_back(std::nullopt);
            } else {
                result.emplace_back(std::string(text.substr(static_cast<size_t>(start),
                                                            static_cast<size_t>(end - start))));
            }
        }
    }
    // A matcher stopped by its step limit or stack limit has no trustworthy result.
    if (U_FAILURE(status)) return {};
    return result;
}

std::vector<std::optional<std::string>> captureGroups(std::string_view text, std::string_view pattern,
                                                      size_t maxTextLength) {
    if (text.size() > maxTextLength) return {};
    auto compiled = RegularExpression::compile(pattern);
    if (!compiled) return {};
    return compiled->captureGroups(text, maxTextLength);
}

TextAttributes TextAttributes::merged(const TextAttributes& over) const {
    TextAttributes m = *this;
    if (over.foregroundColor) m.foregroundColor = over.foregroundColor;
    if (over.backgroundColor) m.backgroundColor = over.backgroundColor;
    if (over.alignment) m.alignment = over.alignment;
    return m;
}

StyledText::StyledText(std::string text, TextAttributes attributes) {
    append(std::move(text), attributes);
}

void StyledText::append(std::string text, const TextAttributes& attributes) {
    if (text.empty()) return;
    if (!runs_.empty() && runs_.back().attributes == attributes) {
        runs_.back().text += text;
    } else {
        runs_.push_back({std::move(text), attributes});
    }
}

void StyledText::append(const StyledText& other) {
    for (const auto& run : other.runs_) append(run.text, run.attributes);
}

std::string StyledText::string() const {
    std::string s;
    for (const auto& run : runs_) s += run.text;
    return s;
}

StyledText StyledText::applyingAlignment(TextAlignment alignment) const {
    StyledText copy;
    for (const auto& run : runs_) {
        TextAttributes a = run.attributes;
        a.alignment = alignment;
        copy.append(run.text, a);
    }
    return copy;
}

}  // namespace timecode
