// The configuration file layer over Windows' file calls, on real files.
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "config/IniStore.h"
#include "config/Settings.h"
#include "config/win32/Win32ConfigFiles.h"
#include "config/win32/Win32TextCodec.h"

namespace qv {
namespace {

using test::Exists;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

TEST(Win32ConfigFiles, ReadsWholeFilesAndTellsMissingFromUnreadable) {
    TempFolder dir;
    Win32ConfigFiles files;
    std::string bytes = "stale";

    EXPECT_EQ(files.ReadFile(dir.File("missing.ini"), bytes), ReadStatus::NotFound);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(files.ReadFile(dir.File("no\\such\\folder.ini"), bytes), ReadStatus::NotFound);

    std::string big(200000, 'x');
    big[0] = '\0';
    big[199999] = '\x81';
    WriteBytes(dir.File("big.ini"), big);
    EXPECT_EQ(files.ReadFile(dir.File("big.ini"), bytes), ReadStatus::Ok);
    EXPECT_EQ(bytes, big);

    // A folder and a device are not configuration files.
    EXPECT_EQ(files.ReadFile(dir.Path(), bytes), ReadStatus::Error);
    EXPECT_EQ(files.ReadFile("NUL", bytes), ReadStatus::Error);
    EXPECT_EQ(bytes, "");
}

TEST(Win32ConfigFiles, ReplaceCreatesFoldersAndLeavesNoTemporaryFile) {
    TempFolder dir;
    Win32ConfigFiles files;
    const std::string path = dir.File("設定\\sub\\Quorvane.ini");

    ASSERT_TRUE(files.ReplaceFile(path, "[S]\r\nk=1\r\n"));
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=1\r\n");
    ASSERT_TRUE(files.ReplaceFile(path, "[S]\r\nk=2\r\n"));
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=2\r\n");
    EXPECT_FALSE(Exists(TemporaryPathFor(path)));
}

TEST(Win32ConfigFiles, ATemporaryFileLeftByAnInterruptedWriteIsTakenOver) {
    TempFolder dir;
    Win32ConfigFiles files;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path, "old");
    WriteBytes(TemporaryPathFor(path), "half a file");

    ASSERT_TRUE(files.ReplaceFile(path, "new"));
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_FALSE(Exists(TemporaryPathFor(path)));
}

TEST(Win32ConfigFiles, RefusesToReplaceWhatIsNoPlainFile) {
    TempFolder dir;
    Win32ConfigFiles files;

    // A folder in the file's place stays a folder.
    const std::string folder = dir.File("Quorvane.ini");
    ASSERT_TRUE(::CreateDirectoryW(win32::Utf8ToWide(folder).c_str(), nullptr));
    EXPECT_FALSE(files.ReplaceFile(folder, "x"));
    EXPECT_NE(::GetFileAttributesW(win32::Utf8ToWide(folder).c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              0u);

    // A device name is no file to create.
    EXPECT_FALSE(files.ReplaceFile("NUL", "x"));

    // A file inside a "folder" that is a file.
    WriteBytes(dir.File("plain"), "p");
    EXPECT_FALSE(files.ReplaceFile(dir.File("plain\\Quorvane.ini"), "x"));
    EXPECT_EQ(ReadBytes(dir.File("plain")), "p");
}

TEST(Win32ConfigFiles, AReadOnlyFileIsNotReplacedAndStaysAsItWas) {
    TempFolder dir;
    Win32ConfigFiles files;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path, "old");
    ASSERT_TRUE(::SetFileAttributesW(win32::Utf8ToWide(path).c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(files.ReplaceFile(path, "new"));
    EXPECT_EQ(ReadBytes(path), "old");
    EXPECT_FALSE(Exists(TemporaryPathFor(path)));
}

TEST(Win32ConfigFiles, DefaultPathIsBesideTheExecutableWhenThatFolderIsWritable) {
    wchar_t exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::string folder = win32::WideToUtf8(std::wstring_view(exe, n));
    folder.resize(folder.find_last_of('\\'));
    EXPECT_EQ(Win32ConfigFiles().DefaultIniPath(), folder + "\\Quorvane.ini");
}

TEST(Win32ConfigFiles, ChooseIniPath) {
    EXPECT_EQ(ChooseIniPath("C:\\Tools\\Quorvane", true, "C:\\Users\\u\\AppData\\Roaming"),
              "C:\\Tools\\Quorvane\\Quorvane.ini");
    EXPECT_EQ(ChooseIniPath("C:\\Program Files\\Quorvane", false, "C:\\Users\\u\\AppData\\Roaming"),
              "C:\\Users\\u\\AppData\\Roaming\\Quorvane\\Quorvane.ini");
    // Nowhere else to go: beside the executable after all (writes then fail visibly).
    EXPECT_EQ(ChooseIniPath("C:\\Program Files\\Quorvane", false, ""),
              "C:\\Program Files\\Quorvane\\Quorvane.ini");
    EXPECT_EQ(ChooseIniPath("", false, ""), "Quorvane.ini");
    EXPECT_EQ(ChooseIniPath("D:\\", true, ""), "D:\\Quorvane.ini");
}

TEST(Win32ConfigFiles, AFileBesideAProgramThatCannotWriteThereIsWhereItStarts) {
    const std::string roaming = "C:\\Users\\u\\AppData\\Roaming";
    const std::string perUser = roaming + "\\Quorvane\\Quorvane.ini";
    const std::string beside = "C:\\Program Files\\Quorvane\\Quorvane.ini";
    ConfigLocation l =
        ChooseIniLocation("C:\\Program Files\\Quorvane", false, roaming, true, false);
    EXPECT_EQ(l.path, perUser);
    EXPECT_EQ(l.startFrom, beside);
    // The copy made at the first change is the file from then on.
    l = ChooseIniLocation("C:\\Program Files\\Quorvane", false, roaming, true, true);
    EXPECT_EQ(l.path, perUser);
    EXPECT_EQ(l.startFrom, "");
    // Nothing beside the program: a new file in the user's folder.
    EXPECT_EQ(
        ChooseIniLocation("C:\\Program Files\\Quorvane", false, roaming, false, false).startFrom,
        "");
    // A folder it can write, or no user folder: the file beside it is the file.
    l = ChooseIniLocation("C:\\Tools\\Quorvane", true, roaming, true, false);
    EXPECT_EQ(l.path, "C:\\Tools\\Quorvane\\Quorvane.ini");
    EXPECT_EQ(l.startFrom, "");
    l = ChooseIniLocation("C:\\Program Files\\Quorvane", false, "", true, false);
    EXPECT_EQ(l.path, beside);
    EXPECT_EQ(l.startFrom, "");
}

TEST(Win32ConfigFiles, TemporaryPathIsBesideTheFile) {
    EXPECT_EQ(TemporaryPathFor("C:\\a\\Quorvane.ini"), "C:\\a\\.Quorvane.ini.tmp");
    EXPECT_EQ(TemporaryPathFor("Quorvane.ini"), ".Quorvane.ini.tmp");
}

TEST(Win32ConfigFiles, OnlyAPlainFileOrNothingCanBeTheConfigurationFile) {
    TempFolder dir;
    EXPECT_EQ(CheckConfigPath(dir.File("absent.ini")), std::nullopt);
    EXPECT_EQ(CheckConfigPath(dir.File("no\\such\\folder.ini")), std::nullopt);
    WriteBytes(dir.File("Quorvane.ini"), "[S]\r\n");
    EXPECT_EQ(CheckConfigPath(dir.File("Quorvane.ini")), std::nullopt);
    EXPECT_EQ(CheckConfigPath(dir.Path()), dir.Path() + " is a folder, not a file");
    EXPECT_EQ(CheckConfigPath("NUL"), "NUL is a device, not a file");
}

TEST(Win32ConfigFiles, StartRemovesWhatAnInterruptedWriteLeft) {
    TempFolder dir;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path, "[S]\r\nk=1\r\n");
    WriteBytes(TemporaryPathFor(path), "half");
    EXPECT_EQ(PrepareConfigPath(path), std::nullopt);
    EXPECT_FALSE(Exists(TemporaryPathFor(path)));
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=1\r\n");
    EXPECT_EQ(PrepareConfigPath(dir.Path()), dir.Path() + " is a folder, not a file");
}

// The configuration procedures on the Windows backends: a Shift-JIS file written by
// another Windows tool is read, and a change keeps it Shift-JIS byte for byte.
TEST(Win32ConfigFiles, IniStoreKeepsAShiftJisFileShiftJis) {
    TempFolder dir;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path, "[Remote1]\r\nComment=\x95\x5C\x8E\xA6\r\nKeyList=DA, UA\r\n");
    IniStore store(std::make_unique<Win32TextCodec>(932), std::make_unique<Win32ConfigFiles>());
    store.SetIniPath(path);

    EXPECT_EQ(IniRead(store, "Remote1", "Comment", ""), "表示");
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", "能力"));
    EXPECT_EQ(ReadBytes(path), "[Remote1]\r\nComment=\x94\x5C\x97\xCD\r\nKeyList=DA, UA\r\n");
    EXPECT_EQ(IniRead(store, "Remote1", "Comment", ""), "能力");
}

}  // namespace
}  // namespace qv
