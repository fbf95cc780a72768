#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "detail.hpp"
#include "dispatch/queue.hpp"

namespace dispatch {

namespace {

// Initialised before main() runs, hence on the thread that started the process.
const std::thread::id mainThreadId = std::this_thread::get_id();

}  // namespace

struct MainQueue::State {
    // A wake handler call under way: the calling thread and the handler generation it called.
    struct WakeCall {
        std::thread::id thread;
        uint64_t generation;
    };

    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Work> tasks;
    std::shared_ptr<const std::function<void()>> wake;
    uint64_t wakeGeneration = 0;
    std::vector<WakeCall> wakeCalls;
    std::condition_variable wakeReturned;
};

MainQueue::MainQueue(std::shared_ptr<State> state)
    : Queue("main", QoS::userInteractive), state_(std::move(state)) {}

std::shared_ptr<MainQueue> Queue::main() {
    static const auto* queue = new std::shared_ptr<MainQueue>(
        std::make_shared<MainQueue>(std::make_shared<MainQueue::State>()));
    return *queue;
}

bool MainQueue::isMainThread() {
    return std::this_thread::get_id() == mainThreadId;
}

void MainQueue::async(Work work) {
    std::shared_ptr<const std::function<void()>> wake;
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(work));
        wake = state_->wake;
        if (wake) state_->wakeCalls.push_back({self, state_->wakeGeneration});
    }
    state_->arrived.notify_all();
    if (!wake) return;
    // The handler is called with no lock held; `setWakeHandler` waits for the calls listed here.
    struct Finish {
        State& state;
        std::thread::id self;
        ~Finish() {
            {
                std::lock_guard lock(state.mutex);
                // This thread's innermost call is its last entry (a handler may queue work).
                auto& calls = state.wakeCalls;
                const auto last =
                    std::find_if(calls.rbegin(), calls.rend(),
                                 [&](const State::WakeCall& c) { return c.thread == self; });
                calls.erase(std::next(last).base());
            }
            state.wakeReturned.notify_all();
        }
    } finish{*state_, self};
    (*wake)();
}

void MainQueue::setWakeHandler(std::function<void()> wake) {
    std::shared_ptr<const std::function<void()>> previous;
    {
        std::unique_lock lock(state_->mutex);
        previous = std::move(state_->wake);
        if (wake) state_->wake = std::make_shared<const std::function<void()>>(std::move(wake));
        const uint64_t generation = ++state_->wakeGeneration;
        // Calls of earlier handlers on other threads finish first; one on this thread is the
        // caller itself.
        const auto self = std::this_thread::get_id();
        state_->wakeReturned.wait(lock, [&] {
            return std::none_of(state_->wakeCalls.begin(), state_->wakeCalls.end(),
                                [&](const State::WakeCall& c) {
                                    return c.generation < generation && c.thread != self;
                                });
        });
    }
    // The previous handler is released here, outside the lock.
}

size_t MainQueue::drain() {
    size_t count = 0;
    for (;;) {
        Work work;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->tasks.empty()) return count;
            work = std::move(state_->tasks.front());
            state_->tasks.pop_front();
        }
        detail::runTask(identity(), label(), work);
        ++count;
    }
}

bool MainQueue::runUntil(const std::function<bool()>& predicate, Duration timeout) {
    // The predicate may turn true without any task arriving (another thread sets a flag), so it
    // is checked again at least every few milliseconds.
    constexpr auto poll = std::chrono::milliseconds(2);
    const auto deadline = saturatingAdd(Clock::now(), timeout);
    for (;;) {
        if (predicate()) return true;
        const auto now = Clock::now();
        if (now >= deadline) return false;
        Work work;
        {
            std::unique_lock lock(state_->mutex);
            if (!state_->arrived.wait_until(lock, std::min(deadline, now + poll),
                                            [&] { return !state_->tasks.empty(); })) {
                continue;
            }
            work = std::move(state_->tasks.front());
            state_->tasks.pop_front();
        }
        detail::runTask(identity(), label(), work);
    }
}

void MainQueue::syncImpl(const Work& block) {
    checkNotCurrent();
    if (isMainThread()) {
        throw DispatchError(DispatchError::Case::syncOnMainFromMainThread,
                            "sync called on the main queue from the main thread outside a pump of "
                            "it; this would deadlock");
    }
    // Shared with the task, which may still be signalling when this call returns.
    struct Completion {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::exception_ptr error;
    };
    auto completion = std::make_shared<Completion>();
    async([&block, completion] {
        std::exception_ptr error;
        try {
            block();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(completion->mutex);
        completion->error = error;
        completion->done = true;
        completion->finished.notify_all();
    });
    std::unique_lock lock(completion->mutex);
    completion->finished.wait(lock, [&] { return completion->done; });
    if (completion->error) std::rethrow_exception(completion->error);
}

}  // namespace dispatch
