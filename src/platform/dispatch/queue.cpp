#include "dispatch/queue.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "detail.hpp"
#include "dispatch/timer.hpp"

namespace dispatch {

namespace {

// The queues whose tasks or sync blocks the calling thread is running, innermost last.
thread_local std::vector<const void*> currentQueues;

}  // namespace

TimePoint saturatingAdd(TimePoint t, Duration d) {
    if (d.count() > 0 && t > TimePoint::max() - d) return TimePoint::max();
    if (d.count() < 0 && t < TimePoint::min() - d) return TimePoint::min();
    return t + d;
}

bool QueueEnd::wait(Duration timeout) const {
    if (!state_) return false;
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_until(lock, saturatingAdd(Clock::now(), timeout),
                                      [&] { return state_->ended; });
}

bool QueueEnd::ended() const {
    if (!state_) return false;
    std::lock_guard lock(state_->mutex);
    return state_->ended;
}

QueueEnd Queue::whenEnded() const {
    // Global queues and the main queue last as long as the process.
    static const auto never = std::make_shared<QueueEnd::State>();
    return QueueEnd(never);
}

const char* toString(QoS qos) {
    switch (qos) {
        case QoS::background:
            return "background";
        case QoS::utility:
            return "utility";
        case QoS::default_:
            return "default";
        case QoS::userInitiated:
            return "userInitiated";
        case QoS::userInteractive:
            return "userInteractive";
        case QoS::unspecified:
            return "unspecified";
    }
    return "unspecified";
}

namespace detail {

CurrentGuard::CurrentGuard(const void* identity) {
    currentQueues.push_back(identity);
}

CurrentGuard::~CurrentGuard() {
    currentQueues.pop_back();
}

void runTask(const void* identity, const std::string& label, const Work& work) {
    CurrentGuard guard(identity);
    try {
        work();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dispatch: uncaught exception in a task on queue '%s': %s\n",
                     label.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "dispatch: uncaught exception in a task on queue '%s'\n",
                     label.c_str());
    }
}

}  // namespace detail

bool Queue::isCurrent() const {
    return std::find(currentQueues.begin(), currentQueues.end(), identity()) != currentQueues.end();
}

void Queue::checkNotCurrent() const {
    if (isCurrent()) {
        throw DispatchError(DispatchError::Case::syncOnCurrentQueue,
                            "sync called on queue '" + label() +
                                "' from code already running on it; this would deadlock");
    }
}

void Queue::asyncAfter(Duration delay, Work work) {
    asyncAfter(saturatingAdd(TimerService::system()->now(), delay), std::move(work));
}

void Queue::asyncAfter(TimePoint deadline, Work work) {
    TimerService::system()->enqueueAt(deadline, shared_from_this(), std::move(work));
}

}  // namespace dispatch
