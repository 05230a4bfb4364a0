#pragma once
// Where the main window goes when it is opened from the tray: into the screen
// corner at the notification area, touching the taskbar, whichever edge the
// taskbar is docked at. Computed in pixels; the caller converts to its units.

#include <cstdint>
#include <optional>

#include "shell/ShellTypes.h"

namespace qv {

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Taskbar edges.
inline constexpr std::int32_t kEdgeLeft = 0;
inline constexpr std::int32_t kEdgeTop = 1;
inline constexpr std::int32_t kEdgeRight = 2;
inline constexpr std::int32_t kEdgeBottom = 3;

// Geometry the placement reads from the platform.
class ScreenGeometryPort {
public:
    virtual ~ScreenGeometryPort() = default;
    // The window's outer rectangle, frame included, in screen pixels.
    virtual Rect WindowRect(WindowHandle hWnd) = 0;
    // The taskbar's rectangle; all zero when no taskbar is known.
    virtual Rect TaskbarRect() = 0;
    // Width and height of the primary screen in pixels.
    virtual std::int32_t ScreenWidth() = 0;
    virtual std::int32_t ScreenHeight() = 0;
    // The primary screen's work area (the screen less panels).
    virtual Rect WorkArea() = 0;
};

class clsWindowSize {
public:
    explicit clsWindowSize(ScreenGeometryPort& geometry) : mGeometry(geometry) {}

    // The outer size of the window.
    void TrueWindowSize(WindowHandle hWnd, std::int32_t& Width, std::int32_t& Height);
    // The taskbar's edge and its extent on the screen.
    void TrueTaskbarSize(std::int32_t& Edge, std::int32_t& Width, std::int32_t& Height);
    // The top-left position for the window beside the notification area. With
    // no taskbar known: the bottom-right corner of the work area.
    void TrueTasktraySide(WindowHandle hWnd, std::int32_t& X, std::int32_t& Y);

private:
    ScreenGeometryPort& mGeometry;
};

// The taskbar rectangle implied by a screen and its work area: the strip of
// the screen on the edge the work area leaves out. When several edges are
// left out, the strip holding (or nearest to) the tray icon wins, else the
// thickest. All zero when the work area covers the screen.
Rect TaskbarRectFromWorkArea(const Rect& screen, const Rect& workArea,
                             std::optional<Rect> trayIcon = std::nullopt);

// Twips per pixel at a logical DPI (1440 twips to the inch).
float TwipsPerPixel(double logicalDpi);
// A pixel coordinate in twips (single-precision product, as the window's
// position is set).
float PixelsToTwips(std::int32_t pixels, float twipsPerPixel);

}  // namespace qv
