#pragma once
// One running instance per user. The lock is an flock() on a file in the
// user's runtime folder; the kernel drops it when its holder ends, so a lock
// left by a crashed instance never blocks the next start.

#include <string>

namespace qv {

class InstanceLock {
public:
    // Takes the lock on `path`. Never blocks.
    explicit InstanceLock(const std::string& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object holds the lock.
    bool Held() const { return held_; }
    // True when the lock could not be taken because another process holds it
    // (as opposed to an error opening the file).
    bool HeldByOther() const { return heldByOther_; }

    // $XDG_RUNTIME_DIR/quorvane.lock, or /tmp/quorvane-<uid>/quorvane.lock
    // (folder created 0700) when the variable is unset.
    static std::string DefaultPath();

private:
    int fd_ = -1;
    bool held_ = false;
    bool heldByOther_ = false;
};

}  // namespace qv
