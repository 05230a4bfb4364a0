#pragma once
// The one place that chooses the Windows program's backends: the real
// receiver (SetupAPI and HID, device-interface notifications) or the
// simulator over TCP (--simulator=tcp:HOST:PORT), and the SendInput and
// user32 window backends.

#include <memory>
#include <optional>
#include <string>

#include "app/CommandLine.h"
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
};

// Builds the backends for `options`; nullopt with the reason in `error` when a
// required backend is unavailable.
std::optional<Win32Backends> MakeWin32Backends(const CommandLine& options, std::string& error);

}  // namespace qv
