// A small progress object: a total and a completed unit count, a cancel flag that operations poll,
// and children whose completion counts toward their parent. Its members may be used from any
// thread (a user interface typically cancels while a worker thread reports).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zip {

class Progress : public std::enable_shared_from_this<Progress> {
  public:
    static std::shared_ptr<Progress> make(int64_t totalUnitCount = 0);

    int64_t totalUnitCount() const { return total_.load(); }
    void setTotalUnitCount(int64_t count) { total_.store(count); }
    // The units completed by this object itself plus the pending units of its finished children.
    int64_t completedUnitCount() const;
    void setCompletedUnitCount(int64_t count) { completed_.store(count); }
    void addCompletedUnits(int64_t count) { completed_.fetch_add(count); }

    // Cancelled when this object or one of its ancestors was cancelled.
    bool isCancelled() const;
    void cancel() { cancelled_.store(true); }

    // Makes `child` account for `pendingUnitCount` units of this object's total.
    void addChild(const std::shared_ptr<Progress>& child, int64_t pendingUnitCount);
    // Completed share of the total in 0...1, children counted by their own share.
    double fractionCompleted() const;
    bool isFinished() const;

  private:
    explicit Progress(int64_t total) : total_(total) {}
    struct Child {
        std::shared_ptr<Progress> progress;
        int64_t pending;
    };
    std::atomic<int64_t> total_;
    std::atomic<int64_t> completed_{0};
    std::atomic<bool> cancelled_{false};
    std::weak_ptr<Progress> parent_;
    mutable std::mutex mutex_;
    std::vector<Child> children_;
};

}  // namespace zip
