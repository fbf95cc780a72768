// Teardown of queues on whichever thread lets go last, callbacks reached with no lock held, the
// priority order of the global pool and deadlines at the ends of the clock. Every wait is bounded:
// a fault shows as a failed expectation after a timeout, never as a hung test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "dispatch/queue.hpp"
#include "dispatch/timer.hpp"
#include "wait_for.hpp"

using namespace std::chrono_literals;
using dispatch::Clock;
using dispatch::Duration;
using dispatch::QoS;
using dispatch::Queue;
using dispatch::TimePoint;
using dispatch::TimerService;
using dispatch::TimerSource;
using testsupport::waitFor;

namespace {

// A gate that a task waits at for a bounded time; `passed()` tells whether it was opened in time.
struct Gate {
    std::promise<void> promise;
    std::shared_future<void> opened = promise.get_future().share();
    bool waitOpened(Duration timeout = 3s) const {
        return opened.wait_for(timeout) == std::future_status::ready;
    }
    void open() { promise.set_value(); }
};

TEST(SerialQueueTeardown, TheLastReferenceMayBeReleasedAnywhere) {
    // Whoever holds the last reference, the queue ends once it has run what it holds.
    enum class Holder { ownTask, delayedTask, ownTaskQueuedWhileBusy };
    for (const auto holder :
         {Holder::ownTask, Holder::delayedTask, Holder::ownTaskQueuedWhileBusy}) {
        SCOPED_TRACE(static_cast<int>(holder));
        auto queue = Queue::makeSerial("test.last-reference");
        const auto end = queue->whenEnded();
        std::atomic<int> ran{0};
        Gate gate;
        switch (holder) {
            case Holder::ownTask:
                queue->async([queue, &ran] { ++ran; });
                break;
            case Holder::delayedTask:
                queue->asyncAfter(1ms, [&ran] { ++ran; });
                break;
            case Holder::ownTaskQueuedWhileBusy:
                queue->async([&gate] { (void)gate.waitOpened(); });
                queue->async([queue, &ran] { ++ran; });
                break;
        }
        queue.reset();
        if (holder == Holder::ownTaskQueuedWhileBusy) gate.open();
        EXPECT_TRUE(end.wait(5s));
        EXPECT_EQ(ran, 1);
    }
}

TEST(SerialQueueTeardown, ReleasingNeverWaitsForTheQueuesWork) {
    // The queue is busy with a task that waits for something the releasing thread does next. With
    // a release that joined the worker, the task would wait in vain until its timeout.
    enum class Releaser { callingThread, timerThread };
    for (const auto releaser : {Releaser::callingThread, Releaser::timerThread}) {
        SCOPED_TRACE(static_cast<int>(releaser));
        auto other = Queue::makeSerial("test.other");
        auto queue = Queue::makeSerial("test.busy");
        const auto end = queue->whenEnded();
        Gate gate;
        std::atomic<bool> opened{false};
        queue->async([&] { opened = gate.waitOpened(); });
        if (releaser == Releaser::callingThread) {
            queue.reset();
            gate.open();
        } else {
            // The timer thread lets go of the queue when the first deadline fires; the second
            // deadline, an unrelated timer, opens the gate.
            queue->asyncAfter(1ms, [] {});
            queue.reset();
            other->asyncAfter(30ms, [&] { gate.open(); });
        }
        ASSERT_TRUE(end.wait(10s));
        EXPECT_TRUE(opened);
    }
}

TEST(QueueEnd, GlobalAndMainQueuesNeverEnd) {
    EXPECT_FALSE(Queue::global()->whenEnded().wait(1ms));
    EXPECT_FALSE(Queue::main()->whenEnded().ended());
    EXPECT_FALSE(dispatch::QueueEnd().wait(1ms));
}

TEST(Deadlines, SaturateAtTheEndsOfTheClock) {
    const auto max = TimePoint::max();
    const auto min = TimePoint::min();
    const auto mid = TimePoint(Duration(1'000'000'000));
    const struct {
        TimePoint t;
        Duration d;
        TimePoint sum;
    } cases[] = {
        {mid, 5ns, mid + 5ns},
        {mid, -5ns, mid - 5ns},
        {mid, Duration::max(), max},
        {mid, Duration::min(), TimePoint(Duration(1'000'000'000) + Duration::min())},
        {TimePoint(-1ns), Duration::min(), min},
        {max - 1ns, 2ns, max},
        {min + 1ns, -2ns, min},
        {max, Duration::min(), TimePoint(Duration(-1))},
        {min, Duration::max(), TimePoint(Duration(-1))},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dispatch::saturatingAdd(c.t, c.d), c.sum)
            << c.t.time_since_epoch().count() << " + " << c.d.count();
    }
}

TEST(Deadlines, DelaysAtTheEndsOfTheRange) {
    auto queue = Queue::makeSerial("test.extreme-delays");
    std::atomic<bool> never{false};
    std::atomic<bool> atOnce{false};
    queue->asyncAfter(Duration::max(), [&] { never = true; });
    queue->asyncAfter(Duration::min(), [&] { atOnce = true; });
    EXPECT_TRUE(waitFor([&] { return atOnce.load(); }, 5s));
    std::this_thread::sleep_for(20ms);
    queue->sync([] {});
    EXPECT_FALSE(never);
    EXPECT_FALSE(Queue::main()->runUntil([] { return false; }, -1ms));
    EXPECT_TRUE(Queue::main()->runUntil([] { return true; }, Duration::max()));
}

TEST(GlobalQueue, HigherClassesDoNotWaitBehindLowerOnes) {
    // More blocked tasks of the lower class than the pool has threads, then one task of each class
    // above it: every one of those starts while the lower class is still blocked.
    const struct {
        QoS lower;
        std::vector<QoS> higher;
    } cases[] = {
        {QoS::background,
         {QoS::userInteractive, QoS::userInitiated, QoS::default_, QoS::unspecified, QoS::utility}},
        {QoS::default_, {QoS::userInteractive, QoS::userInitiated}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(dispatch::toString(c.lower));
        Gate gate;
        const int blocked = 64;
        std::atomic<int> finishedLower{0};
        for (int i = 0; i < blocked; ++i) {
            Queue::global(c.lower)->async([&] {
                (void)gate.waitOpened(10s);
                ++finishedLower;
            });
        }
        std::atomic<int> ranHigher{0};
        for (auto qos : c.higher)
            Queue::global(qos)->async([&] { ++ranHigher; });
        EXPECT_TRUE(
            waitFor([&] { return ranHigher.load() == static_cast<int>(c.higher.size()); }, 3s));
        EXPECT_EQ(finishedLower, 0);
        gate.open();
        EXPECT_TRUE(waitFor([&] { return finishedLower.load() == blocked; }));
    }
}

TEST(TimerSource, QueuesItsFiringWithNoLockHeld) {
    // The application's wake handler takes a mutex that the application also holds around
    // `schedule()`. A firing queued under the timer's lock would make the two wait for each other.
    auto main = Queue::main();
    main->drain();
    auto service = TimerService::makeManual();
    TimerSource timer(main, service);
    timer.setEventHandler([] {});
    timer.schedule(service->now(), 1ms);
    timer.resume();

    std::mutex app;
    std::atomic<bool> wakeEntered{false};
    std::atomic<bool> wakeGotTheMutex{false};
    main->setWakeHandler([&] {
        wakeEntered = true;
        // A bounded wait for the mutex (polled: the sanitizers do not follow timed locks).
        if (waitFor([&] { return app.try_lock(); }, 2s)) {
            wakeGotTheMutex = true;
            app.unlock();
        }
    });
    app.lock();
    std::thread firing([&] { service->advance(0ms); });
    ASSERT_TRUE(waitFor([&] { return wakeEntered.load(); }));
    timer.schedule(service->now() + 1s, 1s);
    app.unlock();
    firing.join();
    main->setWakeHandler(nullptr);
    EXPECT_TRUE(wakeGotTheMutex);
    main->drain();
}

TEST(MainQueue, RemovingTheWakeHandlerWaitsForARunningCall) {
    auto main = Queue::main();
    std::atomic<bool> entered{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> calledAfterRemoval{false};
    std::atomic<bool> removed{false};
    main->setWakeHandler([&] {
        if (removed) calledAfterRemoval = true;
        entered = true;
        std::this_thread::sleep_for(100ms);
        returned = true;
    });
    std::thread producer([] { Queue::main()->async([] {}); });
    ASSERT_TRUE(waitFor([&] { return entered.load(); }));
    main->setWakeHandler(nullptr);
    removed = true;
    EXPECT_TRUE(returned);
    producer.join();
    main->async([] {});
    EXPECT_FALSE(calledAfterRemoval);

    // From inside the handler itself: no wait for its own call.
    std::atomic<int> calls{0};
    main->setWakeHandler([&] {
        ++calls;
        Queue::main()->setWakeHandler(nullptr);
    });
    main->async([] {});
    main->async([] {});
    EXPECT_EQ(calls, 1);
    main->drain();
}

}  // namespace
