// The receive loop: matching, repeat suppression, the receive list and
// dispatch in run mode, capture in learning mode.
#include <gtest/gtest.h>

#include <algorithm>

#include "CoreHarness.h"

namespace qv::test {
namespace {

class ReceiveLoopTest : public ::testing::Test {
protected:
    void Start(const std::string& ini) {
        h = std::make_unique<CoreHarness>(ini, true);
        h->Load();
        ASSERT_TRUE(h->jobs.timer);
    }
    std::unique_ptr<CoreHarness> h;
};

TEST_F(ReceiveLoopTest, MatchingSlotLogsItsCommentAndSendsItsKeys) {
    Start(Slot(1, "12,34,56", "決定", "D[RETURN], U[RETURN]"));
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->view.receiveLines, (std::vector<std::string>{"決定"}));
    EXPECT_EQ(h->injector.Text(), "DD UD | ");
    EXPECT_EQ(h->app->LastRemote(), 1);
    // No window named: the foreground is left alone.
    EXPECT_TRUE(h->windows.calls.empty());
}

TEST_F(ReceiveLoopTest, KeysCapturedWithoutANameAreSentByTheirCode) {
    Start(Slot(1, "7,7,7", "punctuation",
               "D[SHIFT], D[186], U[186], U[SHIFT], D[226], U[226], D[243], U[243], D[255]"));
    h->PressAndTick(7, 7, 7);
    // [255] is no key code: it keeps its place as -1, which no backend sends.
    EXPECT_EQ(h->injector.Text(), "D10 DBA UBA U10 DE2 UE2 DF3 UF3 DFFFF | ");
}

TEST_F(ReceiveLoopTest, TheLineReachesTheWindowBeforeTheKeysAreSent) {
    Start(Slot(1, "1,2,3", "first the line", "DA"));
    std::size_t linesAtSend = 99;
    h->injector.onSend = [this, &linesAtSend] {
        // The receiver thread posted the line; the window shows it when the
        // GUI thread runs, which here is right after the send.
        linesAtSend = h->gui.Pending();
    };
    h->PressAndTick(1, 2, 3);
    EXPECT_EQ(linesAtSend, 1u);
    EXPECT_EQ(h->view.receiveLines.size(), 1u);
}

TEST_F(ReceiveLoopTest, NothingHappensForUnknownCodesEmptyPollsAndErrors) {
    Start(Slot(1, "12,34,56", "a", "DA"));
    h->Tick();                    // nothing queued: data byte 0 is 0
    h->PressAndTick(12, 34, 57);  // no slot
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1E] = 0;
    h->simulator.SetFaults(faults);
    h->PressAndTick(12, 34, 56);  // error status
    EXPECT_TRUE(h->view.receiveLines.empty());
    EXPECT_TRUE(h->injector.batches.empty());
    EXPECT_TRUE(h->view.boxes.empty());
}

TEST_F(ReceiveLoopTest, OnlyTheFirstOfTwoSlotsWithTheSamePulseFires) {
    Start(Slot(1, "1,1,1", "one", "D1") + Slot(2, "12,34,56", "first", "DA") +
          Slot(3, "12,34,56", "second", "DB"));
    h->PressAndTick(12, 34, 56);
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->view.receiveLines, (std::vector<std::string>{"first", "first"}));
    EXPECT_EQ(h->injector.Text(), "D41 | D41 | ");
}

TEST_F(ReceiveLoopTest, TwoValueSlotFiresForEveryCodeStartingWithThemFourValuesNever) {
    Start(Slot(1, "12,34", "prefix", "DA") + Slot(2, "12,34,56,78", "four", "DB") +
          Slot(3, "7,8,9,10", "never", "DC"));
    h->PressAndTick(12, 34, 56);
    h->PressAndTick(12, 34, 99);
    h->PressAndTick(12, 35, 56);
    h->PressAndTick(7, 8, 9);
    EXPECT_EQ(h->view.receiveLines, (std::vector<std::string>{"prefix", "prefix"}));
}

TEST_F(ReceiveLoopTest, HeldButtonRepeatsOnlyAfterItsAdjustTimeInWholeSeconds) {
    Start(Slot(1, "12,34,56", "held", "DA", 2));
    std::vector<std::size_t> fired;
    // 1000.0 fires; 1000.9 and 1001.5 are inside; 1002.0 is two whole
    // seconds on; 1003.99 inside again; 1004.0 fires.
    for (long long ms : {1000000, 1000900, 1001500, 1002000, 1003990, 1004000}) {
        h->clock.now = Clock::TimePoint{} + std::chrono::milliseconds(ms);
        h->PressAndTick(12, 34, 56);
        fired.push_back(h->injector.batches.size());
    }
    EXPECT_EQ(fired, (std::vector<std::size_t>{1, 1, 1, 2, 2, 3}));
}

TEST_F(ReceiveLoopTest, TheFirstFiringAfterStartUpIsNeverSuppressed) {
    Start(Slot(1, "12,34,56", "held", "DA", 5));
    h->PressAndTick(12, 34, 56);  // same second as start-up
    EXPECT_EQ(h->injector.batches.size(), 1u);
}

TEST_F(ReceiveLoopTest, AdjustTimeZeroFiresEveryPollAndAlternatingButtonsAlwaysFire) {
    Start(Slot(1, "1,2,3", "A", "DA", 5) + Slot(2, "4,5,6", "B", "DB", 5) +
          Slot(3, "7,7,7", "fast", "DC", 0));
    for (int i = 0; i < 2; ++i) {
        h->PressAndTick(1, 2, 3);
        h->PressAndTick(4, 5, 6);
    }
    for (int i = 0; i < 3; ++i) {
        h->PressAndTick(7, 7, 7);
    }
    EXPECT_EQ(h->view.receiveLines,
              (std::vector<std::string>{"A", "B", "A", "B", "fast", "fast", "fast"}));
}

TEST_F(ReceiveLoopTest, LearningModeShowsThePulseTextAndSendsNothing) {
    Start(Slot(1, "5,120,7", "learn", "DA"));
    h->SelectTab(2);
    h->PressAndTick(5, 120, 7);
    EXPECT_EQ(h->view.pulse, "05,120,07");
    EXPECT_EQ(h->app->PulseText(), "05,120,07");
    EXPECT_TRUE(h->injector.batches.empty());
    EXPECT_TRUE(h->view.receiveLines.empty());
    // Back in run mode the next tick matches again; the captured text stays.
    h->SelectTab(1);
    h->PressAndTick(5, 120, 7);
    EXPECT_EQ(h->view.receiveLines, (std::vector<std::string>{"learn"}));
    EXPECT_EQ(h->view.pulse, "05,120,07");
}

TEST_F(ReceiveLoopTest, TheTabIsReadAtTheTickNotWhenTheCodeArrived) {
    Start(Slot(1, "1,2,3", "run", "DA"));
    h->simulator.Press({1, 2, 3});
    h->SelectTab(2);  // switched after the press, before the poll
    h->Tick();
    EXPECT_EQ(h->view.pulse, "01,02,03");
    EXPECT_TRUE(h->injector.batches.empty());
}

TEST_F(ReceiveLoopTest, TargetWindowIsActivatedForTheSendAndTheForegroundGivenBack) {
    Start("[General]\r\nWindowChangeTime=2\r\n" +
          Slot(1, "12,34,56", "to target", "DA, UA", 0, "qvtarget"));
    h->windows.Add(10, "Editor");
    h->windows.Add(20, "QvTarget", ShowState::Minimized);
    h->windows.foreground = Window{10};
    Window atSend;
    ShowState stateAtSend = ShowState::Unknown;
    h->injector.onSend = [this, &atSend, &stateAtSend] {
        atSend = h->windows.foreground;
        stateAtSend = h->windows.windows[20].state;
    };
    h->PressAndTick(12, 34, 56);

    EXPECT_EQ(h->injector.Text(), "D41 U41 | ");
    EXPECT_EQ(atSend, Window{20});                                  // the keys went to the target
    EXPECT_EQ(stateAtSend, ShowState::Normal);                      // shown at normal size for them
    EXPECT_EQ(h->windows.foreground, Window{10});                   // given back
    EXPECT_EQ(h->windows.windows[20].state, ShowState::Minimized);  // minimised again
    const auto& calls = h->windows.calls;
    const auto pos = [&calls](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_EQ(calls.front(), "Foreground()");
    EXPECT_LT(pos("FindByClass(qvtarget)"), pos("Activate(20)"));
    EXPECT_LT(pos("Activate(20)"), pos("SetShowState(20,2)"));
    EXPECT_LT(pos("SetShowState(20,2)"), pos("Activate(10)"));
    // The selected window-switch time after each of the two activations.
    EXPECT_EQ(h->clock.sleeps, (std::vector<long long>{200, 200}));
}

TEST_F(ReceiveLoopTest, TheSwitchTimeIsReadAtEachFiring) {
    Start(Slot(1, "12,34,56", "t", "DA", 0, "QvTarget"));
    h->windows.Add(10, "Editor");
    h->windows.Add(20, "QvTarget");
    h->windows.foreground = Window{10};
    h->app->WindowChangeTimeSelected(10);
    h->PressAndTick(12, 34, 56);
    h->app->WindowChangeTimeSelected(0);
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->clock.sleeps, (std::vector<long long>{1000, 1000, 0, 0}));
}

TEST_F(ReceiveLoopTest, AMaximisedTargetIsMaximisedAgainAfterTheSend) {
    Start(Slot(1, "12,34,56", "max", "DA", 0, "QvTarget"));
    h->windows.Add(10, "Editor");
    h->windows.Add(20, "QvTarget", ShowState::Maximized);
    h->windows.foreground = Window{10};
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->windows.windows[20].state, ShowState::Maximized);
    EXPECT_EQ(h->windows.foreground, Window{10});
}

TEST_F(ReceiveLoopTest, ATargetAlreadyInFrontIsNotSwitchedAndNoPauseIsMade) {
    Start("[General]\r\nWindowChangeTime=5\r\n" +
          Slot(1, "12,34,56", "front", "DA", 0, "QvTarget"));
    h->windows.Add(20, "QvTarget");
    h->windows.foreground = Window{20};
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->injector.Text(), "D41 | ");
    EXPECT_TRUE(h->clock.sleeps.empty());
    EXPECT_EQ(std::count_if(h->windows.calls.begin(), h->windows.calls.end(),
                            [](const std::string& c) { return c.rfind("Activate", 0) == 0; }),
              0);
}

TEST_F(ReceiveLoopTest, MissingTargetWindowSendsToTheForegroundWithoutSwitching) {
    Start("[General]\r\nWindowChangeTime=3\r\n" +
          Slot(1, "12,34,56", "nowhere", "DA", 0, "NoSuchClass"));
    h->windows.Add(10, "Editor");
    h->windows.foreground = Window{10};
    h->PressAndTick(12, 34, 56);
    EXPECT_EQ(h->injector.Text(), "D41 | ");
    EXPECT_EQ(h->windows.foreground, Window{10});
    EXPECT_TRUE(h->clock.sleeps.empty());
    for (const std::string& call : h->windows.calls) {
        EXPECT_EQ(call.rfind("Activate", 0), std::string::npos) << call;
        EXPECT_EQ(call.rfind("SetShowState", 0), std::string::npos) << call;
    }
}

TEST_F(ReceiveLoopTest, AStoreDuringTheLoopChangesWhatFiresNext) {
    Start(Slot(1, "1,2,3", "old", "DA"));
    h->SelectTab(2);
    h->view.number = "1";
    h->PressAndTick(4, 5, 6);  // captured into the editor
    h->view.comment = "new";
    h->view.answers = {Answer::Yes};
    h->app->StoreEntry();
    h->SelectTab(1);
    h->PressAndTick(1, 2, 3);
    h->PressAndTick(4, 5, 6);
    EXPECT_EQ(h->view.receiveLines, (std::vector<std::string>{"new"}));
}

}  // namespace
}  // namespace qv::test
