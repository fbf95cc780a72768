#include "midi_core/thread_safe_access.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace midicore {
namespace {

using namespace std::chrono_literals;

// Generous: only a deadlock runs into it.
constexpr auto deadlockBound = 60s;

TEST(ThreadSafeAccessTest, ConcurrentModifyIncrementsLoseNone) {
    ThreadSafeAccess<long> counter(0);
    constexpr int threads = 8;
    constexpr int increments = 100000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&counter] {
            for (int i = 0; i < increments; ++i)
                counter.modify([](long& v) { ++v; });
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(counter.wrappedValue(), long{threads} * increments);
}

TEST(ThreadSafeAccessTest, AThrowingModifyReleasesTheLock) {
    ThreadSafeAccess<std::string> text("a");
    EXPECT_THROW(text.modify([](std::string& v) {
        v += "b";
        throw std::runtime_error("update failed");
    }),
                 std::runtime_error);
    // Another thread can take the write lock and then the read lock again.
    auto other = std::async(std::launch::async, [&text] {
        text.modify([](std::string& v) { v += "c"; });
        return text.wrappedValue();
    });
    ASSERT_EQ(other.wait_for(deadlockBound), std::future_status::ready);
    EXPECT_EQ(other.get(), "abc");  // what the failed update changed before throwing stays
}

TEST(ThreadSafeAccessTest, ModifyReturnsTheUpdatesResultAndSetReplaces) {
    ThreadSafeAccess<std::vector<int>> values(std::vector<int>{1, 2});
    const size_t size = values.modify([](std::vector<int>& v) {
        v.push_back(3);
        return v.size();
    });
    EXPECT_EQ(size, 3u);
    values.setWrappedValue({7});
    EXPECT_EQ(values.wrappedValue(), std::vector<int>{7});
    // After a write on one thread, reads on other threads see it.
    auto reader = std::async(std::launch::async, [&values] { return values.wrappedValue(); });
    EXPECT_EQ(reader.get(), std::vector<int>{7});
}

// A value whose copies (made by readers under the read lock) and assignments (made by writers
// under the write lock) report who else is inside at the same moment.
struct Probe {
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        int readers = 0;
        int writers = 0;
        int maxReaders = 0;
        bool overlapSeen = false;
        bool waitForSecondReader = false;
    };
    Shared* shared = nullptr;

    explicit Probe(Shared* s) : shared(s) {}
    Probe(const Probe& other) : shared(other.shared) {
        std::unique_lock lock(shared->mutex);
        if (shared->writers > 0) shared->overlapSeen = true;
        ++shared->readers;
        shared->maxReaders = std::max(shared->maxReaders, shared->readers);
        shared->changed.notify_all();
        if (shared->waitForSecondReader) {
            shared->changed.wait_for(lock, deadlockBound, [&] { return shared->maxReaders >= 2; });
        }
        --shared->readers;
    }
    Probe& operator=(const Probe& other) {
        std::unique_lock lock(shared->mutex);
        if (shared->readers > 0 || shared->writers > 0) shared->overlapSeen = true;
        ++shared->writers;
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
        --shared->writers;
        shared = other.shared;
        return *this;
    }
};

TEST(ThreadSafeAccessTest, ReadersShareTheLock) {
    Probe::Shared shared;
    const ThreadSafeAccess<Probe> value{Probe(&shared)};
    shared.waitForSecondReader = true;
    // Each read waits inside the lock until a second reader has joined it; exclusive reads would
    // wait out the bound instead.
    auto first = std::async(std::launch::async, [&value] { (void)value.wrappedValue(); });
    auto second = std::async(std::launch::async, [&value] { (void)value.wrappedValue(); });
    first.get();
    second.get();
    EXPECT_EQ(shared.maxReaders, 2);
}

TEST(ThreadSafeAccessTest, WritersExcludeReadersAndWriters) {
    Probe::Shared shared;
    ThreadSafeAccess<Probe> value{Probe(&shared)};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 3000; ++i)
                (void)value.wrappedValue();
        });
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                value.modify([&](Probe& p) { p = Probe(&shared); });
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(shared.overlapSeen);
}

}  // namespace
}  // namespace midicore
