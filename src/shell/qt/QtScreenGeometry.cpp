#include "shell/qt/QtScreenGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <optional>

#include "shell/WindowPlacement.h"
#include "shell/qt/QtTrayIcon.h"

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

Rect QtScreenGeometry::WindowRect() {
    if (!window_) {
        return Rect{};
    }
    return ToRect(window_->frameGeometry());
}

Rect QtScreenGeometry::TaskbarRect() {
    QScreen* screen = Primary();
    if (!screen) {
        return Rect{};
    }
    std::optional<Rect> icon;
    if (tray_) {
        if (auto r = tray_->IconGeometry()) {
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

}  // namespace qv
