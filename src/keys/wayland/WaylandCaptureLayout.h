#pragma once
// Key capture's view of the user's layout on Wayland: the keymap the
// compositor gives the seat's keyboard (CompositorKeymap, over a connection
// of its own), read afresh before each key so that a layout switch counts
// from the next key on. Qt reports a key by its xkb keycode there (the Linux
// key code + 8; under XWayland the X keycode, which is the same number), so
// the code recorded is the one Windows gives that physical key on the
// user's layout, as X11 capture records it.
//
// The compositor sends every client the keymap of the keyboard last used:
// the program's own virtual keyboard's while it types, which is the user's
// layout with keys added on keycodes the layout leaves free, so physical
// keys read the same on it. Use it from one thread (the GUI's).

#include <cstdint>
#include <memory>
#include <string>

#include "keys/KeyboardLayout.h"

namespace qv::wayland {

class CompositorKeymap;

class WaylandCaptureLayout final : public KeyboardLayout {
public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY); nullptr with `error`
    // set when there is no compositor or it has no seat.
    static std::unique_ptr<WaylandCaptureLayout> Open(const char* display, std::string& error);
    ~WaylandCaptureLayout() override;
    WaylandCaptureLayout(const WaylandCaptureLayout&) = delete;
    WaylandCaptureLayout& operator=(const WaylandCaptureLayout&) = delete;

    // 0 until the compositor has sent a keyboard layout.
    std::int16_t VirtualKeyOfKey(std::uint32_t nativeKeycode,
                                 std::uint32_t nativeModifiers) override;

    // The name of the layout last received ("Japanese").
    std::string LayoutName() const;

private:
    explicit WaylandCaptureLayout(std::unique_ptr<CompositorKeymap> keymap);
    std::unique_ptr<CompositorKeymap> keymap_;
};

}  // namespace qv::wayland
