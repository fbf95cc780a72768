#include "timecode/frame_count.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "counting.hpp"

namespace timecode {

namespace detail {

void throwOutOfBounds(const char* what) {
    throw TimecodeValidationError(std::string("The timecode is out of bounds: ") + what + ".");
}

int64_t checked64(Int128 v, const char* what) {
    if (!fitsInt64(v)) throwOutOfBounds(what);
    return static_cast<int64_t>(v);
}

int64_t truncatedToInt64(double x, const char* what) {
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (!std::isfinite(x)) throwOutOfBounds(what);
    x = std::trunc(x);
    if (x >= limit || x < -limit) throwOutOfBounds(what);
    return static_cast<int64_t>(x);
}

Int128 decimalTimes1e8(double x) {
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(x) || x >= limit || x <= -limit) throwOutOfBounds("a frame count has no 64-bit value");
    // Magnitudes below 10^-8 cut to 0; everything else has a short fixed-point text (at most 19
    // whole digits and the 17 significant digits of a double).
    if (std::fabs(x) < 1e-8) return 0;
    char buf[128];
    auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    if (res.ec != std::errc()) throwOutOfBounds("a frame count has no decimal value");
    Int128 whole = 0, fraction = 0;
    int fractionDigits = 0;
    bool negative = false, inFraction = false;
    for (const char* p = buf; p < res.ptr; ++p) {
        if (*p == '-') {
            negative = true;
        } else if (*p == '.') {
            inFraction = true;
        } else if (!inFraction) {
            whole = whole * 10 + (*p - '0');
        } else if (fractionDigits < 8) {
            fraction = fraction * 10 + (*p - '0');
            ++fractionDigits;
        }
    }
    for (; fractionDigits < 8; ++fractionDigits) fraction *= 10;
    Int128 scaled = whole * 100000000 + fraction;
    return negative ? -scaled : scaled;
}

int64_t subFramesOfUnitInterval(double u, int64_t divisor) {
    double x = u * static_cast<double>(divisor);
    double nearest = std::round(x);
    if (std::fabs(x - nearest) < 1e-6) return truncatedToInt64(nearest, "subframes have no 64-bit value");
    return truncatedToInt64(x, "subframes have no 64-bit value");
}

Int128 subFrameTotal(const FrameCount::Value& v, SubFramesBase base) {
    const Int128 d = divisor(base);
    Int128 total = 0;
    switch (v.valueCase()) {
        case FrameCount::Value::Case::frames: total = Int128(v.framesPayload()) * d; break;
        case FrameCount::Value::Case::split: total = Int128(v.framesPayload()) * d + v.subFramesPayload(); break;
        case FrameCount::Value::Case::combined: {
            Int128 scaled = decimalTimes1e8(v.doublePayload());
            Int128 whole = scaled / 100000000;
            Int128 sub = (scaled - whole * 100000000) * d / 100000000;
            total = whole * d + sub;
            break;
        }
        case FrameCount::Value::Case::splitUnitInterval:
            total = Int128(v.framesPayload()) * d + subFramesOfUnitInterval(v.doublePayload(), divisor(base));
            break;
    }
    checked64(total, "the subframe count has no 64-bit value");
    return total;
}

Int128 framesOfComponents(const Components& c, const TimecodeFrameRate& rate) {
    const Int128 b = rate.timecodeBase();
    Int128 frames = b * 86400 * c.d + b * 3600 * c.h + b * 60 * c.m + b * c.s + c.f;
    if (rate.isDrop()) {
        Int128 minutes = Int128(1440) * c.d + Int128(60) * c.h + c.m;
        frames -= rate.framesDroppedPerMinute() * (minutes - minutes / 10);
    }
    return frames;
}

int64_t subFramesOfComponents(const Components& c, const TimecodeFrameRate& rate, SubFramesBase base) {
    return checked64(framesOfComponents(c, rate) * divisor(base) + c.sf,
                     "the components have no 64-bit subframe count");
}

Components splitSubFrames(Int128 total, int64_t divisorValue, const TimecodeFrameRate& rate) {
    // Totals reaching here fit 64 bits; the magnitude is worked on as unsigned 64-bit numbers,
    // which is exact and much cheaper than 128-bit division.
    checked64(total, "the subframe count has no 64-bit value");
    const bool negative = total < 0;
    const uint64_t a = static_cast<uint64_t>(negative ? -total : total);
    const uint64_t d = static_cast<uint64_t>(divisorValue);
    uint64_t frames = a / d;
    const uint64_t subFrames = a % d;
    if (rate.isDrop()) {
        // Turn the drop-frame count into a count of timecode positions: every ten minutes hold
        // T frames, and each minute after the first of a block skips D numbers.
        const uint64_t D = static_cast<uint64_t>(rate.framesDroppedPerMinute());
        const uint64_t T = static_cast<uint64_t>(rate.timecodeBase()) * 600 - 9 * D;
        const uint64_t P = (T - D) / 10;
        const uint64_t q = frames / T;
        const uint64_t r = frames % T;
        frames += 9 * D * q + (r >= D ? D * ((r - D) / P) : 0);
    }
    const uint64_t b = static_cast<uint64_t>(rate.timecodeBase());
    const uint64_t totalSeconds = frames / b;
    Components c;
    c.d = checked64(Int128(totalSeconds / 86400), "the days have no 64-bit value");
    c.h = static_cast<int64_t>(totalSeconds / 3600 % 24);
    c.m = static_cast<int64_t>(totalSeconds / 60 % 60);
    c.s = static_cast<int64_t>(totalSeconds % 60);
    c.f = static_cast<int64_t>(frames % b);
    c.sf = static_cast<int64_t>(subFrames);
    if (negative) {
        for (auto component : allComponents) {
            if (c[component] != 0) {
                c[component] = -c[component];
                break;
            }
        }
    }
    return c;
}

std::string padded(int64_t value, int width) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(value));
    return buf;
}

}  // namespace detail

namespace {

std::string shortest(double x) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, x);
    std::string s(buf, res.ptr);
    // Whole values keep one fractional digit, as "10.0".
    if (std::isfinite(x) && s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

FrameCount splitIn(detail::Int128 total, SubFramesBase base) {
    const int64_t t = detail::checked64(total, "the frame count result has no 64-bit value");
    const int64_t d = divisor(base);
    return FrameCount(FrameCount::Value::split(t / d, t % d), base);
}

}  // namespace

bool FrameCount::Value::isZero() const {
    switch (case_) {
        case Case::frames: return frames_ == 0;
        case Case::split: return frames_ == 0 && subFrames_ == 0;
        case Case::combined: return double_ == 0.0;
        case Case::splitUnitInterval: break;
    }
    return frames_ == 0 && double_ == 0.0;
}

std::string FrameCount::Value::description() const {
    switch (case_) {
        case Case::frames: return std::to_string(frames_) + " frames";
        case Case::split: return std::to_string(frames_) + "." + std::to_string(subFrames_) + " frames";
        case Case::combined: return shortest(double_) + " frames";
        case Case::splitUnitInterval: break;
    }
    return shortest(static_cast<double>(frames_) + double_) + " frames";
}

std::string FrameCount::Value::debugDescription() const {
    switch (case_) {
        case Case::frames: return ".frames(" + std::to_string(frames_) + ")";
        case Case::split:
            return ".split(frames: " + std::to_string(frames_) + ", subFrames: " + std::to_string(subFrames_) + ")";
        case Case::combined: return ".combined(" + shortest(double_) + ")";
        case Case::splitUnitInterval: break;
    }
    return ".splitUnitInterval(frames: " + std::to_string(frames_) +
           ", subFramesUnitInterval: " + shortest(double_) + ")";
}

bool operator==(const FrameCount::Value& a, const FrameCount::Value& b) {
    using C = FrameCount::Value::Case;
    if (a.case_ != b.case_) return false;
    switch (a.case_) {
        case C::frames: return a.frames_ == b.frames_;
        case C::split: return a.frames_ == b.frames_ && a.subFrames_ == b.subFrames_;
        case C::combined: return a.double_ == b.double_;
        case C::splitUnitInterval: break;
    }
    return a.frames_ == b.frames_ && a.double_ == b.double_;
}

int64_t FrameCount::wholeFrames() const {
    switch (value.valueCase()) {
        case Value::Case::combined:
            return detail::checked64(detail::decimalTimes1e8(value.doublePayload()) / 100000000,
                                     "whole frames");
        default: return value.framesPayload();
    }
}

int64_t FrameCount::subFrames() const {
    const int64_t d = divisor(subFramesBase_);
    switch (value.valueCase()) {
        case Value::Case::frames: return 0;
        case Value::Case::split: return value.subFramesPayload();
        case Value::Case::splitUnitInterval: return detail::subFramesOfUnitInterval(value.doublePayload(), d);
        case Value::Case::combined: break;
    }
    detail::Int128 scaled = detail::decimalTimes1e8(value.doublePayload());
    return static_cast<int64_t>((scaled % 100000000) * d / 100000000);
}

int64_t FrameCount::subFrameCount() const {
    return static_cast<int64_t>(detail::subFrameTotal(value, subFramesBase_));
}

double FrameCount::doubleValue() const {
    const double d = static_cast<double>(divisor(subFramesBase_));
    switch (value.valueCase()) {
        case Value::Case::frames: return static_cast<double>(value.framesPayload());
        case Value::Case::split:
            return static_cast<double>(value.framesPayload()) + static_cast<double>(value.subFramesPayload()) / d;
        case Value::Case::combined: return value.doublePayload();
        case Value::Case::splitUnitInterval: break;
    }
    return static_cast<double>(value.framesPayload()) + value.doublePayload();
}

Fraction FrameCount::decimalValue() const {
    using detail::Int128;
    const int64_t d = divisor(subFramesBase_);
    switch (value.valueCase()) {
        case Value::Case::frames: return Fraction(value.framesPayload(), 1);
        case Value::Case::combined:
            return Fraction(detail::checked64(detail::decimalTimes1e8(value.doublePayload()), "decimal value"),
                            100000000);
        case Value::Case::split:
        case Value::Case::splitUnitInterval: break;
    }
    return Fraction(subFrameCount(), d);
}

bool FrameCount::isNegative() const { return doubleValue() < 0; }

std::string FrameCount::description() const {
    if (value.valueCase() == Value::Case::frames) return std::to_string(value.framesPayload());
    return shortest(doubleValue());
}

FrameCount operator+(const FrameCount& a, const FrameCount& b) {
    return splitIn(detail::Int128(a.subFrameCount()) + b.subFrameCount(), a.subFramesBase());
}

FrameCount operator-(const FrameCount& a, const FrameCount& b) {
    return splitIn(detail::Int128(a.subFrameCount()) - b.subFrameCount(), a.subFramesBase());
}

FrameCount operator*(const FrameCount& a, double factor) {
    return splitIn(detail::truncatedToInt64(static_cast<double>(a.subFrameCount()) * factor, "product"),
                   a.subFramesBase());
}

FrameCount operator/(const FrameCount& a, double divisorValue) {
    return splitIn(detail::truncatedToInt64(static_cast<double>(a.subFrameCount()) / divisorValue, "quotient"),
                   a.subFramesBase());
}

FrameCount FeetAndFrames::frameCount() const {
    const int64_t total = detail::checked64(detail::Int128(feet) * 16 + frames, "footage");
    if (subFrames != 0) return FrameCount(FrameCount::Value::split(total, subFrames), subFramesBase);
    return FrameCount(FrameCount::Value::frames(total), subFramesBase);
}


std::string FeetAndFrames::description() const { return std::to_string(feet) + "+" + detail::padded(frames, 2); }

std::string FeetAndFrames::descriptionWithSubFrames() const { return description() + "." + detail::padded(subFrames, 2); }

}  // namespace timecode

size_t std::hash<timecode::FrameCount::Value>::operator()(const timecode::FrameCount::Value& v) const noexcept {
    auto mix = [](size_t h, uint64_t x) { return h ^ (std::hash<uint64_t>{}(x) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)); };
    auto bits = [](double d) {
        if (d == 0.0) d = 0.0;  // -0 hashes as +0
        uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        return u;
    };
    size_t h = static_cast<size_t>(v.valueCase());
    h = mix(h, static_cast<uint64_t>(v.framesPayload()));
    h = mix(h, static_cast<uint64_t>(v.subFramesPayload()));
    return mix(h, bits(v.doublePayload()));
}

size_t std::hash<timecode::FeetAndFrames>::operator()(const timecode::FeetAndFrames& f) const noexcept {
    size_t h = std::hash<int64_t>{}(f.feet);
    for (int64_t x : {f.frames, f.subFrames, timecode::divisor(f.subFramesBase)})
        h ^= std::hash<int64_t>{}(x) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}
