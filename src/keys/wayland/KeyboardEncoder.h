#pragma once
// Turns batches of key strokes into the requests of a virtual keyboard: key
// presses and releases on the keys of its keymap, and the modifier state.
// The compositor does not derive the modifier state from keys a virtual
// keyboard sends, so it is tracked here on the keymap, as a real keyboard's
// state would be, and sent after every key that changes it. A lock that a
// key added to the user's layout set (Caps Lock where the layout has no such
// key) is let go again at the end of the batch: a key list changes the
// user's locks only through the layout's own lock keys.

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "keys/InputInjector.h"
#include "keys/wayland/VirtualKeymap.h"

namespace qv::wayland {

struct KeyboardRequest {
    enum class Kind { Key, Modifiers };
    Kind kind = Kind::Key;
    std::uint32_t key = 0;                                            // evdev code (Key)
    bool pressed = false;                                             // (Key)
    std::uint32_t depressed = 0, latched = 0, locked = 0, group = 0;  // (Modifiers)

    static KeyboardRequest Press(std::uint32_t key) { return {Kind::Key, key, true}; }
    static KeyboardRequest Release(std::uint32_t key) { return {Kind::Key, key, false}; }
    static KeyboardRequest Mods(std::uint32_t depressed, std::uint32_t latched,
                                std::uint32_t locked, std::uint32_t group) {
        return {Kind::Modifiers, 0, false, depressed, latched, locked, group};
    }
    friend bool operator==(const KeyboardRequest&, const KeyboardRequest&) = default;
};

class KeyboardEncoder {
public:
    // `keymap` must outlive the encoder.
    explicit KeyboardEncoder(const VirtualKeymap& keymap);

    // The requests for `batch`, in its order: strokes whose code has no key
    // are left out (Skipped() names them); a press of a key already down and
    // a release of a key that is up go out as they are (as SendInput passes
    // them on) but leave the modifier state alone.
    std::vector<KeyboardRequest> Encode(std::span<const KeyStroke> batch);
    // The codes the last Encode left out.
    const std::vector<int>& Skipped() const { return skipped_; }

    // Releases of the keys that key lists left down (before the keyboard goes).
    std::vector<KeyboardRequest> ReleaseHeld();

    // The modifier state as last sent (a Modifiers request).
    const KeyboardRequest& Modifiers() const { return sent_; }

private:
    void Update(std::uint32_t key, bool pressed, std::vector<KeyboardRequest>& out);
    void Send(const KeyboardRequest& mods, std::vector<KeyboardRequest>& out);

    struct StateUnref {
        void operator()(xkb_state* s) const { xkb_state_unref(s); }
    };
    const VirtualKeymap& keymap_;
    std::unique_ptr<xkb_state, StateUnref> state_;
    std::set<std::uint32_t> held_;
    KeyboardRequest sent_ = KeyboardRequest::Mods(0, 0, 0, 0);
    std::vector<int> skipped_;
};

}  // namespace qv::wayland
