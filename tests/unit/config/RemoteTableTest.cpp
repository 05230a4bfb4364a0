// The remote table: start-up load, storing entries, odd pulse texts, matching.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "config/IniFile.h"
#include "config/RemoteTable.h"
#include "config/Settings.h"

namespace qv {
namespace {

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
    table_.SetRemoteEntry("1", "", "1", 0, 0, "", "");
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
    EXPECT_EQ(e.keyList, "D[UP], U[UP]");
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

// --- SetRemoteEntry ------------------------------------------------------------------

TEST_F(RemoteTableTest, StoreKeepsTextsAsGiven) {
    ASSERT_TRUE(
        table_.SetRemoteEntry("1", "   leading spaces", "05,120,07", 0, 3, " Win ", "D[A], U[A]"));
    EXPECT_EQ(table_[1].comment, "   leading spaces");
    EXPECT_EQ(table_[1].windowName, " Win ");
    EXPECT_EQ(table_[1].adjustTime, 3);
    EXPECT_EQ(table_.Match(5, 120, 7), 1);
}

TEST_F(RemoteTableTest, StoreOneOrMorePastTheEndGrowsTheTable) {
    ASSERT_TRUE(table_.SetRemoteEntry("1", "a", "10", 0, 0, "", ""));
    ASSERT_TRUE(table_.SetRemoteEntry(" 4 ", "d", "40", 0, 0, "", ""));
    ASSERT_EQ(table_.UpperIndex(), 4);
    EXPECT_EQ(table_[2].problem, PulseProblem::NoEntry);
    EXPECT_EQ(table_[3].problem, PulseProblem::NoEntry);
    EXPECT_FALSE(table_[2].CanMatch());
    EXPECT_EQ(table_.Match(40, 1, 1), 4);
    // A gap slot matches nothing, not even a code of zeros.
    EXPECT_EQ(table_.Match(0, 0, 0), 0);
    ASSERT_TRUE(table_.SetRemoteEntry("2", "b", "20", 0, 0, "", ""));
    EXPECT_EQ(table_.UpperIndex(), 4);
    EXPECT_EQ(table_.Match(20, 1, 1), 2);
}

TEST_F(RemoteTableTest, UnusableSlotNumbersAreRefused) {
    ASSERT_TRUE(table_.SetRemoteEntry("1", "a", "10", 0, 0, "", ""));
    for (const char* bad : {"0", "-1", "", "  ", "abc", "2x", "1.5", "32768", "99999999999"}) {
        EXPECT_FALSE(table_.SetRemoteEntry(bad, "z", "99", 0, 0, "", "")) << bad;
    }
    EXPECT_EQ(table_.UpperIndex(), 1);
    EXPECT_EQ(table_[1].comment, "a");
    EXPECT_TRUE(table_.SetRemoteEntry("32767", "last", "99", 0, 0, "", ""));
    EXPECT_EQ(table_.UpperIndex(), kMaxSlot);
}

TEST_F(RemoteTableTest, OverwritingASlotReplacesWhatItMatches) {
    ASSERT_TRUE(table_.SetRemoteEntry("1", "old", "10,20,30", 0, 0, "", ""));
    ASSERT_TRUE(table_.SetRemoteEntry("1", "new", "11,21,31", 0, 0, "", ""));
    EXPECT_EQ(table_.Match(10, 20, 30), 0);
    EXPECT_EQ(table_.Match(11, 21, 31), 1);
    ASSERT_TRUE(table_.SetRemoteEntry("1", "broken", "11,,31", 0, 0, "", ""));
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
    ASSERT_TRUE(
        table_.SetRemoteEntry("1", comment, "05,120,07", 0, 2, "Notepad", "D[SPACE], U[SPACE]"));
    EXPECT_EQ(table_[1].comment, "   Play");

    RemoteTable next;
    EXPECT_EQ(next.Load(store), 2);
    EXPECT_EQ(next[1].comment, "Play");
    EXPECT_EQ(next[1].adjustTime, 2);
    EXPECT_EQ(next[1].keyList, "D[SPACE], U[SPACE]");
    EXPECT_EQ(next.Match(5, 120, 7), 1);
}

}  // namespace
}  // namespace qv
