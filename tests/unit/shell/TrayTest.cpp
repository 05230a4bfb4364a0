#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ShellFakes.h"
#include "shell/Tray.h"

namespace qv {
namespace {

using test::FakeTrayIcon;

class EventLog : public TrayEvents {
public:
    std::vector<std::string> log;
    void TrayActivated(TrayButton b) override {
        log.push_back("Activated" + std::to_string(static_cast<int>(b)));
    }
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
    tray->SetToolTipText("Remote Receiver");
    EXPECT_TRUE(icon.calls.empty()) << "a hidden icon's tooltip is kept, not shown";

    EXPECT_TRUE(tray->AddIcon());
    EXPECT_EQ(icon.calls, Log{"show Remote Receiver"});

    tray->SetToolTipText("Other");
    EXPECT_EQ(icon.calls.back(), "show Other") << "a shown icon gets the new tooltip at once";
}

TEST_F(TrayTest, ARefusedIconComesBackWithTheHost) {
    icon.hostThere = false;
    tray->SetToolTipText("Remote Receiver");
    EXPECT_FALSE(tray->AddIcon());
    icon.calls.clear();
    icon.hostThere = true;
    icon.HostRestarted();
    EXPECT_EQ(icon.calls, Log{"show Remote Receiver"});
}

TEST_F(TrayTest, ToolTipEndsAtItsFirstNulAndKeepsAtMost63Characters) {
    ShowIcon();
    tray->SetToolTipText(std::string(70, 'a'));
    EXPECT_EQ(icon.toolTip, std::string(63, 'a'));
    tray->SetToolTipText(std::string(63, 'b'));
    EXPECT_EQ(icon.toolTip, std::string(63, 'b'));
    tray->SetToolTipText(std::string(64, 'c'));
    EXPECT_EQ(icon.toolTip, std::string(63, 'c'));

    // Japanese text is cut between characters, never inside one.
    std::string kana;
    for (int i = 0; i < 70; ++i) {
        kana += "あ";
    }
    tray->SetToolTipText(kana);
    EXPECT_EQ(icon.toolTip.size(), 63u * 3u);
    EXPECT_EQ(CutToCharacters("aあb", 2), "aあ");
    EXPECT_EQ(CutToCharacters("aあb", 0), "");

    icon.calls.clear();
    tray->SetToolTipText(std::string("Remote\0Receiver", 15));
    EXPECT_EQ(icon.calls, Log{"show Remote"}) << "nothing after the NUL reaches the icon";
    tray->SetToolTipText(std::string(1, '\0'));
    EXPECT_EQ(icon.toolTip, "");
}

TEST_F(TrayTest, EachButtonActivatesTheIconWithThatButton) {
    ShowIcon();
    icon.Press(TrayButton::Left);
    icon.Press(TrayButton::Right);
    icon.Press(TrayButton::Middle);
    EXPECT_EQ(events.log, (Log{"Activated1", "Activated2", "Activated4"}));
    EXPECT_TRUE(icon.calls.empty()) << "an activation alone changes nothing on the icon";
}

TEST_F(TrayTest, TheRestartedHostGetsTheIconAgainWithTheSameTooltipUnlessItWasDeleted) {
    ShowIcon();
    icon.HostRestarted();
    EXPECT_EQ(icon.calls, Log{"show Remote Receiver"});
    EXPECT_TRUE(events.log.empty());

    tray->DeleteIcon();
    EXPECT_EQ(icon.calls.back(), "hide");
    icon.calls.clear();
    icon.HostRestarted();
    EXPECT_TRUE(icon.calls.empty());
    EXPECT_FALSE(icon.shown);
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
// the window, which holds the tray and the menu, from inside the activation.
class Owner : public TrayEvents {
public:
    explicit Owner(FakeTrayIcon& icon) : tray(std::make_unique<Tray>(icon, *this)) {}
    void TrayActivated(TrayButton) override {
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

    std::unique_ptr<Tray> tray;
    bool exited = false;
    int chosen = -2;
};

TEST(TrayExitTest, ExitFromTheMenuEndsTheTrayInsideItsOwnEvent) {
    FakeTrayIcon icon;
    Owner owner(icon);
    ASSERT_TRUE(owner.tray->AddIcon());
    icon.choices = {1};
    icon.Press(TrayButton::Left);
    EXPECT_TRUE(owner.exited);
    EXPECT_EQ(owner.chosen, 1);
    EXPECT_FALSE(owner.tray);
    EXPECT_FALSE(icon.shown) << "the icon went with the tray";
    EXPECT_EQ(icon.sink, nullptr);
    // A later press reaches no one.
    icon.Press(TrayButton::Left);
    EXPECT_EQ(icon.menus.size(), 1u);
}

}  // namespace
}  // namespace qv
