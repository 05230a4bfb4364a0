#include "keys/wayland/KeysBackendChoice.h"

#include <algorithm>

#include "common/AsciiCase.h"

namespace qv {
namespace {

constexpr const char* kUinputHelp =
    "To send keys here, give your user write access to /dev/uinput: install "
    "packaging/60-quorvane-uinput.rules to /etc/udev/rules.d/ and "
    "packaging/quorvane-uinput.conf to /etc/modules-load.d/, run 'modprobe uinput', "
    "reload udev and log in again.";

constexpr const char* kNoSwitching =
    "Switching to a slot's target window is not available in this session: "
    "keys go to the window in front.";

// Where KWin or GNOME withhold their own keys: uinput where the user may
// write it, else XTest through XWayland, which reaches X programs only.
void FallBackForKeys(const SessionFacts& facts, KeysBackendChoice& choice, std::string& notice) {
    if (facts.uinputWritable) {
        choice.keys = KeysRoute::Uinput;
        notice += " Keys go through a uinput keyboard instead.";
    } else {
        choice.keys = KeysRoute::XTest;
        notice += std::string(" Keys reach X programs only (through XWayland). ") + kUinputHelp;
    }
}

KeysBackendChoice ChooseKde(const SessionFacts& facts) {
    KeysBackendChoice choice;
    choice.backend = KeysBackend::Kde;
    if (facts.kwinFakeInput && facts.plasmaWindows) {
        return choice;
    }
    std::string notice =
        "KWin does not let this program send keys or list windows by its own means "
        "(org_kde_kwin_fake_input, org_kde_plasma_window_management): it grants them to the "
        "installed program only, started as /usr/bin/quorvane, whose desktop entry "
        "(/usr/share/applications/quorvane.desktop) asks for them. Run the installed program, "
        "or copy that entry to ~/.local/share/applications/ with Exec= set to the absolute path "
        "of this program.";
    if (!facts.plasmaWindows) {
        choice.windows = WindowsRoute::KWinScript;
        notice += " Windows are switched through KWin scripting instead.";
    }
    if (!facts.kwinFakeInput) {
        FallBackForKeys(facts, choice, notice);
    }
    choice.notice = std::move(notice);
    return choice;
}

KeysBackendChoice ChooseGnome(const SessionFacts& facts) {
    KeysBackendChoice choice;
    choice.backend = KeysBackend::Gnome;
    std::string notice;
    if (!facts.gnomeExtension) {
        choice.windows = WindowsRoute::FocusedOnly;
        choice.switching = false;
        notice = std::string(kNoSwitching) +
                 " Switching on GNOME needs the program's GNOME Shell extension: enable it with "
                 "'gnome-extensions enable quorvane-windows@quorvane' (or in the Extensions app); "
                 "GNOME finds a newly installed extension at the next login.";
    }
    if (!facts.mutterRemoteDesktop) {
        notice += std::string(notice.empty() ? "" : " ") +
                  "mutter's remote desktop (org.gnome.Mutter.RemoteDesktop) is not on the "
                  "session bus.";
        FallBackForKeys(facts, choice, notice);
    }
    choice.notice = std::move(notice);
    return choice;
}

}  // namespace

void ReadDesktopNames(const char* currentDesktop, const char* kdeFullSession, SessionFacts& facts) {
    const std::string_view names = currentDesktop != nullptr ? currentDesktop : "";
    std::size_t from = 0;
    while (from <= names.size()) {
        const std::size_t end = std::min(names.find(':', from), names.size());
        const std::string_view name = names.substr(from, end - from);
        if (EqualsIgnoringAsciiCase(name, "KDE")) {
            facts.kde = true;
        } else if (EqualsIgnoringAsciiCase(name, "GNOME")) {
            facts.gnome = true;
        }
        from = end + 1;
    }
    if (kdeFullSession != nullptr && *kdeFullSession != '\0') {
        facts.kde = true;
    }
}

std::optional<KeysBackend> KeysBackendFromName(std::string_view name) {
    if (name == "x11") {
        return KeysBackend::X11;
    }
    if (name == "sway") {
        return KeysBackend::Sway;
    }
    if (name == "wlroots") {
        return KeysBackend::Wlroots;
    }
    if (name == "uinput") {
        return KeysBackend::Uinput;
    }
    if (name == "kde") {
        return KeysBackend::Kde;
    }
    if (name == "gnome") {
        return KeysBackend::Gnome;
    }
    return std::nullopt;
}

std::string_view KeysBackendName(KeysBackend backend) {
    switch (backend) {
        case KeysBackend::X11:
            return "x11";
        case KeysBackend::Sway:
            return "sway";
        case KeysBackend::Wlroots:
            return "wlroots";
        case KeysBackend::Uinput:
            return "uinput";
        case KeysBackend::Kde:
            return "kde";
        case KeysBackend::Gnome:
            return "gnome";
    }
    return "x11";
}

KeysBackendChoice ChooseKeysBackend(const SessionFacts& facts, std::optional<KeysBackend> forced) {
    KeysBackendChoice choice;
    if (forced == KeysBackend::Kde) {
        return ChooseKde(facts);
    }
    if (forced == KeysBackend::Gnome) {
        return ChooseGnome(facts);
    }
    if (forced) {
        choice.backend = *forced;
        choice.switching = *forced != KeysBackend::Uinput;
        if (*forced == KeysBackend::Uinput) {
            choice.notice = kNoSwitching;
        }
        return choice;
    }
    if (!facts.waylandDisplay) {
        choice.backend = KeysBackend::X11;
        return choice;
    }
    if (facts.virtualKeyboard && facts.swaySocket) {
        choice.backend = KeysBackend::Sway;
        return choice;
    }
    if (facts.virtualKeyboard) {
        choice.backend = KeysBackend::Wlroots;
        if (!facts.foreignToplevel) {
            choice.switching = false;
            choice.notice = std::string(kNoSwitching) +
                            " (the compositor offers no window list, "
                            "zwlr_foreign_toplevel_manager_v1)";
        }
        return choice;
    }
    if (facts.kde) {
        return ChooseKde(facts);
    }
    if (facts.gnome) {
        return ChooseGnome(facts);
    }
    if (facts.uinputWritable) {
        choice.backend = KeysBackend::Uinput;
        choice.switching = false;
        choice.notice = std::string(kNoSwitching) +
                        " Keys go through a uinput keyboard and type what your layout "
                        "gives their keys.";
        return choice;
    }
    // Nothing reaches Wayland programs: XTest and EWMH through XWayland at
    // least serve X programs.
    choice.backend = KeysBackend::X11;
    choice.notice = std::string(
                        "This Wayland session offers no way to send keys to Wayland "
                        "programs; keys and window switching reach X programs only "
                        "(through XWayland). ") +
                    kUinputHelp;
    return choice;
}

}  // namespace qv
