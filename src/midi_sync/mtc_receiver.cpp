#include "midi_sync/mtc_receiver.hpp"

#include <algorithm>
#include <cmath>

#include "uuid.hpp"

namespace midisync {

using namespace std::chrono_literals;
using midisupport::SafeDispatchTimer;

namespace {

// The real time of `frames` frames at `rate`, wrapping at 24 hours. The count is first brought
// within one day, so that no count (a decoded policy keeps any) overflows.
double realTimeOfFrames(int64_t frames, TimecodeFrameRate rate) {
    const int64_t day = rate.maxTotalFrames(timecode::UpperLimit::_24hours);
    Timecode tc = mtcTimecode(rate);
    tc.setWrapping(Timecode::Components{.f = frames % day});
    return tc.realTimeValue();
}

dispatch::Duration durationOf(double seconds, double unitsPerSecond) {
    // Truncated to whole units; the durations here are at most a day, far inside the range.
    const double units = std::trunc(seconds * unitsPerSecond);
    return dispatch::Duration(static_cast<int64_t>(units * (1e9 / unitsPerSecond)));
}

}  // namespace

// ---- State ----

MTCReceiver::State::Case MTCReceiver::State::stateCase() const {
    if (std::holds_alternative<PreSync>(value_)) return Case::preSync;
    return std::get<Case>(value_);
}

std::optional<dispatch::TimePoint> MTCReceiver::State::predictedLockTime() const {
    if (const auto* p = std::get_if<PreSync>(&value_)) return p->predictedLockTime;
    return std::nullopt;
}

std::optional<Timecode> MTCReceiver::State::lockTimecode() const {
    if (const auto* p = std::get_if<PreSync>(&value_)) return p->lockTimecode;
    return std::nullopt;
}

std::string_view MTCReceiver::State::description() const {
    switch (stateCase()) {
        case Case::preSync: return "preSync";
        case Case::idle: return "idle";
        case Case::sync: return "chasing";
        case Case::freewheeling: return "freewheeling";
        case Case::incompatibleFrameRate: return "incompatibleFrameRate";
    }
    return "idle";
}

bool operator==(const MTCReceiver::State& a, const MTCReceiver::State& b) {
    if (a.stateCase() != b.stateCase()) return false;
    const auto* p = std::get_if<MTCReceiver::State::PreSync>(&a.value_);
    const auto* q = std::get_if<MTCReceiver::State::PreSync>(&b.value_);
    if (!p || !q) return true;
    return p->predictedLockTime == q->predictedLockTime && p->lockTimecode == q->lockTimecode;
}

// ---- SyncPolicy ----

MTCReceiver::SyncPolicy::SyncPolicy(int64_t lock, int64_t dropOut)
    : lockFrames(std::clamp<int64_t>(lock, 0, 100)), dropOutFrames(std::clamp<int64_t>(dropOut, 0, 100)) {}

MTCReceiver::SyncPolicy MTCReceiver::SyncPolicy::unclamped(int64_t lock, int64_t dropOut) {
    SyncPolicy policy;
    policy.lockFrames = lock;
    policy.dropOutFrames = dropOut;
    return policy;
}

MTCReceiver::SyncPolicy MTCReceiver::SyncPolicy::decode(const timecode::JSONValue& value) {
    using timecode::TimecodeDecodingError;
    if (!std::holds_alternative<std::shared_ptr<timecode::JSONValue::Object>>(value.value))
        throw TimecodeDecodingError(TimecodeDecodingError::Case::typeMismatch,
                                    "Expected to decode a keyed record for SyncPolicy but found another value.");
    auto integer = [&](std::string_view key) {
        const timecode::JSONValue* member = value.member(key);
        if (member == nullptr)
            throw TimecodeDecodingError(TimecodeDecodingError::Case::keyNotFound,
                                        "No value associated with key \"" + std::string(key) + "\".");
        const int64_t* number = std::get_if<int64_t>(&member->value);
        if (number == nullptr)
            throw TimecodeDecodingError(TimecodeDecodingError::Case::typeMismatch,
                                        "Expected to decode Int for " + std::string(key) + " but found another value.");
        return *number;
    };
    return unclamped(integer("lockFrames"), integer("dropOutFrames"));
}

MTCReceiver::SyncPolicy MTCReceiver::SyncPolicy::decode(std::string_view json) {
    return decode(timecode::parseJSON(json));
}

double MTCReceiver::SyncPolicy::lockDuration(TimecodeFrameRate rate) const {
    return realTimeOfFrames(lockFrames, rate);
}

double MTCReceiver::SyncPolicy::dropOutDuration(TimecodeFrameRate rate) const {
    return realTimeOfFrames(dropOutFrames, rate);
}

// ---- MTCReceiver ----

template <class F>
auto MTCReceiver::onQueue(F&& f) const {
    if (queue_->isCurrent()) return f();
    return queue_->sync(std::forward<F>(f));
}

std::shared_ptr<MTCReceiver> MTCReceiver::make(std::optional<std::string> name,
                                               std::optional<TimecodeFrameRate> initialLocalFrameRate,
                                               std::optional<SyncPolicy> syncPolicy,
                                               TimecodeChangedHandler timecodeChanged, StateChangedHandler stateChanged,
                                               std::shared_ptr<dispatch::TimerService> service) {
    std::shared_ptr<MTCReceiver> receiver(
        new MTCReceiver(name ? std::move(*name) : detail::newUUIDString(), initialLocalFrameRate, syncPolicy,
                        service ? std::move(service) : dispatch::TimerService::system()));
    const std::weak_ptr<MTCReceiver> weak = receiver;
    receiver->timer_->setEventHandler([weak] {
        const auto self = weak.lock();
        if (!self) return;
        self->queue_->async([weak] {
            if (const auto receiver = weak.lock()) receiver->tick();
        });
    });
    receiver->setTimecodeChangedHandler(std::move(timecodeChanged));
    receiver->setStateChangedHandler(std::move(stateChanged));
    return receiver;
}

MTCReceiver::MTCReceiver(std::string name, std::optional<TimecodeFrameRate> initialLocalFrameRate,
                         std::optional<SyncPolicy> syncPolicy, std::shared_ptr<dispatch::TimerService> service)
    : name_(std::move(name)),
      timecode_(mtcTimecode(initialLocalFrameRate.value_or(TimecodeFrameRate::_30))),
      syncPolicy_(syncPolicy.value_or(SyncPolicy())),
      service_(std::move(service)),
      queue_(dispatch::Queue::makeSerial("voreduv.mtcreceiver." + name_, dispatch::QoS::userInitiated)),
      decoder_(initialLocalFrameRate),
      freewheelPreviousTimecode_(mtcTimecode(TimecodeFrameRate::_30)),
      timer_(std::make_unique<SafeDispatchTimer>(SafeDispatchTimer::Rate::hertz(200.0), queue_, 0ns, nullptr,
                                                 service_)) {
    decoder_.setTimecodeChangedHandler(
        [this](const Timecode& tc, MTCMessageType type, MTCDirection direction, bool displayNeedsUpdate) {
            decoded(tc, type, direction, displayNeedsUpdate);
        });
}

MTCReceiver::~MTCReceiver() = default;

void MTCReceiver::setState(State state) {
    const State stored = state;
    const bool changed = state_.modify([&](State& current) {
        const bool differs = !(current == state);
        std::swap(current, state);
        return differs;
    });
    if (!changed) return;
    if (auto handler = stateChangedHandler())
        dispatch::Queue::main()->async([handler = std::move(handler), stored] { handler(stored); });
}

std::optional<TimecodeFrameRate> MTCReceiver::localFrameRate() const {
    return onQueue([this] { return decoder_.localFrameRate(); });
}

void MTCReceiver::setLocalFrameRate(std::optional<TimecodeFrameRate> rate) {
    onQueue([&] { decoder_.setLocalFrameRate(rate); });
}

MTCFrameRate MTCReceiver::mtcFrameRate() const {
    return onQueue([this] { return decoder_.mtcFrameRate(); });
}

MTCDirection MTCReceiver::direction() const {
    return onQueue([this] { return decoder_.direction(); });
}

void MTCReceiver::midiIn(const MIDIEvent& event) {
    onQueue([&] { decoder_.midiIn(event); });
}

void MTCReceiver::midiIn(const std::vector<MIDIEvent>& events) {
    onQueue([&] {
        for (const MIDIEvent& event : events) decoder_.midiIn(event);
    });
}

void MTCReceiver::decoded(const Timecode& tc, MTCMessageType type, MTCDirection direction, bool displayNeedsUpdate) {
    const auto local = decoder_.localFrameRate();
    const bool quarterFrame = type == MTCMessageType::quarterFrame;
    // The stream can be followed when the local rate is carried at its MTC rate (the decoder then
    // scales to it). The timecode library's compatible groups are wider: 25 and 30 share one, yet
    // a 30 fps stream gives no 25 fps timecode.
    if (local && !(local->isCompatible(tc.frameRate) && midisync::mtcFrameRate(*local) == midisync::mtcFrameRate(tc.frameRate))) {
        if (!quarterFrame) return;
        setState(State::incompatibleFrameRate());
    } else if (quarterFrame && state().stateCase() == State::Case::incompatibleFrameRate) {
        setState(State::freewheeling());
    }

    if (quarterFrame) {
        timeLastQuarterFrameReceived_ = service_->now();
        if (state().stateCase() == State::Case::idle) setState(State::freewheeling());
        if (!timer_->running()) timer_->restart(true);
    }

    setTimecode(tc);
    if (auto handler = timecodeChangedHandler())
        dispatch::Queue::main()->async([handler = std::move(handler), tc, type, direction, displayNeedsUpdate] {
            handler(tc, type, direction, displayNeedsUpdate);
        });
    if (!quarterFrame) return;

    const TimecodeFrameRate rate = local.value_or(tc.frameRate);
    const SyncPolicy policy = syncPolicy();
    if (state().stateCase() == State::Case::freewheeling) {
        // A decoded timecode holds whatever bytes arrived; arithmetic on one that is no time at
        // all counts as a break in the sequence.
        bool sequential = false;
        try {
            Timecode one = mtcTimecode(rate);
            one.set(Timecode::Components{.f = 1});
            sequential = tc - freewheelPreviousTimecode_ == one;
        } catch (const Timecode::ValidationError&) {
        }
        freewheelSequentialFrames_ = sequential ? freewheelSequentialFrames_ + 1 : 0;
    }

    if (state().stateCase() == State::Case::freewheeling && freewheelSequentialFrames_ <= policy.lockFrames) {
        freewheelSequentialFrames_ = 0;
        const auto predicted =
            dispatch::saturatingAdd(service_->now(), durationOf(policy.lockDuration(rate), 1e6));
        const int64_t day = tc.frameRate.maxTotalFrames(timecode::UpperLimit::_24hours);
        Timecode lock = tc;
        try {
            lock = tc.adding({.f = std::clamp(policy.lockFrames, -day, day)}, Timecode::LimitBehavior::clamping);
        } catch (const Timecode::ValidationError&) {
        }
        setState(State::preSync(predicted, lock));
    } else if (freewheelSequentialFrames_ >= policy.lockFrames && state().stateCase() == State::Case::preSync) {
        setState(State::sync());
    }
    freewheelPreviousTimecode_ = tc;
}

void MTCReceiver::tick() {
    const dispatch::Duration elapsed = service_->now() - timeLastQuarterFrameReceived_;
    const State current = state();
    if (const auto lock = current.lockTimecode(); lock && !(timecode() < *lock)) setState(State::sync());

    const TimecodeFrameRate rate = decoder_.localFrameRate().value_or(TimecodeFrameRate::_30);
    const dispatch::Duration dropOut = durationOf(syncPolicy().dropOutDuration(rate), 1e9);
    if (elapsed >= dropOut) {
        setState(State::idle());
        timer_->suspend();
    } else if (elapsed >= 50ms) {
        decoder_.resetQFBuffer();
        setState(State::freewheeling());
    }
}

}  // namespace midisync
