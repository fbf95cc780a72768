// Timers on dispatch queues.
//
// A TimerService keeps deadlines and fires them. The system service follows the steady clock on a
// thread of its own; a manual service follows a clock that only moves when `advance` is called, so
// tests can check an exact schedule without sleeping.
//
// A TimerSource is a repeating timer whose event handler runs on a queue. It starts suspended and
// unscheduled. It never runs its handler twice at once, and coalesces firings it could not deliver
// in time into one. After `cancel()` returns (the destructor cancels too), the handler never runs
// again; when `cancel()` is called from inside the handler, the running call finishes and no other
// follows.
#pragma once

#include <cstdint>
#include <memory>

#include "dispatch/queue.hpp"

namespace dispatch {

class TimerService {
  public:
    // The process-wide service on the steady clock.
    static std::shared_ptr<TimerService> system();
    // A service whose clock starts at the steady clock's current reading and moves only through
    // `advance`.
    static std::shared_ptr<TimerService> makeManual();

    virtual ~TimerService() = default;

    virtual TimePoint now() const = 0;

    // Manual services: moves the clock forward by `by` and fires every deadline now due, earliest
    // first, on the calling thread. The system service refuses with std::logic_error.
    virtual void advance(Duration by) = 0;

    // Calls `fire` on the service's thread (the system service) or inside `advance` (a manual
    // service) once `deadline` has passed. `fire` must be quick; it typically queues work.
    virtual void callAt(TimePoint deadline, Work fire) = 0;

    // Submits `work` to `queue` once `deadline` has passed; the queue is kept alive until then.
    void enqueueAt(TimePoint deadline, std::shared_ptr<Queue> queue, Work work);
};

class TimerSource {
  public:
    // A timer whose handler will run on `queue`, driven by `service` (the system service when
    // none is given). It starts suspended and unscheduled.
    explicit TimerSource(std::shared_ptr<Queue> queue,
                         std::shared_ptr<TimerService> service = nullptr);
    ~TimerSource();
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;

    // Sets the first deadline and the repeat interval (at least one nanosecond). Replaces any
    // earlier schedule. The leeway is the lateness each firing may have; it is kept for callers
    // and does not delay firings.
    void schedule(TimePoint deadline, Duration interval, Duration leeway = Duration::zero());
    // Replaces the handler; the previous one is released. An empty handler makes firings do
    // nothing.
    void setEventHandler(Work handler);

    // Not counted: a resumed timer stays resumed however often `resume` is called, and one
    // `suspend` stops it.
    void resume();
    void suspend();
    bool isSuspended() const;

    void cancel();
    bool isCancelled() const;

    Duration leeway() const;
    TimerService& service() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace dispatch
