// Number reading, rounding, receiver identifiers and space trimming.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "config/Settings.h"

namespace qv {
namespace {

TEST(LeadingNumberTest, ReadsTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(LeadingNumber("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("-3"), -3.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("  7x"), 7.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("+4"), 4.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("5."), 5.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e2"), 100.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e"), 1.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("3 ; comment"), 3.0);
}

TEST(LeadingNumberTest, NoNumberGivesZero) {
    EXPECT_EQ(LeadingNumber(""), 0.0);
    EXPECT_EQ(LeadingNumber("abc"), 0.0);
    EXPECT_EQ(LeadingNumber("-"), 0.0);
    EXPECT_EQ(LeadingNumber("."), 0.0);
    EXPECT_EQ(LeadingNumber("x12"), 0.0);
    EXPECT_EQ(LeadingNumber("1e999"), 0.0);  // out of range: treated as unreadable
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

TEST(TrimSpacesTest, OnlySpacesAreStripped) {
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
}

}  // namespace
}  // namespace qv
