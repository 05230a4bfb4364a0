#pragma once
// Keystrokes on GNOME (mutter on Wayland) through mutter's remote-desktop
// interface on the session bus (org.gnome.Mutter.RemoteDesktop): one session
// for the program's life, whose keys mutter presses on a keyboard of the
// seat, so the session's layout and modifier state apply as to a real
// keyboard. mutter asks nobody for consent here (the portal asks on every
// start), and ends the session when the program leaves the bus.

#include <memory>
#include <span>
#include <string>

#include "keys/InputInjector.h"
#include "keys/desktop/HeldKeys.h"
#include "keys/desktop/XwaylandKeyWatch.h"
#include "keys/uinput/EvdevLayout.h"

namespace qv::wayland {
class XwaylandSync;
}

namespace qv::desktop {
class SessionBus;
}

namespace qv::gnome {

class RemoteDesktopInjector final : public InputInjector {
public:
    // Creates and starts the session, and primes it; nullptr with `error`
    // set when mutter offers no remote desktop on the session bus.
    // `xwayland`, when given, is the session's XWayland watch shared with
    // its window system.
    static std::unique_ptr<RemoteDesktopInjector> Open(
        std::string& error, std::shared_ptr<wayland::XwaylandSync> xwayland = nullptr);
    // Where the keys of the user's layout are (nullptr: the keys of a PC
    // keyboard); until then, a PC keyboard's. A seat without a keyboard of
    // its own has one from the time the session is primed.
    void UseLayout(std::unique_ptr<EvdevLayout> layout);
    // Lets go of keys that key lists left down and stops the session.
    ~RemoteDesktopInjector() override;

    // Presses the batch's keys, the calls sent one after another without
    // waiting, and returns once mutter has answered all of them and the
    // program's Shell extension (when running) has confirmed that the shell
    // handed them to the focused window.
    void Send(std::span<const KeyStroke> batch) override;

private:
    explicit RemoteDesktopInjector(std::shared_ptr<wayland::XwaylandSync> xwayland);
    bool Start(std::string& error);
    bool Press(std::span<const desktop::KeyEvent> events);
    // Waits (bounded) until the shell has handed on the keys mutter queued.
    void WaitForShell();

    std::unique_ptr<desktop::SessionBus> bus_;
    std::string session_;
    std::unique_ptr<EvdevLayout> layout_;
    desktop::HeldKeys held_;
    std::shared_ptr<wayland::XwaylandSync> xwayland_;
    desktop::XwaylandKeyWatch keyWatch_;
    bool brokenLogged_ = false;
    bool syncLogged_ = false;
};

}  // namespace qv::gnome
