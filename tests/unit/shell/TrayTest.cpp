#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ShellFakes.h"
#include "shell/clsTray.h"

namespace qv {
namespace {

using test::RecordingProcedure;
using test::RecordingShell;
using test::ScriptedMenus;

class EventLog : public clsTrayEvents {
public:
    std::vector<std::string> log;
    void Click() override { log.push_back("Click"); }
    void DblClick() override { log.push_back("DblClick"); }
    void MouseDown(std::int16_t b) override { log.push_back("Down" + std::to_string(b)); }
    void MouseUp(std::int16_t b) override { log.push_back("Up" + std::to_string(b)); }
    void MouseMove() override { log.push_back("Move"); }
};

class TrayTest : public ::testing::Test {
protected:
    TrayTest() {
        defaultId = procs.RegisterProcedure(defaultProc);
        hWnd = procs.CreateWindowHandle(defaultId);
        tray = clsTray::Create(router, procs, shell, menus);
        tray->SetEvents(&events);
    }
    void ShowIcon() {
        tray->SetIcon(5);
        tray->SetToolTipText("Remote Receiver");
        ASSERT_TRUE(tray->AddIcon(hWnd));
        shell.calls.clear();
    }
    LResult Mouse(LParam mouseMessage) {
        return procs.Dispatch(hWnd, kTrayCallbackMessage, 0, mouseMessage);
    }

    WindowProcs procs;
    RecordingProcedure defaultProc;
    ProcId defaultId = 0;
    WindowHandle hWnd = 0;
    RecordingShell shell;
    ScriptedMenus menus;
    EventLog events;
    modSubClass router{procs};
    std::shared_ptr<clsTray> tray;
};

TEST_F(TrayTest, AddIconWithoutIconDoesNothing) {
    EXPECT_FALSE(tray->AddIcon(hWnd));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_FALSE(tray->Visible());
    EXPECT_EQ(tray->hWnd(), 0);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
}

TEST_F(TrayTest, AddIconShowsTheRecordAndWatchesTheWindow) {
    tray->SetIcon(5);
    tray->SetToolTipText("Remote Receiver");
    EXPECT_TRUE(shell.calls.empty());  // nothing shown yet
    ASSERT_TRUE(tray->AddIcon(hWnd));
    ASSERT_EQ(shell.calls.size(), 1u);
    const auto& call = shell.calls[0];
    EXPECT_EQ(call.op, NotifyIconOp::Add);
    EXPECT_EQ(call.data.hWnd, hWnd);
    EXPECT_EQ(call.data.uFlags, 7u);
    EXPECT_EQ(call.data.uCallbackMessage, 0x401u);
    EXPECT_EQ(call.data.hIcon, 5);
    EXPECT_EQ(call.data.szTip, "Remote Receiver");
    EXPECT_NE(call.data.uID, 0u);
    EXPECT_TRUE(tray->Visible());
    EXPECT_EQ(tray->hWnd(), hWnd);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), router.SubClassProcId());
    EXPECT_EQ(tray->ProcOrg(), defaultId);

    auto second = clsTray::Create(router, procs, shell, menus);
    EXPECT_NE(second->Record().uID, call.data.uID);
}

TEST_F(TrayTest, ChangesWhileShownModifyTheIcon) {
    ShowIcon();
    tray->SetIcon(6);
    tray->SetToolTipText("x");
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[0].op, NotifyIconOp::Modify);
    EXPECT_EQ(shell.calls[0].data.hIcon, 6);
    EXPECT_EQ(shell.calls[1].data.szTip, "x");
    EXPECT_EQ(tray->Icon(), 6);
}

TEST_F(TrayTest, ToolTipKeepsAtMost63Characters) {
    tray->SetToolTipText(std::string(70, 'a'));
    EXPECT_EQ(tray->ToolTipText(), std::string(63, 'a'));
    tray->SetToolTipText(std::string(63, 'b'));
    EXPECT_EQ(tray->ToolTipText(), std::string(63, 'b'));
    // Japanese text is cut between characters, never inside one.
    std::string kana;
    for (int i = 0; i < 70; ++i)
        kana += "あ";
    tray->SetToolTipText(kana);
    EXPECT_EQ(tray->ToolTipText().size(), 63u * 3u);
    EXPECT_EQ(CutToCharacters("aあb", 2), "aあ");
}

TEST_F(TrayTest, ToolTipEndsAtItsFirstNul) {
    ShowIcon();
    tray->SetToolTipText(std::string("Remote\0Receiver", 15));
    EXPECT_EQ(tray->ToolTipText(), "Remote");
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].data.szTip, "Remote");
    tray->SetToolTipText(std::string(1, '\0'));
    EXPECT_EQ(tray->ToolTipText(), "");
}

TEST_F(TrayTest, LeftDoubleClickGivesOneClickAndOneDblClick) {
    ShowIcon();
    EXPECT_EQ(Mouse(kWmLButtonDown), 0);
    EXPECT_EQ(Mouse(kWmLButtonUp), 0);
    EXPECT_EQ(Mouse(kWmLButtonDblClk), 0);
    EXPECT_EQ(Mouse(kWmLButtonUp), 0);
    EXPECT_EQ(events.log, (std::vector<std::string>{"Down1", "Up1", "Click", "DblClick", "Up1"}));
    // The flag is cleared: the next single click is a click again.
    events.log.clear();
    Mouse(kWmLButtonDown);
    Mouse(kWmLButtonUp);
    EXPECT_EQ(events.log, (std::vector<std::string>{"Down1", "Up1", "Click"}));
    EXPECT_TRUE(defaultProc.seen.empty());
}

TEST_F(TrayTest, OtherButtonsAndMoveRaiseTheirEvents) {
    ShowIcon();
    for (LParam m : {kWmMouseMove, kWmRButtonDown, kWmRButtonUp, kWmRButtonDblClk, kWmMButtonDown,
                     kWmMButtonUp, kWmMButtonDblClk}) {
        EXPECT_EQ(Mouse(m), 0) << m;
    }
    EXPECT_EQ(events.log, (std::vector<std::string>{"Move", "Down2", "Up2", "Down4", "Up4"}));
    EXPECT_TRUE(defaultProc.seen.empty());
}

TEST_F(TrayTest, UnknownCallbacksAndOtherMessagesPassOn) {
    ShowIcon();
    EXPECT_EQ(tray->WindowProc(hWnd, kTrayCallbackMessage, 0, 0x020A), -1);
    EXPECT_EQ(tray->WindowProc(hWnd, kWmDeviceChange, 0x8000, 0), -1);
    // Through the router they reach the window's own procedure.
    EXPECT_EQ(Mouse(0x020A), 42);
    EXPECT_EQ(procs.Dispatch(hWnd, 0x0010, 1, 2), 42);
    EXPECT_EQ(defaultProc.seen.size(), 2u);
    EXPECT_TRUE(events.log.empty());
}

TEST_F(TrayTest, TaskbarRestartAddsTheIconAgainWhenShown) {
    ShowIcon();
    const MessageId restart = procs.RegisterMessage("TaskbarCreated");
    EXPECT_EQ(tray->TaskbarRestartMessage(), restart);
    EXPECT_EQ(procs.Dispatch(hWnd, restart, 0, 0), 0);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].op, NotifyIconOp::Add);
    EXPECT_EQ(shell.calls[0].data.szTip, "Remote Receiver");
    EXPECT_TRUE(defaultProc.seen.empty());

    // Hidden: the restart adds nothing (and the window is no longer watched).
    tray->SetVisible(false);
    shell.calls.clear();
    EXPECT_EQ(tray->WindowProc(hWnd, restart, 0, 0), 0);
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(TrayTest, DeleteIconRemovesItAndRestoresTheWindow) {
    ShowIcon();
    tray->DeleteIcon();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].op, NotifyIconOp::Delete);
    EXPECT_FALSE(tray->Visible());
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
    Mouse(kWmLButtonDown);
    EXPECT_TRUE(events.log.empty());

    tray->SetVisible(true);
    EXPECT_TRUE(tray->Visible());
    EXPECT_EQ(shell.calls.back().op, NotifyIconOp::Add);
    EXPECT_EQ(shell.calls.back().data.hWnd, hWnd);
}

TEST_F(TrayTest, TheIconGoesWhenTheLastHolderLetsGo) {
    ShowIcon();
    tray.reset();  // the registry still holds it
    EXPECT_TRUE(shell.calls.empty());
    router.ReleaseAll();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].op, NotifyIconOp::Delete);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
}

TEST_F(TrayTest, PopupMenuRunsTheChosenCommand) {
    std::vector<std::string> ran;
    TrayMenu menu;
    menu.items.push_back({"設定", true, false, [&ran] { ran.push_back("config"); }});
    menu.items.push_back({"終了", false, false, [&ran] { ran.push_back("exit"); }});
    menu.defaultIndex = 1;
    menus.choices = {1, -1};
    EXPECT_EQ(tray->PopupMenu(hWnd, menu), 1);
    EXPECT_EQ(ran, (std::vector<std::string>{"exit"}));
    EXPECT_EQ(tray->PopupMenu(hWnd, menu), -1);
    EXPECT_EQ(ran.size(), 1u);
    ASSERT_EQ(menus.shown.size(), 2u);
    EXPECT_EQ(menus.shown[0].defaultIndex, 1);
    EXPECT_EQ(menus.owners[0], hWnd);
}

// The owner: opens the menu on any button; "終了" ends the program from
// inside the tray's own message handling.
class Owner : public clsTrayEvents {
public:
    Owner(std::shared_ptr<clsTray>& tray, modSubClass& router, WindowHandle hWnd)
        : mTray(tray), mRouter(router), mHWnd(hWnd) {}
    void MouseDown(std::int16_t) override {
        TrayMenu menu;
        menu.items.push_back({"設定", true, false, nullptr});
        menu.items.push_back({"終了", false, false, [this] { Exit(); }});
        menu.defaultIndex = 1;
        mTray->PopupMenu(mHWnd, menu);
    }
    void MouseUp(std::int16_t) override { ++upsAfterExit; }
    void Exit() {
        mTray->SetEvents(nullptr);
        mTray.reset();
        mRouter.ReleaseAll();
        exited = true;
        upsAfterExit = 0;
    }
    bool exited = false;
    int upsAfterExit = 0;

private:
    std::shared_ptr<clsTray>& mTray;
    modSubClass& mRouter;
    WindowHandle mHWnd;
};

TEST_F(TrayTest, ExitFromTheTrayMenuEndsTheTrayAfterItsHandlingReturns) {
    ShowIcon();
    Owner owner(tray, router, hWnd);
    tray->SetEvents(&owner);
    menus.choices = {1};
    EXPECT_EQ(Mouse(kWmRButtonDown), 0);
    EXPECT_TRUE(owner.exited);
    EXPECT_FALSE(tray);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].op, NotifyIconOp::Delete);
    // The release that follows the press no longer reaches anyone but the window.
    EXPECT_EQ(Mouse(kWmRButtonUp), 42);
    EXPECT_EQ(owner.upsAfterExit, 0);
    EXPECT_EQ(menus.shown.size(), 1u);
    EXPECT_EQ(menus.shown[0].items[1].caption, "終了");
}

}  // namespace
}  // namespace qv
