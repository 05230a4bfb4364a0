#include "keys/ActivateWindow.h"

#include <algorithm>

namespace qv {

int ActivateWindow(WindowSystem& windows, HWND target, std::int16_t delayMs) {
    // 1. The show state before anything changes is the result on every path.
    const int showState = windows.GetWindowPlacement(target);

    // 2. Nothing to do when the target already has the foreground.
    const HWND foreground = windows.GetForegroundWindow();
    if (foreground == target) {
        return showState;
    }

    // 3. No foreground thread (no foreground window): leave everything alone.
    const std::uint32_t foregroundThread = windows.GetWindowThreadProcessId(foreground);
    if (foregroundThread == 0) {
        return showState;
    }

    // 4. No target thread (not a window): leave everything alone.
    const std::uint32_t targetThread = windows.GetWindowThreadProcessId(target);
    if (targetThread == 0) {
        return showState;
    }

    // 5. Share the foreground thread's input state so the switch is allowed.
    const bool attached = foregroundThread != targetThread;
    if (attached) {
        windows.AttachThreadInput(targetThread, foregroundThread, true);
    }

    // 6. From here on every step runs, so the lock timeout is always restored.
    const std::uint32_t savedLockTimeout = windows.GetForegroundLockTimeout();

    // Steps 7 to 12 run under a guard: should a port throw, the lock timeout
    // and the thread attachment are still put back before the error goes on.
    try {
        // 7. No lock on foreground changes for the duration.
        windows.SetForegroundLockTimeout(0);

        // 8. A minimised or maximised target gets its normal size for the send.
        windows.ShowWindow(target, kSwShowNormal);

        // 9.-11. Raise to the topmost band, activate, and leave the band again.
        windows.SetWindowPos(target, true);
        windows.SetForegroundWindow(target);
        windows.SetWindowPos(target, false);

        // 12. Give the target time to take the foreground. A negative delay would
        // reach Sleep as an unsigned value near INFINITE and block forever: wait 0.
        windows.Sleep(static_cast<std::uint32_t>(std::max<std::int16_t>(delayMs, 0)));
    } catch (...) {
        windows.SetForegroundLockTimeout(savedLockTimeout);
        if (attached) {
            windows.AttachThreadInput(targetThread, foregroundThread, false);
        }
        throw;
    }

    // 13. Restore the user's lock timeout.
    windows.SetForegroundLockTimeout(savedLockTimeout);

    // 14. Detach what step 5 attached.
    if (attached) {
        windows.AttachThreadInput(targetThread, foregroundThread, false);
    }

    // 15.
    return showState;
}

}  // namespace qv
