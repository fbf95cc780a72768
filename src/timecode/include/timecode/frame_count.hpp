// A count of frames, possibly with a fraction of a frame, together with the subframes base in
// which that fraction is measured; film footage; the payloads of timecode media samples.
//
// Counts compare, hash and compute through their total number of subframes (whole frames x
// divisor + subframes), whatever form they are held in. Values with no 64-bit total (a NaN or
// infinite `combined`, totals beyond 64 bits) throw TimecodeValidationError (outOfBounds).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "timecode/fraction.hpp"
#include "timecode/settings.hpp"

namespace timecode {

// A component or result outside the valid range (or outside what 64 bits can count).
class TimecodeValidationError : public std::range_error {
  public:
    enum class Case { outOfBounds };
    explicit TimecodeValidationError(const std::string& message = "The timecode is out of bounds.")
        : std::range_error(message) {}
    Case errorCase() const { return Case::outOfBounds; }
    friend bool operator==(const TimecodeValidationError&, const TimecodeValidationError&) { return true; }
};

class FrameCount {
  public:
    // The four forms of a count.
    class Value {
      public:
        enum class Case : uint8_t { frames, split, combined, splitUnitInterval };

        static constexpr Value frames(int64_t frames) { return Value(Case::frames, frames, 0, 0); }
        static constexpr Value split(int64_t frames, int64_t subFrames) {
            return Value(Case::split, frames, subFrames, 0);
        }
        static constexpr Value combined(double frames) { return Value(Case::combined, 0, 0, frames); }
        static constexpr Value splitUnitInterval(int64_t frames, double subFramesUnitInterval) {
            return Value(Case::splitUnitInterval, frames, 0, subFramesUnitInterval);
        }

        constexpr Case valueCase() const { return case_; }
        // Payloads: whole frames (frames, split, splitUnitInterval), subframes (split), the double
        // (combined: frames; splitUnitInterval: the unit interval).
        constexpr int64_t framesPayload() const { return frames_; }
        constexpr int64_t subFramesPayload() const { return subFrames_; }
        constexpr double doublePayload() const { return double_; }

        bool isZero() const;
        // "10.5 frames" for split(10, 5).
        std::string description() const;
        // ".split(frames: 10, subFrames: 5)".
        std::string debugDescription() const;
        // Same case and equal payloads (combined(1.0) differs from frames(1)).
        friend bool operator==(const Value& a, const Value& b);

      private:
        constexpr Value(Case c, int64_t f, int64_t s, double d)
            : case_(c), frames_(f), subFrames_(s), double_(d) {}
        Case case_;
        int64_t frames_;
        int64_t subFrames_;
        double double_;
    };

    constexpr FrameCount(Value value, SubFramesBase base) : value(value), subFramesBase_(base) {}

    Value value;
    constexpr SubFramesBase subFramesBase() const { return subFramesBase_; }

    int64_t wholeFrames() const;
    int64_t subFrames() const;
    int64_t subFrameCount() const;
    double doubleValue() const;
    // The count exactly, in frames (a combined double cut to 8 fractional digits toward zero).
    Fraction decimalValue() const;
    bool isNegative() const;
    // "24" for frames(24), the double in shortest form otherwise ("10.5", "10.0", "-0.5").
    std::string description() const;

    // Results are split forms in the left operand's base; the totals are added as plain numbers.
    friend FrameCount operator+(const FrameCount& a, const FrameCount& b);
    friend FrameCount operator-(const FrameCount& a, const FrameCount& b);
    friend FrameCount operator*(const FrameCount& a, double factor);
    friend FrameCount operator/(const FrameCount& a, double divisor);
    friend bool operator==(const FrameCount& a, const FrameCount& b) {
        return a.subFrameCount() == b.subFrameCount();
    }
    friend bool operator<(const FrameCount& a, const FrameCount& b) {
        return a.subFrameCount() < b.subFrameCount();
    }
    friend bool operator>(const FrameCount& a, const FrameCount& b) { return b < a; }
    friend bool operator<=(const FrameCount& a, const FrameCount& b) { return !(b < a); }
    friend bool operator>=(const FrameCount& a, const FrameCount& b) { return !(a < b); }

  private:
    SubFramesBase subFramesBase_;
};

// Film footage at 16 frames per foot, with subframes in its own base; not normalised.
struct FeetAndFrames {
    int64_t feet = 0;
    int64_t frames = 0;
    int64_t subFrames = 0;
    SubFramesBase subFramesBase = SubFramesBase::_80SubFrames;

    FrameCount frameCount() const;
    // "12+05"; with subframes "12+05.40".
    std::string description() const;
    std::string descriptionWithSubFrames() const;
    friend bool operator==(const FeetAndFrames&, const FeetAndFrames&) = default;
};

// The payload of a 'tmcd' timecode sample: a frame number.
struct CMTimeCode32 {
    uint32_t frameNumber = 0;
    friend bool operator==(const CMTimeCode32&, const CMTimeCode32&) = default;
};

// The payload of a 'tc64' timecode sample: a 64-bit frame number.
struct CMTimeCode64 {
    uint64_t uInt64 = 0;
    friend bool operator==(const CMTimeCode64&, const CMTimeCode64&) = default;
};

}  // namespace timecode

template <>
struct std::hash<timecode::FrameCount> {
    size_t operator()(const timecode::FrameCount& c) const { return std::hash<int64_t>{}(c.subFrameCount()); }
};

template <>
struct std::hash<timecode::FrameCount::Value> {
    size_t operator()(const timecode::FrameCount::Value& v) const noexcept;
};

template <>
struct std::hash<timecode::FeetAndFrames> {
    size_t operator()(const timecode::FeetAndFrames& f) const noexcept;
};
