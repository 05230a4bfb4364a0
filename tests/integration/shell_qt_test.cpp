// The Qt backends of the shell on Qt's offscreen platform: tray activations
// reach Tray as presses and releases, a restarted tray host gets the icon
// back, the pop-up menu has its default and checkable items, and the screen
// feed falls back when no panel takes screen space.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/Tray.h"
#include "shell/WindowPlacement.h"
#include "shell/qt/QtScreenGeometry.h"
#include "shell/qt/QtTrayIcon.h"

namespace {

class EventLog : public qv::TrayEvents {
public:
    std::vector<std::string> log;
    std::function<void()> onPress;
    void Click() override { log.push_back("Click"); }
    void DblClick() override { log.push_back("DblClick"); }
    void MouseDown(std::int16_t b) override {
        log.push_back("Down" + std::to_string(b));
        if (onPress) {
            auto handler = onPress;
            handler();
        }
    }
    void MouseUp(std::int16_t b) override { log.push_back("Up" + std::to_string(b)); }
    void MouseMove() override { log.push_back("Move"); }
};

QIcon TestIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::green);
    return QIcon(pixmap);
}

// Answers the next pop-up menu of `icon` with `keys` once it is open, and
// reports what it saw.
struct MenuDriver {
    QString defaultText;
    QStringList captions;
    bool firstCheckable = false;
    bool firstChecked = false;
    QTimer poll;

    MenuDriver(qv::QtTrayIcon& icon, std::vector<Qt::Key> keys) {
        QObject::connect(&poll, &QTimer::timeout, [this, &icon, keys] {
            QMenu* open = icon.OpenMenu();
            if (!open || !open->isVisible())
                return;
            poll.stop();
            defaultText = open->defaultAction() ? open->defaultAction()->text() : QString();
            for (QAction* a : open->actions())
                captions << a->text();
            firstCheckable = open->actions().at(0)->isCheckable();
            firstChecked = open->actions().at(0)->isChecked();
            for (Qt::Key key : keys)
                QTest::keyClick(open, key);
        });
        poll.start(10);
    }
};

}  // namespace

class ShellQtTest : public QObject {
    Q_OBJECT

private slots:
    void activationsBecomePressesAndReleases() {
        qv::QtTrayIcon icon(TestIcon());
        EventLog events;
        qv::Tray tray(icon, events);
        tray.SetToolTipText("Remote Receiver");
        tray.AddIcon();
        QVERIFY(icon.QtIcon().isVisible());
        QCOMPARE(icon.QtIcon().toolTip(), QString("Remote Receiver"));

        // Qt reports a double click as Trigger, then DoubleClick.
        emit icon.QtIcon().activated(QSystemTrayIcon::Trigger);
        emit icon.QtIcon().activated(QSystemTrayIcon::DoubleClick);
        emit icon.QtIcon().activated(QSystemTrayIcon::Context);
        emit icon.QtIcon().activated(QSystemTrayIcon::MiddleClick);
        emit icon.QtIcon().activated(QSystemTrayIcon::Unknown);
        const std::vector<std::string> expected{"Down1", "Up1", "Click", "DblClick", "Up1",
                                                "Down2", "Up2", "Down4", "Up4"};
        QCOMPARE(events.log, expected);
    }

    void aTrayEndedByThePressGetsNoRelease() {
        qv::QtTrayIcon icon(TestIcon());
        EventLog events;
        auto tray = std::make_unique<qv::Tray>(icon, events);
        tray->AddIcon();
        events.onPress = [&tray] { tray.reset(); };
        emit icon.QtIcon().activated(QSystemTrayIcon::Context);
        QCOMPARE(events.log, std::vector<std::string>{"Down2"});
        QVERIFY(!tray);
        QVERIFY2(!icon.QtIcon().isVisible(), "the tray's end deleted the icon");
    }

    void tooltipChangesReachTheShownIcon() {
        qv::QtTrayIcon icon(TestIcon());
        EventLog events;
        qv::Tray tray(icon, events);
        tray.SetToolTipText("Remote Receiver");
        tray.AddIcon();
        tray.SetToolTipText("あいう");
        QCOMPARE(icon.QtIcon().toolTip(), QString("あいう"));
        tray.DeleteIcon();
        QVERIFY(!icon.QtIcon().isVisible());
    }

    void aRestartedTrayHostGetsTheIconAgain() {
        qv::QtTrayIcon icon(TestIcon());
        EventLog events;
        qv::Tray tray(icon, events);
        tray.SetToolTipText("Remote Receiver");
        tray.AddIcon();
        QSignalSpy restarted(&icon, &qv::QtTrayIcon::TrayHostRestarted);
        icon.QtIcon().hide();  // as if the old tray host took it down with it
        icon.NotifyTrayHostRestarted();
        QCOMPARE(restarted.count(), 1);
        QVERIFY(icon.QtIcon().isVisible());
        QCOMPARE(icon.QtIcon().toolTip(), QString("Remote Receiver"));
        QVERIFY(events.log.empty());

        // A deleted icon stays deleted.
        tray.DeleteIcon();
        icon.NotifyTrayHostRestarted();
        QVERIFY(!icon.QtIcon().isVisible());
        QVERIFY2(!icon.WatchingTrayHost(), "no X11 tray host on the offscreen platform");
    }

    void popupMenuHasBoldDefaultAndCheckableItem() {
        qv::QtTrayIcon icon(TestIcon());
        EventLog events;
        qv::Tray tray(icon, events);
        std::vector<std::string> ran;
        qv::TrayMenu menu;
        menu.items.push_back({"設定", true, true, [&ran] { ran.push_back("config"); }});
        menu.items.push_back({"終了", false, false, [&ran] { ran.push_back("exit"); }});
        menu.defaultIndex = 1;

        {
            MenuDriver driver(icon, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
            QCOMPARE(tray.PopupMenu(menu), 1);
            QCOMPARE(driver.defaultText, QString("終了"));
            QCOMPARE(driver.captions, (QStringList{"設定", "終了"}));
            QVERIFY(driver.firstCheckable);
            QVERIFY(driver.firstChecked);
        }
        QCOMPARE(ran, std::vector<std::string>{"exit"});
        QVERIFY(!icon.OpenMenu());

        MenuDriver escape(icon, {Qt::Key_Escape});
        QCOMPARE(tray.PopupMenu(menu), -1);
        QCOMPARE(ran.size(), std::size_t{1});
    }

    void screenWithoutPanelPlacesWindowInTheCorner() {
        qv::QtScreenGeometry geometry;
        QCOMPARE(geometry.WindowRect(), qv::Rect{});  // no window yet
        auto window = std::make_unique<QWidget>();
        window->setGeometry(10, 10, 300, 200);
        geometry.SetWindow(window.get());
        const qv::Rect screen{0, 0, geometry.ScreenWidth(), geometry.ScreenHeight()};
        QVERIFY(screen.right > 300 && screen.bottom > 200);
        QCOMPARE(geometry.WorkArea(), screen);  // the offscreen platform has no panel
        QCOMPARE(geometry.TaskbarRect(), qv::Rect{});

        qv::WindowPlacement placement(geometry);
        const qv::Size size = placement.OuterSize();
        QCOMPARE(size.width, 300);
        QCOMPARE(size.height, 200);
        const qv::Point place = placement.BesideTray();
        QCOMPARE(place.x, screen.right - 300);
        QCOMPARE(place.y, screen.bottom - 200);

        window.reset();
        QCOMPARE(geometry.WindowRect(), qv::Rect{});  // a deleted window is forgotten
    }
};

QTEST_MAIN(ShellQtTest)
#include "shell_qt_test.moc"
