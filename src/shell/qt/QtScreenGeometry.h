#pragma once
// Screen measurements for WindowPlacement from Qt: the primary screen, its work
// area (the screen less the panels, from _NET_WORKAREA on X11), the panel's
// rectangle derived from the two, and the program's window frame.

#include <QPointer>
#include <QWidget>

#include "shell/ScreenGeometryPort.h"

namespace qv {

class QtTrayIcon;

class QtScreenGeometry final : public ScreenGeometryPort {
public:
    QtScreenGeometry() = default;

    // The program's window (not owned; forgotten when it is deleted).
    void SetWindow(QWidget* window) { window_ = window; }
    // Uses the tray icon's position to choose between several panels (not
    // owned; it must outlive this object or be set back to nullptr).
    void SetTrayIcon(const QtTrayIcon* icon) { tray_ = icon; }

    // The window's frame; before the window manager framed the window (it
    // was never shown) the client area. All zero without a window.
    Rect WindowRect() override;
    Rect TaskbarRect() override;
    std::int32_t ScreenWidth() override;
    std::int32_t ScreenHeight() override;
    Rect WorkArea() override;

private:
    QPointer<QWidget> window_;
    const QtTrayIcon* tray_ = nullptr;
};

}  // namespace qv
