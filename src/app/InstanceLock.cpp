#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/DebugLog.h"

namespace qv {

InstanceLock::InstanceLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        DebugLogErrno("open(" + path + ")", errno);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return;
    }
    const int err = errno;
    if (err == EWOULDBLOCK) {
        heldByOther_ = true;
    } else {
        DebugLogErrno("flock(" + path + ")", err);
    }
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing drops the flock
    }
}

std::string InstanceLock::DefaultPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/quorvane.lock";
    }
    const std::string dir = "/tmp/quorvane-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        DebugLogErrno("mkdir(" + dir + ")", errno);
    }
    // Only a folder of our own is trusted with the lock; another user's
    // folder of the same name is refused and the lock file then cannot open.
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        DebugLog("lock folder " + dir + " is not a folder of this user");
        return dir + "/.untrusted/quorvane.lock";
    }
    return dir + "/quorvane.lock";
}

}  // namespace qv
