// A small Qt program for the tray system test: Tray over the Qt tray icon,
// and the placement over the Qt screen geometry, without the application's
// window. It reports what happens on standard output, one line per event:
//   ICON_ADDED, ICON_WINDOW <id>, PLACEMENT ..., MOUSEDOWN <b>,
//   MENU_OPEN ..., MENU_CLOSED <index>, SHOW tip=<tip> ok=<0|1>, HIDE,
//   HOST_RESTARTED, WATCH on|off, CONFIG <checked>, EXIT
// Any button on the icon opens the menu "設定" / "終了" ("終了" the default);
// "終了" ends the tray from inside its own event and quits, as the
// application does.

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>

#include "shell/Tray.h"
#include "shell/WindowPlacement.h"
#include "shell/qt/QtScreenGeometry.h"
#include "shell/qt/QtTrayIcon.h"

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Logs what Tray asks of the icon and forwards it to the real backend.
class LoggingTrayIcon : public qv::TrayIcon {
public:
    explicit LoggingTrayIcon(qv::QtTrayIcon& real) : real_(real) {}
    void SetSink(qv::TrayIconSink* sink) override { real_.SetSink(sink); }
    bool Show(std::string_view toolTip) override {
        const bool ok = real_.Show(toolTip);
        Say("SHOW tip=" + std::string(toolTip) + " ok=" + (ok ? "1" : "0"));
        return ok;
    }
    void Hide() override {
        real_.Hide();
        Say("HIDE");
    }
    int PopupMenu(const qv::TrayMenu& menu) override { return real_.PopupMenu(menu); }

private:
    qv::QtTrayIcon& real_;
};

QIcon ProbeIcon() {
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkGreen);
    QPainter(&pixmap).fillRect(6, 6, 10, 10, Qt::yellow);
    return QIcon(pixmap);
}

class Probe : public qv::TrayEvents {
public:
    Probe() : icon_(ProbeIcon()), logging_(icon_) {
        window_.resize(300, 200);
        window_.setWindowTitle("Quorvane");
        geometry_.SetWindow(&window_);
        geometry_.SetTrayIcon(&icon_);

        Say(icon_.WatchingTrayHost() ? "WATCH on" : "WATCH off");
        QObject::connect(&icon_, &qv::QtTrayIcon::TrayHostRestarted, [] { Say("HOST_RESTARTED"); });
        tray_ = std::make_unique<qv::Tray>(logging_, *this);
        tray_->SetToolTipText("Remote Receiver");
        tray_->AddIcon();
        Say("ICON_ADDED");
        QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
        poll_.start(20);
    }

    void MouseDown(std::int16_t button) override {
        Say("MOUSEDOWN " + std::to_string(button));
        qv::TrayMenu menu;
        menu.items.push_back({"設定", true, configChecked_, [this] { Config(); }});
        menu.items.push_back({"終了", false, false, [this] { Exit(); }});
        menu.defaultIndex = 1;
        menuReported_ = false;
        const int chosen = tray_->PopupMenu(menu);
        Say("MENU_CLOSED " + std::to_string(chosen));
    }

private:
    void Config() {
        configChecked_ = !configChecked_;
        Say(std::string("CONFIG ") + (configChecked_ ? "1" : "0"));
    }

    void Exit() {
        Say("EXIT");
        tray_.reset();  // deletes the icon, inside the tray's own event
        QApplication::quit();
    }

    void Poll() {
        ReportIconWindow();
        ReportPlacementOnce();
        ReportMenu();
    }

    void ReportIconWindow() {
        for (QWidget* w : QApplication::allWidgets()) {
            if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") == 0 &&
                w->isVisible()) {
                const WId id = w->winId();
                if (id != iconWindow_) {
                    iconWindow_ = id;
                    Say("ICON_WINDOW " + std::to_string(id));
                }
            }
        }
    }

    void ReportPlacementOnce() {
        if (placementReported_ || iconWindow_ == 0) {
            return;
        }
        placementReported_ = true;
        qv::WindowPlacement placement(geometry_);
        const qv::TaskbarExtent taskbar = placement.Taskbar();
        const qv::Point place = placement.BesideTray();
        const qv::Rect bar = geometry_.TaskbarRect();
        const qv::Rect work = geometry_.WorkArea();
        Say("PLACEMENT screen=" + std::to_string(geometry_.ScreenWidth()) + "x" +
            std::to_string(geometry_.ScreenHeight()) + " work=" + std::to_string(work.left) + "," +
            std::to_string(work.top) + "," + std::to_string(work.right) + "," +
            std::to_string(work.bottom) + " bar=" + std::to_string(bar.left) + "," +
            std::to_string(bar.top) + "," + std::to_string(bar.right) + "," +
            std::to_string(bar.bottom) + " edge=" + std::to_string(static_cast<int>(taskbar.edge)) +
            " tbw=" + std::to_string(taskbar.width) + " tbh=" + std::to_string(taskbar.height) +
            " x=" + std::to_string(place.x) + " y=" + std::to_string(place.y));
    }

    // Reports an open menu once it has been painted, so that a screenshot
    // taken after the report shows it.
    void ReportMenu() {
        QMenu* menu = icon_.OpenMenu();
        if (!menu || !menu->isVisible() || menuReported_) {
            return;
        }
        menuReported_ = true;
        // Report after a repaint: posted events (the update request) are
        // handled before the zero timer fires.
        menu->update();
        QTimer::singleShot(0, menu, [menu] {
            if (menu->isVisible()) {
                SayMenu(*menu);
            }
        });
    }

    static void SayMenu(QMenu& menu) {
        std::string line = "MENU_OPEN items=";
        std::string centres;
        for (QAction* a : menu.actions()) {
            line += a->text().toStdString() + (a->isCheckable() ? "[checkable]" : "") + "|";
            const QPoint c = menu.mapToGlobal(menu.actionGeometry(a).center());
            centres += " at_" + a->text().toStdString() + "=" + std::to_string(c.x()) + "," +
                       std::to_string(c.y());
        }
        QAction* def = menu.defaultAction();
        line += " default=" + (def ? def->text().toStdString() : std::string("none"));
        Say(line + centres);
    }

    qv::QtTrayIcon icon_;
    LoggingTrayIcon logging_;
    qv::QtScreenGeometry geometry_;
    QWidget window_;
    std::unique_ptr<qv::Tray> tray_;
    QTimer poll_;
    WId iconWindow_ = 0;
    bool placementReported_ = false;
    bool menuReported_ = false;
    bool configChecked_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Probe probe;
    return QApplication::exec();
}
