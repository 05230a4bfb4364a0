#include "keys/wayland/LayoutKeys.h"

#include <cstdlib>
#include <vector>

namespace qv::wayland {
namespace {

struct ContextUnref {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct StateUnref {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
using UniqueContext = std::unique_ptr<xkb_context, ContextUnref>;

SharedKeymap Share(xkb_keymap* keymap) {
    if (keymap == nullptr) {
        return nullptr;
    }
    return SharedKeymap(keymap, xkb_keymap_unref);
}

// A state of the first layout with `depressed` held and `locked` locked.
std::shared_ptr<xkb_state> StateWith(xkb_keymap* keymap, xkb_mod_mask_t depressed,
                                     xkb_mod_mask_t locked = 0) {
    std::shared_ptr<xkb_state> state(xkb_state_new(keymap), StateUnref());
    if (state) {
        xkb_state_update_mask(state.get(), depressed, 0, locked, 0, 0, 0);
    }
    return state;
}

xkb_mod_mask_t ModMask(xkb_keymap* keymap, const char* name) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t{1} << index;
}

}  // namespace

SharedKeymap CompileKeymap(const std::string& text, std::string& error) {
    UniqueContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) {
        error = "xkb_context_new failed";
        return nullptr;
    }
    SharedKeymap keymap = Share(xkb_keymap_new_from_string(
        context.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        error = "xkbcommon cannot compile the keymap";
    }
    return keymap;
}

SharedKeymap KeymapFromNames(const std::string& layout, const std::string& variant,
                             const std::string& model, const std::string& options,
                             std::string* error) {
    UniqueContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) {
        if (error != nullptr) {
            *error = "xkb_context_new failed";
        }
        return nullptr;
    }
    const auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const xkb_rule_names names{nullptr, orNull(model), orNull(layout), orNull(variant),
                               orNull(options)};
    SharedKeymap keymap =
        Share(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap && error != nullptr) {
        *error = "no keymap for the layout \"" + layout + "\" (is xkb-data installed?)";
    }
    return keymap;
}

std::string KeymapText(xkb_keymap* keymap) {
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (text == nullptr) {
        return {};
    }
    std::string out(text);
    std::free(text);
    return out;
}

LayoutKeys::LayoutKeys(SharedKeymap keymap) : keymap_(std::move(keymap)) {
    if (!keymap_) {
        return;
    }
    const xkb_mod_mask_t shift = ModMask(keymap_.get(), XKB_MOD_NAME_SHIFT);
    numLockMask_ = ModMask(keymap_.get(), XKB_MOD_NAME_NUM);
    plain_ = StateWith(keymap_.get(), 0);
    shifted_ = StateWith(keymap_.get(), shift);
    numLocked_ = StateWith(keymap_.get(), 0, numLockMask_);
    numLockShifted_ = StateWith(keymap_.get(), shift, numLockMask_);
    std::vector<KeyKeysyms> keys;
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_.get());
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap_.get()); code <= last; ++code) {
        const xkb_keysym_t unshifted = Unshifted(code);
        if (unshifted != XKB_KEY_NoSymbol) {
            keys.push_back({code, unshifted, Shifted(code)});
        }
    }
    carrying_ = KeysCarryingCodes(keys);
}

xkb_keycode_t LayoutKeys::KeycodeFor(int virtualKey) const {
    if (virtualKey <= 0 || virtualKey >= static_cast<int>(carrying_.size())) {
        return 0;
    }
    return carrying_[static_cast<std::size_t>(virtualKey)];
}

std::uint16_t LayoutKeys::EvdevKeyFor(int virtualKey) const {
    const xkb_keycode_t keycode = KeycodeFor(virtualKey);
    return keycode > 8 ? static_cast<std::uint16_t>(keycode - 8) : 0;
}

std::int16_t LayoutKeys::VirtualKeyOf(xkb_keycode_t keycode, bool numLock) const {
    if (!numLock) {
        return VirtualKeyFromKeysyms(Unshifted(keycode), Shifted(keycode));
    }
    if (!numLocked_ || !numLockShifted_) {
        return 0;
    }
    return VirtualKeyFromKeysyms(xkb_state_key_get_one_sym(numLocked_.get(), keycode),
                                 xkb_state_key_get_one_sym(numLockShifted_.get(), keycode));
}

// xkb_state_key_get_one_sym: 0 for a key that types several keysyms at once.
xkb_keysym_t LayoutKeys::Unshifted(xkb_keycode_t keycode) const {
    return plain_ ? xkb_state_key_get_one_sym(plain_.get(), keycode) : XKB_KEY_NoSymbol;
}

xkb_keysym_t LayoutKeys::Shifted(xkb_keycode_t keycode) const {
    return shifted_ ? xkb_state_key_get_one_sym(shifted_.get(), keycode) : XKB_KEY_NoSymbol;
}

std::string LayoutKeys::Name() const {
    const char* name = keymap_ && xkb_keymap_num_layouts(keymap_.get()) > 0
                           ? xkb_keymap_layout_get_name(keymap_.get(), 0)
                           : nullptr;
    return name != nullptr ? name : std::string();
}

}  // namespace qv::wayland
