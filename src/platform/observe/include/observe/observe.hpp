// Change notification without a GUI toolkit: signals that callers connect callbacks to, and
// published values that announce every new value. The libraries use these where an object must tell
// observers about changes (a converted piece, refreshed MIDI endpoint lists, a control surface's
// state); the application bridges them to its widgets.
//
// Thread-safe: callbacks may be connected, disconnected and emitted to from any thread. A callback
// runs on the thread that emits, outside any lock, so it may connect, disconnect or emit itself.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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
        std::lock_guard lock(slots_->mutex);
        const uint64_t id = slots_->next++;
        slots_->callbacks.emplace(id, std::make_shared<Callback>(std::move(callback)));
        return Subscription([weak = std::weak_ptr<Slots>(slots_), id] {
            if (auto slots = weak.lock()) {
                std::lock_guard lock(slots->mutex);
                slots->callbacks.erase(id);
            }
        });
    }

    // Calls every connected callback, in the order they were connected.
    void emit(const Args&... args) const {
        std::vector<std::shared_ptr<Callback>> snapshot;
        {
            std::lock_guard lock(slots_->mutex);
            snapshot.reserve(slots_->callbacks.size());
            for (const auto& [id, callback] : slots_->callbacks)
                snapshot.push_back(callback);
        }
        for (const auto& callback : snapshot)
            (*callback)(args...);
    }

    size_t connectionCount() const {
        std::lock_guard lock(slots_->mutex);
        return slots_->callbacks.size();
    }

  private:
    struct Slots {
        std::mutex mutex;
        uint64_t next = 0;
        std::map<uint64_t, std::shared_ptr<Callback>> callbacks;
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

    void set(T value) {
        {
            std::lock_guard lock(mutex_);
            value_ = value;
        }
        changed_.emit(value);
    }

    // Calls `callback` with every value set from now on.
    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> callback) {
        return changed_.connect(std::move(callback));
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
    Signal<T> changed_;
};

}  // namespace observe
