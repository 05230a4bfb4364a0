#pragma once
// Port for key capture: the Windows virtual-key code that the user's active
// keyboard layout gives a physical key, as Windows records it (the key's
// code, whatever Shift does: Shift+2 is the 2 key on every layout). The key
// is named by its native key code, the one toolkits report with their key
// events (the X keycode on X11, the xkb keycode on Wayland: the Linux key
// code + 8 on both), with the native modifier state of the event (the X
// state mask, or the xkb modifiers the compositor reported; Num Lock is the
// Mod2 bit in both), which decides what the keypad keys are.

#include <cstdint>

namespace qv {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The code of the key under the layout active now; 0 when the layout
    // gives it none or cannot be read.
    virtual std::int16_t VirtualKeyOfKey(std::uint32_t nativeKeycode,
                                         std::uint32_t nativeModifiers) = 0;
};

}  // namespace qv
