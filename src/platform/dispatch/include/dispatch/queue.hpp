// Dispatch queues: serial queues with one worker each, global concurrent queues over a shared pool
// of threads, and the main queue, which the thread that owns the user interface pumps.
//
// A task submitted with `async` runs later on the queue; `sync` runs a block on the queue and
// returns its value (or rethrows its exception) to the caller. Like the platform queues this layer
// stands in for, `sync` on a serial queue runs the block on the calling thread once every earlier
// task of the queue is done, while the queue's worker waits; the queue is "current" on the calling
// thread for the block's duration. A `sync` that would wait for the caller itself (the queue is
// already current on this thread) throws DispatchError instead of deadlocking.
//
// Threads. Every serial queue is an operating-system thread of its own for as long as it exists:
// a component keeps a fixed, small number of them (one per manager or connection, never one per
// message or per request). The global queues share one pool of a fixed number of threads that
// serves the quality-of-service classes in priority order and keeps threads in reserve for the
// higher classes (see `Queue::global`). The main queue runs wherever it is pumped.
//
// Locks and callbacks. No lock of this layer is held while a task, a handler, a wake handler or
// another component's code runs, and the last reference to a queue may be released on any thread,
// from inside one of its own tasks included, without waiting for the queue: its worker finishes
// the tasks it holds and ends on its own (`Queue::whenEnded` tells when).
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace dispatch {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = std::chrono::nanoseconds;
using Work = std::function<void()>;

// `t + d`, held at the clock's ends instead of overflowing: a deadline "after forever" stays in
// the future and one "before the beginning" is due at once.
TimePoint saturatingAdd(TimePoint t, Duration d);

// Quality-of-service classes, lowest to highest; `unspecified` is served like `default_`. On the
// global queues they set the order in which waiting tasks are started; tasks of one class start in
// submission order.
enum class QoS { background, utility, default_, userInitiated, userInteractive, unspecified };

const char* toString(QoS qos);

class DispatchError : public std::logic_error {
  public:
    enum class Case {
        // `sync` was called on a queue that is already running the calling code.
        syncOnCurrentQueue,
        // `sync` was called on the main queue from the main thread outside a pump of it.
        syncOnMainFromMainThread,
    };
    DispatchError(Case c, const std::string& message) : std::logic_error(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

class MainQueue;

// Tells when a serial queue has ended: every owner has released it, every task it held has run and
// been destroyed, and its worker thread is finishing. Obtained from `Queue::whenEnded()` before the
// queue is released; for tests and for shutdown paths that must know a queue's work is done. The
// global queues and the main queue never end.
class QueueEnd {
  public:
    struct State;
    QueueEnd() = default;
    explicit QueueEnd(std::shared_ptr<State> state) : state_(std::move(state)) {}

    // Whether the queue has ended, waiting at most `timeout` for it.
    bool wait(Duration timeout) const;
    bool ended() const;

  private:
    std::shared_ptr<State> state_;
};

class Queue : public std::enable_shared_from_this<Queue> {
  public:
    virtual ~Queue() = default;
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    const std::string& label() const { return label_; }
    QoS qos() const { return qos_; }

    // Submits `work` to run later on this queue. An exception escaping `work` is reported on
    // standard error and does not stop the queue.
    virtual void async(Work work) = 0;

    // Submits `work` to run on this queue once `delay` has passed (a delay of zero or less runs it
    // promptly). The queue is kept alive until then.
    void asyncAfter(Duration delay, Work work);
    void asyncAfter(TimePoint deadline, Work work);

    // Runs `block` on this queue, waits for it, and returns its result or rethrows its exception.
    template <class F>
    std::invoke_result_t<F&> sync(F&& block);

    // True when the calling thread is running a task or a `sync` block of this queue.
    bool isCurrent() const;

    // What tells when this queue has ended (see QueueEnd).
    virtual QueueEnd whenEnded() const;

    // A new serial queue with its own worker thread. Tasks run one at a time in submission order.
    // Releasing the last reference never waits: the worker runs the tasks still queued, then ends.
    static std::shared_ptr<Queue> makeSerial(std::string label, QoS qos = QoS::default_);
    // The global concurrent queue of a quality-of-service class. All of them share one pool of
    // max(4, cores) worker threads; tasks may run in parallel. A free thread starts the oldest task
    // of the highest class that has one waiting, and each class leaves one thread in reserve per
    // class above it: with n threads, a task of a class with k classes above it starts only while
    // fewer than max(1, n - k) global tasks run, so a user-interactive task never waits behind
    // background work. Tasks of one class that wait for each other can still use up that
    // class's share and stall: a global task must never wait for another task of the same or a
    // lower class. Work that blocks belongs on a serial queue.
    static std::shared_ptr<Queue> global(QoS qos = QoS::default_);
    // The process's main queue.
    static std::shared_ptr<MainQueue> main();

  protected:
    Queue(std::string label, QoS qos) : label_(std::move(label)), qos_(qos) {}

    // Runs `block` on this queue and returns once it has run; exceptions propagate to the caller.
    virtual void syncImpl(const Work& block) = 0;

    // What identifies this queue as "current" on a thread. It must stay unique while any task of
    // the queue can still run, even after the queue object itself is gone.
    virtual const void* identity() const { return this; }

    // Throws DispatchError::Case::syncOnCurrentQueue when this queue is current on this thread.
    void checkNotCurrent() const;

  private:
    std::string label_;
    QoS qos_;
};

template <class F>
std::invoke_result_t<F&> Queue::sync(F&& block) {
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
        syncImpl([&block] { block(); });
    } else {
        std::optional<R> result;
        syncImpl([&block, &result] { result.emplace(block()); });
        return std::move(*result);
    }
}

// The main queue. In the application, the GUI event loop pumps it: the loop installs a wake
// handler that schedules `drain()` on the GUI thread whenever work arrives. In tests and
// command-line use, the thread that wants main-queue work done calls `drain()` or `runUntil(...)`.
class MainQueue final : public Queue {
  public:
    void async(Work work) override;

    // Runs every task queued so far and those they queue in turn, on the calling thread. Returns
    // the number of tasks run.
    size_t drain();
    // Runs queued tasks on the calling thread as they arrive until `predicate` holds or `timeout`
    // passes. The predicate is checked between tasks and at least every few milliseconds, so it
    // may watch state that other threads change. Returns whether the predicate came to hold.
    bool runUntil(const std::function<bool()>& predicate, Duration timeout);

    // Called (from any thread) each time a task is queued, outside every lock of the queue. Pass
    // an empty function to remove it. Once this returns, the previous handler is not running (but
    // on the calling thread itself, when called from inside it) and is never called again.
    void setWakeHandler(std::function<void()> wake);

    // The thread regarded as the main thread: the one that started the process.
    static bool isMainThread();

    struct State;
    explicit MainQueue(std::shared_ptr<State> state);

  protected:
    void syncImpl(const Work& block) override;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace dispatch
