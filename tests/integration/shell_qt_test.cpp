// The Qt backends of the shell on Qt's offscreen platform: tray activations
// reach clsTray through the router as icon callback messages, the
// taskbar-restart message brings the icon back, the pop-up menu has its
// default and checkable items, and the screen feed falls back when no panel
// takes screen space.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "device/clsDeviceNotification.h"
#include "shell/WindowProcs.h"
#include "shell/clsTray.h"
#include "shell/clsWindowSize.h"
#include "shell/modSubClass.h"
#include "shell/qt/QtDeviceEventPump.h"
#include "shell/qt/QtPopupMenuHost.h"
#include "shell/qt/QtScreenGeometry.h"
#include "shell/qt/QtTrayHost.h"

namespace {

class DefaultProc : public qv::WindowProcedure {
public:
    std::vector<qv::MessageId> seen;
    qv::LResult Call(qv::WindowHandle, qv::MessageId iMsg, qv::WParam, qv::LParam) override {
        seen.push_back(iMsg);
        return 0;
    }
};

class NoMenus : public qv::PopupMenuPort {
public:
    int ShowPopupMenu(qv::WindowHandle, const qv::TrayMenu&) override { return -1; }
};

class EventLog : public qv::clsTrayEvents {
public:
    std::vector<std::string> log;
    std::shared_ptr<qv::clsTray> deleteOnPress;
    void Click() override { log.push_back("Click"); }
    void DblClick() override { log.push_back("DblClick"); }
    void MouseDown(std::int16_t b) override {
        log.push_back("Down" + std::to_string(b));
        if (deleteOnPress)
            deleteOnPress->DeleteIcon();
    }
    void MouseUp(std::int16_t b) override { log.push_back("Up" + std::to_string(b)); }
    void MouseMove() override { log.push_back("Move"); }
};

// A device-event source over a pipe: a written byte makes the fd readable.
class PipeEvents : public qv::DeviceEvents {
public:
    ~PipeEvents() override { Stop(); }
    bool Start(std::string& error) override {
        if (::pipe2(mPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }
    void Stop() override {
        for (int& fd : mPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    int Fd() const override { return mPipe[0]; }
    std::vector<qv::DeviceChange> ReadPending() override {
        char buffer[64];
        while (mPipe[0] >= 0 && ::read(mPipe[0], buffer, sizeof buffer) > 0) {
        }
        return std::exchange(queued, {});
    }
    void Push(qv::DeviceChange change) {
        queued.push_back(std::move(change));
        QVERIFY(::write(mPipe[1], "x", 1) == 1);
    }
    std::vector<qv::DeviceChange> queued;

private:
    int mPipe[2] = {-1, -1};
};

class DeviceLog : public qv::DeviceNotificationEvents {
public:
    std::vector<std::string> log;
    std::function<void()> onArrival;
    void DeviceArrival(const std::string& name) override {
        log.push_back("arrival " + name);
        if (onArrival)
            onArrival();
    }
    void DeviceRemoveComplete(const std::string& name) override { log.push_back("remove " + name); }
};

class OkDialogs : public qv::Dialogs {
public:
    qv::MsgAnswer MsgBox(const std::string&, qv::MsgIcon, qv::MsgButtons, bool) override {
        return qv::MsgAnswer::Ok;
    }
};

QIcon TestIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::green);
    return QIcon(pixmap);
}

}  // namespace

class ShellQtTest : public QObject {
    Q_OBJECT

private:
    struct Rig {
        qv::WindowProcs procs;
        DefaultProc defaultProc;
        qv::WindowHandle hWnd = procs.CreateWindowHandle(procs.RegisterProcedure(defaultProc));
        qv::QtTrayHost host{procs};
        NoMenus menus;
        qv::modSubClass router{procs};
        EventLog events;
        std::shared_ptr<qv::clsTray> tray = qv::clsTray::Create(router, procs, host, menus);

        Rig() {
            tray->SetEvents(&events);
            tray->SetIcon(host.AddIconImage(TestIcon()));
            tray->SetToolTipText("Remote Receiver");
        }
        ~Rig() { tray->SetEvents(nullptr); }
        QSystemTrayIcon* Icon() const { return host.TrayIcon(hWnd, tray->Record().uID); }
    };

private slots:
    void activationsBecomeMouseEvents() {
        Rig rig;
        QVERIFY(rig.tray->AddIcon(rig.hWnd));
        QSystemTrayIcon* icon = rig.Icon();
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QString("Remote Receiver"));

        emit icon->activated(QSystemTrayIcon::Trigger);
        emit icon->activated(QSystemTrayIcon::DoubleClick);
        emit icon->activated(QSystemTrayIcon::Context);
        emit icon->activated(QSystemTrayIcon::MiddleClick);
        emit icon->activated(QSystemTrayIcon::Unknown);
        const std::vector<std::string> expected{"Down1", "Up1", "Click", "DblClick", "Up1",
                                                "Down2", "Up2", "Down4", "Up4"};
        QCOMPARE(rig.events.log, expected);
        // All consumed by the tray: the window's own procedure saw none.
        QVERIFY(rig.defaultProc.seen.empty());
    }

    void iconDeletedOnPressGetsNoRelease() {
        Rig rig;
        QVERIFY(rig.tray->AddIcon(rig.hWnd));
        QPointer<QSystemTrayIcon> icon = rig.Icon();
        rig.events.deleteOnPress = rig.tray;
        emit icon->activated(QSystemTrayIcon::Context);
        rig.events.deleteOnPress.reset();
        QCOMPARE(rig.events.log, std::vector<std::string>{"Down2"});
        QVERIFY(!rig.Icon());
        QVERIFY(!rig.tray->Visible());
        QTRY_VERIFY(icon.isNull());  // deleted once the event loop ran
    }

    void changesReachTheShownIcon() {
        Rig rig;
        QVERIFY(rig.tray->AddIcon(rig.hWnd));
        rig.tray->SetToolTipText("Other tip");
        QCOMPARE(rig.Icon()->toolTip(), QString("Other tip"));
        qv::NotifyIconData unknown = rig.tray->Record();
        unknown.hIcon = 999;
        QVERIFY(!rig.host.ShellNotifyIcon(qv::NotifyIconOp::Add, unknown));
        unknown.hWnd = rig.hWnd + 1;
        QVERIFY(!rig.host.ShellNotifyIcon(qv::NotifyIconOp::Modify, unknown));
        QVERIFY(!rig.host.ShellNotifyIcon(qv::NotifyIconOp::Delete, unknown));
    }

    void taskbarCreatedShowsTheIconAgain() {
        Rig rig;
        QVERIFY(rig.tray->AddIcon(rig.hWnd));
        QSystemTrayIcon* icon = rig.Icon();
        icon->hide();  // as if the old tray host took it down with it
        rig.host.BroadcastTaskbarCreated();
        QCOMPARE(rig.Icon(), icon);
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->toolTip(), QString("Remote Receiver"));
        QVERIFY(rig.defaultProc.seen.empty());

        // A hidden tray object stays hidden.
        rig.tray->DeleteIcon();
        rig.host.BroadcastTaskbarCreated();
        QVERIFY(!rig.Icon());
    }

    void popupMenuHasBoldDefaultAndCheckableItem() {
        qv::QtPopupMenuHost host;
        qv::TrayMenu menu;
        menu.items.push_back({"設定", true, true, nullptr});
        menu.items.push_back({"終了", false, false, nullptr});
        menu.defaultIndex = 1;

        QString defaultText;
        bool configCheckable = false;
        bool configChecked = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this,
                [&host, &defaultText, &configCheckable, &configChecked] {
                    QMenu* open = host.OpenMenu();
                    if (!open || !open->isVisible())
                        return;
                    defaultText = open->defaultAction() ? open->defaultAction()->text() : QString();
                    configCheckable = open->actions().at(0)->isCheckable();
                    configChecked = open->actions().at(0)->isChecked();
                    QTest::keyClick(open, Qt::Key_Down);
                    QTest::keyClick(open, Qt::Key_Down);
                    QTest::keyClick(open, Qt::Key_Return);
                });
        poll.start(10);
        QCOMPARE(host.ShowPopupMenu(1, menu), 1);
        QCOMPARE(defaultText, QString("終了"));
        QVERIFY(configCheckable);
        QVERIFY(configChecked);
        QVERIFY(!host.OpenMenu());

        disconnect(&poll, nullptr, this, nullptr);
        connect(&poll, &QTimer::timeout, this, [&host] {
            if (QMenu* open = host.OpenMenu(); open && open->isVisible()) {
                QTest::keyClick(open, Qt::Key_Escape);
            }
        });
        QCOMPARE(host.ShowPopupMenu(1, menu), -1);
    }

    void deviceEventsReachTheNotifierThroughTheEventLoop() {
        PipeEvents source;
        OkDialogs dialogs;
        DeviceLog log;
        qv::clsDeviceNotification notifier(source, dialogs, log);
        qv::QtDeviceEventPump pump(source, [&notifier] { notifier.DeliverPending(); });
        pump.Rearm();
        QCOMPARE(pump.WatchedFd(), -1);
        QVERIFY(notifier.DoRegisterDeviceInterface());
        pump.Rearm();
        QVERIFY(pump.WatchedFd() >= 0);

        source.Push({qv::DeviceChange::Kind::Arrival, "/dev/hidraw2"});
        source.Push({qv::DeviceChange::Kind::Removal, "/dev/hidraw2"});
        QTRY_COMPARE(log.log.size(), std::size_t{2});
        QCOMPARE(log.log[0], std::string("arrival /dev/hidraw2"));
        QCOMPARE(log.log[1], std::string("remove /dev/hidraw2"));

        // The handler ends the registration: the pump lets go of the descriptor.
        log.onArrival = [&notifier] { notifier.DoUnregisterDeviceNotification(); };
        source.Push({qv::DeviceChange::Kind::Arrival, "/dev/hidraw3"});
        QTRY_COMPARE(pump.WatchedFd(), -1);
        QCOMPARE(log.log.size(), std::size_t{3});

        // Registered again: the re-armed pump watches the new descriptor.
        log.onArrival = nullptr;
        QVERIFY(notifier.DoRegisterDeviceInterface());
        pump.Rearm();
        QVERIFY(pump.WatchedFd() >= 0);
        source.Push({qv::DeviceChange::Kind::Arrival, "/dev/hidraw4"});
        QTRY_COMPARE(log.log.size(), std::size_t{4});
        QCOMPARE(log.log[3], std::string("arrival /dev/hidraw4"));
    }

    void screenWithoutPanelPlacesWindowInTheCorner() {
        QWidget window;
        window.setGeometry(10, 10, 300, 200);
        qv::QtScreenGeometry geometry;
        geometry.SetWindow(7, &window);
        const qv::Rect screen{0, 0, geometry.ScreenWidth(), geometry.ScreenHeight()};
        QVERIFY(screen.right > 300 && screen.bottom > 200);
        QCOMPARE(geometry.WorkArea(), screen);  // the offscreen platform has no panel
        QCOMPARE(geometry.TaskbarRect(), qv::Rect{});

        qv::clsWindowSize size(geometry);
        std::int32_t w = 0, h = 0, x = 0, y = 0;
        size.TrueWindowSize(7, w, h);
        QCOMPARE(w, 300);
        QCOMPARE(h, 200);
        size.TrueTasktraySide(7, x, y);
        QCOMPARE(x, screen.right - 300);
        QCOMPARE(y, screen.bottom - 200);
        QCOMPARE(geometry.WindowRect(8), qv::Rect{});
        QVERIFY(qv::ScreenTwipsPerPixel(&window) > 0.0f);
    }
};

QTEST_MAIN(ShellQtTest)
#include "shell_qt_test.moc"
