#include "shell/qt/QtTrayIcon.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <vector>

#include "shell/qt/TrayManagerWatch.h"

namespace qv {

QtTrayIcon::QtTrayIcon(const QIcon& image, QObject* parent) : QObject(parent) {
    icon_.setIcon(image);
    connect(&icon_, &QSystemTrayIcon::activated, this, &QtTrayIcon::OnActivated);
    // Qt embeds a shown icon into a new X11 tray host by itself; the watch
    // tells the program as well, which then shows its icon again as it was.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto watch = std::make_unique<TrayManagerWatch>();
        if (watch->Start()) {
            connect(watch.get(), &TrayManagerWatch::ManagerAppeared, this,
                    &QtTrayIcon::NotifyTrayHostRestarted);
            watch_ = std::move(watch);
        }
    }
}

QtTrayIcon::~QtTrayIcon() {
    watch_.reset();
    icon_.hide();
}

bool QtTrayIcon::Show(std::string_view toolTip) {
    icon_.setToolTip(QString::fromUtf8(toolTip.data(), static_cast<qsizetype>(toolTip.size())));
    if (!icon_.isVisible()) {
        icon_.show();
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::Hide() {
    icon_.hide();
}

int QtTrayIcon::PopupMenu(const TrayMenu& menu) {
    // Windows needs the owner in the foreground so that the menu closes when
    // the user clicks elsewhere; a Qt pop-up grabs the pointer and closes on
    // an outside click by itself, so the (usually hidden) window stays as it is.
    QMenu popup;
    std::vector<QAction*> actions;
    actions.reserve(menu.items.size());
    for (const TrayMenuItem& item : menu.items) {
        QAction* action = popup.addAction(QString::fromUtf8(item.caption.c_str()));
        action->setCheckable(item.checkable);
        action->setChecked(item.checkable && item.checked);
        actions.push_back(action);
    }
    if (menu.defaultIndex >= 0 && static_cast<std::size_t>(menu.defaultIndex) < actions.size()) {
        popup.setDefaultAction(actions[static_cast<std::size_t>(menu.defaultIndex)]);
    }
    const QPointer<QtTrayIcon> self(this);
    openMenu_ = &popup;
    QAction* chosen = popup.exec(QCursor::pos());
    if (self) {
        openMenu_ = nullptr;
    }
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (actions[i] == chosen) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void QtTrayIcon::NotifyTrayHostRestarted() {
    if (sink_) {
        sink_->TrayHostRestarted();
    }
    emit TrayHostRestarted();
}

void QtTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    TrayMouse first;
    TrayButton button = TrayButton::Left;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            first.kind = TrayMouse::Kind::Down;
            break;
        case QSystemTrayIcon::DoubleClick:
            // Qt has reported the first click of the pair as a Trigger already.
            first.kind = TrayMouse::Kind::DoubleClick;
            break;
        case QSystemTrayIcon::Context:
            first.kind = TrayMouse::Kind::Down;
            button = TrayButton::Right;
            break;
        case QSystemTrayIcon::MiddleClick:
            first.kind = TrayMouse::Kind::Down;
            button = TrayButton::Middle;
            break;
        default:
            return;
    }
    first.button = button;
    const QPointer<QtTrayIcon> self(this);
    if (sink_) {
        sink_->TrayMouseEvent(first);
    }
    // The press may have opened a menu whose command ended the sink, or this icon.
    if (self && sink_) {
        sink_->TrayMouseEvent(TrayMouse{TrayMouse::Kind::Up, button});
    }
}

std::optional<QRect> QtTrayIcon::IconGeometry() const {
    if (!icon_.isVisible()) {
        return std::nullopt;
    }
    const QRect r = icon_.geometry();
    if (!r.isValid() || r.isEmpty()) {
        return std::nullopt;
    }
    return r;
}

}  // namespace qv
