#include "common/win32/Windows.h"

#include "app/win32/Dpi.h"

namespace qv {
namespace {

template <typename Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

UINT SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn kGetDpiForWindow = User32Function<Fn>("GetDpiForWindow");
    if (kGetDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = kGetDpiForWindow(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    return SystemDpi();
}

SIZE OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
    using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const Fn kAdjustForDpi = User32Function<Fn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, clientWidth, clientHeight};
    if (kAdjustForDpi == nullptr || !kAdjustForDpi(&r, style, FALSE, exStyle, dpi)) {
        r = RECT{0, 0, clientWidth, clientHeight};
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return SIZE{r.right - r.left, r.bottom - r.top};
}

LOGFONTW MessageFont(UINT dpi) {
    using Fn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const Fn kParametersForDpi = User32Function<Fn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (kParametersForDpi != nullptr &&
        kParametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return metrics.lfMessageFont;
    }
    metrics = NONCLIENTMETRICSW{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // Given at the system's DPI: bring it to the window's.
        LOGFONTW font = metrics.lfMessageFont;
        font.lfHeight =
            ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
        return font;
    }
    LOGFONTW font{};
    font.lfHeight = -ScaleForDpi(12, dpi);
    font.lfCharSet = DEFAULT_CHARSET;
    return font;
}

bool PerMonitorDpiAware() {
    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using GetAwareness = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
    static const GetContext kGetContext =
        User32Function<GetContext>("GetThreadDpiAwarenessContext");
    static const GetAwareness kGetAwareness =
        User32Function<GetAwareness>("GetAwarenessFromDpiAwarenessContext");
    if (kGetContext == nullptr || kGetAwareness == nullptr) {
        return false;
    }
    return kGetAwareness(kGetContext()) == DPI_AWARENESS_PER_MONITOR_AWARE;
}

}  // namespace qv
