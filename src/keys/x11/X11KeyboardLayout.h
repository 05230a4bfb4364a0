#pragma once
// The active keyboard layout of an X server, read through XKB: the keysyms
// the layout puts on each key and, through keys/xkb/KeysymCodes.h, the Windows
// virtual-key code of each physical key. Key capture uses it to record a key
// as Windows would on the same layout; the XTest injector uses it to find the
// physical key that carries a code.

#include <cstdint>
#include <memory>

#include "keys/KeyboardLayout.h"
#include "keys/uinput/EvdevLayout.h"
#include "keys/xkb/KeysymCodes.h"

struct _XDisplay;
struct _XkbDesc;

namespace qv {

class XDisplayHandle;

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

// Key capture's view of the X server's layout, over a connection of its own
// (use it from one thread: the GUI's). Each call reads the layout afresh, so
// a layout switch counts from the next key on.
class X11CaptureLayout final : public KeyboardLayout {
public:
    // Connects to the display (nullptr: $DISPLAY); nullptr when there is none.
    static std::unique_ptr<X11CaptureLayout> Open(const char* display = nullptr);
    ~X11CaptureLayout() override;
    // Num Lock is read from the server with the layout, the event's
    // modifiers are not needed.
    std::int16_t VirtualKeyOfKey(std::uint32_t nativeKeycode,
                                 std::uint32_t nativeModifiers) override;

private:
    explicit X11CaptureLayout(std::unique_ptr<XDisplayHandle> display);
    std::unique_ptr<XDisplayHandle> display_;
};

// The X server's layout as Linux keys, for a uinput keyboard in an X session:
// X servers that read keyboards through evdev number their keys as Linux
// does, plus 8. Read again before each batch, so a layout switch counts.
class X11EvdevLayout final : public EvdevLayout {
public:
    // Connects to the display (nullptr: $DISPLAY); nullptr when there is none
    // or its keys are not numbered as evdev numbers them.
    static std::unique_ptr<X11EvdevLayout> Open(const char* display = nullptr);
    ~X11EvdevLayout() override;
    void Refresh() override;
    std::uint16_t KeyFor(int virtualKey) const override;
    std::string Name() const override { return "the X server's layout"; }

private:
    explicit X11EvdevLayout(std::unique_ptr<XDisplayHandle> display);
    std::unique_ptr<XDisplayHandle> display_;
    KeysByCode keys_{};
};

}  // namespace qv
