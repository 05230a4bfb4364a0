#pragma once
// The one place that chooses the Windows program's backends: the real
// receiver (SetupAPI and HID, device notifications on the window) or the
// simulator over TCP (--simulator=tcp:HOST:PORT), and the SendInput and
// user32 window backends.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "common/win32/Windows.h"
#include "device/DeviceEvents.h"
#include "device/HidPort.h"
#include "keys/InputInjector.h"
#include "keys/WindowSystem.h"

namespace qv {

struct Win32Backends {
    std::unique_ptr<HidPort> hid;
    std::unique_ptr<DeviceEvents> deviceEvents;
    std::unique_ptr<InputInjector> injector;
    std::unique_ptr<WindowSystem> windows;
    // Hands a WM_DEVICECHANGE of the window to the device-event source; empty
    // when the source does not learn of changes through the window.
    std::function<void(WPARAM, LPARAM)> deviceChange;
};

// Builds the backends for `options`. `window` is the program's window (device
// notifications are registered on it); `changesPending` is called, from any
// thread, when the source has changes that did not come through the window.
// nullopt with the reason in `error` when a required backend is unavailable.
std::optional<Win32Backends> MakeWin32Backends(const CommandLine& options, HWND window,
                                               std::function<void()> changesPending,
                                               std::string& error);

}  // namespace qv
