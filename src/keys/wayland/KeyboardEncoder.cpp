#include "keys/wayland/KeyboardEncoder.h"

namespace qv::wayland {

KeyboardEncoder::KeyboardEncoder(const VirtualKeymap& keymap)
    : keymap_(keymap), state_(xkb_state_new(keymap.Keymap())) {}

std::vector<KeyboardRequest> KeyboardEncoder::Encode(std::span<const KeyStroke> batch) {
    std::vector<KeyboardRequest> out;
    out.reserve(batch.size() + 8);
    for (const KeyStroke& stroke : batch) {
        const auto key = keymap_.KeyFor(stroke.virtualKey);
        if (key) {
            Update(*key, !stroke.release, out);
        }
    }
    return out;
}

std::vector<KeyboardRequest> KeyboardEncoder::ReleaseHeld() {
    std::vector<KeyboardRequest> out;
    const std::set<std::uint32_t> held = held_;
    for (const std::uint32_t key : held) {
        Update(key, false, out);
    }
    return out;
}

void KeyboardEncoder::Update(std::uint32_t key, bool pressed, std::vector<KeyboardRequest>& out) {
    out.push_back(pressed ? KeyboardRequest::Press(key) : KeyboardRequest::Release(key));
    // A key is up or down, as in Windows' key-state table: pressing it again
    // or letting go of a key that is up changes no modifier.
    const bool wasDown = held_.count(key) != 0;
    if (pressed == wasDown || !state_) {
        return;
    }
    if (pressed) {
        held_.insert(key);
    } else {
        held_.erase(key);
    }
    xkb_state_update_key(state_.get(), key + 8, pressed ? XKB_KEY_DOWN : XKB_KEY_UP);
    const KeyboardRequest mods =
        KeyboardRequest::Mods(xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_DEPRESSED),
                              xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LATCHED),
                              xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LOCKED),
                              xkb_state_serialize_layout(state_.get(), XKB_STATE_LAYOUT_EFFECTIVE));
    if (!(mods == sent_)) {
        out.push_back(mods);
        sent_ = mods;
    }
}

}  // namespace qv::wayland
