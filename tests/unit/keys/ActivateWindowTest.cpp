#include "keys/ActivateWindow.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "RecordingPorts.h"

namespace qv {
namespace {

using test::RecordingWindowSystem;
using Calls = std::vector<std::string>;

class ActivateWindowTest : public ::testing::Test {
protected:
    RecordingWindowSystem windows;
    HWND editor = windows.AddWindow(10, "Notepad", 100);
    HWND player = windows.AddWindow(20, "Player", 200);

    void SetUp() override { windows.foreground = editor; }
};

TEST_F(ActivateWindowTest, FullActivationOfAnotherThreadsWindow) {
    EXPECT_EQ(ActivateWindow(windows, player, 300), kSwShowNormal);
    EXPECT_EQ(windows.calls, (Calls{
                                 "GetWindowPlacement(20)",
                                 "GetForegroundWindow()",
                                 "GetWindowThreadProcessId(10)",
                                 "GetWindowThreadProcessId(20)",
                                 "AttachThreadInput(200,100,1)",
                                 "GetForegroundLockTimeout()",
                                 "SetForegroundLockTimeout(0)",
                                 "ShowWindow(20,1)",
                                 "SetWindowPos(20,TOPMOST)",
                                 "SetForegroundWindow(20)",
                                 "SetWindowPos(20,NOTOPMOST)",
                                 "Sleep(300)",
                                 "SetForegroundLockTimeout(200000)",
                                 "AttachThreadInput(200,100,0)",
                             }));
    EXPECT_EQ(windows.foreground, player);
    EXPECT_EQ(windows.lockTimeout, 200000u);
    EXPECT_FALSE(windows.attached);
    EXPECT_FALSE(windows.windows[player].topmost);
}

TEST_F(ActivateWindowTest, TargetAlreadyInForegroundMakesNoOtherCall) {
    windows.windows[editor].showState = kSwShowMaximized;
    EXPECT_EQ(ActivateWindow(windows, editor, 1000), kSwShowMaximized);
    EXPECT_EQ(windows.calls, (Calls{"GetWindowPlacement(10)", "GetForegroundWindow()"}));
}

TEST_F(ActivateWindowTest, NullHandleEndsAtTheTargetThread) {
    EXPECT_EQ(ActivateWindow(windows, 0, 100), 0);
    EXPECT_EQ(windows.calls,
              (Calls{"GetWindowPlacement(0)", "GetForegroundWindow()",
                     "GetWindowThreadProcessId(10)", "GetWindowThreadProcessId(0)"}));
    EXPECT_EQ(windows.foreground, editor);
}

TEST_F(ActivateWindowTest, NoForegroundWindowEndsAtTheForegroundThread) {
    windows.foreground = 0;
    EXPECT_EQ(ActivateWindow(windows, player, 100), kSwShowNormal);
    EXPECT_EQ(windows.calls, (Calls{"GetWindowPlacement(20)", "GetForegroundWindow()",
                                    "GetWindowThreadProcessId(0)"}));
}

TEST_F(ActivateWindowTest, NullHandleWithoutForegroundEndsAtStepTwo) {
    windows.foreground = 0;
    EXPECT_EQ(ActivateWindow(windows, 0, 100), 0);
    EXPECT_EQ(windows.calls, (Calls{"GetWindowPlacement(0)", "GetForegroundWindow()"}));
}

TEST_F(ActivateWindowTest, SameThreadNeitherAttachesNorDetaches) {
    const HWND palette = windows.AddWindow(30, "Palette", 100);
    EXPECT_EQ(ActivateWindow(windows, palette, 0), kSwShowNormal);
    EXPECT_EQ(windows.calls, (Calls{
                                 "GetWindowPlacement(30)",
                                 "GetForegroundWindow()",
                                 "GetWindowThreadProcessId(10)",
                                 "GetWindowThreadProcessId(30)",
                                 "GetForegroundLockTimeout()",
                                 "SetForegroundLockTimeout(0)",
                                 "ShowWindow(30,1)",
                                 "SetWindowPos(30,TOPMOST)",
                                 "SetForegroundWindow(30)",
                                 "SetWindowPos(30,NOTOPMOST)",
                                 "Sleep(0)",
                                 "SetForegroundLockTimeout(200000)",
                             }));
}

TEST_F(ActivateWindowTest, MinimisedTargetIsRestoredAndReportsMinimised) {
    windows.windows[player].showState = kSwShowMinimized;
    const int state = ActivateWindow(windows, player, 0);
    EXPECT_EQ(state, kSwShowMinimized);
    EXPECT_EQ(windows.windows[player].showState, kSwShowNormal);  // normal while keys are sent
    // The receive loop's round trip: keys, the old state back, the old foreground back.
    windows.ShowWindow(player, state);
    EXPECT_EQ(ActivateWindow(windows, editor, 0), kSwShowNormal);
    EXPECT_EQ(windows.windows[player].showState, kSwShowMinimized);
    EXPECT_EQ(windows.foreground, editor);
    EXPECT_EQ(windows.lockTimeout, 200000u);
}

TEST_F(ActivateWindowTest, MaximisedTargetReportsMaximised) {
    windows.windows[player].showState = kSwShowMaximized;
    EXPECT_EQ(ActivateWindow(windows, player, 0), kSwShowMaximized);
    EXPECT_EQ(windows.windows[player].showState, kSwShowNormal);
}

TEST_F(ActivateWindowTest, DelayZeroStillSleepsAndNegativeDelaySleepsZero) {
    ActivateWindow(windows, player, 0);
    windows.foreground = editor;
    ActivateWindow(windows, player, -1);
    windows.foreground = editor;
    ActivateWindow(windows, player, -32768);
    std::vector<std::string> sleeps;
    for (const std::string& call : windows.calls) {
        if (call.rfind("Sleep(", 0) == 0) {
            sleeps.push_back(call);
        }
    }
    EXPECT_EQ(sleeps, (Calls{"Sleep(0)", "Sleep(0)", "Sleep(0)"}));
}

TEST_F(ActivateWindowTest, TargetThatRefusesTheForegroundStillGetsTheWait) {
    windows.windows[player].thread = 200;
    // A handle that has a thread but that SetForegroundWindow cannot activate.
    struct Refusing : RecordingWindowSystem {
        void SetForegroundWindow(HWND hwnd) override {
            calls.push_back("SetForegroundWindow(" + std::to_string(hwnd) + ")");
        }
    } refusing;
    refusing.AddWindow(10, "Notepad", 100);
    refusing.AddWindow(20, "Player", 200);
    refusing.foreground = 10;
    EXPECT_EQ(ActivateWindow(refusing, 20, 500), kSwShowNormal);
    EXPECT_EQ(refusing.foreground, 10);
    EXPECT_EQ(refusing.calls[11], "Sleep(500)");
    EXPECT_EQ(refusing.lockTimeout, 200000u);
}

TEST_F(ActivateWindowTest, LockTimeoutAndAttachmentRestoredWhenAPortThrows) {
    struct Throwing : RecordingWindowSystem {
        void SetForegroundWindow(HWND) override { throw std::runtime_error("gone"); }
    } throwing;
    throwing.AddWindow(10, "Notepad", 100);
    throwing.AddWindow(20, "Player", 200);
    throwing.foreground = 10;
    throwing.lockTimeout = 5000;
    EXPECT_THROW(ActivateWindow(throwing, 20, 0), std::runtime_error);
    EXPECT_EQ(throwing.lockTimeout, 5000u);
    EXPECT_FALSE(throwing.attached);
}

}  // namespace
}  // namespace qv
