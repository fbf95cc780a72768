#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "detail.hpp"
#include "dispatch/queue.hpp"

namespace dispatch {

namespace {

// The worker threads behind every global queue. Created on first use and kept for the life of the
// process (never destroyed, so tasks still running at exit find it intact).
//
// One FIFO per quality-of-service class. A free thread starts the oldest task of the highest class
// with a task waiting, provided fewer tasks run than that class may start beside: each class leaves
// one thread per class above it in reserve, so higher classes always find a thread that lower ones
// cannot take.
class ThreadPool {
  public:
    struct Task {
        const void* identity;
        const std::string* label;
        Work work;
    };

    static ThreadPool& shared() {
        static ThreadPool* pool = new ThreadPool(std::max(4u, std::thread::hardware_concurrency()));
        return *pool;
    }

    void submit(QoS qos, Task task) {
        {
            std::lock_guard lock(mutex_);
            tasks_[rank(qos)].push_back(std::move(task));
        }
        wake_.notify_one();
    }

  private:
    // Classes from the highest rank down; `unspecified` is served as `default_`.
    static constexpr size_t classes = 5;
    static size_t rank(QoS qos) {
        switch (qos) {
            case QoS::userInteractive:
                return 0;
            case QoS::userInitiated:
                return 1;
            case QoS::default_:
            case QoS::unspecified:
                return 2;
            case QoS::utility:
                return 3;
            case QoS::background:
                return 4;
        }
        return 2;
    }

    explicit ThreadPool(unsigned count) : threads_(count) {
        for (unsigned i = 0; i < count; ++i)
            std::thread([this] { run(); }).detach();
    }

    // How many tasks may run at most when a task of the class of this rank starts.
    size_t limit(size_t rank) const { return rank < threads_ ? threads_ - rank : 1; }

    // The waiting task to start now, if any. Called with `mutex_` held.
    std::deque<Task>* next() {
        for (size_t r = 0; r < classes; ++r) {
            if (!tasks_[r].empty()) {
                return running_ < limit(r) ? &tasks_[r] : nullptr;
            }
        }
        return nullptr;
    }

    void run() {
        for (;;) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                std::deque<Task>* queue = nullptr;
                wake_.wait(lock, [&] { return (queue = next()) != nullptr; });
                task = std::move(queue->front());
                queue->pop_front();
                ++running_;
            }
            detail::runTask(task.identity, *task.label, task.work);
            task.work = nullptr;  // released before this thread counts as free again
            // This thread then looks for the next task itself: a task that waited for the running
            // count to drop is started by it.
            std::lock_guard lock(mutex_);
            --running_;
        }
    }

    const size_t threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::array<std::deque<Task>, classes> tasks_;
    size_t running_ = 0;
};

class GlobalQueue final : public Queue {
  public:
    explicit GlobalQueue(QoS qos) : Queue(std::string("global.") + toString(qos), qos) {}

    void async(Work work) override {
        ThreadPool::shared().submit(qos(), {identity(), &label(), std::move(work)});
    }

  protected:
    // A concurrent queue can always take one more block: run it right here.
    void syncImpl(const Work& block) override {
        detail::CurrentGuard guard(identity());
        block();
    }
};

}  // namespace

std::shared_ptr<Queue> Queue::global(QoS qos) {
    static const auto queues = [] {
        auto* all = new std::array<std::shared_ptr<Queue>, 6>;
        for (size_t i = 0; i < all->size(); ++i) {
            (*all)[i] = std::make_shared<GlobalQueue>(static_cast<QoS>(i));
        }
        return all;
    }();
    return (*queues)[static_cast<size_t>(qos)];
}

}  // namespace dispatch
