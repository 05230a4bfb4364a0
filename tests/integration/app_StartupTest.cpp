// Start-up, exit, the receiver link as the window shows it, hotplug and the
// tray menu.
#include <QAction>
#include <QEventLoop>
#include <QTabBar>

#include <gtest/gtest.h>

#include "app/ShapeLamp.h"
#include "app_Harness.h"

namespace qv::test {
namespace {

// Runs the application's event loop until something exits it; after 5 s it
// ends with 1, so a test that hangs fails instead.
int RunEventLoopAtMost5s() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    return QApplication::exec();
}

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

TEST(AppStartup, WithoutConfigurationFileUsesDefaultsAndConnects) {
    FormHarness h;
    h.form->Load();
    frmMain& f = *h.form;
    EXPECT_EQ(f.txtNumber->text(), "1");
    EXPECT_EQ(f.cboWindowChangeTime->currentText(), QString::fromUtf8("0秒"));
    EXPECT_EQ(f.cboWindowChangeTime->count(), 11);
    EXPECT_EQ(f.cboAdjustTime->count(), 6);
    EXPECT_EQ(f.cboAdjustTime->currentIndex(), -1);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(f.cboAdjustTime->itemText(i), QString::fromUtf8("%1秒").arg(i));
    }
    EXPECT_EQ(f.cboWindowChangeTime->itemText(1), QString::fromUtf8("0.1秒"));
    EXPECT_EQ(f.cboWindowChangeTime->itemText(9), QString::fromUtf8("0.9秒"));
    EXPECT_EQ(f.cboWindowChangeTime->itemText(10), QString::fromUtf8("1秒"));
    EXPECT_EQ(f.VendorID(), 0x1234);
    EXPECT_EQ(f.ProductID(), 0x0001);
    EXPECT_EQ(f.Remotes().UpperIndex(), 0);
    // The simulated receiver is plugged in: lamp green, version, polling.
    EXPECT_EQ(f.shpStatus->FillColor(), kGreen);
    EXPECT_EQ(f.txtVersion->text(), "1.05");
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_TRUE(h.dialogs.shown.empty());
    // Run mode, page 0 in front and enabled, the window hidden, the icon shown.
    EXPECT_EQ(f.TabStrip1->currentIndex(), 0);
    EXPECT_TRUE(f.Picture1[0]->isEnabled());
    EXPECT_FALSE(f.Picture1[1]->isEnabled());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(f.x(), 0);  // the first resize took it back from its off-screen parking
    ASSERT_EQ(h.shell.calls.size(), 1u);
    EXPECT_EQ(h.shell.calls[0].op, NotifyIconOp::Add);
    EXPECT_EQ(h.shell.calls[0].data.szTip, "Remote Receiver");
    EXPECT_EQ(h.shell.calls[0].data.hWnd, f.hWnd());
    // Nothing was written at start-up.
    EXPECT_FALSE(std::filesystem::exists(h.iniPath));
}

TEST(AppStartup, ControlsCarryTheirNamesAndCaptions) {
    FormHarness h;
    frmMain& f = *h.form;
    EXPECT_EQ(f.windowTitle(), "Quorvane");
    const std::pair<const char*, const char*> labels[] = {
        {"Label4", "レシーブ リスト"},       {"Label8", "ウィンドウ切替時間"},
        {"Label1", "リモコン記憶 No."},      {"Label2", "コメント"},
        {"Label3", "Quorvane 入力"},         {"Label6", "連続入力防止時間"},
        {"Label7", "送信ウィンドウ"},        {"Label9", "送信キーリスト"},
        {"Label22", "Control Chip Version"}, {"Label10", "HID Indicator"},
    };
    for (const auto& [name, caption] : labels) {
        auto* label = f.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), QString::fromUtf8(caption)) << name;
    }
    EXPECT_EQ(f.TabStrip1->tabText(0), QString::fromUtf8("パルス待ち"));
    EXPECT_EQ(f.TabStrip1->tabText(1), QString::fromUtf8("パルス記憶"));
    EXPECT_EQ(f.cmdClear->text(), QString::fromUtf8("コマンドクリア"));
    EXPECT_EQ(f.cmdChange->text(), QString::fromUtf8("追加 / 変更"));
    EXPECT_EQ(f.cmdTray->text(), QString::fromUtf8("トレイに戻す"));
    EXPECT_EQ(f.mnuConfig->text(), QString::fromUtf8("設定"));
    EXPECT_EQ(f.mnuExit->text(), QString::fromUtf8("終了"));
    EXPECT_TRUE(f.mnuConfig->isCheckable());
    EXPECT_TRUE(f.txtNumber->isReadOnly());
    EXPECT_TRUE(f.txtKeyList->isReadOnly());
    EXPECT_EQ(f.Timer1->interval(), 50);
    EXPECT_FALSE(f.TimerEnabled());  // disabled when the window is created
    EXPECT_EQ(f.shpStatus->FillColor(), kRed);
    // Both pages sit on the window, each with its own controls.
    EXPECT_EQ(f.txtReceive->parentWidget(), f.Picture1[0]);
    EXPECT_EQ(f.txtKeyList->parentWidget(), f.Picture1[1]);
    EXPECT_EQ(f.txtVersion->parentWidget(), &f);
}

TEST(AppStartup, ReadsSettingsAndSlotsUpToTheFirstGap) {
    FormHarness h(
        {},
        "[General]\r\nWindowChangeTime=3\r\n[HID]\r\nVendorID=0x04d8\r\nProductID=&HFFFF\r\n"
        "[Remote1]\r\nPulse=12,34,56\r\n[Remote2]\r\nPulse=1,2,3\r\n"
        "[Remote4]\r\nPulse=4,5,6\r\n",
        true);
    h.form->Load();
    EXPECT_EQ(h.form->txtNumber->text(), "3");
    EXPECT_EQ(h.form->Remotes().UpperIndex(), 2);
    EXPECT_EQ(h.form->cboWindowChangeTime->currentIndex(), 3);
    EXPECT_EQ(h.form->VendorID(), 1240);
    EXPECT_EQ(h.form->ProductID(), -1);
    // The simulated receiver is 1234:0001, so nothing connects.
    EXPECT_EQ(h.form->shpStatus->FillColor(), kRed);
    EXPECT_FALSE(h.form->TimerEnabled());
}

TEST(AppStartup, ReceiverMissingLeavesLampRedAndWaitsForArrival) {
    sim::BusOptions bus;
    bus.plugged = false;
    FormHarness h(bus);
    h.form->Load();
    EXPECT_EQ(h.form->shpStatus->FillColor(), kRed);
    EXPECT_TRUE(h.form->txtVersion->text().isEmpty());
    EXPECT_FALSE(h.form->TimerEnabled());
    EXPECT_TRUE(h.dialogs.shown.empty());

    // Plugged in later: the notifier's arrival connects and starts it.
    ASSERT_TRUE(h.simulator.Plug().ok);
    h.form->DeviceEventsReadable();
    EXPECT_EQ(h.form->shpStatus->FillColor(), kGreen);
    EXPECT_EQ(h.form->txtVersion->text(), "1.05");
    EXPECT_TRUE(h.form->TimerEnabled());

    // Unplugged: closed, red, polling stopped.
    ASSERT_TRUE(h.simulator.Unplug().ok);
    h.form->DeviceEventsReadable();
    EXPECT_EQ(h.form->shpStatus->FillColor(), kRed);
    EXPECT_FALSE(h.form->TimerEnabled());
    EXPECT_TRUE(h.form->HidDirect()->ConnectDevicePath().empty());
}

TEST(AppStartup, ReceiverAnsweringErrorsShowsMessagesAndStartUpGoesOn) {
    FormHarness h;
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1B] = 2;  // PicStartReceive refused
    h.simulator.SetFaults(faults);
    h.form->Load();
    EXPECT_EQ(h.form->shpStatus->FillColor(), kGreen);
    EXPECT_EQ(h.form->txtVersion->text(), "1.05");
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text, "PICシステムからエラーが返されました。");
    EXPECT_EQ(h.dialogs.shown[0].icon, MsgIcon::Critical);
    EXPECT_FALSE(h.form->TimerEnabled());
    // Start-up still reached the device notifier.
    ASSERT_NE(h.form->mNotification, nullptr);
    EXPECT_TRUE(h.form->mNotification->Registered());
}

TEST(AppExit, ExitChosenWhileStartUpWaitsInAMessageBoxRunsAfterStartUp) {
    FormHarness h;
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1C] = 0;  // every sequence fails at PicInit1
    h.simulator.SetFaults(faults);
    h.dialogs.whileOpen = [&h] { h.form->mnuExit_Click(); };
    h.form->Load();
    // Both sequences still ran to their end on a live transport...
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    // ...and the exit came after start-up.
    EXPECT_TRUE(h.form->Unloaded());
    EXPECT_EQ(h.form->mNotification, nullptr);
    EXPECT_NE(h.IniBytes().find("WindowChangeTime=0"), std::string::npos);
}

TEST(AppExit, ExitAskedForDuringTheOverwriteQuestionWaitsForTheAnswer) {
    // 終了 from the tray and closing the window alike.
    const std::pair<const char*, void (*)(frmMain&)> ways[] = {
        {"tray exit", [](frmMain& f) { f.mnuExit_Click(); }},
        {"window closed", [](frmMain& f) { f.close(); }},
    };
    for (const auto& [way, askForExit] : ways) {
        FormHarness h({}, "[Remote1]\r\nPulse=12,34,56\r\nComment=old\r\n", true);
        h.form->Load();
        h.form->Timer1->stop();
        h.form->SelectTab(2);
        h.form->cmdUpDown_Click(1);  // back to the stored slot 1
        h.PressAndTick(9, 9, 9);
        h.form->txtComment->setText("new");
        h.dialogs.answers = {MsgAnswer::Yes};

        // The question runs a real modal loop; the exit is asked for inside it
        // and the user answers afterwards.
        bool unloadedInsideTheBox = true;
        bool answeredByTheUser = false;
        h.dialogs.whileOpen = [&, askForExit = askForExit] {
            QEventLoop box;
            QTimer::singleShot(0, &box, [&] {
                askForExit(*h.form);
                unloadedInsideTheBox = h.form->Unloaded();
            });
            QTimer::singleShot(100, &box, [&] {
                answeredByTheUser = true;
                box.quit();
            });
            box.exec();
        };
        QTimer::singleShot(0, h.form.get(), [&h] { h.form->cmdChange_Click(); });
        EXPECT_EQ(RunEventLoopAtMost5s(), 0) << way;

        EXPECT_FALSE(unloadedInsideTheBox) << way;
        EXPECT_TRUE(answeredByTheUser) << way;  // the exit did not close the box
        EXPECT_TRUE(h.form->Unloaded()) << way;
        const std::string bytes = h.IniBytes();
        EXPECT_NE(bytes.find("[Remote1]\r\nPulse=09,09,09\r\nComment=new"), std::string::npos)
            << way << "\n"
            << bytes;
        EXPECT_NE(bytes.find("WindowChangeTime=0"), std::string::npos) << way << "\n" << bytes;
    }
}

TEST(AppExit, TerminationDuringTheOverwriteQuestionClosesItAndEnds) {
    FormHarness h({}, "[Remote1]\r\nPulse=12,34,56\r\nComment=old\r\n", true);
    h.form->Load();
    h.form->Timer1->stop();
    h.form->SelectTab(2);
    h.form->cmdUpDown_Click(1);
    h.PressAndTick(9, 9, 9);
    h.dialogs.answers = {MsgAnswer::No};  // what a box closed without an answer gives

    // A signal cannot wait for a user who may not be there: the box closes.
    bool unloadedInsideTheBox = true;
    bool boxClosedByTheEnd = true;
    h.dialogs.whileOpen = [&] {
        QEventLoop box;
        QTimer::singleShot(0, &box, [&] {
            h.form->Terminate();
            unloadedInsideTheBox = h.form->Unloaded();
        });
        QTimer::singleShot(2000, &box, [&] {
            boxClosedByTheEnd = false;
            box.quit();
        });
        box.exec();
    };
    QTimer::singleShot(0, h.form.get(), [&h] { h.form->cmdChange_Click(); });
    EXPECT_EQ(RunEventLoopAtMost5s(), 0);

    EXPECT_TRUE(boxClosedByTheEnd);
    EXPECT_FALSE(unloadedInsideTheBox);  // the store command still finished first
    EXPECT_TRUE(h.form->Unloaded());
    const std::string bytes = h.IniBytes();
    EXPECT_NE(bytes.find("[Remote1]\r\nPulse=12,34,56\r\nComment=old"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("WindowChangeTime=0"), std::string::npos) << bytes;
}

TEST(AppExit, TerminationWhileStartUpWaitsInAMessageBoxClosesIt) {
    FormHarness h;
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1C] = 0;  // both sequences fail at PicInit1
    h.simulator.SetFaults(faults);
    // Start-up runs before the program's event loop does.
    bool boxClosedByTheEnd = true;
    h.dialogs.whileOpen = [&] {
        QEventLoop box;
        QTimer::singleShot(0, &box, [&] { h.form->Terminate(); });
        QTimer::singleShot(2000, &box, [&] {
            boxClosedByTheEnd = false;
            box.quit();
        });
        box.exec();
    };
    h.form->Load();
    EXPECT_TRUE(boxClosedByTheEnd);
    EXPECT_EQ(h.dialogs.shown.size(), 2u);  // start-up still ran to its end
    EXPECT_TRUE(h.form->Unloaded());
    EXPECT_NE(h.IniBytes().find("WindowChangeTime=0"), std::string::npos);
    // The program would not enter its event loop now; clear the ending for
    // the tests that follow by running one.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

TEST(AppExit, WritesWindowChangeTimeEvenWhenUnchangedCreatingTheFile) {
    FormHarness h;
    h.form->Load();
    ASSERT_FALSE(std::filesystem::exists(h.iniPath));
    h.form->Unload();
    EXPECT_NE(h.IniBytes().find("[General]\r\nWindowChangeTime=0"), std::string::npos)
        << h.IniBytes();
    EXPECT_FALSE(h.form->TimerEnabled());
    // The icon went when the registry let go of the tray object.
    h.router->ReleaseAll();
    ASSERT_FALSE(h.shell.calls.empty());
    EXPECT_EQ(h.shell.calls.back().op, NotifyIconOp::Delete);
    // A second unload changes nothing.
    const std::string before = h.IniBytes();
    h.form->cboWindowChangeTime->setCurrentIndex(5);
    h.form->Unload();
    EXPECT_EQ(h.IniBytes(), before);
}

TEST(AppExit, KeepsOtherContentOfTheFile) {
    const std::string text =
        "; mine\r\n[General]\r\nWindowChangeTime=2\r\n[Remote1]\r\nPulse=1,2,3\r\n";
    FormHarness h({}, text, true);
    h.form->Load();
    h.form->cboWindowChangeTime->setCurrentIndex(7);
    h.form->Unload();
    EXPECT_EQ(h.IniBytes(),
              "; mine\r\n[General]\r\nWindowChangeTime=7\r\n[Remote1]\r\nPulse=1,2,3\r\n");
}

TEST(AppTray, MenuShowsAndHidesTheWindowAndExits) {
    FormHarness h;
    h.form->Load();
    frmMain& f = *h.form;
    // A right click on the icon opens the menu: 設定 and 終了, 終了 the default.
    h.menus.choices = {0};
    h.procs.Dispatch(f.hWnd(), kTrayCallbackMessage, 0, kWmRButtonDown);
    ASSERT_EQ(h.menus.shown.size(), 1u);
    const TrayMenu& menu = h.menus.shown[0];
    ASSERT_EQ(menu.items.size(), 2u);
    EXPECT_EQ(menu.items[0].caption, "設定");
    EXPECT_TRUE(menu.items[0].checkable);
    EXPECT_FALSE(menu.items[0].checked);
    EXPECT_EQ(menu.items[1].caption, "終了");
    EXPECT_EQ(menu.defaultIndex, 1);
    // 設定 was chosen: checked and shown beside the taskbar.
    EXPECT_TRUE(f.mnuConfig->isChecked());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.pos(), QPoint(1280 - 410, 1024 - 40 - 440));

    // トレイに戻す hides it and clears the check mark.
    f.cmdTray->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.mnuConfig->isChecked());

    // Minimising or maximising a shown window sends it back as well; the
    // next 設定 shows it in the normal state at its place beside the taskbar.
    for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        f.mnuConfig_Click();
        ASSERT_TRUE(f.isVisible());
        f.setWindowState(state);
        EXPECT_FALSE(f.isVisible());
        EXPECT_FALSE(f.mnuConfig->isChecked());
        f.mnuConfig_Click();
        EXPECT_TRUE(f.isVisible());
        EXPECT_TRUE(f.mnuConfig->isChecked());
        EXPECT_EQ(f.windowState(), Qt::WindowNoState);
        EXPECT_EQ(f.pos(), QPoint(1280 - 410, 1024 - 40 - 440));
        f.cmdTray->click();
    }

    // 終了 unloads the window from inside the icon's message handling.
    h.menus.choices = {1};
    h.procs.Dispatch(f.hWnd(), kTrayCallbackMessage, 0, kWmLButtonDown);
    EXPECT_TRUE(f.Unloaded());
    EXPECT_TRUE(std::filesystem::exists(h.iniPath));
    EXPECT_FALSE(f.TimerEnabled());
}

}  // namespace
}  // namespace qv::test
