// The entry editor (store, step, clear) and key capture in the key-list box.
#include <QKeyEvent>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app_Harness.h"
#include "config/RemoteTable.h"

namespace qv::test {
namespace {

const std::string kTwoSlots =
    "[Remote1]\r\nPulse=12,34,56\r\nComment=one\r\nAdjustTime=1\r\nWindowName=W1\r\nKeyList=DA, "
    "UA\r\n"
    "[Remote2]\r\nPulse=01,02,03\r\nComment=two\r\nAdjustTime=-2\r\nWindowName=\r\n"
    "KeyList=D[CTRL] , DC\r\n";

class Editor : public ::testing::Test {
protected:
    void Start(const std::string& ini, bool writeIni = true) {
        h = std::make_unique<FormHarness>(sim::BusOptions{}, ini, writeIni);
        h->form->Load();
        h->form->Timer1->stop();
        h->form->SelectTab(2);
    }
    void Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) { h->PressAndTick(v0, v1, v2); }
    frmMain& F() { return *h->form; }
    std::unique_ptr<FormHarness> h;
};

TEST_F(Editor, TabSwitchEnablesOnlyTheSelectedPage) {
    Start("");
    EXPECT_FALSE(F().Picture1[0]->isEnabled());
    EXPECT_TRUE(F().Picture1[1]->isEnabled());
    F().txtComment->setText("kept");
    F().SelectTab(1);
    EXPECT_TRUE(F().Picture1[0]->isEnabled());
    EXPECT_FALSE(F().Picture1[1]->isEnabled());
    EXPECT_EQ(F().txtComment->text(), "kept");
}

TEST_F(Editor, StoreWithoutPulseWarnsAndWritesNothing) {
    Start(kTwoSlots);
    const std::string before = h->IniBytes();
    F().cmdChange->click();
    ASSERT_EQ(h->dialogs.shown.size(), 1u);
    EXPECT_EQ(h->dialogs.shown[0].text, "パルスデータが存在しません。");
    EXPECT_EQ(h->dialogs.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(h->dialogs.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(h->IniBytes(), before);
}

TEST_F(Editor, StoreIntoFirstFreeSlotAsksNothingAndWritesFiveKeysInOrder) {
    Start(kTwoSlots);
    ASSERT_EQ(F().txtNumber->text(), "3");
    Capture(5, 120, 7);
    F().txtComment->setText("  新しい  ");
    F().cboAdjustTime->setCurrentIndex(3);
    F().txtWindowName->setText("QvTarget");
    F().SetKeyListText("D[RETURN]\r\nU[RETURN]");
    F().cmdChange->click();
    EXPECT_TRUE(h->dialogs.shown.empty());
    const std::string bytes = h->IniBytes();
    EXPECT_NE(bytes.find("[Remote3]\r\nPulse=05,120,07\r\nComment=新しい\r\nAdjustTime=3\r\n"
                         "WindowName=QvTarget\r\nKeyList=D[RETURN], U[RETURN]\r\n"),
              std::string::npos)
        << bytes;
    ASSERT_EQ(F().Remotes().UpperIndex(), 3);
    const RemoteEntry& e = F().Remotes()[3];
    EXPECT_EQ(e.Comment, "  新しい  ");  // the table keeps what the box held
    EXPECT_EQ(e.KeyList, "D[RETURN], U[RETURN]");
    EXPECT_EQ(e.AdjustTime, 3);
    EXPECT_EQ(F().txtNumber->text(), "3");  // not advanced
    // The new slot fires at once in run mode.
    F().SelectTab(1);
    h->PressAndTick(5, 120, 7);
    EXPECT_EQ(F().ReceiveListText(), "  新しい  \r\n");
}

TEST_F(Editor, StoreOverStoredSlotAnsweredNoChangesNothing) {
    Start(kTwoSlots);
    F().cmdUpDown_Click(1);
    F().cmdUpDown_Click(1);
    ASSERT_EQ(F().txtNumber->text(), "1");
    Capture(9, 9, 9);
    F().txtComment->setText("replaced");
    const std::string before = h->IniBytes();
    h->dialogs.answers = {MsgAnswer::No};
    F().cmdChange->click();
    ASSERT_EQ(h->dialogs.shown.size(), 1u);
    EXPECT_EQ(h->dialogs.shown[0].text, "既に記録されています。上書きしますか？");
    EXPECT_EQ(h->dialogs.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(h->dialogs.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(h->dialogs.shown[0].defaultNo);
    EXPECT_EQ(h->IniBytes(), before);
    EXPECT_EQ(F().Remotes()[1].Comment, "one");

    // Answered Yes: replaced in file and table.
    h->dialogs.answers = {MsgAnswer::Yes};
    F().cmdChange->click();
    EXPECT_NE(h->IniBytes().find("[Remote1]\r\nPulse=09,09,09\r\nComment=replaced"),
              std::string::npos);
    EXPECT_EQ(F().Remotes()[1].Comment, "replaced");
    EXPECT_EQ(F().Remotes().UpperIndex(), 2);
}

TEST_F(Editor, FailedWriteShowsAMessageAndLeavesTheTable) {
    Start(kTwoSlots);
    Capture(7, 7, 7);
    F().txtComment->setText("lost?");
    h->files->failWrites = true;
    F().cmdChange->click();
    ASSERT_EQ(h->dialogs.shown.size(), 1u);
    EXPECT_EQ(h->dialogs.shown[0].text, "設定ファイルへの書き込みに失敗しました。");
    EXPECT_EQ(h->dialogs.shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(F().Remotes().UpperIndex(), 2);
    F().SelectTab(1);
    h->PressAndTick(7, 7, 7);
    EXPECT_TRUE(F().ReceiveListText().empty());
}

TEST_F(Editor, StepReadsEveryValueFromTheFile) {
    Start(kTwoSlots);
    F().cmdUpDown_Click(1);  // 3 -> 2
    EXPECT_EQ(F().txtNumber->text(), "2");
    EXPECT_EQ(F().txtComment->text(), "two");
    EXPECT_EQ(F().PulseText(), "01,02,03");
    EXPECT_EQ(F().txtPulse->text(), "01,02,03");
    EXPECT_EQ(F().cboAdjustTime->currentText(), QString::fromUtf8("0秒"));  // -2 shows 0
    // A hand-written "D[CTRL] , DC" shows as two lines without blanks.
    EXPECT_EQ(F().KeyListText(), "D[CTRL]\r\nDC");
    F().cmdUpDown_Click(1);  // 2 -> 1
    EXPECT_EQ(F().txtComment->text(), "one");
    EXPECT_EQ(F().txtWindowName->text(), "W1");
    EXPECT_EQ(F().cboAdjustTime->currentIndex(), 1);
    EXPECT_EQ(F().KeyListText(), "DA\r\nUA");

    // The file, not the table, is what browsing shows.
    WriteAll(h->iniPath, h->IniBytes() + "[Remote3]\r\nPulse=4,4,4\r\nComment=hand\r\n");
    F().cmdUpDown_Click(0);
    F().cmdUpDown_Click(0);
    EXPECT_EQ(F().txtNumber->text(), "3");
    EXPECT_EQ(F().txtComment->text(), "hand");
    EXPECT_EQ(F().Remotes().UpperIndex(), 2);

    // Forward onto the first free slot: empty fields, 0秒, no pulse, keys cleared.
    F().cmdUpDown_Click(0);
    EXPECT_EQ(F().txtNumber->text(), "4");
    EXPECT_TRUE(F().txtComment->text().isEmpty());
    EXPECT_TRUE(F().PulseText().empty());
    EXPECT_EQ(F().cboAdjustTime->currentIndex(), 0);
    EXPECT_TRUE(F().KeyListText().empty());
}

TEST_F(Editor, StepStopsAtSlotOneAndAtTheFirstFreeSlotChangingNothing) {
    Start(kTwoSlots);
    // Forward on a slot without pulse data (the first free one, 3).
    F().txtComment->setText("typed");
    F().SetKeyListText("DA");
    F().cmdUpDown_Click(0);
    EXPECT_EQ(F().txtNumber->text(), "3");
    EXPECT_EQ(F().txtComment->text(), "typed");
    EXPECT_EQ(F().KeyListText(), "DA");
    // Back at slot 1.
    F().cmdUpDown_Click(1);
    F().cmdUpDown_Click(1);
    F().txtComment->setText("typed again");
    F().cmdUpDown_Click(1);
    EXPECT_EQ(F().txtNumber->text(), "1");
    EXPECT_EQ(F().txtComment->text(), "typed again");
}

TEST_F(Editor, StoredKeyListShowsAgainAfterSteppingAwayAndBack) {
    Start(kTwoSlots);
    F().cmdUpDown_Click(1);
    F().SetKeyListText("D[RETURN]\r\nU[RETURN]");
    h->dialogs.answers = {MsgAnswer::Yes};
    F().cmdChange->click();
    EXPECT_NE(h->IniBytes().find("KeyList=D[RETURN], U[RETURN]\r\n"), std::string::npos);
    F().cmdUpDown_Click(1);
    F().cmdUpDown_Click(0);
    EXPECT_EQ(F().KeyListText(), "D[RETURN]\r\nU[RETURN]");
}

// ---- key capture ----

void Key(QWidget* w, QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
         bool autoRepeat = false, const QString& text = {}) {
    QKeyEvent event(type, key, mods, text, autoRepeat);
    QApplication::sendEvent(w, &event);
}

TEST_F(Editor, HoldingAKeyUntilItRepeatsGivesOnePressAndOneRelease) {
    Start("", false);
    QWidget* box = F().txtKeyList;
    Key(box, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, false, "a");
    for (int i = 0; i < 3; ++i) {  // X11 frames each repetition with a release
        Key(box, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, true, "a");
        Key(box, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, true, "a");
    }
    Key(box, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, false, "a");
    EXPECT_EQ(F().KeyListText(), "DA\r\nUA");
    // Twice: four lines.
    Key(box, QEvent::KeyPress, Qt::Key_A);
    Key(box, QEvent::KeyRelease, Qt::Key_A);
    EXPECT_EQ(F().KeyListText(), "DA\r\nUA\r\nDA\r\nUA");
}

TEST_F(Editor, ChordsAreRecordedAsTheirPressesAndReleases) {
    Start("", false);
    QWidget* box = F().txtKeyList;
    Key(box, QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    Key(box, QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    Key(box, QEvent::KeyRelease, Qt::Key_C, Qt::ControlModifier);
    Key(box, QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    EXPECT_EQ(F().KeyListText(), "D[CTRL]\r\nDC\r\nUC\r\nU[CTRL]");
    F().cmdClear->click();
    EXPECT_TRUE(F().KeyListText().empty());
    Key(box, QEvent::KeyPress, Qt::Key_5, Qt::KeypadModifier);
    Key(box, QEvent::KeyPress, Qt::Key_F5);
    Key(box, QEvent::KeyPress, Qt::Key_Semicolon);
    Key(box, QEvent::KeyPress, Qt::Key_Henkan);
    EXPECT_EQ(F().KeyListText(), "D[NUMPAD5]\r\nD[F5]\r\nD[186]\r\nD[CONVERT]");
}

TEST_F(Editor, PunctuationIsRecordedAsItsUnshiftedKeyWithOrWithoutShift) {
    Start("", false);
    QWidget* box = F().txtKeyList;
    // Each key of a US layout, unshifted and shifted (dead keys of the
    // international variant included), with the code of the key itself.
    const std::pair<std::vector<int>, const char*> keys[] = {
        {{Qt::Key_Semicolon, Qt::Key_Colon}, "[186]"},
        {{Qt::Key_Equal, Qt::Key_Plus}, "[187]"},
        {{Qt::Key_Comma, Qt::Key_Less}, "[188]"},
        {{Qt::Key_Minus, Qt::Key_Underscore}, "[189]"},
        {{Qt::Key_Period, Qt::Key_Greater}, "[190]"},
        {{Qt::Key_Slash, Qt::Key_Question}, "[191]"},
        {{Qt::Key_QuoteLeft, Qt::Key_AsciiTilde, Qt::Key_Dead_Grave, Qt::Key_Dead_Tilde}, "[192]"},
        {{Qt::Key_BracketLeft, Qt::Key_BraceLeft}, "[219]"},
        {{Qt::Key_Backslash, Qt::Key_Bar}, "[220]"},
        {{Qt::Key_BracketRight, Qt::Key_BraceRight}, "[221]"},
        {{Qt::Key_Apostrophe, Qt::Key_QuoteDbl, Qt::Key_Dead_Acute, Qt::Key_Dead_Diaeresis},
         "[222]"},
        {{Qt::Key_1, Qt::Key_Exclam}, "1"},
        {{Qt::Key_2, Qt::Key_At}, "2"},
        {{Qt::Key_3, Qt::Key_NumberSign}, "3"},
        {{Qt::Key_4, Qt::Key_Dollar}, "4"},
        {{Qt::Key_5, Qt::Key_Percent}, "5"},
        {{Qt::Key_6, Qt::Key_AsciiCircum, Qt::Key_Dead_Circumflex}, "6"},
        {{Qt::Key_7, Qt::Key_Ampersand}, "7"},
        {{Qt::Key_8, Qt::Key_Asterisk}, "8"},
        {{Qt::Key_9, Qt::Key_ParenLeft}, "9"},
        {{Qt::Key_0, Qt::Key_ParenRight}, "0"},
    };
    for (const auto& [qtKeys, name] : keys) {
        std::string expected;
        for (std::size_t i = 0; i < qtKeys.size(); ++i) {
            const Qt::KeyboardModifiers mods = i == 0 ? Qt::NoModifier : Qt::ShiftModifier;
            Key(box, QEvent::KeyPress, qtKeys[i], mods);
            Key(box, QEvent::KeyRelease, qtKeys[i], mods);
            expected += std::string(expected.empty() ? "" : "\r\n") + "D" + name + "\r\nU" + name;
        }
        EXPECT_EQ(F().KeyListText(), expected) << name;
        F().cmdClear_Click();
    }
    // Shift let go before the key: the release still names the same key.
    Key(box, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    Key(box, QEvent::KeyPress, Qt::Key_Colon, Qt::ShiftModifier);
    Key(box, QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    Key(box, QEvent::KeyRelease, Qt::Key_Semicolon, Qt::NoModifier);
    EXPECT_EQ(F().KeyListText(), "D[SHIFT]\r\nD[186]\r\nU[SHIFT]\r\nU[186]");
}

TEST_F(Editor, QtTestKeyClicksReachTheCapture) {
    Start("", false);
    QTest::keyClick(F().txtKeyList, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(F().KeyListText(), "D[CTRL]\r\nDC\r\nUC\r\nU[CTRL]");
}

TEST_F(Editor, TabEnterEscapeAndBackspaceAreCapturedWithoutSideEffects) {
    Start("", false);
    F().show();
    F().txtKeyList->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(F().txtKeyList->hasFocus());
    QTest::keyClick(F().txtKeyList, Qt::Key_Tab);
    QTest::keyClick(F().txtKeyList, Qt::Key_Return);
    QTest::keyClick(F().txtKeyList, Qt::Key_Escape);
    QTest::keyClick(F().txtKeyList, Qt::Key_Backspace);
    EXPECT_TRUE(F().txtKeyList->hasFocus());
    EXPECT_TRUE(F().isVisible());
    EXPECT_FALSE(F().Unloaded());
    EXPECT_EQ(F().KeyListText(),
              "D[TAB]\r\nU[TAB]\r\nD[RETURN]\r\nU[RETURN]\r\nD[ESCAPE]\r\nU[ESCAPE]\r\n"
              "D[BACK]\r\nU[BACK]");
    F().hide();
}

TEST_F(Editor, ClearForgetsHeldKeysSoTheNextPressIsRecorded) {
    Start("", false);
    F().txtKeyList_KeyDown(0x41);
    F().txtKeyList_KeyDown(0x41);  // still held: ignored
    EXPECT_EQ(F().KeyListText(), "DA");
    EXPECT_EQ(F().KeyState(0x41), 1);
    F().cmdClear_Click();
    EXPECT_EQ(F().KeyState(0x41), 0);
    F().txtKeyList_KeyDown(0x41);
    EXPECT_EQ(F().KeyListText(), "DA");
    // A release is recorded even without its press.
    F().txtKeyList_KeyUp(0x42);
    EXPECT_EQ(F().KeyListText(), "DA\r\nUB");
}

}  // namespace
}  // namespace qv::test
