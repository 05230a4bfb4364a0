#pragma once
// The Linux input key code (KEY_* of linux/input-event-codes.h) of each
// virtual-key code: the key in its place on a PC keyboard (the US layout's
// places for the punctuation keys, the Japanese keyboard's own keys for
// [KANJI], [KANA], 変換 and 無変換). Where the user's layout cannot be learnt,
// the uinput keyboard presses these keys and the layout decides what they
// type. The Wayland keymap puts the keys it adds on the same keys where it
// can, so targets that match shortcuts by key position see familiar keys.

#include <cstdint>

namespace qv {

// The KEY_* code for `virtualKey`; 0 (KEY_RESERVED) for codes that are no
// key (mouse buttons, 0, -1, the codes no keyboard has) or have no Linux key
// ([EXECUTE], [MODECHANGE]).
std::uint16_t VirtualKeyToEvdev(int virtualKey);

}  // namespace qv
