#include "midi_file/smpte_offset.hpp"

#include <algorithm>
#include <cmath>

#include "hashing.hpp"
#include "meta_codec.hpp"
#include "midi_support/number_text.hpp"

namespace midifile {

namespace {

using timecode::Timecode;
using timecode::TimecodeFrameRate;
using Rate = MIDIFileSMPTEOffsetFrameRate;
using Reason = DecodeFailure::Reason;
using Field = DecodeFailure::SMPTEField;

uint8_t clamped(int64_t value, int64_t upper) {
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, upper));
}

int64_t lastFrame(Rate rate) {
    switch (rate) {
        case Rate::_24fps:
            return 23;
        case Rate::_25fps:
            return 24;
        case Rate::_2997dfps:
        case Rate::_30fps:
            return 29;
    }
    return 29;
}

DecodeFailure outOfBounds(Field field, int64_t value) {
    return DecodeFailure(Reason::smpteFieldOutOfBounds, static_cast<int64_t>(field), value);
}

}  // namespace

TimecodeFrameRate timecodeFrameRate(Rate rate) {
    switch (rate) {
        case Rate::_24fps:
            return TimecodeFrameRate::_24;
        case Rate::_25fps:
            return TimecodeFrameRate::_25;
        case Rate::_2997dfps:
            return TimecodeFrameRate::_29_97_drop;
        case Rate::_30fps:
            return TimecodeFrameRate::_30;
    }
    return TimecodeFrameRate::_30;
}

Rate midiFileSMPTEOffsetRate(TimecodeFrameRate rate) {
    using C = TimecodeFrameRate::Case;
    switch (rate.rateCase()) {
        case C::_23_976:
        case C::_24:
        case C::_24_98:
        case C::_47_952:
        case C::_48:
        case C::_95_904:
        case C::_96:
            return Rate::_24fps;
        case C::_25:
        case C::_50:
        case C::_100:
            return Rate::_25fps;
        case C::_29_97_drop:
        case C::_30_drop:
        case C::_59_94_drop:
        case C::_60_drop:
        case C::_119_88_drop:
        case C::_120_drop:
            return Rate::_2997dfps;
        default:
            return Rate::_30fps;
    }
}

std::pair<std::optional<Timecode>, Rate> scaledToMIDIFileSMPTE(const Timecode& source) {
    const Rate rate = midiFileSMPTEOffsetRate(source.frameRate);
    const TimecodeFrameRate target = timecodeFrameRate(rate);
    try {
        Timecode tc = source;
        if (source.frameRate.rateCase() != target.rateCase()) {
            tc = Timecode::fromRealTime(source.realTimeValue(), target, source.upperLimit,
                                        source.subFramesBase, source.stringFormat);
        }
        if (tc.subFramesBase == Timecode::SubFramesBase::_100SubFrames) return {tc, rate};
        const double divisor =
            tc.subFramesBase == Timecode::SubFramesBase::_80SubFrames ? 80.0 : 4.0;
        const double scaled = std::trunc(static_cast<double>(tc.subFrames) / divisor * 100.0);
        Timecode::Components c = tc.components();
        c.sf = static_cast<int64_t>(scaled);
        return {Timecode::fromComponents(c, target, Timecode::UpperLimit::_24hours,
                                         Timecode::SubFramesBase::_100SubFrames),
                rate};
    } catch (const std::exception&) {
        return {std::nullopt, rate};
    }
}

SMPTEOffset::SMPTEOffset(uint8_t hours, uint8_t minutes, uint8_t seconds, uint8_t frames,
                         uint8_t subframes, FrameRate frameRate)
    : frameRate_(frameRate) {
    setHours(hours);
    setMinutes(minutes);
    setSeconds(seconds);
    setFrames(frames);
    setSubframes(subframes);
}

SMPTEOffset::SMPTEOffset(const Timecode& scaling) {
    const auto [tc, rate] = scaledToMIDIFileSMPTE(scaling);
    frameRate_ = rate;
    if (!tc) return;
    // Values outside a byte become 0, as the scaling defines; the rest are clamped to the
    // event's ranges so that the hours never run into the rate bits.
    const auto byteOrZero = [](int64_t v) { return v >= 0 && v <= 255 ? v : 0; };
    setHours(byteOrZero(tc->hours));
    setMinutes(byteOrZero(tc->minutes));
    setSeconds(byteOrZero(tc->seconds));
    setFrames(byteOrZero(tc->frames));
    setSubframes(byteOrZero(tc->subFrames));
}

void SMPTEOffset::setHours(int64_t value) { hours_ = clamped(value, 23); }
void SMPTEOffset::setMinutes(int64_t value) { minutes_ = clamped(value, 59); }
void SMPTEOffset::setSeconds(int64_t value) { seconds_ = clamped(value, 59); }
void SMPTEOffset::setFrames(int64_t value) { frames_ = clamped(value, lastFrame(frameRate_)); }
void SMPTEOffset::setSubframes(int64_t value) { subframes_ = clamped(value, 99); }

Timecode::Components SMPTEOffset::components() const {
    return {0, hours_, minutes_, seconds_, frames_, subframes_};
}

Timecode SMPTEOffset::timecode() const {
    return Timecode::rawValues(components(), timecodeFrameRate(frameRate_),
                               Timecode::UpperLimit::_24hours,
                               Timecode::SubFramesBase::_100SubFrames, Timecode::defaultStringFormat);
}

DecodeResult<SMPTEOffset> SMPTEOffset::tryFromRawBytes(std::span<const uint8_t> bytes) {
    const auto values = detail::fixedMetaValueBytes(bytes, smfEventType, 8);
    if (!values) return values.failure();
    const std::span<const uint8_t> v = *values;
    const int hours = v[0] & 0x1F;
    if (hours >= 24) return outOfBounds(Field::hours, hours);
    if (v[1] >= 60) return outOfBounds(Field::minutes, v[1]);
    if (v[2] >= 60) return outOfBounds(Field::seconds, v[2]);
    if (v[3] >= 31) return outOfBounds(Field::frames, v[3]);
    if (v[4] >= 100) return outOfBounds(Field::subframes, v[4]);
    return SMPTEOffset(static_cast<uint8_t>(hours), v[1], v[2], v[3], v[4],
                       static_cast<FrameRate>((v[0] >> 5) & 3));
}

StreamDecodeResult<SMPTEOffset> SMPTEOffset::decode(std::span<const uint8_t> stream) {
    return detail::decodeFixedLength<SMPTEOffset>(stream, 8);
}

std::vector<uint8_t> SMPTEOffset::smfRawBytes() const {
    return detail::fixedMetaBytes(
        smfEventType, {static_cast<uint8_t>((static_cast<uint8_t>(frameRate_) << 5) | hours_),
                       minutes_, seconds_, frames_, subframes_});
}

std::string SMPTEOffset::description() const {
    std::string text = "smpte: ";
    text += std::to_string(hours_);
    for (uint8_t field : {minutes_, seconds_, frames_}) {
        text += ':';
        text += midisupport::decimalString(field, 2);
    }
    text += '.';
    text += std::to_string(subframes_);
    text += " @ ";
    text += midifile::description(frameRate_);
    return text;
}

std::string SMPTEOffset::debugDescription() const { return "SMPTEOffset(" + description() + ")"; }

size_t SMPTEOffset::hash() const {
    detail::Hasher hasher;
    hasher.combine(hours_).combine(minutes_).combine(seconds_).combine(frames_).combine(subframes_)
        .combine(static_cast<uint8_t>(frameRate_));
    return hasher.value();
}

}  // namespace midifile
