#pragma once
// Keystrokes on Wayland through the virtual-keyboard protocol
// (zwp_virtual_keyboard_manager_v1; sway and other wlroots compositors offer
// it). One keyboard is created when the injector opens and kept. It types
// with the user's layout, the keymap the compositor gives the seat's
// keyboard, plus the keys the layout lacks (VirtualKeymap): every code
// presses the key that carries it on that layout, as on Windows. When the
// compositor's layout changes, the next batch first rebuilds the keymap and
// uploads it again (keys held down meanwhile are let go first).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "keys/InputInjector.h"

struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct wl_seat;
struct xkb_keymap;

namespace qv::wayland {

class CompositorKeymap;
class KeyboardEncoder;
struct KeyboardRequest;
class VirtualKeymap;
class WaylandConnection;
class XwaylandSync;

class VirtualKeyboardInjector final : public InputInjector {
public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY), creates the keyboard
    // with our keymap and makes it ready for its first keys; nullptr with
    // `error` set when the compositor offers no virtual keyboard or refuses.
    // `xwayland`, when given, is the session's XWayland watch shared with its
    // window system: after a batch for an X window the injector waits until
    // XWayland has read all of it.
    static std::unique_ptr<VirtualKeyboardInjector> Open(
        const char* display, std::string& error, std::shared_ptr<XwaylandSync> xwayland = nullptr);
    // Lets go of keys that key lists left down, then removes the keyboard.
    ~VirtualKeyboardInjector() override;

    // Sends the batch and waits (bounded) until the compositor has handled
    // it, so the keys have gone to the focused window when this returns.
    void Send(std::span<const KeyStroke> batch) override;

    // The name of the layout the keyboard types with ("Japanese").
    std::string LayoutName() const;

private:
    VirtualKeyboardInjector();
    bool Start(const char* display, std::string& error);
    bool Upload(const std::shared_ptr<xkb_keymap>& layout, std::string& error);
    void FollowLayout();
    void Flush(const std::vector<KeyboardRequest>& requests);
    void WaitForXwayland();

    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<CompositorKeymap> layout_;
    std::uint64_t layoutGeneration_ = 0;  // the compositor's layout the keymap is built on
    std::unique_ptr<VirtualKeymap> keymap_;
    std::unique_ptr<KeyboardEncoder> encoder_;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::shared_ptr<XwaylandSync> xwayland_;
    bool brokenLogged_ = false;
};

}  // namespace qv::wayland
