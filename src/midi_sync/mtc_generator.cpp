#include "midi_sync/mtc_generator.hpp"

#include <algorithm>
#include <cmath>

#include "uuid.hpp"

namespace midisync {

using namespace std::chrono_literals;
using midisupport::SafeDispatchTimer;

template <class F>
auto MTCGenerator::onQueue(F&& f) const {
    // Called from the output handler, the work is already on the queue: run it in place.
    if (queue_->isCurrent()) return f();
    return queue_->sync(std::forward<F>(f));
}

std::shared_ptr<MTCGenerator> MTCGenerator::make(std::optional<std::string> name, MIDIOutHandler midiOutHandler,
                                                 std::shared_ptr<dispatch::TimerService> service) {
    std::shared_ptr<MTCGenerator> generator(
        new MTCGenerator(name ? std::move(*name) : detail::newUUIDString(),
                         service ? std::move(service) : dispatch::TimerService::system()));
    generator->setMIDIOutHandler(std::move(midiOutHandler));
    const std::weak_ptr<MTCGenerator> weak = generator;
    generator->timer_->setEventHandler([weak] {
        if (const auto self = weak.lock()) self->encoder_.increment();
    });
    generator->encoder_.setMIDIOutHandler([weak](const std::vector<midicore::MIDIEvent>& events) {
        if (const auto self = weak.lock()) self->midiOut(events);
    });
    return generator;
}

MTCGenerator::MTCGenerator(std::string name, std::shared_ptr<dispatch::TimerService> service)
    : name_(std::move(name)),
      service_(std::move(service)),
      queue_(dispatch::Queue::makeSerial("voreduv.mtcgenerator." + name_, dispatch::QoS::userInitiated)),
      timer_(std::make_unique<SafeDispatchTimer>(SafeDispatchTimer::Rate::seconds(1.0), queue_, 0ns, nullptr,
                                                 service_)) {}

MTCGenerator::~MTCGenerator() = default;

MTCFrameRate MTCGenerator::mtcFrameRate() const {
    return onQueue([this] { return encoder_.mtcFrameRate(); });
}

TimecodeFrameRate MTCGenerator::localFrameRate() const {
    return onQueue([this] { return encoder_.localFrameRate(); });
}

Timecode MTCGenerator::timecode() const {
    return onQueue([this] { return encoder_.timecode(); });
}

double MTCGenerator::quarterFrameInterval(TimecodeFrameRate rate) {
    using C = TimecodeFrameRate::Case;
    switch (rate.rateCase()) {
        case C::_23_976: case C::_47_952: case C::_95_904: return 0.010427083333333333;
        case C::_24: case C::_48: case C::_96: return 0.010416666666666666;
        case C::_24_98: return 0.010009999999999998;
        case C::_25: case C::_50: case C::_100: return 0.01;
        case C::_30: case C::_60: case C::_120: return 0.008333333333333333;
        default: return 0.008341666666666666;  // the 29.97 family, drop and non-drop, and 30d
    }
}

void MTCGenerator::setTimerRate(TimecodeFrameRate rate) {
    timer_->setRate(SafeDispatchTimer::Rate::seconds(quarterFrameInterval(rate)));
}

void MTCGenerator::locate(const Timecode& timecode) {
    onQueue([&] {
        encoder_.locate(timecode, locateBehavior());
        setTimerRate(encoder_.localFrameRate());
    });
}

void MTCGenerator::locate(const Components& components) {
    onQueue([&] {
        encoder_.locate(components, std::nullopt, locateBehavior());
        setTimerRate(encoder_.localFrameRate());
    });
}

void MTCGenerator::locateAndStart(const Components& now, std::optional<TimecodeFrameRate> frameRate) {
    encoder_.locate(now, frameRate, MTCEncoder::FullFrameBehavior::never);
    if (state() == State::generating) timer_->suspend();
    state_.setWrappedValue(State::generating);
    setTimerRate(encoder_.localFrameRate());
    // The first tick comes at once and sends the located piece.
    timer_->restart(true);
}

void MTCGenerator::start(const Timecode& now) {
    if (now.subFrames == 0) {
        onQueue([&] {
            startGeneration_.modify([](uint64_t& g) { ++g; });
            shouldStart_.setWrappedValue(true);
            locateAndStart(now.components(), now.frameRate);
        });
        return;
    }
    double seconds = 0;
    try {
        seconds = now.realTimeValue();
    } catch (const Timecode::ValidationError&) {
        return;  // no real time: nothing to start
    }
    start(seconds, now.frameRate);
}

bool MTCGenerator::start(double realTimeSeconds, TimecodeFrameRate frameRate) {
    const dispatch::TimePoint now = service_->now();
    const uint64_t generation = onQueue([this] {
        shouldStart_.setWrappedValue(true);
        return startGeneration_.modify([](uint64_t& g) { return ++g; });
    });
    Timecode tc = mtcTimecode(frameRate);
    try {
        tc.set(timecode::RealTime{realTimeSeconds});
    } catch (const Timecode::ValidationError&) {
        return false;
    }
    if (tc.subFrames == 0) {
        onQueue([&] { locateAndStart(tc.components(), frameRate); });
        return true;
    }

    // Between two frames: start at the next whole one. The wait is the rest of the current frame,
    // measured from the frame's own start, so it lies within one frame duration also where the
    // next frame wraps to midnight.
    Timecode whole = tc;
    whole.subFrames = 0;
    const Timecode next = whole.adding({.f = 1}, Timecode::LimitBehavior::wrapping);
    const double frameDuration = 1.0 / frameRate.rate().doubleValue();
    const double delay = std::clamp(whole.realTimeValue() + frameDuration - realTimeSeconds, 0.0, frameDuration);
    const auto deadline =
        dispatch::saturatingAdd(now, dispatch::Duration(static_cast<int64_t>(std::llround(delay * 1e9))));
    const std::weak_ptr<MTCGenerator> weak = weak_from_this();
    service_->enqueueAt(deadline, queue_, [weak, generation, components = next.components(), frameRate] {
        const auto self = weak.lock();
        if (!self || !self->shouldStart_.wrappedValue() || self->startGeneration_.wrappedValue() != generation) return;
        self->locateAndStart(components, frameRate);
    });
    return true;
}

void MTCGenerator::start(const Components& now, TimecodeFrameRate frameRate, Timecode::SubFramesBase base) {
    onQueue([this] { shouldStart_.setWrappedValue(true); });
    Timecode tc(frameRate, timecode::UpperLimit::_24hours, base, Timecode::defaultStringFormat);
    tc.setRawValues(now);
    start(tc);
}

void MTCGenerator::stop() {
    shouldStart_.setWrappedValue(false);
    startGeneration_.modify([](uint64_t& g) { ++g; });
    onQueue([this] {
        state_.setWrappedValue(State::idle);
        timer_->suspend();
    });
}

std::string_view toString(MTCGenerator::State state) {
    return state == MTCGenerator::State::idle ? "idle" : "generating";
}

}  // namespace midisync
