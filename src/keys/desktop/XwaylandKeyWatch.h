#pragma once
// Keys for an X window under XWayland travel twice: from the injector to the
// compositor, and from the compositor to XWayland, which reads them from its
// Wayland connection in pieces between serving X requests. The compositor
// moves the X focus over a connection of its own, so a window switch right
// after a batch can overtake keys XWayland has not read yet.
//
// This watch counts the keys XWayland has taken in: it listens to XInput's
// raw key events on the root window (XWayland reports every key it is
// given, whichever window has the focus), so after a batch for an X window
// the injector waits until XWayland has counted all of it. Nothing is sent
// to any window.

#include <cstddef>
#include <cstdint>

struct xcb_connection_t;

namespace qv::wayland {
class XwaylandSync;
}

namespace qv::desktop {

class XwaylandKeyWatch {
public:
    // `xwayland` tells whether an X window has the focus (it connects to
    // XWayland only once the window system found an X window about);
    // nullptr: never wait.
    explicit XwaylandKeyWatch(wayland::XwaylandSync* xwayland) : xwayland_(xwayland) {}
    ~XwaylandKeyWatch();
    XwaylandKeyWatch(const XwaylandKeyWatch&) = delete;
    XwaylandKeyWatch& operator=(const XwaylandKeyWatch&) = delete;

    // Before a batch: true when an X window has the focus and the watch
    // counts from here on.
    bool Arm();
    // After the batch: waits (bounded) until XWayland has taken in `keys`
    // key events since Arm(); false when it did not in time.
    bool WaitForKeys(std::size_t keys);

private:
    bool Connect();
    std::size_t Drain();

    wayland::XwaylandSync* xwayland_;
    xcb_connection_t* connection_ = nullptr;
    std::uint8_t opcode_ = 0;
    bool tried_ = false;
    bool armed_ = false;
};

}  // namespace qv::desktop
