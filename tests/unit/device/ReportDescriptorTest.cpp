#include "device/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

ReportLengths Parse(const Bytes& descriptor) {
    const std::optional<ReportLengths> lengths = ParseReportLengths(descriptor);
    EXPECT_TRUE(lengths.has_value());
    return lengths.value_or(ReportLengths{-1, -1, -1, false});
}

// A three-button wheel mouse without report IDs: 3 button bits, 5 padding
// bits, X, Y and wheel bytes, 32 bits in all. Windows: input 5, output 0.
const Bytes kMouse = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,  //
    0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,  //
    0x95, 0x03, 0x75, 0x01, 0x81, 0x02,                          // 3 x 1 bit buttons
    0x95, 0x01, 0x75, 0x05, 0x81, 0x03,                          // 5 bits constant padding
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15, 0x81,  //
    0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06,              // X, Y, wheel
    0xC0, 0xC0,
};

// The boot keyboard: modifiers, reserved byte, LEDs with padding, six keys.
// Windows: input 9, output 2.
const Bytes kKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
};

// A vendor collection with report ID 0x10 and six data bytes each way,
// usage page given with a two-byte item. Windows: 7 / 7.
const Bytes kVendor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x10, 0x15, 0x00, 0x26, 0xFF, 0x00,
    0x75, 0x08, 0x95, 0x06, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0,
};

TEST(ReportDescriptor, KnownWindowsFigures) {
    const ReportLengths mouse = Parse(kMouse);
    EXPECT_EQ(mouse.input, 5);
    EXPECT_EQ(mouse.output, 0);
    EXPECT_EQ(mouse.feature, 0);
    EXPECT_FALSE(mouse.numbered);

    const ReportLengths keyboard = Parse(kKeyboard);
    EXPECT_EQ(keyboard.input, 9);
    EXPECT_EQ(keyboard.output, 2);
    EXPECT_FALSE(keyboard.numbered);

    const ReportLengths vendor = Parse(kVendor);
    EXPECT_EQ(vendor.input, 7);
    EXPECT_EQ(vendor.output, 7);
    EXPECT_TRUE(vendor.numbered);
}

TEST(ReportDescriptor, LongestReportOverAllIdsPerType) {
    const Bytes d = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,        //
        0x85, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02,  // ID 1: input 2 bytes
        0x95, 0x03, 0x91, 0x02,                          // ID 1: output 3 bytes
        0x85, 0x02, 0x95, 0x04, 0x81, 0x02, 0x81, 0x02,  // ID 2: input 4 + 4 bytes
        0x85, 0x03, 0x75, 0x01, 0x95, 0x09, 0xB1, 0x02,  // ID 3: feature 9 bits
        0xC0,
    };
    const ReportLengths lengths = Parse(d);
    EXPECT_EQ(lengths.input, 9);    // ID 2: 8 bytes + ID
    EXPECT_EQ(lengths.output, 4);   // ID 1: 3 bytes + ID
    EXPECT_EQ(lengths.feature, 3);  // 9 bits round up to 2 bytes + ID
    EXPECT_TRUE(lengths.numbered);
}

TEST(ReportDescriptor, PushAndPopRestoreSizeCountAndId) {
    const Bytes d = {
        0x85, 0x01, 0x75, 0x08, 0x95, 0x04,  // ID 1, 4 x 8 bits
        0xA4,                                // Push
        0x85, 0x02, 0x75, 0x10, 0x95, 0x08,  // ID 2, 8 x 16 bits
        0x81, 0x02,                          // ID 2 input: 16 bytes
        0xB4,                                // Pop: back to ID 1, 4 x 8 bits
        0x91, 0x02,                          // ID 1 output: 4 bytes
        0x81, 0x02,                          // ID 1 input: 4 bytes
    };
    const ReportLengths lengths = Parse(d);
    EXPECT_EQ(lengths.input, 17);
    EXPECT_EQ(lengths.output, 5);
}

TEST(ReportDescriptor, LongItemsAreSkippedWhole) {
    // The long item's data would read as an 8-byte input item if parsed.
    const Bytes d = {
        0x75, 0x08, 0x95, 0x02, 0xFE, 0x04,
        0xF0, 0x95, 0x08, 0x81, 0x02,  // long item, 4 data bytes
        0x81, 0x02,
    };
    const ReportLengths lengths = Parse(d);
    EXPECT_EQ(lengths.input, 3);
    EXPECT_EQ(lengths.output, 0);
}

TEST(ReportDescriptor, FourByteItemDataAndEmptyDescriptor) {
    // Report count as a four-byte item: 0x00000010 = 16.
    const Bytes d = {0x75, 0x08, 0x97, 0x10, 0x00, 0x00, 0x00, 0x91, 0x02};
    EXPECT_EQ(Parse(d).output, 17);
    EXPECT_EQ(Parse(d).input, 0);

    const ReportLengths empty = Parse({});
    EXPECT_EQ(empty.input, 0);
    EXPECT_EQ(empty.output, 0);
    EXPECT_EQ(empty.feature, 0);
    EXPECT_FALSE(empty.numbered);
}

TEST(ReportDescriptor, AbsurdSizesSaturateInsteadOfWrappingToASmallLength) {
    // Report size and count of 2^31 each, four inputs: 2^64 bits, which a
    // plain 64-bit sum wraps to 0 (then one 8-bit input makes it 2 bytes).
    const Bytes d = {0x77, 0x00, 0x00, 0x00, 0x80, 0x97, 0x00, 0x00, 0x00, 0x80, 0x81, 0x00,
                     0x81, 0x00, 0x81, 0x00, 0x81, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x00};
    EXPECT_EQ(Parse(d).input, INT32_MAX);
}

TEST(ReportDescriptor, MalformedDescriptorsAreRefused) {
    EXPECT_FALSE(ParseReportLengths(Bytes{0x75, 0x08, 0x96, 0x10}).has_value());  // cut item
    EXPECT_FALSE(ParseReportLengths(Bytes{0xFE, 0x05, 0xF0, 0x00}).has_value());  // cut long item
    EXPECT_FALSE(ParseReportLengths(Bytes{0xFE, 0x00}).has_value());
    EXPECT_FALSE(ParseReportLengths(Bytes{0x75, 0x08, 0xB4, 0x81, 0x02}).has_value());  // Pop
}

}  // namespace
}  // namespace qv
