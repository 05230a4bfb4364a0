#include "device/DeviceChangeQueue.h"

#include <utility>

namespace qv {

void DeviceChangeQueue::Open(DeviceEvents::ChangesPending changesPending) {
    const std::lock_guard call(callMutex_);
    const std::lock_guard lock(mutex_);
    changesPending_ = std::move(changesPending);
    waiting_.clear();
    open_ = true;
}

void DeviceChangeQueue::Close() {
    const std::lock_guard call(callMutex_);
    const std::lock_guard lock(mutex_);
    changesPending_ = nullptr;
    waiting_.clear();
    open_ = false;
}

void DeviceChangeQueue::Push(DeviceChange change) {
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        if (!open_) {
            return;
        }
        first = waiting_.empty();
        waiting_.push_back(std::move(change));
    }
    if (!first) {
        return;  // the call made for the first one waiting has its Take still to come
    }
    const std::lock_guard call(callMutex_);
    if (changesPending_) {
        changesPending_();
    }
}

std::vector<DeviceChange> DeviceChangeQueue::Take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(waiting_, {});
}

}  // namespace qv
