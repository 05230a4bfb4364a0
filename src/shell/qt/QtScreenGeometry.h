#pragma once
// Screen measurements for clsWindowSize from Qt: the primary screen, its work
// area (the screen less the panels, from _NET_WORKAREA on X11), the panel's
// rectangle derived from the two, and a registered window's frame.

#include <QPointer>
#include <QWidget>
#include <map>

#include "shell/clsWindowSize.h"

namespace qv {

class QtTrayHost;

class QtScreenGeometry final : public ScreenGeometryPort {
public:
    QtScreenGeometry() = default;

    // Makes `widget` known under `hWnd` (not owned).
    void SetWindow(WindowHandle hWnd, QWidget* widget);
    // Uses the tray icon's position to choose between several panels (not owned).
    void SetTrayHost(const QtTrayHost* host) { mTray = host; }

    Rect WindowRect(WindowHandle hWnd) override;
    Rect TaskbarRect() override;
    std::int32_t ScreenWidth() override;
    std::int32_t ScreenHeight() override;
    Rect WorkArea() override;

private:
    std::map<WindowHandle, QPointer<QWidget>> mWindows;
    const QtTrayHost* mTray = nullptr;
};

// Twips per pixel of the screen `widget` is on (the primary screen for nullptr).
float ScreenTwipsPerPixel(const QWidget* widget);

}  // namespace qv
