#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ShellFakes.h"
#include "shell/Tray.h"

namespace qv {
namespace {

using Kind = TrayMouse::Kind;
using test::FakeTrayIcon;

class EventLog : public TrayEvents {
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
    void ShowIcon() {
        tray->SetToolTipText("Remote Receiver");
        ASSERT_TRUE(tray->AddIcon());
        icon.calls.clear();
    }
    using Log = std::vector<std::string>;

    FakeTrayIcon icon;
    EventLog events;
    std::unique_ptr<Tray> tray = std::make_unique<Tray>(icon, events);
};

TEST_F(TrayTest, NothingIsShownUntilAddIcon) {
    EXPECT_NE(icon.sink, nullptr);
    EXPECT_FALSE(tray->Visible());
    tray->SetToolTipText("Remote Receiver");
    EXPECT_TRUE(icon.calls.empty()) << "a hidden icon's tooltip is kept, not shown";

    EXPECT_TRUE(tray->AddIcon());
    EXPECT_EQ(icon.calls, Log{"show Remote Receiver"});
    EXPECT_TRUE(tray->Visible());

    tray->SetToolTipText("Other");
    EXPECT_EQ(icon.calls.back(), "show Other") << "a shown icon gets the new tooltip at once";
}

TEST_F(TrayTest, ARefusedIconStaysVisibleAndComesBackWithTheHost) {
    icon.hostThere = false;
    tray->SetToolTipText("Remote Receiver");
    EXPECT_FALSE(tray->AddIcon());
    EXPECT_TRUE(tray->Visible());
    icon.calls.clear();
    icon.hostThere = true;
    icon.HostRestarted();
    EXPECT_EQ(icon.calls, Log{"show Remote Receiver"});
}

TEST_F(TrayTest, ToolTipEndsAtItsFirstNulAndKeepsAtMost63Characters) {
    tray->SetToolTipText(std::string(70, 'a'));
    EXPECT_EQ(tray->ToolTipText(), std::string(63, 'a'));
    tray->SetToolTipText(std::string(63, 'b'));
    EXPECT_EQ(tray->ToolTipText(), std::string(63, 'b'));
    tray->SetToolTipText(std::string(64, 'c'));
    EXPECT_EQ(tray->ToolTipText(), std::string(63, 'c'));

    // Japanese text is cut between characters, never inside one.
    std::string kana;
    for (int i = 0; i < 70; ++i) {
        kana += "あ";
    }
    tray->SetToolTipText(kana);
    EXPECT_EQ(tray->ToolTipText().size(), 63u * 3u);
    EXPECT_EQ(CutToCharacters("aあb", 2), "aあ");
    EXPECT_EQ(CutToCharacters("aあb", 0), "");

    ShowIcon();
    tray->SetToolTipText(std::string("Remote\0Receiver", 15));
    EXPECT_EQ(tray->ToolTipText(), "Remote");
    EXPECT_EQ(icon.calls, Log{"show Remote"}) << "nothing after the NUL reaches the icon";
    tray->SetToolTipText(std::string(1, '\0'));
    EXPECT_EQ(tray->ToolTipText(), "");
}

TEST_F(TrayTest, ASingleLeftClick) {
    ShowIcon();
    icon.Click(TrayButton::Left);
    EXPECT_EQ(events.log, (Log{"Down1", "Up1", "Click"}));
}

TEST_F(TrayTest, ALeftDoubleClickGivesOneClickAndOneDblClick) {
    ShowIcon();
    // As Windows reports it: press, release, double click, release.
    icon.Mouse(Kind::Down);
    icon.Mouse(Kind::Up);
    icon.Mouse(Kind::DoubleClick);
    icon.Mouse(Kind::Up);
    EXPECT_EQ(events.log, (Log{"Down1", "Up1", "Click", "DblClick", "Up1"}));

    // The release cleared the flag: the next single click is a click again.
    events.log.clear();
    icon.Click(TrayButton::Left);
    EXPECT_EQ(events.log, (Log{"Down1", "Up1", "Click"}));
}

TEST_F(TrayTest, OnlyALeftReleaseEndsADoubleClick) {
    ShowIcon();
    icon.Mouse(Kind::DoubleClick);
    icon.Click(TrayButton::Right);  // does not end the left double click
    icon.Mouse(Kind::Up);
    EXPECT_EQ(events.log, (Log{"DblClick", "Down2", "Up2", "Up1"}));
}

TEST_F(TrayTest, OtherButtonsAndMoveRaiseTheirEventsAndTheirDoubleClicksNothing) {
    ShowIcon();
    icon.Mouse(Kind::Move);
    icon.Mouse(Kind::Move, TrayButton::Right);  // a move has no button
    icon.Click(TrayButton::Right);
    icon.Mouse(Kind::DoubleClick, TrayButton::Right);
    icon.Click(TrayButton::Middle);
    icon.Mouse(Kind::DoubleClick, TrayButton::Middle);
    EXPECT_EQ(events.log, (Log{"Move", "Move", "Down2", "Up2", "Down4", "Up4"}));
}

TEST_F(TrayTest, TheRestartedHostGetsTheIconAgainWithTheSameTooltip) {
    ShowIcon();
    icon.HostRestarted();
    EXPECT_EQ(icon.calls, Log{"show Remote Receiver"});
    EXPECT_TRUE(events.log.empty());

    // Hidden: the restart adds nothing.
    tray->SetVisible(false);
    icon.calls.clear();
    icon.HostRestarted();
    EXPECT_TRUE(icon.calls.empty());
    EXPECT_FALSE(icon.shown);
}

TEST_F(TrayTest, DeleteIconAndVisibleFalseHideIt) {
    ShowIcon();
    tray->DeleteIcon();
    EXPECT_EQ(icon.calls, Log{"hide"});
    EXPECT_FALSE(tray->Visible());
    tray->SetVisible(true);
    EXPECT_TRUE(tray->Visible());
    EXPECT_EQ(icon.calls.back(), "show Remote Receiver");
    tray->SetVisible(false);
    EXPECT_EQ(icon.calls.back(), "hide");
}

TEST_F(TrayTest, TheTraysEndDeletesAShownIconAndLetsGoOfIt) {
    ShowIcon();
    tray.reset();
    EXPECT_EQ(icon.calls, Log{"hide"});
    EXPECT_EQ(icon.sink, nullptr);

    // A hidden one is not deleted again.
    tray = std::make_unique<Tray>(icon, events);
    icon.calls.clear();
    tray.reset();
    EXPECT_TRUE(icon.calls.empty());
}

TEST_F(TrayTest, PopupMenuRunsTheChosenCommandOnly) {
    std::vector<std::string> ran;
    TrayMenu menu;
    menu.items.push_back({"設定", true, false, [&ran] { ran.push_back("config"); }});
    menu.items.push_back({"終了", false, false, [&ran] { ran.push_back("exit"); }});
    menu.items.push_back({"none", false, false, nullptr});
    menu.defaultIndex = 1;
    icon.choices = {1, -1, 2, 7};
    EXPECT_EQ(tray->PopupMenu(menu), 1);
    EXPECT_EQ(ran, Log{"exit"});
    EXPECT_EQ(tray->PopupMenu(menu), -1);
    EXPECT_EQ(tray->PopupMenu(menu), 2) << "an item without a command";
    EXPECT_EQ(tray->PopupMenu(menu), 7) << "an index the menu does not have runs nothing";
    EXPECT_EQ(ran, Log{"exit"});
    ASSERT_EQ(icon.menus.size(), 4u);
    EXPECT_EQ(icon.menus[0].defaultIndex, 1);
    EXPECT_EQ(icon.menus[0].items[0].caption, "設定");
}

// The main window as it uses the tray: any button opens the menu; "終了" ends
// the window, which holds the tray and the menu, from inside the press.
class Owner : public TrayEvents {
public:
    explicit Owner(FakeTrayIcon& icon) : tray(std::make_unique<Tray>(icon, *this)) {}
    void MouseDown(std::int16_t) override {
        auto menu = std::make_unique<TrayMenu>();
        menu->items.push_back({"設定", true, false, nullptr});
        menu->items.push_back({"終了", false, false, [this, &menu] {
                                   menu.reset();  // the menu's owner goes first
                                   tray.reset();
                                   exited = true;
                               }});
        menu->defaultIndex = 1;
        chosen = tray->PopupMenu(*menu);
    }
    void MouseUp(std::int16_t) override { ++ups; }
    void Click() override { ++clicks; }

    std::unique_ptr<Tray> tray;
    bool exited = false;
    int chosen = -2;
    int ups = 0;
    int clicks = 0;
};

TEST(TrayExitTest, ExitFromTheMenuEndsTheTrayInsideItsOwnEvent) {
    FakeTrayIcon icon;
    Owner owner(icon);
    ASSERT_TRUE(owner.tray->AddIcon());
    icon.choices = {1};
    icon.Mouse(Kind::Down, TrayButton::Left);
    EXPECT_TRUE(owner.exited);
    EXPECT_EQ(owner.chosen, 1);
    EXPECT_FALSE(owner.tray);
    EXPECT_FALSE(icon.shown) << "the icon went with the tray";
    EXPECT_EQ(icon.sink, nullptr);
    // The release that follows the press reaches no one.
    icon.Mouse(Kind::Up, TrayButton::Left);
    EXPECT_EQ(owner.ups, 0);
    EXPECT_EQ(owner.clicks, 0);
}

// Ends the tray from MouseUp: the left release must not go on to Click.
class EndsOnRelease : public TrayEvents {
public:
    explicit EndsOnRelease(FakeTrayIcon& icon) : tray(std::make_unique<Tray>(icon, *this)) {}
    void MouseUp(std::int16_t) override { tray.reset(); }
    void Click() override { ++clicks; }
    std::unique_ptr<Tray> tray;
    int clicks = 0;
};

TEST(TrayExitTest, ATrayEndedByMouseUpRaisesNoClick) {
    FakeTrayIcon icon;
    EndsOnRelease owner(icon);
    TrayIconSink* sink = icon.sink;
    ASSERT_NE(sink, nullptr);
    sink->TrayMouseEvent(TrayMouse{Kind::Up, TrayButton::Left});
    EXPECT_FALSE(owner.tray);
    EXPECT_EQ(owner.clicks, 0);
}

}  // namespace
}  // namespace qv
