#include "zip/progress.hpp"

#include <algorithm>

namespace zip {

std::shared_ptr<Progress> Progress::make(int64_t totalUnitCount) {
    return std::shared_ptr<Progress>(new Progress(totalUnitCount));
}

int64_t Progress::completedUnitCount() const {
    int64_t count = completed_.load();
    std::lock_guard lock(mutex_);
    for (const auto& child : children_) {
        if (child.progress->isFinished()) count += child.pending;
    }
    return count;
}

bool Progress::isCancelled() const {
    if (cancelled_.load()) return true;
    auto parent = parent_.lock();
    return parent && parent->isCancelled();
}

void Progress::addChild(const std::shared_ptr<Progress>& child, int64_t pendingUnitCount) {
    child->parent_ = weak_from_this();
    std::lock_guard lock(mutex_);
    children_.push_back({child, pendingUnitCount});
}

bool Progress::isFinished() const {
    const int64_t total = total_.load();
    return total > 0 && completedUnitCount() >= total;
}

double Progress::fractionCompleted() const {
    const int64_t total = total_.load();
    if (total <= 0) return 0.0;
    double done = static_cast<double>(completed_.load());
    {
        std::lock_guard lock(mutex_);
        for (const auto& child : children_) {
            done += child.progress->fractionCompleted() * static_cast<double>(child.pending);
        }
    }
    return std::clamp(done / static_cast<double>(total), 0.0, 1.0);
}

}  // namespace zip
