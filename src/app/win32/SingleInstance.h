#pragma once
// One running instance per session: a named mutex in the session's namespace.
// Windows drops it when its holder ends, so a crashed instance never blocks
// the next start.

#include <string>

#include "common/win32/UniqueHandle.h"

namespace qv {

inline constexpr wchar_t kInstanceMutexName[] = L"Local\\Quorvane.SingleInstance";

class SingleInstance {
public:
    // Creates or opens the mutex; never blocks.
    explicit SingleInstance(const std::wstring& name = kInstanceMutexName);

    // True when this process is the first with the name.
    bool Held() const { return held_; }
    // True when another process has the name already (as opposed to an error).
    bool HeldByOther() const { return heldByOther_; }

private:
    win32::UniqueHandle mutex_;
    bool held_ = false;
    bool heldByOther_ = false;
};

}  // namespace qv
