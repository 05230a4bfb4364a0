// The parsed document: how keys are found, how writes change the bytes, encodings.
#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "config/linux/IconvTextCodec.h"

namespace qv {
namespace {

class IniFileTest : public ::testing::Test {
protected:
    IniFile Parse(const std::string& bytes) { return IniFile::Parse(bytes, codec_); }
    IconvTextCodec codec_;
};

// --- Reading -----------------------------------------------------------------

TEST_F(IniFileTest, NamesIgnoreAsciiCase) {
    IniFile f = Parse("[remote1]\nPULSE=12,34,56\n");
    EXPECT_EQ(f.Get("Remote1", "Pulse"), "12,34,56");
    EXPECT_EQ(f.Get("REMOTE1", "pulse"), "12,34,56");
    EXPECT_FALSE(f.Get("Remote1", "Puls").has_value());
    EXPECT_FALSE(f.Get("Remote", "Pulse").has_value());
}

TEST_F(IniFileTest, FirstOfDuplicateKeysAndSectionsWins) {
    IniFile f = Parse("[A]\nk=1\nK=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(f.Get("A", "k"), "1");
    // The second [a] is never searched, as with the private-profile functions.
    EXPECT_FALSE(f.Get("A", "j").has_value());
    EXPECT_EQ(f.SectionNames(), (std::vector<std::string>{"A", "a"}));
}

TEST_F(IniFileTest, BlanksTrimmedAndMatchingQuotesRemoved) {
    IniFile f = Parse(
        "  [ General ]  \n"
        " \t Key \t=\t  value with  inner  blanks \t\n"
        "dq = \" padded \" \n"
        "sq='single'\n"
        "mixed=\"open'\n"
        "lone=\"\n"
        "empty=\n");
    EXPECT_EQ(f.Get("General", "Key"), "value with  inner  blanks");
    EXPECT_EQ(f.Get("General", "dq"), " padded ");
    EXPECT_EQ(f.Get("General", "sq"), "single");
    EXPECT_EQ(f.Get("General", "mixed"), "\"open'");
    EXPECT_EQ(f.Get("General", "lone"), "\"");
    ASSERT_TRUE(f.Get("General", "empty").has_value());
    EXPECT_EQ(*f.Get("General", "empty"), "");
}

TEST_F(IniFileTest, CommentsPreambleAndLinesWithoutEqualsAreNotKeysOfTheSection) {
    IniFile f = Parse("early=1\n[S]\n;hidden=2\n  ; also=3\njunk line\nreal=4\n");
    EXPECT_FALSE(f.Get("S", "early").has_value());
    EXPECT_EQ(f.Get("", "early"), "1");
    // A comment line is found only by its whole name, ';' included.
    EXPECT_EQ(f.Get("S", ";hidden"), "2");
    EXPECT_FALSE(f.Get("S", "hidden").has_value());
    EXPECT_FALSE(f.Get("S", "also").has_value());
    EXPECT_FALSE(f.Get("S", "junk line").has_value());
    EXPECT_EQ(f.Get("S", "real"), "4");
    EXPECT_TRUE(f.HasSection("s"));
}

TEST_F(IniFileTest, LastLineWithoutLineEndAndCrLfAreRead) {
    IniFile f = Parse("[S]\r\na=1\r\nb=2");
    EXPECT_EQ(f.Get("S", "a"), "1");
    EXPECT_EQ(f.Get("S", "b"), "2");
    EXPECT_EQ(f.NewLine(), "\r\n");
    EXPECT_EQ(Parse("[S]\na=1\n").NewLine(), "\n");
}

// --- Writing -----------------------------------------------------------------

TEST_F(IniFileTest, WriteReplacesInPlaceAndKeepsEveryOtherLine) {
    const std::string before =
        "; Quorvane settings\n"
        "[General]\n"
        "WindowChangeTime = 3   ; not a comment, part of the value\n"
        "\n"
        "[Remote1]\n"
        "  pulse =  12,34,56\n"
        "Comment=old\n"
        "; trailing comment\n";
    IniFile f = Parse(before);
    ASSERT_TRUE(f.Set("REMOTE1", "Comment", "new text", codec_));
    EXPECT_EQ(f.Serialize(),
              "; Quorvane settings\n"
              "[General]\n"
              "WindowChangeTime = 3   ; not a comment, part of the value\n"
              "\n"
              "[Remote1]\n"
              "  pulse =  12,34,56\n"
              "Comment=new text\n"
              "; trailing comment\n");
    EXPECT_EQ(f.Get("Remote1", "Comment"), "new text");
}

TEST_F(IniFileTest, MissingKeyGoesAfterTheLastKeyOfItsSection) {
    IniFile f = Parse("[Remote1]\nPulse=12\n\n; about slot 2\n[Remote2]\nPulse=13\n");
    ASSERT_TRUE(f.Set("Remote1", "KeyList", "D[A], U[A]", codec_));
    EXPECT_EQ(f.Serialize(),
              "[Remote1]\nPulse=12\nKeyList=D[A], U[A]\n\n; about slot 2\n[Remote2]\nPulse=13\n");
    // A section with no keys yet: right after its header.
    IniFile g = Parse("[Empty]\n; note\n[Next]\n");
    ASSERT_TRUE(g.Set("Empty", "k", "v", codec_));
    EXPECT_EQ(g.Serialize(), "[Empty]\nk=v\n; note\n[Next]\n");
    // A comment that looks like a key is no anchor either.
    IniFile h = Parse("[S]\na=1\n; b=2\n[T]\n");
    ASSERT_TRUE(h.Set("S", "c", "3", codec_));
    EXPECT_EQ(h.Serialize(), "[S]\na=1\nc=3\n; b=2\n[T]\n");
}

TEST_F(IniFileTest, MissingSectionIsAppendedAtTheEnd) {
    IniFile f = Parse("[General]\nWindowChangeTime=1");  // no line end at the end
    ASSERT_TRUE(f.Set("Remote1", "Pulse", "12,34,56", codec_));
    EXPECT_EQ(f.Serialize(), "[General]\nWindowChangeTime=1\n[Remote1]\nPulse=12,34,56\n");
    ASSERT_TRUE(f.Set("General", "Other", "x", codec_));
    EXPECT_EQ(f.Get("General", "Other"), "x");
}

TEST_F(IniFileTest, WriteGoesToTheFirstOfDuplicateSectionsAndKeys) {
    IniFile f = Parse("[A]\nk=1\nk=2\n[A]\nk=3\n");
    ASSERT_TRUE(f.Set("a", "K", "9", codec_));
    EXPECT_EQ(f.Serialize(), "[A]\nk=9\nk=2\n[A]\nk=3\n");
}

TEST_F(IniFileTest, LineEndsOfTheFileAreKept) {
    IniFile crlf = Parse("[S]\r\na=1\r\n");
    ASSERT_TRUE(crlf.Set("S", "b", "2", codec_));
    ASSERT_TRUE(crlf.Set("T", "c", "3", codec_));
    EXPECT_EQ(crlf.Serialize(), "[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n");

    IniFile lf = Parse("[S]\na=1\n");
    ASSERT_TRUE(lf.Set("S", "a", "2", codec_));
    ASSERT_TRUE(lf.Set("T", "c", "3", codec_));
    EXPECT_EQ(lf.Serialize(), "[S]\na=2\n[T]\nc=3\n");

    // A new file is written with CRLF, as Windows writes it.
    IniFile fresh;
    ASSERT_TRUE(fresh.Set("General", "WindowChangeTime", "0", codec_));
    EXPECT_EQ(fresh.Serialize(), "[General]\r\nWindowChangeTime=0\r\n");
}

TEST_F(IniFileTest, ValuesThatWouldBreakTheFileAreRefused) {
    const std::string before = "[S]\na=1\n";
    IniFile f = Parse(before);
    EXPECT_FALSE(f.Set("S", "a", "two\nlines", codec_));
    EXPECT_FALSE(f.Set("S", "a", "cr\ronly", codec_));
    EXPECT_FALSE(f.Set("S]x", "a", "1", codec_));
    EXPECT_FALSE(f.Set("S", "a=b", "1", codec_));
    EXPECT_FALSE(f.Set("S", "", "1", codec_));
    EXPECT_FALSE(f.Set("S", "a", "\xFF\xFE not UTF-8", codec_));
    EXPECT_EQ(f.Serialize(), before);
    EXPECT_EQ(f.Get("S", "a"), "1");
}

TEST_F(IniFileTest, AQuotedValueComesBackWithItsQuotes) {
    IniFile f;
    ASSERT_TRUE(f.Set("Remote1", "Comment", "\"Play\"", codec_));
    EXPECT_EQ(f.Get("Remote1", "Comment"), "\"Play\"");
    EXPECT_EQ(Parse(f.Serialize()).Get("Remote1", "Comment"), "\"Play\"");
}

// --- Encodings -----------------------------------------------------------------

TEST_F(IniFileTest, Utf8FileWithJapaneseAndByteOrderMark) {
    const std::string bytes = "\xEF\xBB\xBF[Remote1]\r\nComment=音量\r\n";
    IniFile f = Parse(bytes);
    EXPECT_EQ(f.Encoding(), TextEncoding::Utf8);
    EXPECT_EQ(f.Get("Remote1", "Comment"), "音量");
    ASSERT_TRUE(f.Set("Remote1", "Comment", "再生", codec_));
    EXPECT_EQ(f.Serialize(), "\xEF\xBB\xBF[Remote1]\r\nComment=再生\r\n");
}

TEST_F(IniFileTest, ShiftJisFileIsReadAsUtf8AndWrittenBackInShiftJis) {
    // "; リモコン設定" (a comment) and Comment=テスト, in code page 932.
    const std::string comment = "; \x83\x8A\x83\x82\x83\x52\x83\x93\x90\xDD\x92\xE8";
    const std::string bytes =
        comment + "\r\n[Remote1]\r\nComment=\x83\x65\x83\x58\x83\x67\r\nPulse=12\r\n";
    IniFile f = Parse(bytes);
    EXPECT_EQ(f.Encoding(), TextEncoding::ShiftJis);
    EXPECT_EQ(f.Get("Remote1", "Comment"), "テスト");

    ASSERT_TRUE(f.Set("Remote1", "Comment", "再生", codec_));
    ASSERT_TRUE(f.Set("Remote2", "Comment", "音量", codec_));
    EXPECT_EQ(f.Serialize(), comment +
                                 "\r\n[Remote1]\r\nComment=\x8D\xC4\x90\xB6\r\nPulse=12\r\n"
                                 "[Remote2]\r\nComment=\x89\xB9\x97\xCA\r\n");
}

TEST_F(IniFileTest, ShiftJisTrailByteThatLooksLikeABracketStaysInTheName) {
    // U+2010 HYPHEN is 0x81 0x5D in code page 932; 0x5D is ']'.
    IniFile f = Parse(
        "[A\x81\x5D"
        "B]\r\nk=1\r\n");
    EXPECT_EQ(f.Encoding(), TextEncoding::ShiftJis);
    EXPECT_EQ(f.Get("A\u2010B", "k"), "1");
    EXPECT_FALSE(f.Get("A", "k").has_value());
}

TEST_F(IniFileTest, BytesNoCodePageCanReadAreKeptAndTheRestStillWorks) {
    const std::string bytes = "[S]\nbad=\xFF\xFF\nk=1\n";
    IniFile f = Parse(bytes);
    EXPECT_EQ(f.Encoding(), TextEncoding::ShiftJis);
    EXPECT_EQ(f.Get("S", "k"), "1");
    EXPECT_EQ(f.Get("S", "bad"), "\uFFFD\uFFFD");
    ASSERT_TRUE(f.Set("S", "k", "2", codec_));
    EXPECT_EQ(f.Serialize(), "[S]\nbad=\xFF\xFF\nk=2\n");
}

TEST_F(IniFileTest, ShiftJisFileRefusesTextItCannotHold) {
    const std::string bytes = "[S]\r\nk=\x83\x65\r\n";
    IniFile f = Parse(bytes);
    ASSERT_EQ(f.Encoding(), TextEncoding::ShiftJis);
    EXPECT_FALSE(f.Set("S", "k", "emoji \xF0\x9F\x98\x80", codec_));
    EXPECT_EQ(f.Serialize(), bytes);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// Plain ASCII reads alike in UTF-8 and code page 932; which of the two such a file
// is decides how text added later is written. The Windows program takes the ANSI
// code page, so the file reads the same in Windows' own tools.
TEST_F(IniFileTest, PlainAsciiFilesTakeTheEncodingAskedFor) {
    const std::string ascii = "[Remote1]\r\nComment=x\r\n";
    EXPECT_EQ(Parse(ascii).Encoding(), TextEncoding::Utf8);
    IniFile ansi = IniFile::Parse(ascii, codec_, TextEncoding::ShiftJis);
    EXPECT_EQ(ansi.Encoding(), TextEncoding::ShiftJis);
    ASSERT_TRUE(ansi.Set("Remote1", "Comment", "表示", codec_));
    EXPECT_EQ(ansi.Serialize(), "[Remote1]\r\nComment=\x95\x5c\x8e\xa6\r\n");

    // A new file likewise; and it stays so while only ASCII is written to it.
    IniFile fresh = IniFile::Parse("", codec_, TextEncoding::ShiftJis);
    ASSERT_TRUE(fresh.Set("General", "WindowChangeTime", "3", codec_));
    EXPECT_EQ(fresh.Encoding(), TextEncoding::ShiftJis);
    ASSERT_TRUE(fresh.Set("Remote1", "Comment", "能", codec_));
    EXPECT_EQ(fresh.Serialize(),
              "[General]\r\nWindowChangeTime=3\r\n[Remote1]\r\nComment=\x94\x5c\r\n");

    // Files with text of their own keep the encoding they are in.
    EXPECT_EQ(
        IniFile::Parse("[S]\r\nk=\xe8\xa1\xa8\r\n", codec_, TextEncoding::ShiftJis).Encoding(),
        TextEncoding::Utf8);
    EXPECT_EQ(IniFile::Parse("\xef\xbb\xbf[S]\r\n", codec_, TextEncoding::ShiftJis).Encoding(),
              TextEncoding::Utf8);
}

// A Shift-JIS file whose last non-ASCII text is overwritten with ASCII becomes
// plain ASCII: UTF-8 from then on by default, still Shift-JIS when plain ASCII is
// taken for Shift-JIS.
TEST_F(IniFileTest, AShiftJisFileLeftWithPlainAsciiTakesThePlainTextEncoding) {
    const std::string sjis = "[S]\r\nk=\x95\x5c\r\n";
    IniFile utf8 = Parse(sjis);
    ASSERT_TRUE(utf8.Set("S", "k", "x", codec_));
    ASSERT_TRUE(utf8.Set("S", "j", "値", codec_));
    EXPECT_EQ(utf8.Serialize(), "[S]\r\nk=x\r\nj=\xe5\x80\xa4\r\n");

    IniFile ansi = IniFile::Parse(sjis, codec_, TextEncoding::ShiftJis);
    ASSERT_TRUE(ansi.Set("S", "k", "x", codec_));
    ASSERT_TRUE(ansi.Set("S", "j", "値", codec_));
    EXPECT_EQ(ansi.Serialize(), "[S]\r\nk=x\r\nj=\x92\x6c\r\n");
}

}  // namespace
}  // namespace qv
