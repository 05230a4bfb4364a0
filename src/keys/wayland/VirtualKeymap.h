#pragma once
// The keyboard layout the virtual keyboard types with: the US layout plus,
// on keycodes it leaves unused, the keys of the program's vocabulary that it
// lacks (Kanji, kana, F13-F24, browser and media keys...). The compositor
// passes this keymap on to the target, so every virtual-key code of the
// vocabulary arrives as its own keysym whatever layout the user has.
//
// Keycodes stay at or below 255 (evdev codes up to 247): XWayland cannot
// use higher ones.

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace qv::wayland {

// The keysym that a virtual-key code stands for (the unshifted one for
// letters and digits); XKB_KEY_NoSymbol for codes that are no key (mouse
// buttons, unnamed codes, 0, -1).
xkb_keysym_t VirtualKeyToKeysym(int virtualKey);

class VirtualKeymap {
public:
    // Compiles the keymap for these virtual-key codes (codes without a
    // keysym are left out); nullopt with `error` set when xkbcommon cannot
    // compile it or runs out of unused keycodes.
    static std::optional<VirtualKeymap> Build(std::span<const std::int16_t> virtualKeys,
                                              std::string& error);

    // The evdev key code (xkb keycode - 8) that types `virtualKey`; nullopt
    // for codes without a key.
    std::optional<std::uint32_t> KeyFor(int virtualKey) const;

    // The compiled keymap (for tracking the modifier state on it).
    xkb_keymap* Keymap() const { return keymap_.get(); }

    // The whole keymap as self-contained text (no includes), ready to upload.
    const std::string& Text() const { return text_; }

    // How many keys got keysyms of ours (in place of the US layout's, or on
    // keycodes it leaves unused).
    std::size_t AddedKeys() const { return added_; }

private:
    std::shared_ptr<xkb_keymap> keymap_;
    std::map<int, std::uint32_t> keys_;  // virtual-key code -> evdev code
    std::string text_;
    std::size_t added_ = 0;
};

}  // namespace qv::wayland
