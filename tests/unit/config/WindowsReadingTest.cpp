// Files read as Windows' private-profile functions read them, so a file moved
// between a Windows machine and this one means the same on both sides. The
// rows are the bytes and answers recorded from GetPrivateProfileStringA and
// WritePrivateProfileStringA; a row's number is the recorded row it comes from.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "config/linux/IconvTextCodec.h"

namespace qv {
namespace {

using namespace std::string_literals;  // "..."s keeps NUL bytes

// UTF-16LE bytes, byte-order mark first, of a text given as UTF-16.
std::string Utf16Le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

struct Query {
    std::string section;
    std::string key;
    std::optional<std::string> value;  // nullopt: the default comes back
};

struct ReadRow {
    const char* what;
    std::string bytes;
    std::vector<Query> queries;
};

void PrintTo(const ReadRow& row, std::ostream* os) {
    *os << row.what;
}

class WindowsReadingTest : public ::testing::TestWithParam<ReadRow> {
protected:
    IconvTextCodec codec_;
};

TEST_P(WindowsReadingTest, ReadsWhatWindowsReads) {
    const ReadRow& row = GetParam();
    const IniFile file = IniFile::Parse(row.bytes, codec_);
    for (const Query& q : row.queries) {
        EXPECT_EQ(file.Get(q.section, q.key), q.value)
            << "[" << q.section << "] " << q.key << " in " << ::testing::PrintToString(row.bytes);
    }
    // Reading never changes what is written back.
    EXPECT_EQ(file.Serialize(), row.bytes);
}

const std::optional<std::string> kDefault;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, WindowsReadingTest, ::testing::Values(
    // 1. A lone CR ends a line wherever it stands.
    ReadRow{"lone CR after every line", "[S]\rk=v\r", {{"S", "k", "v"}}},
    ReadRow{"lone CR inside a CRLF line", "[S]\r\nk=a\rb\r\n", {{"S", "k", "a"}, {"S", "b", kDefault}}},
    ReadRow{"18 CR-only file", "[S]\rk=v\rk2=w\r[T]\rx=1\r", {{"S", "k2", "w"}, {"T", "x", "1"}}},
    ReadRow{"19 lone CR inside an LF file", "[S]\nk=a\rb\nk2=w\n", {{"S", "k", "a"}, {"S", "k2", "w"}}},
    ReadRow{"CRLF file cut after its last CR", "[Remote1]\r\nPulse=5,120,7\r", {{"Remote1", "Pulse", "5,120,7"}}},
    ReadRow{"section header ended by a lone CR", "[A]\nk=1\n[HID\r", {{"HID", "k", kDefault}, {"A", "k", "1"}}},
    // 2. VT, FF and ^Z are trimmed like blanks; NBSP is not.
    ReadRow{"3 other white space", "[S]\nv=\x0bx\x0c\nn=x\xa0\nz=x\x1a\nc=x\r\r\n",
            {{"S", "v", "x"}, {"S", "z", "x"}, {"S", "c", "x"}, {"S", "n", "x\uFFFD"}}},
    ReadRow{"3 around names, NBSP kept", "[\x0c" "S\x1a]\n\x0b\x1ak\x0c = \xc2\xa0x\xc2\xa0\x1a\n",
            {{"S", "k", "\u00a0x\u00a0"}}},
    // 3. A NUL ends the value; the rest of the file reads normally.
    ReadRow{"22 NUL in a value", "[S]\nk=a\0b\nk2=after\n[T]\nx=1\n"s,
            {{"S", "k", "a"}, {"S", "k2", "after"}, {"T", "x", "1"}}},
    ReadRow{"23 NUL as the first byte", "\0[S]\nk=v\n"s, {{"S", "k", kDefault}}},
    // 4. '[' without ']' is a key line of the section before, which goes on.
    ReadRow{"10 [ Sec ], [<tab>Tab<tab>], [Open, [X]junk",
            "[ Sec ]\nk=v\n[\tTab\t]\nk=t\n[Open\nk=o\n[X]junk\nk=x\n",
            {{"Sec", "k", "v"}, {"Tab", "k", "t"}, {"Open", "k", kDefault}, {"X", "k", "x"}}},
    ReadRow{"a section goes on past '[' without ']'", "[S]\na=1\n[Open\nb=2\n",
            {{"S", "b", "2"}, {"Open", "b", kDefault}}},
    // 5. Keys before any section, [] and an empty key name.
    ReadRow{"8 keys before any section", "k0=top\n[S]\nk=v\n",
            {{"", "k0", "top"}, {"S", "k0", kDefault}, {"S", "k", "v"}}},
    ReadRow{"9 keys under []", "k0=top\n[]\nk=blank\n", {{"", "k0", "top"}, {"", "k", kDefault}}},
    ReadRow{"15 =value", "[S]\n=empty\nk=v\n", {{"S", "", "empty"}, {"S", "k", "v"}}},
    // 7. UTF-16LE with a byte-order mark.
    ReadRow{"UTF-16LE", Utf16Le(u"[S]\r\nk=v\r\nj=\u5024\r\n[T]\nx= 1 \n"),
            {{"S", "k", "v"}, {"S", "j", "\u5024"}, {"T", "x", "1"}}},
    ReadRow{"UTF-16LE, lone CR and NUL", Utf16Le(u"[S]\rk=a\rb=c\0d\r"s),
            {{"S", "k", "a"}, {"S", "b", "c"}}},
    // 8. In Shift-JIS a byte that is not code page 932 spoils only itself.
    ReadRow{"37-39 Shift-JIS names and values",
            "[\x90\xdd\x92\xe8]\n\x95\x5c=\x94\x5c\n\x83\x41=A\n\x8a\x65=kaku\n\x82\x60=fullA\n"
            "v=\x93\xfa\x96\x7b\x81\x40\nw=a\x81\n",
            {{"\u8a2d\u5b9a", "\u8868", "\u80fd"}, {"\u8a2d\u5b9a", "\u30a2", "A"},
             {"\u8a2d\u5b9a", "v", "\u65e5\u672c\u3000"}, {"\u8a2d\u5b9a", "w", "a\uFFFD"},
             {"\u8a2d\u5b9a", "\u5404", "kaku"}}},
    ReadRow{"Shift-JIS line with one bad byte", "[S]\nx=\x83\x65\xff\x83\x67\ny=\x83\x65\n",
            {{"S", "x", "\u30c6\uFFFD\u30c8"}, {"S", "y", "\u30c6"}}},
    // Rows where the reader already agreed, kept so they stay so.
    ReadRow{"1-2 blanks and tabs around names and values",
            "[S]\n  k1 \t=\t v1 \t\n\tk2\t=v2\na  b = 1\n",
            {{"S", "k1", "v1"}, {"S", "k2", "v2"}, {" S ", " k1 ", "v1"}, {"S", "a  b", "1"},
             {"S", "a b", kDefault}}},
    ReadRow{"6 quotes", "[S]\nq1=\"x y\"\nq2='x'\nq3=\"x\nq4=x\"\nq5=\" x \"\nq6=\"a\"b\"\nq7=\"\"\n"
            "q8= \"x\" \nq9=\"x'\n",
            {{"S", "q1", "x y"}, {"S", "q2", "x"}, {"S", "q3", "\"x"}, {"S", "q4", "x\""},
             {"S", "q5", " x "}, {"S", "q6", "a\"b"}, {"S", "q7", ""}, {"S", "q8", "x"},
             {"S", "q9", "\"x'"}}},
    ReadRow{"7 comment lines", "; c0=0\n[S]\n;k=1\n#h=2\nk=3\n  ;c=4\n[T] ; trailing\nt=1\n",
            {{"S", ";k", "1"}, {"S", ";c", "4"}, {"S", "#h", "2"}, {"S", "k", "3"}, {"T", "t", "1"},
             {"S", "c", kDefault}}},
    ReadRow{"11-12 first of duplicate sections and keys",
            "[S]\na=1\nb=1\n[T]\nx=1\n[S]\na=2\nc=2\n[U]\nk=1\nk=2\nK=3\n",
            {{"S", "a", "1"}, {"S", "c", kDefault}, {"U", "k", "1"}}},
    ReadRow{"13-14, 16-17 case, bare keys, '=' and ';' in values, CRLF",
            "[MySec]\r\nMyKey=v\r\nbare\r\nk=a=b;c #d\r\n",
            {{"mysec", "mykey", "v"}, {"MySec", "bare", kDefault}, {"MYSEC", "K", "a=b;c #d"}}}
));
// clang-format on

// --- Writing -------------------------------------------------------------------------------

struct WriteRow {
    const char* what;
    std::string before;
    std::string section, key, value;
    std::string after;  // the file's bytes after the write
};

void PrintTo(const WriteRow& row, std::ostream* os) {
    *os << row.what;
}

class WindowsWritingTest : public ::testing::TestWithParam<WriteRow> {
protected:
    IconvTextCodec codec_;
};

TEST_P(WindowsWritingTest, WriteIsVisibleAndTheRestStaysAsItWas) {
    const WriteRow& row = GetParam();
    IniFile file = IniFile::Parse(row.before, codec_);
    ASSERT_TRUE(file.Set(row.section, row.key, row.value, codec_));
    EXPECT_EQ(file.Serialize(), row.after);
    EXPECT_EQ(file.Get(row.section, row.key), row.value);
    // The next read, from the bytes, sees the value written.
    EXPECT_EQ(IniFile::Parse(file.Serialize(), codec_).Get(row.section, row.key), row.value);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, WindowsWritingTest, ::testing::Values(
    // A header cut short by a lone CR is no header: the write adds the section for real.
    WriteRow{"after a header ended by a lone CR", "[A]\nk=1\n[HID\r", "HID", "VendorID", "&H1234",
             "[A]\nk=1\n[HID\r[HID]\nVendorID=&H1234\n"},
    WriteRow{"CRLF file cut after its last CR", "[General]\r\nWindowChangeTime=3\r",
             "General", "WindowChangeTime", "4", "[General]\r\nWindowChangeTime=4\r"},
    WriteRow{"CR-only file", "[S]\ra=1\r", "S", "b", "2", "[S]\ra=1\rb=2\r"},
    WriteRow{"value before a lone CR", "[S]\r\nk=a\rb\r\n", "S", "k", "x", "[S]\r\nk=x\rb\r\n"},
    WriteRow{"last line without an end", "[S]\na=1", "T", "b", "2", "[S]\na=1\n[T]\nb=2\n"},
    // 6. The value the key already has: nothing changes (row 30).
    WriteRow{"30 same value", "[S]\r\nk = v\r\n", "S", "k", "v", "[S]\r\nk = v\r\n"},
    WriteRow{"same value inside quotes", "[S]\nk= \"v w\" \n", "s", "K", "v w", "[S]\nk= \"v w\" \n"},
    // 7. A UTF-16LE file stays UTF-16LE.
    WriteRow{"UTF-16LE new key", Utf16Le(u"[S]\r\nk=v\r\n"), "S", "j", "\u5024",
             Utf16Le(u"[S]\r\nk=v\r\nj=\u5024\r\n")},
    WriteRow{"UTF-16LE changed key and new section", Utf16Le(u"[S]\nk=v"), "S", "k", "w",
             Utf16Le(u"[S]\nk=w")},
    // Sounder than Windows: blanks that reading would trim are kept by quoting.
    WriteRow{"value with edge blanks", "[S]\n", "S", "k", "\tx\x0b", "[S]\nk=\"\tx\x0b\"\n"},
    WriteRow{"value in quotes", "[S]\n", "S", "k", "'x'", "[S]\nk=\"'x'\"\n"}
));
// clang-format on

TEST(WindowsWritingRefusalTest, NamesAndValuesThatWouldReadBackDifferentlyAreRefused) {
    IconvTextCodec codec;
    const std::string before = "[S]\n;c=1\nk=1\n";
    IniFile file = IniFile::Parse(before, codec);
    EXPECT_FALSE(file.Set("S", ";c", "2", codec));   // a comment line stays a comment
    EXPECT_FALSE(file.Set("S", "[k", "2", codec));   // would read as a section header
    EXPECT_FALSE(file.Set("S", "k=j", "2", codec));  // would read as key "k"
    EXPECT_FALSE(file.Set("S]", "k", "2", codec));   // would read as section "S"
    EXPECT_FALSE(file.Set("S", "k", "a\rb", codec));
    EXPECT_FALSE(file.Set("S", "k", "a\0b"s, codec));
    EXPECT_FALSE(file.Set("S", "k\0j"s, "2", codec));
    EXPECT_FALSE(file.Set("", "k", "2", codec));  // the nameless section is never written
    EXPECT_EQ(file.Serialize(), before);
}

TEST(WindowsWritingRefusalTest, NothingIsAddedAfterHalfAUtf16Character) {
    IconvTextCodec codec;
    const std::string cut = Utf16Le(u"[S]\r\nk=v\r\nj=w") + "\xC4";
    IniFile file = IniFile::Parse(cut, codec);
    ASSERT_EQ(file.Encoding(), TextEncoding::Utf16Le);
    EXPECT_EQ(file.Get("S", "j"), "w\uFFFD");
    EXPECT_FALSE(file.Set("S", "new", "1", codec));
    EXPECT_FALSE(file.Set("T", "new", "1", codec));
    EXPECT_EQ(file.Serialize(), cut);
    // A line before the end can change; the last line's change drops the half character.
    ASSERT_TRUE(file.Set("S", "k", "x", codec));
    EXPECT_EQ(file.Serialize(), Utf16Le(u"[S]\r\nk=x\r\nj=w") + "\xC4");
    ASSERT_TRUE(file.Set("S", "j", "y", codec));
    ASSERT_TRUE(file.Set("S", "new", "1", codec));
    EXPECT_EQ(file.Serialize(), Utf16Le(u"[S]\r\nk=x\r\nj=y\r\nnew=1\r\n"));
}

TEST(WindowsWritingRefusalTest, ShiftJisFileThatAWriteWouldTurnIntoUtf8IsNotWritten) {
    IconvTextCodec codec;
    // k's value is the file's only byte sequence that is not UTF-8; a holds ﾃｱ (C3 B1),
    // which reads as ñ once the file is taken for UTF-8.
    const std::string before = "[S]\na=\xc3\xb1\nk=\x83\x65\n";
    IniFile file = IniFile::Parse(before, codec);
    ASSERT_EQ(file.Encoding(), TextEncoding::ShiftJis);
    ASSERT_EQ(file.Get("S", "a"), "\uff83\uff71");
    EXPECT_FALSE(file.Set("S", "k", "x", codec));
    EXPECT_EQ(file.Serialize(), before);
    // Text that keeps a byte that is not UTF-8 is fine.
    ASSERT_TRUE(file.Set("S", "k", "\u30c8", codec));
    EXPECT_EQ(IniFile::Parse(file.Serialize(), codec).Get("S", "a"), "\uff83\uff71");

    // A file left with plain ASCII reads as UTF-8, and is written so from then on.
    IniFile plain = IniFile::Parse("[S]\nk=\x83\x65\n", codec);
    ASSERT_TRUE(plain.Set("S", "k", "x", codec));
    EXPECT_EQ(plain.Encoding(), TextEncoding::Utf8);
    ASSERT_TRUE(plain.Set("S", "j", "\u97f3", codec));
    EXPECT_EQ(plain.Serialize(), "[S]\nk=x\nj=\xe9\x9f\xb3\n");
}

}  // namespace
}  // namespace qv
