// A running MIDI Timecode stream: an encoder driven by a repeating timer, one quarter frame per
// tick, on a serial queue of the generator's own.
//
//     auto generator = MTCGenerator::make("out", [](const std::vector<MIDIEvent>& e) { send(e); });
//     generator->start(Timecode::fromComponents({.h = 1}, TimecodeFrameRate::_30));  // piece 0 at once
//     generator->stop();
//
// A start at a real time between two frames waits for the next whole frame. Every operation may
// be called from any thread, from inside the output handler too; the handler runs on the
// generator's queue. The timer holds the generator weakly: releasing it stops the stream.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dispatch/queue.hpp"
#include "dispatch/timer.hpp"
#include "midi_core/event_interfaces.hpp"
#include "midi_core/thread_safe_access.hpp"
#include "midi_support/safe_dispatch_timer.hpp"
#include "midi_sync/mtc_encoder.hpp"

namespace midisync {

class MTCGenerator : public midicore::SendsMIDIEvents, public std::enable_shared_from_this<MTCGenerator> {
  public:
    using Components = Timecode::Components;

    enum class State : uint8_t { idle, generating };

    // `name` labels the queue ("voreduv.mtcgenerator." and the name; a new UUID when none is
    // given). `service` drives the timer and deferred starts (the system clock when none).
    static std::shared_ptr<MTCGenerator> make(std::optional<std::string> name = std::nullopt,
                                              MIDIOutHandler midiOutHandler = {},
                                              std::shared_ptr<dispatch::TimerService> service = nullptr);
    ~MTCGenerator() override;
    MTCGenerator(const MTCGenerator&) = delete;
    MTCGenerator& operator=(const MTCGenerator&) = delete;

    const std::string& name() const { return name_; }
    State state() const { return state_.wrappedValue(); }
    MTCEncoder::FullFrameBehavior locateBehavior() const { return locateBehavior_.wrappedValue(); }
    void setLocateBehavior(MTCEncoder::FullFrameBehavior behavior) { locateBehavior_.setWrappedValue(behavior); }
    const std::shared_ptr<dispatch::Queue>& queue() const { return queue_; }

    // The encoder's values, read on the generator's queue.
    MTCFrameRate mtcFrameRate() const;
    TimecodeFrameRate localFrameRate() const;
    Timecode timecode() const;

    // Moves the encoder (sending a full frame as `locateBehavior` says) without starting or
    // stopping the stream. Throws MTCError for components MTC cannot carry.
    void locate(const Timecode& timecode);
    void locate(const Components& components);

    // Starts the stream at a timecode: at once when it has no subframes, else at its next whole
    // frame. Throws MTCError for components MTC cannot carry.
    void start(const Timecode& now);
    // Starts the stream at a real time at `frameRate`: at once on a whole frame, else at the next
    // one (midnight follows the day's last frame). Returns false, and starts nothing, when the
    // time is not finite or not within 24 hours at the rate.
    bool start(double realTimeSeconds, TimecodeFrameRate frameRate);
    // Starts at components as they are, with subframes counted in `base`.
    void start(const Components& now, TimecodeFrameRate frameRate, Timecode::SubFramesBase base);

    // Stops the stream; a deferred start that has not begun yet never begins.
    void stop();

    // Seconds per quarter frame at a local rate: a quarter of a frame of its 1x base rate.
    static double quarterFrameInterval(TimecodeFrameRate rate);

  private:
    MTCGenerator(std::string name, std::shared_ptr<dispatch::TimerService> service);
    template <class F>
    auto onQueue(F&& f) const;
    void locateAndStart(const Components& now, std::optional<TimecodeFrameRate> frameRate);
    void setTimerRate(TimecodeFrameRate rate);

    std::string name_;
    midicore::ThreadSafeAccess<State> state_{State::idle};
    midicore::ThreadSafeAccess<bool> shouldStart_{true};
    midicore::ThreadSafeAccess<MTCEncoder::FullFrameBehavior> locateBehavior_{
        MTCEncoder::FullFrameBehavior::ifDifferent};
    // Bumped by every start and stop: a deferred start goes ahead only when nothing came between.
    midicore::ThreadSafeAccess<uint64_t> startGeneration_{0};
    std::shared_ptr<dispatch::TimerService> service_;
    std::shared_ptr<dispatch::Queue> queue_;
    MTCEncoder encoder_;
    std::unique_ptr<midisupport::SafeDispatchTimer> timer_;
};

// "idle", "generating".
std::string_view toString(MTCGenerator::State state);

}  // namespace midisync
