#pragma once
// The Linux input key code (KEY_* of linux/input-event-codes.h) of each
// virtual-key code: the key a PC keyboard with a Japanese 106/109 layout
// would press for it. The uinput keyboard presses these keys; the keysyms the
// target then sees come from the user's own layout. The Wayland keymap puts
// its keysyms on the same keys where it can, so targets that match shortcuts
// by key position see the familiar keys.

#include <cstdint>

namespace qv {

// The KEY_* code for `virtualKey`; 0 (KEY_RESERVED) for codes that are no
// key (mouse buttons, unnamed codes, 0, -1) or have no Linux key ([EXECUTE],
// [MODECHANGE]).
std::uint16_t VirtualKeyToEvdev(int virtualKey);

}  // namespace qv
