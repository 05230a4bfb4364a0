#pragma once
// Where the main window goes when it is opened from the tray: into the screen
// corner at the notification area, touching the taskbar, whichever edge the
// taskbar is docked at. Computed in pixels, the unit every toolkit here
// positions windows in.

#include <cstdint>
#include <optional>

#include "shell/ScreenGeometryPort.h"

namespace qv {

// Taskbar edges.
inline constexpr std::int32_t kEdgeLeft = 0;
inline constexpr std::int32_t kEdgeTop = 1;
inline constexpr std::int32_t kEdgeRight = 2;
inline constexpr std::int32_t kEdgeBottom = 3;

class clsWindowSize {
public:
    // `geometry` must outlive this object.
    explicit clsWindowSize(ScreenGeometryPort& geometry) : mGeometry(geometry) {}

    // The outer size of the program's window.
    void TrueWindowSize(std::int32_t& Width, std::int32_t& Height);
    // The taskbar's edge and its extent on the screen.
    void TrueTaskbarSize(std::int32_t& Edge, std::int32_t& Width, std::int32_t& Height);
    // The top-left position for the window beside the notification area. With
    // no taskbar known: the bottom-right corner of the work area.
    void TrueTasktraySide(std::int32_t& X, std::int32_t& Y);

private:
    ScreenGeometryPort& mGeometry;
};

// The taskbar rectangle implied by a screen and its work area: the strip of
// the screen on the edge the work area leaves out. When several edges are
// left out, the strip holding (or nearest to) the tray icon wins, else the
// thickest. All zero when the work area covers the screen.
Rect TaskbarRectFromWorkArea(const Rect& screen, const Rect& workArea,
                             std::optional<Rect> trayIcon = std::nullopt);

}  // namespace qv
