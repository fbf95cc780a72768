#include "timecode/timecode.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "counting.hpp"
#include "midi_support/numeric.hpp"

namespace timecode {

using detail::Int128;

namespace {

Int128 gcd128(Int128 a, Int128 b) {
    if (a < 0) a = -a;
    if (b < 0) b = -b;
    while (b != 0) {
        Int128 r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Frames from seconds with the real-time nudge of 0.00001 frame away from zero.
double framesOfSeconds(double seconds, const TimecodeFrameRate& rate) {
    double f = seconds / (1.0 / rate.rate().doubleValue());
    return f + (std::signbit(f) ? -0.00001 : 0.00001);
}


}  // namespace

Timecode::Timecode(TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base, StringFormat format)
    : frameRate(rate), upperLimit(limit), subFramesBase(base), stringFormat(format) {}

void Timecode::setComponents(const Components& c) {
    days = c.d;
    hours = c.h;
    minutes = c.m;
    seconds = c.s;
    frames = c.f;
    subFrames = c.sf;
}

// ---- building ----

namespace {

// A timecode with the given settings, set from `source` by the validating setter.
template <class Source>
Timecode validated(const Source& source, TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base,
                   StringFormat format) {
    Timecode t(rate, limit, base, format);
    t.set(source);
    return t;
}

}  // namespace

Timecode Timecode::fromComponents(const Components& c, TimecodeFrameRate rate, UpperLimit limit,
                                  SubFramesBase base, StringFormat format) {
    return validated(c, rate, limit, base, format);
}

Timecode Timecode::fromString(std::string_view text, TimecodeFrameRate rate, UpperLimit limit,
                              SubFramesBase base, StringFormat format) {
    return validated(text, rate, limit, base, format);
}

Timecode Timecode::fromFrameCount(const FrameCount::Value& count, TimecodeFrameRate rate, UpperLimit limit,
                                  SubFramesBase base, StringFormat format) {
    return validated(count, rate, limit, base, format);
}

Timecode Timecode::fromFrameCount(const FrameCount& count, TimecodeFrameRate rate, UpperLimit limit,
                                  StringFormat format) {
    return validated(count, rate, limit, count.subFramesBase(), format);
}

Timecode Timecode::fromFeetAndFrames(const FeetAndFrames& footage, TimecodeFrameRate rate, UpperLimit limit,
                                     SubFramesBase base, StringFormat format) {
    return validated(footage, rate, limit, base, format);
}

Timecode Timecode::fromRealTime(double secondsValue, TimecodeFrameRate rate, UpperLimit limit,
                                SubFramesBase base, StringFormat format) {
    return validated(RealTime{secondsValue}, rate, limit, base, format);
}

Timecode Timecode::fromSamples(double samples, int64_t sampleRate, TimecodeFrameRate rate, UpperLimit limit,
                               SubFramesBase base, StringFormat format) {
    return validated(Samples{samples, sampleRate}, rate, limit, base, format);
}

Timecode Timecode::fromRational(const Fraction& secondsValue, TimecodeFrameRate rate, UpperLimit limit,
                                SubFramesBase base, StringFormat format) {
    return validated(secondsValue, rate, limit, base, format);
}

Timecode Timecode::fromMediaTime(const MediaTime& time, TimecodeFrameRate rate, UpperLimit limit,
                                 SubFramesBase base, StringFormat format) {
    return validated(time, rate, limit, base, format);
}

int64_t Timecode::limitTotal() const { return frameRate.maxTotalSubFrames(upperLimit, subFramesBase); }

Components Timecode::splitTotal(int64_t total) const {
    return detail::splitSubFrames(total, divisor(subFramesBase), frameRate);
}

int64_t Timecode::totalOfComponents(const Components& c) const {
    return detail::subFramesOfComponents(c, frameRate, subFramesBase);
}

int64_t Timecode::totalOf(const FrameCount::Value& v) const {
    return static_cast<int64_t>(detail::subFrameTotal(v, subFramesBase));
}

int64_t Timecode::totalOf(const FrameCount& c) const {
    const int64_t d = divisor(subFramesBase);
    if (divisor(c.subFramesBase()) == d) return totalOf(c.value);
    const Int128 whole = Int128(c.wholeFrames()) * d;
    const int64_t sub = c.subFrames();
    return detail::checked64(whole + convert(sub, c.subFramesBase(), subFramesBase), "frame count");
}

int64_t Timecode::totalOf(const RealTime& t) const {
    if (!std::isfinite(t.seconds)) detail::throwOutOfBounds("the real time is not a finite number");
    return totalOf(FrameCount::Value::combined(framesOfSeconds(t.seconds, frameRate)));
}

int64_t Timecode::totalOf(const Samples& s) const {
    if (s.sampleRate == 0) detail::throwOutOfBounds("the sample rate is 0");
    if (!std::isfinite(s.samples)) detail::throwOutOfBounds("the sample count is not a finite number");
    const double secondsValue = s.samples / static_cast<double>(s.sampleRate);
    double f = framesOfSeconds(secondsValue, frameRate);
    f += secondsValue < 0 ? -0.0001 : 0.0001;
    return totalOf(FrameCount::Value::combined(f));
}

int64_t Timecode::totalOf(const Fraction& secondsValue) const {
    const Fraction duration = frameRate.frameDuration();
    const Int128 den = Int128(secondsValue.denominator()) * duration.numerator();
    if (den == 0) detail::throwOutOfBounds("the time has a zero denominator");
    const Int128 f = Int128(secondsValue.numerator()) * duration.denominator() / den;
    return detail::checked64(f * divisor(subFramesBase), "the time has no 64-bit frame count");
}

int64_t Timecode::totalOf(const MediaTime& t) const {
    if (!t.isNumeric()) detail::throwOutOfBounds("the media time is not numeric");
    return totalOf(Fraction(t.value(), t.timescale()));
}

void Timecode::setValidatedTotal(int64_t total) {
    if (total < 0 || total >= limitTotal()) detail::throwOutOfBounds("the count lies outside the upper limit");
    setComponents(splitTotal(total));
}

void Timecode::applyTotal(int64_t total, LimitBehavior behavior) {
    const int64_t limit = limitTotal();
    switch (behavior) {
        case LimitBehavior::exactly: setValidatedTotal(total); return;
        case LimitBehavior::clamping: total = std::clamp<int64_t>(total, 0, limit - 1); break;
        case LimitBehavior::wrapping:
            total %= limit;
            if (total < 0) total += limit;
            break;
    }
    setComponents(splitTotal(total));
}

void Timecode::applyScaled(double x, LimitBehavior behavior) {
    const double top = static_cast<double>(limitTotal() - 1);
    if (std::isnan(x)) detail::throwOutOfBounds("the product is not a number");
    switch (behavior) {
        case LimitBehavior::exactly:
            if (x < 0 || x > top) detail::throwOutOfBounds("the product lies outside the upper limit");
            break;
        case LimitBehavior::clamping:
            if (x <= 0) x = 0;
            if (x > top) x = top;
            break;
        case LimitBehavior::wrapping: break;
    }
    applyTotal(detail::truncatedToInt64(x, "the product has no 64-bit value"), behavior);
}

// ---- setters ----

void Timecode::set(const Components& c) {
    if (!timecode::invalidComponents(c, frameRate, upperLimit, subFramesBase).empty())
        detail::throwOutOfBounds("a component lies outside its range");
    setComponents(c);
}

void Timecode::set(std::string_view text) { set(parseComponents(text)); }
void Timecode::set(const FrameCount::Value& count) { setValidatedTotal(totalOf(count)); }
void Timecode::set(const FrameCount& count) { setValidatedTotal(totalOf(count)); }
void Timecode::set(const FeetAndFrames& footage) { setValidatedTotal(totalOf(footage)); }
void Timecode::set(const RealTime& time) { setValidatedTotal(totalOf(time)); }
void Timecode::set(const Samples& samples) { setValidatedTotal(totalOf(samples)); }

void Timecode::set(const Fraction& secondsValue) {
    // Fractional frames in double precision, then the validating count setter.
    const Fraction duration = frameRate.frameDuration();
    const double den = static_cast<double>(secondsValue.denominator()) * static_cast<double>(duration.numerator());
    if (den == 0) detail::throwOutOfBounds("the time has a zero denominator");
    const double f = static_cast<double>(secondsValue.numerator()) * static_cast<double>(duration.denominator()) / den;
    set(FrameCount::Value::combined(f));
}

void Timecode::set(const MediaTime& time) {
    if (!time.isNumeric()) detail::throwOutOfBounds("the media time is not numeric");
    set(Fraction(time.value(), time.timescale()));
}

void Timecode::setClamping(std::string_view text) { setClamping(parseComponents(text)); }
void Timecode::setWrapping(std::string_view text) { setWrapping(parseComponents(text)); }
void Timecode::setRawValues(std::string_view text) { setComponents(parseComponents(text)); }
void Timecode::setClampingEach(std::string_view text) { setClampingEach(parseComponents(text)); }

void Timecode::setClampingEach(const Components& c) {
    setComponents(c);
    clampComponents();
}

// ---- validation ----

ComponentSet Timecode::invalidComponents() const {
    return timecode::invalidComponents(components(), frameRate, upperLimit, subFramesBase);
}

void Timecode::clampComponents() {
    setComponents(clampedComponents(components(), frameRate, upperLimit, subFramesBase));
}

std::pair<int64_t, int64_t> Timecode::validRange(Component component) const {
    return timecode::validRange(component, frameRate, upperLimit, subFramesBase, minutes, seconds);
}

FrameCount Timecode::maxFrameCountExpressible() const {
    return FrameCount(FrameCount::Value::split(frameRate.maxFrameIndex(upperLimit), maxSubFrames(subFramesBase)),
                      subFramesBase);
}

int64_t Timecode::maxSubFrameCountExpressible() const { return limitTotal() - 1; }

double Timecode::maxFrameCountExpressibleDouble() const {
    const double d = static_cast<double>(divisor(subFramesBase));
    return static_cast<double>(frameRate.maxTotalFrames(upperLimit) - 1) + (d - 1) / d;
}

// ---- frame counting ----

FrameCount Timecode::frameCount() const {
    const int64_t whole = detail::checked64(detail::framesOfComponents(components(), frameRate),
                                            "the components have no 64-bit frame count");
    return FrameCount(FrameCount::Value::splitUnitInterval(
                          whole, static_cast<double>(subFrames) / static_cast<double>(divisor(subFramesBase))),
                      subFramesBase);
}

Components Timecode::components(const FrameCount::Value& count, SubFramesBase base, TimecodeFrameRate rate) {
    return detail::splitSubFrames(detail::subFrameTotal(count, base), divisor(base), rate);
}

FeetAndFrames Timecode::feetAndFramesValue() const {
    const int64_t whole = frameCount().wholeFrames();
    const int64_t feet = whole / 16;
    return {feet, whole - 16 * feet, subFrames, subFramesBase};
}

bool Timecode::isZero() const {
    return detail::framesOfComponents(components(), frameRate) == 0 && subFrames == 0;
}

// ---- real time ----

double Timecode::realTimeValue() const {
    return frameCount().doubleValue() * (1.0 / frameRate.rate().doubleValue());
}

double Timecode::samplesValue(int64_t sampleRate) const {
    return realTimeValue() * static_cast<double>(sampleRate);
}

int64_t Timecode::samplesValueRounded(int64_t sampleRate) const {
    return detail::truncatedToInt64(std::round(samplesValue(sampleRate)), "the sample count has no 64-bit value");
}

Fraction Timecode::rationalValue() const {
    const Fraction duration = frameRate.frameDuration();
    const Int128 s = totalOfComponents(components());
    Int128 n = Int128(duration.numerator()) * s;
    Int128 d = Int128(duration.denominator()) * divisor(subFramesBase);
    const Int128 g = gcd128(n, d);
    if (g != 0) {
        n /= g;
        d /= g;
    }
    return Fraction::withReducedFlag(detail::checked64(n, "rational value"), detail::checked64(d, "rational value"),
                                     true);
}

MediaTime Timecode::mediaTimeValue() const { return rationalValue().mediaTimeValue(); }

// ---- text ----

std::string Timecode::stringValue() const {
    std::string s;
    if (days != 0) s += std::to_string(days) + " ";
    s += detail::padded(hours, 2) + ":" + detail::padded(minutes, 2) + ":" + detail::padded(seconds, 2);
    s += frameRate.frameSeparator();
    s += detail::padded(frames, frameRate.numberOfFrameDigits());
    if (stringFormat.showSubFrames()) s += "." + detail::padded(subFrames, numberOfDigits(maxSubFrames(subFramesBase)));
    return s;
}

Components Timecode::parseComponents(std::string_view text) {
    // Compiled once; a pattern that failed to compile matches nothing.
    static const std::optional<RegularExpression> expression = RegularExpression::compile(
        R"(^(\d+)??[\:;\s]??(\d+)[\:;](\d+)[\:;](\d+)[\:\;](\d+)[\.]??(\d+)??$)");
    std::vector<std::optional<std::string>> groups;
    if (expression) groups = expression->captureGroups(text);
    if (groups.size() != 7) throw TimecodeStringParseError("The text \"" + std::string(text.substr(0, 64)) +
                                                           "\" is not a timecode.");
    int64_t numbers[6] = {};
    int present = 0;
    for (size_t i = 1; i < groups.size(); ++i) {
        if (!groups[i] || groups[i]->empty()) continue;
        const std::string& g = *groups[i];
        int64_t v = 0;
        auto [end, ec] = std::from_chars(g.data(), g.data() + g.size(), v);
        // A group that took part but has no 64-bit value (overflow, non-ASCII digits) makes the
        // whole text malformed rather than silently 0.
        if (ec != std::errc() || end != g.data() + g.size())
            throw TimecodeStringParseError("A number in the timecode text has no 64-bit value.");
        numbers[i - 1] = v;
        ++present;
    }
    if (present < 4) throw TimecodeStringParseError("The text is not a timecode.");
    return {numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]};
}

// ---- arithmetic ----

void Timecode::add(const Components& c, LimitBehavior behavior) {
    applyTotal(detail::checked64(Int128(totalOfComponents(components())) + totalOfComponents(c), "sum"), behavior);
}

Timecode Timecode::adding(const Components& c, LimitBehavior behavior) const {
    Timecode t = *this;
    t.add(c, behavior);
    return t;
}

void Timecode::subtract(const Components& c, LimitBehavior behavior) {
    applyTotal(detail::checked64(Int128(totalOfComponents(components())) - totalOfComponents(c), "difference"),
               behavior);
}

Timecode Timecode::subtracting(const Components& c, LimitBehavior behavior) const {
    Timecode t = *this;
    t.subtract(c, behavior);
    return t;
}

void Timecode::multiply(double factor, LimitBehavior behavior) {
    applyScaled(static_cast<double>(totalOfComponents(components())) * factor, behavior);
}

Timecode Timecode::multiplying(double factor, LimitBehavior behavior) const {
    Timecode t = *this;
    t.multiply(factor, behavior);
    return t;
}

void Timecode::divide(double divisorValue, LimitBehavior behavior) {
    applyScaled(static_cast<double>(totalOfComponents(components())) / divisorValue, behavior);
}

Timecode Timecode::dividing(double divisorValue, LimitBehavior behavior) const {
    Timecode t = *this;
    t.divide(divisorValue, behavior);
    return t;
}

Timecode Timecode::convertedForOperand(const Timecode& other) const {
    Timecode o = other;
    if (other.frameRate != frameRate) {
        o = fromRealTime(other.realTimeValue(), frameRate, UpperLimit::_100days, other.subFramesBase,
                         other.stringFormat);
    }
    // Subframes are read in this timecode's base from here on.
    o.subFrames = convert(o.subFrames, o.subFramesBase, subFramesBase);
    o.subFramesBase = subFramesBase;
    return o;
}

Timecode operator+(const Timecode& a, const Timecode& b) {
    return a.adding(a.convertedForOperand(b).components(), Timecode::LimitBehavior::wrapping);
}

Timecode operator-(const Timecode& a, const Timecode& b) {
    return a.subtracting(a.convertedForOperand(b).components(), Timecode::LimitBehavior::wrapping);
}

TimecodeInterval Timecode::offset(const Timecode& other) const {
    const Timecode o = convertedForOperand(other);
    Timecode zero(frameRate, upperLimit, subFramesBase, stringFormat);
    if (o.components() == components()) return {zero, false};
    Timecode self = *this;
    self.upperLimit = UpperLimit::_100days;
    Timecode there = self;
    there.setComponents(o.components());
    const bool earlier = self.roundedRealTime() < there.roundedRealTime();
    Timecode span = earlier ? there.subtracting(self.components(), LimitBehavior::wrapping)
                            : self.subtracting(there.components(), LimitBehavior::wrapping);
    span.upperLimit = upperLimit;
    return {span, !earlier};
}

void Timecode::offset(const TimecodeInterval& interval) {
    *this = interval.negative ? *this - interval.absoluteInterval : *this + interval.absoluteInterval;
}

Timecode Timecode::offsetting(const TimecodeInterval& interval) const {
    Timecode t = *this;
    t.offset(interval);
    return t;
}

TimecodeInterval Timecode::asInterval(bool negative) const { return {*this, negative}; }

namespace {

// Zeroes every positive component after `component`; a frame number that the drop rate skips
// moves on to the first frame that exists.
void zeroLower(Timecode& t, Component component) {
    Components c = t.components();
    bool framesZeroed = false;
    for (auto lower : allComponents) {
        if (static_cast<int>(lower) <= static_cast<int>(component)) continue;
        if (c[lower] > 0) {
            c[lower] = 0;
            framesZeroed = framesZeroed || lower == Component::frames;
        }
    }
    if (framesZeroed) c.f = std::max(c.f, minimumFrame(t.frameRate, c.m, c.s));
    t.setComponents(c);
}

bool anyLowerPositive(const Timecode& t, Component component) {
    const Components c = t.components();
    for (auto lower : allComponents)
        if (static_cast<int>(lower) > static_cast<int>(component) && c[lower] > 0) return true;
    return false;
}

}  // namespace

void Timecode::roundUp(Component component) {
    if (component == Component::subFrames || !anyLowerPositive(*this, component)) return;
    Components unit;
    unit[component] = 1;
    Timecode t = *this;
    t.add(unit, LimitBehavior::exactly);
    zeroLower(t, component);
    *this = t;
}

Timecode Timecode::roundedUp(Component component) const {
    Timecode t = *this;
    t.roundUp(component);
    return t;
}

void Timecode::roundDown(Component component) {
    if (component == Component::subFrames) return;
    zeroLower(*this, component);
}

Timecode Timecode::roundedDown(Component component) const {
    Timecode t = *this;
    t.roundDown(component);
    return t;
}

double Timecode::roundedRealTime() const {
    return midisupport::rounded(realTimeValue(), midisupport::RoundingRule::toNearestOrAwayFromZero, 9);
}

bool operator==(const Timecode& a, const Timecode& b) { return a.roundedRealTime() == b.roundedRealTime(); }
bool operator<(const Timecode& a, const Timecode& b) { return a.roundedRealTime() < b.roundedRealTime(); }

}  // namespace timecode
