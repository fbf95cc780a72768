#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <variant>

#include "detail.hpp"
#include "dispatch/queue.hpp"

namespace dispatch {

namespace {

// A `sync` caller's place in the queue. When the worker reaches it, the worker hands the queue to
// the caller and waits until the caller's block has run.
struct SyncSlot {
    bool granted = false;
    bool done = false;
};

// State shared by the queue object and its worker thread. The worker owns a reference and never
// touches the queue object, so the queue may be released anywhere, from one of its own tasks
// included: releasing it only tells the worker to stop once it has run what is queued. The state's
// address is the queue's identity.
struct SerialState {
    explicit SerialState(std::string l) : label(std::move(l)) {}
    const std::string label;
    std::mutex mutex;
    std::condition_variable wake;  // the worker waits for items
    std::condition_variable slot;  // sync callers and the worker wait on slot hand-overs
    std::deque<std::variant<Work, std::shared_ptr<SyncSlot>>> items;
    bool stopping = false;
    const std::shared_ptr<QueueEnd::State> end = std::make_shared<QueueEnd::State>();
};

class SerialQueue final : public Queue {
  public:
    SerialQueue(std::string label, QoS qos)
        : Queue(label, qos), state_(std::make_shared<SerialState>(std::move(label))) {
        std::thread([state = state_]() mutable { run(std::move(state)); }).detach();
    }

    // Never waits for the worker: this may run on the worker itself (a task held the last
    // reference), on the timer thread (a delayed task did) or on a thread that the queue's tasks
    // wait for.
    ~SerialQueue() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
        }
        state_->wake.notify_all();
    }

    void async(Work work) override {
        {
            std::lock_guard lock(state_->mutex);
            state_->items.emplace_back(std::move(work));
        }
        state_->wake.notify_one();
    }

    QueueEnd whenEnded() const override { return QueueEnd(state_->end); }

  protected:
    const void* identity() const override { return state_.get(); }

    void syncImpl(const Work& block) override {
        checkNotCurrent();
        auto slot = std::make_shared<SyncSlot>();
        std::unique_lock lock(state_->mutex);
        state_->items.emplace_back(slot);
        state_->wake.notify_one();
        state_->slot.wait(lock, [&] { return slot->granted; });
        lock.unlock();

        // Hand the queue back to the worker however the block ends.
        struct Release {
            SerialState& state;
            SyncSlot& slot;
            ~Release() {
                {
                    std::lock_guard lock(state.mutex);
                    slot.done = true;
                }
                state.slot.notify_all();
            }
        } release{*state_, *slot};
        detail::CurrentGuard guard(identity());
        block();
    }

  private:
    static void run(std::shared_ptr<SerialState> state) {
        for (;;) {
            // Declared outside the lock's scope so that a finished task, and whatever it holds (the
            // queue's last reference, say), is destroyed with no lock held.
            std::variant<Work, std::shared_ptr<SyncSlot>> item;
            {
                std::unique_lock lock(state->mutex);
                state->wake.wait(lock, [&] { return state->stopping || !state->items.empty(); });
                if (state->items.empty()) break;  // stopping, and nothing left to run
                item = std::move(state->items.front());
                state->items.pop_front();
                if (auto* slot = std::get_if<std::shared_ptr<SyncSlot>>(&item)) {
                    (*slot)->granted = true;
                    state->slot.notify_all();
                    state->slot.wait(lock, [&] { return (*slot)->done; });
                    continue;
                }
            }
            detail::runTask(state.get(), state->label, std::get<Work>(item));
        }
        const auto end = state->end;
        state.reset();
        end->finish();
    }

    std::shared_ptr<SerialState> state_;
};

}  // namespace

std::shared_ptr<Queue> Queue::makeSerial(std::string label, QoS qos) {
    return std::make_shared<SerialQueue>(std::move(label), qos);
}

}  // namespace dispatch
