#include "config/linux/PosixConfigFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "common/posix/UniqueFd.h"

namespace qv {
namespace {

std::string ParentOf(const std::string& path) {
    std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? std::string(".") : parent;
}

// What a file that is not a regular file is, in words for the user.
std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO (named pipe)";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

// Where a path leads once its symbolic links are followed, found with lstat and readlink
// only: nothing is opened, so a FIFO or a device at the end is not touched.
struct Resolved {
    std::string path;     // the path itself, or the file its links finally name
    bool exists = false;  // whether `path` exists (then `st` describes it)
    struct stat st {};
    int error = 0;  // errno when the path cannot be followed (ELOOP, EACCES, ENOTDIR, ...)
};

Resolved Resolve(const std::string& start) {
    Resolved r;
    r.path = start;
    // The same limit as the kernel's for a chain of links.
    for (int hops = 0; hops <= 40; ++hops) {
        if (::lstat(r.path.c_str(), &r.st) != 0) {
            r.error = errno == ENOENT ? 0 : errno;
            return r;
        }
        if (!S_ISLNK(r.st.st_mode)) {
            r.exists = true;
            return r;
        }
        std::vector<char> buf(static_cast<std::size_t>(PATH_MAX) + 1);
        const ssize_t n = ::readlink(r.path.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) {
            r.error = n < 0 ? errno : ENAMETOOLONG;
            return r;
        }
        const std::string target(buf.data(), static_cast<std::size_t>(n));
        r.path = (target.front() == '/') ? target : ParentOf(r.path) + "/" + target;
    }
    r.error = ELOOP;
    return r;
}

// Why the file `r` leads to cannot be the configuration file, or nullopt when it can.
std::optional<std::string> Refusal(const std::string& path, const Resolved& r) {
    if (r.error != 0) {
        return path + " cannot be used as the configuration file: " + ErrnoText(r.error);
    }
    if (!r.exists || S_ISREG(r.st.st_mode)) {
        return std::nullopt;
    }
    const std::string what = KindOf(r.st.st_mode);
    if (r.path != path) {
        return path + " is a symbolic link to " + r.path + ", which is " + what +
               ", not a regular file";
    }
    return path + " is " + what + ", not a regular file";
}

// mkdir -p; created folders get 0700, as the per-user configuration folder should.
bool MakeFolders(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            DebugLog(dir + " is not a folder");
            return false;
        }
        return true;
    }
    const std::string parent = ParentOf(dir);
    if (parent != dir && !MakeFolders(parent)) {
        return false;
    }
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        DebugLogErrno("mkdir(" + dir + ")", errno);
        return false;
    }
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            DebugLogErrno("write", errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Creates the temporary file `tmp` (never following a link, never taking over a file
// someone else has open for writing under another name), writes `bytes` into it and makes
// it durable; false on failure, with nothing left behind.
bool WriteTemporary(const std::string& tmp, std::string_view bytes, const struct stat* old) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    // 0666 lets the umask decide for a new file; an old file's mode is copied below.
    UniqueFd file(::open(tmp.c_str(), kFlags, 0666));
    if (!file.Valid() && errno == EEXIST) {
        // A write that was killed left it: only this program writes here, and only one
        // instance of it runs per user.
        if (::unlink(tmp.c_str()) != 0 && errno != ENOENT) {
            DebugLogErrno("unlink(" + tmp + ")", errno);
            return false;
        }
        file.Reset(::open(tmp.c_str(), kFlags, 0666));
    }
    if (!file.Valid()) {
        DebugLogErrno("open(" + tmp + ")", errno);
        return false;
    }
    bool ok = true;
    if (old != nullptr) {
        if (::fchmod(file.Get(), old->st_mode & 07777) != 0) {
            DebugLogErrno("fchmod", errno);
            ok = false;
        }
        if (ok && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
            ::fchown(file.Get(), old->st_uid, old->st_gid) != 0) {
            // Not fatal: the file stays readable by whoever wrote it.
            DebugLogErrno("fchown", errno);
        }
    }
    ok = ok && WriteAll(file.Get(), bytes);
    // fsync reports what a delayed write failed on, so the close after it has nothing left
    // to report.
    if (ok && ::fsync(file.Get()) != 0) {
        DebugLogErrno("fsync", errno);
        ok = false;
    }
    file.Reset();
    if (!ok && ::unlink(tmp.c_str()) != 0) {
        DebugLogErrno("unlink(" + tmp + ")", errno);
    }
    return ok;
}

}  // namespace

std::string TemporaryPathFor(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, nameAt) + "." + target.substr(nameAt) + ".tmp";
}

std::optional<std::string> CheckConfigPath(const std::string& path) {
    return Refusal(path, Resolve(path));
}

namespace {

void RemoveTemporaryOf(const std::string& resolvedPath) {
    const std::string tmp = TemporaryPathFor(resolvedPath);
    if (::unlink(tmp.c_str()) == 0) {
        DebugLog("removed " + tmp + ", left by an interrupted write");
    } else if (errno != ENOENT && errno != ENOTDIR) {
        DebugLogErrno("unlink(" + tmp + ")", errno);
    }
}

}  // namespace

std::optional<std::string> PrepareConfigPath(const std::string& given) {
    const std::string path = given.empty() ? PosixConfigFiles().DefaultIniPath() : given;
    const Resolved r = Resolve(path);
    if (auto why = Refusal(path, r)) {
        return why;
    }
    RemoveTemporaryOf(r.path);
    return std::nullopt;
}

void PosixConfigFiles::RemoveLeftovers(const std::string& path) {
    const Resolved r = Resolve(path);
    if (!Refusal(path, r)) {
        RemoveTemporaryOf(r.path);
    }
}

ReadStatus PosixConfigFiles::ReadFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Look before opening: opening a FIFO waits for a writer, opening a device can do
    // anything. The descriptor is checked again, in case the path changed in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return ReadStatus::NotFound;
        }
        DebugLogErrno("stat(" + path + ")", errno);
        return ReadStatus::Error;
    }
    if (!S_ISREG(st.st_mode)) {
        DebugLog("not reading " + path + ": it is " + KindOf(st.st_mode));
        return ReadStatus::Error;
    }
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.Valid()) {
        if (errno == ENOENT) {
            return ReadStatus::NotFound;
        }
        DebugLogErrno("open(" + path + ")", errno);
        return ReadStatus::Error;
    }
    if (::fstat(file.Get(), &st) != 0) {
        DebugLogErrno("fstat(" + path + ")", errno);
        return ReadStatus::Error;
    }
    if (!S_ISREG(st.st_mode)) {
        DebugLog("not reading " + path + ": it is " + KindOf(st.st_mode));
        return ReadStatus::Error;
    }
    if (st.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(file.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            DebugLogErrno("read(" + path + ")", errno);
            bytes.clear();
            return ReadStatus::Error;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    return ReadStatus::Ok;
}

bool PosixConfigFiles::ReplaceFile(const std::string& path, std::string_view bytes) {
    // A symbolic link stays: the file it leads to is replaced, in that file's folder.
    const Resolved r = Resolve(path);
    if (auto why = Refusal(path, r)) {
        DebugLog("not writing: " + *why);
        return false;
    }
    const std::string& target = r.path;
    const std::string dir = ParentOf(target);
    if (!MakeFolders(dir)) {
        return false;
    }
    const std::string tmp = TemporaryPathFor(target);
    if (!WriteTemporary(tmp, bytes, r.exists ? &r.st : nullptr)) {
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        DebugLogErrno("rename(" + tmp + ", " + target + ")", errno);
        if (::unlink(tmp.c_str()) != 0) {
            DebugLogErrno("unlink(" + tmp + ")", errno);
        }
        return false;
    }
    // The rename is done; syncing the folder makes it survive a power cut. A failure here
    // leaves a complete file either way, so it is only logged.
    UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid()) {
        DebugLogErrno("open(" + dir + ")", errno);
    } else if (::fsync(folder.Get()) != 0) {
        DebugLogErrno("fsync(" + dir + ")", errno);
    }
    return true;
}

std::string PosixConfigFiles::DefaultIniPath() {
    return IniPathForProgramIn(ExecutableFolder());
}

std::string ExecutableFolder() {
    std::vector<char> buf(PATH_MAX);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) {
        DebugLogErrno("readlink(/proc/self/exe)", errno);
        return {};
    }
    if (static_cast<std::size_t>(n) >= buf.size()) {
        return {};
    }
    return ParentOf(std::string(buf.data(), static_cast<std::size_t>(n)));
}

std::string IniPathForProgramIn(std::string programFolder) {
    if (IsSystemProgramFolder(programFolder)) {
        programFolder.clear();
    }
    const bool writable = !programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0;

    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
        home = h;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        std::vector<char> pwbuf(16384);
        if (::getpwuid_r(::getuid(), &pw, pwbuf.data(), pwbuf.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    return ChooseIniPath(programFolder, writable, xdg != nullptr ? xdg : "", home);
}

bool IsSystemProgramFolder(std::string_view folder) {
    static constexpr std::string_view kFolders[] = {
        "/bin",           "/sbin",           "/usr/bin",         "/usr/sbin",    "/usr/games",
        "/usr/local/bin", "/usr/local/sbin", "/usr/local/games", "/usr/libexec",
    };
    while (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    for (const std::string_view f : kFolders) {
        if (folder == f) {
            return true;
        }
    }
    return false;
}

std::string ChooseIniPath(std::string_view exeDir, bool exeDirWritable,
                          std::string_view xdgConfigHome, std::string_view home) {
    namespace fs = std::filesystem;
    if (!exeDir.empty() && exeDirWritable) {
        return (fs::path(exeDir) / kIniFileName).string();
    }
    fs::path base;
    // The base folder rules: XDG_CONFIG_HOME counts only when it is an absolute path.
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') {
        base = fs::path(xdgConfigHome);
    } else if (!home.empty()) {
        base = fs::path(home) / ".config";
    } else if (!exeDir.empty()) {
        // No home folder at all: the executable's folder is the only place left.
        return (fs::path(exeDir) / kIniFileName).string();
    } else {
        return std::string(kIniFileName);
    }
    return (base / "quorvane" / kIniFileName).string();
}

}  // namespace qv
