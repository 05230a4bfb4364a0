#pragma once
// Port for synthesised keyboard input: one batch of key presses and releases
// goes into the system's input stream in one piece, in order. How a platform
// types a virtual-key code (scan codes and flags on Windows, keysyms and
// keycodes on X11, the user's keymap on Wayland) is its backend's business.

#include <span>

#include "keys/KeyStroke.h"

namespace qv {

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
