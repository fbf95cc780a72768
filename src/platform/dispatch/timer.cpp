#include "dispatch/timer.hpp"

#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <queue>
#include <thread>
#include <vector>

namespace dispatch {

namespace {

// Deadlines in firing order; equal deadlines fire in the order they were added.
class DeadlineHeap {
  public:
    void push(TimePoint deadline, Work fire) { heap_.push({deadline, next_++, std::move(fire)}); }
    bool empty() const { return heap_.empty(); }
    TimePoint earliest() const { return heap_.top().deadline; }

    // Removes and returns the actions of every deadline at or before `now`.
    std::vector<Work> takeDue(TimePoint now) {
        std::vector<Work> due;
        while (!heap_.empty() && heap_.top().deadline <= now) {
            due.push_back(std::move(const_cast<Entry&>(heap_.top()).fire));
            heap_.pop();
        }
        return due;
    }

  private:
    struct Entry {
        TimePoint deadline;
        uint64_t order;
        Work fire;
        bool operator>(const Entry& other) const {
            return deadline != other.deadline ? deadline > other.deadline : order > other.order;
        }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap_;
    uint64_t next_ = 0;
};

class SystemTimerService final : public TimerService {
  public:
    SystemTimerService() {
        std::thread([this] { run(); }).detach();
    }

    TimePoint now() const override { return Clock::now(); }

    void advance(Duration) override {
        throw std::logic_error(
            "the system timer service follows the steady clock; it cannot be advanced");
    }

    void callAt(TimePoint deadline, Work fire) override {
        {
            std::lock_guard lock(mutex_);
            heap_.push(deadline, std::move(fire));
        }
        changed_.notify_one();
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (heap_.empty()) {
                changed_.wait(lock);
                continue;
            }
            if (heap_.earliest() > Clock::now()) {
                changed_.wait_until(lock, heap_.earliest());
                continue;
            }
            auto due = heap_.takeDue(Clock::now());
            lock.unlock();
            for (auto& fire : due)
                fire();
            due.clear();  // release captured state outside the lock
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    DeadlineHeap heap_;
};

class ManualTimerService final : public TimerService {
  public:
    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    void advance(Duration by) override {
        TimePoint target;
        {
            std::lock_guard lock(mutex_);
            now_ += by;
            target = now_;
        }
        // Fire in deadline order; deadlines added meanwhile that are already due fire too.
        for (;;) {
            std::vector<Work> due;
            {
                std::lock_guard lock(mutex_);
                if (heap_.empty() || heap_.earliest() > target) return;
                due = heap_.takeDue(heap_.earliest());
            }
            for (auto& fire : due)
                fire();
        }
    }

    void callAt(TimePoint deadline, Work fire) override {
        std::lock_guard lock(mutex_);
        heap_.push(deadline, std::move(fire));
    }

  private:
    mutable std::mutex mutex_;
    TimePoint now_ = Clock::now();
    DeadlineHeap heap_;
};

Duration saturatingMultiply(Duration d, int64_t k) {
    constexpr auto max = std::numeric_limits<Duration::rep>::max();
    if (k != 0 && d.count() > max / k) return Duration(max);
    return d * k;
}

}  // namespace

std::shared_ptr<TimerService> TimerService::system() {
    static const auto* service =
        new std::shared_ptr<TimerService>(std::make_shared<SystemTimerService>());
    return *service;
}

std::shared_ptr<TimerService> TimerService::makeManual() {
    return std::make_shared<ManualTimerService>();
}

void TimerService::enqueueAt(TimePoint deadline, std::shared_ptr<Queue> queue, Work work) {
    callAt(deadline, [queue = std::move(queue), work = std::move(work)]() mutable {
        queue->async(std::move(work));
    });
}

// The state of a timer, shared by the TimerSource, the firing task on the queue and (weakly) the
// service's deadline entries.
//
// At most one deadline entry is live at a time: every entry carries the `token` current when it
// was added, and any change of schedule, suspension or cancellation bumps the token so that older
// entries do nothing when they come due. `pending` is true from the moment a firing is queued
// until its handler call has returned; no new entry is armed meanwhile, so the handler never runs
// twice at once and late firings coalesce.
struct TimerSource::State : std::enable_shared_from_this<TimerSource::State> {
    State(std::shared_ptr<Queue> q, std::shared_ptr<TimerService> s)
        : queue(std::move(q)), service(std::move(s)) {}

    const std::shared_ptr<Queue> queue;
    const std::shared_ptr<TimerService> service;

    mutable std::mutex mutex;
    std::condition_variable handlerReturned;
    Work handler;
    TimePoint next{};
    Duration interval{1};
    Duration leeway{0};
    bool scheduled = false;
    bool suspended = true;
    bool cancelled = false;
    bool pending = false;
    bool inHandler = false;
    std::thread::id handlerThread;
    uint64_t token = 0;
    uint64_t generation = 0;

    // A deadline entry to add: prepared under `mutex`, added by `arm` after unlocking, so that no
    // lock of the timer is held while the service's lock is taken.
    struct Entry {
        TimePoint deadline;
        uint64_t token;
    };

    // The entry for `next` when the timer should fire; it makes every older entry stale. Called
    // with `mutex` held.
    std::optional<Entry> prepareEntry() {
        if (!scheduled || suspended || cancelled || pending) return std::nullopt;
        return Entry{next, ++token};
    }

    // Adds the entry, if any. Called without `mutex`: an entry that went stale meanwhile does
    // nothing when it comes due.
    void arm(const std::optional<Entry>& entry) {
        if (!entry) return;
        service->callAt(entry->deadline, [weak = weak_from_this(), armed = entry->token] {
            if (auto self = weak.lock()) self->due(armed);
        });
    }

    // The entry with `armed` came due: queue a firing, outside the lock (the queue may be the main
    // queue, whose wake handler is the application's code).
    void due(uint64_t armed) {
        TimePoint fired;
        uint64_t gen = 0;
        {
            std::lock_guard lock(mutex);
            if (armed != token || suspended || cancelled || pending) return;
            pending = true;
            fired = next;
            gen = generation;
        }
        queue->async([self = shared_from_this(), fired, gen] { self->fire(fired, gen); });
    }

    void fire(TimePoint fired, uint64_t gen) {
        std::unique_lock lock(mutex);
        if (cancelled || suspended || gen != generation) {
            // Suspended: `resume` arms again. Rescheduled: the new schedule is armed below.
            pending = false;
            const auto entry = prepareEntry();
            lock.unlock();
            arm(entry);
            return;
        }
        Work current = handler;
        inHandler = true;
        handlerThread = std::this_thread::get_id();
        lock.unlock();
        if (current) current();
        current = nullptr;
        lock.lock();
        inHandler = false;
        handlerReturned.notify_all();
        pending = false;
        if (gen == generation) next = following(fired);
        const auto entry = prepareEntry();
        lock.unlock();
        arm(entry);
    }

    // The first deadline of the cadence `fired + k * interval` (k >= 1) that lies in the future.
    TimePoint following(TimePoint fired) const {
        const TimePoint now = service->now();
        TimePoint candidate = saturatingAdd(fired, interval);
        if (candidate > now) return candidate;
        const int64_t missed = (now - fired) / interval;
        return saturatingAdd(fired, saturatingMultiply(interval, missed + 1));
    }
};

TimerSource::TimerSource(std::shared_ptr<Queue> queue, std::shared_ptr<TimerService> service)
    : state_(std::make_shared<State>(std::move(queue),
                                     service ? std::move(service) : TimerService::system())) {}

TimerSource::~TimerSource() {
    cancel();
}

void TimerSource::schedule(TimePoint deadline, Duration interval, Duration leeway) {
    std::optional<State::Entry> entry;
    {
        std::lock_guard lock(state_->mutex);
        ++state_->generation;
        ++state_->token;
        state_->next = deadline;
        state_->interval = std::max(interval, Duration(1));
        state_->leeway = leeway;
        state_->scheduled = true;
        entry = state_->prepareEntry();
    }
    state_->arm(entry);
}

void TimerSource::setEventHandler(Work handler) {
    std::unique_lock lock(state_->mutex);
    std::swap(state_->handler, handler);
    lock.unlock();
    // The previous handler is destroyed here, outside the lock.
}

void TimerSource::resume() {
    std::optional<State::Entry> entry;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->suspended || state_->cancelled) return;
        state_->suspended = false;
        entry = state_->prepareEntry();
    }
    state_->arm(entry);
}

void TimerSource::suspend() {
    std::lock_guard lock(state_->mutex);
    if (state_->suspended) return;
    state_->suspended = true;
    ++state_->token;
}

bool TimerSource::isSuspended() const {
    std::lock_guard lock(state_->mutex);
    return state_->suspended;
}

void TimerSource::cancel() {
    Work released;
    {
        std::unique_lock lock(state_->mutex);
        state_->cancelled = true;
        ++state_->token;
        std::swap(released, state_->handler);
        // A handler call already under way on another thread finishes before cancel returns.
        state_->handlerReturned.wait(lock, [&] {
            return !state_->inHandler || state_->handlerThread == std::this_thread::get_id();
        });
    }
}

bool TimerSource::isCancelled() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

Duration TimerSource::leeway() const {
    std::lock_guard lock(state_->mutex);
    return state_->leeway;
}

TimerService& TimerSource::service() const {
    return *state_->service;
}

}  // namespace dispatch
