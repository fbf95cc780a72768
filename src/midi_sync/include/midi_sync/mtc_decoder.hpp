// Turns incoming MIDI Timecode into timecodes. Quarter frames are assembled piece by piece; once
// every value has been rebuilt from both of its pieces, every piece reports the time captured at the last piece 0 plus the two
// frames a cycle takes to send, advancing by one frame at piece 4. Full frames report their time
// at once. Results are scaled to the local frame rate when one is set and carried at the incoming
// MTC rate.
//
//     MTCDecoder decoder(TimecodeFrameRate::_30,
//                        [](const Timecode& tc, MTCMessageType type, MTCDirection direction,
//                           bool displayNeedsUpdate) { ... });
//     decoder.midiIn(event);    // quarter frames and full frames; other events are ignored
//
// No lock and no queue: one caller at a time; the handlers run on that caller's thread inside
// midiIn. Any byte sequence is safe input: what is not MTC is ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "midi_core/event_interfaces.hpp"
#include "midi_sync/mtc_types.hpp"

namespace midisync {

class MTCDecoder : public midicore::ReceivesMIDIEvents {
  public:
    using Components = Timecode::Components;
    using MIDIEvent = midicore::MIDIEvent;
    using TimecodeChangedHandler =
        std::function<void(const Timecode& timecode, MTCMessageType messageType, MTCDirection direction,
                           bool displayNeedsUpdate)>;
    using MTCFrameRateChangedHandler = std::function<void(MTCFrameRate rate)>;

    explicit MTCDecoder(std::optional<TimecodeFrameRate> initialLocalFrameRate = std::nullopt,
                        TimecodeChangedHandler timecodeChanged = {},
                        MTCFrameRateChangedHandler mtcFrameRateChanged = {});

    // The last decoded timecode (24-hour limit, 100 subframes, components as received).
    const Timecode& timecode() const { return timecode_; }
    MTCDirection direction() const { return direction_; }
    MTCFrameRate mtcFrameRate() const { return mtcFrameRate_; }
    // Setting a rate other than the current one calls the rate handler.
    void setMTCFrameRate(MTCFrameRate rate);
    std::optional<TimecodeFrameRate> localFrameRate() const { return localFrameRate_; }
    void setLocalFrameRate(std::optional<TimecodeFrameRate> rate) { localFrameRate_ = rate; }

    void setTimecodeChangedHandler(TimecodeChangedHandler handler) { timecodeChanged_ = std::move(handler); }
    void setMTCFrameRateChangedHandler(MTCFrameRateChangedHandler handler) {
        mtcFrameRateChanged_ = std::move(handler);
    }

    using ReceivesMIDIEvents::midiIn;
    void midiIn(const MIDIEvent& event) override;

    // Forgets the quarter-frame assembly: received pieces, completeness, the capture and the last
    // reported components. The stored bits, raw values, timecode, direction and rate stay.
    void resetQFBuffer();
    // Raw values zero and the timecode zero at the local rate (or the MTC rate's own).
    void resetTimecode();

  private:
    void quarterFrameIn(uint8_t dataByte);
    void fullFrameIn(const midicore::events::UniversalSysEx7& sysEx);
    bool bufferIsComplete();
    // The frames and rate of a result: scaled to the local rate when it is carried at the MTC rate.
    std::pair<int64_t, TimecodeFrameRate> localized(int64_t mtcFrames, uint8_t quarterFrames,
                                                    int64_t unscaledFrames) const;
    void report(const Components& components, TimecodeFrameRate rate, MTCMessageType type);

    Timecode timecode_;
    MTCFrameRate mtcFrameRate_ = MTCFrameRate::mtc30;
    std::optional<TimecodeFrameRate> localFrameRate_;
    MTCDirection direction_ = MTCDirection::forwards;
    TimecodeChangedHandler timecodeChanged_;
    MTCFrameRateChangedHandler mtcFrameRateChanged_;

    // Last bits received for each piece, indexed by piece (frames low, frames high, seconds low,
    // ..., hours high), and whether each piece arrived since the last reset.
    uint8_t pieces_[8] = {};
    bool received_[8] = {};
    // Whether frames, seconds, minutes and hours were each rebuilt from two halves received since
    // the last reset; the buffer is complete once all four were.
    bool rebuilt_[4] = {};
    bool quarterFrameBufferIsComplete_ = false;
    uint8_t lastQuarterFrameReceived_ = 0;
    bool receivedSyncQFSinceQFBufferComplete_ = false;
    int64_t rawHours_ = 0, rawMinutes_ = 0, rawSeconds_ = 0, rawFrames_ = 0;
    Components lastCapturedWholeTimecode_;
    MTCDirection lastCapturedWholeTimecodeDirection_ = MTCDirection::ambiguous;
    std::optional<int64_t> lastCapturedWholeTimecodeDeltaQFs_;
    Components lastTimecodeSentToHandler_;
};

}  // namespace midisync
