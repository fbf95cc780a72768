// Chases an incoming MIDI Timecode stream: decodes it, keeps the latest timecode, and decides when
// the stream is locked (`sync`), about to lock (`preSync`), paused (`freewheeling`), stopped
// (`idle`) or at a rate the local rate cannot follow (`incompatibleFrameRate`).
//
//     auto receiver = MTCReceiver::make("in", TimecodeFrameRate::_30, std::nullopt,
//         [](const Timecode& tc, MTCMessageType, MTCDirection, bool displayNeedsUpdate) { ... },
//         [](const MTCReceiver::State& state) { ... });
//     receiver->midiIn(event);     // from any thread
//
// Input is handled on the receiver's own serial queue; a 200 Hz timer watches for drop-outs while
// quarter frames arrive. Both client handlers run on the main queue, in the order things happened.
// The thresholds are a SyncPolicy counted in frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "dispatch/queue.hpp"
#include "dispatch/timer.hpp"
#include "midi_core/event_interfaces.hpp"
#include "midi_core/thread_safe_access.hpp"
#include "midi_support/safe_dispatch_timer.hpp"
#include "midi_sync/mtc_decoder.hpp"
#include "timecode/encoding.hpp"

namespace midisync {

class MTCReceiver : public midicore::ReceivesMIDIEvents, public std::enable_shared_from_this<MTCReceiver> {
  public:
    using MIDIEvent = midicore::MIDIEvent;

    class State {
      public:
        enum class Case : uint8_t { preSync, idle, sync, freewheeling, incompatibleFrameRate };

        // Waiting to lock: when the lock is expected and at which incoming timecode.
        static State preSync(dispatch::TimePoint predictedLockTime, Timecode lockTimecode) {
            return State(PreSync{predictedLockTime, std::move(lockTimecode)});
        }
        static State idle() { return State(Case::idle); }
        static State sync() { return State(Case::sync); }
        static State freewheeling() { return State(Case::freewheeling); }
        static State incompatibleFrameRate() { return State(Case::incompatibleFrameRate); }

        Case stateCase() const;
        // The pre-sync payload; none for the other cases.
        std::optional<dispatch::TimePoint> predictedLockTime() const;
        std::optional<Timecode> lockTimecode() const;
        // "preSync", "idle", "chasing" (sync), "freewheeling", "incompatibleFrameRate".
        std::string_view description() const;

        // Same case and, for preSync, equal times and equal timecodes.
        friend bool operator==(const State& a, const State& b);

      private:
        struct PreSync {
            dispatch::TimePoint predictedLockTime;
            Timecode lockTimecode;
        };
        explicit State(PreSync p) : value_(std::move(p)) {}
        explicit State(Case c) : value_(c) {}
        std::variant<Case, PreSync> value_;
    };

    // How many sequential frames lock the stream and how many frames of silence drop it out.
    struct SyncPolicy {
        int64_t lockFrames = 16;
        int64_t dropOutFrames = 10;

        SyncPolicy() = default;
        // Each value held to 0...100.
        SyncPolicy(int64_t lockFrames, int64_t dropOutFrames);
        // The values as stored (as a decoded policy keeps them), unclamped.
        static SyncPolicy unclamped(int64_t lockFrames, int64_t dropOutFrames);

        // The real time of that many frames at `rate`, wrapping at 24 hours.
        double lockDuration(TimecodeFrameRate rate) const;
        double dropOutDuration(TimecodeFrameRate rate) const;

        // The coded form: a keyed record {"lockFrames": n, "dropOutFrames": n} of plain integers,
        // written through any JSON-style writer (beginObject, key, value, endObject).
        template <class Writer>
        void encode(Writer& w) const {
            w.beginObject();
            w.key("lockFrames");
            w.value(lockFrames);
            w.key("dropOutFrames");
            w.value(dropOutFrames);
            w.endObject();
        }
        // Reads the coded form back as stored (decoding does not clamp). Throws
        // timecode::TimecodeDecodingError for a value that is not such a record.
        static SyncPolicy decode(const timecode::JSONValue& value);
        static SyncPolicy decode(std::string_view json);

        friend bool operator==(const SyncPolicy&, const SyncPolicy&) = default;
    };

    using TimecodeChangedHandler = MTCDecoder::TimecodeChangedHandler;
    using StateChangedHandler = std::function<void(const State& state)>;

    // `name` labels the queue ("voreduv.mtcreceiver." and the name; a new UUID when none is given).
    // `service` drives the drop-out timer and is the clock of every time the receiver measures
    // (the system clock when none).
    static std::shared_ptr<MTCReceiver> make(std::optional<std::string> name = std::nullopt,
                                             std::optional<TimecodeFrameRate> initialLocalFrameRate = std::nullopt,
                                             std::optional<SyncPolicy> syncPolicy = std::nullopt,
                                             TimecodeChangedHandler timecodeChanged = {},
                                             StateChangedHandler stateChanged = {},
                                             std::shared_ptr<dispatch::TimerService> service = nullptr);
    ~MTCReceiver() override;
    MTCReceiver(const MTCReceiver&) = delete;
    MTCReceiver& operator=(const MTCReceiver&) = delete;

    const std::string& name() const { return name_; }
    const std::shared_ptr<dispatch::Queue>& queue() const { return queue_; }

    State state() const { return state_.wrappedValue(); }
    // Stores the state; a state other than the previous one is announced on the main queue.
    void setState(State state);
    Timecode timecode() const { return timecode_.wrappedValue(); }
    void setTimecode(Timecode timecode) { timecode_.setWrappedValue(std::move(timecode)); }
    SyncPolicy syncPolicy() const { return syncPolicy_.wrappedValue(); }
    void setSyncPolicy(SyncPolicy policy) { syncPolicy_.setWrappedValue(policy); }

    TimecodeChangedHandler timecodeChangedHandler() const { return timecodeChanged_.wrappedValue(); }
    void setTimecodeChangedHandler(TimecodeChangedHandler handler) { timecodeChanged_.setWrappedValue(std::move(handler)); }
    StateChangedHandler stateChangedHandler() const { return stateChanged_.wrappedValue(); }
    void setStateChangedHandler(StateChangedHandler handler) { stateChanged_.setWrappedValue(std::move(handler)); }

    // The decoder's values, read and written on the receiver's queue.
    std::optional<TimecodeFrameRate> localFrameRate() const;
    void setLocalFrameRate(std::optional<TimecodeFrameRate> rate);
    MTCFrameRate mtcFrameRate() const;
    MTCDirection direction() const;

    // Hands events to the decoder on the receiver's queue and returns once they are handled.
    void midiIn(const MIDIEvent& event) override;
    void midiIn(const std::vector<MIDIEvent>& events) override;

  private:
    MTCReceiver(std::string name, std::optional<TimecodeFrameRate> initialLocalFrameRate,
                std::optional<SyncPolicy> syncPolicy, std::shared_ptr<dispatch::TimerService> service);
    template <class F>
    auto onQueue(F&& f) const;
    void decoded(const Timecode& tc, MTCMessageType type, MTCDirection direction, bool displayNeedsUpdate);
    void tick();

    std::string name_;
    midicore::ThreadSafeAccess<State> state_{State::idle()};
    midicore::ThreadSafeAccess<Timecode> timecode_;
    midicore::ThreadSafeAccess<SyncPolicy> syncPolicy_;
    midicore::ThreadSafeAccess<TimecodeChangedHandler> timecodeChanged_{TimecodeChangedHandler()};
    midicore::ThreadSafeAccess<StateChangedHandler> stateChanged_{StateChangedHandler()};
    std::shared_ptr<dispatch::TimerService> service_;
    std::shared_ptr<dispatch::Queue> queue_;
    // Used on the queue only, as the fields below.
    MTCDecoder decoder_;
    dispatch::TimePoint timeLastQuarterFrameReceived_{};
    Timecode freewheelPreviousTimecode_;
    int64_t freewheelSequentialFrames_ = 0;
    std::unique_ptr<midisupport::SafeDispatchTimer> timer_;
};

}  // namespace midisync
