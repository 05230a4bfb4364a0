// One run of the program (start-up, the options, the loop, exit) and what
// exit does about a receiver thread that is stuck in a port.
#include "app/core/RunProgram.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "CoreHarness.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;

// A HID port whose enumeration never returns until the test lets it: a
// driver or a device that hangs the calling thread.
class HangingHidPort final : public HidPort {
public:
    std::vector<std::string> EnumerateHidInterfaces() override {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        return {};
    }
    std::unique_ptr<HidDevice> Open(const std::string& /*path*/) override { return nullptr; }

    // Whether a thread is (or was) inside the port; false after the hang limit.
    bool WaitEntered() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [this] { return entered_; });
    }
    void Release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

bool WaitFor(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(RunProgram, AppliesTheOptionsRunsTheLoopThenExitsAndDetaches) {
    CoreHarness h;
    std::vector<std::string> steps;
    ProgramRun run;
    run.show = true;
    run.tab = 2;
    run.loaded = [&] {
        h.Settle();
        steps.push_back(std::string("loaded, lamp ") + h.view.lamp);
    };
    run.eventLoop = [&] {
        steps.push_back("loop: " + std::string(h.view.visible ? "shown" : "hidden") + ", tab " +
                        std::to_string(h.view.selectedTab) + ", page " +
                        std::to_string(h.view.shownPage));
        h.app->Exit();
        return 7;
    };
    run.detach = [&] {
        steps.push_back(std::string("detach after unload: ") + (h.app->Unloaded() ? "yes" : "no"));
    };
    EXPECT_EQ(RunProgram(*h.app, run), 7);
    EXPECT_EQ(steps, (std::vector<std::string>{"loaded, lamp green", "loop: shown, tab 2, page 2",
                                               "detach after unload: yes"}));
    EXPECT_EQ(h.app->Shared().selectedTab.load(), 2);
    EXPECT_NE(h.IniBytes().find("WindowChangeTime=0"), std::string::npos);
}

TEST(RunProgram, ATerminationDuringStartUpSkipsTheOptionsAndTheLoop) {
    CoreHarness h;
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1B] = 2;  // a box at start-up, answered after the signal
    h.simulator.SetFaults(faults);
    h.view.whileBoxOpen = [&] { h.app->Terminate(); };
    bool looped = false;
    ProgramRun run;
    run.show = true;
    run.loaded = [&] { h.Settle(); };
    run.eventLoop = [&] {
        looped = true;
        return 1;
    };
    EXPECT_EQ(RunProgram(*h.app, run), 0);
    EXPECT_FALSE(looped);
    EXPECT_FALSE(h.view.visible);
    EXPECT_TRUE(h.app->Unloaded());
}

TEST(StuckReceiverThread, APortThatNeverReturnsDoesNotHoldUpExit) {
    HangingHidPort port;
    HarnessOptions options;
    options.ownThread = true;
    options.hid = &port;
    options.stopBound = 50ms;
    CoreHarness h(options);
    h.app->Load();
    ASSERT_TRUE(port.WaitEntered());  // the connect-and-start sequence hangs in the port

    h.app->Exit();
    EXPECT_TRUE(h.app->Unloaded());
    EXPECT_FALSE(h.app->ReceiverStopped());
    // Exit's own steps ran all the same.
    EXPECT_EQ(h.view.quits, 1);
    EXPECT_EQ(h.tray.calls.back(), "Hide");
    EXPECT_NE(h.IniBytes().find("WindowChangeTime=0"), std::string::npos);

    // Once the port returns, the thread ends by itself.
    port.Release();
    EXPECT_TRUE(WaitFor([&] { return h.app->ReceiverStopped(); }));
}

TEST(StuckReceiverThreadDeathTest, TheProgramEndsAtOnceWithTheLoopsStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Never released: the thread stays in the port for good.
            auto* port = new HangingHidPort;
            HarnessOptions options;
            options.ownThread = true;
            options.hid = port;
            options.stopBound = 50ms;
            CoreHarness h(options);
            ProgramRun run;
            run.loaded = [port] { (void)port->WaitEntered(); };
            run.eventLoop = [&h] {
                h.app->Exit();
                return 3;
            };
            (void)RunProgram(*h.app, run);
            std::fputs("RunProgram returned", stderr);
            std::exit(99);
        },
        ::testing::ExitedWithCode(3), "");
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

TEST(RunProgram, OnlyAnInstanceLockHeldByAnotherEndsTheStart) {
    EXPECT_FALSE(FirstInstance(true, false));
    EXPECT_TRUE(FirstInstance(false, true));
    EXPECT_TRUE(FirstInstance(false, false)) << "a lock that could not be taken lets it run";
}

}  // namespace
}  // namespace qv::test
