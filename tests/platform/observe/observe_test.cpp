#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "observe/observe.hpp"
#include "wait_for.hpp"

using namespace std::chrono_literals;
using testsupport::waitFor;

namespace {

// Four threads each set 1000 values: thread t sets t * 1000 + 0 ... t * 1000 + 999 in order.
void setFromFourThreads(observe::Published<int>& published) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i)
                published.set(t * 1000 + i);
        });
    }
    for (auto& thread : threads)
        thread.join();
}

TEST(Signal, CallsConnectedCallbacksInOrderUntilTheirSubscriptionEnds) {
    observe::Signal<int> signal;
    std::vector<std::string> calls;
    auto a = signal.connect([&](int v) { calls.push_back("a" + std::to_string(v)); });
    auto b = signal.connect([&](int v) { calls.push_back("b" + std::to_string(v)); });
    signal.emit(1);
    b.cancel();
    signal.emit(2);
    {
        auto c = signal.connect([&](int v) { calls.push_back("c" + std::to_string(v)); });
        signal.emit(3);
    }
    signal.emit(4);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "a2", "a3", "c3", "a4"}));
    EXPECT_EQ(signal.connectionCount(), 1u);
}

TEST(Signal, SubscriptionMayOutliveTheSignalAndCallbacksMayDisconnectThemselves) {
    observe::Subscription survivor;
    {
        observe::Signal<> signal;
        survivor = signal.connect([] {});
    }
    survivor.cancel();  // the signal is gone: nothing to do, no crash
    EXPECT_FALSE(survivor.active());

    observe::Signal<> signal;
    int calls = 0;
    observe::Subscription self;
    self = signal.connect([&] {
        ++calls;
        self.cancel();
    });
    signal.emit();
    signal.emit();
    EXPECT_EQ(calls, 1);
}

TEST(Published, AnnouncesEachNewValueAfterStoringIt) {
    observe::Published<std::optional<int>> published;
    std::vector<std::optional<int>> seen;
    std::vector<std::optional<int>> storedAtCall;
    auto subscription = published.subscribe([&](const std::optional<int>& v) {
        seen.push_back(v);
        storedAtCall.push_back(published.get());
    });
    EXPECT_EQ(published.get(), std::nullopt);
    published.set(3);
    published.set(std::nullopt);
    EXPECT_EQ(seen, (std::vector<std::optional<int>>{3, std::nullopt}));
    EXPECT_EQ(storedAtCall, seen);
}

TEST(Published, SetFromManyThreads) {
    observe::Published<int> published;
    std::atomic<int> notifications{0};
    auto subscription = published.subscribe([&](const int&) { ++notifications; });
    setFromFourThreads(published);
    EXPECT_EQ(notifications, 4000);
}

TEST(Signal, CancelIsSynchronous) {
    // Once cancel() returns, the callback is neither running nor called again: not by an emit
    // already past its snapshot of the connections, and not by a call under way on another thread.
    enum class Race { emitPastItsSnapshot, callUnderWay };
    for (const auto race : {Race::emitPastItsSnapshot, Race::callUnderWay}) {
        SCOPED_TRACE(static_cast<int>(race));
        observe::Signal<> signal;
        std::promise<void> gate;
        auto opened = gate.get_future().share();
        std::atomic<bool> firstEntered{false};
        std::atomic<bool> secondEntered{false};
        std::atomic<bool> cancelled{false};
        std::atomic<bool> calledAfterCancel{false};
        std::atomic<bool> returned{false};
        // In the first race, the first callback holds the emitting thread until the test has
        // cancelled the second; in the other, the second is slow.
        auto first = signal.connect([&] {
            firstEntered = true;
            if (race == Race::emitPastItsSnapshot) (void)opened.wait_for(2s);
        });
        auto second = signal.connect([&] {
            if (cancelled) calledAfterCancel = true;
            secondEntered = true;
            if (race == Race::callUnderWay) std::this_thread::sleep_for(100ms);
            returned = true;
        });
        std::thread emitter([&] { signal.emit(); });
        if (race == Race::callUnderWay) {
            ASSERT_TRUE(waitFor([&] { return secondEntered.load(); }));
        } else {
            ASSERT_TRUE(waitFor([&] { return firstEntered.load(); }));
        }
        second.cancel();
        cancelled = true;
        if (race == Race::callUnderWay) {
            EXPECT_TRUE(returned);
        }
        gate.set_value();
        emitter.join();
        signal.emit();
        EXPECT_FALSE(calledAfterCancel);
    }
}

TEST(Signal, AnObserverThatCancelsInItsDestructorIsNeverCalledAfterIt) {
    struct Observer {
        std::atomic<bool>* alive;
        observe::Subscription subscription;
        ~Observer() {
            subscription.cancel();
            *alive = false;
        }
    };
    observe::Signal<int> signal;
    std::atomic<bool> stop{false};
    std::atomic<int> callsOnDeadObserver{0};
    std::thread emitter([&] {
        while (!stop)
            signal.emit(1);
    });
    for (int i = 0; i < 300; ++i) {
        auto alive = std::make_unique<std::atomic<bool>>(true);
        auto observer = std::make_unique<Observer>();
        observer->alive = alive.get();
        observer->subscription = signal.connect([&, flag = alive.get()](int) {
            if (!*flag) ++callsOnDeadObserver;
        });
        std::this_thread::sleep_for(50us);
        observer.reset();
        // The flag outlives the observer only long enough to catch a late call.
        std::this_thread::sleep_for(50us);
    }
    stop = true;
    emitter.join();
    EXPECT_EQ(callsOnDeadObserver, 0);
}

TEST(Published, AnnouncesInStoreOrderSoTheLastValueSeenIsTheValue) {
    // set(1) is still announcing (its subscriber is slow) when set(2) stores and announces.
    observe::Published<int> published;
    std::promise<void> gate;
    auto opened = gate.get_future().share();
    std::atomic<bool> announcingOne{false};
    std::mutex mutex;
    std::vector<int> seen;
    auto subscription = published.subscribe([&](const int& v) {
        if (v == 1) {
            announcingOne = true;
            (void)opened.wait_for(2s);
        }
        std::lock_guard lock(mutex);
        seen.push_back(v);
    });
    std::thread first([&] { published.set(1); });
    ASSERT_TRUE(waitFor([&] { return announcingOne.load(); }));
    published.set(2);
    gate.set_value();
    first.join();
    EXPECT_EQ(published.get(), 2);
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(Published, ConcurrentSettersAndASubscriberThatSets) {
    // Many threads store; each subscriber sees increasing values per thread and ends on the value.
    observe::Published<int> published;
    std::mutex mutex;
    std::vector<int> seen;
    std::vector<int> lastPerThread(4, -1);
    bool outOfOrder = false;
    auto subscription = published.subscribe([&](const int& v) {
        std::lock_guard lock(mutex);
        seen.push_back(v);
        if (v >= 0) {
            auto& last = lastPerThread[static_cast<size_t>(v / 1000)];
            if (v <= last) outOfOrder = true;
            last = v;
        }
    });
    // A subscriber that sets the value again from inside an announcement.
    auto echo = published.subscribe([&](const int& v) {
        if (v == 3999) published.set(-1);
    });
    setFromFourThreads(published);
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen.size(), 4001u);
    EXPECT_FALSE(outOfOrder);
    EXPECT_EQ(seen.back(), published.get());
}

}  // namespace
