#pragma once
// The window system on X11 with EWMH: windows are found by WM_CLASS, the
// foreground is _NET_ACTIVE_WINDOW, show states and topmost are _NET_WM_STATE.
// Without a window manager it falls back to the window tree and input focus.

#include <memory>
#include <string_view>

#include "keys/WindowSystem.h"

namespace qv {

class XDisplayHandle;

class X11WindowSystem : public WindowSystem {
public:
    // Connects to the display (nullptr: $DISPLAY); nullptr when there is no X server.
    static std::unique_ptr<X11WindowSystem> Open(const char* display = nullptr);
    ~X11WindowSystem() override;
    X11WindowSystem(const X11WindowSystem&) = delete;
    X11WindowSystem& operator=(const X11WindowSystem&) = delete;

    HWND FindWindowA(std::string_view className) override;
    HWND GetForegroundWindow() override;
    int GetWindowPlacement(HWND hwnd) override;
    std::uint32_t GetWindowThreadProcessId(HWND hwnd) override;
    // X11 has no thread input queues: does nothing.
    void AttachThreadInput(std::uint32_t attach, std::uint32_t attachTo, bool doAttach) override;
    // X11 has no foreground lock: always 0.
    std::uint32_t GetForegroundLockTimeout() override;
    // X11 has no foreground lock: does nothing.
    void SetForegroundLockTimeout(std::uint32_t value) override;
    // Maps, iconifies, (un)maximizes or withdraws; waits (bounded) for the window manager.
    void ShowWindow(HWND hwnd, int cmd) override;
    void SetWindowPos(HWND hwnd, bool topmost) override;
    // Asks the window manager to activate the window and waits (bounded, about
    // 500 ms) until it is active and focused, since activation on X11 is
    // asynchronous; without a window manager maps, raises and focuses it.
    void SetForegroundWindow(HWND hwnd) override;
    void Sleep(std::uint32_t ms) override;

    // True when an EWMH window manager runs on the screen.
    bool HasWindowManager();

    // The atoms this backend uses, interned once per connection.
    struct Atoms;

private:
    explicit X11WindowSystem(std::unique_ptr<XDisplayHandle> display);
    std::unique_ptr<XDisplayHandle> display_;
    std::unique_ptr<Atoms> atoms_;
};

}  // namespace qv
