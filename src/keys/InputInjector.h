#pragma once
// Port for synthesised keyboard input: one batch of key presses and releases
// goes into the system's input stream in one piece, in order. How a platform
// types a virtual-key code (scan codes and flags on Windows, keysyms and
// keycodes on X11, a keymap of its own on Wayland) is its backend's business.

#include <cstdint>
#include <span>

namespace qv {

// One key event: a Windows virtual-key code (-1 and 0 included: the backend
// sends nothing for codes it has no key for) pressed or released.
struct KeyStroke {
    std::int16_t virtualKey = 0;
    bool release = false;
    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

class InputInjector {
public:
    virtual ~InputInjector() = default;
    // Injects the whole batch, in order, as one piece, and returns once the
    // focused window has been handed every event of the batch: whatever the
    // caller does next (minimise that window again, give the foreground to
    // another) cannot take keys from it or change what they mean. Waiting for
    // that is bounded; a window that does not take its keys in time is left to
    // them (the backend says so in the debug log). Failures are not reported.
    virtual void Send(std::span<const KeyStroke> batch) = 0;
};

}  // namespace qv
