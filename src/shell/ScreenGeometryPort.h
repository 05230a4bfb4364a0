#pragma once
// Port for the measurements that place the program's window beside the
// taskbar: the window's outer rectangle, the taskbar's, the primary screen
// and its work area. All in pixels, screen coordinates, origin at the primary
// screen's top-left corner. Qt's QScreen on Linux, user32 and the shell's
// app-bar query on Windows.

#include <cstdint>

namespace qv {

// A rectangle; right and bottom lie just outside it.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

class ScreenGeometryPort {
public:
    virtual ~ScreenGeometryPort() = default;
    // The program's window, frame included.
    virtual Rect WindowRect() = 0;
    // The taskbar; all zero when no taskbar is known.
    virtual Rect TaskbarRect() = 0;
    // Width and height of the primary screen.
    virtual std::int32_t ScreenWidth() = 0;
    virtual std::int32_t ScreenHeight() = 0;
    // The primary screen less the panels.
    virtual Rect WorkArea() = 0;
};

}  // namespace qv
