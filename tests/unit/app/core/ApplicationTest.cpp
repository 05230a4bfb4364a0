// Start-up and exit in their order, the receiver link as the window shows
// it, hotplug, the tray menu and the window's visibility.
#include <gtest/gtest.h>

#include <algorithm>

#include "CoreHarness.h"
#include "device/HidTransport.h"

namespace qv::test {
namespace {

TEST(AppStartup, WithoutConfigurationFileUsesDefaultsAndConnects) {
    CoreHarness h;
    h.Load();
    FakeView& v = h.view;
    EXPECT_EQ(v.number, "1");
    EXPECT_EQ(v.windowChangeIndex, 0);
    EXPECT_EQ(v.adjustIndex, -1);
    EXPECT_EQ(v.adjustItems, (std::vector<std::string>{"0秒", "1秒", "2秒", "3秒", "4秒", "5秒"}));
    ASSERT_EQ(v.windowChangeItems.size(), 11u);
    EXPECT_EQ(v.windowChangeItems[1], "0.1秒");
    EXPECT_EQ(v.windowChangeItems[10], "1秒");
    EXPECT_NE(v.statuses.back().toolTip.find("VendorID 1234・ProductID 0001"), std::string::npos)
        << v.statuses.back().toolTip;
    EXPECT_EQ(h.app->Shared().remote.UpperIndex(), 0);
    // The simulated receiver is plugged in: lamp green, version, polling.
    EXPECT_EQ(v.lamp, "green");
    EXPECT_EQ(v.version, "1.05");
    EXPECT_TRUE(h.app->TimerEnabled());
    EXPECT_TRUE(v.boxes.empty());
    // Run mode, the window left hidden (nothing shown, moved or restored), the icon shown.
    EXPECT_EQ(v.selectedTab, 1);
    EXPECT_EQ(v.shownPage, 1);
    EXPECT_FALSE(v.visible);
    EXPECT_TRUE(v.calls.empty());
    EXPECT_EQ(h.tray.calls, (std::vector<std::string>{"Show(Remote Receiver)"}));
    // Nothing was written at start-up.
    EXPECT_FALSE(std::filesystem::exists(h.iniPath));
}

TEST(AppStartup, TheWindowDoesNotWaitForTheReceiver) {
    // Load returns with the connect-and-start sequence handed to the receiver
    // thread; the lamp and version arrive afterwards, in order.
    CoreHarness h;
    h.app->Load();
    EXPECT_EQ(h.view.lamp, "none");
    EXPECT_EQ(h.jobs.queue.size(), 1u);
    h.jobs.RunAll();
    EXPECT_EQ(h.view.lamp, "none");  // posted, not yet shown
    h.gui.RunAll();
    EXPECT_EQ(h.view.lamp, "green");
    EXPECT_EQ(h.view.version, "1.05");
}

TEST(AppStartup, ReadsSettingsAndSlotsUpToTheFirstGap) {
    CoreHarness h(
        "[General]\r\nWindowChangeTime=3\r\n[HID]\r\nVendorID=0x04d8\r\nProductID=&HFFFF\r\n"
        "[Remote1]\r\nPulse=12,34,56\r\n[Remote2]\r\nPulse=1,2,3\r\n"
        "[Remote4]\r\nPulse=4,5,6\r\n",
        true);
    h.Load();
    EXPECT_EQ(h.view.number, "3");
    EXPECT_EQ(h.app->Shared().remote.UpperIndex(), 2);
    EXPECT_EQ(h.view.windowChangeIndex, 3);
    EXPECT_EQ(h.app->Shared().windowChangeTimeIndex.load(), 3);
    // The identifiers as the window names them: 0x04d8 and &HFFFF (-1).
    EXPECT_NE(h.view.statuses.back().line.find("VendorID 04D8・ProductID FFFF"), std::string::npos)
        << h.view.statuses.back().line;
    // The simulated receiver is 1234:0001, so nothing connects.
    EXPECT_EQ(h.view.lamp, "red");
    EXPECT_FALSE(h.app->TimerEnabled());
}

TEST(AppStartup, ReceiverMissingLeavesLampRedAndHotplugConnectsAndCloses) {
    sim::BusOptions bus;
    bus.plugged = false;
    CoreHarness h("", false, bus);
    h.Load();
    EXPECT_EQ(h.view.lamp, "red");
    EXPECT_TRUE(h.view.version.empty());
    EXPECT_FALSE(h.app->TimerEnabled());
    EXPECT_TRUE(h.view.boxes.empty());

    ASSERT_TRUE(h.simulator.Plug().ok);
    h.DeviceEvents();
    EXPECT_EQ(h.view.lamp, "green");
    EXPECT_EQ(h.view.version, "1.05");
    EXPECT_TRUE(h.app->TimerEnabled());

    // Another device going away leaves the receiver polled.
    ASSERT_TRUE(h.simulator.AddForeign(0x046d, 0xc52b).ok);
    h.DeviceEvents();
    ASSERT_TRUE(h.simulator.Execute("remove-foreign all").ok);
    h.DeviceEvents();
    EXPECT_TRUE(h.app->TimerEnabled());

    ASSERT_TRUE(h.simulator.Unplug().ok);
    h.DeviceEvents();
    EXPECT_EQ(h.view.lamp, "red");
    EXPECT_FALSE(h.app->TimerEnabled());
    // Closed: a poll sends nothing.
    const std::uint64_t polls = h.simulator.Status().counts.picPoll;
    h.Tick();
    EXPECT_EQ(h.simulator.Status().counts.picPoll, polls);
}

TEST(AppStartup, AStartRefusedByTheReceiverShowsAmberWithOneMessageAndStartUpGoesOn) {
    CoreHarness h;
    ASSERT_TRUE(h.simulator.Execute("fault error PicStartReceive 2").ok);
    h.Load();
    EXPECT_EQ(h.view.lamp, "amber");
    EXPECT_EQ(h.view.version, "1.05");
    ASSERT_EQ(h.view.boxes.size(), 1u);
    EXPECT_EQ(h.view.boxes[0].text, "PICシステムからエラーが返されました。");
    EXPECT_EQ(h.view.boxes[0].kind, MessageKind::Error);
    // The window says what happened and that the start is tried again.
    const ReceiverStatus& status = h.view.statuses.back();
    EXPECT_NE(status.line.find("エラー"), std::string::npos) << status.line;
    EXPECT_NE(status.line.find("5秒ごとに再試行"), std::string::npos) << status.line;
    EXPECT_NE(status.toolTip.find("受信はまだ始まっていません"), std::string::npos);
    EXPECT_EQ(h.simulator.Status().counts.picPoll, 0u) << "nothing is polled";
}

TEST(AppStartup, ARefusedStartIsTriedAgainEveryFiveSecondsSilentlyUntilPollingBegins) {
    CoreHarness h(Slot(1, "01,02,03", "after the retry", "DA, UA"), true);
    ASSERT_TRUE(h.simulator.Execute("fault error PicStartReceive 2").ok);
    h.Load();
    ASSERT_EQ(h.view.lamp, "amber");
    ASSERT_EQ(h.view.boxes.size(), 1u);
    EXPECT_EQ(h.simulator.Status().counts.picStartReceive, 1u);
    h.simulator.Press({1, 2, 3});  // waits in the receiver meanwhile

    // Ticks before five seconds have passed try nothing.
    h.clock.now += std::chrono::milliseconds(4999);
    h.Tick();
    EXPECT_EQ(h.simulator.Status().counts.picStartReceive, 1u);
    EXPECT_EQ(h.simulator.Status().counts.picPoll, 0u);

    // At five seconds the start is tried again, without a message box.
    h.clock.now += std::chrono::milliseconds(1);
    h.Tick();
    EXPECT_EQ(h.simulator.Status().counts.picStartReceive, 2u);
    EXPECT_EQ(h.view.boxes.size(), 1u);
    EXPECT_EQ(h.view.lamp, "amber");

    // The receiver recovers: the next try starts it, no replug needed.
    ASSERT_TRUE(h.simulator.Execute("fault clear").ok);
    h.clock.now += std::chrono::seconds(5);
    h.Tick();
    EXPECT_EQ(h.simulator.Status().counts.picStartReceive, 3u);
    EXPECT_EQ(h.view.lamp, "green");
    EXPECT_NE(h.view.statuses.back().line.find("受信中"), std::string::npos);
    EXPECT_EQ(h.view.boxes.size(), 1u);

    // The next tick polls, and the press made while it was not started fires.
    h.Tick();
    EXPECT_EQ(h.view.receiveLines, (std::vector<std::string>{"after the retry"}));
    EXPECT_EQ(h.injector.Text(), "D41 U41 | ");
}

TEST(AppStartup, AReceiverRemovedWhileNotStartedIsNoLongerTriedAgain) {
    CoreHarness h;
    ASSERT_TRUE(h.simulator.Execute("fault error PicStartReceive 2").ok);
    h.Load();
    ASSERT_EQ(h.view.lamp, "amber");
    ASSERT_TRUE(h.simulator.Unplug().ok);
    h.DeviceEvents();
    EXPECT_EQ(h.view.lamp, "red");
    EXPECT_FALSE(h.app->TimerEnabled());
    h.clock.now += std::chrono::seconds(10);
    h.Tick();
    EXPECT_EQ(h.simulator.Status().counts.picStartReceive, 1u);
}

TEST(AppExit, WritesWindowChangeTimeEvenWhenUnchangedCreatingTheFileThenReleases) {
    CoreHarness h;
    h.Load();
    ASSERT_FALSE(std::filesystem::exists(h.iniPath));
    h.app->Unload();
    EXPECT_NE(h.IniBytes().find("[General]\r\nWindowChangeTime=0"), std::string::npos)
        << h.IniBytes();
    EXPECT_FALSE(h.app->TimerEnabled());
    EXPECT_EQ(h.tray.calls.back(), "Hide");  // the icon is gone
    // A second unload changes nothing.
    const std::string before = h.IniBytes();
    h.view.windowChangeIndex = 5;
    h.app->Unload();
    EXPECT_EQ(h.IniBytes(), before);
}

TEST(AppExit, WritesTheSelectedIndexAndKeepsOtherContentOfTheFile) {
    CoreHarness h("; mine\r\n[General]\r\nWindowChangeTime=2\r\n[Remote1]\r\nPulse=1,2,3\r\n",
                  true);
    h.Load();
    h.view.windowChangeIndex = 7;
    h.app->WindowChangeTimeSelected(7);
    h.app->Unload();
    EXPECT_EQ(h.IniBytes(),
              "; mine\r\n[General]\r\nWindowChangeTime=7\r\n[Remote1]\r\nPulse=1,2,3\r\n");
}

TEST(AppExit, ExitChosenWhileAStartUpMessageIsOpenWaitsForItsAnswer) {
    CoreHarness h;
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1C] = 0;  // every sequence fails at kInit1
    h.simulator.SetFaults(faults);
    bool unloadedInsideTheBox = true;
    h.view.whileBoxOpen = [&h, &unloadedInsideTheBox] {
        h.app->Exit();
        unloadedInsideTheBox = h.app->Unloaded();
    };
    h.Load();
    EXPECT_FALSE(unloadedInsideTheBox);
    // The exit ran once the box was answered; the second sequence's box was
    // answered as unanswered without being shown.
    EXPECT_TRUE(h.app->Unloaded());
    EXPECT_EQ(h.view.boxes.size(), 1u);
    EXPECT_GE(h.view.quits, 1);
    EXPECT_NE(h.IniBytes().find("WindowChangeTime=0"), std::string::npos);
}

TEST(AppExit, ExitAskedForDuringTheOverwriteQuestionWaitsForTheAnswer) {
    for (const bool closeWindow : {false, true}) {
        CoreHarness h("[Remote1]\r\nPulse=12,34,56\r\nComment=old\r\n", true);
        h.Load();
        h.SelectTab(2);
        h.app->StepSlot(SlotStep::Previous);  // back to the stored slot 1
        h.PressAndTick(9, 9, 9);
        h.view.comment = "new";
        h.view.answers = {Answer::Yes};
        bool unloadedInsideTheBox = true;
        h.view.whileBoxOpen = [&] {
            if (closeWindow) {
                h.app->WindowClosed();
            } else {
                h.app->Exit();
            }
            unloadedInsideTheBox = h.app->Unloaded();
        };
        h.app->StoreEntry();
        EXPECT_FALSE(unloadedInsideTheBox);
        EXPECT_TRUE(h.app->Unloaded());
        EXPECT_EQ(h.view.quits, 1);
        const std::string bytes = h.IniBytes();
        EXPECT_NE(bytes.find("[Remote1]\r\nPulse=09,09,09\r\nComment=new"), std::string::npos)
            << bytes;
        EXPECT_NE(bytes.find("WindowChangeTime=0"), std::string::npos) << bytes;
    }
}

TEST(AppExit, TerminationDuringTheOverwriteQuestionEndsAfterTheBoxCloses) {
    CoreHarness h("[Remote1]\r\nPulse=12,34,56\r\nComment=old\r\n", true);
    h.Load();
    h.SelectTab(2);
    h.app->StepSlot(SlotStep::Previous);
    h.PressAndTick(9, 9, 9);
    h.view.answers = {Answer::No};  // what a box closed without an answer gives
    h.view.whileBoxOpen = [&h] { h.app->Terminate(); };
    h.app->StoreEntry();
    EXPECT_TRUE(h.app->Unloaded());
    EXPECT_GE(h.view.quits, 1);
    const std::string bytes = h.IniBytes();
    EXPECT_NE(bytes.find("[Remote1]\r\nPulse=12,34,56\r\nComment=old"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("WindowChangeTime=0"), std::string::npos) << bytes;
}

TEST(AppExit, WorkPostedByTheReceiverAfterExitIsDropped) {
    CoreHarness h(Slot(1, "1,2,3", "late", "DA"), true);
    h.Load();
    h.simulator.Press({1, 2, 3});
    h.app->Tick();  // the line is posted, not yet shown
    h.app->Unload();
    h.app.reset();  // the core is gone before the GUI thread runs
    h.gui.RunAll();
    EXPECT_TRUE(h.view.receiveLines.empty());
    h.app = std::make_unique<Application>(AppPorts{h.view, h.gui, *h.ini, *h.hidPort,
                                                   *h.deviceEvents, h.injector, h.windows, h.tray,
                                                   h.geometry, h.clock, &h.jobs});
}

TEST(AppTray, AnyButtonOpensTheMenuWhoseItemsShowHideAndExit) {
    CoreHarness h;
    h.Load();
    for (const TrayButton button : {TrayButton::Right, TrayButton::Left, TrayButton::Middle}) {
        h.tray.Click(button);
    }
    ASSERT_EQ(h.tray.menus.size(), 3u);
    const TrayMenu& menu = h.tray.menus[0];
    ASSERT_EQ(menu.items.size(), 2u);
    EXPECT_EQ(menu.items[0].caption, "設定");
    EXPECT_TRUE(menu.items[0].checkable);
    EXPECT_FALSE(menu.items[0].checked);
    EXPECT_EQ(menu.items[1].caption, "終了");
    EXPECT_EQ(menu.defaultIndex, 1);
    EXPECT_EQ(h.gui.Pending(), 0u);  // nothing chosen: nothing runs

    // 設定: checked, placed beside the taskbar, shown.
    h.tray.choose = 0;
    h.tray.Click(TrayButton::Right);
    h.Settle();
    EXPECT_TRUE(h.app->ConfigChecked());
    EXPECT_TRUE(h.view.visible);
    EXPECT_EQ(h.view.x, 1280 - 410);
    EXPECT_EQ(h.view.y, 1024 - 40 - 440);
    h.tray.Click(TrayButton::Right);
    EXPECT_TRUE(h.tray.menus.back().items[0].checked);
    h.Settle();  // 設定 again hides it
    EXPECT_FALSE(h.app->ConfigChecked());
    EXPECT_FALSE(h.view.visible);

    // 終了 ends the program once the menu and the tray's event are done.
    h.tray.choose = 1;
    h.tray.Click(TrayButton::Left);
    EXPECT_FALSE(h.app->Unloaded());
    h.Settle();
    EXPECT_TRUE(h.app->Unloaded());
    EXPECT_EQ(h.view.quits, 1);
    EXPECT_TRUE(std::filesystem::exists(h.iniPath));
}

TEST(AppTray, BackToTrayAndMinimisingHideTheWindowAndClearTheCheckMark) {
    CoreHarness h;
    h.Load();
    h.app->ToggleWindow();
    ASSERT_TRUE(h.view.visible);
    h.app->HideToTray();
    EXPECT_FALSE(h.view.visible);
    EXPECT_FALSE(h.app->ConfigChecked());

    h.app->ToggleWindow();
    h.view.minimizedOrMaximized = true;  // the user minimises it
    h.app->WindowStateChanged();
    EXPECT_FALSE(h.view.visible);
    EXPECT_FALSE(h.app->ConfigChecked());
    // The next 設定 shows it in the normal state at its place.
    h.view.x = h.view.y = -1;
    h.app->ToggleWindow();
    EXPECT_TRUE(h.view.visible);
    EXPECT_FALSE(h.view.minimizedOrMaximized);
    EXPECT_EQ(h.view.x, 1280 - 410);
    const auto normal = std::find(h.view.calls.begin(), h.view.calls.end(), "Normal");
    const auto move = std::find(normal, h.view.calls.end(), "MoveTo(870,544)");
    EXPECT_NE(move, h.view.calls.end());  // restored before it was placed
}

TEST(AppTray, TheWindowIsPlacedAgainOnceFramedOnlyWhileShown) {
    CoreHarness h;
    h.Load();
    h.app->ToggleWindow();
    h.view.x = h.view.y = -1;
    h.app->WindowFramed();
    EXPECT_EQ(h.view.x, 870);
    h.app->HideToTray();
    h.view.x = -1;
    h.app->WindowFramed();
    EXPECT_EQ(h.view.x, -1);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

TEST(AppWindowPicker, OffersTheOpenWindowsButTheProgramsOwnAndTheChoiceFillsTheField) {
    CoreHarness h;
    h.Load();
    h.windows.Add(1, "Navigator", ShowState::Normal, "Mozilla Firefox");
    h.windows.Add(2, "Quorvane", ShowState::Normal, "Quorvane");
    h.windows.Add(3, "Notepad", ShowState::Minimized, "無題 - メモ帳");
    h.windows.Add(4, "", ShowState::Normal, "a window without a class");
    h.SelectTab(2);
    h.view.windowName = "typed by hand";

    h.app->PickTargetWindow();
    EXPECT_TRUE(h.view.choices.empty()) << "the list is made by the receiver's share";
    h.Settle();
    ASSERT_EQ(h.view.choices.size(), 1u);
    const std::vector<ListedWindow>& offered = h.view.choices[0];
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].className, "Navigator");
    EXPECT_EQ(offered[0].title, "Mozilla Firefox");
    EXPECT_EQ(offered[1].className, "Notepad");
    EXPECT_EQ(offered[1].title, "無題 - メモ帳");
    EXPECT_EQ(h.view.windowName, "typed by hand") << "offering changes nothing yet";

    h.app->TargetWindowChosen("Notepad");
    EXPECT_EQ(h.view.windowName, "Notepad");

    // Stored with the slot and fired into that window.
    h.PressAndTick(4, 5, 6);
    h.view.keyList = "DA\r\nUA";
    h.app->StoreEntry();
    EXPECT_NE(h.IniBytes().find("WindowName=Notepad"), std::string::npos) << h.IniBytes();
    h.SelectTab(1);
    h.windows.foreground = Window{1};  // the user works in the browser
    h.windows.calls.clear();
    h.PressAndTick(4, 5, 6);
    EXPECT_NE(std::find(h.windows.calls.begin(), h.windows.calls.end(), "Activate(3)"),
              h.windows.calls.end())
        << ::testing::PrintToString(h.windows.calls);
    EXPECT_EQ(h.injector.Text(), "D41 U41 | ");
}

TEST(AppWindowPicker, OneListAtATimeAndNoneAfterExit) {
    CoreHarness h;
    h.Load();
    h.windows.Add(1, "xterm", ShowState::Normal, "xterm");
    h.app->PickTargetWindow();
    h.app->PickTargetWindow();  // a second click while the first list is being made
    h.Settle();
    EXPECT_EQ(h.view.choices.size(), 1u);
    h.app->PickTargetWindow();  // once shown, the button works again
    h.Settle();
    EXPECT_EQ(h.view.choices.size(), 2u);

    // An empty desktop offers an empty list, which the window says as such.
    h.windows.windows.clear();
    h.app->PickTargetWindow();
    h.Settle();
    ASSERT_EQ(h.view.choices.size(), 3u);
    EXPECT_TRUE(h.view.choices.back().empty());

    h.app->Unload();
    h.app->PickTargetWindow();
    h.Settle();
    EXPECT_EQ(h.view.choices.size(), 3u);
}

}  // namespace
}  // namespace qv::test
