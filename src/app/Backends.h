#pragma once
// The one place that chooses the platform backends: the real receiver
// (hidraw, udev) or the simulator daemon (--simulator), and the keystroke and
// window backends the session suggests (X11, sway, other wlroots compositors,
// KDE Plasma, GNOME, uinput) or --backend names.

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
    // Key capture's view of the user's layout (GUI thread): the X server's
    // or the compositor's keymap; nullptr where the session offers neither:
    // capture then reads Qt's keys as on a US layout.
    std::unique_ptr<KeyboardLayout> layout;
    // The session's desktop shows no tray icons of its own (GNOME without
    // the AppIndicator extension): where no tray host is there at start-up,
    // the window opens.
    bool trayMayBeMissing = false;
};

// Builds the backends for `options`; nullopt with the reason in `error` when
// a required one is unavailable (no X server, no XTest, no virtual keyboard,
// no access to /dev/uinput).
std::optional<Backends> MakeBackends(const CommandLine& options, std::string& error);

}  // namespace qv
