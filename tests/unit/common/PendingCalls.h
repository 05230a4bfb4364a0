#pragma once
// The "changes pending" call a test hands a device-event source: it counts the
// calls, notes the thread of the last one and wakes a test that waits for
// changes.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "device/DeviceEvents.h"

namespace qv::test {

class PendingCalls {
public:
    // The call to hand to DeviceEvents::Start; this object must outlive the start.
    DeviceEvents::ChangesPending Call() {
        return [this] {
            {
                const std::lock_guard lock(mutex_);
                ++count_;
                lastThread_ = std::this_thread::get_id();
            }
            made_.notify_all();
        };
    }

    int Count() const {
        const std::lock_guard lock(mutex_);
        return count_;
    }
    std::thread::id LastThread() const {
        const std::lock_guard lock(mutex_);
        return lastThread_;
    }
    // Waits until more than `seen` calls were made; false when none came within `limit`.
    bool WaitBeyond(int seen, std::chrono::milliseconds limit) const {
        std::unique_lock lock(mutex_);
        return made_.wait_for(lock, limit, [&] { return count_ > seen; });
    }

    // Reads `events` until `count` changes came, waiting for the calls between
    // reads; what came when no call arrived within `limit` (a hang limit).
    std::vector<DeviceChange> Collect(DeviceEvents& events, std::size_t count,
                                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::vector<DeviceChange> all;
        for (;;) {
            const int seen = Count();
            for (DeviceChange& change : events.ReadPending()) {
                all.push_back(std::move(change));
            }
            if (all.size() >= count || !WaitBeyond(seen, limit)) {
                return all;
            }
        }
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable made_;
    int count_ = 0;
    std::thread::id lastThread_;
};

}  // namespace qv::test
