// The ANSI code page codec against Windows' own conversion tables.
#include <gtest/gtest.h>

#include "config/win32/Win32TextCodec.h"

#include "common/win32/Windows.h"

namespace qv {
namespace {

TEST(Win32TextCodec, TakesTheSystemAnsiCodePage) {
    EXPECT_EQ(Win32TextCodec().CodePage(), ::GetACP());
}

TEST(Win32TextCodec, ShiftJisRoundTripsIncludingBackslashTrailBytes) {
    Win32TextCodec codec(932);
    // 表 (95 5C) and 能 (94 5C) end in the byte of '\'; 設定 and half-width ｱ too.
    const std::string sjis = "\x95\x5C\x94\x5C \x90\xDD\x92\xE8 \xB1 A\\";
    const std::string utf8 = "表能 設定 ｱ A\\";
    EXPECT_EQ(codec.Cp932ToUtf8(sjis), utf8);
    EXPECT_EQ(codec.Utf8ToCp932(utf8), sjis);
    EXPECT_EQ(codec.Cp932ToUtf8(""), "");
    EXPECT_EQ(codec.Utf8ToCp932(""), "");
}

TEST(Win32TextCodec, RefusesWhatTheCodePageCannotHoldInsteadOfGuessing) {
    Win32TextCodec codec(932);
    // A lead byte without its trail byte is not code page 932.
    EXPECT_EQ(codec.Cp932ToUtf8("a\x81"), std::nullopt);
    // é has no form in 932; Windows' best fit would write 'e', which reads back differently.
    EXPECT_EQ(codec.Utf8ToCp932("caf\xC3\xA9"), std::nullopt);
    // Nor '?' for a character outside the code page.
    EXPECT_EQ(codec.Utf8ToCp932("\xF0\x9F\x98\x80"), std::nullopt);
    // Input that is not UTF-8 is not converted at all.
    EXPECT_EQ(codec.Utf8ToCp932("\xFF"), std::nullopt);
}

TEST(Win32TextCodec, WesternCodePage) {
    Win32TextCodec codec(1252);
    EXPECT_EQ(codec.Cp932ToUtf8("caf\xE9 \x80"), "café €");
    EXPECT_EQ(codec.Utf8ToCp932("café €"), "caf\xE9 \x80");
    EXPECT_EQ(codec.Utf8ToCp932("値"), std::nullopt);
}

TEST(Win32TextCodec, Utf8AnsiCodePage) {
    // Windows can be set to use UTF-8 as its ANSI code page.
    Win32TextCodec codec(CP_UTF8);
    EXPECT_EQ(codec.Cp932ToUtf8("値"), "値");
    EXPECT_EQ(codec.Utf8ToCp932("値"), "値");
}

}  // namespace
}  // namespace qv
