// The receive loop: matching, repeat suppression, logging and dispatch in run
// mode, capture in learning mode.
#include <QTabBar>

#include <gtest/gtest.h>

#include "app_Harness.h"

namespace qv::test {
namespace {

std::string Slot(int n, const std::string& pulse, const std::string& comment,
                 const std::string& keys, int adjustTime = 0, const std::string& window = "") {
    return "[Remote" + std::to_string(n) + "]\r\nPulse=" + pulse + "\r\nComment=" + comment +
           "\r\nAdjustTime=" + std::to_string(adjustTime) + "\r\nWindowName=" + window +
           "\r\nKeyList=" + keys + "\r\n";
}

class ReceiveLoop : public ::testing::Test {
protected:
    void Start(const std::string& ini) {
        h = std::make_unique<FormHarness>(sim::BusOptions{}, ini, true);
        h->form->Load();
        ASSERT_TRUE(h->form->TimerEnabled());
        // The test drives the ticks itself.
        h->form->Timer1->stop();
    }
    std::unique_ptr<FormHarness> h;
};

TEST_F(ReceiveLoop, MatchingSlotLogsItsCommentAndSendsItsKeys) {
    Start(Slot(1, "12,34,56", "決定", "D[RETURN], U[RETURN]"));
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->form->ReceiveListText(), "決定\r\n");
    EXPECT_EQ(h->SentKeys(), "DD UD | ");
    EXPECT_EQ(h->form->LastRemote(), 1);
    // No window named: the foreground is left alone.
    EXPECT_TRUE(h->windows.calls.empty());
    // The caret is at the end of the list.
    EXPECT_EQ(h->form->txtReceive->textCursor().position(),
              h->form->txtReceive->document()->characterCount() - 1);
}

TEST_F(ReceiveLoop, AnEmptyCommentStillTakesALineOfItsOwn) {
    Start(Slot(1, "1,2,3", "", "DA") + Slot(2, "4,5,6", "b", "DB"));
    h->PressAndTick(1, 2, 3);
    EXPECT_EQ(h->form->ReceiveListText(), "\r\n");
    h->PressAndTick(4, 5, 6);
    h->PressAndTick(1, 2, 3);
    EXPECT_EQ(h->form->ReceiveListText(), "\r\nb\r\n\r\n");
    EXPECT_EQ(h->form->txtReceive->textCursor().position(),
              h->form->txtReceive->document()->characterCount() - 1);
}

TEST_F(ReceiveLoop, TheReceiveListKeepsItsNewestLines) {
    Start(Slot(1, "1,2,3", "old", "") + Slot(2, "4,5,6", "new", ""));
    h->PressAndTick(1, 2, 3);
    for (int i = 0; i < kReceiveListMaxLines; ++i) {
        h->PressAndTick(4, 5, 6);
    }
    EXPECT_EQ(h->form->txtReceive->document()->blockCount(), kReceiveListMaxLines);
    const std::string text = h->form->ReceiveListText();
    EXPECT_EQ(text.rfind("new\r\n", 0), 0u);  // the oldest line scrolled away
    EXPECT_EQ(text.size(), static_cast<std::size_t>(kReceiveListMaxLines) * 5);
}

TEST_F(ReceiveLoop, NothingHappensForUnknownCodesEmptyPollsAndErrors) {
    Start(Slot(1, "12,34,56", "a", "DA"));
    h->Tick();                    // nothing queued: data byte 0 is 0
    h->PressAndTick(12, 34, 57);  // no slot
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1E] = 0;
    h->simulator.SetFaults(faults);
    h->PressAndTick(12, 34, 56);  // error status
    EXPECT_TRUE(h->form->ReceiveListText().empty());
    EXPECT_TRUE(h->injector.batches.empty());
    EXPECT_TRUE(h->dialogs.shown.empty());
}

TEST_F(ReceiveLoop, OnlyTheFirstOfTwoSlotsWithTheSamePulseFires) {
    Start(Slot(1, "1,1,1", "one", "D1") + Slot(2, "12,34,56", "first", "DA") +
          Slot(3, "12,34,56", "second", "DB"));
    h->PressAndTick(12, 34, 56);
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->form->ReceiveListText(), "first\r\nfirst\r\n");
    EXPECT_EQ(h->SentKeys(), "D41 | D41 | ");
}

TEST_F(ReceiveLoop, TwoValueSlotFiresForEveryCodeStartingWithThem) {
    Start(Slot(1, "12,34", "prefix", "DA") + Slot(2, "12,34,56,78", "four", "DB"));
    h->PressAndTick(12, 34, 56);
    h->PressAndTick(12, 34, 99);
    h->PressAndTick(12, 35, 56);
    EXPECT_EQ(h->form->ReceiveListText(), "prefix\r\nprefix\r\n");
}

TEST_F(ReceiveLoop, HeldButtonRepeatsOnlyAfterItsAdjustTime) {
    Start(Slot(1, "12,34,56", "held", "DA", 2));
    // Firings counted after each press of the held button.
    std::vector<std::size_t> fired;
    for (std::int64_t t : {1000, 1000, 1001, 1002, 1003, 1004}) {
        h->now = t;
        h->PressAndTick(12, 34, 56);
        fired.push_back(h->injector.batches.size());
    }
    EXPECT_EQ(fired, (std::vector<std::size_t>{1, 1, 1, 2, 2, 3}));
    EXPECT_EQ(h->form->ReceiveListText(), "held\r\nheld\r\nheld\r\n");
}

TEST_F(ReceiveLoop, AdjustTimeZeroFiresEveryPoll) {
    Start(Slot(1, "12,34,56", "fast", "DA"));
    for (int i = 0; i < 3; ++i) {
        h->PressAndTick(12, 34, 56);
    }
    EXPECT_EQ(h->injector.batches.size(), 3u);
}

TEST_F(ReceiveLoop, AlternatingButtonsBothAlwaysFire) {
    Start(Slot(1, "1,2,3", "A", "DA", 5) + Slot(2, "4,5,6", "B", "DB", 5));
    for (int i = 0; i < 3; ++i) {
        h->PressAndTick(1, 2, 3);
        h->PressAndTick(4, 5, 6);
    }
    EXPECT_EQ(h->form->ReceiveListText(), "A\r\nB\r\nA\r\nB\r\nA\r\nB\r\n");
}

TEST_F(ReceiveLoop, SuppressionIgnoresTheWallClock) {
    // The clock is the monotonic one the harness injects; a wall clock set
    // back an hour cannot hold a button for an hour.
    Start(Slot(1, "12,34,56", "held", "DA", 1));
    h->PressAndTick(12, 34, 56);
    h->now += 1;
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->injector.batches.size(), 2u);
}

TEST_F(ReceiveLoop, LearningModeShowsThePulseTextAndSendsNothing) {
    Start(Slot(1, "5,120,7", "learn", "DA"));
    h->form->SelectTab(2);
    h->PressAndTick(5, 120, 7);
    EXPECT_EQ(h->form->txtPulse->text(), "05,120,07");
    EXPECT_EQ(h->form->PulseText(), "05,120,07");
    EXPECT_TRUE(h->injector.batches.empty());
    EXPECT_TRUE(h->form->ReceiveListText().empty());
    // Back in run mode the next tick matches again; the captured text stays.
    h->form->SelectTab(1);
    h->PressAndTick(5, 120, 7);
    EXPECT_EQ(h->form->ReceiveListText(), "learn\r\n");
    EXPECT_EQ(h->form->txtPulse->text(), "05,120,07");
}

TEST_F(ReceiveLoop, TargetWindowIsActivatedForTheSendAndTheForegroundGivenBack) {
    Start("[General]\r\nWindowChangeTime=2\r\n" +
          Slot(1, "12,34,56", "to target", "DA, UA", 0, "QvTarget"));
    h->windows.AddWindow(10, "Editor", 1);
    h->windows.AddWindow(20, "QvTarget", 2, kSwShowMinimized);
    h->windows.foreground = 10;
    h->PressAndTick(12, 34, 56);

    EXPECT_EQ(h->SentKeys(), "D41 U41 | ");
    EXPECT_EQ(h->windows.foreground, 10);                           // given back
    EXPECT_EQ(h->windows.windows[20].showState, kSwShowMinimized);  // minimised again
    const auto& calls = h->windows.calls;
    const auto pos = [&calls](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    ASSERT_LT(pos("FindWindowA(QvTarget)"), static_cast<long>(calls.size()));
    EXPECT_EQ(calls.front(), "GetForegroundWindow()");
    EXPECT_LT(pos("SetForegroundWindow(20)"), pos("ShowWindow(20,2)"));
    EXPECT_LT(pos("ShowWindow(20,2)"), pos("SetForegroundWindow(10)"));
    // The delay of the selected window-switch time, after each activation.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Sleep(200)"), 2);
}

TEST_F(ReceiveLoop, MissingTargetWindowSendsToTheForegroundWithoutSwitching) {
    Start(Slot(1, "12,34,56", "nowhere", "DA", 0, "NoSuchClass"));
    h->windows.AddWindow(10, "Editor", 1);
    h->windows.foreground = 10;
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->SentKeys(), "D41 | ");
    EXPECT_EQ(h->windows.foreground, 10);
    for (const std::string& call : h->windows.calls) {
        EXPECT_EQ(call.rfind("SetForegroundWindow", 0), std::string::npos) << call;
        EXPECT_EQ(call.rfind("Sleep", 0), std::string::npos) << call;
    }
}

TEST_F(ReceiveLoop, TimerTicksPollTheSimulatedReceiver) {
    Start(Slot(1, "12,34,56", "timer", "DA"));
    h->form->Timer1->start();
    h->simulator.Press({12, 34, 56});
    for (int i = 0; i < 100 && h->injector.batches.empty(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    EXPECT_EQ(h->form->ReceiveListText(), "timer\r\n");
}

}  // namespace
}  // namespace qv::test
