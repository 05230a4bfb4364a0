#pragma once
// Per-monitor DPI for the window: its DPI, its outer size for a client size,
// and the system's message font at that DPI. The calls that take a DPI came
// with Windows 10 (1607); they are looked up when first used, and on an
// older system the system-wide DPI stands in.

#include "common/win32/Windows.h"

namespace qv {

inline constexpr UINT kDefaultDpi = 96;

// `value` given at 96 DPI, at `dpi`.
inline int ScaleForDpi(int value, UINT dpi) {
    return ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(kDefaultDpi));
}

// The DPI of the monitor the window is on.
UINT WindowDpi(HWND window);
// The outer size of a window with this style whose client area is
// `clientWidth` x `clientHeight` at `dpi`.
SIZE OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);
// The user's message-box font (the system's UI font) at `dpi`.
LOGFONTW MessageFont(UINT dpi);
// True when the process runs aware of each monitor's DPI (the manifest asks for it).
bool PerMonitorDpiAware();

}  // namespace qv
