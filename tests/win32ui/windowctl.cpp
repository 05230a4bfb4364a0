// win32_windowctl: drives a running quorvane.exe from outside, as a user
// would, for the end-to-end test (one command per run):
//   close            closes the program's window (WM_CLOSE)
//   menu N           opens the icon's menu and chooses item N (1 設定, 2 終了)
//   state            prints "visible 0|1 rect L T R B taskbar L T R B screen W H"
//   tab N            clicks tab N (1 or 2) of the shown window
// Exit status 0 when the command was delivered, 1 when the window was not found.
#include "common/win32/Windows.h"

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/win32/frmMain.h"
#include "shell/win32/Win32ScreenGeometry.h"
#include "shell/win32/Win32TrayIcon.h"

namespace {

HWND ProgramWindow() {
    return ::FindWindowW(qv::kMainWindowClass, L"Quorvane");
}

// The shown menu window of the program's thread, waited for (bounded).
HWND WaitForMenu(DWORD thread) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        HWND menu = nullptr;
        while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
            if (::IsWindowVisible(menu) && ::GetWindowThreadProcessId(menu, nullptr) == thread) {
                return menu;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

int Menu(HWND window, int item) {
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    ::PostMessageW(window, qv::kTrayCallbackMessage, 0, WM_RBUTTONDOWN);
    HWND menu = WaitForMenu(thread);
    if (menu == nullptr) {
        std::fputs("windowctl: the menu did not open\n", stderr);
        return 1;
    }
    for (int i = 0; i < item; ++i) {
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    }
    ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    return 0;
}

int State(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    qv::Win32ScreenGeometry geometry(window);
    const qv::Rect bar = geometry.TaskbarRect();
    std::printf("visible %d rect %ld %ld %ld %ld taskbar %d %d %d %d screen %d %d\n",
                ::IsWindowVisible(window) ? 1 : 0, r.left, r.top, r.right, r.bottom, bar.left,
                bar.top, bar.right, bar.bottom, geometry.ScreenWidth(), geometry.ScreenHeight());
    return 0;
}

int Tab(HWND window, int tab) {
    HWND tabs = ::FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr);
    if (tabs == nullptr) {
        return 1;
    }
    RECT r{};
    if (!::SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(tab - 1),
                        reinterpret_cast<LPARAM>(&r))) {
        return 1;
    }
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(tabs, WM_LBUTTONUP, 0, at);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: win32_windowctl close | menu N | state | tab N\n", stderr);
        return 2;
    }
    HWND window = ProgramWindow();
    if (window == nullptr) {
        std::fputs("windowctl: no Quorvane window\n", stderr);
        return 1;
    }
    const std::wstring command = argv[1];
    const int number = argc > 2 ? _wtoi(argv[2]) : 0;
    if (command == L"close") {
        return ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (command == L"menu" && (number == 1 || number == 2)) {
        return Menu(window, number);
    }
    if (command == L"state") {
        return State(window);
    }
    if (command == L"tab" && (number == 1 || number == 2)) {
        return Tab(window, number);
    }
    std::fputs("windowctl: unknown command\n", stderr);
    return 2;
}
