#include "midi_sync/mtc_types.hpp"

#include <cmath>

namespace midisync {

namespace {

using TFR = TimecodeFrameRate;
using R = MTCFrameRate;

struct RateMapping {
    MTCFrameRate::Case mtc;
    double scale;
};

// Indexed by the timecode rate's case order. 29.97 non-drop travels as 30; every drop rate,
// 30d included, as 29.97d.
constexpr std::array<RateMapping, TimecodeFrameRate::caseCount> mappings{{
    {R::mtc24, 1.0},        // 23.976
    {R::mtc24, 1.0},        // 24
    {R::mtc24, 25.0 / 24},  // 24.98
    {R::mtc25, 1.0},        // 25
    {R::mtc30, 1.0},        // 29.97
    {R::mtc2997d, 1.0},     // 29.97d
    {R::mtc30, 1.0},        // 30
    {R::mtc2997d, 1.0},     // 30d
    {R::mtc24, 2.0},        // 47.952
    {R::mtc24, 2.0},        // 48
    {R::mtc25, 2.0},        // 50
    {R::mtc30, 2.0},        // 59.94
    {R::mtc2997d, 2.0},     // 59.94d
    {R::mtc30, 2.0},        // 60
    {R::mtc2997d, 2.0},     // 60d
    {R::mtc24, 4.0},        // 95.904
    {R::mtc24, 4.0},        // 96
    {R::mtc25, 4.0},        // 100
    {R::mtc30, 4.0},        // 119.88
    {R::mtc2997d, 4.0},     // 119.88d
    {R::mtc30, 4.0},        // 120
    {R::mtc2997d, 4.0},     // 120d
}};

}  // namespace

std::string_view MTCFrameRate::stringValue() const {
    switch (case_) {
        case mtc24: return "SMPTE-24";
        case mtc25: return "SMPTE-25";
        case mtc2997d: return "SMPTE-29.97d";
        case mtc30: return "SMPTE-30";
    }
    return "SMPTE-30";
}

TimecodeFrameRate MTCFrameRate::directEquivalentFrameRate() const {
    switch (case_) {
        case mtc24: return TFR::_24;
        case mtc25: return TFR::_25;
        case mtc2997d: return TFR::_29_97_drop;
        case mtc30: return TFR::_30;
    }
    return TFR::_30;
}

std::vector<TimecodeFrameRate> MTCFrameRate::derivedFrameRates() const {
    std::vector<TimecodeFrameRate> out;
    for (TimecodeFrameRate rate : TimecodeFrameRate::allCases())
        if (mtcFrameRate(rate) == *this) out.push_back(rate);
    return out;
}

bool MTCFrameRate::isCompatible(TimecodeFrameRate rate) const {
    return mtcFrameRate(rate) == *this;
}

std::optional<double> MTCFrameRate::scaledFrames(int64_t rawMTCFrames, uint8_t quarterFrames,
                                                 TimecodeFrameRate to) const {
    if (!isCompatible(to)) return std::nullopt;
    const double quarter = static_cast<double>(std::min<uint8_t>(quarterFrames, 7)) * 0.25;
    const double frames = static_cast<double>(std::max<int64_t>(rawMTCFrames, 0)) + quarter;
    if (to == directEquivalentFrameRate()) return frames;
    double scaled = frames * mtcScaleFactor(to);
    if (to == TFR::_24_98 && scaled > 0) scaled += 0.24;
    return scaled;
}

MTCFrameRate mtcFrameRate(TimecodeFrameRate rate) {
    return mappings[rate.index()].mtc;
}

double mtcScaleFactor(TimecodeFrameRate rate) {
    return mappings[rate.index()].scale;
}

MTCFramePosition mtcFrames(TimecodeFrameRate rate, double scaledFrames) {
    // A count beyond 100 days of frames is no position of any timecode; refusing it also keeps the
    // conversions to integers below defined.
    const double limit = static_cast<double>(rate.maxTotalFrames(timecode::UpperLimit::_100days));
    if (!(scaledFrames >= 0 && scaledFrames <= limit))
        throw MTCError(MTCError::Case::invalidFrameCount,
                       "The frame count " + std::to_string(scaledFrames) + " is not a position within 100 days at " +
                           std::string(rate.rawValue()) + " fps.");
    double divisor = mtcScaleFactor(rate);
    // 24.98 is carried as 24 fps MTC slightly slower than the 25/24 ratio.
    if (rate == TFR::_24_98) divisor -= 0.001;
    const double x = scaledFrames / divisor;
    const double r = std::fmod(x, 2.0);
    return {static_cast<int64_t>(x - r), static_cast<uint8_t>(r * 4)};
}

std::string_view MTCDirection::stringValue() const {
    switch (case_) {
        case forwards: return "forwards";
        case backwards: return "backwards";
        case ambiguous: return "ambiguous";
    }
    return "ambiguous";
}

std::string_view toString(MTCMessageType type) {
    return type == MTCMessageType::fullFrame ? "fullFrame" : "quarterFrame";
}

Timecode mtcTimecode(TimecodeFrameRate rate) {
    return Timecode(rate, timecode::UpperLimit::_24hours, timecode::SubFramesBase::_100SubFrames,
                    Timecode::defaultStringFormat);
}

}  // namespace midisync
