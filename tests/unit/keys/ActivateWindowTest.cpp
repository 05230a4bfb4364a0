#include "keys/ActivateWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "RecordingPorts.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::RecordingClock;
using test::RecordingWindowSystem;
using Calls = std::vector<std::string>;

class ActivateWindowTest : public ::testing::Test {
protected:
    RecordingWindowSystem windows;
    RecordingClock clock{windows.calls};
    Window editor = windows.AddWindow(10, "Notepad");
    Window player = windows.AddWindow(20, "Player");

    void SetUp() override { windows.foreground = editor; }

    std::vector<std::string> Sleeps() const {
        std::vector<std::string> sleeps;
        for (const std::string& call : windows.calls) {
            if (call.rfind("Sleep(", 0) == 0) {
                sleeps.push_back(call);
            }
        }
        return sleeps;
    }
};

TEST_F(ActivateWindowTest, AnotherWindowIsRestoredActivatedAndWaitedFor) {
    const auto start = clock.Now();
    EXPECT_EQ(ActivateWindow(windows, clock, player, 300), ShowState::Normal);
    EXPECT_EQ(windows.calls, (Calls{"GetShowState(20)", "Foreground()", "SetShowState(20,Normal)",
                                    "Activate(20)", "Sleep(300)"}));
    EXPECT_EQ(windows.foreground, player);
    EXPECT_EQ(clock.Now() - start, 300ms);
}

TEST_F(ActivateWindowTest, TargetAlreadyInFrontNothingElseIsCalled) {
    windows.windows[editor.id].showState = ShowState::Maximized;
    EXPECT_EQ(ActivateWindow(windows, clock, editor, 1000), ShowState::Maximized);
    EXPECT_EQ(windows.calls, (Calls{"GetShowState(10)", "Foreground()"}));
    EXPECT_EQ(windows.windows[editor.id].showState, ShowState::Maximized);
}

TEST_F(ActivateWindowTest, NoTargetKeysGoToTheForegroundNothingChanged) {
    EXPECT_EQ(ActivateWindow(windows, clock, Window{}, 100), ShowState::Unknown);
    EXPECT_EQ(windows.calls, (Calls{"GetShowState(0)", "Foreground()"}));
    EXPECT_EQ(windows.foreground, editor);
}

TEST_F(ActivateWindowTest, NoForegroundWindowLeavesEverythingAlone) {
    windows.foreground = Window{};
    windows.windows[player.id].showState = ShowState::Minimized;
    EXPECT_EQ(ActivateWindow(windows, clock, player, 100), ShowState::Minimized);
    EXPECT_EQ(windows.calls, (Calls{"GetShowState(20)", "Foreground()"}));
    EXPECT_EQ(windows.windows[player.id].showState, ShowState::Minimized);
    EXPECT_FALSE(windows.foreground);
}

TEST_F(ActivateWindowTest, NeitherTargetNorForegroundEndsAfterTheForeground) {
    windows.foreground = Window{};
    EXPECT_EQ(ActivateWindow(windows, clock, Window{}, 100), ShowState::Unknown);
    EXPECT_EQ(windows.calls, (Calls{"GetShowState(0)", "Foreground()"}));
}

TEST_F(ActivateWindowTest, MinimisedTargetIsNormalForTheKeysAndMinimisedAgainAfterwards) {
    windows.windows[player.id].showState = ShowState::Minimized;
    const ShowState state = ActivateWindow(windows, clock, player, 0);
    EXPECT_EQ(state, ShowState::Minimized);
    EXPECT_EQ(windows.windows[player.id].showState, ShowState::Normal);  // while keys are sent
    EXPECT_EQ(windows.foreground, player);
    // The receive loop's round trip: keys, the old state back, the old foreground back.
    windows.SetShowState(player, state);
    EXPECT_EQ(ActivateWindow(windows, clock, editor, 0), ShowState::Normal);
    EXPECT_EQ(windows.windows[player.id].showState, ShowState::Minimized);
    EXPECT_EQ(windows.foreground, editor);
}

TEST_F(ActivateWindowTest, MaximisedTargetReportsMaximisedAndIsNormalMeanwhile) {
    windows.windows[player.id].showState = ShowState::Maximized;
    EXPECT_EQ(ActivateWindow(windows, clock, player, 0), ShowState::Maximized);
    EXPECT_EQ(windows.windows[player.id].showState, ShowState::Normal);
}

TEST_F(ActivateWindowTest, DelayZeroStillSleepsAndNegativeDelaysSleepZero) {
    for (const std::int16_t delay : {std::int16_t{0}, std::int16_t{-1}, std::int16_t{-32768},
                                     std::int16_t{1000}, std::int16_t{32767}}) {
        windows.foreground = editor;
        ActivateWindow(windows, clock, player, delay);
    }
    EXPECT_EQ(Sleeps(), (Calls{"Sleep(0)", "Sleep(0)", "Sleep(0)", "Sleep(1000)", "Sleep(32767)"}));
}

TEST_F(ActivateWindowTest, TargetThatRefusesTheForegroundStillGetsTheWait) {
    windows.windows[player.id].takesForeground = false;
    EXPECT_EQ(ActivateWindow(windows, clock, player, 500), ShowState::Normal);
    EXPECT_EQ(windows.calls, (Calls{"GetShowState(20)", "Foreground()", "SetShowState(20,Normal)",
                                    "Activate(20)", "Sleep(500)"}));
    EXPECT_EQ(windows.foreground, editor);
}

TEST_F(ActivateWindowTest, WindowThatHasGoneReportsUnknownAndChangesNothing) {
    // An id the class search gave a moment ago, whose window has closed since.
    const Window gone{30};
    EXPECT_EQ(ActivateWindow(windows, clock, gone, 200), ShowState::Unknown);
    EXPECT_EQ(windows.foreground, editor);
    EXPECT_EQ(windows.windows.count(30), 0u);
    EXPECT_EQ(Sleeps(), (Calls{"Sleep(200)"}));
}

}  // namespace
}  // namespace qv
