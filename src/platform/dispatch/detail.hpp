// Internals shared by the queue implementations.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "dispatch/queue.hpp"

namespace dispatch {

struct QueueEnd::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;

    void finish() {
        {
            std::lock_guard lock(mutex);
            ended = true;
        }
        changed.notify_all();
    }
};

}  // namespace dispatch

namespace dispatch::detail {

// Marks a queue, by identity, as current on the calling thread for the guard's lifetime.
class CurrentGuard {
  public:
    explicit CurrentGuard(const void* identity);
    ~CurrentGuard();
    CurrentGuard(const CurrentGuard&) = delete;
    CurrentGuard& operator=(const CurrentGuard&) = delete;
};

// Runs an asynchronous task of the queue with this identity and label, reporting an escaping
// exception on standard error instead of propagating it.
void runTask(const void* identity, const std::string& label, const Work& work);

}  // namespace dispatch::detail
