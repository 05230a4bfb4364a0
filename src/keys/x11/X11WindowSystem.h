#pragma once
// The window system on X11 with EWMH: windows are found by WM_CLASS, the
// foreground is _NET_ACTIVE_WINDOW, show states are WM_STATE and
// _NET_WM_STATE, activation is a _NET_ACTIVE_WINDOW request followed by a
// bounded wait until the window manager has carried it out. Without a window
// manager it falls back to the window tree, mapping and the input focus.
//
// Each object holds its own connection to the X server: create it on the
// thread that uses it (the receive loop's worker, not the GUI thread) and use
// it from that thread only. Window ids are X window ids; the root window
// stands for the desktop, which has the foreground when nothing is active.

#include <memory>
#include <string_view>
#include <vector>

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

    Window FindByClass(std::string_view className) override;
    Window Foreground() override;
    ShowState GetShowState(Window window) override;
    // Maps, iconifies or (un)maximises; waits (bounded) for the window manager.
    void SetShowState(Window window, ShowState state) override;
    // Asks the window manager to activate the window and waits (bounded, about
    // 500 ms) until it is active and holds the focus, since activation on X11
    // is asynchronous; without a window manager maps, raises and focuses it.
    // The root window gives the focus back to the pointer.
    bool Activate(Window window) override;
    // The managed windows (without a window manager the viewable top-level
    // ones), top of the stack first, with _NET_WM_NAME (or WM_NAME) as the
    // title and the WM_CLASS class as the name; windows without WM_CLASS are
    // left out. Where windows share a class, each whose instance tells it
    // apart is listed by its instance.
    std::vector<ListedWindow> ListWindows() override;

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
