#pragma once
// Keyboard injection on X11 through the XTest extension. Virtual-key codes
// become keysyms and then keycodes of the current keymap; a keysym that the
// keymap lacks borrows a spare keycode (one without keysyms) for the batch.

#include <memory>
#include <span>

#include "keys/InputInjector.h"

namespace qv {

class XDisplayHandle;

class XTestInjector : public InputInjector {
public:
    // Connects to the display (nullptr: $DISPLAY); nullptr when there is no X
    // server or it lacks XTEST.
    static std::unique_ptr<XTestInjector> Open(const char* display = nullptr);
    ~XTestInjector() override;
    XTestInjector(const XTestInjector&) = delete;
    XTestInjector& operator=(const XTestInjector&) = delete;

    // Replays the batch: borrows keycodes, sends every event, flushes, waits
    // until the clients had time to read the borrowed mapping, restores it.
    void SendInput(std::span<const KeyboardInput> batch) override;

private:
    explicit XTestInjector(std::unique_ptr<XDisplayHandle> display);
    std::unique_ptr<XDisplayHandle> display_;
};

// The keysym that stands for a virtual-key code on X11, 0 for none (the mouse
// buttons, -1, 0 and the codes without a key).
unsigned long VirtualKeyToKeysym(int code);

// The X pointer button for the mouse-button codes 1, 2 and 4; 0 otherwise.
unsigned int VirtualKeyToButton(int code);

}  // namespace qv
