#pragma once
// Window operations on Windows: top-level windows found by class, the foreground
// window, show states through the window placement, and activation with the
// steps Windows needs before it lets a background program change the foreground.
//
// A show state is set by ShowWindow, which waits for the window's own thread, so
// a window that is not responding is left alone; moves into and out of the
// topmost band are posted to it.

#include <chrono>
#include <string_view>
#include <vector>

#include "common/win32/Windows.h"
#include "keys/WindowSystem.h"

namespace qv {

class Win32WindowSystem final : public WindowSystem {
public:
    // `wait` bounds each wait for a show state or the foreground to take effect.
    explicit Win32WindowSystem(std::chrono::milliseconds wait = std::chrono::milliseconds(500))
        : wait_(wait) {}

    // FindWindowW; class names compare without regard to case, as Windows' do.
    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    void SetShowState(Window window, ShowState state) override;
    // Brings the window to the foreground (see the steps in the source) and waits
    // until GetForegroundWindow reports it; true once it does.
    bool Activate(Window window) override;
    // EnumWindows, top of the Z order first: the visible top-level windows no
    // other window owns, with their titles and class names.
    std::vector<ListedWindow> ListWindows() override;

    static HWND ToHwnd(Window window) { return reinterpret_cast<HWND>(window.id); }
    static Window FromHwnd(HWND hwnd) {
        return Window{static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(hwnd))};
    }

private:
    std::chrono::milliseconds wait_;
};

}  // namespace qv
