#pragma once
// The active keyboard layout of an X server, read through XKB: the keysyms
// the layout puts on each key and, through KeyboardLayout.h, the Windows
// virtual-key code of each physical key. Key capture uses it to record a key
// as Windows would on the same layout; the XTest injector uses it to find the
// physical key that carries a code.

#include <cstdint>
#include <memory>

struct _XDisplay;
struct _XkbDesc;

namespace qv {

// One reading of the keyboard map, the current group and the Num Lock state;
// it does not follow later changes (read it again for those).
class X11KeyboardLayout {
public:
    // Reads it over `display`; nullptr when the server has no XKB or the map
    // cannot be read.
    static std::unique_ptr<X11KeyboardLayout> Read(_XDisplay* display);
    ~X11KeyboardLayout();
    X11KeyboardLayout(const X11KeyboardLayout&) = delete;
    X11KeyboardLayout& operator=(const X11KeyboardLayout&) = delete;

    unsigned MinKeycode() const;
    unsigned MaxKeycode() const;

    // The keysym a key types in the current group without Shift, with Num
    // Lock as it is (so that the keypad reads as Windows reads it: digits
    // with Num Lock on, cursor keys with it off); 0 for none.
    unsigned long Unshifted(unsigned keycode) const;
    // The same with Shift held.
    unsigned long Shifted(unsigned keycode) const;
    // The Windows virtual-key code of the key; 0 when the table has none.
    std::int16_t VirtualKey(unsigned keycode) const;

private:
    X11KeyboardLayout(_XkbDesc* map, unsigned group, unsigned numLock);
    unsigned long Lookup(unsigned keycode, unsigned mods) const;

    _XkbDesc* map_;
    unsigned group_;
    unsigned numLock_;  // the Num Lock modifier bits when Num Lock is on, else 0
};

// The keysym `keycode` types on the active layout without Shift (Num Lock as
// it is); 0 for none or when the layout cannot be read.
unsigned long UnshiftedKeysym(_XDisplay* display, unsigned keycode);

// The Windows virtual-key code that the physical key `keycode` has on the
// active layout, whatever Shift does: the code key capture records. On xcb
// this is the key event's QKeyEvent::nativeScanCode(). 0 when the key has no
// code in the table or the layout cannot be read.
std::int16_t VirtualKeyFromX11Keycode(_XDisplay* display, unsigned keycode);

}  // namespace qv
