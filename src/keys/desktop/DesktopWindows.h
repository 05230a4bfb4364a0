#pragma once
// What the KDE and GNOME window systems know of a desktop's windows, as the
// compositor or the shell describes them, and the choices made over that
// list: which window a class name finds, what a window's show state is, and
// what a user sees in a list of windows.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "keys/WindowSystem.h"

namespace qv::desktop {

struct DesktopWindow {
    std::uint64_t id = 0;
    std::string title;
    // The names a window is found by: KWin's app_id and resource_name;
    // mutter's WM_CLASS class, instance and GTK application id. For X
    // windows KWin gives the class lower-cased, so names compare without
    // regard to ASCII case.
    std::string appId;
    std::string instance;
    std::string applicationId;
    bool active = false;
    bool minimized = false;
    bool maximized = false;
    bool fullscreen = false;
};

// Whether one of the window's names is `className` (ASCII case ignored); an
// empty name finds nothing.
bool HasName(const DesktopWindow& window, std::string_view className);

// The front-most window of `frontFirst` (front-most first) that has the
// name; no window when none has.
Window PickByClass(const std::vector<DesktopWindow>& frontFirst, std::string_view className);

// The active window of the list; no window when none is active.
Window ActiveWindow(const std::vector<DesktopWindow>& windows);

ShowState StateOf(const DesktopWindow& window);

// The windows as a user picks them, in the list's order: its app_id or
// class as the name it is found by (the instance where it has neither).
std::vector<ListedWindow> ListFrom(const std::vector<DesktopWindow>& frontFirst);

// The list in front-to-back order, given the ids from the bottom of the
// stack to its top; windows the order does not name follow, newest first
// (the order `windows` holds them in is taken as oldest first).
std::vector<DesktopWindow> FrontFirst(std::vector<DesktopWindow> windows,
                                      const std::vector<std::uint64_t>& bottomToTop);

}  // namespace qv::desktop
