#pragma once
// Which keystroke and window-switching backends a Linux session gets: X11
// sessions keep XTest and EWMH; on Wayland, sway gets the virtual keyboard
// and its IPC, other wlroots compositors the virtual keyboard and the
// foreign-toplevel protocol, KDE Plasma (KWin) its fake input and window
// management, GNOME mutter's remote desktop and the program's Shell
// extension, and anything else a uinput keyboard without window switching.
// Where KWin or GNOME withhold a part, that part falls back (KWin scripting
// for windows; uinput, or XTest for X programs, for keys) and a notice says
// what to do. The choice is a pure function of what the session offers, so
// every row of that table is tested.

#include <optional>
#include <string>
#include <string_view>

namespace qv {

enum class KeysBackend { X11, Sway, Wlroots, Uinput, Kde, Gnome };

// How the kde and gnome backends send keys and switch windows: by their
// desktop's own means, or by a fallback where the desktop withholds them.
enum class KeysRoute { Desktop, Uinput, XTest };
enum class WindowsRoute { Desktop, KWinScript, FocusedOnly };

// The --backend names: x11, sway, wlroots, uinput, kde, gnome.
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
    // KDE Plasma: $XDG_CURRENT_DESKTOP names KDE, $KDE_FULL_SESSION is set,
    // or KWin (org.kde.KWin) is on the session bus.
    bool kde = false;
    bool kwinFakeInput = false;  // KWin offers org_kde_kwin_fake_input to this program
    bool plasmaWindows = false;  // ... and org_kde_plasma_window_management
    // GNOME: $XDG_CURRENT_DESKTOP names GNOME, or org.gnome.Shell is on the bus.
    bool gnome = false;
    bool mutterRemoteDesktop = false;  // org.gnome.Mutter.RemoteDesktop is on the bus
    bool gnomeExtension = false;       // the program's Shell extension is on the bus
};

struct KeysBackendChoice {
    KeysBackend backend = KeysBackend::X11;
    // Whether the chosen backend can switch to a slot's target window.
    bool switching = true;
    // kde and gnome: their own means or a fallback, part by part.
    KeysRoute keys = KeysRoute::Desktop;
    WindowsRoute windows = WindowsRoute::Desktop;
    // Said once at start-up when not empty: what does not work in this
    // session and what to do about it.
    std::string notice;
};

// Reads the desktop's names: $XDG_CURRENT_DESKTOP (a colon-separated list,
// "KDE", "GNOME", "ubuntu:GNOME", ASCII case ignored) and $KDE_FULL_SESSION;
// either may be null. Sets `kde` and `gnome` where they name them.
void ReadDesktopNames(const char* currentDesktop, const char* kdeFullSession, SessionFacts& facts);

// The backends for this session; `forced` (--backend) wins over what the
// session suggests, the notice then says what it will lack.
KeysBackendChoice ChooseKeysBackend(const SessionFacts& facts,
                                    std::optional<KeysBackend> forced = std::nullopt);

}  // namespace qv
