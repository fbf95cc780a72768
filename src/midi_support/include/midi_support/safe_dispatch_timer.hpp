// A repeating timer that fires an event handler on a dispatch queue at a fixed rate. It can be
// started, stopped and restarted any number of times and destroyed in any state. Every operation
// may be called from any thread, the handler included.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <variant>

#include "dispatch/queue.hpp"
#include "dispatch/timer.hpp"

namespace midisupport {

class SafeDispatchTimer {
  public:
    // How often the timer fires: a number of firings per second, or the seconds between firings.
    class Rate {
      public:
        static Rate hertz(double firingsPerSecond) { return Rate(Hertz{firingsPerSecond}); }
        static Rate seconds(double secondsBetweenFirings) {
            return Rate(Seconds{secondsBetweenFirings});
        }

        bool isHertz() const { return std::holds_alternative<Hertz>(value_); }
        bool isSeconds() const { return std::holds_alternative<Seconds>(value_); }
        // The payload of either case.
        double value() const;

        // Same case and equal payloads.
        bool operator==(const Rate& other) const;
        // The case, then the payload (-0.0 hashes like 0.0).
        size_t hash() const;

      private:
        struct Hertz {
            double value;
        };
        struct Seconds {
            double value;
        };
        explicit Rate(std::variant<Hertz, Seconds> value) : value_(value) {}
        std::variant<Hertz, Seconds> value_;
    };

    // The seconds between firings at `rate`: `seconds(s)` gives s, `hertz(h)` gives
    // 1 / max(h, 0.00001); the result is at least 1e-9. A NaN payload gives the interval of 0 Hz
    // (100000 s).
    static double interval(const Rate& rate);

    // A suspended timer: it does not fire until `resume()` or `restart(...)`. Its first deadline is
    // the moment of creation. The handler runs on `queue`; the timer's field refers to the queue
    // weakly, while the underlying timer source keeps it alive as long as the timer exists.
    // `service` drives the schedule; tests pass a manual one to control time.
    SafeDispatchTimer(Rate rate, const std::shared_ptr<dispatch::Queue>& queue,
                      dispatch::Duration leeway, std::function<void()> eventHandler,
                      std::shared_ptr<dispatch::TimerService> service = nullptr);
    // After the destructor returns, the handler never runs again (also when the timer is destroyed
    // from inside its own handler).
    ~SafeDispatchTimer();
    SafeDispatchTimer(const SafeDispatchTimer&) = delete;
    SafeDispatchTimer& operator=(const SafeDispatchTimer&) = delete;

    // The queue the handler runs on, if it still exists.
    std::shared_ptr<dispatch::Queue> queue() const { return queue_.lock(); }
    Rate rate() const;
    // Takes effect at the next `restart(...)`.
    void setRate(Rate rate);
    dispatch::Duration leeway() const;
    // Takes effect at the next `restart(...)`.
    void setLeeway(dispatch::Duration leeway);
    // True while the timer is resumed.
    bool running() const;

    // Starts the timer if it is stopped; otherwise does nothing.
    void resume();
    // Stops the timer if it runs; otherwise does nothing.
    void suspend();
    // Reschedules with the first firing now (`immediately`) or one interval from now, repeating at
    // the current rate with the current leeway, then starts the timer if it is stopped.
    void restart(bool immediately);
    // Replaces the handler; the previous one is released.
    void setEventHandler(std::function<void()> eventHandler);

  private:
    void scheduleLocked(dispatch::TimePoint deadline);
    static dispatch::Duration toDuration(double seconds);

    mutable std::mutex mutex_;
    std::weak_ptr<dispatch::Queue> queue_;
    Rate rate_;
    dispatch::Duration leeway_;
    bool running_ = false;
    std::unique_ptr<dispatch::TimerSource> timer_;
};

}  // namespace midisupport

template <>
struct std::hash<midisupport::SafeDispatchTimer::Rate> {
    size_t operator()(const midisupport::SafeDispatchTimer::Rate& rate) const {
        return rate.hash();
    }
};
