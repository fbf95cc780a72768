#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "dispatch/queue.hpp"

using namespace std::chrono_literals;
using dispatch::DispatchError;
using dispatch::MainQueue;
using dispatch::QoS;
using dispatch::Queue;

namespace {

TEST(GlobalQueue, OneQueuePerQualityOfService) {
    EXPECT_EQ(Queue::global(QoS::utility), Queue::global(QoS::utility));
    EXPECT_NE(Queue::global(QoS::utility), Queue::global(QoS::userInitiated));
    EXPECT_EQ(Queue::global().get(), Queue::global(QoS::default_).get());
    EXPECT_EQ(Queue::global(QoS::userInitiated)->qos(), QoS::userInitiated);
}

TEST(GlobalQueue, TasksRunInParallel) {
    // Two tasks that each wait for the other can only finish when they run at the same time.
    std::promise<void> aStarted, bStarted;
    auto aReady = aStarted.get_future().share();
    auto bReady = bStarted.get_future().share();
    std::atomic<int> finished{0};
    auto queue = Queue::global();
    queue->async([&] {
        aStarted.set_value();
        if (bReady.wait_for(10s) == std::future_status::ready) ++finished;
    });
    queue->async([&] {
        bStarted.set_value();
        if (aReady.wait_for(10s) == std::future_status::ready) ++finished;
    });
    const auto start = std::chrono::steady_clock::now();
    while (finished < 2 && std::chrono::steady_clock::now() - start < 20s)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(finished, 2);
}

TEST(GlobalQueue, SyncRunsOnTheCallerAndNests) {
    auto queue = Queue::global();
    EXPECT_EQ(queue->sync([] { return 5; }), 5);
    EXPECT_EQ(queue->sync([&] { return queue->sync([] { return 6; }); }), 6);
    EXPECT_TRUE(queue->sync([&] { return queue->isCurrent(); }));
}

TEST(MainQueue, DrainRunsTasksInOrderOnTheCallingThread) {
    auto main = Queue::main();
    main->drain();
    std::vector<int> order;
    std::thread::id ranOn;
    for (int i = 0; i < 5; ++i)
        main->async([&, i] {
            order.push_back(i);
            ranOn = std::this_thread::get_id();
            if (i == 4) Queue::main()->async([&] { order.push_back(5); });  // queued while draining
        });
    EXPECT_EQ(main->drain(), 6u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(MainQueue::isMainThread());
}

TEST(MainQueue, RunUntilPumpsUntilThePredicateHoldsOrTimesOut) {
    auto main = Queue::main();
    std::atomic<bool> flag{false};
    std::thread producer([&] {
        std::this_thread::sleep_for(20ms);
        Queue::main()->async([&] { flag = true; });
    });
    EXPECT_TRUE(main->runUntil([&] { return flag.load(); }, 10s));
    producer.join();
    EXPECT_FALSE(main->runUntil([] { return false; }, 10ms));
}

TEST(MainQueue, SyncFromAnotherThreadRunsOnTheMainThread) {
    auto main = Queue::main();
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    int value = 0;
    bool rethrown = false;
    std::thread worker([&] {
        value = Queue::main()->sync([&] {
            ranOn = std::this_thread::get_id();
            return 11;
        });
        try {
            Queue::main()->sync([] { throw std::runtime_error("x"); });
        } catch (const std::runtime_error&) {
            rethrown = true;
        }
        done = true;
    });
    EXPECT_TRUE(main->runUntil([&] { return done.load(); }, 10s));
    worker.join();
    EXPECT_EQ(value, 11);
    EXPECT_TRUE(rethrown);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(MainQueue, SyncThatWouldDeadlockFailsFast) {
    auto main = Queue::main();
    try {
        main->sync([] {});
        ADD_FAILURE() << "expected a DispatchError";
    } catch (const DispatchError& e) {
        EXPECT_EQ(e.errorCase(), DispatchError::Case::syncOnMainFromMainThread);
    }
    std::optional<DispatchError::Case> inside;
    main->async([&] {
        try {
            Queue::main()->sync([] {});
        } catch (const DispatchError& e) {
            inside = e.errorCase();
        }
    });
    main->drain();
    EXPECT_EQ(inside, DispatchError::Case::syncOnCurrentQueue);
}

TEST(MainQueue, WakeHandlerHearsOfEveryTask) {
    auto main = Queue::main();
    std::atomic<int> wakes{0};
    main->setWakeHandler([&] { ++wakes; });
    main->async([] {});
    std::thread([] { Queue::main()->async([] {}); }).join();
    main->setWakeHandler(nullptr);
    main->async([] {});
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(main->drain(), 3u);
}

}  // namespace
