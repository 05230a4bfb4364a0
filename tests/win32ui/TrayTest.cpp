// The notification-area icon and its menu, with the window and the core
// behind them: the icon is there and comes back after "TaskbarCreated", the
// menu offers 設定 and 終了, 設定 shows the window beside the taskbar and
// minimising sends it back, 終了 ends the program.
#include "common/win32/Windows.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "WindowHarness.h"

namespace qv {
namespace {

using test::Program;
using test::ReadMenu;
using test::SeenMenu;
using test::Watcher;

// Whether the shell has the program's icon: only an icon it has can be modified.
bool ShellHasIcon(const Program& program) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = program.Hwnd();
    data.uID = program.tray->IconId();
    data.uFlags = NIF_TIP;
    wcscpy(data.szTip, L"Remote Receiver");
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void ForgetIcon(const Program& program) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = program.Hwnd();
    data.uID = program.tray->IconId();
    ::Shell_NotifyIconW(NIM_DELETE, &data);
}

// Opens the icon's menu with `button` and chooses the item `downs` steps down
// from the top (0: closes it unchosen with Escape), as the keyboard would.
SeenMenu UseMenu(Program& program, UINT buttonDown, int downs, bool* quit = nullptr) {
    SeenMenu seen;
    Watcher watcher(L"#32768", [&seen, downs](HWND menu) {
        seen = ReadMenu(menu);
        for (int i = 0; i < downs; ++i) {
            ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        }
        ::PostMessageW(menu, WM_KEYDOWN, downs > 0 ? VK_RETURN : VK_ESCAPE, 0);
    });
    ::PostMessageW(program.Hwnd(), kTrayCallbackMessage, program.tray->IconId(), buttonDown);
    EXPECT_TRUE(
        program.Pump([&] { return watcher.Found() && !test::FindShownWindow(L"#32768"); }, quit));
    watcher.Join();
    return seen;
}

TEST(Win32Tray, IconIsAddedAtStartUpAndComesBackAfterTaskbarCreated) {
    Program program;
    ASSERT_FALSE(ShellHasIcon(program));
    program.Load();
    EXPECT_TRUE(ShellHasIcon(program));
    EXPECT_TRUE(program.tray->Added());

    // A new taskbar knows no icons; it tells every top-level window.
    ForgetIcon(program);
    ASSERT_FALSE(ShellHasIcon(program));
    ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(program.Pump([&] { return ShellHasIcon(program); }));
    EXPECT_TRUE(program.tray->Added());

    // Exit takes the icon away.
    program.core->Unload();
    EXPECT_FALSE(ShellHasIcon(program));
}

TEST(Win32Tray, AnyButtonOpensTheMenuWithExitAsTheDefaultItem) {
    Program program;
    program.Load();
    for (const UINT button : {WM_RBUTTONDOWN, WM_LBUTTONDOWN, WM_MBUTTONDOWN}) {
        SCOPED_TRACE(button);
        const SeenMenu seen = UseMenu(program, button, 0);
        EXPECT_EQ(seen.items, (std::vector<std::string>{"設定", "終了"}));
        EXPECT_EQ(seen.checked, (std::vector<bool>{false, false}));
        EXPECT_EQ(seen.defaultItem, 1);
    }
    // Closed unchosen: nothing happened.
    EXPECT_FALSE(::IsWindowVisible(program.Hwnd()));
    EXPECT_FALSE(program.core->Unloaded());
    // Moving over the icon opens nothing.
    ::PostMessageW(program.Hwnd(), kTrayCallbackMessage, program.tray->IconId(), WM_MOUSEMOVE);
    program.PumpPosted();
    EXPECT_EQ(test::FindShownWindow(L"#32768"), nullptr);
}

TEST(Win32Tray, SettingsShowsTheWindowBesideTheTaskbarAndAgainHidesIt) {
    Program program;
    program.Load();
    UseMenu(program, WM_RBUTTONDOWN, 1);
    ASSERT_TRUE(program.Pump([&] { return ::IsWindowVisible(program.Hwnd()) != FALSE; }));
    EXPECT_TRUE(program.core->ConfigChecked());

    // The corner at the notification area: the taskbar lies along the
    // bottom, its notification area at the right.
    const RECT bar = test::DesktopTaskbar();
    ASSERT_EQ(bar.bottom, ::GetSystemMetrics(SM_CYSCREEN)) << "a taskbar along the bottom";
    ASSERT_EQ(bar.right - bar.left, ::GetSystemMetrics(SM_CXSCREEN));
    RECT window{};
    ::GetWindowRect(program.Hwnd(), &window);
    EXPECT_EQ(window.bottom, bar.top);
    EXPECT_EQ(window.right, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(::GetForegroundWindow(), program.Hwnd());

    // The menu shows the check mark; choosing again hides the window.
    const SeenMenu seen = UseMenu(program, WM_RBUTTONDOWN, 1);
    EXPECT_EQ(seen.checked, (std::vector<bool>{true, false}));
    ASSERT_TRUE(program.Pump([&] { return !::IsWindowVisible(program.Hwnd()); }));
    EXPECT_FALSE(program.core->ConfigChecked());
}

TEST(Win32Tray, MinimisingSendsTheWindowBackAndTheNextOpeningIsNormalBesideTheTaskbar) {
    Program program;
    program.Load();
    program.core->ToggleWindow();
    ASSERT_TRUE(::IsWindowVisible(program.Hwnd()));
    RECT placed{};
    ::GetWindowRect(program.Hwnd(), &placed);

    ::ShowWindow(program.Hwnd(), SW_MINIMIZE);
    program.PumpPosted();
    EXPECT_FALSE(::IsWindowVisible(program.Hwnd()));
    EXPECT_FALSE(program.core->ConfigChecked());

    UseMenu(program, WM_LBUTTONDOWN, 1);
    ASSERT_TRUE(program.Pump([&] { return ::IsWindowVisible(program.Hwnd()) != FALSE; }));
    EXPECT_FALSE(::IsIconic(program.Hwnd()));
    EXPECT_FALSE(::IsZoomed(program.Hwnd()));
    RECT again{};
    ::GetWindowRect(program.Hwnd(), &again);
    EXPECT_EQ(again.left, placed.left);
    EXPECT_EQ(again.top, placed.top);
    EXPECT_EQ(again.right - again.left, placed.right - placed.left);

    // Maximising too.
    ::ShowWindow(program.Hwnd(), SW_MAXIMIZE);
    program.PumpPosted();
    EXPECT_FALSE(::IsWindowVisible(program.Hwnd()));
    EXPECT_FALSE(program.core->ConfigChecked());
}

TEST(Win32Tray, BackToTheTrayButtonHidesTheWindowAndClearsTheCheck) {
    Program program;
    program.Load();
    program.core->ToggleWindow();
    ASSERT_TRUE(::IsWindowVisible(program.Hwnd()));
    ::PostMessageW(program.Control(IDC_HIDE_TO_TRAY), BM_CLICK, 0, 0);
    program.PumpPosted();
    EXPECT_FALSE(::IsWindowVisible(program.Hwnd()));
    EXPECT_FALSE(program.core->ConfigChecked());
}

TEST(Win32Tray, ExitFromTheMenuEndsTheProgram) {
    Program program;
    program.Load();
    bool quit = false;
    UseMenu(program, WM_RBUTTONDOWN, 2, &quit);
    EXPECT_TRUE(program.Pump([&] { return program.core->Unloaded(); }, &quit));
    EXPECT_TRUE(quit);
    EXPECT_FALSE(ShellHasIcon(program));
    EXPECT_NE(program.IniBytes().find("WindowChangeTime=0"), std::string::npos);
}

}  // namespace
}  // namespace qv
