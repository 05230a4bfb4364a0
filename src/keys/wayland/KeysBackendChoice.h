#pragma once
// Which keystroke and window-switching backends a Linux session gets: X11
// sessions keep XTest and EWMH; on Wayland, sway gets the virtual keyboard
// and its IPC, other wlroots compositors the virtual keyboard and the
// foreign-toplevel protocol, and anything else (GNOME, KDE) a uinput
// keyboard without window switching. The choice is a pure function of what
// the session offers, so every row of that table is tested.

#include <optional>
#include <string>
#include <string_view>

namespace qv {

enum class KeysBackend { X11, Sway, Wlroots, Uinput };

// The --backend names: x11, sway, wlroots, uinput.
std::optional<KeysBackend> KeysBackendFromName(std::string_view name);
std::string_view KeysBackendName(KeysBackend backend);

// What the session offers, as probed at start-up.
struct SessionFacts {
    bool x11Display = false;       // $DISPLAY is set
    bool waylandDisplay = false;   // $WAYLAND_DISPLAY is set and the compositor answered
    bool swaySocket = false;       // $SWAYSOCK is set
    bool virtualKeyboard = false;  // the compositor offers zwp_virtual_keyboard_manager_v1
    bool foreignToplevel = false;  // ... and zwlr_foreign_toplevel_manager_v1
    bool uinputWritable = false;   // /dev/uinput can be opened for writing
};

struct KeysBackendChoice {
    KeysBackend backend = KeysBackend::X11;
    // Whether the chosen backend can switch to a slot's target window.
    bool switching = true;
    // Said once at start-up when not empty: what does not work in this
    // session and what to do about it.
    std::string notice;
};

// The backends for this session; `forced` (--backend) wins over what the
// session suggests, the notice then says what it will lack.
KeysBackendChoice ChooseKeysBackend(const SessionFacts& facts,
                                    std::optional<KeysBackend> forced = std::nullopt);

}  // namespace qv
