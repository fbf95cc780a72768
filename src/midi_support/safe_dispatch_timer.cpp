#include "midi_support/safe_dispatch_timer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace midisupport {

namespace {

// Swift-style max: the second argument when it is not smaller, else the first.
double maxOf(double x, double y) {
    return y >= x ? y : x;
}

constexpr double slowestInterval = 1.0 / 0.00001;  // 0 Hz fires every 100000 s

}  // namespace

double SafeDispatchTimer::Rate::value() const {
    return std::visit([](auto v) { return v.value; }, value_);
}

bool SafeDispatchTimer::Rate::operator==(const Rate& other) const {
    return value_.index() == other.value_.index() && value() == other.value();
}

size_t SafeDispatchTimer::Rate::hash() const {
    const double payload = value() == 0.0 ? 0.0 : value();  // -0.0 == 0.0
    size_t seed = value_.index();
    seed ^= std::hash<double>{}(payload) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
}

double SafeDispatchTimer::interval(const Rate& rate) {
    const double payload = rate.value();
    if (std::isnan(payload)) return slowestInterval;
    const double seconds = rate.isSeconds() ? payload : 1.0 / maxOf(payload, 0.00001);
    return maxOf(seconds, 0.000000001);
}

dispatch::Duration SafeDispatchTimer::toDuration(double seconds) {
    // Intervals beyond the nanosecond range (about 292 years) are held at its end.
    const double nanoseconds = std::round(seconds * 1e9);
    constexpr double limit = 9.2e18;
    if (!(nanoseconds < limit)) return dispatch::Duration(static_cast<int64_t>(limit));
    return dispatch::Duration(std::max<int64_t>(1, static_cast<int64_t>(nanoseconds)));
}

SafeDispatchTimer::SafeDispatchTimer(Rate rate, const std::shared_ptr<dispatch::Queue>& queue,
                                     dispatch::Duration leeway, std::function<void()> eventHandler,
                                     std::shared_ptr<dispatch::TimerService> service)
    : queue_(queue), rate_(rate), leeway_(leeway) {
    timer_ = std::make_unique<dispatch::TimerSource>(queue, std::move(service));
    std::lock_guard lock(mutex_);
    scheduleLocked(timer_->service().now());
    timer_->setEventHandler(std::move(eventHandler));
}

SafeDispatchTimer::~SafeDispatchTimer() {
    // No further firing reaches the user's handler; a call under way on another thread finishes
    // before the source is cancelled and released.
    timer_->setEventHandler(nullptr);
    timer_->cancel();
}

SafeDispatchTimer::Rate SafeDispatchTimer::rate() const {
    std::lock_guard lock(mutex_);
    return rate_;
}

void SafeDispatchTimer::setRate(Rate rate) {
    std::lock_guard lock(mutex_);
    rate_ = rate;
}

dispatch::Duration SafeDispatchTimer::leeway() const {
    std::lock_guard lock(mutex_);
    return leeway_;
}

void SafeDispatchTimer::setLeeway(dispatch::Duration leeway) {
    std::lock_guard lock(mutex_);
    leeway_ = leeway;
}

bool SafeDispatchTimer::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

// The controls hold `mutex_` while they call the timer source, so that `running_` and the source's
// state change together. The source takes no lock of its callers and runs no handler, and the
// handler runs with no lock held, so this order cannot be reversed.
void SafeDispatchTimer::resume() {
    std::lock_guard lock(mutex_);
    if (running_) return;
    running_ = true;
    timer_->resume();
}

void SafeDispatchTimer::suspend() {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
    timer_->suspend();
}

void SafeDispatchTimer::restart(bool immediately) {
    std::lock_guard lock(mutex_);
    const auto now = timer_->service().now();
    scheduleLocked(immediately ? now : dispatch::saturatingAdd(now, toDuration(interval(rate_))));
    if (!running_) {
        running_ = true;
        timer_->resume();
    }
}

void SafeDispatchTimer::setEventHandler(std::function<void()> eventHandler) {
    timer_->setEventHandler(std::move(eventHandler));
}

void SafeDispatchTimer::scheduleLocked(dispatch::TimePoint deadline) {
    timer_->schedule(deadline, toDuration(interval(rate_)), leeway_);
}

}  // namespace midisupport
