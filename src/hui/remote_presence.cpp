#include "hui/detail/remote_presence.hpp"

#include <algorithm>
#include <chrono>

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

RemotePresence::RemotePresence(const HUIRoleEnvironment& environment,
                               std::shared_ptr<observe::Signal<>> willChange)
    : noticeQueue_(environment.noticeQueue),
      willChange_(std::move(willChange)),
      service_(environment.timerService) {
    timer_ = std::make_unique<midisupport::SafeDispatchTimer>(
        midisupport::SafeDispatchTimer::Rate::seconds(timeout_), environment.timerQueue,
        timerLeeway, [this] { expire(); }, service_);
}

bool RemotePresence::isPresent() const {
    std::lock_guard lock(mutex_);
    return present_;
}

double RemotePresence::timeout() const {
    std::lock_guard lock(mutex_);
    return timeout_;
}

RemotePresence::Handler RemotePresence::handler() const {
    std::lock_guard lock(mutex_);
    return handler_;
}

void RemotePresence::setHandler(Handler handler) {
    Handler previous;
    std::lock_guard lock(mutex_);
    previous = std::exchange(handler_, std::move(handler));
    // `previous` goes after the lock.
}

void RemotePresence::setTimeout(double seconds) {
    {
        std::lock_guard lock(mutex_);
        // NaN gives the minimum; the maximum keeps every deadline within the clock's range.
        timeout_ = seconds >= minimumTimeout ? std::min(seconds, maximumTimeout) : minimumTimeout;
        // Whatever was heard lies more than one new timeout back: the firing now reports absence.
        lastHeard_ = dispatch::TimePoint::min();
        timer_->setRate(midisupport::SafeDispatchTimer::Rate::seconds(timeout_));
        timer_->restart(true);
    }
}

void RemotePresence::heard() {
    {
        std::lock_guard lock(mutex_);
        lastHeard_ = service_->now();
        timer_->restart(false);
        if (!storeLocked(true)) return;
    }
    announce();
}

void RemotePresence::expire() {
    {
        std::lock_guard lock(mutex_);
        if (lastHeard_ != dispatch::TimePoint::min() &&
            service_->now() - lastHeard_ < durationOf(timeout_)) {
            return;
        }
        timer_->suspend();
        if (!storeLocked(false)) return;
    }
    announce();
}

bool RemotePresence::storeLocked(bool present) {
    if (present_ == present) return false;
    present_ = present;
    unannounced_.push_back(present);
    return true;
}

void RemotePresence::announce() {
    for (;;) {
        bool value = false;
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            if (announcing_ || unannounced_.empty()) return;
            announcing_ = true;
            value = unannounced_.front();
            unannounced_.pop_front();
            handler = handler_;
        }
        noticeQueue_->async([weak = std::weak_ptr<observe::Signal<>>(willChange_)] {
            if (const auto signal = weak.lock()) signal->emit();
        });
        // Ends this turn however the handler ends.
        struct Turn {
            RemotePresence& presence;
            ~Turn() {
                std::lock_guard lock(presence.mutex_);
                presence.announcing_ = false;
            }
        } turn{*this};
        if (handler) handler(value);
    }
}

}  // namespace detail

}  // namespace hui
