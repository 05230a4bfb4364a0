#include "keys/wayland/KeysBackendChoice.h"

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

}  // namespace

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
    }
    return "x11";
}

KeysBackendChoice ChooseKeysBackend(const SessionFacts& facts, std::optional<KeysBackend> forced) {
    KeysBackendChoice choice;
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
