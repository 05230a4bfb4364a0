#pragma once
// The measurements that place the program's window beside the taskbar, from
// Windows: the window's rectangle (GetWindowRect, frame included), the
// taskbar's (SHAppBarMessage ABM_GETTASKBARPOS), the primary screen
// (GetSystemMetrics) and its work area (SPI_GETWORKAREA). The program is
// aware of each monitor's DPI, so all of them are physical pixels.

#include "common/win32/Windows.h"
#include "shell/ScreenGeometryPort.h"

namespace qv {

class Win32ScreenGeometry final : public ScreenGeometryPort {
public:
    explicit Win32ScreenGeometry(HWND window = nullptr) : window_(window) {}
    void SetWindow(HWND window) { window_ = window; }

    Rect WindowRect() override;
    // The shell's taskbar; when the shell reports none (Wine's desktop with a
    // taskbar does not), or a bar thinner than the strip of the screen that
    // the work area leaves out at that edge, that strip; all zero when there
    // is neither.
    Rect TaskbarRect() override;
    std::int32_t ScreenWidth() override;
    std::int32_t ScreenHeight() override;
    Rect WorkArea() override;

    // The shell's answer alone; all zero when it has none.
    static Rect ShellTaskbarRect();

private:
    HWND window_;
};

}  // namespace qv
