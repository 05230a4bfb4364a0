#include "app/Backends.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

#include "common/DebugLog.h"
#include "device/linux/HidrawPort.h"
#include "device/linux/UdevDeviceEvents.h"
#include "device/sim/SimClient.h"
#include "device/sim/unix/UnixSimTransport.h"
#include "keys/desktop/SessionBusProbe.h"
#include "keys/gnome/RemoteDesktopInjector.h"
#include "keys/gnome/ShellWindowSystem.h"
#include "keys/kde/FakeInputInjector.h"
#include "keys/kde/KWinScriptWindowSystem.h"
#include "keys/kde/PlasmaWindowSystem.h"
#include "keys/uinput/UinputKeyboard.h"
#include "keys/wayland/CompositorKeymap.h"
#include "keys/wayland/FocusedWindowOnly.h"
#include "keys/wayland/ForeignToplevelWindowSystem.h"
#include "keys/wayland/KeysBackendChoice.h"
#include "keys/wayland/SessionProbe.h"
#include "keys/wayland/SwayWindowSystem.h"
#include "keys/wayland/VirtualKeyboardInjector.h"
#include "keys/wayland/WaylandCaptureLayout.h"
#include "keys/wayland/XwaylandSync.h"
#include "keys/x11/X11KeyboardLayout.h"
#include "keys/x11/X11WindowSystem.h"
#include "keys/x11/XTestInjector.h"

namespace qv {
namespace {

std::string Describe(const KeysBackendChoice& choice) {
    switch (choice.backend) {
        case KeysBackend::X11:
            return "x11 (XTest, EWMH)";
        case KeysBackend::Sway:
            return "sway (virtual keyboard, sway IPC)";
        case KeysBackend::Wlroots:
            return choice.switching ? "wlroots (virtual keyboard, foreign-toplevel window list)"
                                    : "wlroots (virtual keyboard, no window switching)";
        case KeysBackend::Uinput:
            return "uinput (uinput keyboard, no window switching)";
        case KeysBackend::Kde:
        case KeysBackend::Gnome: {
            const bool kde = choice.backend == KeysBackend::Kde;
            std::string keys = kde ? "KWin fake input" : "mutter remote desktop";
            if (choice.keys == KeysRoute::Uinput) {
                keys = "uinput keyboard";
            } else if (choice.keys == KeysRoute::XTest) {
                keys = "XTest for X programs";
            }
            std::string windows = kde ? "Plasma window management" : "GNOME Shell extension";
            if (choice.windows == WindowsRoute::KWinScript) {
                windows = "KWin scripting";
            } else if (choice.windows == WindowsRoute::FocusedOnly) {
                windows = "no window switching";
            }
            return std::string(kde ? "kde (" : "gnome (") + keys + ", " + windows + ")";
        }
    }
    return {};
}

// Where the keys of the user's layout are, for the keyboards that press
// Linux keys (uinput, KWin's fake input, mutter's remote desktop): the
// compositor's keymap in a Wayland session, the X server's in an X session;
// nullptr (PC keys) where neither can be read.
std::unique_ptr<EvdevLayout> SessionLayout() {
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        std::string why;
        auto keymap = wayland::CompositorKeymap::Open(nullptr, why);
        if (keymap && keymap->Layout() != nullptr) {
            return keymap;
        }
        DebugLog("keys: no keyboard layout from the compositor" + (why.empty() ? "" : ": " + why));
    }
    if (std::getenv("DISPLAY") != nullptr) {
        if (auto x11 = X11EvdevLayout::Open()) {
            return x11;
        }
    }
    return nullptr;
}

// Key capture's view of the user's layout: the compositor's keymap in a
// Wayland session (Qt reports xkb keycodes there, under XWayland too), the X
// server's in an X session; nullptr (Qt's keys read as on a US layout) where
// neither can be read.
std::unique_ptr<KeyboardLayout> CaptureLayout() {
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        std::string why;
        if (auto keymap = wayland::WaylandCaptureLayout::Open(nullptr, why)) {
            return keymap;
        }
        DebugLog("key capture: no keyboard layout from the compositor: " + why);
    }
    if (std::getenv("DISPLAY") != nullptr) {
        if (auto x11 = X11CaptureLayout::Open()) {
            return x11;
        }
    }
    DebugLog("key capture: reading keys as on a US layout");
    return nullptr;
}

// KDE Plasma and GNOME: their own means, or the fallbacks the choice names.
bool MakeDesktopBackends(const KeysBackendChoice& choice, Backends& b, std::string& error,
                         const std::shared_ptr<wayland::XwaylandSync>& xwayland) {
    const bool kde = choice.backend == KeysBackend::Kde;
    std::string why;
    switch (choice.keys) {
        case KeysRoute::Desktop:
            // The layout is read once the injector is there: mutter's seat
            // may get its first keyboard only when the injector primes it.
            if (kde) {
                auto fakeInput = kde::FakeInputInjector::Open(nullptr, why, xwayland);
                if (fakeInput) {
                    fakeInput->UseLayout(SessionLayout());
                }
                b.injector = std::move(fakeInput);
            } else {
                auto remote = gnome::RemoteDesktopInjector::Open(why, xwayland);
                if (remote) {
                    remote->UseLayout(SessionLayout());
                }
                b.injector = std::move(remote);
            }
            break;
        case KeysRoute::Uinput:
            b.injector = UinputKeyboard::Open(SessionLayout(), why);
            break;
        case KeysRoute::XTest:
            b.injector = XTestInjector::Open();
            why = "no X display with the XTEST extension ($DISPLAY)";
            break;
    }
    if (!b.injector) {
        error = "cannot send keystrokes: " + why;
        return false;
    }
    switch (choice.windows) {
        case WindowsRoute::Desktop:
            if (kde) {
                b.windows = kde::PlasmaWindowSystem::Open(nullptr, why, xwayland);
            } else {
                b.windows = gnome::ShellWindowSystem::Open(why, xwayland);
                if (!b.windows) {
                    // It answered the probe a moment ago: keys still go to the window in front.
                    std::fprintf(stderr, "quorvane: %s; keys go to the window in front\n",
                                 why.c_str());
                    b.windows = std::make_unique<FocusedWindowOnly>();
                }
            }
            break;
        case WindowsRoute::KWinScript:
            b.windows = kde::KWinScriptWindowSystem::Open(why);
            break;
        case WindowsRoute::FocusedOnly:
            b.windows = std::make_unique<FocusedWindowOnly>();
            break;
    }
    if (!b.windows) {
        error = "cannot switch windows: " + why;
        return false;
    }
    b.layout = CaptureLayout();
    return true;
}

// The keystroke and window-switching backends the session suggests, or the
// ones --backend names.
bool MakeKeysBackends(const CommandLine& options, Backends& b, std::string& error) {
    std::optional<KeysBackend> forced;
    if (!options.keysBackend.empty()) {
        forced = KeysBackendFromName(options.keysBackend);
    }
    SessionFacts facts = wayland::ProbeSession();
    if (facts.waylandDisplay) {
        desktop::ProbeSessionBus(facts);
    }
    const KeysBackendChoice choice = ChooseKeysBackend(facts, forced);
    DebugLog(std::string("keys: ") + (forced ? "--backend " : "session: ") + Describe(choice));
    if (!choice.notice.empty()) {
        std::fprintf(stderr, "quorvane: %s\n", choice.notice.c_str());
    }
    // The window system and the injector of a Wayland session share their
    // watch on XWayland (keys for X programs travel through it).
    auto xwayland = std::make_shared<wayland::XwaylandSync>();
    std::string why;
    switch (choice.backend) {
        case KeysBackend::X11:
            b.injector = XTestInjector::Open();
            if (!b.injector) {
                error = "cannot send keystrokes: no X display with the XTEST extension ($DISPLAY)";
                return false;
            }
            b.windows = X11WindowSystem::Open();
            if (!b.windows) {
                error = "cannot reach the X display ($DISPLAY)";
                return false;
            }
            b.layout = X11CaptureLayout::Open();
            return true;
        case KeysBackend::Sway:
        case KeysBackend::Wlroots:
            b.injector = wayland::VirtualKeyboardInjector::Open(nullptr, why, xwayland);
            if (!b.injector) {
                error = "cannot send keystrokes on Wayland: " + why;
                return false;
            }
            if (choice.backend == KeysBackend::Sway) {
                b.windows = wayland::SwayWindowSystem::Open(why, xwayland);
            } else if (choice.switching) {
                b.windows = wayland::ForeignToplevelWindowSystem::Open(nullptr, why, xwayland);
            } else {
                b.windows = std::make_unique<FocusedWindowOnly>();
            }
            if (!b.windows) {
                error = "cannot switch windows on Wayland: " + why;
                return false;
            }
            b.layout = CaptureLayout();
            return true;
        case KeysBackend::Uinput:
            b.injector = UinputKeyboard::Open(SessionLayout(), why);
            if (!b.injector) {
                error = "cannot create the uinput keyboard: " + why +
                        " (see packaging/60-quorvane-uinput.rules)";
                return false;
            }
            b.windows = std::make_unique<FocusedWindowOnly>();
            b.layout = CaptureLayout();
            return true;
        case KeysBackend::Kde:
        case KeysBackend::Gnome:
            b.trayMayBeMissing = choice.backend == KeysBackend::Gnome;
            return MakeDesktopBackends(choice, b, error, xwayland);
    }
    return false;
}

}  // namespace

std::optional<Backends> MakeBackends(const CommandLine& options, std::string& error) {
    Backends b;
    if (options.simulator) {
        const std::shared_ptr<sim::SimTransport> transport =
            sim::MakeSimTransport(options.simSocket);
        DebugLog("receiver: simulator at " + transport->Address());
        b.hid = sim::MakeSimHidPort(transport);
        b.deviceEvents = sim::MakeSimDeviceEvents(transport);
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
    if (!MakeKeysBackends(options, b, error)) {
        return std::nullopt;
    }
    return b;
}

}  // namespace qv
