#include "keys/win32/Win32WindowSystem.h"

#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

// Polls `done` until it holds or `wait` has passed; whether it held.
template <typename Predicate>
bool WaitFor(std::chrono::milliseconds wait, Predicate done) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    while (!done()) {
        if (::GetTickCount64() >= deadline) {
            return done();
        }
        ::Sleep(1);
    }
    return true;
}

int ShowCommand(ShowState state) {
    switch (state) {
        case ShowState::Normal:
            return SW_SHOWNORMAL;
        case ShowState::Minimized:
            return SW_SHOWMINIMIZED;
        case ShowState::Maximized:
            return SW_SHOWMAXIMIZED;
        case ShowState::Unknown:
            break;
    }
    return -1;
}

}  // namespace

Window Win32WindowSystem::FindByClass(std::string_view className) {
    if (className.empty()) {
        return {};
    }
    return FromHwnd(::FindWindowW(win32::Utf8ToWide(className).c_str(), nullptr));
}

Window Win32WindowSystem::Foreground() {
    return FromHwnd(::GetForegroundWindow());
}

ShowState Win32WindowSystem::GetShowState(Window window) {
    const HWND hwnd = ToHwnd(window);
    if (hwnd == nullptr || !::IsWindow(hwnd)) {
        return ShowState::Unknown;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(hwnd, &placement)) {
        return ShowState::Unknown;
    }
    switch (placement.showCmd) {
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            return ShowState::Minimized;
        case SW_SHOWMAXIMIZED:
            return ShowState::Maximized;
        default:
            return ShowState::Normal;
    }
}

void Win32WindowSystem::SetShowState(Window window, ShowState state) {
    const HWND hwnd = ToHwnd(window);
    const int command = ShowCommand(state);
    if (hwnd == nullptr || command < 0 || !::IsWindow(hwnd)) {
        return;
    }
    // ShowWindow waits for the window's own thread; one that stopped answering
    // would hold the caller for good.
    if (::IsHungAppWindow(hwnd)) {
        DebugLog("ShowWindow: the window is not responding");
        return;
    }
    const bool wasMinimized = ::IsIconic(hwnd);
    ::ShowWindow(hwnd, command);
    // A window minimised from the maximised state comes back maximised; normal
    // size is a second step.
    if (state == ShowState::Normal && wasMinimized && ::IsZoomed(hwnd)) {
        ::ShowWindow(hwnd, command);
    }
    if (!WaitFor(wait_, [&] { return GetShowState(window) == state; })) {
        DebugLog("ShowWindow: the window did not take the show state in time");
    }
}

bool Win32WindowSystem::Activate(Window window) {
    const HWND target = ToHwnd(window);
    if (target == nullptr || !::IsWindow(target)) {
        return false;
    }
    const HWND foreground = ::GetForegroundWindow();
    if (foreground == target) {
        return true;
    }

    // Windows lets only the foreground program, or a thread sharing the input
    // state of the foreground window's thread, change the foreground. So this
    // thread joins that input state for the switch, and the foreground lock
    // timeout (the time after user input during which the foreground may not be
    // taken) is 0 meanwhile. The target's own thread is not attached: detaching
    // it again afterwards left no window in the foreground (seen under Wine in
    // every run), and it is the calling thread that needs the right to switch.
    const DWORD foregroundThread =
        foreground != nullptr ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    const DWORD ownThread = ::GetCurrentThreadId();
    // Only threads with a message queue can be attached; this gives a worker
    // thread one (without handling any message, as a message call would).
    ::IsGUIThread(TRUE);
    const bool attached = foregroundThread != 0 && foregroundThread != ownThread &&
                          ::AttachThreadInput(ownThread, foregroundThread, TRUE);

    DWORD savedLockTimeout = 0;
    const bool lockRead =
        ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &savedLockTimeout, 0);
    if (lockRead) {
        // For this session only: neither written to the profile nor broadcast.
        ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    }

    // Into the topmost band and out again raises the target above every window,
    // topmost ones included; then it takes the foreground.
    constexpr UINT kPositionFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_ASYNCWINDOWPOS;
    ::SetWindowPos(target, HWND_TOPMOST, 0, 0, 0, 0, kPositionFlags);
    ::SetForegroundWindow(target);
    ::SetWindowPos(target, HWND_NOTOPMOST, 0, 0, 0, 0, kPositionFlags);

    // SetForegroundWindow returns before the switch is done; keys sent in between
    // reach neither window. Wait until the target really is in front.
    const bool active = WaitFor(wait_, [&] { return ::GetForegroundWindow() == target; });

    if (lockRead) {
        ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                                reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(savedLockTimeout)),
                                0);
    }
    if (attached) {
        ::AttachThreadInput(ownThread, foregroundThread, FALSE);
    }
    if (!active) {
        DebugLog("SetForegroundWindow: the window did not come to the foreground in time");
    }
    return active;
}

std::vector<ListedWindow> Win32WindowSystem::ListWindows() {
    std::vector<HWND> windows;
    const BOOL walked = ::EnumWindows(
        [](HWND hwnd, LPARAM found) -> BOOL {
            // What a user can switch to: shown, and not owned by another window
            // (a dialog, a tool window of a program).
            if (::IsWindowVisible(hwnd) && ::GetWindow(hwnd, GW_OWNER) == nullptr) {
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    if (!walked) {
        win32::DebugLogLastError("EnumWindows");
    }
    std::vector<ListedWindow> listed;
    for (HWND hwnd : windows) {
        wchar_t className[256] = L"";
        const int classLength = ::GetClassNameW(hwnd, className, 256);
        if (classLength <= 0) {
            continue;  // gone meanwhile
        }
        wchar_t title[512] = L"";
        DWORD process = 0;
        ::GetWindowThreadProcessId(hwnd, &process);
        if (process != ::GetCurrentProcessId()) {
            // Another program's caption is read without asking its thread.
            ::GetWindowTextW(hwnd, title, 512);
        } else {
            // A window of this program asks its own (GUI) thread, which may be
            // busy: never wait for it for long.
            DWORD_PTR copied = 0;
            if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(title),
                                       SMTO_ABORTIFHUNG | SMTO_BLOCK, 200, &copied)) {
                title[0] = L'\0';
            }
        }
        listed.push_back({FromHwnd(hwnd), win32::WideToUtf8(title),
                          win32::WideToUtf8(std::wstring_view(
                              className, static_cast<std::size_t>(classLength)))});
    }
    return listed;
}

}  // namespace qv
