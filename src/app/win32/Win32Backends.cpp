#include "common/win32/Windows.h"

#include "app/win32/Win32Backends.h"

#include "app/win32/PendingBackends.h"
#include "common/DebugLog.h"
#include "device/win32/Win32HidPort.h"

namespace qv {

std::optional<Win32Backends> MakeWin32Backends(const CommandLine& options, HWND window,
                                               std::function<void()> changesPending,
                                               std::string& error) {
    (void)window;
    (void)changesPending;
    Win32Backends b;
    if (options.simulator) {
        // STUB until the win branch's simulator client over TCP is merged.
        error = "the simulator (--simulator=tcp:HOST:PORT) is not in this build yet";
        return std::nullopt;
    }
    b.hid = std::make_unique<Win32HidPort>();
    // STUB until the win branch's device notifications are merged.
    b.deviceEvents = std::make_unique<pending::NoDeviceEvents>();
    b.injector = std::make_unique<pending::NoInjector>();
    b.windows = std::make_unique<pending::NoWindowSystem>();
    return b;
}

}  // namespace qv
