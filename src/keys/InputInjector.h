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
    // Injects the whole batch, in order, as one piece; failures are not reported.
    virtual void Send(std::span<const KeyStroke> batch) = 0;
};

}  // namespace qv
