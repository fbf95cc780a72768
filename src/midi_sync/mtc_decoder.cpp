#include "midi_sync/mtc_decoder.hpp"

namespace midisync {

namespace {

// The mask of each piece's bits: low nibbles, then frames bit 4, seconds and minutes bits 4-5,
// hours bit 4.
constexpr uint8_t pieceMask[8] = {0x0F, 0x01, 0x0F, 0x03, 0x0F, 0x03, 0x0F, 0x01};

}  // namespace

MTCDecoder::MTCDecoder(std::optional<TimecodeFrameRate> initialLocalFrameRate, TimecodeChangedHandler timecodeChanged,
                       MTCFrameRateChangedHandler mtcFrameRateChanged)
    : timecode_(mtcTimecode(TimecodeFrameRate::_30)),
      localFrameRate_(initialLocalFrameRate),
      timecodeChanged_(std::move(timecodeChanged)),
      mtcFrameRateChanged_(std::move(mtcFrameRateChanged)) {}

void MTCDecoder::setMTCFrameRate(MTCFrameRate rate) {
    if (rate == mtcFrameRate_) return;
    mtcFrameRate_ = rate;
    if (mtcFrameRateChanged_) mtcFrameRateChanged_(rate);
}

void MTCDecoder::midiIn(const MIDIEvent& event) {
    if (const auto* qf = event.getIf<MIDIEvent::TimecodeQuarterFrame>())
        quarterFrameIn(qf->dataByte.value());
    else if (const auto* sysEx = event.getIf<MIDIEvent::UniversalSysEx7>())
        fullFrameIn(*sysEx);
}

void MTCDecoder::resetQFBuffer() {
    for (bool& r : received_) r = false;
    for (bool& r : rebuilt_) r = false;
    quarterFrameBufferIsComplete_ = false;
    lastQuarterFrameReceived_ = 0;
    receivedSyncQFSinceQFBufferComplete_ = false;
    lastCapturedWholeTimecode_ = {};
    lastCapturedWholeTimecodeDirection_ = MTCDirection::ambiguous;
    lastCapturedWholeTimecodeDeltaQFs_.reset();
    lastTimecodeSentToHandler_ = {};
}

void MTCDecoder::resetTimecode() {
    rawHours_ = rawMinutes_ = rawSeconds_ = rawFrames_ = 0;
    timecode_ = mtcTimecode(localFrameRate_.value_or(mtcFrameRate_.directEquivalentFrameRate()));
}

void MTCDecoder::fullFrameIn(const midicore::events::UniversalSysEx7& sysEx) {
    const auto& data = sysEx.data.bytes();
    if (sysEx.universalType != MIDIEvent::UniversalSysExType::realTime || sysEx.deviceID != wire::fullFrameDeviceID ||
        sysEx.subID1 != wire::fullFrameSubID1 || sysEx.subID2 != wire::fullFrameSubID2 || data.size() != 4)
        return;
    setMTCFrameRate(MTCFrameRate::fromRateCode(static_cast<uint8_t>(data[0] >> 5)));
    rawHours_ = data[0] & 0x1F;
    rawMinutes_ = data[1];
    rawSeconds_ = data[2];
    rawFrames_ = data[3];
    const auto [frames, rate] = localized(rawFrames_, 0, rawFrames_);
    report({0, rawHours_, rawMinutes_, rawSeconds_, frames, 0}, rate, MTCMessageType::fullFrame);
}

void MTCDecoder::quarterFrameIn(uint8_t dataByte) {
    const uint8_t piece = (dataByte >> 4) & 0x07;
    direction_ = MTCDirection::fromQuarterFrames(lastQuarterFrameReceived_, piece);

    if (receivedSyncQFSinceQFBufferComplete_) {
        int64_t& delta = lastCapturedWholeTimecodeDeltaQFs_.emplace(lastCapturedWholeTimecodeDeltaQFs_.value_or(0));
        if (direction_ == MTCDirection::forwards) ++delta;
        if (direction_ == MTCDirection::backwards) --delta;
    }

    // Store the piece; the piece that completes a value in the current direction rebuilds it (the
    // high piece going forwards, the low piece going backwards).
    pieces_[piece] = dataByte & pieceMask[piece];
    received_[piece] = true;
    const bool high = (piece & 1) != 0;
    if ((high && direction_ == MTCDirection::forwards) || (!high && direction_ == MTCDirection::backwards)) {
        const uint8_t low = piece & ~1u;
        const int64_t value = (pieces_[low + 1] << 4) + pieces_[low];
        int64_t* const targets[4] = {&rawFrames_, &rawSeconds_, &rawMinutes_, &rawHours_};
        *targets[piece / 2] = value;
        // A value counts towards a whole time only when both of its halves arrived since the last
        // reset: a stream joined in the middle of a cycle rebuilds its first value from one half.
        if (received_[low] && received_[low + 1]) rebuilt_[piece / 2] = true;
    }
    if (piece == 7) setMTCFrameRate(MTCFrameRate::fromRateCode(static_cast<uint8_t>(dataByte >> 1)));

    if (piece == 0 && bufferIsComplete()) {
        receivedSyncQFSinceQFBufferComplete_ = true;
        const auto delta = lastCapturedWholeTimecodeDeltaQFs_;
        if (!delta || *delta == 8 || *delta == -8) {
            lastCapturedWholeTimecode_ = {0, rawHours_, rawMinutes_, rawSeconds_, rawFrames_, 0};
            lastCapturedWholeTimecodeDirection_ = direction_;
        }
        lastCapturedWholeTimecodeDeltaQFs_ = 0;
    }
    lastQuarterFrameReceived_ = piece;

    if (!(bufferIsComplete() && receivedSyncQFSinceQFBufferComplete_)) return;

    // The capture names the cycle that has just been sent; the stream is two frames further on.
    Components w = lastCapturedWholeTimecode_;
    const int64_t delta = lastCapturedWholeTimecodeDeltaQFs_.value_or(0);
    const bool ahead = delta >= 0 && lastCapturedWholeTimecodeDirection_ != MTCDirection::backwards;
    const bool behind = delta < 0 && lastCapturedWholeTimecodeDirection_ == MTCDirection::backwards;
    if (ahead || behind) {
        Timecode tc = mtcTimecode(mtcFrameRate_.directEquivalentFrameRate());
        try {
            tc.set(w);
            if (ahead)
                tc.add({.f = 2}, Timecode::LimitBehavior::wrapping);
            else
                tc.subtract({.f = 2}, Timecode::LimitBehavior::wrapping);
            w = tc.components();
        } catch (const Timecode::ValidationError&) {
            // Not a valid time at the MTC rate: reported as captured.
        }
    }
    const auto [frames, rate] = localized(w.f, piece, w.f + (piece >= 4 ? 1 : 0));
    Components result{w.d, w.h, w.m, w.s, frames, w.sf};
    // The second frame of the cycle that starts on a second's last frame (or a scaled frame past
    // it) belongs to the next second: carry it there, as long as the captured time itself is a
    // time at all.
    const auto invalid = result.invalidComponents(rate, timecode::UpperLimit::_24hours,
                                                  timecode::SubFramesBase::_100SubFrames);
    if (invalid == timecode::ComponentSet{timecode::Component::frames} && w.f >= 0) {
        Timecode carried = mtcTimecode(rate);
        carried.setWrapping(result);
        result = carried.components();
    }
    report(result, rate, MTCMessageType::quarterFrame);
}

bool MTCDecoder::bufferIsComplete() {
    if (quarterFrameBufferIsComplete_) return true;
    for (bool r : rebuilt_)
        if (!r) return false;
    quarterFrameBufferIsComplete_ = true;
    return true;
}

std::pair<int64_t, TimecodeFrameRate> MTCDecoder::localized(int64_t mtcFrames, uint8_t quarterFrames,
                                                            int64_t unscaledFrames) const {
    if (localFrameRate_) {
        if (const auto scaled = mtcFrameRate_.scaledFrames(mtcFrames, quarterFrames, *localFrameRate_))
            return {static_cast<int64_t>(*scaled), *localFrameRate_};
    }
    return {unscaledFrames, mtcFrameRate_.directEquivalentFrameRate()};
}

void MTCDecoder::report(const Components& components, TimecodeFrameRate rate, MTCMessageType type) {
    timecode_ = mtcTimecode(rate);
    timecode_.setRawValues(components);
    const bool displayNeedsUpdate = components != lastTimecodeSentToHandler_;
    lastTimecodeSentToHandler_ = components;
    if (timecodeChanged_) timecodeChanged_(timecode_, type, direction_, displayNeedsUpdate);
}

}  // namespace midisync
