// The INI procedures against real files: defaults, trimming, what a write leaves on
// disk, encodings, failures that must leave the old file intact, and the INI path.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "TempDir.h"
#include "config/Settings.h"

namespace qv {
namespace {

using test::MakeStore;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// --- Missing file and defaults ---------------------------------------------------

TEST(IniStoreTest, MissingFileGivesEveryDefault) {
    TempDir dir;
    IniStore store = MakeStore(dir.File("Quorvane.ini"));
    EXPECT_EQ(IniRead(store, "Remote1", "Pulse", ""), "");
    EXPECT_EQ(IniRead(store, "Remote1", "Comment", "  dflt  "), "dflt");
    EXPECT_EQ(IniReadDefault(store, "General", "WindowChangeTime", 0), 0.0);
    EXPECT_EQ(IniReadDefault(store, "Remote1", "AdjustTime", 2.5), 2.5);
    EXPECT_EQ(ReadIdentifier(IniRead(store, "HID", "VendorID", kDefaultVendorId)), 0x1234);
    EXPECT_EQ(ReadIdentifier(IniRead(store, "HID", "ProductID", kDefaultProductId)), 0x0001);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Quorvane.ini")));
}

TEST(IniStoreTest, ValuesAreReadTrimmedAndNumbersParsed) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path,
               "[HID]\r\nVendorID=0x04d8\r\nProductID = 1240 \r\n"
               "[Remote1]\r\nAdjustTime=-3\r\nAdjustPulse=\r\nComment=\"  quoted  \"\r\n");
    IniStore store = MakeStore(path);
    EXPECT_EQ(ReadIdentifier(IniRead(store, "HID", "VendorID", kDefaultVendorId)), 1240);
    EXPECT_EQ(ReadIdentifier(IniRead(store, "HID", "ProductID", kDefaultProductId)), 1240);
    EXPECT_EQ(IniReadDefault(store, "Remote1", "AdjustTime", 0), -3.0);
    // A key that is present but empty reads as 0, not as the default.
    EXPECT_EQ(IniReadDefault(store, "Remote1", "AdjustPulse", 7), 0.0);
    // Quotes come off first, then IniRead strips the spaces.
    EXPECT_EQ(IniRead(store, "Remote1", "Comment", ""), "quoted");
}

// --- Writing ---------------------------------------------------------------------

TEST(IniStoreTest, FirstWriteCreatesTheFileAndItsFolder) {
    TempDir dir;
    const std::string path = (dir.path() / "sub" / "quorvane" / "Quorvane.ini").string();
    IniStore store = MakeStore(path);
    EXPECT_TRUE(IniWrite(store, "General", "WindowChangeTime", 3.0));
    EXPECT_EQ(ReadBytes(path), "[General]\r\nWindowChangeTime=3\r\n");
    EXPECT_TRUE(IniWrite(store, "General", "WindowChangeTime", 2.5));
    EXPECT_EQ(IniRead(store, "General", "WindowChangeTime", ""), "2.5");
}

TEST(IniStoreTest, WrittenValuesAreStrippedOfSpaces) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", "   leading and trailing   "));
    EXPECT_EQ(ReadBytes(path), "[Remote1]\r\nComment=leading and trailing\r\n");
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", "    "));
    EXPECT_EQ(ReadBytes(path), "[Remote1]\r\nComment=\r\n");
}

TEST(IniStoreTest, WriteAfterAHeaderEndedByALoneCrIsReadBack) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path, "[General]\nWindowChangeTime=1\n[HID\r");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "HID", "VendorID", "&H1234"));
    EXPECT_EQ(IniRead(store, "HID", "VendorID", "none"), "&H1234");
    EXPECT_EQ(IniRead(store, "General", "WindowChangeTime", ""), "1");
}

TEST(IniStoreTest, LongValueSurvivesAWriteReadCycleInFull) {
    TempDir dir;
    IniStore store = MakeStore(dir.File("Quorvane.ini"));
    std::string keyList;
    while (keyList.size() < 1000) {
        keyList += "D[CTRL], D[A], U[A], U[CTRL], ";
    }
    keyList += "D[END]";
    ASSERT_GT(keyList.size(), 1000u);
    ASSERT_TRUE(IniWrite(store, "Remote1", "KeyList", keyList));
    EXPECT_EQ(IniRead(store, "Remote1", "KeyList", ""), keyList);
}

TEST(IniStoreTest, WriteKeepsTheRestOfAHandEditedFile) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string head = "; my remote\n[General]\nWindowChangeTime=2\n\n[Remote1]\n";
    WriteBytes(path, head + "Pulse=12,34,56\n  ; volume up\nComment=old\n");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "remote1", "comment", "new"));
    ASSERT_TRUE(IniWrite(store, "Remote1", "KeyList", "D[UP], U[UP]"));
    EXPECT_EQ(ReadBytes(path),
              head + "Pulse=12,34,56\n  ; volume up\nComment=new\nKeyList=D[UP], U[UP]\n");
}

TEST(IniStoreTest, ShiftJisCommentRoundTripsByteForByte) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    // Comment line "; リモコン設定" and Comment=テスト in code page 932.
    const std::string sjisComment = "; \x83\x8A\x83\x82\x83\x52\x83\x93\x90\xDD\x92\xE8";
    WriteBytes(path, sjisComment +
                         "\r\n[Remote1]\r\nPulse=12,34,56\r\n"
                         "Comment=\x83\x65\x83\x58\x83\x67\r\n");
    IniStore store = MakeStore(path);
    EXPECT_EQ(IniRead(store, "Remote1", "Comment", ""), "テスト");
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", "再生"));
    ASSERT_TRUE(IniWrite(store, "Remote1", "WindowName", "Notepad"));
    EXPECT_EQ(ReadBytes(path), sjisComment +
                                   "\r\n[Remote1]\r\nPulse=12,34,56\r\n"
                                   "Comment=\x8D\xC4\x90\xB6\r\nWindowName=Notepad\r\n");
    EXPECT_EQ(IniRead(store, "Remote1", "Comment", ""), "再生");
}

TEST(IniStoreTest, NewFileWithJapaneseIsUtf8) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", "音量"));
    EXPECT_EQ(ReadBytes(path), "[Remote1]\r\nComment=\xE9\x9F\xB3\xE9\x87\x8F\r\n");
}

TEST(IniStoreTest, SeveralKeysGoInOneWriteOrNotAtAll) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWriteKeys(store, "Remote1",
                             {{"Pulse", "05,120,07"},
                              {"Comment", "  Play "},
                              {"AdjustTime", "2"},
                              {"WindowName", ""},
                              {"KeyList", "D[A], U[A]"}}));
    const std::string stored =
        "[Remote1]\r\nPulse=05,120,07\r\nComment=Play\r\nAdjustTime=2\r\nWindowName=\r\n"
        "KeyList=D[A], U[A]\r\n";
    EXPECT_EQ(ReadBytes(path), stored);
    // A value that cannot be stored stops the whole write; the file keeps every old value.
    EXPECT_FALSE(IniWriteKeys(store, "Remote1", {{"Pulse", "11,22,33"}, {"Comment", "a\nb"}}));
    EXPECT_EQ(ReadBytes(path), stored);
}

TEST(IniStoreTest, SymbolicLinkIsFollowedAndPermissionsKept) {
    TempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("Quorvane.ini");
    WriteBytes(real, "[General]\nWindowChangeTime=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    std::filesystem::create_symlink(real, link);
    IniStore store = MakeStore(link);
    ASSERT_TRUE(IniWrite(store, "General", "WindowChangeTime", 4.0));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "[General]\nWindowChangeTime=4\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// --- Failed writes ---------------------------------------------------------------

std::vector<std::string> FolderEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(IniStoreFailureTest, WriteIntoAnUnwritableLocationReportsFalse) {
    TempDir dir;
    // A path below a regular file: no folder can be made there, not even by root.
    WriteBytes(dir.File("plainfile"), "x");
    IniStore below = MakeStore(dir.File("plainfile") + "/Quorvane.ini");
    EXPECT_FALSE(IniWrite(below, "General", "WindowChangeTime", 1.0));
    // /proc accepts no new files, whoever asks.
    IniStore proc = MakeStore("/proc/self/Quorvane.ini");
    EXPECT_FALSE(IniWrite(proc, "General", "WindowChangeTime", 1.0));
}

TEST(IniStoreFailureTest, ReadOnlyFolderReportsFalseAndKeepsTheFile) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string before = "[General]\nWindowChangeTime=1\n";
    WriteBytes(path, before);
    // Readable by everyone, writable by no one; root ignores folder permissions, so the
    // write runs in a child that gives up root first.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(2);
        }
        IniStore store = MakeStore(path);
        const bool readable = IniRead(store, "General", "WindowChangeTime", "") == "1";
        const bool wrote = IniWrite(store, "General", "WindowChangeTime", 5.0);
        ::_exit(!readable ? 3 : (wrote ? 1 : 0));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: write reported success, 2: setuid, 3: unreadable";
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
}

TEST(IniStoreFailureTest, UnreadableFileIsNotOverwritten) {
    TempDir dir;
    // A folder where the file should be: it exists but cannot be read as a file.
    std::filesystem::create_directory(dir.File("Quorvane.ini"));
    WriteBytes(dir.File("Quorvane.ini") + "/keep", "data");
    IniStore store = MakeStore(dir.File("Quorvane.ini"));
    EXPECT_FALSE(IniWrite(store, "General", "WindowChangeTime", 1.0));
    EXPECT_EQ(ReadBytes(dir.File("Quorvane.ini") + "/keep"), "data");
}

TEST(IniStoreFailureTest, FullDiskLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string before = "[Remote1]\r\nPulse=12,34,56\r\nKeyList=D[A], U[A]\r\n";
    WriteBytes(path, before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file-size limit makes write() fail with EFBIG, as a full disk fails it with
        // ENOSPC, and it binds root too.
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 64;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        IniStore store = MakeStore(path);
        const bool ok = IniWrite(store, "Remote1", "KeyList", std::string(4096, 'X'));
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "IniWrite reported success on a failed write";
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
}

TEST(IniStoreFailureTest, ProcessKilledWhileWritingNeverLeavesATornFile) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string big(200000, 'A');
    {
        IniStore store = MakeStore(path);
        ASSERT_TRUE(IniWrite(store, "Remote1", "KeyList", big));
    }
    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            IniStore store = MakeStore(path);
            for (int i = 0;; ++i) {
                IniWrite(store, "Remote1", "KeyList", std::string(big.size(), i % 2 ? 'A' : 'B'));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        IniStore store = MakeStore(path);
        const std::string value = IniRead(store, "Remote1", "KeyList", "");
        ASSERT_EQ(value.size(), big.size()) << "round " << round;
        EXPECT_TRUE(value == std::string(big.size(), 'A') || value == std::string(big.size(), 'B'))
            << "round " << round;
    }
}

// --- The INI path ----------------------------------------------------------------

class CountingFiles final : public ConfigFiles {
public:
    explicit CountingFiles(int* lookups) : lookups_(lookups) {}
    ReadStatus ReadFile(const std::string&, std::string& bytes) override {
        bytes.clear();
        return ReadStatus::NotFound;
    }
    bool ReplaceFile(const std::string&, std::string_view) override { return false; }
    std::string DefaultIniPath() override {
        ++*lookups_;
        return "/somewhere/Quorvane.ini";
    }

private:
    int* lookups_;
};

TEST(IniPathTest, DefaultLocationIsLookedUpOnceAndOverridable) {
    int lookups = 0;
    IniStore store(std::make_unique<IconvTextCodec>(), std::make_unique<CountingFiles>(&lookups));
    EXPECT_EQ(store.IniPath(), "/somewhere/Quorvane.ini");
    IniRead(store, "General", "WindowChangeTime", "0");
    IniWrite(store, "General", "WindowChangeTime", "0");
    EXPECT_EQ(lookups, 1);
    store.SetIniPath("/elsewhere/test.ini");
    EXPECT_EQ(store.IniPath(), "/elsewhere/test.ini");
    EXPECT_EQ(lookups, 1);
    store.SetIniPath("");  // back to the default location
    EXPECT_EQ(store.IniPath(), "/somewhere/Quorvane.ini");
}

// The default location with a file to start from: real files in a
// temporary folder, and writes that can be made to fail.
class StartingFiles final : public ConfigFiles {
public:
    StartingFiles(std::string path, std::string startFrom)
        : location_{std::move(path), std::move(startFrom)} {}
    bool failWrites = false;
    std::vector<std::string> written;  // the paths replaced, in order
    ReadStatus ReadFile(const std::string& path, std::string& bytes) override {
        return real_.ReadFile(path, bytes);
    }
    bool ReplaceFile(const std::string& path, std::string_view bytes) override {
        written.push_back(path);
        return !failWrites && real_.ReplaceFile(path, bytes);
    }
    std::string DefaultIniPath() override { return location_.path; }
    ConfigLocation DefaultLocation() override { return location_; }

private:
    ConfigLocation location_;
    PosixConfigFiles real_;
};

struct StartingStore {
    explicit StartingStore(const TempDir& dir)
        : beside(dir.File("Quorvane.ini")),
          perUser((dir.path() / "user" / "Quorvane.ini").string()) {
        auto owned = std::make_unique<StartingFiles>(perUser, beside);
        files = owned.get();
        store = std::make_unique<IniStore>(std::make_unique<IconvTextCodec>(), std::move(owned));
        store->SetFileInUseChanged([this](const std::string& path) { changes.push_back(path); });
    }
    std::string beside;
    std::string perUser;
    StartingFiles* files = nullptr;
    std::unique_ptr<IniStore> store;
    std::vector<std::string> changes;
};

// Shift-JIS, a comment, odd spacing and LF line ends: all of it must reach the copy.
constexpr std::string_view kOriginal =
    "; \x90\xdd\x92\xe8\n[Remote1]\nPulse = 5,120,7\nComment=\x95\x5c\x8e\xa6\n";

TEST(IniStartFromTest, TheFileToStartFromIsReadUntilTheFirstChange) {
    TempDir dir;
    StartingStore s(dir);
    WriteBytes(s.beside, std::string(kOriginal));
    EXPECT_EQ(s.store->IniPath(), s.perUser);
    EXPECT_EQ(s.store->FileInUse(), s.beside);
    EXPECT_EQ(IniRead(*s.store, "Remote1", "Pulse", ""), "5,120,7");
    // Writing what is there already changes nothing, so nothing is copied.
    EXPECT_TRUE(IniWrite(*s.store, "Remote1", "Pulse", "5,120,7"));
    EXPECT_TRUE(s.files->written.empty());
    EXPECT_FALSE(std::filesystem::exists(s.perUser));
    EXPECT_TRUE(s.changes.empty());
}

TEST(IniStartFromTest, TheFirstChangeCopiesTheFileAsItIsAndChangesTheCopy) {
    TempDir dir;
    StartingStore s(dir);
    WriteBytes(s.beside, std::string(kOriginal));
    ASSERT_TRUE(IniWrite(*s.store, "General", "WindowChangeTime", 3.0));
    // First the copy, byte for byte, then the change into it.
    EXPECT_EQ(s.files->written, (std::vector<std::string>{s.perUser, s.perUser}));
    EXPECT_EQ(ReadBytes(s.beside), kOriginal) << "the original stays untouched";
    const std::string copy = ReadBytes(s.perUser);
    EXPECT_NE(copy.find("\x95\x5c\x8e\xa6"), std::string::npos) << "Shift-JIS kept";
    EXPECT_NE(copy.find("WindowChangeTime=3"), std::string::npos);
    EXPECT_EQ(s.store->FileInUse(), s.perUser);
    EXPECT_EQ(s.changes, std::vector<std::string>{s.perUser});

    // From now on the copy is read and written; the original is never read again.
    WriteBytes(s.beside, "[Remote1]\nPulse=9,9,9\n");
    EXPECT_EQ(IniRead(*s.store, "Remote1", "Pulse", ""), "5,120,7");
    ASSERT_TRUE(IniWrite(*s.store, "Remote1", "Comment", "x"));
    EXPECT_EQ(s.files->written.size(), 3u);
    EXPECT_EQ(s.changes.size(), 1u);
}

TEST(IniStartFromTest, AFailedCopyChangesNothingAndKeepsReadingTheOriginal) {
    TempDir dir;
    StartingStore s(dir);
    WriteBytes(s.beside, std::string(kOriginal));
    s.files->failWrites = true;
    EXPECT_FALSE(IniWrite(*s.store, "General", "WindowChangeTime", 3.0));
    EXPECT_EQ(s.store->FileInUse(), s.beside);
    EXPECT_TRUE(s.changes.empty());
    EXPECT_EQ(ReadBytes(s.beside), kOriginal);
    s.files->failWrites = false;
    EXPECT_TRUE(IniWrite(*s.store, "General", "WindowChangeTime", 3.0));
    EXPECT_EQ(s.store->FileInUse(), s.perUser);
}

TEST(IniStartFromTest, AFileAtThePathWinsAndAFileToStartFromThatWentAwayIsNone) {
    TempDir dir;
    {
        StartingStore s(dir);
        WriteBytes(s.beside, std::string(kOriginal));
        std::filesystem::create_directories(std::filesystem::path(s.perUser).parent_path());
        WriteBytes(s.perUser, "[Remote1]\nPulse=1,2,3\n");
        EXPECT_EQ(IniRead(*s.store, "Remote1", "Pulse", ""), "1,2,3");
        EXPECT_EQ(s.store->FileInUse(), s.perUser);
        EXPECT_EQ(s.changes, std::vector<std::string>{s.perUser});
    }
    // The file to start from went away: the first change makes a new file.
    TempDir gone;
    StartingStore s(gone);
    EXPECT_EQ(IniRead(*s.store, "Remote1", "Pulse", "none"), "none");
    ASSERT_TRUE(IniWrite(*s.store, "General", "WindowChangeTime", 1.0));
    EXPECT_EQ(s.files->written, std::vector<std::string>{s.perUser});
    EXPECT_EQ(ReadBytes(s.perUser), "[General]\r\nWindowChangeTime=1\r\n");
    EXPECT_EQ(s.store->FileInUse(), s.perUser);
}

TEST(IniStartFromTest, AGivenPathLeavesTheDefaultLocationBehind) {
    TempDir dir;
    StartingStore s(dir);
    WriteBytes(s.beside, std::string(kOriginal));
    EXPECT_EQ(s.store->FileInUse(), s.beside);
    s.store->SetIniPath(dir.File("given.ini"));
    EXPECT_EQ(s.store->FileInUse(), dir.File("given.ini"));
    EXPECT_EQ(IniRead(*s.store, "Remote1", "Pulse", "none"), "none");
    ASSERT_TRUE(IniWrite(*s.store, "General", "WindowChangeTime", 1.0));
    EXPECT_EQ(s.files->written, std::vector<std::string>{dir.File("given.ini")});
}

TEST(IniPathTest, BesideTheExecutableWhenWritable) {
    PosixConfigFiles files;
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string dir = std::filesystem::path(exe).parent_path().string();
    if (::access(dir.c_str(), W_OK) == 0) {
        EXPECT_EQ(files.DefaultIniPath(), dir + "/Quorvane.ini");
    } else {
        EXPECT_NE(files.DefaultIniPath().find("/quorvane/Quorvane.ini"), std::string::npos);
    }
}

TEST(IniPathTest, PerUserFolderWhenTheExecutableFolderIsNotWritable) {
    EXPECT_EQ(ChooseIniPath("/opt/qv", true, "/x", "/home/u"), "/opt/qv/Quorvane.ini");
    EXPECT_EQ(ChooseIniPath("/usr/bin", false, "/home/u/cfg", "/home/u"),
              "/home/u/cfg/quorvane/Quorvane.ini");
    EXPECT_EQ(ChooseIniPath("/usr/bin", false, "", "/home/u"),
              "/home/u/.config/quorvane/Quorvane.ini");
    // A relative XDG_CONFIG_HOME is not valid and is ignored.
    EXPECT_EQ(ChooseIniPath("/usr/bin", false, "rel", "/home/u"),
              "/home/u/.config/quorvane/Quorvane.ini");
    EXPECT_EQ(ChooseIniPath("", false, "", "/home/u"), "/home/u/.config/quorvane/Quorvane.ini");
}

TEST(IniPathTest, SystemProgramFoldersNeverHoldTheFile) {
    // An installed program run as root could write /usr/bin; it must not.
    for (const char* folder : {"/usr/bin", "/usr/bin/", "/bin", "/usr/local/bin", "/usr/sbin"}) {
        EXPECT_TRUE(IsSystemProgramFolder(folder)) << folder;
    }
    for (const char* folder :
         {"/opt/qv", "/usr", "/usr/bin/qv", "/home/u/build/src/app", "", "/"}) {
        EXPECT_FALSE(IsSystemProgramFolder(folder)) << folder;
    }
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST(IniStoreTest, NewFilesAreWrittenInThePlainTextEncoding) {
    test::TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    IniStore store = test::MakeStore(path);
    store.SetPlainTextEncoding(TextEncoding::ShiftJis);
    ASSERT_TRUE(IniWrite(store, "Remote1", "Comment", "表示"));
    EXPECT_EQ(test::ReadBytes(path), "[Remote1]\r\nComment=\x95\x5c\x8e\xa6\r\n");
    EXPECT_EQ(IniRead(store, "Remote1", "Comment", ""), "表示");
}

}  // namespace
}  // namespace qv
