#include "common/win32/Windows.h"

#include "shell/win32/Win32ScreenGeometry.h"

#include <shellapi.h>

#include <optional>

#include "shell/WindowPlacement.h"

namespace qv {
namespace {

Rect ToRect(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

}  // namespace

Rect Win32ScreenGeometry::WindowRect() {
    RECT r{};
    if (window_ == nullptr || !::GetWindowRect(window_, &r)) {
        return Rect{};
    }
    return ToRect(r);
}

Rect Win32ScreenGeometry::ShellTaskbarRect() {
    APPBARDATA data{};
    data.cbSize = sizeof data;
    if (!::SHAppBarMessage(ABM_GETTASKBARPOS, &data)) {
        return Rect{};
    }
    return ToRect(data.rc);
}

Rect Win32ScreenGeometry::TaskbarRect() {
    const Rect shell = ShellTaskbarRect();
    const Rect strip = TaskbarRectFromWorkArea(
        Rect{0, 0, ScreenWidth(), ScreenHeight()}, WorkArea(),
        shell.Width() > 0 && shell.Height() > 0 ? std::optional(shell) : std::nullopt);
    if (shell.Width() <= 0 || shell.Height() <= 0) {
        return strip;
    }
    // The work area leaves out what is docked at the taskbar's edge. A strip
    // there thicker than the bar the shell reports (Wine reports a bar one
    // pixel high) is what the window must stay clear of.
    const std::int32_t cx = shell.left + shell.Width() / 2;
    const std::int32_t cy = shell.top + shell.Height() / 2;
    const bool sameEdge =
        cx >= strip.left && cx < strip.right && cy >= strip.top && cy < strip.bottom;
    const bool horizontal = shell.Width() >= shell.Height();
    const bool thicker =
        horizontal ? strip.Height() > shell.Height() : strip.Width() > shell.Width();
    return sameEdge && thicker ? strip : shell;
}

std::int32_t Win32ScreenGeometry::ScreenWidth() {
    return ::GetSystemMetrics(SM_CXSCREEN);
}

std::int32_t Win32ScreenGeometry::ScreenHeight() {
    return ::GetSystemMetrics(SM_CYSCREEN);
}

Rect Win32ScreenGeometry::WorkArea() {
    RECT r{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) {
        return Rect{};
    }
    return ToRect(r);
}

}  // namespace qv
