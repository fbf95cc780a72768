#include "timecode/text_formatter.hpp"

namespace timecode {

TimecodeTextFormatter::TimecodeTextFormatter(std::optional<TimecodeFrameRate> rate, std::optional<UpperLimit> limit,
                                             std::optional<StringFormat> format, std::optional<SubFramesBase> base,
                                             bool validation, std::optional<TextAttributes> attributes)
    : frameRate(rate), upperLimit(limit), stringFormat(format), subFramesBase(base), showsValidation(validation) {
    if (attributes) validationAttributes = *attributes;
}

TimecodeTextFormatter::TimecodeTextFormatter(const Timecode& timecode, bool validation,
                                             std::optional<TextAttributes> attributes)
    : TimecodeTextFormatter(timecode.frameRate, timecode.upperLimit, timecode.stringFormat, timecode.subFramesBase,
                            validation, std::move(attributes)) {}

TimecodeTextFormatter TimecodeTextFormatter::restored() {
    return TimecodeTextFormatter(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
}

void TimecodeTextFormatter::copyProperties(const TimecodeTextFormatter& other) {
    frameRate = other.frameRate;
    upperLimit = other.upperLimit;
    stringFormat = other.stringFormat;
    subFramesBase = other.subFramesBase;
    alignment = other.alignment;
    showsValidation = other.showsValidation;
    validationAttributes = other.validationAttributes;
}

std::optional<Timecode> TimecodeTextFormatter::templateTimecode() const {
    if (!frameRate || !upperLimit || !subFramesBase || !stringFormat) return std::nullopt;
    return Timecode(*frameRate, *upperLimit, *subFramesBase, *stringFormat);
}

namespace {

std::optional<std::string> textOf(const std::any& object) {
    if (const auto* s = std::any_cast<std::string>(&object)) return *s;
    if (const auto* v = std::any_cast<std::string_view>(&object)) return std::string(*v);
    if (const auto* c = std::any_cast<const char*>(&object); c && *c != nullptr) return std::string(*c);
    return std::nullopt;
}

std::optional<Timecode> parsedInto(std::optional<Timecode> t, const std::string& text) {
    if (!t) return std::nullopt;
    try {
        t->setComponents(Timecode::parseComponents(text));
        return t;
    } catch (const TimecodeStringParseError&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> TimecodeTextFormatter::string(const std::any& object) const {
    const auto text = textOf(object);
    if (!text) return std::nullopt;
    if (auto t = parsedInto(templateTimecode(), *text)) return t->stringValue();
    return text;
}

std::optional<StyledText> TimecodeTextFormatter::attributedString(
    const std::any& object, const std::optional<TextAttributes>& defaultAttributes) const {
    const auto s = string(object);
    if (!s) return std::nullopt;
    const TextAttributes base = defaultAttributes.value_or(TextAttributes{});
    StyledText text;
    if (auto t = parsedInto(templateTimecode(), *s)) {
        text = showsValidation ? t->attributedStringValue(validationAttributes, defaultAttributes) : StyledText(*s, base);
    } else {
        text = StyledText(*s, showsValidation ? base.merged(validationAttributes) : base);
    }
    return text.applyingAlignment(alignment);
}

bool TimecodeTextFormatter::isPartialStringValid(std::string& partial, std::string* errorDescription) const {
    if (!frameRate || !upperLimit || !stringFormat) return true;
    if (partial.empty()) return true;
    static constexpr std::string_view allowed = "0123456789:;. ";
    for (char c : partial) {
        if (allowed.find(c) == std::string_view::npos) {
            if (errorDescription) *errorDescription = "Invalid characters.";
            return false;
        }
    }
    int separators = 0;
    int subFramePoints = 0;
    int digitGroups = 0;
    bool daySpaceSeen = false;
    bool replaced = false;
    char previous = '\0';
    std::string out;
    for (char c : partial) {
        // a. "." or ";" before the fourth number becomes the separator due there.
        //    Only a character that actually changes counts as a replacement, so a correctly typed
        //    ";" before drop-frame frames is accepted as it stands.
        if ((c == '.' || c == ';') && separators < 3) {
            const char due = (frameRate->isDrop() && separators == 2) ? ';' : ':';
            replaced = replaced || due != c;
            c = due;
        }
        if (c == '.') {  // b./e. the subframe point, once, and only when subframes are shown
            if (subFramePoints > 0 || !stringFormat->showSubFrames()) return false;
            ++subFramePoints;
        }
        if (c == ':' || c == ';') {  // c.
            if (++separators > 3) return false;
        }
        if (c == ' ') {  // d. the day separator
            if (*upperLimit == UpperLimit::_24hours) return false;
            if (digitGroups != 1 || daySpaceSeen || separators != 0 || subFramePoints != 0) return false;
            daySpaceSeen = true;
        }
        const bool digit = c >= '0' && c <= '9';
        if (digit && !(previous >= '0' && previous <= '9')) ++digitGroups;  // f.
        out += c;
        previous = c;
    }
    if (replaced) {
        partial = out;
        return false;
    }
    return true;
}

}  // namespace timecode
