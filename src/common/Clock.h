#pragma once
// The clock that repeat suppression, the window-switch pauses and the poll
// timer run on: monotonic, never jumping with the wall clock. Tests give a
// fake one that moves only when told.

#include <chrono>
#include <thread>

namespace qv {

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint Now() = 0;
    // Blocks the calling thread for `duration` (nothing for zero or less).
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

class SteadyClock final : public Clock {
public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void Sleep(std::chrono::milliseconds duration) override {
        if (duration.count() > 0) {
            std::this_thread::sleep_for(duration);
        }
    }
};

}  // namespace qv
