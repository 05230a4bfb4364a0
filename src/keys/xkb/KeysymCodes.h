#pragma once
// Which Windows virtual-key code a physical key has under the active layout.
// On Windows a key's code belongs to the physical key on the user's layout,
// whatever Shift does: the key right of P is 0xC0 on a Japanese keyboard
// (it types "@") and 0xDB on a US one (it types "["). Here a key is known by
// the keysyms its layout puts on it, the numbers X11 and xkbcommon share, so
// the same table serves capture (key to code) and replay (code to key) on
// every platform that describes keyboards by keysyms.

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

}  // namespace qv
