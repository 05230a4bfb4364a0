#pragma once
// The receiver thread: everything that waits on the receiver or on a window
// switch runs here, one job at a time and in the order given, so the window
// never waits. It carries the poll timer: while enabled it runs the tick
// every kTickInterval of its clock; a tick that falls due while a job or a
// tick is still running is not queued up but merges into the next one.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "common/Clock.h"

namespace qv {

// What the core needs of the thread; tests run jobs and ticks by hand.
class ReceiverJobs {
public:
    virtual ~ReceiverJobs() = default;
    // Runs `job` on the receiver thread after the jobs posted before it.
    virtual void Post(std::function<void()> job) = 0;
    // Starts or stops the poll timer; callable from any thread.
    virtual void SetTimerEnabled(bool enabled) = 0;
    virtual bool TimerEnabled() const = 0;
};

class ReceiverThread final : public ReceiverJobs {
public:
    static constexpr std::chrono::milliseconds kTickInterval{50};

    // `tick` runs on the thread at every timer tick; `clock` times the ticks
    // and must outlive the thread.
    ReceiverThread(std::function<void()> tick, Clock& clock);
    // Stops and joins (unbounded); call Stop first to bound the wait.
    ~ReceiverThread() override;
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    void Start();
    void Post(std::function<void()> job) override;
    void SetTimerEnabled(bool enabled) override;
    bool TimerEnabled() const override;
    // Asks the thread to end after the job or tick it is running (jobs not yet
    // started are dropped) and waits at most `bound`; true once it has ended.
    bool Stop(std::chrono::milliseconds bound);
    // True from Start until the thread has ended.
    bool Running() const;

private:
    void Run();

    std::function<void()> tick_;
    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ended_;
    std::deque<std::function<void()>> jobs_;
    bool timerEnabled_ = false;
    Clock::TimePoint nextTick_{};
    bool stopping_ = false;
    bool running_ = false;
    std::thread thread_;
};

}  // namespace qv
