// The remote table: start-up load, storing entries, odd pulse texts, matching.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "config/IniFile.h"
#include "config/RemoteTable.h"
#include "config/Settings.h"
#include "config/SharedRemoteTable.h"

namespace qv {
namespace {

// An entry as the store command builds it.
RemoteEntry Entry(std::string comment, std::string_view pulse, int adjustTime = 0,
                  std::string windowName = {}, std::string keyList = {}) {
    RemoteEntry e;
    e.comment = std::move(comment);
    ParsePulseText(pulse, e);
    e.adjustTime = AdjustValue(adjustTime);
    e.windowName = std::move(windowName);
    e.keyList = KeyList(std::move(keyList));
    return e;
}

class RemoteTableTest : public ::testing::Test {
protected:
    int Load(const std::string& bytes) { return table_.Load(IniFile::Parse(bytes, codec_)); }
    IconvTextCodec codec_;
    RemoteTable table_;
};

// --- Start-up load -----------------------------------------------------------------

TEST_F(RemoteTableTest, EmptyFileLeavesOnlySlotZero) {
    EXPECT_EQ(Load(""), 1);
    EXPECT_EQ(table_.UpperIndex(), 0);
    EXPECT_EQ(table_.Match(12, 34, 56), 0);
}

TEST_F(RemoteTableTest, MissingFileLeavesOnlySlotZero) {
    test::TempDir dir;
    IniStore store = test::MakeStore(dir.File("Quorvane.ini"));
    table_.Store(1, Entry("", "1"));
    EXPECT_EQ(table_.Load(store), 1);
    EXPECT_EQ(table_.UpperIndex(), 0);
}

TEST_F(RemoteTableTest, LoadingStopsAtTheFirstGap) {
    const int firstFree =
        Load("[Remote1]\nPulse=01,02,03\n[Remote2]\nPulse=04,05,06\n[Remote4]\nPulse=07,08,09\n");
    EXPECT_EQ(firstFree, 3);
    EXPECT_EQ(table_.UpperIndex(), 2);
    EXPECT_EQ(table_.Match(7, 8, 9), 0);
    EXPECT_EQ(table_.Match(4, 5, 6), 2);
}

TEST_F(RemoteTableTest, PulseOfOnlySpacesEndsLoading) {
    EXPECT_EQ(Load("[Remote1]\nPulse=11\n[Remote2]\nPulse=   \n[Remote3]\nPulse=13\n"), 2);
    EXPECT_EQ(table_.UpperIndex(), 1);
    // A section without Pulse at all ends it as well.
    EXPECT_EQ(Load("[Remote1]\nComment=no pulse\n[Remote2]\nPulse=12\n"), 1);
}

TEST_F(RemoteTableTest, SlotInAFileCutAfterItsLastCrFires) {
    // A CRLF file cut between the last CR and LF: the CR still ends the line.
    EXPECT_EQ(Load("[Remote1]\r\nPulse=5,120,7\r\n[Remote2]\r\nPulse=5,120,8\r"), 3);
    EXPECT_EQ(table_.Match(5, 120, 7), 1);
    EXPECT_EQ(table_.Match(5, 120, 8), 2);
}

TEST_F(RemoteTableTest, FieldsAreReadTrimmedAndRounded) {
    Load(
        "[Remote1]\n"
        "Pulse = 05,120,7 \n"
        "Comment =   Volume up   \n"
        "AdjustPulse=3.5\n"
        "AdjustTime=2.5\n"
        "WindowName= Notepad \n"
        "KeyList=D[UP], U[UP]\n"
        "[Remote2]\nPulse=12\nAdjustTime=-3\n"
        "[Remote3]\nPulse=13\nAdjustTime=3.5\n");
    ASSERT_EQ(table_.UpperIndex(), 3);
    const RemoteEntry& e = table_[1];
    EXPECT_EQ(e.comment, "Volume up");
    EXPECT_EQ(e.pulseCount, 3);
    EXPECT_EQ(e.pulse[0], 5);
    EXPECT_EQ(e.pulse[1], 120);
    EXPECT_EQ(e.pulse[2], 7);
    EXPECT_EQ(e.adjustPulse, 4);
    EXPECT_EQ(e.adjustTime, 2);
    EXPECT_EQ(e.windowName, "Notepad");
    EXPECT_EQ(e.keyList.Stored(), "D[UP], U[UP]");
    // The key list is read once, here: its strokes are ready for every firing.
    EXPECT_EQ(std::vector<KeyStroke>(e.keyList.Strokes().begin(), e.keyList.Strokes().end()),
              (std::vector<KeyStroke>{{0x26, false}, {0x26, true}}));
    EXPECT_EQ(table_[2].pulseCount, 1);
    EXPECT_EQ(table_[2].pulse[0], 12);
    EXPECT_EQ(table_[2].adjustTime, 0);
    EXPECT_EQ(table_[3].adjustTime, 4);
}

TEST_F(RemoteTableTest, AdjustValuesOutsideAByteAreClamped) {
    Load(
        "[Remote1]\nPulse=1\nAdjustTime=300\nAdjustPulse=-5\n"
        "[Remote2]\nPulse=2\nAdjustTime=1e12\nAdjustPulse=99999\n");
    EXPECT_EQ(table_[1].adjustTime, 255);
    EXPECT_EQ(table_[1].adjustPulse, 0);
    EXPECT_EQ(table_[2].adjustTime, 255);
    EXPECT_EQ(table_[2].adjustPulse, 255);
}

TEST_F(RemoteTableTest, LoadReplacesWhatTheTableHeld) {
    Load("[Remote1]\nPulse=1\n[Remote2]\nPulse=2\n");
    Load("[Remote1]\nPulse=9\n");
    EXPECT_EQ(table_.UpperIndex(), 1);
    EXPECT_EQ(table_.Match(2, 0, 0), 0);
    EXPECT_EQ(table_.Match(9, 0, 0), 1);
}

// --- Pulse texts that can never fire ------------------------------------------------

TEST_F(RemoteTableTest, BadPulseTextKeepsTheSlotButNeverFires) {
    Load(
        "[Remote1]\nPulse=12,,34\n"
        "[Remote2]\nPulse=12,x,34\n"
        "[Remote3]\nPulse=12,256,34\n"
        "[Remote4]\nPulse=12,34,56,78\n"
        "[Remote5]\nPulse=12, 34 ,56\n");
    ASSERT_EQ(table_.UpperIndex(), 5);  // numbering stays aligned with the sections
    EXPECT_EQ(table_[1].problem, PulseProblem::EmptyPart);
    EXPECT_EQ(table_[2].problem, PulseProblem::NotANumber);
    EXPECT_EQ(table_[3].problem, PulseProblem::ValueTooLarge);
    EXPECT_EQ(table_[4].problem, PulseProblem::None);  // sound, but four values never match
    EXPECT_EQ(table_[4].pulseCount, 4);
    EXPECT_EQ(table_[5].problem, PulseProblem::None);  // spaces around a value are allowed
    for (int n = 1; n <= 4; ++n) {
        EXPECT_FALSE(table_[n].CanMatch()) << "slot " << n;
    }
    // 12,0,34 would be what slots 1-3 read as if the bad parts counted as 0.
    EXPECT_EQ(table_.Match(12, 0, 34), 0);
    EXPECT_EQ(table_.Match(12, 34, 56), 5);
}

TEST_F(RemoteTableTest, MoreThan129ValuesKeepsTheFirst129) {
    std::string pulse = "1";
    for (int i = 1; i < 130; ++i) {
        pulse += "," + std::to_string(i % 256);
    }
    RemoteEntry e;
    ParsePulseText(pulse, e);
    EXPECT_EQ(e.problem, PulseProblem::TooManyValues);
    EXPECT_EQ(e.pulseCount, 129);
    EXPECT_EQ(e.pulse[128], 128);
    ParsePulseText(pulse.substr(0, pulse.rfind(',')), e);  // exactly 129
    EXPECT_EQ(e.problem, PulseProblem::None);
    EXPECT_EQ(e.pulseCount, 129);
}

// --- Store ---------------------------------------------------------------------------

TEST_F(RemoteTableTest, StoreKeepsTextsAsGiven) {
    ASSERT_TRUE(table_.Store(1, Entry("   leading spaces", "05,120,07", 3, " Win ", "D[A], U[A]")));
    EXPECT_EQ(table_[1].comment, "   leading spaces");
    EXPECT_EQ(table_[1].windowName, " Win ");
    EXPECT_EQ(table_[1].adjustTime, 3);
    EXPECT_EQ(table_[1].keyList, KeyList("D[A], U[A]"));
    EXPECT_EQ(table_[1].keyList.Strokes().size(), 2u);
    EXPECT_EQ(table_.Match(5, 120, 7), 1);
}

TEST_F(RemoteTableTest, StoreOneOrMorePastTheEndGrowsTheTable) {
    ASSERT_TRUE(table_.Store(1, Entry("a", "10")));
    ASSERT_TRUE(table_.Store(4, Entry("d", "40")));
    ASSERT_EQ(table_.UpperIndex(), 4);
    EXPECT_EQ(table_[2].problem, PulseProblem::NoEntry);
    EXPECT_EQ(table_[3].problem, PulseProblem::NoEntry);
    EXPECT_FALSE(table_[2].CanMatch());
    EXPECT_EQ(table_.Match(40, 1, 1), 4);
    // A gap slot matches nothing, not even a code of zeros.
    EXPECT_EQ(table_.Match(0, 0, 0), 0);
    ASSERT_TRUE(table_.Store(2, Entry("b", "20")));
    EXPECT_EQ(table_.UpperIndex(), 4);
    EXPECT_EQ(table_.Match(20, 1, 1), 2);
}

TEST_F(RemoteTableTest, SlotNumbersOutsideTheTableAreRefused) {
    ASSERT_TRUE(table_.Store(1, Entry("a", "10")));
    for (const int bad : {0, -1, kMaxSlot + 1, 1 << 20}) {
        EXPECT_FALSE(table_.Store(bad, Entry("z", "99"))) << bad;
    }
    EXPECT_EQ(table_.UpperIndex(), 1);
    EXPECT_EQ(table_[1].comment, "a");
    EXPECT_TRUE(table_.Store(kMaxSlot, Entry("last", "99")));
    EXPECT_EQ(table_.UpperIndex(), kMaxSlot);
}

TEST(SlotNumber, DecimalDigitsWithBlanksAroundThem) {
    EXPECT_EQ(SlotNumber("1"), 1);
    EXPECT_EQ(SlotNumber(" 4 "), 4);
    EXPECT_EQ(SlotNumber("32767"), kMaxSlot);
    EXPECT_EQ(SlotNumber("007"), 7);
    for (const char* bad :
         {"0", "-1", "", "  ", "abc", "2x", "1.5", "+3", "32768", "99999999999"}) {
        EXPECT_FALSE(SlotNumber(bad)) << bad;
    }
}

TEST(AdjustValue, ClampedToAByte) {
    EXPECT_EQ(AdjustValue(-5), 0);
    EXPECT_EQ(AdjustValue(0), 0);
    EXPECT_EQ(AdjustValue(7), 7);
    EXPECT_EQ(AdjustValue(255), 255);
    EXPECT_EQ(AdjustValue(256), 255);
}

TEST_F(RemoteTableTest, OverwritingASlotReplacesWhatItMatches) {
    ASSERT_TRUE(table_.Store(1, Entry("old", "10,20,30")));
    ASSERT_TRUE(table_.Store(1, Entry("new", "11,21,31")));
    EXPECT_EQ(table_.Match(10, 20, 30), 0);
    EXPECT_EQ(table_.Match(11, 21, 31), 1);
    ASSERT_TRUE(table_.Store(1, Entry("broken", "11,,31")));
    EXPECT_EQ(table_.Match(11, 21, 31), 0);
}

// --- Matching -------------------------------------------------------------------------

TEST_F(RemoteTableTest, FirstMatchingSlotWins) {
    Load(
        "[Remote1]\nPulse=01,01,01\n[Remote2]\nPulse=12,34,56\n[Remote3]\nPulse=99\n"
        "[Remote4]\nPulse=12,34,56,78\n[Remote5]\nPulse=12,34,56\n");
    EXPECT_EQ(table_.Match(12, 34, 56), 2);
    EXPECT_EQ(table_.Match(12, 34, 57), 0);
    EXPECT_EQ(table_.Match(99, 1, 2), 3);
}

TEST_F(RemoteTableTest, ShorterPulseTextMatchesEveryCodeItBegins) {
    Load("[Remote1]\nPulse=12,34\n[Remote2]\nPulse=12,34,56\n");
    EXPECT_EQ(table_.Match(12, 34, 56), 1);
    EXPECT_EQ(table_.Match(12, 34, 99), 1);
    EXPECT_EQ(table_.Match(12, 35, 56), 0);
}

// --- The store command's path through file and table -----------------------------------

TEST_F(RemoteTableTest, StoredSlotLoadsBackAtTheNextStart) {
    test::TempDir dir;
    IniStore store = test::MakeStore(dir.File("Quorvane.ini"));
    const std::string comment = "   Play";
    ASSERT_TRUE(IniWrite(store, "Remote1", "Pulse", "05,120,07"));
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", comment));
    ASSERT_TRUE(IniWrite(store, "Remote1", "AdjustTime", 2.0));
    ASSERT_TRUE(IniWrite(store, "Remote1", "WindowName", "Notepad"));
    ASSERT_TRUE(IniWrite(store, "Remote1", "KeyList", "D[SPACE], U[SPACE]"));
    ASSERT_TRUE(table_.Store(1, Entry(comment, "05,120,07", 2, "Notepad", "D[SPACE], U[SPACE]")));
    EXPECT_EQ(table_[1].comment, "   Play");

    RemoteTable next;
    EXPECT_EQ(next.Load(store), 2);
    EXPECT_EQ(next[1].comment, "Play");
    EXPECT_EQ(next[1].adjustTime, 2);
    EXPECT_EQ(next[1].keyList, table_[1].keyList);
    EXPECT_EQ(next.Match(5, 120, 7), 1);
}

// --- The table the window and the receiver thread share ------------------------------

TEST(SharedRemoteTable, AMatchHandsOutACopyThatOutlivesAStore) {
    SharedRemoteTable shared;
    ASSERT_TRUE(shared.Store(2, Entry("old", "12,34,56", 1, "Win", "DA, UA")));
    EXPECT_FALSE(shared.Match(1, 2, 3));
    const auto matched = shared.Match(12, 34, 56);
    ASSERT_TRUE(matched);
    EXPECT_EQ(matched->number, 2);
    ASSERT_TRUE(shared.Store(2, Entry("new", "12,34,56", 0, "", "DB, UB")));
    EXPECT_EQ(matched->entry.comment, "old");
    EXPECT_EQ(matched->entry.keyList.Strokes().front(), (KeyStroke{'A', false}));
    EXPECT_EQ(shared.Match(12, 34, 56)->entry.comment, "new");
    EXPECT_EQ(shared.UpperIndex(), 2);
    EXPECT_EQ(shared.Entry(2).comment, "new");
    EXPECT_EQ(shared.Entry(1).problem, PulseProblem::NoEntry);
    EXPECT_EQ(shared.Entry(3).comment, "");  // outside the table: an empty entry
    EXPECT_FALSE(shared.Store(0, Entry("zero", "1")));
}

// Stores on one thread while another matches: every match sees a whole slot,
// old or new, never a mix of the two (run under the sanitizers in the fuzz build).
TEST(SharedRemoteTable, MatchesWhileStoresRunSeeWholeSlots) {
    SharedRemoteTable shared;
    ASSERT_TRUE(shared.Store(1, Entry("a", "1", 0, "", "DA, UA")));
    std::atomic<bool> done{false};
    std::thread storing([&] {
        for (int i = 0; i < 2000; ++i) {
            shared.Store(1, i % 2 == 0 ? Entry("b", "1", 0, "", "DB, UB, DB, UB")
                                       : Entry("a", "1", 0, "", "DA, UA"));
        }
        done = true;
    });
    int matches = 0;
    while (!done || matches == 0) {
        const auto matched = shared.Match(1, 0, 0);
        ASSERT_TRUE(matched);
        const RemoteEntry& e = matched->entry;
        const std::size_t expected = e.comment == "a" ? 2 : 4;
        ASSERT_EQ(e.keyList.Strokes().size(), expected) << e.comment;
        ASSERT_EQ(e.keyList.Strokes().front().virtualKey, e.comment == "a" ? 'A' : 'B');
        ++matches;
    }
    storing.join();
    EXPECT_GT(matches, 0);
}

}  // namespace
}  // namespace qv
