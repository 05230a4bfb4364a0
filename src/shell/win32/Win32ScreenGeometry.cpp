#include "common/win32/Windows.h"

#include "shell/win32/Win32ScreenGeometry.h"

#include <shellapi.h>

#include "shell/clsWindowSize.h"

namespace qv {
namespace {

Rect ToRect(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

}  // namespace

Rect Win32ScreenGeometry::WindowRect() {
    RECT r{};
    if (mWindow == nullptr || !::GetWindowRect(mWindow, &r)) {
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
    if (shell.Width() > 0 && shell.Height() > 0) {
        return shell;
    }
    return TaskbarRectFromWorkArea(Rect{0, 0, ScreenWidth(), ScreenHeight()}, WorkArea());
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
