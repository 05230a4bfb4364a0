#pragma once
// The one place that chooses the platform backends: the real receiver
// (hidraw, udev) or the simulator daemon (--simulator), and the keystroke and
// window backends the session suggests (X11, sway, other wlroots compositors,
// uinput) or --backend names.

#include <memory>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "device/DeviceEvents.h"
#include "device/HidPort.h"
#include "keys/InputInjector.h"
#include "keys/KeyboardLayout.h"
#include "keys/WindowSystem.h"

namespace qv {

struct Backends {
    std::unique_ptr<HidPort> hid;
    std::unique_ptr<DeviceEvents> deviceEvents;
    std::unique_ptr<InputInjector> injector;
    std::unique_ptr<WindowSystem> windows;
    // Key capture's view of the user's layout (GUI thread); nullptr where
    // the session offers none: capture then reads Qt's keys as on a US layout.
    std::unique_ptr<KeyboardLayout> layout;
};

// Builds the backends for `options`; nullopt with the reason in `error` when
// a required one is unavailable (no X server, no XTest, no virtual keyboard,
// no access to /dev/uinput).
std::optional<Backends> MakeBackends(const CommandLine& options, std::string& error);

}  // namespace qv
