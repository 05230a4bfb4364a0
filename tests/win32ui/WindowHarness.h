#pragma once
// The program put together as quorvane.exe does, for the window tests: the
// real Win32 window, GUI-thread hand-over, tray icon, placement and
// configuration files, over a scripted receiver (none is plugged in), and
// the receiver thread's jobs run by the test. Plus the waits the tests need:
// pumping messages until something holds, and a watcher thread that finds
// the program's message boxes and menus and answers them as a user would.

#include "common/win32/Windows.h"

#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CoreFakes.h"
#include "FakeHidPort.h"
#include "TempFolder.h"
#include "app/core/Application.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/Win32AppIcon.h"
#include "app/win32/Win32GuiThread.h"
#include "app/win32/Win32MainWindow.h"
#include "config/IniStore.h"
#include "config/win32/Win32ConfigFiles.h"
#include "config/win32/Win32TextCodec.h"
#include "device/DeviceEvents.h"
#include "shell/win32/Win32ScreenGeometry.h"
#include "shell/win32/Win32TrayIcon.h"

namespace qv::test {

// How long a wait for the program may take before the test calls it a hang.
inline constexpr std::chrono::milliseconds kHangLimit{20000};

// Handles the thread's messages as the program's loop does until `done`
// holds; false when it did not within kHangLimit or WM_QUIT came first
// (`quit` tells which).
inline bool PumpUntil(HWND window, const std::function<bool()>& done, bool* quit = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    for (;;) {
        if (!PumpWaitingMessages(window)) {
            if (quit != nullptr) {
                *quit = true;
            }
            return done();
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Handles what is waiting now (posted by the test itself).
inline void PumpWaiting(HWND window) {
    PumpWaitingMessages(window);
}

class NoDeviceChanges final : public DeviceEvents {
public:
    bool Start(ChangesPending /*changesPending*/, std::string& /*error*/) override { return true; }
    void Stop() override {}
    std::vector<DeviceChange> ReadPending() override { return {}; }
};

// A top-level window of this process that is shown: a message box or a menu.
inline HWND FindShownWindow(const wchar_t* windowClass) {
    struct Search {
        const wchar_t* windowClass;
        DWORD process;
        HWND found;
    } search{windowClass, ::GetCurrentProcessId(), nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = L"";
            DWORD process = 0;
            ::GetWindowThreadProcessId(hwnd, &process);
            if (process == s->process && ::IsWindowVisible(hwnd) &&
                ::GetClassNameW(hwnd, name, 64) > 0 && std::wstring(name) == s->windowClass) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs `act` on a thread of its own once a shown window of `windowClass`
// appears (within kHangLimit), while the test's thread sits in the modal
// loop that shows it. Join() before looking at what `act` recorded.
class Watcher {
public:
    Watcher(const wchar_t* windowClass, std::function<void(HWND)> act)
        : thread_([windowClass, act = std::move(act), this] {
              const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
              while (std::chrono::steady_clock::now() < deadline) {
                  if (HWND found = FindShownWindow(windowClass)) {
                      found_ = true;
                      act(found);
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~Watcher() { Join(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool Found() const { return found_; }

private:
    std::atomic<bool> found_{false};
    std::thread thread_;
};

// What a message box showed.
struct SeenBox {
    std::string title;
    std::string text;
    bool ok = false;       // has an OK button
    bool yesNo = false;    // has Yes and No buttons
    int defaultId = 0;     // the default button's identifier
    HICON icon = nullptr;  // the icon it shows
};

inline std::string Text(HWND window) {
    wchar_t text[512] = L"";
    ::GetWindowTextW(window, text, 512);
    return win32::WideToUtf8(text);
}

// Reads a message box (dialog class "#32770").
inline SeenBox ReadBox(HWND box) {
    SeenBox seen;
    seen.title = Text(box);
    seen.ok = ::GetDlgItem(box, IDOK) != nullptr;
    seen.yesNo = ::GetDlgItem(box, IDYES) != nullptr && ::GetDlgItem(box, IDNO) != nullptr;
    // The default button is drawn as such and answers Enter.
    for (int id : {IDOK, IDYES, IDNO}) {
        HWND button = ::GetDlgItem(box, id);
        if (button != nullptr &&
            (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            seen.defaultId = id;
        }
    }
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = L"";
        ::GetClassNameW(child, name, 32);
        if (std::wstring(name) != L"Static") {
            continue;
        }
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            seen.icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        } else if (seen.text.empty()) {
            seen.text = Text(child);
        }
    }
    return seen;
}

// Where the taskbar is, as the desktop tells it: the strip of the screen
// that the work area leaves out, or, when the work area is the whole screen
// (Wine's desktop has no taskbar, its shell answers with a bar one pixel
// high at the bottom), the shell's answer.
inline RECT DesktopTaskbar() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int cx = ::GetSystemMetrics(SM_CXSCREEN);
    const int cy = ::GetSystemMetrics(SM_CYSCREEN);
    if (work.bottom < cy) {
        return RECT{0, work.bottom, cx, cy};
    }
    if (work.top > 0) {
        return RECT{0, 0, cx, work.top};
    }
    if (work.right < cx) {
        return RECT{work.right, 0, cx, cy};
    }
    if (work.left > 0) {
        return RECT{0, 0, work.left, cy};
    }
    APPBARDATA data{};
    data.cbSize = sizeof data;
    ::SHAppBarMessage(ABM_GETTASKBARPOS, &data);
    return data.rc;
}

// The program with everything but the receiver and the keystroke output real.
class Program {
public:
    // `ini` is the configuration file's content (UTF-8), empty for none.
    explicit Program(const std::string& ini = "") {
        iniPath = folder.File("Quorvane.ini");
        if (!ini.empty()) {
            WriteBytes(iniPath, ini);
        }
        store.SetIniPath(iniPath);
        form = std::make_unique<Win32MainWindow>(bigIcon.Get(), smallIcon.Get());
        tray = std::make_unique<Win32TrayIcon>(form->Hwnd(), smallIcon.Get());
        geometry = std::make_unique<Win32ScreenGeometry>(form->Hwnd());
        gui = std::make_unique<Win32GuiThread>();
        core = std::make_unique<Application>(AppPorts{*form, *gui, store, hid, devices, injector,
                                                      windows, *tray, *geometry, clock, &jobs});
        form->Bind(core.get());
    }
    ~Program() {
        if (core) {
            core->Unload();
        }
        form->Bind(nullptr);
        core.reset();
        // A WM_QUIT that the exit posted stays with this test.
        MSG msg{};
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Start-up as the program runs it, with the receiver's share run at once.
    void Load() {
        core->Load();
        jobs.RunAll();
        PumpWaiting(Hwnd());
    }
    HWND Hwnd() const { return form->Hwnd(); }
    HWND Control(int id) const { return form->Control(id); }
    bool Pump(const std::function<bool()>& done, bool* quit = nullptr) {
        return PumpUntil(Hwnd(), done, quit);
    }
    // Runs what is waiting, then stops (for messages the test posted itself:
    // they are all there when this is called).
    void PumpPosted() { PumpWaiting(Hwnd()); }
    std::string IniBytes() const { return Exists(iniPath) ? ReadBytes(iniPath) : std::string(); }

    TempFolder folder;
    std::string iniPath;
    IniStore store{std::make_unique<Win32TextCodec>(), std::make_unique<Win32ConfigFiles>()};
    IconHandle bigIcon = MakeAppIcon(32);
    IconHandle smallIcon = MakeAppIcon(16);
    FakeHidPort hid;
    NoDeviceChanges devices;
    RecordingInjector injector;
    FakeWindows windows;
    FakeClock clock;
    ManualJobs jobs;
    std::unique_ptr<Win32MainWindow> form;
    std::unique_ptr<Win32TrayIcon> tray;
    std::unique_ptr<Win32ScreenGeometry> geometry;
    std::unique_ptr<Win32GuiThread> gui;
    std::unique_ptr<Application> core;
};

}  // namespace qv::test
