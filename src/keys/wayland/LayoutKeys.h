#pragma once
// A keyboard layout as xkbcommon compiled it, read the way Windows reads a
// keyboard: which physical key carries each virtual-key code, and which code
// each physical key has. Pressing the key that carries a code lets the
// layout decide the character, as on Windows: the 2 key with Shift types '"'
// on a Japanese layout and '@' on a US one. Used by every backend that
// presses Linux keys on the user's layout (the virtual keyboard, uinput, the
// desktops' own input interfaces).

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <string>

#include "keys/xkb/KeysymCodes.h"

namespace qv::wayland {

using SharedKeymap = std::shared_ptr<xkb_keymap>;

// Compiles a keymap in xkbcommon's text format (as a wl_keyboard keymap event
// carries it); nullptr with `error` set when xkbcommon refuses it.
SharedKeymap CompileKeymap(const std::string& text, std::string& error);

// Compiles the keymap of a layout by its names ("jp", "" for the variant,
// "jp106" for the model; empty names take xkbcommon's defaults, which follow
// $XKB_DEFAULT_LAYOUT and friends, else the US layout); nullptr with `error`
// set when the names are not known.
SharedKeymap KeymapFromNames(const std::string& layout, const std::string& variant = {},
                             const std::string& model = {}, const std::string& options = {},
                             std::string* error = nullptr);

// The keymap in xkbcommon's text format, self-contained (no includes).
std::string KeymapText(xkb_keymap* keymap);

class LayoutKeys {
public:
    // Reads the first layout (group) of `keymap`, with no modifier on but
    // Shift: the keypad reads as with Num Lock off. The keymap is kept.
    explicit LayoutKeys(SharedKeymap keymap);

    // The xkb keycode of the key that carries `virtualKey`, 0 for none.
    xkb_keycode_t KeycodeFor(int virtualKey) const;
    // The Linux key code (KEY_*, the xkb keycode - 8) of that key; 0
    // (KEY_RESERVED) for none.
    std::uint16_t EvdevKeyFor(int virtualKey) const;
    // The virtual-key code of a key (capture); 0 for a key without one.
    // With `numLock` the keypad reads as with Num Lock on (its digits), as
    // Windows reads it then; without, as its cursor and editing keys.
    std::int16_t VirtualKeyOf(xkb_keycode_t keycode, bool numLock = false) const;
    // The modifier bits Num Lock sets on this keymap (xkb's Mod2), to read an
    // event's modifier state with; 0 when the keymap has no such modifier.
    xkb_mod_mask_t NumLockMask() const { return numLockMask_; }

    // The keysyms the key types without and with Shift; 0 for none.
    xkb_keysym_t Unshifted(xkb_keycode_t keycode) const;
    xkb_keysym_t Shifted(xkb_keycode_t keycode) const;

    xkb_keymap* Keymap() const { return keymap_.get(); }
    const SharedKeymap& SharedKeymapHandle() const { return keymap_; }
    // The layout's name as the keymap gives it ("Japanese"); empty for none.
    std::string Name() const;

private:
    SharedKeymap keymap_;
    std::shared_ptr<xkb_state> plain_;           // no modifier
    std::shared_ptr<xkb_state> shifted_;         // Shift depressed
    std::shared_ptr<xkb_state> numLocked_;       // Num Lock locked
    std::shared_ptr<xkb_state> numLockShifted_;  // and Shift depressed
    xkb_mod_mask_t numLockMask_ = 0;
    KeysByCode carrying_{};
};

}  // namespace qv::wayland
