#include "hui/detail/remote_presence.hpp"

#include <algorithm>
#include <chrono>
#include <deque>

namespace hui {

namespace {

constexpr auto timerLeeway = std::chrono::milliseconds(50);

dispatch::Duration durationOf(double seconds) {
    return std::chrono::duration_cast<dispatch::Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

HUIRoleEnvironment HUIRoleEnvironment::resolved() const {
    HUIRoleEnvironment out = *this;
    if (!out.timerQueue) out.timerQueue = dispatch::Queue::global(dispatch::QoS::default_);
    if (!out.timerService) out.timerService = dispatch::TimerService::system();
    if (!out.noticeQueue) out.noticeQueue = dispatch::Queue::main();
    return out;
}

namespace detail {

struct RemotePresence::State {
    State(const HUIRoleEnvironment& environment, std::shared_ptr<observe::Signal<>> willChange)
        : noticeQueue(environment.noticeQueue),
          willChange(std::move(willChange)),
          service(environment.timerService) {}

    // The timer fired: absent when the timeout really passed since the last sign of life (a
    // firing queued before that sign is ignored); the timer waits for the next sign.
    void expire();
    // Stores the value; when it changed, queues it for announcing. Under mutex.
    bool storeLocked(bool value);
    // Announces queued changes in the order they were stored, one thread at a time, no lock held.
    void announce();

    const std::shared_ptr<dispatch::Queue> noticeQueue;
    const std::shared_ptr<observe::Signal<>> willChange;
    const std::shared_ptr<dispatch::TimerService> service;

    mutable std::mutex mutex;
    double timeout = defaultTimeout;
    bool present = false;
    dispatch::TimePoint lastHeard{};
    Handler handler;
    std::deque<bool> unannounced;
    bool announcing = false;
    // None once stopped.
    std::unique_ptr<midisupport::SafeDispatchTimer> timer;
};

RemotePresence::RemotePresence(const HUIRoleEnvironment& environment,
                               std::shared_ptr<observe::Signal<>> willChange)
    : state_(std::make_shared<State>(environment, std::move(willChange))) {
    // A firing reaches the state only while its owner still holds it, and then holds it itself
    // until the firing is over.
    state_->timer = std::make_unique<midisupport::SafeDispatchTimer>(
        midisupport::SafeDispatchTimer::Rate::seconds(state_->timeout), environment.timerQueue,
        timerLeeway,
        [weak = std::weak_ptr<State>(state_)] {
            if (const auto state = weak.lock()) state->expire();
        },
        state_->service);
}

RemotePresence::~RemotePresence() {
    stop();
}

void RemotePresence::stop() {
    std::unique_ptr<midisupport::SafeDispatchTimer> timer;
    {
        std::lock_guard lock(state_->mutex);
        timer = std::move(state_->timer);
    }
    // With no lock held: destroying the timer waits for a firing under way on another thread,
    // and that firing takes the lock.
    timer.reset();
}

bool RemotePresence::isPresent() const {
    std::lock_guard lock(state_->mutex);
    return state_->present;
}

double RemotePresence::timeout() const {
    std::lock_guard lock(state_->mutex);
    return state_->timeout;
}

RemotePresence::Handler RemotePresence::handler() const {
    std::lock_guard lock(state_->mutex);
    return state_->handler;
}

void RemotePresence::setHandler(Handler handler) {
    Handler previous;
    std::lock_guard lock(state_->mutex);
    previous = std::exchange(state_->handler, std::move(handler));
    // `previous` goes after the lock.
}

void RemotePresence::setTimeout(double seconds) {
    State& state = *state_;
    std::lock_guard lock(state.mutex);
    // NaN gives the minimum; the maximum keeps every deadline within the clock's range.
    state.timeout = seconds >= minimumTimeout ? std::min(seconds, maximumTimeout) : minimumTimeout;
    // Whatever was heard lies more than one new timeout back: the firing now reports absence.
    state.lastHeard = dispatch::TimePoint::min();
    if (!state.timer) return;
    state.timer->setRate(midisupport::SafeDispatchTimer::Rate::seconds(state.timeout));
    state.timer->restart(true);
}

void RemotePresence::heard() {
    // Held for the whole call: the handler may release the role, and this object with it.
    const std::shared_ptr<State> state = state_;
    {
        std::lock_guard lock(state->mutex);
        state->lastHeard = state->service->now();
        if (state->timer) state->timer->restart(false);
        if (!state->storeLocked(true)) return;
    }
    state->announce();
}

void RemotePresence::State::expire() {
    {
        std::lock_guard lock(mutex);
        // Stopped while this firing waited for the lock: the owner is going.
        if (!timer) return;
        if (lastHeard != dispatch::TimePoint::min() &&
            service->now() - lastHeard < durationOf(timeout)) {
            return;
        }
        timer->suspend();
        if (!storeLocked(false)) return;
    }
    announce();
}

bool RemotePresence::State::storeLocked(bool value) {
    if (present == value) return false;
    present = value;
    unannounced.push_back(value);
    return true;
}

void RemotePresence::State::announce() {
    for (;;) {
        bool value = false;
        Handler current;
        {
            std::lock_guard lock(mutex);
            if (announcing || unannounced.empty()) return;
            announcing = true;
            value = unannounced.front();
            unannounced.pop_front();
            current = handler;
        }
        noticeQueue->async([weak = std::weak_ptr<observe::Signal<>>(willChange)] {
            if (const auto signal = weak.lock()) signal->emit();
        });
        // Ends this turn however the handler ends.
        struct Turn {
            State& state;
            ~Turn() {
                std::lock_guard lock(state.mutex);
                state.announcing = false;
            }
        } turn{*this};
        if (current) current(value);
    }
}

}  // namespace detail

}  // namespace hui
