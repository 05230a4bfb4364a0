#include "config/linux/PosixConfigFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "common/DebugLog.h"

namespace qv {
namespace {

// Closes the descriptor when the scope ends, unless released.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0 && ::close(fd_) != 0) {
            DebugLogErrno("close", errno);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result (close can report a failed delayed write).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string ParentOf(const std::string& path) {
    std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? std::string(".") : parent;
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

// Writes `bytes` into a new temporary file beside `target` and makes it durable; returns
// its path, or empty on failure (nothing left behind).
std::string WriteTemporary(const std::string& target, std::string_view bytes,
                           const struct stat* old) {
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        // 0666 lets the umask decide for a new file; an old file's mode is copied below.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            DebugLogErrno("open(" + tmp + ")", errno);
            return {};
        }
    }
    if (fd < 0) {
        DebugLog("no free temporary name beside " + target);
        return {};
    }
    Fd file(fd);
    bool ok = true;
    if (old != nullptr) {
        if (::fchmod(fd, old->st_mode & 07777) != 0) {
            DebugLogErrno("fchmod", errno);
            ok = false;
        }
        if (ok && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
            ::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Not fatal: the file stays readable by whoever wrote it.
            DebugLogErrno("fchown", errno);
        }
    }
    ok = ok && WriteAll(fd, bytes);
    if (ok && ::fsync(fd) != 0) {
        DebugLogErrno("fsync", errno);
        ok = false;
    }
    if (!file.Close() && ok) {
        DebugLogErrno("close", errno);
        ok = false;
    }
    if (!ok) {
        if (::unlink(tmp.c_str()) != 0) {
            DebugLogErrno("unlink(" + tmp + ")", errno);
        }
        return {};
    }
    return tmp;
}

}  // namespace

ReadStatus PosixConfigFiles::ReadFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return ReadStatus::NotFound;
        }
        DebugLogErrno("open(" + path + ")", errno);
        return ReadStatus::Error;
    }
    Fd file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        DebugLogErrno("fstat(" + path + ")", errno);
        return ReadStatus::Error;
    }
    if (S_ISDIR(st.st_mode)) {
        DebugLog(path + " is a folder");
        return ReadStatus::Error;
    }
    if (st.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
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
    // Replace a symbolic link's target, not the link.
    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            target = resolved;
        } else {
            DebugLogErrno("realpath(" + path + ")", errno);
        }
    }
    const std::string dir = ParentOf(target);
    if (!MakeFolders(dir)) {
        return false;
    }
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && S_ISDIR(old.st_mode)) {
        DebugLog(target + " is a folder");
        return false;
    }
    const std::string tmp = WriteTemporary(target, bytes, hadOld ? &old : nullptr);
    if (tmp.empty()) {
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
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        DebugLogErrno("open(" + dir + ")", errno);
    } else {
        Fd folder(dfd);
        if (::fsync(dfd) != 0) {
            DebugLogErrno("fsync(" + dir + ")", errno);
        }
    }
    return true;
}

std::string PosixConfigFiles::DefaultIniPath() {
    std::string exeDir;
    std::vector<char> buf(PATH_MAX);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) {
        DebugLogErrno("readlink(/proc/self/exe)", errno);
    } else if (static_cast<std::size_t>(n) < buf.size()) {
        exeDir = ParentOf(std::string(buf.data(), static_cast<std::size_t>(n)));
    }
    if (IsSystemProgramFolder(exeDir)) {
        exeDir.clear();
    }
    const bool writable = !exeDir.empty() && ::access(exeDir.c_str(), W_OK) == 0;

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
    return ChooseIniPath(exeDir, writable, xdg != nullptr ? xdg : "", home);
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
