#pragma once
// Keys for X clients under XWayland travel twice: from our virtual keyboard
// to the compositor, and from the compositor to XWayland, which reads them
// from its Wayland connection in pieces between serving X requests. The
// compositor's window manager moves the X focus over a connection of its
// own, so without care XWayland can take the focus away from the target
// before it has read all of a batch's keys (measured here: 166 of 255 keys
// arrived when the focus went back at once), or give it to the target only
// after the first keys.
//
// This helper watches XWayland over an X connection of its own, shared by
// the session's window system (it says when an X window got the focus and
// waits until XWayland agrees) and injector (after a batch for an X window
// it sends a marker in the keyboard's modifier state and waits until
// XWayland shows it, so everything before it has been read). Used from one
// thread, like the backends that share it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct xcb_connection_t;

namespace qv::wayland {

class XwaylandSync {
public:
    XwaylandSync() = default;
    ~XwaylandSync();
    XwaylandSync(const XwaylandSync&) = delete;
    XwaylandSync& operator=(const XwaylandSync&) = delete;

    // Connects to $DISPLAY (XWayland) once; false when there is no X server.
    // Where the compositor starts XWayland on demand this starts it: the
    // window systems call it only once an X window is about.
    bool Connect();
    bool Connected() const { return connection_ != nullptr; }

    // The X window with the input focus; 0 for none (None, PointerRoot, the
    // root) and when not connected.
    std::uint32_t FocusedWindow();
    // Whether the window's WM_CLASS class or instance is `name` (ASCII case ignored).
    bool HasClass(std::uint32_t window, std::string_view name);
    // Whether a top-level X window of this class exists.
    bool AnyWindowOfClass(std::string_view name);
    // XWayland's keyboard modifier state (the core state bits); nullopt when
    // it cannot be read.
    std::optional<std::uint16_t> ModifierState();

private:
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    bool tried_ = false;
};

}  // namespace qv::wayland
