#pragma once
// Port for key capture: the Windows virtual-key code that the user's active
// keyboard layout gives a physical key, as Windows records it (the key's
// code, whatever Shift does: Shift+2 is the 2 key on every layout). The key
// is named by its native key code, the one toolkits report with their key
// events (the X keycode on X11, the xkb keycode on Wayland).

#include <cstdint>

namespace qv {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The code of the key under the layout active now; 0 when the layout
    // gives it none or cannot be read.
    virtual std::int16_t VirtualKeyOfKey(std::uint32_t nativeKeycode) = 0;
};

}  // namespace qv
