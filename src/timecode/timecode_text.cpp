// Text forms, comparison, striding and rate conversion of Timecode.
#include <algorithm>

#include "counting.hpp"
#include "timecode/timecode.hpp"

namespace timecode {

namespace {


// a < b for fractions with positive denominators.
bool lessThan(const Fraction& a, const Fraction& b) {
    return detail::Int128(a.numerator()) * b.denominator() < detail::Int128(b.numerator()) * a.denominator();
}

// The count of `t` as an exact fraction of frames.
Fraction exactFrames(const Timecode& t) {
    return Fraction(detail::subFramesOfComponents(t.components(), t.frameRate, t.subFramesBase),
                    divisor(t.subFramesBase));
}

}  // namespace

std::string Timecode::fileNameStringValue() const {
    std::string s = stringValue();
    std::replace_if(s.begin(), s.end(), [](char c) { return c == ':' || c == ';' || c == ' '; }, '-');
    return s;
}

StyledText Timecode::attributedStringValue(const std::optional<TextAttributes>& invalidAttributes,
                                           const std::optional<TextAttributes>& defaultAttributes) const {
    const TextAttributes base = defaultAttributes.value_or(TextAttributes{});
    const TextAttributes invalid =
        base.merged(invalidAttributes.value_or(TextAttributes{RGBColor::systemRed(), std::nullopt, std::nullopt}));
    const ComponentSet bad = invalidComponents();
    StyledText text;
    auto piece = [&](Component c, const std::string& s) { text.append(s, bad.contains(c) ? invalid : base); };
    if (days != 0) {
        piece(Component::days, std::to_string(days));
        text.append(" ", base);
    }
    piece(Component::hours, detail::padded(hours, 2));
    text.append(":", base);
    piece(Component::minutes, detail::padded(minutes, 2));
    text.append(":", base);
    piece(Component::seconds, detail::padded(seconds, 2));
    text.append(std::string(1, frameRate.frameSeparator()), base);
    piece(Component::frames, detail::padded(frames, frameRate.numberOfFrameDigits()));
    if (stringFormat.showSubFrames()) {
        text.append(".", base);
        piece(Component::subFrames, detail::padded(subFrames, numberOfDigits(maxSubFrames(subFramesBase))));
    }
    return text;
}

std::string Timecode::debugDescription() const {
    std::string dayText = upperLimit == UpperLimit::_100days ? std::to_string(days) + ":" : "";
    return "Timecode<" + dayText + stringValue() + " @ " + std::string(frameRate.stringValue()) + ">";
}

std::string Timecode::stringValueWithFrameRate() const {
    return stringValue() + " @ " + std::string(frameRate.stringValue());
}

Timecode::ComparisonResult Timecode::compare(const Timecode& other, const std::optional<Timecode>& timelineStart) const {
    const double a = roundedRealTime();
    const double b = other.roundedRealTime();
    if (a == b) return ComparisonResult::orderedSame;
    if (!timelineStart || timelineStart->isZero())
        return a < b ? ComparisonResult::orderedAscending : ComparisonResult::orderedDescending;
    // Positions at or after the start move one day back, before those that lie before it.
    const Fraction start = exactFrames(*timelineStart);
    auto onTimeline = [&](const Timecode& t) {
        Fraction f = exactFrames(t);
        if (lessThan(f, start)) return f;
        const detail::Int128 day = detail::Int128(t.frameRate.maxTotalFrames(UpperLimit::_24hours)) * f.denominator();
        return Fraction(detail::checked64(f.numerator() - day, "timeline position"), f.denominator());
    };
    return lessThan(onTimeline(*this), onTimeline(other)) ? ComparisonResult::orderedAscending
                                                           : ComparisonResult::orderedDescending;
}

int64_t Timecode::distance(const Timecode& other) const {
    return detail::checked64(detail::Int128(other.frameCount().wholeFrames()) - frameCount().wholeFrames(), "distance");
}

Timecode Timecode::advanced(int64_t framesToAdd) const {
    return adding(Components{0, 0, 0, 0, framesToAdd, 0}, LimitBehavior::clamping);
}

Timecode Timecode::converted(TimecodeFrameRate rate, bool preservingValues) const {
    if (rate == frameRate) return *this;
    if (preservingValues) {
        try {
            return fromComponents(components(), rate, upperLimit, subFramesBase, stringFormat);
        } catch (const ValidationError&) {
            // not valid at the new rate: the same real time instead
        }
    }
    return fromRealTime(realTimeValue(), rate, upperLimit, subFramesBase, stringFormat);
}

}  // namespace timecode
