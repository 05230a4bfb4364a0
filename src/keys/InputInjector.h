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
    // Injects the whole batch, in order, as one piece; failures are not reported.
    virtual void Send(std::span<const KeyStroke> batch) = 0;
};

}  // namespace qv
