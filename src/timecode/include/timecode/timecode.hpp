// The timecode value: days, hours, minutes, seconds, frames and subframes at one of the 22 frame
// rates, bounded by an upper limit of 24 hours or 100 days.
//
//     auto tc = Timecode::fromComponents({0, 1, 0, 0, 0, 0}, TimecodeFrameRate::_29_97_drop);
//     tc.stringValue();                    // "01:00:00;00"
//     tc.frameCount().wholeFrames();       // 107892
//     auto later = tc.adding({.f = 1}, Timecode::LimitBehavior::wrapping);
//
// Building from a source (components, text, frame counts, footage, real time, samples, rational
// or media time) follows one of five policies: validating (fromX, throws ValidationError),
// clamping the total, clamping each component, wrapping, and raw values. Setters keep the
// timecode's own frame rate, upper limit, subframes base and string format. Everything is counted
// through the total number of subframes, so drop-frame numbering is respected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "timecode/fraction.hpp"
#include "timecode/frame_count.hpp"
#include "timecode/frame_rate.hpp"
#include "timecode/settings.hpp"
#include "timecode/text_utilities.hpp"
#include "timecode/validation.hpp"

namespace timecode {

class Timecode;
struct TimecodeInterval;
class TimecodeTextFormatter;
enum class LegacyFrameRate : uint8_t;  // timecode/legacy.hpp

// Text that is not a timecode.
class TimecodeStringParseError : public std::invalid_argument {
  public:
    enum class Case { malformed };
    explicit TimecodeStringParseError(const std::string& message = "The text is not a timecode.")
        : std::invalid_argument(message) {}
    Case errorCase() const { return Case::malformed; }
};

// Sources a timecode can be built from besides components, text and frame counts.
struct RealTime {
    double seconds = 0;
};
struct Samples {
    double samples = 0;
    int64_t sampleRate = 48000;
};

class Timecode {
  public:
    using UpperLimit = timecode::UpperLimit;
    using SubFramesBase = timecode::SubFramesBase;
    using StringFormat = timecode::StringFormat;
    using StringFormatParameter = timecode::StringFormatParameter;
    using Component = timecode::Component;
    using Components = timecode::Components;
    using ComponentSet = timecode::ComponentSet;
    using FrameCount = timecode::FrameCount;
    using ValidationError = TimecodeValidationError;
    using StringParseError = TimecodeStringParseError;
    using FrameRate = LegacyFrameRate;               // timecode/legacy.hpp
    using TextFormatter = TimecodeTextFormatter;     // timecode/text_formatter.hpp

    // How arithmetic treats a result outside zero ... the upper limit.
    enum class LimitBehavior { exactly, clamping, wrapping };

    static constexpr StringFormat defaultStringFormat{};

    // The zero timecode with the given settings.
    explicit Timecode(TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                      SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});

    // ---- stored fields (plain data, no validation) ----
    TimecodeFrameRate frameRate;
    UpperLimit upperLimit;
    SubFramesBase subFramesBase;
    StringFormat stringFormat;
    int64_t days = 0;
    int64_t hours = 0;
    int64_t minutes = 0;
    int64_t seconds = 0;
    int64_t frames = 0;
    int64_t subFrames = 0;

    Components components() const { return {days, hours, minutes, seconds, frames, subFrames}; }
    // Stores the six components without any check.
    void setComponents(const Components& c);

    // ---- building, by policy ----
    static Timecode fromComponents(const Components& c, TimecodeFrameRate rate,
                                   UpperLimit limit = UpperLimit::_24hours,
                                   SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    static Timecode fromString(std::string_view text, TimecodeFrameRate rate,
                               UpperLimit limit = UpperLimit::_24hours,
                               SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    static Timecode fromFrameCount(const FrameCount::Value& count, TimecodeFrameRate rate,
                                   UpperLimit limit = UpperLimit::_24hours,
                                   SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    // Adopts the count's own subframes base.
    static Timecode fromFrameCount(const FrameCount& count, TimecodeFrameRate rate,
                                   UpperLimit limit = UpperLimit::_24hours, StringFormat format = {});
    static Timecode fromFeetAndFrames(const FeetAndFrames& footage, TimecodeFrameRate rate,
                                      UpperLimit limit = UpperLimit::_24hours,
                                      SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    static Timecode fromRealTime(double seconds, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                                 SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    static Timecode fromSamples(double samples, int64_t sampleRate, TimecodeFrameRate rate,
                                UpperLimit limit = UpperLimit::_24hours,
                                SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    static Timecode fromRational(const Fraction& seconds, TimecodeFrameRate rate,
                                 UpperLimit limit = UpperLimit::_24hours,
                                 SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    static Timecode fromMediaTime(const MediaTime& time, TimecodeFrameRate rate,
                                  UpperLimit limit = UpperLimit::_24hours,
                                  SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});

    // The other policies, for any source: Components, std::string_view, FrameCount::Value,
    // FrameCount (its own base), RealTime, Samples, Fraction, MediaTime. clampingEach takes
    // components and text only.
    template <class Source>
    static Timecode clamping(const Source& source, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                             SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) {
        return with(Timecode(rate, limit, base, format), [&](Timecode& t) { t.setClamping(source); });
    }
    template <class Source>
    static Timecode wrapping(const Source& source, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                             SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) {
        return with(Timecode(rate, limit, base, format), [&](Timecode& t) { t.setWrapping(source); });
    }
    template <class Source>
    static Timecode rawValues(const Source& source, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                              SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) {
        return with(Timecode(rate, limit, base, format), [&](Timecode& t) { t.setRawValues(source); });
    }
    template <class Source>
    static Timecode clampingEach(const Source& source, TimecodeFrameRate rate,
                                 UpperLimit limit = UpperLimit::_24hours,
                                 SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {}) {
        return with(Timecode(rate, limit, base, format), [&](Timecode& t) { t.setClampingEach(source); });
    }
    static Timecode clamping(const FrameCount& c, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                             StringFormat format = {}) {
        return clamping(c, rate, limit, c.subFramesBase(), format);
    }
    static Timecode wrapping(const FrameCount& c, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                             StringFormat format = {}) {
        return wrapping(c, rate, limit, c.subFramesBase(), format);
    }
    static Timecode rawValues(const FrameCount& c, TimecodeFrameRate rate, UpperLimit limit = UpperLimit::_24hours,
                              StringFormat format = {}) {
        return rawValues(c, rate, limit, c.subFramesBase(), format);
    }

    // ---- setters: validating (leave the timecode unchanged on failure) ----
    void set(const Components& c);
    void set(std::string_view text);
    void set(const FrameCount::Value& count);
    void set(const FrameCount& count);  // keeps this base; converts the count's subframes
    void set(const FeetAndFrames& footage);
    void set(const RealTime& time);
    void set(const Samples& samples);
    void set(const Fraction& seconds);
    void set(const MediaTime& time);

    template <class Source>
    requires(!std::is_convertible_v<const Source&, std::string_view>)
    void setClamping(const Source& source) { applyTotal(totalOf(source), LimitBehavior::clamping); }
    template <class Source>
    requires(!std::is_convertible_v<const Source&, std::string_view>)
    void setWrapping(const Source& source) { applyTotal(totalOf(source), LimitBehavior::wrapping); }
    void setClamping(const Components& c) { applyTotal(totalOfComponents(c), LimitBehavior::clamping); }
    void setWrapping(const Components& c) { applyTotal(totalOfComponents(c), LimitBehavior::wrapping); }
    void setClamping(std::string_view text);
    void setWrapping(std::string_view text);
    void setClampingEach(const Components& c);
    void setClampingEach(std::string_view text);
    void setRawValues(const Components& c) { setComponents(c); }
    void setRawValues(std::string_view text);
    template <class Source>
    requires(!std::is_convertible_v<const Source&, std::string_view>)
    void setRawValues(const Source& source) {
        setComponents(splitTotal(totalOf(source)));
    }

    // ---- validation ----
    static ComponentSet invalidComponents(const Components& c, TimecodeFrameRate rate, UpperLimit limit,
                                          SubFramesBase base) {
        return timecode::invalidComponents(c, rate, limit, base);
    }
    ComponentSet invalidComponents() const;
    void clampComponents();
    std::pair<int64_t, int64_t> validRange(Component component) const;
    FrameCount maxFrameCountExpressible() const;
    int64_t maxSubFrameCountExpressible() const;
    double maxFrameCountExpressibleDouble() const;
    int64_t maxSubFrameNumber() const { return maxSubFrames(subFramesBase); }

    // ---- frame counting ----
    // The components counted at the rate and base, as a splitUnitInterval count.
    FrameCount frameCount() const;
    // The components of a count (read in `base`) at `rate`.
    static Components components(const FrameCount::Value& count, SubFramesBase base, TimecodeFrameRate rate);
    static Components components(const FrameCount& count, TimecodeFrameRate rate) {
        return components(count.value, count.subFramesBase(), rate);
    }
    FeetAndFrames feetAndFramesValue() const;
    bool isZero() const;

    // ---- real time, samples, media time ----
    double realTimeValue() const;
    double samplesValue(int64_t sampleRate) const;
    int64_t samplesValueRounded(int64_t sampleRate) const;
    Fraction rationalValue() const;
    MediaTime mediaTimeValue() const;

    // ---- text ----
    // "01:00:00:00", "01:00:00;00" at drop rates, "2 01:00:00:00" with days, ".52" subframes
    // appended when the string format shows them.
    std::string stringValue() const;
    // The text with every ":", ";" and " " replaced by "-".
    std::string fileNameStringValue() const;
    // The text with each out-of-range component in `invalidAttributes` (red text when absent) on
    // top of `defaultAttributes`.
    StyledText attributedStringValue(const std::optional<TextAttributes>& invalidAttributes = std::nullopt,
                                     const std::optional<TextAttributes>& defaultAttributes = std::nullopt) const;
    // Parses "[d ]hh:mm:ss:ff[.sf]" (any of ":" and ";" between the numbers) without looking at a
    // rate and without validating. Throws StringParseError.
    static Components parseComponents(std::string_view text);
    std::string description() const { return stringValue(); }
    // "Timecode<01:00:00:00 @ 24>", days first with a 100-day limit ("Timecode<0:01:00:00:00 @ 24>").
    std::string debugDescription() const;
    // "01:00:00:00 @ 24".
    std::string stringValueWithFrameRate() const;

    // ---- comparison and striding ----
    enum class ComparisonResult { orderedAscending = -1, orderedSame = 0, orderedDescending = 1 };
    // Ordering by real time; with a (non-zero) timeline start, timecodes at or after the start come
    // before those that lie before it, as on a timeline that runs past midnight.
    ComparisonResult compare(const Timecode& other, const std::optional<Timecode>& timelineStart = std::nullopt) const;
    // Whole frames from this timecode to `other` (each counted at its own rate).
    int64_t distance(const Timecode& other) const;
    // This timecode moved by `frames`, held within zero and the upper limit.
    Timecode advanced(int64_t frames) const;

    // ---- rate conversion and transforms ----
    // At another rate: the same components when `preservingValues` and they are valid there,
    // else the same real time (throws ValidationError when it lies beyond the upper limit).
    Timecode converted(TimecodeFrameRate rate, bool preservingValues = false) const;

    // ---- arithmetic (the argument read at this rate and base) ----
    void add(const Components& c, LimitBehavior behavior);
    Timecode adding(const Components& c, LimitBehavior behavior) const;
    void subtract(const Components& c, LimitBehavior behavior);
    Timecode subtracting(const Components& c, LimitBehavior behavior) const;
    void multiply(double factor, LimitBehavior behavior);
    Timecode multiplying(double factor, LimitBehavior behavior) const;
    void divide(double divisor, LimitBehavior behavior);
    Timecode dividing(double divisor, LimitBehavior behavior) const;

    // The signed distance from this timecode to `other`.
    TimecodeInterval offset(const Timecode& other) const;
    void offset(const TimecodeInterval& interval);
    Timecode offsetting(const TimecodeInterval& interval) const;
    TimecodeInterval asInterval(bool negative = false) const;

    // Rounding to a component; never names a frame a drop rate skips.
    void roundUp(Component component);
    template <class Transformer>
    Timecode transformed(const Transformer& transformer) const { return transformer.transform(*this); }
    template <class Transformer>
    void transform(const Transformer& transformer) { *this = transformer.transform(*this); }
    Timecode roundedUp(Component component) const;
    void roundDown(Component component);
    Timecode roundedDown(Component component) const;

    // Operators wrap at the left operand's upper limit; a right operand at another rate is
    // brought to the left's rate through real time first.
    friend Timecode operator+(const Timecode& a, const Timecode& b);
    friend Timecode operator-(const Timecode& a, const Timecode& b);
    Timecode& operator+=(const Timecode& b) { return *this = *this + b; }
    Timecode& operator-=(const Timecode& b) { return *this = *this - b; }
    friend Timecode operator*(const Timecode& a, double factor) { return a.multiplying(factor, LimitBehavior::wrapping); }
    friend Timecode operator/(const Timecode& a, double divisor) { return a.dividing(divisor, LimitBehavior::wrapping); }
    Timecode& operator*=(double factor) { return *this = *this * factor; }
    Timecode& operator/=(double divisor) { return *this = *this / divisor; }

    // Equal when the real times, rounded to 9 decimal places, are equal (across rates too).
    friend bool operator==(const Timecode& a, const Timecode& b);
    friend bool operator<(const Timecode& a, const Timecode& b);
    friend bool operator>(const Timecode& a, const Timecode& b) { return b < a; }
    friend bool operator<=(const Timecode& a, const Timecode& b) { return !(b < a); }
    friend bool operator>=(const Timecode& a, const Timecode& b) { return !(a < b); }
    // The real time rounded to 9 decimal places: the key of equality, ordering and hashing.
    double roundedRealTime() const;

    // `other` brought to this rate through real time (a 100-day limit so no valid timecode fails).
    Timecode convertedForOperand(const Timecode& other) const;

  private:
    template <class Apply>
    static Timecode with(Timecode t, Apply&& apply) {
        apply(t);
        return t;
    }
    // The total subframes in this base of a source.
    int64_t totalOf(const FrameCount::Value& v) const;
    int64_t totalOf(const FrameCount& c) const;
    int64_t totalOf(const FeetAndFrames& f) const { return totalOf(f.frameCount()); }
    int64_t totalOf(const RealTime& t) const;
    int64_t totalOf(const Samples& s) const;
    int64_t totalOf(const Fraction& seconds) const;  // whole frames by integer division
    int64_t totalOf(const MediaTime& t) const;
    int64_t totalOfComponents(const Components& c) const;
    int64_t limitTotal() const;
    Components splitTotal(int64_t total) const;
    // Validates a count total and stores its components.
    void setValidatedTotal(int64_t total);
    // Brings `total` within the limit by `behavior` (throws for exactly) and stores it.
    void applyTotal(int64_t total, LimitBehavior behavior);
    void applyScaled(double x, LimitBehavior behavior);
};

// A signed span of time: an absolute timecode and a sign.
struct TimecodeInterval {
    Timecode absoluteInterval;
    bool negative = false;

    // The span of a signed rational time: its magnitude at the rate (throws ValidationError
    // beyond the upper limit); negative when exactly one of numerator and denominator is.
    static TimecodeInterval fromRealTime(const Fraction& seconds, TimecodeFrameRate rate,
                                         UpperLimit limit = UpperLimit::_24hours,
                                         SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});
    // A non-numeric media time counts as 0.
    static TimecodeInterval fromRealTime(const MediaTime& seconds, TimecodeFrameRate rate,
                                         UpperLimit limit = UpperLimit::_24hours,
                                         SubFramesBase base = SubFramesBase::_80SubFrames, StringFormat format = {});

    bool isNegative() const { return negative; }
    // Zero plus or minus the span, wrapping at the upper limit.
    Timecode flattened() const;
    // The signed time, reduced.
    Fraction rationalValue() const;
    MediaTime mediaTimeValue() const { return rationalValue().mediaTimeValue(); }
    double realTimeValue() const;
    // "-00:00:01:00" when negative.
    std::string description() const;
    std::string debugDescription() const;
    std::string verboseDescription() const;
    // Equal magnitudes (real time to 9 places) and equal signs.
    friend bool operator==(const TimecodeInterval& a, const TimecodeInterval& b);
};

}  // namespace timecode

template <>
struct std::hash<timecode::Timecode> {
    // The value equality compares, so timecodes equal across rates hash equally.
    size_t operator()(const timecode::Timecode& t) const { return std::hash<double>{}(t.roundedRealTime()); }
};

template <>
struct std::hash<timecode::TimecodeInterval> {
    size_t operator()(const timecode::TimecodeInterval& i) const;
};
