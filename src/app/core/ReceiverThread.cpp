#include "app/core/ReceiverThread.h"

#include <utility>

namespace qv {

ReceiverThread::ReceiverThread(std::function<void()> tick, Clock& clock)
    : tick_(std::move(tick)), clock_(clock) {}

ReceiverThread::~ReceiverThread() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ReceiverThread::Start() {
    const std::lock_guard lock(mutex_);
    if (running_ || stopping_) {
        return;
    }
    running_ = true;
    thread_ = std::thread([this] { Run(); });
}

void ReceiverThread::Post(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void ReceiverThread::SetTimerEnabled(bool enabled) {
    {
        const std::lock_guard lock(mutex_);
        if (enabled && !timerEnabled_) {
            nextTick_ = clock_.Now() + kTickInterval;
        }
        timerEnabled_ = enabled;
    }
    wake_.notify_all();
}

bool ReceiverThread::TimerEnabled() const {
    const std::lock_guard lock(mutex_);
    return timerEnabled_;
}

bool ReceiverThread::Stop(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    jobs_.clear();
    wake_.notify_all();
    if (!ended_.wait_for(lock, bound, [this] { return !running_; })) {
        return false;
    }
    lock.unlock();
    if (thread_.joinable()) {
        thread_.join();
    }
    return true;
}

bool ReceiverThread::Running() const {
    const std::lock_guard lock(mutex_);
    return running_;
}

void ReceiverThread::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!jobs_.empty()) {
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
            continue;
        }
        if (timerEnabled_) {
            const auto now = clock_.Now();
            if (now >= nextTick_) {
                // Ticks that fell due meanwhile merge into this one.
                nextTick_ += kTickInterval;
                if (nextTick_ <= now) {
                    nextTick_ = now + kTickInterval;
                }
                lock.unlock();
                tick_();
                lock.lock();
                continue;
            }
            // A wait for the time left, not until a time point: the clock
            // need not be the steady clock the condition variable waits on.
            wake_.wait_for(lock, nextTick_ - now);
        } else {
            wake_.wait(lock);
        }
    }
    running_ = false;
    ended_.notify_all();
}

}  // namespace qv
