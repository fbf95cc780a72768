// Text helpers of the timecode library: capture groups of a regular expression (ICU), decimal
// digit counts, and a small styled-text type for timecode text with marked components.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace timecode {

// Runs `pattern` (ICU syntax, no flags) over the whole of the UTF-8 `text` and returns, for every
// match in order, the text of each capture group in order (group 0, the whole match, first), an
// absent entry for a group that took no part. Empty when nothing matches, when the pattern does
// not compile, or when the text is longer than `maxTextLength` bytes; the matcher works on the
// heap under a step limit, so no input can make it recurse or run away.
std::vector<std::optional<std::string>> captureGroups(std::string_view text, std::string_view pattern,
                                                      size_t maxTextLength = 1024);

// A compiled regular expression, for patterns used again and again. Immutable once compiled, so
// one instance may be used from many threads at once.
class RegularExpression {
  public:
    // Absent when the pattern does not compile.
    static std::optional<RegularExpression> compile(std::string_view pattern);
    // As the free captureGroups above.
    std::vector<std::optional<std::string>> captureGroups(std::string_view text, size_t maxTextLength = 1024) const;

    struct Compiled;

  private:
    explicit RegularExpression(std::shared_ptr<const Compiled> compiled) : compiled_(std::move(compiled)) {}
    std::shared_ptr<const Compiled> compiled_;
};

// Decimal digits of `x`, the sign not counted: 1 for -9...9.
template <std::integral T>
constexpr int numberOfDigits(T x) {
    int digits = 1;
    while (x >= T{10} || (std::is_signed_v<T> && x <= static_cast<T>(-10))) {
        x /= 10;
        ++digits;
    }
    return digits;
}

struct RGBColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    static constexpr RGBColor systemRed() { return {1.0, 0.231, 0.188}; }
    friend constexpr bool operator==(const RGBColor&, const RGBColor&) = default;
};

enum class TextAlignment { left, center, right, justified, natural };

// The attributes of a piece of styled text; an absent field is not set.
struct TextAttributes {
    std::optional<RGBColor> foregroundColor;
    std::optional<RGBColor> backgroundColor;
    std::optional<TextAlignment> alignment;

    // These attributes with every field that `over` sets taken from `over`.
    TextAttributes merged(const TextAttributes& over) const;
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

// Text as runs of UTF-8 with attributes.
class StyledText {
  public:
    struct Run {
        std::string text;
        TextAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };

    StyledText() = default;
    StyledText(std::string text, TextAttributes attributes);

    void append(std::string text, const TextAttributes& attributes);
    void append(const StyledText& other);
    const std::vector<Run>& runs() const { return runs_; }
    std::string string() const;
    // A copy with the paragraph alignment set over the whole text.
    StyledText applyingAlignment(TextAlignment alignment) const;

    friend bool operator==(const StyledText&, const StyledText&) = default;

  private:
    std::vector<Run> runs_;
};

}  // namespace timecode
