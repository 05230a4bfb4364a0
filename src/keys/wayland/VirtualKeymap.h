#pragma once
// The keymap the virtual keyboard types with: the user's own layout (the
// keymap the compositor gives the seat's keyboard), so that every code
// presses the key that carries it there, plus keys for the codes the layout
// has no key for (Kanji on a US layout, F13-F24, the keypad's digits, which
// need Num Lock there). Those go on keycodes the layout leaves unused or on
// keys whose keysyms no code can reach (XF86Tools, say), preferably where a
// PC keyboard has them, so targets that match shortcuts by key position see
// familiar keys. No key of the layout that a code can reach is changed.
//
// Keycodes stay at or below 255 (evdev codes up to 247): XWayland cannot
// use higher ones.

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "keys/wayland/LayoutKeys.h"

namespace qv::wayland {

class VirtualKeymap {
public:
    // Builds the keymap on `layout`; nullopt with `error` set when xkbcommon
    // cannot compile it.
    static std::optional<VirtualKeymap> Build(const SharedKeymap& layout, std::string& error);

    // The evdev key code (xkb keycode - 8) that types `virtualKey`; nullopt
    // for codes without a key (on the layout, or added).
    std::optional<std::uint32_t> KeyFor(int virtualKey) const;
    // Whether the key was added to the layout (not one of the user's keys).
    bool IsAddedKey(std::uint32_t evdevKey) const { return added_.count(evdevKey) != 0; }

    // The compiled keymap, compiled from Text() itself: the state kept for
    // the virtual keyboard runs on exactly what the compositor got.
    xkb_keymap* Keymap() const { return keymap_.get(); }
    // The whole keymap as self-contained text (no includes), ready to upload.
    const std::string& Text() const { return text_; }
    // How many keys were added.
    std::size_t AddedKeys() const { return added_.size(); }
    // The codes with a keysym that found no key (no keycode was left).
    const std::set<int>& Unplaced() const { return unplaced_; }
    // The user's layout's name ("Japanese").
    const std::string& LayoutName() const { return layoutName_; }

private:
    SharedKeymap keymap_;
    std::map<int, std::uint32_t> keys_;  // virtual-key code -> evdev code
    std::set<std::uint32_t> added_;      // evdev codes of the added keys
    std::set<int> unplaced_;
    std::string text_;
    std::string layoutName_;
};

// The keymap text with `lines` added at the end of its symbols section;
// nullopt when the text has no symbols section.
std::optional<std::string> WithSymbols(const std::string& keymapText, const std::string& lines);

}  // namespace qv::wayland
