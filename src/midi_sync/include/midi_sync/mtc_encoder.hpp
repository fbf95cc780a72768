// Turns a position into MIDI Timecode: one full-frame message on demand, and one quarter-frame
// message per step of a stream that a clock (the generator's timer) drives.
//
//     MTCEncoder encoder([](const std::vector<MIDIEvent>& events) { send(events); });
//     encoder.locate(Timecode::fromComponents({.h = 1, .f = 10}, TimecodeFrameRate::_30),
//                    MTCEncoder::FullFrameBehavior::always);  // F0 7F 7F 01 01 61 00 00 0A F7
//     encoder.increment();                                     // F1 0A (piece 0)
//     encoder.increment();                                     // F1 10 (piece 1)
//
// The position is kept in MTC terms: the MTC frame that starts the current two-frame cycle and
// the index of the next piece to send. The first step after a locate sends the located piece
// itself. Each message goes to the output handler as a batch of one; with no handler it is dropped.
// One caller at a time: the generator calls it only on its own queue.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "midi_core/event_interfaces.hpp"
#include "midi_core/thread_safe_access.hpp"
#include "midi_sync/mtc_types.hpp"

namespace midisync {

class MTCEncoder : public midicore::SendsMIDIEvents {
  public:
    using Components = Timecode::Components;
    using MIDIEvent = midicore::MIDIEvent;

    // Whether a locate sends a full frame.
    enum class FullFrameBehavior : uint8_t { always, ifDifferent, never };

    // The full frame sent last, until the next quarter frame.
    struct TransmittedFullFrame {
        Components mtcComponents;
        MTCFrameRate mtcFrameRate;
        friend bool operator==(const TransmittedFullFrame&, const TransmittedFullFrame&) = default;
    };

    explicit MTCEncoder(MIDIOutHandler midiOutHandler = {});

    // The position as a timecode at the local rate (24-hour limit, 100 subframes); all zero when
    // the local rate is not carried at the MTC rate.
    Timecode timecode() const;

    // Hours, minutes, seconds and MTC frames (days kept, subframes 0). Setting refuses components
    // outside 0...255 with MTCError::invalidComponents.
    Components mtcComponents() const { return mtcComponents_.wrappedValue(); }
    void setMTCComponents(const Components& components);
    // The index (0-7) of the next piece to send; setting refuses an index above 7.
    uint8_t mtcQuarterFrame() const { return mtcQuarterFrame_.wrappedValue(); }
    void setMTCQuarterFrame(uint8_t index);
    MTCFrameRate mtcFrameRate() const { return mtcFrameRate_; }
    TimecodeFrameRate localFrameRate() const { return localFrameRate_; }
    std::optional<TransmittedFullFrame> lastTransmitFullFrame() const { return lastTransmitFullFrame_; }

    // Moves to a position and restarts the stream; the frame rate, when given, becomes the local
    // rate. Throws MTCError (and changes nothing) when hours, minutes, seconds, frames or days lie
    // outside 0...255.
    void locate(const Timecode& timecode, FullFrameBehavior transmitFullFrame = FullFrameBehavior::always);
    void locate(const Components& components, std::optional<TimecodeFrameRate> frameRate = std::nullopt,
                FullFrameBehavior transmitFullFrame = FullFrameBehavior::always);

    // One quarter frame forwards or backwards, and its message. A cycle step whose position is no
    // valid timecode at the MTC rate does nothing.
    void increment();
    void decrement();

    // Sends the full frame of the current position.
    void sendFullFrameMIDIMessage();

    // The full-frame message of the current position (pieces 4-7 name the cycle's second frame)
    // and the components it carries; an active-sensing message when a value does not fit in seven
    // bits.
    std::pair<MIDIEvent, Components> generateFullFrameMIDIMessage() const;
    // The quarter-frame message of the next piece.
    MIDIEvent generateQuarterFrameMIDIMessage() const;

  private:
    void step(int direction);

    midicore::ThreadSafeAccess<Components> mtcComponents_{Components{}};
    TimecodeFrameRate localFrameRate_ = TimecodeFrameRate::_30;
    MTCFrameRate mtcFrameRate_ = MTCFrameRate::mtc30;
    midicore::ThreadSafeAccess<uint8_t> mtcQuarterFrame_{0};
    midicore::ThreadSafeAccess<bool> streamHasStartedSinceLastLocate_{false};
    std::optional<TransmittedFullFrame> lastTransmitFullFrame_;
};

}  // namespace midisync
