#pragma once
// The user's keyboard layout on Wayland: the keymap the compositor gives the
// seat's keyboard (the wl_keyboard keymap event), followed while the program
// runs (the compositor sends the event again when the layout changes), and
// which Linux key carries each Windows virtual-key code on it (LayoutKeys).
//
// Keymaps that are no keyboard layout (no layout name, no key for every
// letter: another program's virtual keyboard in use) are passed over.
//
// It asks for the seat's keyboard once the seat has one: wlroots ends the
// connection of a client that asks before (a seat without keyboards gets
// one when the program's virtual keyboard appears). Single-threaded: use it
// on the thread that dispatches its connection.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "keys/uinput/EvdevLayout.h"
#include "keys/wayland/LayoutKeys.h"

struct wl_keyboard;
struct wl_seat;

namespace qv::wayland {

class WaylandConnection;

class CompositorKeymap final : public EvdevLayout {
public:
    // Watches `seat` on `connection` (both outlive this object); the keymap
    // events arrive whenever the connection is dispatched.
    CompositorKeymap(WaylandConnection& connection, wl_seat* seat);
    // With a connection of its own to `display` (nullptr: $WAYLAND_DISPLAY),
    // waiting (bounded) for the first keymap; nullptr with `error` set when
    // there is no compositor or no seat. A seat without keyboard gives an
    // object without layout (KeyFor answers 0) until a keyboard appears.
    static std::unique_ptr<CompositorKeymap> Open(const char* display, std::string& error);
    ~CompositorKeymap() override;
    CompositorKeymap(const CompositorKeymap&) = delete;
    CompositorKeymap& operator=(const CompositorKeymap&) = delete;

    // Dispatches the connection until a keymap has come or `bound` passed;
    // true when a layout is known.
    bool WaitForLayout(std::chrono::milliseconds bound);
    // Whether the seat has a keyboard (so a keymap will come).
    bool SeatHasKeyboard() const { return keyboard_ != nullptr; }

    // The layout last received; nullptr until one came.
    const LayoutKeys* Layout() const { return layout_.get(); }
    // The text of that keymap as the compositor sent it.
    const std::string& Text() const { return text_; }
    // Counts the layouts received: it changes when a new one replaces the
    // last (a keymap equal to the last one changes nothing).
    std::uint64_t Generation() const { return generation_; }

    // Keymaps with this text are not the user's layout but the program's own
    // virtual keyboard's (wlroots sends every client the keymap of the
    // keyboard last used): they are passed over.
    void PassOver(std::string text);

    // EvdevLayout: a bounded round trip reads what the compositor sent.
    void Refresh() override;
    std::uint16_t KeyFor(int virtualKey) const override;
    std::string Name() const override;

    // For the listeners.
    void SeatCapabilities(std::uint32_t capabilities);
    void Received(std::uint32_t format, int fd, std::uint32_t size);

private:
    std::unique_ptr<WaylandConnection> ownConnection_;  // Open() only
    WaylandConnection* connection_;
    wl_seat* seat_;
    bool ownSeat_ = false;
    wl_keyboard* keyboard_ = nullptr;
    std::unique_ptr<LayoutKeys> layout_;
    std::string text_;
    std::uint64_t generation_ = 0;
    std::vector<std::string> passedOver_;  // as sent, and as xkbcommon writes them
};

}  // namespace qv::wayland
