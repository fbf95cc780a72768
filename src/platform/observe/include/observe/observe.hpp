// Change notification without a GUI toolkit: signals that callers connect callbacks to, and
// published values that announce every new value. The libraries use these where an object must tell
// observers about changes (a converted piece, refreshed MIDI endpoint lists, a control surface's
// state); the application bridges them to its widgets.
//
// Thread-safe: callbacks may be connected, disconnected and emitted to from any thread. A callback
// runs outside any lock, so it may connect, disconnect, emit or set values itself.
//
// Disconnecting is synchronous: once `Subscription::cancel()` (or the subscription's destructor)
// returns, the callback is not running and never runs again. The one exception is a cancel called
// from inside the callback itself: that call finishes, and no other follows. So an observer may
// cancel its subscription in its destructor and be sure it is not called after it is gone. A
// callback must not wait for a thread that is cancelling its subscription.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace observe {

// Keeps a connection alive; disconnects it when destroyed or when `cancel()` is called.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto c = std::exchange(cancel_, nullptr)) c();
    }
    bool active() const { return static_cast<bool>(cancel_); }

  private:
    std::function<void()> cancel_;
};

template <class... Args>
class Signal {
  public:
    using Callback = std::function<void(Args...)>;

    Signal() : slots_(std::make_shared<Slots>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    // Connects `callback` until the returned subscription ends. The subscription may outlive the
    // signal.
    [[nodiscard]] Subscription connect(Callback callback) {
        auto slot = std::make_shared<Slot>(std::move(callback));
        uint64_t id = 0;
        {
            std::lock_guard lock(slots_->mutex);
            id = slots_->next++;
            slots_->connected.emplace(id, slot);
        }
        return Subscription([weak = std::weak_ptr<Slots>(slots_), id, slot] {
            if (auto slots = weak.lock()) slots->disconnect(id, *slot);
        });
    }

    // Calls every connected callback, in the order they were connected. A callback disconnected
    // meanwhile is skipped.
    void emit(const Args&... args) const {
        const auto slots = slots_;
        std::vector<std::shared_ptr<Slot>> snapshot;
        {
            std::lock_guard lock(slots->mutex);
            snapshot.reserve(slots->connected.size());
            for (const auto& [id, slot] : slots->connected)
                snapshot.push_back(slot);
        }
        const auto self = std::this_thread::get_id();
        for (const auto& slot : snapshot) {
            {
                std::lock_guard lock(slots->mutex);
                if (!slot->connected) continue;
                slot->running.push_back(self);
            }
            // Ends the call's record however the callback ends, and wakes a waiting cancel.
            struct Finish {
                Slots& slots;
                Slot& slot;
                std::thread::id self;
                ~Finish() {
                    {
                        std::lock_guard lock(slots.mutex);
                        slot.running.erase(
                            std::find(slot.running.begin(), slot.running.end(), self));
                    }
                    slots.returned.notify_all();
                }
            } finish{*slots, *slot, self};
            slot->callback(args...);
        }
    }

    size_t connectionCount() const {
        std::lock_guard lock(slots_->mutex);
        return slots_->connected.size();
    }

  private:
    struct Slot {
        explicit Slot(Callback c) : callback(std::move(c)) {}
        Callback callback;
        bool connected = true;
        std::vector<std::thread::id> running;  // threads calling `callback` now
    };

    struct Slots {
        std::mutex mutex;
        std::condition_variable returned;
        uint64_t next = 0;
        std::map<uint64_t, std::shared_ptr<Slot>> connected;

        void disconnect(uint64_t id, Slot& slot) {
            Callback released;
            std::unique_lock lock(mutex);
            if (!slot.connected) return;
            slot.connected = false;
            connected.erase(id);
            // Calls on other threads finish first; one on this thread is the caller itself.
            const auto self = std::this_thread::get_id();
            returned.wait(lock, [&] {
                return std::all_of(slot.running.begin(), slot.running.end(),
                                   [&](std::thread::id t) { return t == self; });
            });
            // Not running any more: the callback, and what it holds, is released on the
            // cancelling thread, after the lock.
            if (slot.running.empty()) std::swap(released, slot.callback);
            lock.unlock();
        }
    };
    std::shared_ptr<Slots> slots_;
};

// A value that announces each new value to its subscribers after storing it.
template <class T>
class Published {
  public:
    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    // Stores `value`, then announces it. Announcements of one value follow the order of the
    // stores, so the last value a subscriber sees is the value held. While one thread announces,
    // values set meanwhile (from other threads, or from a subscriber) are queued and announced by
    // that thread in turn, after the value before them; `set` then returns without waiting.
    void set(T value) {
        {
            std::lock_guard lock(mutex_);
            value_ = value;
            unannounced_.push_back(std::move(value));
            if (announcing_) return;
            announcing_ = true;
        }
        // Should a subscriber throw, the next `set` announces what is left.
        struct Release {
            Published& published;
            bool done = false;
            ~Release() {
                if (done) return;
                std::lock_guard lock(published.mutex_);
                published.announcing_ = false;
            }
        } release{*this};
        for (;;) {
            std::optional<T> next;
            {
                std::lock_guard lock(mutex_);
                if (unannounced_.empty()) {
                    announcing_ = false;
                    release.done = true;
                    return;
                }
                next.emplace(std::move(unannounced_.front()));
                unannounced_.pop_front();
            }
            changed_.emit(*next);
        }
    }

    // Calls `callback` with every value set from now on.
    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> callback) {
        return changed_.connect(std::move(callback));
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
    std::deque<T> unannounced_;
    bool announcing_ = false;
    Signal<T> changed_;
};

}  // namespace observe
