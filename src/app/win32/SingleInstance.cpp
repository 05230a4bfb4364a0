#include "common/win32/Windows.h"

#include "app/win32/SingleInstance.h"

#include "common/win32/WideText.h"

namespace qv {

SingleInstance::SingleInstance(const std::wstring& name) {
    // The mutex is never waited for: its existence is the mark.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = ::GetLastError();
    if (mutex == nullptr) {
        // Another user's instance in this session made it with rights that
        // do not let us open it: that is still another instance.
        heldByOther_ = error == ERROR_ACCESS_DENIED;
        if (!heldByOther_) {
            win32::DebugLogLastError("CreateMutexW (single instance)", error);
        }
        return;
    }
    mutex_.Reset(mutex);
    if (error == ERROR_ALREADY_EXISTS) {
        heldByOther_ = true;
        mutex_.Reset();
        return;
    }
    held_ = true;
}

}  // namespace qv
