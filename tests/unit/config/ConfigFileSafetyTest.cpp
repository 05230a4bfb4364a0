// The configuration file on disk when it is not a plain file: device nodes, FIFOs,
// sockets, folders and symbolic links as the configuration path; writes killed half
// way; writes that change nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "TempDir.h"
#include "common/posix/UniqueFd.h"
#include "config/Settings.h"

namespace qv {
namespace {

using test::MakeStore;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<std::string> FolderEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct stat Lstat(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "lstat(" << path << "): " << std::strerror(errno);
    }
    return st;
}

// Runs `body` in a child process that is ended by SIGALRM after `seconds`, so a call that
// blocks for good fails the test instead of hanging it; returns the child's exit status, or
// 128 + the signal that ended it.
template <typename Body>
int RunGuarded(unsigned seconds, Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(seconds);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A character device node with /dev/null's numbers, made in `dir`; empty when this process
// may not make device nodes (then the calling test is skipped).
std::string MakeCharDevice(const TempDir& dir) {
    const std::string path = dir.File("Quorvane.ini");
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        return {};
    }
    return path;
}

// --- What the path names -------------------------------------------------------------------

TEST(CheckConfigPathTest, RegularFilesLinksToThemAndAbsentPathsAreAccepted) {
    TempDir dir;
    EXPECT_EQ(CheckConfigPath(dir.File("absent.ini")), std::nullopt);
    EXPECT_EQ(CheckConfigPath(dir.File("no/such/folder/Quorvane.ini")), std::nullopt);
    WriteBytes(dir.File("real.ini"), "[S]\n");
    EXPECT_EQ(CheckConfigPath(dir.File("real.ini")), std::nullopt);
    std::filesystem::create_symlink("real.ini", dir.File("link.ini"));
    EXPECT_EQ(CheckConfigPath(dir.File("link.ini")), std::nullopt);
    std::filesystem::create_symlink("link.ini", dir.File("chain.ini"));
    EXPECT_EQ(CheckConfigPath(dir.File("chain.ini")), std::nullopt);
    // A link to a file not made yet: the first write makes it.
    std::filesystem::create_symlink("later.ini", dir.File("dangling.ini"));
    EXPECT_EQ(CheckConfigPath(dir.File("dangling.ini")), std::nullopt);
}

TEST(CheckConfigPathTest, EverythingElseIsRefusedNamingThePathAndWhatItIs) {
    TempDir dir;
    const auto refused = [](const std::string& path, const std::string& what) {
        const std::optional<std::string> why = CheckConfigPath(path);
        ASSERT_TRUE(why.has_value()) << path;
        EXPECT_NE(why->find(path), std::string::npos) << *why;
        EXPECT_NE(why->find(what), std::string::npos) << *why;
    };
    std::filesystem::create_directory(dir.File("folder"));
    refused(dir.File("folder"), "is a folder");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    refused(dir.File("fifo"), "is a FIFO");

    const std::string socketPath = dir.File("sock");
    UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(sock.Valid());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    refused(socketPath, "is a socket");

    // A link names what it points to.
    std::filesystem::create_symlink("fifo", dir.File("to-fifo"));
    refused(dir.File("to-fifo"), "is a symbolic link to");
    refused(dir.File("to-fifo"), dir.File("fifo"));
    refused(dir.File("to-fifo"), "a FIFO");
    std::filesystem::create_symlink("loop2", dir.File("loop1"));
    std::filesystem::create_symlink("loop1", dir.File("loop2"));
    refused(dir.File("loop1"), "cannot be used");
    // Below a regular file nothing can ever be written.
    WriteBytes(dir.File("plain"), "x");
    refused(dir.File("plain") + "/Quorvane.ini", "cannot be used");

    const std::string device = MakeCharDevice(dir);
    if (device.empty()) {
        GTEST_SKIP() << "mknod is not permitted here: " << std::strerror(errno);
    }
    refused(device, "is a character device");
}

// --- Device nodes and FIFOs as the configuration file -----------------------------------------

TEST(SpecialFileTest, CharacterDeviceIsNeitherReadNorReplaced) {
    TempDir dir;
    const std::string device = MakeCharDevice(dir);
    if (device.empty()) {
        GTEST_SKIP() << "mknod is not permitted here: " << std::strerror(errno);
    }
    const struct stat before = Lstat(device);
    IniStore store = MakeStore(device);
    EXPECT_EQ(store.Load().status, ReadStatus::Error);
    EXPECT_FALSE(IniWrite(store, "General", "WindowChangeTime", 1.0));
    EXPECT_FALSE(IniWriteKeys(store, "Remote1", {{"Pulse", "12,34,56"}}));
    const struct stat after = Lstat(device);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
}

TEST(SpecialFileTest, FifoIsRefusedAtOnceInsteadOfWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = dir.File("Quorvane.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO for reading waits for a writer unless told not to; the guard turns a
    // wait into a failure instead of a hung test.
    const int status = RunGuarded(20, [&] {
        IniStore store = MakeStore(fifo);
        const bool refusedRead = store.Load().status == ReadStatus::Error;
        const bool refusedWrite = !IniWrite(store, "General", "WindowChangeTime", 1.0);
        return refusedRead && refusedWrite ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "1: read or write not refused; 142: blocked (SIGALRM)";
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
}

TEST(SpecialFileTest, LinkToAFifoIsRefusedAndStaysALink) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("fifo", dir.File("Quorvane.ini"));
    const int status = RunGuarded(20, [&] {
        IniStore store = MakeStore(dir.File("Quorvane.ini"));
        return store.Load().status == ReadStatus::Error &&
                       !IniWrite(store, "General", "WindowChangeTime", 1.0)
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("Quorvane.ini")));
    EXPECT_TRUE(S_ISFIFO(Lstat(dir.File("fifo")).st_mode));
}

// --- Symbolic links --------------------------------------------------------------------------

TEST(SymlinkTest, WriteReplacesTheTargetInItsOwnFolderAndTheLinkStays) {
    TempDir dir;
    // The link's folder is not writable for the writer, the target's is: the write can only
    // succeed when its temporary file goes beside the target.
    const std::filesystem::path links = dir.path() / "links";
    const std::filesystem::path data = dir.path() / "data";
    std::filesystem::create_directories(links);
    std::filesystem::create_directories(data / "sub");
    const std::string target = (data / "sub" / "real.ini").string();
    WriteBytes(target, "[General]\nWindowChangeTime=1\n");
    std::filesystem::create_symlink("../data/sub/hop.ini", links / "Quorvane.ini");
    std::filesystem::create_symlink("real.ini", data / "sub" / "hop.ini");
    const ino_t oldInode = Lstat(target).st_ino;
    // Root ignores folder permissions: then the folders go to "nobody" and the write runs
    // as "nobody".
    const bool root = ::geteuid() == 0;
    const uid_t writer = root ? 65534 : ::geteuid();
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(links.c_str(), 0555), 0);
    if (root) {
        ASSERT_EQ(::chown(data.c_str(), writer, writer), 0);
        ASSERT_EQ(::chown((data / "sub").c_str(), writer, writer), 0);
        ASSERT_EQ(::chown(target.c_str(), writer, writer), 0);
    }

    const int status = RunGuarded(20, [&] {
        if (root && (::setgid(writer) != 0 || ::setuid(writer) != 0)) {
            return 2;
        }
        IniStore store = MakeStore((links / "Quorvane.ini").string());
        return IniWrite(store, "General", "WindowChangeTime", 4.0) ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "1: write failed, 2: setuid";
    EXPECT_TRUE(std::filesystem::is_symlink(links / "Quorvane.ini"));
    EXPECT_EQ(std::filesystem::read_symlink(links / "Quorvane.ini"), "../data/sub/hop.ini");
    EXPECT_TRUE(std::filesystem::is_symlink(data / "sub" / "hop.ini"));
    EXPECT_EQ(ReadBytes(target), "[General]\nWindowChangeTime=4\n");
    EXPECT_NE(Lstat(target).st_ino, oldInode) << "replaced by a rename, not rewritten in place";
    EXPECT_EQ(Lstat(target).st_uid, writer);
    EXPECT_EQ(FolderEntries(data / "sub"), (std::vector<std::string>{"hop.ini", "real.ini"}));
    EXPECT_EQ(FolderEntries(links), std::vector<std::string>{"Quorvane.ini"});
}

TEST(SymlinkTest, LinkToAFileNotMadeYetMakesTheFileAndStays) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "dotfiles");
    std::filesystem::create_symlink("dotfiles/quorvane.ini", dir.File("Quorvane.ini"));
    IniStore store = MakeStore(dir.File("Quorvane.ini"));
    ASSERT_TRUE(IniWrite(store, "General", "WindowChangeTime", 2.0));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("Quorvane.ini")));
    EXPECT_EQ(ReadBytes(dir.File("dotfiles/quorvane.ini")), "[General]\r\nWindowChangeTime=2\r\n");
    EXPECT_EQ(IniRead(store, "General", "WindowChangeTime", ""), "2");
}

// --- Temporary files --------------------------------------------------------------------------

TEST(TemporaryFileTest, HasOneFixedNameBesideTheFile) {
    EXPECT_EQ(TemporaryPathFor("/a/b/Quorvane.ini"), "/a/b/.Quorvane.ini.tmp");
    EXPECT_EQ(TemporaryPathFor("Quorvane.ini"), ".Quorvane.ini.tmp");
}

TEST(TemporaryFileTest, LeftoverIsRemovedByTheNextWriteAndByTheNextStart) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string tmp = TemporaryPathFor(path);
    WriteBytes(path, "[General]\r\nWindowChangeTime=1\r\n");

    WriteBytes(tmp, "[General]\r\nWindowCha");  // what a killed write leaves
    EXPECT_EQ(PrepareConfigPath(path), std::nullopt);
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});

    WriteBytes(tmp, "[General]\r\nWindowCha");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "General", "WindowChangeTime", 5.0));
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
    EXPECT_EQ(ReadBytes(path), "[General]\r\nWindowChangeTime=5\r\n");
}

TEST(TemporaryFileTest, StartRefusesWhatCheckConfigPathRefusesAndFindsTheDefaultPath) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const std::optional<std::string> why = PrepareConfigPath(dir.File("fifo"));
    ASSERT_TRUE(why.has_value());
    EXPECT_EQ(*why, CheckConfigPath(dir.File("fifo")).value_or(""));

    // An empty path is the default location, as for IniStore.
    const std::string defaultPath = PosixConfigFiles().DefaultIniPath();
    const std::string leftover = TemporaryPathFor(defaultPath);
    if (::access(std::filesystem::path(defaultPath).parent_path().c_str(), W_OK) != 0 ||
        std::filesystem::exists(leftover)) {
        GTEST_SKIP() << "cannot leave a temporary file beside " << defaultPath;
    }
    WriteBytes(leftover, "[Gen");
    EXPECT_EQ(PrepareConfigPath(""), CheckConfigPath(defaultPath));
    EXPECT_FALSE(std::filesystem::exists(leftover));
}

TEST(TemporaryFileTest, AWriteThatChangesNothingStillRemovesALeftover) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(path, "[General]\r\nWindowChangeTime=5\r\n");
    WriteBytes(TemporaryPathFor(path), "half a file");
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "General", "WindowChangeTime", 5.0));
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
    EXPECT_EQ(ReadBytes(path), "[General]\r\nWindowChangeTime=5\r\n");
}

TEST(TemporaryFileTest, LeftoverLinkIsRemovedNotFollowed) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    WriteBytes(dir.File("victim"), "keep");
    std::filesystem::create_symlink("victim", TemporaryPathFor(path));
    IniStore store = MakeStore(path);
    ASSERT_TRUE(IniWrite(store, "General", "WindowChangeTime", 5.0));
    EXPECT_EQ(ReadBytes(dir.File("victim")), "keep");
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"Quorvane.ini", "victim"}));
}

TEST(TemporaryFileTest, WritesKilledAtRandomPointsLeaveAtMostOneTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string big(300000, 'A');
    {
        IniStore store = MakeStore(path);
        ASSERT_TRUE(IniWrite(store, "Remote1", "KeyList", big));
    }
    std::mt19937 random(12345);
    int leftovers = 0;
    for (int round = 0; round < 30; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        UniqueFd readEnd(ready[0]);
        UniqueFd writeEnd(ready[1]);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            readEnd.Reset();
            IniStore store = MakeStore(path);
            for (int i = 0;; ++i) {
                IniWrite(store, "Remote1", "KeyList", std::string(big.size(), i % 2 ? 'A' : 'B'));
                if (i == 0 && ::write(writeEnd.Get(), "x", 1) != 1) {
                    ::_exit(1);
                }
            }
        }
        writeEnd.Reset();
        // Wait until the child's first write is done, then kill it somewhere in a later one.
        char byte = 0;
        ASSERT_EQ(::read(readEnd.Get(), &byte, 1), 1) << "round " << round;
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 4000)(random));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        std::vector<std::string> entries = FolderEntries(dir.path());
        ASSERT_LE(entries.size(), 2u) << "round " << round;
        if (entries.size() == 2) {
            ++leftovers;
            EXPECT_EQ(entries[0], ".Quorvane.ini.tmp");
        }
        IniStore store = MakeStore(path);
        const std::string value = IniRead(store, "Remote1", "KeyList", "");
        ASSERT_EQ(value.size(), big.size()) << "round " << round;
        EXPECT_TRUE(value == std::string(big.size(), 'A') || value == std::string(big.size(), 'B'));
        // Every other round the next start cleans up, otherwise the next write does.
        if (round % 2 == 0) {
            EXPECT_EQ(PrepareConfigPath(path), std::nullopt);
        } else {
            ASSERT_TRUE(IniWrite(store, "Remote1", "KeyList", big));
        }
        EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quorvane.ini"});
    }
    // How many kills caught a write half-way depends on timing; that some did is what
    // makes the cleanup above meaningful, so say how many.
    std::printf("%d of 30 kills left a temporary file\n", leftovers);
}

// --- Writes that change nothing ---------------------------------------------------------------

TEST(UnchangedWriteTest, WritingTheValueAKeyHasLeavesTheFileAlone) {
    TempDir dir;
    const std::string path = dir.File("Quorvane.ini");
    const std::string bytes = "[General]\r\nWindowChangeTime = 3\r\n[Remote1]\r\nComment= x \r\n";
    WriteBytes(path, bytes);
    const struct stat before = Lstat(path);
    IniStore store = MakeStore(path);
    EXPECT_TRUE(IniWrite(store, "General", "WindowChangeTime", 3.0));
    EXPECT_TRUE(IniWriteKeys(store, "Remote1", {{"Comment", "x"}}));
    const struct stat after = Lstat(path);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(ReadBytes(path), bytes);
    // One changed key among unchanged ones writes the file.
    EXPECT_TRUE(IniWriteKeys(store, "Remote1", {{"Comment", "x"}, {"KeyList", "D[A]"}}));
    EXPECT_NE(Lstat(path).st_ino, before.st_ino);
}

}  // namespace
}  // namespace qv
