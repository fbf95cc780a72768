// Editing timecode text in a text field, without any toolkit: turns typed text into the canonical
// text of a configured rate, limit, base and format, renders it with out-of-range components
// marked, and checks each edit, normalising separators on the way.
//
//     TimecodeTextFormatter f(TimecodeFrameRate::_29_97_drop, UpperLimit::_24hours, {}, SubFramesBase::_80SubFrames);
//     f.string(std::string("1:2:3:4"));          // "01:02:03;04"
//     std::string typed = "01.02";
//     f.isPartialStringValid(typed, nullptr);     // false; typed is now "01:02"
#pragma once

#include <any>
#include <optional>
#include <string>

#include "timecode/timecode.hpp"

namespace timecode {

class TimecodeTextFormatter {
  public:
    TimecodeTextFormatter(std::optional<TimecodeFrameRate> frameRate, std::optional<UpperLimit> limit,
                          std::optional<StringFormat> stringFormat, std::optional<SubFramesBase> subFramesBase,
                          bool showsValidation = false,
                          std::optional<TextAttributes> validationAttributes = std::nullopt);
    // The settings of `timecode`.
    explicit TimecodeTextFormatter(const Timecode& timecode, bool showsValidation = false,
                                   std::optional<TextAttributes> validationAttributes = std::nullopt);
    // The state of a formatter restored without its settings: none of them, natural alignment,
    // validation off, red validation attributes.
    static TimecodeTextFormatter restored();
    virtual ~TimecodeTextFormatter() = default;

    std::optional<TimecodeFrameRate> frameRate;
    std::optional<UpperLimit> upperLimit;
    std::optional<StringFormat> stringFormat;
    std::optional<SubFramesBase> subFramesBase;
    TextAlignment alignment = TextAlignment::natural;
    bool showsValidation = false;
    TextAttributes validationAttributes{RGBColor::systemRed(), std::nullopt, std::nullopt};

    void copyProperties(const TimecodeTextFormatter& other);

    // The zero timecode of the four settings, when all four are set.
    std::optional<Timecode> templateTimecode() const;

    // The canonical text of a text object (std::string, std::string_view or const char*); any
    // other object gives none. Text that is no timecode, or a formatter without a template,
    // gives the text unchanged.
    virtual std::optional<std::string> string(const std::any& object) const;
    // The text of string() with the validation attributes on invalid components (or on the whole
    // text when it does not parse), and the formatter's alignment.
    std::optional<StyledText> attributedString(const std::any& object,
                                               const std::optional<TextAttributes>& defaultAttributes) const;
    // The object value of a text is the text itself.
    std::string objectValue(const std::string& text) const { return text; }
    // Checks an edit. Returns false when the text is refused, or when separators were replaced (then
    // `partial` holds the replacement). `errorDescription` receives "Invalid characters." for text
    // with characters that can never be part of a timecode.
    bool isPartialStringValid(std::string& partial, std::string* errorDescription) const;
};

}  // namespace timecode
