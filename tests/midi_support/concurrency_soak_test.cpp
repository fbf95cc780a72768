// A bounded soak of the concurrency layers together: serial queues, timers and observers created,
// driven and released from several threads in random orders. Nothing may hang, and no timer
// handler or observer callback may run after its timer or subscription is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "dispatch/queue.hpp"
#include "midi_support/safe_dispatch_timer.hpp"
#include "observe/observe.hpp"

using namespace std::chrono_literals;
using dispatch::Queue;
using midisupport::SafeDispatchTimer;

namespace {

struct Shared {
    observe::Signal<int> tick;
    observe::Published<int> level;
    std::atomic<int> lateCalls{0};  // calls after a timer or a subscription was gone
    std::atomic<int> handlerCalls{0};
    std::atomic<int> observerCalls{0};
    std::mutex mutex;
    std::vector<dispatch::QueueEnd> ends;
};

struct TimerEntry {
    std::shared_ptr<Queue> queue;
    std::unique_ptr<SafeDispatchTimer> timer;
    std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);
};

struct Observer {
    observe::Subscription subscription;
    std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);
    void cancel() {
        subscription.cancel();
        *gone = true;
    }
};

// Releases the timer and its queue in the order, and on the thread, that `how` picks.
void release(TimerEntry entry, int how) {
    auto destroyTimer = [](std::unique_ptr<SafeDispatchTimer> timer,
                           std::shared_ptr<std::atomic<bool>> gone) {
        timer.reset();
        *gone = true;
    };
    switch (how) {
        case 0:  // timer, then queue
            destroyTimer(std::move(entry.timer), entry.gone);
            entry.queue.reset();
            break;
        case 1:  // queue first: the timer keeps it alive until it goes
            entry.queue.reset();
            destroyTimer(std::move(entry.timer), entry.gone);
            break;
        case 2:  // on a pool thread, by the task that owns it
            Queue::global(dispatch::QoS::utility)
                ->async([timer = std::shared_ptr<SafeDispatchTimer>(std::move(entry.timer)),
                         gone = entry.gone]() mutable {
                    timer.reset();
                    *gone = true;
                });
            break;
        default: {  // a delayed task on the timer's own queue holds the queue's last reference
            auto queue = entry.queue;
            destroyTimer(std::move(entry.timer), entry.gone);
            entry.queue.reset();
            queue->asyncAfter(std::chrono::microseconds(200), [queue] {});
            break;
        }
    }
}

void soak(Shared& shared, unsigned seed, std::chrono::steady_clock::time_point until) {
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    std::vector<TimerEntry> timers;
    std::vector<Observer> observers;
    for (int step = 0; step < 100000 && std::chrono::steady_clock::now() < until; ++step) {
        switch (pick(8)) {
            case 0: {
                if (timers.size() >= 4) break;
                TimerEntry entry;
                entry.queue = Queue::makeSerial("test.soak");
                {
                    std::lock_guard lock(shared.mutex);
                    shared.ends.push_back(entry.queue->whenEnded());
                }
                entry.timer = std::make_unique<SafeDispatchTimer>(
                    SafeDispatchTimer::Rate::hertz(500.0 + static_cast<double>(pick(4500))),
                    entry.queue, 0ns, [&shared, gone = entry.gone, step] {
                        if (*gone) ++shared.lateCalls;
                        ++shared.handlerCalls;
                        shared.tick.emit(step);
                        shared.level.set(step);
                    });
                timers.push_back(std::move(entry));
                break;
            }
            case 1:
            case 2:
                if (!timers.empty()) {
                    auto& timer = *timers[pick(timers.size())].timer;
                    const size_t control = pick(4);
                    if (control == 0) {
                        timer.resume();
                    } else if (control == 1) {
                        timer.suspend();
                    } else {
                        timer.restart(control == 2);
                    }
                }
                break;
            case 3:
                if (!timers.empty()) {
                    const size_t i = pick(timers.size());
                    auto entry = std::move(timers[i]);
                    timers.erase(timers.begin() + static_cast<std::ptrdiff_t>(i));
                    release(std::move(entry), static_cast<int>(pick(4)));
                }
                break;
            case 4: {
                if (observers.size() >= 6) break;
                Observer observer;
                auto check = [&shared, gone = observer.gone](const int&) {
                    if (*gone) ++shared.lateCalls;
                    ++shared.observerCalls;
                };
                observer.subscription =
                    pick(2) == 0 ? shared.tick.connect(check) : shared.level.subscribe(check);
                observers.push_back(std::move(observer));
                break;
            }
            case 5:
                if (!observers.empty()) {
                    const size_t i = pick(observers.size());
                    observers[i].cancel();
                    observers.erase(observers.begin() + static_cast<std::ptrdiff_t>(i));
                }
                break;
            case 6:
                shared.tick.emit(-step);
                shared.level.set(-step);
                break;
            default:
                std::this_thread::sleep_for(std::chrono::microseconds(pick(300)));
                break;
        }
    }
    for (auto& observer : observers)
        observer.cancel();
    for (auto& entry : timers)
        release(std::move(entry), static_cast<int>(pick(4)));
}

TEST(ConcurrencySoak, QueuesTimersAndObserversFromManyThreads) {
    Shared shared;
    const auto until = std::chrono::steady_clock::now() + 1500ms;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t)
        threads.emplace_back([&, t] { soak(shared, 1234 + t, until); });
    for (auto& thread : threads)
        thread.join();
    // Every queue ends once its timer and delayed tasks have let go of it.
    std::lock_guard lock(shared.mutex);
    for (const auto& end : shared.ends)
        ASSERT_TRUE(end.wait(10s));
    EXPECT_EQ(shared.lateCalls, 0);
    EXPECT_GT(shared.handlerCalls, 0);
    EXPECT_GT(shared.observerCalls, 0);
}

}  // namespace
