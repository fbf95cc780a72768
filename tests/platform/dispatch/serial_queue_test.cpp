#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "dispatch/queue.hpp"

using namespace std::chrono_literals;
using dispatch::DispatchError;
using dispatch::Queue;

namespace {

struct Custom : std::runtime_error {
    using std::runtime_error::runtime_error;
};

TEST(SerialQueue, TasksFromSeveralProducersRunOneAtATimeInPerProducerOrder) {
    auto queue = Queue::makeSerial("test.order");
    constexpr int producers = 4;
    constexpr int perProducer = 2500;
    std::atomic<int> inFlight{0};
    std::atomic<bool> overlapped{false};
    // Touched only by tasks of the serial queue.
    std::array<int, producers> lastSeen{};
    lastSeen.fill(-1);
    bool outOfOrder = false;
    int ran = 0;

    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i) {
                queue->async([&, p, i] {
                    if (inFlight.fetch_add(1) != 0) overlapped = true;
                    if (i != lastSeen[p] + 1) outOfOrder = true;
                    lastSeen[p] = i;
                    ++ran;
                    inFlight.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : threads)
        t.join();
    const int total = queue->sync([&] { return ran; });

    EXPECT_EQ(total, producers * perProducer);
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(outOfOrder);
}

TEST(SerialQueue, SyncReturnsValuesAndRethrows) {
    auto queue = Queue::makeSerial("test.sync");
    EXPECT_EQ(queue->sync([] { return 42; }), 42);
    EXPECT_EQ(queue->sync([] { return std::string("text"); }), "text");
    EXPECT_THROW(queue->sync([]() -> int { throw Custom("boom"); }), Custom);
    // The queue keeps working after a block threw.
    EXPECT_EQ(queue->sync([] { return 7; }), 7);
}

TEST(SerialQueue, SyncRunsAfterEveryEarlierTask) {
    auto queue = Queue::makeSerial("test.sync-order");
    std::vector<int> seen;
    for (int i = 0; i < 100; ++i)
        queue->async([&, i] {
            std::this_thread::sleep_for(10us);
            seen.push_back(i);
        });
    const size_t countAtSync = queue->sync([&] { return seen.size(); });
    EXPECT_EQ(countAtSync, 100u);
}

TEST(SerialQueue, SyncOnTheCurrentQueueFailsFast) {
    auto queue = Queue::makeSerial("test.reentrant");
    auto other = Queue::makeSerial("test.other");

    // From a task of the queue itself.
    std::optional<DispatchError::Case> fromTask;
    queue->async([&] {
        try {
            queue->sync([] {});
        } catch (const DispatchError& e) {
            fromTask = e.errorCase();
        }
    });
    queue->sync([] {});
    EXPECT_EQ(fromTask, DispatchError::Case::syncOnCurrentQueue);

    // From inside a sync block of the queue, and through a second queue in between.
    EXPECT_THROW(queue->sync([&] { queue->sync([] {}); }), DispatchError);
    EXPECT_THROW(queue->sync([&] { other->sync([&] { queue->sync([] {}); }); }), DispatchError);
    try {
        queue->sync([&] { queue->sync([] {}); });
    } catch (const DispatchError& e) {
        EXPECT_NE(std::string(e.what()).find("test.reentrant"), std::string::npos);
    }
}

TEST(SerialQueue, IsCurrentOnlyInsideItsTasks) {
    auto queue = Queue::makeSerial("test.current");
    EXPECT_FALSE(queue->isCurrent());
    EXPECT_TRUE(queue->sync([&] { return queue->isCurrent(); }));
    std::atomic<bool> insideTask{false};
    queue->async([&] { insideTask = queue->isCurrent(); });
    queue->sync([] {});
    EXPECT_TRUE(insideTask);
}

TEST(SerialQueue, DelayedTasks) {
    auto queue = Queue::makeSerial("test.after");
    std::atomic<bool> negativeRan{false};
    const auto start = std::chrono::steady_clock::now();
    queue->asyncAfter(-5s, [&] { negativeRan = true; });
    while (!negativeRan && std::chrono::steady_clock::now() - start < 5s)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(negativeRan);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    std::atomic<bool> delayedRan{false};
    std::chrono::steady_clock::time_point ranAt;
    const auto posted = std::chrono::steady_clock::now();
    queue->asyncAfter(50ms, [&] {
        ranAt = std::chrono::steady_clock::now();
        delayedRan = true;
    });
    while (!delayedRan && std::chrono::steady_clock::now() - posted < 10s)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(delayedRan);
    EXPECT_GE(ranAt - posted, 50ms);
}

TEST(SerialQueue, DelayedTaskKeepsTheQueueAlive) {
    std::atomic<bool> ran{false};
    {
        auto queue = Queue::makeSerial("test.after-alive");
        queue->asyncAfter(20ms, [&] { ran = true; });
    }
    const auto start = std::chrono::steady_clock::now();
    while (!ran && std::chrono::steady_clock::now() - start < 10s)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(ran);
}

TEST(SerialQueue, AnEscapingExceptionDoesNotStopTheQueue) {
    auto queue = Queue::makeSerial("test.throwing-task");
    queue->async([] { throw Custom("ignored"); });
    EXPECT_EQ(queue->sync([] { return 1; }), 1);
}

TEST(SerialQueue, ReleasingDrainsPendingTasks) {
    std::atomic<int> ran{0};
    dispatch::QueueEnd end;
    {
        auto queue = Queue::makeSerial("test.drain");
        end = queue->whenEnded();
        for (int i = 0; i < 50; ++i)
            queue->async([&] {
                std::this_thread::sleep_for(100us);
                ++ran;
            });
    }
    // Releasing does not wait for the queue; its worker runs what is queued, then ends.
    ASSERT_TRUE(end.wait(10s));
    EXPECT_EQ(ran, 50);
}

TEST(SerialQueue, ReleasedFromInsideItsOwnTask) {
    std::atomic<int> ran{0};
    std::atomic<bool> done{false};
    std::promise<void> gate;
    auto opened = gate.get_future().share();
    auto queue = Queue::makeSerial("test.self-release");
    auto* lastOwner = new std::shared_ptr<Queue>(queue);
    queue->async([opened] { opened.wait(); });
    queue->async([&, lastOwner] {
        ++ran;
        delete lastOwner;  // the last owner goes away while this task runs
    });
    queue->async([&] {
        ++ran;
        done = true;
    });
    queue.reset();
    gate.set_value();
    const auto start = std::chrono::steady_clock::now();
    while (!done && std::chrono::steady_clock::now() - start < 10s)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(ran, 2);
}

TEST(SerialQueue, KeepsLabelAndQualityOfService) {
    auto queue = Queue::makeSerial("com.example.label", dispatch::QoS::userInitiated);
    EXPECT_EQ(queue->label(), "com.example.label");
    EXPECT_EQ(queue->qos(), dispatch::QoS::userInitiated);
}

}  // namespace
