// The receiver thread: jobs in order off the caller's thread, the poll timer,
// ticks that merge while the thread is busy, a bounded stop; and the core on
// its own receiver thread with the window's work posted back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "CoreHarness.h"
#include "app/core/ReceiverThread.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// Waits for `done` without any claim on speed: the limit only turns a hang
// into a failure.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto deadline = Steady::now() + limit;
    while (!done()) {
        if (Steady::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(ReceiverThreadTest, JobsRunInOrderOnAThreadOfTheirOwn) {
    std::mutex m;
    std::vector<int> order;
    std::thread::id ranOn;
    SteadyClock clock;
    ReceiverThread thread([] {}, clock);
    thread.Start();
    for (int i = 0; i < 50; ++i) {
        thread.Post([&, i] {
            const std::lock_guard lock(m);
            order.push_back(i);
            ranOn = std::this_thread::get_id();
        });
    }
    ASSERT_TRUE(WaitFor([&] {
        const std::lock_guard lock(m);
        return order.size() == 50;
    }));
    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) {
        expected[static_cast<std::size_t>(i)] = i;
    }
    const std::lock_guard lock(m);
    EXPECT_EQ(order, expected);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(thread.Stop(20s));
}

// A clock that moves only when the test moves it, readable from the receiver
// thread while the test thread sets it.
class SteppedClock final : public Clock {
public:
    TimePoint Now() override { return TimePoint{} + std::chrono::milliseconds(ms_.load()); }
    void Sleep(std::chrono::milliseconds) override {}
    void Advance(std::chrono::milliseconds by) { ms_ += by.count(); }

private:
    std::atomic<long long> ms_{1'000'000};
};

// Ticks stamped with the clock's time, readable from the test thread.
struct TickLog {
    std::mutex m;
    std::vector<Clock::TimePoint> stamps;
    std::size_t Count() {
        const std::lock_guard lock(m);
        return stamps.size();
    }
};

// The thread never ticks without the clock moving: proves that nothing ticked
// for this long of real time (several intervals) with the clock standing still.
void LetRealTimePass() {
    std::this_thread::sleep_for(4 * ReceiverThread::kTickInterval);
}

TEST(ReceiverThreadTest, TicksRunOnlyWhileTheTimerIsEnabled) {
    SteppedClock clock;
    TickLog log;
    ReceiverThread thread(
        [&] {
            const std::lock_guard lock(log.m);
            log.stamps.push_back(clock.Now());
        },
        clock);
    thread.Start();
    clock.Advance(200ms);
    LetRealTimePass();
    EXPECT_EQ(log.Count(), 0u);
    thread.SetTimerEnabled(true);
    for (std::size_t n = 1; n <= 3; ++n) {
        clock.Advance(ReceiverThread::kTickInterval);
        ASSERT_TRUE(WaitFor([&] { return log.Count() == n; })) << "tick " << n;
    }
    thread.SetTimerEnabled(false);
    clock.Advance(500ms);
    LetRealTimePass();
    EXPECT_EQ(log.Count(), 3u);
    EXPECT_TRUE(thread.Stop(20s));
}

TEST(ReceiverThreadTest, TicksThatFallDueDuringALongJobMergeIntoOne) {
    SteppedClock clock;
    TickLog log;
    ReceiverThread thread(
        [&] {
            const std::lock_guard lock(log.m);
            log.stamps.push_back(clock.Now());
        },
        clock);
    thread.Start();
    const Clock::TimePoint enabled = clock.Now();
    thread.SetTimerEnabled(true);
    clock.Advance(ReceiverThread::kTickInterval);
    ASSERT_TRUE(WaitFor([&] { return log.Count() == 1; }));

    // A job that takes eight intervals: eight ticks fall due meanwhile.
    std::promise<void> jobDone;
    thread.Post([&] {
        clock.Advance(8 * ReceiverThread::kTickInterval);
        jobDone.set_value();
    });
    jobDone.get_future().wait();
    ASSERT_TRUE(WaitFor([&] { return log.Count() == 2; }));
    LetRealTimePass();
    EXPECT_EQ(log.Count(), 2u) << "the ticks that fell due ran as a burst";

    // The next tick is a whole interval after the merged one, not earlier.
    clock.Advance(ReceiverThread::kTickInterval - 1ms);
    LetRealTimePass();
    EXPECT_EQ(log.Count(), 2u);
    clock.Advance(1ms);
    ASSERT_TRUE(WaitFor([&] { return log.Count() == 3; }));

    thread.SetTimerEnabled(false);
    const std::lock_guard lock(log.m);
    const auto i = ReceiverThread::kTickInterval;
    EXPECT_EQ(log.stamps[0], enabled + i);
    EXPECT_EQ(log.stamps[1], enabled + 9 * i);
    EXPECT_EQ(log.stamps[2], enabled + 10 * i);
    EXPECT_TRUE(thread.Stop(20s));
}

TEST(ReceiverThreadTest, StopWaitsForTheRunningJobDropsTheRestAndIsBounded) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> started{false};
    std::atomic<bool> laterRan{false};
    SteadyClock clock;
    ReceiverThread thread([] {}, clock);
    thread.Start();
    thread.Post([&] {
        started = true;
        released.wait();
    });
    thread.Post([&] { laterRan = true; });
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    // The job blocks: a short bound gives up, the thread goes on running.
    EXPECT_FALSE(thread.Stop(30ms));
    EXPECT_TRUE(thread.Running());
    release.set_value();
    EXPECT_TRUE(thread.Stop(20s));
    EXPECT_FALSE(thread.Running());
    EXPECT_FALSE(laterRan.load());
    // Nothing is taken once stopped.
    thread.Post([&] { laterRan = true; });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(laterRan.load());
}

// ---- the core on its own receiver thread

TEST(ThreadedCore, APressedButtonFiresThroughTheTimerOfTheReceiverThread) {
    CoreHarness h(Slot(1, "12,34,56", "threaded", ""), true, {}, true);
    h.app->Load();
    ASSERT_TRUE(h.gui.RunUntil([&] { return h.view.lamp == "green"; }));
    h.simulator.Press({12, 34, 56});
    ASSERT_TRUE(h.gui.RunUntil([&] { return !h.view.receiveLines.empty(); }));
    EXPECT_EQ(h.view.receiveLines[0], "threaded");
    h.app->Unload();
    EXPECT_TRUE(h.app->ReceiverStopped());
}

TEST(ThreadedCore, TheReceiversMessageBoxIsShownOnTheGuiThreadWhileTheReceiverWaits) {
    CoreHarness h("", false, {}, true);
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1B] = 2;  // kStartReceive refused
    h.simulator.SetFaults(faults);
    std::thread::id shownOn;
    h.view.whileBoxOpen = [&] { shownOn = std::this_thread::get_id(); };
    h.app->Load();
    ASSERT_TRUE(h.gui.RunUntil([&] { return !h.view.boxes.empty(); }));
    EXPECT_EQ(shownOn, std::this_thread::get_id());
    EXPECT_EQ(h.view.boxes[0].text, "PICシステムからエラーが返されました。");
    // The sequence went on after the answer: version shown, no polling.
    ASSERT_TRUE(h.gui.RunUntil([&] { return h.view.version == "1.05"; }));
    EXPECT_FALSE(h.app->TimerEnabled());
    h.app->Unload();
    EXPECT_TRUE(h.app->ReceiverStopped());
}

TEST(ThreadedCore, ExitWhileTheReceiverWaitsForAnAnswerDoesNotWaitForTheUser) {
    CoreHarness h("", false, {}, true);
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1C] = 0;  // both sequences fail at kInit1
    h.simulator.SetFaults(faults);
    h.app->Load();
    // The receiver's first box has been asked for; the user never answers it:
    // the program is told to end instead.
    ASSERT_TRUE(WaitFor([&] { return h.gui.Pending() > 0; }));
    h.app->Terminate();
    EXPECT_TRUE(h.app->Unloaded());
    EXPECT_TRUE(h.app->ReceiverStopped());
    h.gui.RunAll();  // the box's request, now moot, shows nothing
    EXPECT_TRUE(h.view.boxes.empty());
    EXPECT_NE(h.IniBytes().find("WindowChangeTime=0"), std::string::npos);
}

TEST(ThreadedCore, WithASilentReceiverTheWindowStillAnswersAndExitEnds) {
    CoreHarness h(Slot(1, "1,2,3", "after", ""), true, {}, true);
    h.app->Load();
    ASSERT_TRUE(h.gui.RunUntil([&] { return h.view.lamp == "green"; }));
    sim::BusFaults silent;
    silent.firmware.silent = true;
    h.simulator.SetFaults(silent);
    // Every transfer now takes its full second on the receiver thread, while
    // the window's own commands run at once on this one.
    h.app->ToggleWindow();
    EXPECT_TRUE(h.view.visible);
    h.app->HideToTray();
    EXPECT_FALSE(h.view.visible);
    h.simulator.SetFaults({});
    h.simulator.Press({1, 2, 3});
    ASSERT_TRUE(h.gui.RunUntil([&] { return !h.view.receiveLines.empty(); }));
    h.app->Unload();
    EXPECT_TRUE(h.app->ReceiverStopped());
}

}  // namespace
}  // namespace qv::test
