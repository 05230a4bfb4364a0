#include "keys/wayland/KeyboardEncoder.h"

namespace qv::wayland {

KeyboardEncoder::KeyboardEncoder(const VirtualKeymap& keymap)
    : keymap_(keymap), state_(xkb_state_new(keymap.Keymap())) {}

std::vector<KeyboardRequest> KeyboardEncoder::Encode(std::span<const KeyStroke> batch) {
    std::vector<KeyboardRequest> out;
    out.reserve(batch.size() + 8);
    skipped_.clear();
    const std::uint32_t lockedBefore = sent_.locked;
    std::uint32_t addedKeyLocks = 0;  // lock bits that added keys changed
    for (const KeyStroke& stroke : batch) {
        const auto key = keymap_.KeyFor(stroke.virtualKey);
        if (!key) {
            skipped_.push_back(stroke.virtualKey);
            continue;
        }
        const std::uint32_t locked = sent_.locked;
        Update(*key, !stroke.release, out);
        if (keymap_.IsAddedKey(*key)) {
            addedKeyLocks |= locked ^ sent_.locked;
        }
    }
    if (addedKeyLocks != 0 && state_) {
        const std::uint32_t locked =
            (sent_.locked & ~addedKeyLocks) | (lockedBefore & addedKeyLocks);
        xkb_state_update_mask(state_.get(), sent_.depressed, sent_.latched, locked, 0, 0,
                              sent_.group);
        Send(KeyboardRequest::Mods(sent_.depressed, sent_.latched, locked, sent_.group), out);
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
    Send(
        KeyboardRequest::Mods(xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_DEPRESSED),
                              xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LATCHED),
                              xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LOCKED),
                              xkb_state_serialize_layout(state_.get(), XKB_STATE_LAYOUT_EFFECTIVE)),
        out);
}

void KeyboardEncoder::Send(const KeyboardRequest& mods, std::vector<KeyboardRequest>& out) {
    if (!(mods == sent_)) {
        out.push_back(mods);
        sent_ = mods;
    }
}

}  // namespace qv::wayland
