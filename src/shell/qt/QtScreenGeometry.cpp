#include "shell/qt/QtScreenGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include "shell/qt/QtTrayHost.h"

namespace qv {

namespace {

Rect ToRect(const QRect& r) {
    // QRect's right() and bottom() are inclusive; ours are exclusive.
    return Rect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

QScreen* Primary() {
    return QGuiApplication::primaryScreen();
}

}  // namespace

void QtScreenGeometry::SetWindow(WindowHandle hWnd, QWidget* widget) {
    mWindows[hWnd] = widget;
}

Rect QtScreenGeometry::WindowRect(WindowHandle hWnd) {
    auto it = mWindows.find(hWnd);
    if (it == mWindows.end() || !it->second) {
        return Rect{};
    }
    // The frame is known only once the window manager has framed the window;
    // before that this is the client area.
    return ToRect(it->second->frameGeometry());
}

Rect QtScreenGeometry::TaskbarRect() {
    QScreen* screen = Primary();
    if (!screen) {
        return Rect{};
    }
    std::optional<Rect> icon;
    if (mTray) {
        if (auto r = mTray->IconGeometry()) {
            icon = ToRect(*r);
        }
    }
    return TaskbarRectFromWorkArea(ToRect(screen->geometry()), ToRect(screen->availableGeometry()),
                                   icon);
}

std::int32_t QtScreenGeometry::ScreenWidth() {
    QScreen* screen = Primary();
    return screen ? screen->geometry().width() : 0;
}

std::int32_t QtScreenGeometry::ScreenHeight() {
    QScreen* screen = Primary();
    return screen ? screen->geometry().height() : 0;
}

Rect QtScreenGeometry::WorkArea() {
    QScreen* screen = Primary();
    return screen ? ToRect(screen->availableGeometry()) : Rect{};
}

float ScreenTwipsPerPixel(const QWidget* widget) {
    QScreen* screen = widget && widget->screen() ? widget->screen() : Primary();
    return TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

}  // namespace qv
