// The entry editor's commands (tab switch, store, step, clear) and key capture.
#include <gtest/gtest.h>

#include "CoreHarness.h"

namespace qv::test {
namespace {

const std::string kTwoSlots =
    "[Remote1]\r\nPulse=12,34,56\r\nComment=one\r\nAdjustTime=1\r\nWindowName=W1\r\nKeyList=DA, "
    "UA\r\n"
    "[Remote2]\r\nPulse=01,02,03\r\nComment=two\r\nAdjustTime=-2\r\nWindowName=\r\n"
    "KeyList=D[CTRL] , DC\r\n";

class EditorTest : public ::testing::Test {
protected:
    void Start(const std::string& ini, bool write = true) {
        h = std::make_unique<CoreHarness>(ini, write);
        h->Load();
        h->SelectTab(2);
    }
    void Capture(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2) { h->PressAndTick(v0, v1, v2); }
    SharedRemoteTable& Table() { return h->app->Shared().remote; }
    std::unique_ptr<CoreHarness> h;
};

TEST_F(EditorTest, TabSwitchShowsTheSelectedPageAndKeepsTheFields) {
    Start("");
    EXPECT_EQ(h->view.shownPage, 2);
    EXPECT_EQ(h->app->Shared().selectedTab.load(), 2);
    h->view.comment = "kept";
    h->SelectTab(1);
    EXPECT_EQ(h->view.shownPage, 1);
    EXPECT_EQ(h->app->Shared().selectedTab.load(), 1);
    EXPECT_EQ(h->view.comment, "kept");
}

TEST_F(EditorTest, StoreWithoutPulseWarnsAndWritesNothing) {
    Start(kTwoSlots);
    const std::string before = h->IniBytes();
    h->app->StoreEntry();
    ASSERT_EQ(h->view.boxes.size(), 1u);
    EXPECT_EQ(h->view.boxes[0].text, "パルスデータが存在しません。");
    EXPECT_EQ(h->view.boxes[0].kind, MessageKind::Warning);
    EXPECT_FALSE(h->view.boxes[0].question);
    EXPECT_EQ(h->IniBytes(), before);
    EXPECT_EQ(h->files->writes, 0);
}

TEST_F(EditorTest, StoreIntoFirstFreeSlotAsksNothingAndWritesFiveKeysInOrder) {
    Start(kTwoSlots);
    ASSERT_EQ(h->view.number, "3");
    Capture(5, 120, 7);
    h->view.comment = "  新しい  ";
    h->view.adjustIndex = 3;
    h->view.windowName = "QvTarget";
    h->view.keyList = "D[RETURN]\r\nU[RETURN]";
    h->app->StoreEntry();
    EXPECT_TRUE(h->view.boxes.empty());
    const std::string bytes = h->IniBytes();
    EXPECT_NE(bytes.find("[Remote3]\r\nPulse=05,120,07\r\nComment=新しい\r\nAdjustTime=3\r\n"
                         "WindowName=QvTarget\r\nKeyList=D[RETURN], U[RETURN]\r\n"),
              std::string::npos)
        << bytes;
    EXPECT_EQ(h->files->writes, 1);  // the five keys in one replacement
    ASSERT_EQ(Table().UpperIndex(), 3);
    EXPECT_EQ(Table().Entry(3).comment, "  新しい  ");  // the table keeps what the box held
    EXPECT_EQ(Table().Entry(3).keyList.Stored(), "D[RETURN], U[RETURN]");
    EXPECT_EQ(Table().Entry(3).keyList.Strokes().size(), 2u);
    EXPECT_EQ(Table().Entry(3).adjustTime, 3);
    EXPECT_EQ(h->view.number, "3");  // not advanced
    h->SelectTab(1);
    h->PressAndTick(5, 120, 7);
    EXPECT_EQ(h->view.receiveLines, (std::vector<std::string>{"  新しい  "}));
}

TEST_F(EditorTest, NoAdjustTimeSelectedStoresZeroAndAdjustPulseIsKept) {
    Start("[Remote1]\r\nPulse=1,1,1\r\nAdjustPulse=7\r\n");
    h->view.number = "1";
    Capture(2, 2, 2);
    h->view.adjustIndex = -1;
    h->app->StoreEntry();
    const std::string bytes = h->IniBytes();
    EXPECT_NE(bytes.find("AdjustTime=0\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("AdjustPulse=7\r\n"), std::string::npos) << bytes;
}

TEST_F(EditorTest, StoreOverStoredSlotAnsweredNoChangesNothingYesReplaces) {
    Start(kTwoSlots);
    h->app->StepSlot(SlotStep::Previous);
    h->app->StepSlot(SlotStep::Previous);
    ASSERT_EQ(h->view.number, "1");
    Capture(9, 9, 9);
    h->view.comment = "replaced";
    const std::string before = h->IniBytes();
    h->view.answers = {Answer::No};
    h->app->StoreEntry();
    ASSERT_EQ(h->view.boxes.size(), 1u);
    EXPECT_EQ(h->view.boxes[0].text, "既に記録されています。上書きしますか？");
    EXPECT_EQ(h->view.boxes[0].kind, MessageKind::Question);
    EXPECT_TRUE(h->view.boxes[0].question);
    EXPECT_EQ(h->view.boxes[0].defaultAnswer, Answer::No);
    EXPECT_EQ(h->IniBytes(), before);
    EXPECT_EQ(Table().Entry(1).comment, "one");

    h->view.answers = {Answer::Yes};
    h->app->StoreEntry();
    EXPECT_NE(h->IniBytes().find("[Remote1]\r\nPulse=09,09,09\r\nComment=replaced"),
              std::string::npos);
    EXPECT_EQ(Table().Entry(1).comment, "replaced");
    EXPECT_EQ(Table().UpperIndex(), 2);
}

TEST_F(EditorTest, APulseCapturedWhileTheQuestionIsOpenIsTheOneStored) {
    Start(kTwoSlots);
    h->app->StepSlot(SlotStep::Previous);  // slot 2, stored
    Capture(9, 9, 9);
    h->view.whileBoxOpen = [this] { Capture(8, 8, 8); };
    h->app->StoreEntry();
    EXPECT_NE(h->IniBytes().find("[Remote2]\r\nPulse=08,08,08"), std::string::npos)
        << h->IniBytes();
}

TEST_F(EditorTest, FailedWriteShowsAMessageAndLeavesTheTable) {
    Start(kTwoSlots);
    Capture(7, 7, 7);
    h->view.comment = "lost?";
    h->files->failWrites = true;
    h->app->StoreEntry();
    ASSERT_EQ(h->view.boxes.size(), 1u);
    EXPECT_EQ(h->view.boxes[0].text, "設定ファイルへの書き込みに失敗しました。");
    EXPECT_EQ(h->view.boxes[0].kind, MessageKind::Error);
    EXPECT_EQ(Table().UpperIndex(), 2);
    h->SelectTab(1);
    h->PressAndTick(7, 7, 7);
    EXPECT_TRUE(h->view.receiveLines.empty());
}

TEST_F(EditorTest, StepReadsEveryValueFromTheFile) {
    Start(kTwoSlots);
    h->app->StepSlot(SlotStep::Previous);  // 3 -> 2
    EXPECT_EQ(h->view.number, "2");
    EXPECT_EQ(h->view.comment, "two");
    EXPECT_EQ(h->app->PulseText(), "01,02,03");
    EXPECT_EQ(h->view.pulse, "01,02,03");
    EXPECT_EQ(h->view.adjustIndex, 0);  // -2 shows 0秒
    // A hand-written "D[CTRL] , DC" shows as two lines without blanks.
    EXPECT_EQ(h->view.keyList, "D[CTRL]\r\nDC");
    h->app->StepSlot(SlotStep::Previous);  // 2 -> 1
    EXPECT_EQ(h->view.comment, "one");
    EXPECT_EQ(h->view.windowName, "W1");
    EXPECT_EQ(h->view.adjustIndex, 1);
    EXPECT_EQ(h->view.keyList, "DA\r\nUA");

    // The file, not the table, is what browsing shows.
    WriteAll(h->iniPath,
             h->IniBytes() + "[Remote3]\r\nPulse=4,4,4\r\nComment=hand\r\nAdjustTime=9\r\n");
    h->app->StepSlot(SlotStep::Next);
    h->app->StepSlot(SlotStep::Next);
    EXPECT_EQ(h->view.number, "3");
    EXPECT_EQ(h->view.comment, "hand");
    EXPECT_EQ(h->view.adjustIndex, 5);  // above the list: its last item
    EXPECT_EQ(Table().UpperIndex(), 2);

    // Forward onto the first free slot: empty fields, 0秒, no pulse, keys cleared.
    h->app->KeyPressed(0x41);
    h->app->StepSlot(SlotStep::Next);
    EXPECT_EQ(h->view.number, "4");
    EXPECT_TRUE(h->view.comment.empty());
    EXPECT_TRUE(h->app->PulseText().empty());
    EXPECT_EQ(h->view.adjustIndex, 0);
    EXPECT_TRUE(h->view.keyList.empty());
    EXPECT_EQ(h->app->KeyState(0x41), 0);
}

TEST_F(EditorTest, StepStopsAtSlotOneAndAtTheFirstFreeSlotChangingNothing) {
    Start(kTwoSlots);
    h->view.comment = "typed";
    h->view.keyList = "DA";
    h->app->StepSlot(SlotStep::Next);  // slot 3 holds no pulse
    EXPECT_EQ(h->view.number, "3");
    EXPECT_EQ(h->view.comment, "typed");
    EXPECT_EQ(h->view.keyList, "DA");
    h->app->StepSlot(SlotStep::Previous);
    h->app->StepSlot(SlotStep::Previous);
    h->view.comment = "typed again";
    h->app->StepSlot(SlotStep::Previous);
    EXPECT_EQ(h->view.number, "1");
    EXPECT_EQ(h->view.comment, "typed again");
}

TEST_F(EditorTest, StoredKeyListShowsAgainAfterSteppingAwayAndBack) {
    Start(kTwoSlots);
    h->app->StepSlot(SlotStep::Previous);
    h->view.keyList = "D[RETURN]\r\nU[RETURN]";
    h->view.answers = {Answer::Yes};
    h->app->StoreEntry();
    EXPECT_NE(h->IniBytes().find("KeyList=D[RETURN], U[RETURN]\r\n"), std::string::npos);
    h->app->StepSlot(SlotStep::Previous);
    h->app->StepSlot(SlotStep::Next);
    EXPECT_EQ(h->view.keyList, "D[RETURN]\r\nU[RETURN]");
}

// ---- key capture

TEST_F(EditorTest, RepeatedPressesOfAHeldKeyAreDroppedAndReleasesAlwaysRecorded) {
    Start("", false);
    h->app->KeyPressed(0x41);
    h->app->KeyPressed(0x41);  // automatic repetition
    h->app->KeyPressed(0x41);
    h->app->KeyReleased(0x41);
    h->app->KeyPressed(0x41);
    h->app->KeyReleased(0x41);
    EXPECT_EQ(h->view.keyList, "DA\r\nUA\r\nDA\r\nUA");
    // A release without its press is recorded too.
    h->app->KeyReleased(0x42);
    EXPECT_EQ(h->view.keyList, "DA\r\nUA\r\nDA\r\nUA\r\nUB");
}

TEST_F(EditorTest, ChordsNamedKeysAndUnnamedCodesAreRecordedAsTheyHappen) {
    Start("", false);
    for (const auto& [code, down] : std::vector<std::pair<int, bool>>{{0x11, true},
                                                                      {0x43, true},
                                                                      {0x43, false},
                                                                      {0x11, false},  // Ctrl+C
                                                                      {0x0D, true},
                                                                      {0x0D, false},
                                                                      {0x65, true},
                                                                      {0x74, true},
                                                                      {186, true}}) {
        if (down) {
            h->app->KeyPressed(static_cast<std::int16_t>(code));
        } else {
            h->app->KeyReleased(static_cast<std::int16_t>(code));
        }
    }
    EXPECT_EQ(h->view.keyList,
              "D[CTRL]\r\nDC\r\nUC\r\nU[CTRL]\r\nD[RETURN]\r\nU[RETURN]\r\nD[NUMPAD5]\r\nD[F5]\r\n"
              "D[186]");
}

TEST_F(EditorTest, ClearForgetsHeldKeysSoTheNextPressIsRecordedButNotEntry256) {
    Start("", false);
    h->app->KeyPressed(0x41);
    h->app->KeyPressed(256);
    EXPECT_EQ(h->app->KeyState(0x41), 1);
    h->app->ClearKeyList();
    EXPECT_TRUE(h->view.keyList.empty());
    EXPECT_EQ(h->app->KeyState(0x41), 0);
    EXPECT_EQ(h->app->KeyState(256), 1);  // the clear covers 0..255
    h->app->KeyPressed(0x41);
    h->app->KeyPressed(256);
    EXPECT_EQ(h->view.keyList, "DA");
    // Codes the platform never gives are ignored.
    h->app->KeyPressed(-1);
    h->app->KeyReleased(257);
    EXPECT_EQ(h->view.keyList, "DA");
}

}  // namespace
}  // namespace qv::test
