#pragma once
// Turns batches of virtual-key strokes into Linux key events for injectors
// that press keys of the session's own keyboard (KWin's fake input, mutter's
// remote desktop), and keeps track of which keys are down: mutter refuses
// the release of a key that is not down, and keys a key list leaves down are
// let go of when the program ends.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "keys/InputInjector.h"

namespace qv::desktop {

// One key event on a Linux key code (KEY_* of linux/input-event-codes.h).
struct KeyEvent {
    std::uint16_t code = 0;
    bool pressed = false;
    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// Which Linux key carries a virtual-key code in the session; 0 for none.
using KeyCodeLookup = std::function<std::uint16_t(int virtualKey)>;

class HeldKeys {
public:
    explicit HeldKeys(KeyCodeLookup lookup) : lookup_(std::move(lookup)) {}

    // The events for `batch`, in its order: strokes without a key are left
    // out, and so is the release of a key that is not down. A key pressed
    // again while down (two virtual keys on one key, or a held key list)
    // is pressed again, as a keyboard's repeat would.
    std::vector<KeyEvent> Encode(std::span<const KeyStroke> batch);
    // Releases for every key still down, and forgets them.
    std::vector<KeyEvent> ReleaseAll();
    bool AnyDown() const { return !down_.empty(); }

private:
    KeyCodeLookup lookup_;
    std::map<std::uint16_t, bool> down_;
};

}  // namespace qv::desktop
