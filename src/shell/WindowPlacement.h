#pragma once
// Where the main window goes when it is opened from the tray: into the screen
// corner at the notification area, touching the taskbar, whichever edge the
// taskbar is docked at. Computed in pixels, the unit every toolkit here
// positions windows in.

#include <cstdint>
#include <optional>

#include "shell/ScreenGeometryPort.h"

namespace qv {

// The screen edge the taskbar is docked at (the numbers are the ones the
// placement reports print).
enum class TaskbarEdge : std::int32_t { Left = 0, Top = 1, Right = 2, Bottom = 3 };

// A width and a height in pixels.
struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A point in screen pixels.
struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The taskbar's edge and its extent on the screen.
struct TaskbarExtent {
    TaskbarEdge edge = TaskbarEdge::Bottom;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class WindowPlacement {
public:
    // `geometry` must outlive this object.
    explicit WindowPlacement(ScreenGeometryPort& geometry) : geometry_(geometry) {}

    // The outer size of the program's window.
    Size OuterSize();
    // The taskbar's edge and its extent on the screen.
    TaskbarExtent Taskbar();
    // The top-left position for the window beside the notification area. With
    // no taskbar known: the bottom-right corner of the work area.
    Point BesideTray();

private:
    ScreenGeometryPort& geometry_;
};

// The taskbar rectangle implied by a screen and its work area: the strip of
// the screen on the edge the work area leaves out. When several edges are
// left out, the strip holding (or nearest to) the tray icon wins, else the
// thickest. All zero when the work area covers the screen.
Rect TaskbarRectFromWorkArea(const Rect& screen, const Rect& workArea,
                             std::optional<Rect> trayIcon = std::nullopt);

}  // namespace qv
