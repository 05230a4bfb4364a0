#pragma once
// Keystrokes on KDE Plasma (KWin on Wayland) through KWin's fake-input
// protocol (org_kde_kwin_fake_input): the keys are pressed on KWin's own
// keyboard, so the session's layout and modifier state apply as to a real
// keyboard. KWin offers the protocol only to programs whose desktop entry
// asks for it (X-KDE-Wayland-Interfaces) and whose executable is that
// entry's absolute Exec= path: the installed program.

#include <memory>
#include <span>
#include <string>

#include "keys/InputInjector.h"
#include "keys/desktop/HeldKeys.h"
#include "keys/desktop/XwaylandKeyWatch.h"
#include "keys/uinput/EvdevLayout.h"

struct org_kde_kwin_fake_input;

namespace qv::wayland {
class WaylandConnection;
class XwaylandSync;
}  // namespace qv::wayland

namespace qv::kde {

class FakeInputInjector final : public InputInjector {
public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY) and authenticates
    // once; nullptr with `error` set when KWin does not offer fake input to
    // this program. `xwayland`, when given, is the session's XWayland watch
    // shared with its window system: after a batch for an X window the
    // injector waits until XWayland has read all of it.
    static std::unique_ptr<FakeInputInjector> Open(
        const char* display, std::string& error,
        std::shared_ptr<wayland::XwaylandSync> xwayland = nullptr);
    // Where the keys of the user's layout are (nullptr: the keys of a PC
    // keyboard); until then, a PC keyboard's.
    void UseLayout(std::unique_ptr<EvdevLayout> layout);
    // Lets go of keys that key lists left down.
    ~FakeInputInjector() override;

    // Presses the batch's keys and waits (bounded) until KWin has handled
    // them, so they have gone to the focused window when this returns.
    void Send(std::span<const KeyStroke> batch) override;

private:
    explicit FakeInputInjector(std::shared_ptr<wayland::XwaylandSync> xwayland);
    bool Start(const char* display, std::string& error);
    bool Press(std::span<const desktop::KeyEvent> events);

    std::unique_ptr<wayland::WaylandConnection> connection_;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    std::unique_ptr<EvdevLayout> layout_;
    desktop::HeldKeys held_;
    std::shared_ptr<wayland::XwaylandSync> xwayland_;
    desktop::XwaylandKeyWatch keyWatch_;
    bool brokenLogged_ = false;
};

}  // namespace qv::kde
