#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "observe/observe.hpp"

namespace {

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
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i)
                published.set(t * 1000 + i);
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(notifications, 4000);
}

}  // namespace
