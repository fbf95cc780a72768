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

    void submit(Task task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

  private:
    explicit ThreadPool(unsigned count) {
        for (unsigned i = 0; i < count; ++i)
            std::thread([this] { run(); }).detach();
    }

    void run() {
        for (;;) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            detail::runTask(task.identity, *task.label, task.work);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
};

class GlobalQueue final : public Queue {
  public:
    explicit GlobalQueue(QoS qos) : Queue(std::string("global.") + toString(qos), qos) {}

    void async(Work work) override {
        ThreadPool::shared().submit({identity(), &label(), std::move(work)});
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
