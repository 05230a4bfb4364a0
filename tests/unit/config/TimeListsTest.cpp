// The two time lists: their item texts and the indexes read from the file.
#include <gtest/gtest.h>

#include "config/TimeLists.h"

namespace qv {
namespace {

TEST(TimeListsTest, ItemTextsAndTheDelayOfAnIndex) {
    ASSERT_EQ(kAdjustTimeItems.size(), 6u);
    EXPECT_EQ(kAdjustTimeItems[0], "0秒");
    EXPECT_EQ(kAdjustTimeItems[5], "5秒");
    ASSERT_EQ(kWindowChangeTimeItems.size(), 11u);
    EXPECT_EQ(kWindowChangeTimeItems[0], "0秒");
    EXPECT_EQ(kWindowChangeTimeItems[1], "0.1秒");
    EXPECT_EQ(kWindowChangeTimeItems[9], "0.9秒");
    EXPECT_EQ(kWindowChangeTimeItems[10], "1秒");
    EXPECT_EQ(WindowChangeDelayMs(7), 700);
}

TEST(TimeListsTest, WindowChangeTimeOutsideTheListFallsBackToZero) {
    EXPECT_EQ(WindowChangeTimeIndex(0), 0);
    EXPECT_EQ(WindowChangeTimeIndex(10), 10);
    EXPECT_EQ(WindowChangeTimeIndex(4.5), 4);
    EXPECT_EQ(WindowChangeTimeIndex(10.5), 10);
    EXPECT_EQ(WindowChangeTimeIndex(11), 0);
    EXPECT_EQ(WindowChangeTimeIndex(-1), 0);
    EXPECT_EQ(WindowChangeTimeIndex(1e9), 0);
}

TEST(TimeListsTest, AdjustTimeIsClampedToTheList) {
    EXPECT_EQ(AdjustTimeIndex(-2), 0);
    EXPECT_EQ(AdjustTimeIndex(2.5), 2);
    EXPECT_EQ(AdjustTimeIndex(3.5), 4);
    EXPECT_EQ(AdjustTimeIndex(9), 5);
}

}  // namespace
}  // namespace qv
