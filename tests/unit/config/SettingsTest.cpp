// Number reading, rounding, receiver identifiers and the time lists.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "config/Settings.h"

namespace qv {
namespace {

TEST(ValTest, ReadsTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(Val("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(Val("-3"), -3.0);
    EXPECT_DOUBLE_EQ(Val("  7x"), 7.0);
    EXPECT_DOUBLE_EQ(Val("+4"), 4.0);
    EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
    EXPECT_DOUBLE_EQ(Val("5."), 5.0);
    EXPECT_DOUBLE_EQ(Val("1e2"), 100.0);
    EXPECT_DOUBLE_EQ(Val("1e"), 1.0);
    EXPECT_DOUBLE_EQ(Val("3 ; comment"), 3.0);
}

TEST(ValTest, NoNumberGivesZero) {
    EXPECT_EQ(Val(""), 0.0);
    EXPECT_EQ(Val("abc"), 0.0);
    EXPECT_EQ(Val("-"), 0.0);
    EXPECT_EQ(Val("."), 0.0);
    EXPECT_EQ(Val("x12"), 0.0);
    EXPECT_EQ(Val("1e999"), 0.0);  // out of range: treated as unreadable
}

TEST(RoundHalfEvenTest, HalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(-3.5), -4);
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
    EXPECT_EQ(RoundHalfEven(-3.0), -3);
}

TEST(RoundHalfEvenTest, SaturatesOutsideTheIntRange) {
    EXPECT_EQ(RoundHalfEven(1e12), INT_MAX);
    EXPECT_EQ(RoundHalfEven(-1e12), INT_MIN);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(ReadIdentifierTest, HexAndDecimalForms) {
    EXPECT_EQ(ReadIdentifier("0x04d8"), 1240);
    EXPECT_EQ(ReadIdentifier("&H4D8"), 1240);
    EXPECT_EQ(ReadIdentifier("&h4d8"), 1240);
    EXPECT_EQ(ReadIdentifier("0X4D8"), 1240);
    EXPECT_EQ(ReadIdentifier("1240"), 1240);
    EXPECT_EQ(ReadIdentifier("&H1234"), 0x1234);
    EXPECT_EQ(ReadIdentifier("&H1"), 1);
}

TEST(ReadIdentifierTest, FourHexDigitsAreSigned16Bit) {
    EXPECT_EQ(ReadIdentifier("&HFFFF"), -1);
    EXPECT_EQ(ReadIdentifier("&H8000"), -32768);
    EXPECT_EQ(ReadIdentifier("&H7FFF"), 32767);
    // More digits are 32-bit, so the same receiver is no longer matched.
    EXPECT_EQ(ReadIdentifier("&H0FFFF"), 65535);
    EXPECT_EQ(ReadIdentifier("&H12345678"), 0x12345678);
    EXPECT_EQ(ReadIdentifier("&HFFFFFFFF"), -1);
    EXPECT_EQ(ReadIdentifier("65535"), 65535);
}

TEST(ReadIdentifierTest, DigitsStopAtTheFirstOtherCharacter) {
    EXPECT_EQ(ReadIdentifier("&H"), 0);
    EXPECT_EQ(ReadIdentifier("0x"), 0);
    EXPECT_EQ(ReadIdentifier("&HG1"), 0);
    EXPECT_EQ(ReadIdentifier("&H4D8 ; receiver"), 1240);
    EXPECT_EQ(ReadIdentifier("12ab"), 12);
    EXPECT_EQ(ReadIdentifier(""), 0);
    EXPECT_EQ(ReadIdentifier("vendor"), 0);
    EXPECT_EQ(ReadIdentifier("-5"), -5);
}

TEST(TimeListsTest, ItemsAndIndexes) {
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

TEST(TrimSpacesTest, OnlySpacesAreStripped) {
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
}

}  // namespace
}  // namespace qv
