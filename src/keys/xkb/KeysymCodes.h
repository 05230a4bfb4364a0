#pragma once
// Windows virtual-key codes and the keysyms of keyboard layouts, the numbers
// X11 and xkbcommon share. On Windows a key's code belongs to the physical
// key on the user's layout, whatever Shift does: the key right of P is 0xC0
// on a Japanese keyboard (it types "@") and 0xDB on a US one (it types "[").
// Here a key is known by the keysyms its layout puts on it, so the same
// tables serve capture (key to code) and replay (code to key) on every
// backend that describes keyboards by keysyms (X11, Wayland, uinput).

#include <array>
#include <cstdint>
#include <span>

namespace qv {

using Keysym = std::uint32_t;

// The virtual-key code of a physical key from the keysyms on its first two
// levels under the active layout: `unshifted` (as typed without Shift, the
// keypad as Num Lock has it) and `shifted`. Letters and digits give their
// ASCII code, the other keys the code that Windows' US (101/104) or Japanese
// (106/109) layout gives the key in the same place; 0 for a key this table
// does not know.
std::int16_t VirtualKeyFromKeysyms(Keysym unshifted, Keysym shifted);

// The unshifted keysyms, best first, of the keys that stand in for `code` on
// replay where no key of the layout has the code itself: on a Japanese layout
// [KANJI] is the 半角/全角 key, [KANA] the ひらがな key and [CAPITAL] the 英数
// key. Empty for every other code.
std::span<const Keysym> StandInKeysyms(std::int16_t code);

// The keysym a virtual-key code types where the layout has no key for it
// (the unshifted one for letters and digits: Shift or Caps Lock make the
// capital at the target, as on a real keyboard); 0 (NoSymbol) for codes
// that are no key: the mouse buttons, the codes without a keysym, 0, -1.
Keysym VirtualKeyToKeysym(int code);

// One key of a layout: its keycode and the keysyms on its first two levels,
// as VirtualKeyFromKeysyms reads them.
struct KeyKeysyms {
    std::uint32_t keycode = 0;
    Keysym unshifted = 0;
    Keysym shifted = 0;
};

// The keycode of the key that carries each virtual-key code (the index),
// 0 where no key does.
using KeysByCode = std::array<std::uint32_t, 256>;

// Which key carries each virtual-key code on a layout, given its keys in
// ascending keycode order: the key whose code it is, or, for [KANJI], [KANA]
// and [CAPITAL] where no key has them, the key that stands in for them.
// Where several keys carry a code (both Shift keys, Return and the keypad's
// Enter), the one whose own keysym the code names (left Shift, Return; for
// VK_OEM_102 the ろ key's "\" before the "<" of ISO keyboards) wins,
// otherwise the first.
KeysByCode KeysCarryingCodes(std::span<const KeyKeysyms> keys);

}  // namespace qv
