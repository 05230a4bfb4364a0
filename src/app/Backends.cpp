#include "app/Backends.h"

#include <X11/Xlib.h>

#include "common/DebugLog.h"
#include "device/linux/HidrawPort.h"
#include "device/linux/UdevDeviceEvents.h"
#include "device/sim/SimClient.h"
#include "keys/x11/X11WindowSystem.h"
#include "keys/x11/XTestInjector.h"

namespace qv {

std::optional<Backends> MakeBackends(const CommandLine& options, std::string& error) {
    Backends b;
    if (options.simulator) {
        const std::string socket =
            options.simSocket.empty() ? sim::DefaultSimSocketPath() : options.simSocket;
        DebugLog("receiver: simulator at " + socket);
        b.hid = sim::MakeSimHidPort(socket);
        b.deviceEvents = sim::MakeSimDeviceEvents(socket);
    } else {
        b.hid = std::make_unique<HidrawPort>();
        b.deviceEvents = std::make_unique<UdevDeviceEvents>();
    }
    // The keystroke and window backends run on the receiver thread, the tray
    // watch on the GUI thread: Xlib must be ready for threads before any
    // connection is opened.
    if (XInitThreads() == 0) {
        error = "cannot prepare Xlib for threads";
        return std::nullopt;
    }
    b.injector = XTestInjector::Open();
    if (!b.injector) {
        error = "cannot send keystrokes: no X display with the XTEST extension ($DISPLAY)";
        return std::nullopt;
    }
    b.windows = X11WindowSystem::Open();
    if (!b.windows) {
        error = "cannot reach the X display ($DISPLAY)";
        return std::nullopt;
    }
    return b;
}

}  // namespace qv
