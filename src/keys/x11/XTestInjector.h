#pragma once
// Keyboard injection on X11 through the XTest extension. A virtual-key code
// presses the physical key that carries it on the active layout, so the
// layout decides the character, as on Windows; a code that no key carries
// becomes a keysym, and a keysym the keymap lacks borrows a spare keycode
// (one without keysyms) for the batch.
//
// Each object holds its own connection to the X server: create it on the
// thread that sends the keys (the receive loop's worker, not the GUI thread)
// and use it from that thread only.

#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "keys/InputInjector.h"

namespace qv {

class XDisplayHandle;
struct XAction;

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
    // Keys that the batch leaves down do not repeat while held, and a borrowed
    // keycode stays lent until its key is released by a later batch.
    void Send(std::span<const KeyStroke> batch) override;

    // A key that a batch left down.
    struct HeldKey {
        unsigned char keycode;
        unsigned long keysym;  // the keysym it was lent to (borrowed keys only)
        bool borrowed;         // its keycode was lent to the keysym and is given back on release
        bool repeated;         // it repeated before its repeat was turned off
    };

private:
    explicit XTestInjector(std::unique_ptr<XDisplayHandle> display);
    void SendPiece(std::span<XAction> actions,
                   const std::vector<std::pair<unsigned long, unsigned char>>& borrow);

    std::unique_ptr<XDisplayHandle> display_;
    std::vector<HeldKey> held_;
};

// The X pointer button for the mouse-button codes 1, 2 and 4; 0 otherwise.
unsigned int VirtualKeyToButton(int code);

}  // namespace qv
