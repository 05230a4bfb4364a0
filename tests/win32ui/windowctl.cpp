// win32_windowctl: drives a running quorvane.exe from outside, as a user
// would, for the end-to-end test (one command per run):
//   close            closes the program's window (WM_CLOSE)
//   menu N           opens the icon's menu and chooses item N (1 設定, 2 終了)
//   state            prints "visible 0|1 rect L T R B taskbar L T R B screen W H"
//   tab N            clicks tab N (1 or 2) of the shown window
//   click NAME       clicks the button NAME ("previousSlotButton", "hideToTrayButton", ...)
//   text NAME        prints the text of the control NAME ("slotNumberBox", ...)
//   choose N         chooses item N (1 for the first) of the program's open
//                    pop-up menu (the window picker's list)
//   press NAME VK    a press and a release of virtual key VK (hex) in control NAME
// Exit status 0 when the command was delivered, 1 when the window was not found.
#include "common/win32/Windows.h"

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/win32/Win32MainWindow.h"
#include "common/win32/WideText.h"
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

// Chooses item `item` (1 for the first) of the program's open pop-up menu.
int Choose(HWND window, int item) {
    HWND menu = WaitForMenu(::GetWindowThreadProcessId(window, nullptr));
    if (menu == nullptr) {
        std::fputs("windowctl: no menu opened\n", stderr);
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

// The arrow keys walk the tabs as a click would select them. (A click needs
// the tab's rectangle, which TCM_GETITEMRECT cannot hand to another process.)
int Tab(HWND window, int tab) {
    HWND tabs = ::FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr);
    if (tabs == nullptr) {
        return 1;
    }
    const auto current = static_cast<int>(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0)) + 1;
    const WPARAM key = tab > current ? VK_RIGHT : VK_LEFT;
    for (int i = 0; i < (tab > current ? tab - current : current - tab); ++i) {
        ::PostMessageW(tabs, WM_KEYDOWN, key, 0);
        ::PostMessageW(tabs, WM_KEYUP, key, 0);
    }
    return 0;
}

HWND FindControl(HWND window, int id) {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (::GetDlgCtrlID(child) == s->id) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND NamedControl(HWND window, const std::wstring& name) {
    for (int id = qv::kFirstControlId; id <= qv::kLastControlId; ++id) {
        const std::string_view control = qv::ControlName(id);
        if (std::wstring(control.begin(), control.end()) == name) {
            return FindControl(window, id);
        }
    }
    std::fputs("windowctl: no such control\n", stderr);
    return nullptr;
}

int Click(HWND window, const std::wstring& name) {
    HWND button = NamedControl(window, name);
    return button != nullptr && ::PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
}

int Press(HWND window, const std::wstring& name, UINT vk) {
    HWND control = NamedControl(window, name);
    if (control == nullptr) {
        return 1;
    }
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    const bool down = ::PostMessageW(control, WM_KEYDOWN, vk, 1 | scan);
    const bool up = ::PostMessageW(control, WM_KEYUP, vk, 1 | scan | (LPARAM{3} << 30));
    return down && up ? 0 : 1;
}

int PrintText(HWND window, const std::wstring& name) {
    HWND control = NamedControl(window, name);
    if (control == nullptr) {
        return 1;
    }
    // WM_GETTEXT reaches a control of another process; GetWindowTextW would
    // only read a caption.
    wchar_t text[1024] = L"";
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                               SMTO_ABORTIFHUNG, 5000, &copied)) {
        return 1;
    }
    std::printf("%s\n", qv::win32::WideToUtf8(text).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs(
            "usage: win32_windowctl close | menu N | state | tab N | click NAME | text NAME |\n"
            "                       choose N | press NAME VK\n",
            stderr);
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
    if (command == L"click" && argc > 2) {
        return Click(window, argv[2]);
    }
    if (command == L"text" && argc > 2) {
        return PrintText(window, argv[2]);
    }
    if (command == L"choose" && number >= 1) {
        return Choose(window, number);
    }
    if (command == L"press" && argc > 3) {
        return Press(window, argv[2], static_cast<UINT>(std::wcstoul(argv[3], nullptr, 16)));
    }
    std::fputs("windowctl: unknown command\n", stderr);
    return 2;
}
