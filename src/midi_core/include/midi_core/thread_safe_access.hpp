// One value behind a reader-writer lock: any number of threads may read it at once, while a write
// or an in-place update excludes everyone else. Owners keep shared state this way when MIDI input,
// timers and the user interface touch it from different threads.
//
// The lock is not recursive: the update given to `modify` must not read or write the same object.
// Single reads and writes are atomic; a read followed by a write is not (use `modify`).
#pragma once

#include <mutex>
#include <shared_mutex>
#include <type_traits>
#include <utility>

namespace midicore {

template <class T>
class ThreadSafeAccess {
  public:
    explicit ThreadSafeAccess(T wrappedValue) : value_(std::move(wrappedValue)) {}
    ThreadSafeAccess(const ThreadSafeAccess&) = delete;
    ThreadSafeAccess& operator=(const ThreadSafeAccess&) = delete;

    // A copy of the value, taken under the read lock.
    T wrappedValue() const {
        std::shared_lock lock(mutex_);
        return value_;
    }

    // Replaces the value under the write lock. The previous value is destroyed after the lock has
    // been released.
    void setWrappedValue(T newValue) {
        {
            std::unique_lock lock(mutex_);
            std::swap(value_, newValue);
        }
    }

    // Calls `update` with direct access to the value under the write lock and returns what it
    // returns (by value, so nothing that refers into the value escapes the lock). If `update`
    // throws, the lock is released and the exception passes on; changes the update made before
    // throwing stay.
    template <class Update>
    auto modify(Update&& update) {
        std::unique_lock lock(mutex_);
        return std::forward<Update>(update)(value_);
    }

  private:
    mutable std::shared_mutex mutex_;
    T value_;
};

}  // namespace midicore
