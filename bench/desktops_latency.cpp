// Benchmark: KDE Plasma or GNOME ($QV_DESKTOP), headless. The program with
// the simulated receiver from the press to the first key in a Wayland client
// (a window switch there and back per press; presses at random points of the
// 50 ms poll cycle); bursts of 255 events straight through the desktop's
// injector, exact or not and how long until the last key arrived; and how
// long an activation takes until the window reports the focus. Run by
// bench/desktops_run.sh inside with-desktop.sh; prints the figures and keeps
// them in figures.txt.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DesktopSession.h"
#include "PressLatency.h"
#include "ProgramSession.h"
#include "common/Clock.h"
#include "keys/ActivateWindow.h"

namespace qv::desktop {
namespace {

using namespace test;

int Count(const char* variable, int fallback) {
    const char* text = std::getenv(variable);
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : fallback;
}

void Report(const std::string& what, std::vector<long long> micros) {
    std::sort(micros.begin(), micros.end());
    const auto ms = [](long long us) { return std::to_string(us / 1000.0); };
    const std::string line = std::string(DesktopName(SessionDesktop())) + ": " + what + " over " +
                             std::to_string(micros.size()) + ": min " + ms(micros.front()) +
                             " ms, p50 " + ms(Percentile(micros, 50)) + " ms, p99 " +
                             ms(Percentile(micros, 99)) + " ms, max " + ms(micros.back()) + " ms";
    std::printf("%s\n", line.c_str());
    Figure(line);
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_ = SessionDesktop();
        xwayland_ = std::make_shared<wayland::XwaylandSync>();
        windows_ = OpenWindows(desktop_, xwayland_);
        injector_ = OpenInjector(desktop_, xwayland_);
        ASSERT_TRUE(windows_ && injector_);
    }

    std::unique_ptr<Target> Start(ClientKind kind, const std::string& stem) {
        auto target = std::make_unique<Target>(kind, UniqueName(stem));
        EXPECT_TRUE(WaitUntil(
            [&] { return target->Ready() && windows_->FindByClass(target->Name()); }, kStartBound));
        WaitUntil([&] { return target->HasFocus(); }, 2s);
        return target;
    }

    void Focus(const Target& target) {
        ASSERT_TRUE(WaitUntil(
            [&] {
                windows_->Activate(windows_->FindByClass(target.Name()));
                return WaitUntil([&] { return target.HasFocus(); }, 1s);
            },
            kLogBound));
    }

    test::Desktop desktop_ = test::Desktop::Kde;
    std::shared_ptr<wayland::XwaylandSync> xwayland_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<InputInjector> injector_;
};

// 255 events into the focused window, no switching: how many bursts arrive
// exact, and how long after the send began the last key arrived.
TEST_F(Desktop, BurstsOf255Events) {
    const int runs = Count("QV_BENCH_BURSTS", 20);
    for (const ClientKind kind : {ClientKind::Native, ClientKind::X}) {
        auto target = Start(kind, "Burst");
        ASSERT_NO_FATAL_FAILURE(Focus(*target));
        const std::vector<Expected> expected = Burst255();
        std::vector<std::string> want = Describe(expected);
        want.push_back("release Shift_L");
        std::vector<long long> last;
        int exact = 0;
        std::size_t before = target->Keys().size();
        for (int run = 0; run < runs; ++run) {
            const long long sent = NowMicros();
            injector_->Send(Strokes(expected));
            injector_->Send(std::vector<KeyStroke>{{0x10, true}});
            if (!WaitForKeys(*target, before + 256)) {
                break;
            }
            const std::vector<Logged> keys = target->Keys();
            exact += Describe(keys, before) == want ? 1 : 0;
            last.push_back(keys[before + 254].time - sent);
            before = keys.size();
        }
        const std::string label = std::string("255 events into a ") + KindName(kind) + " window";
        Figure(std::string(DesktopName(desktop_)) + ": " + label + ": " + std::to_string(exact) +
               " of " + std::to_string(runs) + " bursts exact");
        std::printf("%s: %d of %d bursts exact\n", label.c_str(), exact, runs);
        ASSERT_FALSE(last.empty());
        Report(label + ", send to last key", last);
    }
}

// Activation until the window itself reports the focus, back and forth
// between two windows.
TEST_F(Desktop, SwitchTime) {
    const int switches = Count("QV_BENCH_SWITCHES", 50);
    auto a = Start(ClientKind::Native, "SwitchA");
    auto b = Start(ClientKind::Native, "SwitchB");
    ASSERT_NO_FATAL_FAILURE(Focus(*a));
    std::vector<long long> times;
    for (int i = 0; i < switches; ++i) {
        const Target& to = i % 2 == 0 ? *b : *a;
        const Window window = windows_->FindByClass(to.Name());
        const long long start = NowMicros();
        ASSERT_TRUE(windows_->Activate(window));
        ASSERT_TRUE(WaitUntil([&] { return to.HasFocus(); }, kLogBound));
        times.push_back(NowMicros() - start);
    }
    Report("activation until the window has the focus", times);

    // The steps of a slot's dispatch, as the receive loop takes them, until
    // the first key is in the target.
    std::vector<long long> find, foreground, state, activate, firstKey;
    SteadyClock clock;
    for (int i = 0; i < switches; ++i) {
        const Target& to = i % 2 == 0 ? *b : *a;
        const std::size_t before = to.Keys().size();
        long long t0 = NowMicros();
        const Window window = windows_->FindByClass(to.Name());
        long long t1 = NowMicros();
        windows_->Foreground();
        long long t2 = NowMicros();
        windows_->GetShowState(window);
        long long t3 = NowMicros();
        ActivateWindow(*windows_, clock, window, 0);
        long long t4 = NowMicros();
        injector_->Send(std::vector<KeyStroke>{{'L', false}, {'L', true}});
        ASSERT_TRUE(WaitForKeys(to, before + 1));
        find.push_back(t1 - t0);
        foreground.push_back(t2 - t1);
        state.push_back(t3 - t2);
        activate.push_back(t4 - t3);
        firstKey.push_back(to.Keys()[before].time - t0);
    }
    Report("dispatch step: find by class", find);
    Report("dispatch step: foreground", foreground);
    Report("dispatch step: show state", state);
    Report("dispatch step: ActivateWindow", activate);
    Report("dispatch: find to first key in the target", firstKey);
}

// The program: press -> first key in the target, with the slot's window
// switch and no switch pause.
TEST_F(Desktop, PressToFirstKey) {
    const int presses = Count("QV_BENCH_PRESSES", 100);
    Simulator sim;
    auto user = Start(ClientKind::Native, "User");
    auto target = Start(ClientKind::Native, "Latency");
    ASSERT_NO_FATAL_FAILURE(Focus(*user));
    Program program(
        sim, {"[General]", "WindowChangeTime=0", "[Remote1]", "Pulse=12,34,60", "Comment=latency",
              "AdjustTime=0", "WindowName=" + target->Name(), "KeyList=DL, UL"});
    std::vector<long long> latencies;
    ASSERT_NO_FATAL_FAILURE(bench::MeasurePressToFirstKey(
        sim, *target, program, presses, [&] { return user->HasFocus(); }, latencies));
    Report("program: press -> first key in the Wayland client", latencies);
}

}  // namespace
}  // namespace qv::desktop
