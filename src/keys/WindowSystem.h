#pragma once
// Port for the window operations that target-window activation uses, in the
// program's own words. Each platform's mechanics (EWMH on X11; thread attach,
// the foreground-lock timeout and the topmost band on Windows; compositor IPC
// on Wayland) live inside its backend.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// A top-level window of the desktop; id 0 is "no window".
struct Window {
    std::uint64_t id = 0;
    explicit operator bool() const { return id != 0; }
    friend bool operator==(const Window&, const Window&) = default;
};

// One top-level window as a user picks it from a list.
struct ListedWindow {
    Window window;
    std::string title;      // UTF-8
    std::string className;  // the name FindByClass finds it by: X class, app_id, Win32 class
};

// A window's show state; the numbers are those of Windows' show commands.
enum class ShowState : int { Unknown = 0, Normal = 1, Minimized = 2, Maximized = 3 };

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // The top-most top-level window whose class is `className` (ASCII case
    // ignored); no window when there is none.
    virtual Window FindByClass(std::string_view className) = 0;
    // The window in the foreground (the active window); no window for none.
    virtual Window Foreground() = 0;
    // The window's show state; Unknown when it cannot be read (no such window).
    virtual ShowState GetShowState(Window window) = 0;
    // Restores (Normal), minimises or maximises the window and waits (bounded)
    // until the change took effect; Unknown does nothing.
    virtual void SetShowState(Window window, ShowState state) = 0;
    // Brings the window to the foreground with the keyboard focus, and waits
    // (bounded, about half a second) until it really is active; true then.
    virtual bool Activate(Window window) = 0;
    // The open top-level windows a user can switch to, front-most first where
    // the platform knows the order; empty when this backend cannot list them.
    virtual std::vector<ListedWindow> ListWindows() { return {}; }
};

}  // namespace qv
