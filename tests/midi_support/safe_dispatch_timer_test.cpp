#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>
#include <unordered_set>
#include <vector>

#include "midi_support/safe_dispatch_timer.hpp"
#include "wait_for.hpp"

using namespace std::chrono_literals;
using dispatch::Queue;
using dispatch::TimerService;
using midisupport::SafeDispatchTimer;
using Rate = SafeDispatchTimer::Rate;

using testsupport::waitFor;

namespace {

// A timer on a serial queue whose clock moves only when the test says so.
struct Fixture {
    std::shared_ptr<Queue> queue = Queue::makeSerial("test.safe-timer");
    std::shared_ptr<TimerService> clock = TimerService::makeManual();
    std::atomic<int> fired{0};
    std::unique_ptr<SafeDispatchTimer> timer;

    explicit Fixture(Rate rate = Rate::seconds(1.0)) {
        timer = std::make_unique<SafeDispatchTimer>(
            rate, queue, 0ns, [this] { ++fired; }, clock);
    }

    int advance(dispatch::Duration by) {
        clock->advance(by);
        queue->sync([] {});
        return fired.load();
    }
};

TEST(SafeDispatchTimer, IntervalOfARate) {
    const struct {
        Rate rate;
        double seconds;
    } cases[] = {
        {Rate::hertz(0), 100000.0},
        {Rate::hertz(-5), 100000.0},
        {Rate::seconds(0), 1e-9},
        {Rate::seconds(-3), 1e-9},
        {Rate::hertz(1000), 0.001},
        {Rate::hertz(200), 0.005},
        {Rate::seconds(2.5), 2.5},
        {Rate::hertz(std::nan("")), 100000.0},
        {Rate::seconds(std::nan("")), 100000.0},
        {Rate::seconds(std::numeric_limits<double>::infinity()),
         std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(SafeDispatchTimer::interval(c.rate), c.seconds)
            << (c.rate.isHertz() ? "hertz " : "seconds ") << c.rate.value();
    }
}

TEST(SafeDispatchTimer, RateEqualityAndHashing) {
    EXPECT_EQ(Rate::hertz(1), Rate::hertz(1));
    EXPECT_NE(Rate::hertz(1), Rate::seconds(1));
    EXPECT_NE(Rate::hertz(1), Rate::hertz(2));
    EXPECT_EQ(Rate::seconds(-0.0), Rate::seconds(0.0));
    EXPECT_EQ(Rate::seconds(-0.0).hash(), Rate::seconds(0.0).hash());
    std::unordered_set<Rate> set{Rate::hertz(1), Rate::seconds(1), Rate::hertz(1)};
    EXPECT_EQ(set.size(), 2u);
}

TEST(SafeDispatchTimer, NewTimerDoesNotFireUntilStarted) {
    Fixture f;
    EXPECT_FALSE(f.timer->running());
    EXPECT_EQ(f.advance(10s), 0);
    f.timer->resume();
    EXPECT_TRUE(f.timer->running());
    // The first deadline was the moment of creation, so the overdue firing comes at once.
    EXPECT_EQ(f.advance(0s), 1);
    EXPECT_EQ(f.advance(1s), 2);
}

TEST(SafeDispatchTimer, ResumeAndSuspendActOnlyOnAChange) {
    Fixture f;
    f.timer->resume();
    f.timer->resume();
    f.timer->suspend();
    EXPECT_FALSE(f.timer->running());
    EXPECT_EQ(f.advance(10s), 0);
    f.timer->suspend();
    f.timer->resume();
    EXPECT_TRUE(f.timer->running());
    EXPECT_GE(f.advance(0s), 1);
}

TEST(SafeDispatchTimer, RestartImmediatelyOrOneIntervalLater) {
    Fixture now;
    now.timer->restart(true);
    EXPECT_TRUE(now.timer->running());
    EXPECT_EQ(now.advance(0s), 1);
    EXPECT_EQ(now.advance(999ms), 1);
    EXPECT_EQ(now.advance(1ms), 2);

    Fixture later;
    later.timer->restart(false);
    EXPECT_EQ(later.advance(0s), 0);
    EXPECT_EQ(later.advance(999ms), 0);
    EXPECT_EQ(later.advance(1ms), 1);
    EXPECT_EQ(later.advance(1s), 2);
}

TEST(SafeDispatchTimer, RestartPushesTheNextFiringBack) {
    // A presence timer: every restart moves the firing one interval past the restart.
    Fixture f(Rate::seconds(2.0));
    f.timer->restart(false);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.advance(1500ms), 0);
        f.timer->restart(false);
    }
    EXPECT_EQ(f.advance(2s), 1);
}

TEST(SafeDispatchTimer, NewRateAndLeewayTakeEffectAtTheNextRestart) {
    Fixture f(Rate::seconds(1.0));
    f.timer->restart(false);
    f.timer->setRate(Rate::hertz(10));
    f.timer->setLeeway(5ms);
    EXPECT_EQ(f.timer->rate(), Rate::hertz(10));
    EXPECT_EQ(f.timer->leeway(), 5ms);
    EXPECT_EQ(f.advance(500ms), 0);  // still on the old one-second schedule
    EXPECT_EQ(f.advance(500ms), 1);
    f.timer->restart(false);
    EXPECT_EQ(f.advance(100ms), 2);
    EXPECT_EQ(f.advance(100ms), 3);
}

TEST(SafeDispatchTimer, ReplacingTheHandler) {
    Fixture f;
    std::atomic<int> second{0};
    f.timer->restart(true);
    EXPECT_EQ(f.advance(0s), 1);
    f.timer->setEventHandler([&] { ++second; });
    f.advance(1s);
    EXPECT_EQ(f.fired, 1);
    EXPECT_EQ(second, 1);
}

TEST(SafeDispatchTimer, ControlsFromInsideTheHandler) {
    Fixture f;
    f.timer->setEventHandler([&] {
        ++f.fired;
        f.timer->suspend();
    });
    f.timer->restart(true);
    EXPECT_EQ(f.advance(0s), 1);
    EXPECT_FALSE(f.timer->running());
    EXPECT_EQ(f.advance(5s), 1);
}

// Releasing the timer in any state neither deadlocks nor crashes, and the handler never runs
// afterwards. These run on the system clock with a fast rate.
TEST(SafeDispatchTimer, ReleasedInAnyState) {
    enum class State { neverStarted, suspended, running, runningSlowHandler };
    for (auto state :
         {State::neverStarted, State::suspended, State::running, State::runningSlowHandler}) {
        auto queue = Queue::makeSerial("test.release");
        auto fired = std::make_shared<std::atomic<int>>(0);
        const bool slow = state == State::runningSlowHandler;
        auto timer =
            std::make_unique<SafeDispatchTimer>(Rate::hertz(1000), queue, 0ns, [fired, slow] {
                ++*fired;
                if (slow) std::this_thread::sleep_for(20ms);
            });
        if (state != State::neverStarted) {
            timer->resume();
            ASSERT_TRUE(waitFor([&] { return fired->load() >= 2; }));
        }
        if (state == State::suspended) timer->suspend();
        timer.reset();
        const int atRelease = fired->load();
        std::this_thread::sleep_for(30ms);
        queue->sync([] {});
        EXPECT_EQ(fired->load(), atRelease) << static_cast<int>(state);
        if (state == State::neverStarted) {
            EXPECT_EQ(atRelease, 0);
        }
    }
}

TEST(SafeDispatchTimer, ReleasedFromInsideItsOwnHandler) {
    auto queue = Queue::makeSerial("test.release-inside");
    std::atomic<int> fired{0};
    std::atomic<bool> released{false};
    std::atomic<bool> resumed{false};
    auto* timer = new SafeDispatchTimer(Rate::hertz(1000), queue, 0ns, {});
    timer->setEventHandler([&, timer] {
        // Not before the test thread is done calling into the timer.
        while (!resumed)
            std::this_thread::yield();
        ++fired;
        delete timer;
        released = true;
    });
    timer->resume();
    resumed = true;
    ASSERT_TRUE(waitFor([&] { return released.load(); }));
    std::this_thread::sleep_for(30ms);
    queue->sync([] {});
    EXPECT_EQ(fired, 1);
}

TEST(SafeDispatchTimer, ControlsAreSafeFromManyThreads) {
    auto queue = Queue::makeSerial("test.control-threads");
    std::atomic<int> fired{0};
    SafeDispatchTimer timer(Rate::hertz(2000), queue, 0ns, [&] { ++fired; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                switch ((i + t) % 4) {
                    case 0:
                        timer.resume();
                        break;
                    case 1:
                        timer.suspend();
                        break;
                    case 2:
                        timer.restart(i % 2 == 0);
                        break;
                    default:
                        (void)timer.running();
                        timer.setRate(Rate::hertz(1000 + i));
                        break;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    // Whatever the interleaving, the controls leave a consistent timer behind.
    timer.restart(true);
    const int before = fired.load();
    ASSERT_TRUE(waitFor([&] { return fired.load() > before; }));
    timer.suspend();
    queue->sync([] {});
    const int stopped = fired.load();
    std::this_thread::sleep_for(20ms);
    queue->sync([] {});
    EXPECT_EQ(fired.load(), stopped);
}

TEST(SafeDispatchTimer, TimerThenQueueReleasedWhileAFiringIsQueued) {
    // The queued firing holds the timer's state, which holds the queue: the queue's last reference
    // goes when its own worker has run the firing.
    auto queue = Queue::makeSerial("test.release-order");
    const auto end = queue->whenEnded();
    auto clock = TimerService::makeManual();
    std::promise<void> gate;
    auto opened = gate.get_future().share();
    queue->async([opened] { (void)opened.wait_for(5s); });  // holds the firing in the queue
    std::atomic<int> fired{0};
    auto timer = std::make_unique<SafeDispatchTimer>(
        Rate::hertz(1000), queue, 0ns, [&] { ++fired; }, clock);
    timer->restart(true);
    clock->advance(0s);
    timer.reset();
    queue.reset();
    gate.set_value();
    EXPECT_TRUE(end.wait(5s));
    EXPECT_EQ(fired, 0);
}

TEST(SafeDispatchTimer, RestartWithAnIntervalBeyondTheClocksRange) {
    // About 300 days after the clock's start, an interval of 10^12 s (held at the largest
    // duration) must put the next firing at the end of time, not wrap it into the past.
    for (const auto rate :
         {Rate::seconds(1e12), Rate::seconds(std::numeric_limits<double>::max())}) {
        Fixture f(rate);
        f.clock->advance(std::chrono::hours(24 * 300));
        f.timer->restart(false);
        EXPECT_EQ(f.advance(std::chrono::hours(24 * 365)), 0) << rate.value();
        f.timer->restart(true);
        EXPECT_EQ(f.advance(0s), 1) << rate.value();
    }
}

}  // namespace
