#include "midi_sync/mtc_encoder.hpp"

#include <string>

namespace midisync {

namespace {

using midicore::MIDIEvent;
using midicore::UInt7;

void checkComponents(const Timecode::Components& c) {
    const auto fits = [](int64_t v) { return v >= 0 && v <= 255; };
    if (!(fits(c.d) && fits(c.h) && fits(c.m) && fits(c.s) && fits(c.f)))
        throw MTCError(MTCError::Case::invalidComponents,
                       "MIDI Timecode carries days, hours, minutes, seconds and frames of 0...255 only, not " +
                           std::to_string(c.d) + ":" + std::to_string(c.h) + ":" + std::to_string(c.m) + ":" +
                           std::to_string(c.s) + ":" + std::to_string(c.f) + ".");
}

}  // namespace

MTCEncoder::MTCEncoder(MIDIOutHandler midiOutHandler) {
    setMIDIOutHandler(std::move(midiOutHandler));
}

Timecode MTCEncoder::timecode() const {
    const Components c = mtcComponents();
    const auto scaled = mtcFrameRate_.scaledFrames(c.f, mtcQuarterFrame(), localFrameRate_);
    Timecode tc = mtcTimecode(localFrameRate_);
    if (!scaled) return tc;
    tc.setWrapping(Components{c.d, c.h, c.m, c.s, static_cast<int64_t>(*scaled), 0});
    return tc;
}

void MTCEncoder::setMTCComponents(const Components& components) {
    checkComponents(components);
    mtcComponents_.setWrappedValue(components);
}

void MTCEncoder::setMTCQuarterFrame(uint8_t index) {
    if (index > 7)
        throw MTCError(MTCError::Case::invalidComponents,
                       "A quarter-frame index is 0...7, not " + std::to_string(index) + ".");
    mtcQuarterFrame_.setWrappedValue(index);
}

void MTCEncoder::locate(const Timecode& timecode, FullFrameBehavior transmitFullFrame) {
    locate(timecode.components(), timecode.frameRate, transmitFullFrame);
}

void MTCEncoder::locate(const Components& components, std::optional<TimecodeFrameRate> frameRate,
                        FullFrameBehavior transmitFullFrame) {
    checkComponents(components);
    const TimecodeFrameRate local = frameRate.value_or(localFrameRate_);
    const MTCFramePosition position = mtcFrames(local, static_cast<double>(components.f));
    localFrameRate_ = local;
    mtcFrameRate_ = midisync::mtcFrameRate(local);
    mtcComponents_.setWrappedValue({components.d, components.h, components.m, components.s, position.rawMTCFrames, 0});
    mtcQuarterFrame_.setWrappedValue(position.rawMTCQuarterFrames);
    streamHasStartedSinceLastLocate_.setWrappedValue(false);

    switch (transmitFullFrame) {
        case FullFrameBehavior::never: return;
        case FullFrameBehavior::ifDifferent:
            if (lastTransmitFullFrame_) {
                const Components& last = lastTransmitFullFrame_->mtcComponents;
                if (last.h == components.h && last.m == components.m && last.s == components.s &&
                    last.f == position.rawMTCFrames + (position.rawMTCQuarterFrames >> 2) &&
                    lastTransmitFullFrame_->mtcFrameRate == mtcFrameRate_)
                    return;
            }
            break;
        case FullFrameBehavior::always: break;
    }
    sendFullFrameMIDIMessage();
}

void MTCEncoder::increment() { step(+1); }
void MTCEncoder::decrement() { step(-1); }

void MTCEncoder::step(int direction) {
    if (streamHasStartedSinceLastLocate_.wrappedValue()) {
        const uint8_t index = mtcQuarterFrame();
        const bool crossesCycle = direction > 0 ? index == 7 : index == 0;
        if (!crossesCycle) {
            mtcQuarterFrame_.setWrappedValue(static_cast<uint8_t>(index + direction));
        } else {
            Timecode tc = mtcTimecode(mtcFrameRate_.directEquivalentFrameRate());
            try {
                tc.set(mtcComponents());
            } catch (const Timecode::ValidationError&) {
                return;  // no valid position to step from
            }
            if (direction > 0)
                tc.add({.f = 2}, Timecode::LimitBehavior::wrapping);
            else
                tc.subtract({.f = 2}, Timecode::LimitBehavior::wrapping);
            mtcComponents_.setWrappedValue(tc.components());
            mtcQuarterFrame_.setWrappedValue(direction > 0 ? 0 : 7);
        }
    }
    // The state is final before the message leaves, so that a handler that locates the encoder
    // again is not undone by this step.
    const MIDIEvent message = generateQuarterFrameMIDIMessage();
    lastTransmitFullFrame_.reset();
    streamHasStartedSinceLastLocate_.setWrappedValue(true);
    midiOut(message);
}

void MTCEncoder::sendFullFrameMIDIMessage() {
    auto [event, components] = generateFullFrameMIDIMessage();
    lastTransmitFullFrame_ = TransmittedFullFrame{components, mtcFrameRate_};
    midiOut(event);
}

std::pair<MIDIEvent, MTCEncoder::Components> MTCEncoder::generateFullFrameMIDIMessage() const {
    const Components c = mtcComponents();
    const uint8_t quarter = mtcQuarterFrame();
    // Components are 0...255 by construction, so the sum cannot overflow.
    const int64_t frame = c.f + (quarter >> 2);
    const Components carried{c.d, c.h, c.m, c.s, frame, c.sf};
    const auto seven = [](int64_t v) { return v >= 0 && v <= 0x7F; };
    if (!(c.h >= 0 && seven(c.m) && seven(c.s) && seven(frame)))
        return {MIDIEvent::activeSensing(), carried};
    std::vector<uint8_t> data{wire::hoursByte(c.h, mtcFrameRate_), static_cast<uint8_t>(c.m),
                              static_cast<uint8_t>(c.s), static_cast<uint8_t>(frame)};
    return {MIDIEvent::universalSysEx7(MIDIEvent::UniversalSysExType::realTime, UInt7(wire::fullFrameDeviceID),
                                       UInt7(wire::fullFrameSubID1), UInt7(wire::fullFrameSubID2), std::move(data)),
            carried};
}

MIDIEvent MTCEncoder::generateQuarterFrameMIDIMessage() const {
    const Components c = mtcComponents();
    const uint8_t index = mtcQuarterFrame() & 0x07;
    const uint8_t nibble = wire::quarterFrameNibble(index, c.h, c.m, c.s, c.f, mtcFrameRate_);
    return MIDIEvent::timecodeQuarterFrame(UInt7(static_cast<uint8_t>(index << 4 | nibble)));
}

}  // namespace midisync
