// A small Qt program for the tray system test: the router, clsTray and the
// Qt tray, menu and geometry backends, without the application's window.
// It reports what happens on standard output, one line per event:
//   ICON_ADDED, ICON_WINDOW <id>, PLACEMENT ..., MOUSEDOWN <b>,
//   MENU_OPEN ..., MENU_CLOSED <index>, NOTIFY <op>, TASKBAR_CREATED,
//   CONFIG <checked>, EXIT
// Any button on the icon opens the menu "設定" / "終了" ("終了" the default);
// "終了" ends the program through the router's release, as the application does.

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

#include "shell/WindowProcs.h"
#include "shell/clsTray.h"
#include "shell/clsWindowSize.h"
#include "shell/modSubClass.h"
#include "shell/qt/QtPopupMenuHost.h"
#include "shell/qt/QtScreenGeometry.h"
#include "shell/qt/QtTrayHost.h"

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Logs every shell call and forwards it to the real backend.
class LoggingShell : public qv::NotifyIconPort {
public:
    explicit LoggingShell(qv::NotifyIconPort& real) : mReal(real) {}
    bool ShellNotifyIcon(qv::NotifyIconOp op, const qv::NotifyIconData& data) override {
        static const char* const names[] = {"add", "modify", "delete"};
        const bool ok = mReal.ShellNotifyIcon(op, data);
        Say(std::string("NOTIFY ") + names[static_cast<int>(op)] + " tip=" + data.szTip +
            " ok=" + (ok ? "1" : "0"));
        return ok;
    }

private:
    qv::NotifyIconPort& mReal;
};

class DefaultProc : public qv::WindowProcedure {
public:
    qv::LResult Call(qv::WindowHandle, qv::MessageId, qv::WParam, qv::LParam) override { return 0; }
};

class Probe : public qv::clsTrayEvents {
public:
    Probe() : mHost(mProcs), mShell(mHost), mRouter(mProcs) {
        mHWnd = mProcs.CreateWindowHandle(mProcs.RegisterProcedure(mDefault));
        mWindow.resize(300, 200);
        mWindow.setWindowTitle("Quorvane");
        mGeometry.SetWindow(mHWnd, &mWindow);
        mGeometry.SetTrayHost(&mHost);

        QPixmap pixmap(22, 22);
        pixmap.fill(Qt::darkGreen);
        QPainter(&pixmap).fillRect(6, 6, 10, 10, Qt::yellow);

        mTray = qv::clsTray::Create(mRouter, mProcs, mShell, mMenus);
        mTray->SetEvents(this);
        mTray->SetIcon(mHost.AddIconImage(QIcon(pixmap)));
        mTray->SetToolTipText("Remote Receiver");
        Say(mHost.StartRestartWatch() ? "WATCH on" : "WATCH off");
        QObject::connect(&mHost, &qv::QtTrayHost::trayHostRestarted,
                         [] { Say("TASKBAR_CREATED"); });
        if (mTray->AddIcon(mHWnd)) {
            Say("ICON_ADDED");
        }
        QObject::connect(&mPoll, &QTimer::timeout, [this] { Poll(); });
        mPoll.start(20);
    }

    void MouseDown(std::int16_t button) override {
        Say("MOUSEDOWN " + std::to_string(button));
        qv::TrayMenu menu;
        menu.items.push_back({"設定", true, mConfigChecked, [this] { Config(); }});
        menu.items.push_back({"終了", false, false, [this] { Exit(); }});
        menu.defaultIndex = 1;
        mMenuReported = false;
        // Keep the tray alive for the menu's whole modal loop.
        std::shared_ptr<qv::clsTray> tray = mTray;
        const int chosen = tray->PopupMenu(mHWnd, menu);
        Say("MENU_CLOSED " + std::to_string(chosen));
    }

private:
    void Config() {
        mConfigChecked = !mConfigChecked;
        Say(std::string("CONFIG ") + (mConfigChecked ? "1" : "0"));
    }

    void Exit() {
        Say("EXIT");
        mTray->SetEvents(nullptr);
        mTray.reset();
        mRouter.ReleaseAll();
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
                if (id != mIconWindow) {
                    mIconWindow = id;
                    Say("ICON_WINDOW " + std::to_string(id));
                }
            }
        }
    }

    void ReportPlacementOnce() {
        if (mPlacementReported || mIconWindow == 0) {
            return;
        }
        mPlacementReported = true;
        qv::clsWindowSize size(mGeometry);
        std::int32_t edge = 0, w = 0, h = 0, x = 0, y = 0;
        size.TrueTaskbarSize(edge, w, h);
        size.TrueTasktraySide(mHWnd, x, y);
        const qv::Rect bar = mGeometry.TaskbarRect();
        const qv::Rect work = mGeometry.WorkArea();
        Say("PLACEMENT screen=" + std::to_string(mGeometry.ScreenWidth()) + "x" +
            std::to_string(mGeometry.ScreenHeight()) + " work=" + std::to_string(work.left) + "," +
            std::to_string(work.top) + "," + std::to_string(work.right) + "," +
            std::to_string(work.bottom) + " bar=" + std::to_string(bar.left) + "," +
            std::to_string(bar.top) + "," + std::to_string(bar.right) + "," +
            std::to_string(bar.bottom) + " edge=" + std::to_string(edge) +
            " tbw=" + std::to_string(w) + " tbh=" + std::to_string(h) + " x=" + std::to_string(x) +
            " y=" + std::to_string(y) +
            " twips=" + std::to_string(qv::ScreenTwipsPerPixel(&mWindow)));
    }

    void ReportMenu() {
        QMenu* menu = mMenus.OpenMenu();
        if (!menu || !menu->isVisible() || mMenuReported) {
            return;
        }
        mMenuReported = true;
        std::string line = "MENU_OPEN items=";
        std::string centres;
        for (QAction* a : menu->actions()) {
            line += a->text().toStdString() + (a->isCheckable() ? "[checkable]" : "") + "|";
            const QPoint c = menu->mapToGlobal(menu->actionGeometry(a).center());
            centres += " at_" + a->text().toStdString() + "=" + std::to_string(c.x()) + "," +
                       std::to_string(c.y());
        }
        QAction* def = menu->defaultAction();
        line += " default=" + (def ? def->text().toStdString() : std::string("none"));
        Say(line + centres);
    }

    qv::WindowProcs mProcs;
    DefaultProc mDefault;
    qv::QtTrayHost mHost;
    LoggingShell mShell;
    qv::QtPopupMenuHost mMenus;
    qv::QtScreenGeometry mGeometry;
    qv::modSubClass mRouter;
    QWidget mWindow;
    qv::WindowHandle mHWnd = 0;
    std::shared_ptr<qv::clsTray> mTray;
    QTimer mPoll;
    WId mIconWindow = 0;
    bool mPlacementReported = false;
    bool mMenuReported = false;
    bool mConfigChecked = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Probe probe;
    return QApplication::exec();
}
