#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dispatch/queue.hpp"
#include "dispatch/timer.hpp"
#include "wait_for.hpp"

using namespace std::chrono_literals;
using dispatch::Queue;
using dispatch::TimerService;
using dispatch::TimerSource;

using testsupport::waitFor;

namespace {

// A timer on a serial queue, driven by a manual clock: every firing is a consequence of
// `advance`, and `settle` waits until the queue has run what those firings queued.
struct ManualTimer {
    std::shared_ptr<Queue> queue = Queue::makeSerial("test.timer");
    std::shared_ptr<TimerService> service = TimerService::makeManual();
    TimerSource timer{queue, service};
    std::atomic<int> fired{0};

    ManualTimer() {
        timer.setEventHandler([this] { ++fired; });
    }

    int advance(dispatch::Duration by) {
        service->advance(by);
        queue->sync([] {});
        return fired.load();
    }
};

TEST(TimerSource, StartsSuspendedAndUnscheduled) {
    ManualTimer t;
    EXPECT_TRUE(t.timer.isSuspended());
    EXPECT_EQ(t.advance(1h), 0);
    t.timer.schedule(t.service->now(), 10ms);
    EXPECT_EQ(t.advance(1h), 0);
    t.timer.resume();
    EXPECT_EQ(t.advance(0ms), 1);
}

TEST(TimerSource, KeepsItsCadenceAndCoalescesMissedFirings) {
    ManualTimer t;
    t.timer.schedule(t.service->now(), 10ms);
    t.timer.resume();
    EXPECT_EQ(t.advance(0ms), 1);   // t = 0
    EXPECT_EQ(t.advance(9ms), 1);   // t = 9
    EXPECT_EQ(t.advance(1ms), 2);   // t = 10
    EXPECT_EQ(t.advance(35ms), 3);  // t = 45: 20, 30 and 40 were due, one firing delivers them
    EXPECT_EQ(t.advance(4ms), 3);   // t = 49: the cadence stays on multiples of 10 ms
    EXPECT_EQ(t.advance(1ms), 4);   // t = 50
}

TEST(TimerSource, SuspendStopsAndResumeContinues) {
    ManualTimer t;
    t.timer.schedule(t.service->now(), 10ms);
    t.timer.resume();
    EXPECT_EQ(t.advance(0ms), 1);
    t.timer.suspend();
    t.timer.suspend();
    EXPECT_EQ(t.advance(100ms), 1);
    t.timer.resume();  // the missed deadline fires once on resumption
    EXPECT_EQ(t.advance(0ms), 2);
    t.timer.resume();
    t.timer.resume();
    EXPECT_EQ(t.advance(10ms), 3);
}

TEST(TimerSource, RescheduleReplacesTheEarlierSchedule) {
    ManualTimer t;
    t.timer.schedule(t.service->now() + 5ms, 10ms);
    t.timer.resume();
    t.timer.schedule(t.service->now() + 50ms, 10ms);
    EXPECT_EQ(t.advance(49ms), 0);
    EXPECT_EQ(t.advance(1ms), 1);
}

TEST(TimerSource, CancelFromInsideTheHandlerStopsFurtherFirings) {
    ManualTimer t;
    t.timer.setEventHandler([&] {
        ++t.fired;
        t.timer.cancel();
    });
    t.timer.schedule(t.service->now(), 1ms);
    t.timer.resume();
    EXPECT_EQ(t.advance(0ms), 1);
    EXPECT_EQ(t.advance(1s), 1);
    EXPECT_TRUE(t.timer.isCancelled());
}

TEST(TimerSource, CancelWaitsForAHandlerRunningOnAnotherThread) {
    auto queue = Queue::makeSerial("test.cancel-wait");
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
    std::atomic<int> firings{0};
    auto timer = std::make_unique<TimerSource>(queue);
    timer->setEventHandler([&] {
        ++firings;
        entered = true;
        std::this_thread::sleep_for(50ms);
        finished = true;
    });
    timer->schedule(dispatch::Clock::now(), 1ms);
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return entered.load(); }));
    timer.reset();  // cancels
    EXPECT_TRUE(finished);
    const int atCancel = firings;
    std::this_thread::sleep_for(20ms);
    queue->sync([] {});
    EXPECT_EQ(firings, atCancel);
}

TEST(TimerSource, HandlerIsNeverReenteredOnAConcurrentQueue) {
    std::atomic<int> inFlight{0};
    std::atomic<bool> overlapped{false};
    std::atomic<int> firings{0};
    {
        TimerSource timer(Queue::global());
        timer.setEventHandler([&] {
            if (inFlight.fetch_add(1) != 0) overlapped = true;
            std::this_thread::sleep_for(200us);
            ++firings;
            inFlight.fetch_sub(1);
        });
        timer.schedule(dispatch::Clock::now(), 1us);
        timer.resume();
        ASSERT_TRUE(waitFor([&] { return firings.load() >= 50; }));
    }
    const int afterCancel = firings;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(firings, afterCancel);
    EXPECT_FALSE(overlapped);
}

TEST(TimerSource, SystemServiceFiresRoughlyOnTime) {
    auto queue = Queue::makeSerial("test.system-timer");
    std::atomic<int> firings{0};
    TimerSource timer(queue);
    timer.setEventHandler([&] { ++firings; });
    const auto start = dispatch::Clock::now();
    timer.schedule(start + 20ms, 20ms);
    timer.resume();
    ASSERT_TRUE(waitFor([&] { return firings.load() >= 3; }));
    EXPECT_GE(dispatch::Clock::now() - start, 60ms);
    EXPECT_THROW(TimerService::system()->advance(1s), std::logic_error);
}

}  // namespace
