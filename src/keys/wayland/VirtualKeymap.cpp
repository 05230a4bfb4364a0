#include "keys/wayland/VirtualKeymap.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "keys/uinput/EvdevKeys.h"

namespace qv::wayland {
namespace {

constexpr xkb_keycode_t kFirstKeycode = 9;   // evdev code 1 (Escape)
constexpr xkb_keycode_t kLastKeycode = 255;  // the highest XWayland can carry

struct StateUnref {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
using UniqueState = std::unique_ptr<xkb_state, StateUnref>;

std::string KeysymName(xkb_keysym_t sym) {
    char name[64];
    return xkb_keysym_get_name(sym, name, sizeof name) > 0 ? std::string(name) : std::string();
}

// Every keysym some virtual-key code types: the keys that carry one are the
// user's and stay as they are.
std::set<xkb_keysym_t> KeysymsOfCodes() {
    std::set<xkb_keysym_t> syms;
    for (int code = 1; code < 256; ++code) {
        if (const Keysym sym = VirtualKeyToKeysym(code); sym != 0) {
            syms.insert(sym);
        }
        for (const Keysym standIn : StandInKeysyms(static_cast<std::int16_t>(code))) {
            syms.insert(standIn);
        }
    }
    return syms;
}

// Whether pressing the key changes the keyboard's state (a modifier, a
// lock, the group): such keys are never taken over.
bool HasAction(xkb_keymap* keymap, xkb_keycode_t keycode) {
    UniqueState state(xkb_state_new(keymap));
    return state && xkb_state_update_key(state.get(), keycode, XKB_KEY_DOWN) != 0;
}

// Whether no virtual-key code can type anything the key types: true for
// keys such as XF86Tools, which then may carry a keysym of ours.
bool Unreachable(xkb_keymap* keymap, xkb_keycode_t keycode,
                 const std::set<xkb_keysym_t>& codeKeysyms) {
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            const int count =
                xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms);
            for (int i = 0; i < count; ++i) {
                if (VirtualKeyFromKeysyms(syms[i], 0) != 0 || codeKeysyms.count(syms[i]) != 0) {
                    return false;
                }
            }
        }
    }
    return !HasAction(keymap, keycode);
}

}  // namespace

std::optional<std::string> WithSymbols(const std::string& keymapText, const std::string& lines) {
    const std::size_t section = keymapText.find("xkb_symbols");
    if (section == std::string::npos) {
        return std::nullopt;
    }
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = section; i < keymapText.size(); ++i) {
        const char c = keymapText[i];
        if (quoted) {
            quoted = c != '"' || keymapText[i - 1] == '\\';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return keymapText.substr(0, i) + lines + keymapText.substr(i);
        }
    }
    return std::nullopt;
}

std::optional<VirtualKeymap> VirtualKeymap::Build(const SharedKeymap& layout, std::string& error) {
    if (!layout) {
        error = "no keyboard layout to start from";
        return std::nullopt;
    }
    xkb_keymap* base = layout.get();
    const LayoutKeys layoutKeys(layout);
    const std::set<xkb_keysym_t> codeKeysyms = KeysymsOfCodes();

    // Keycodes XWayland can carry that the layout leaves unused, and keys
    // whose keysyms no code reaches (highest first: they are the least
    // likely to mean anything to a target).
    std::set<xkb_keycode_t> unused;
    std::set<xkb_keycode_t> unreachable;
    const xkb_keycode_t last = std::min(kLastKeycode, xkb_keymap_max_keycode(base));
    for (xkb_keycode_t code = kFirstKeycode; code <= last; ++code) {
        if (xkb_keymap_key_get_name(base, code) == nullptr) {
            continue;
        }
        if (xkb_keymap_num_layouts_for_key(base, code) == 0) {
            unused.insert(code);
        } else if (Unreachable(base, code, codeKeysyms)) {
            unreachable.insert(code);
        }
    }
    const auto takeHighest = [](std::set<xkb_keycode_t>& from) -> xkb_keycode_t {
        if (from.empty()) {
            return 0;
        }
        const xkb_keycode_t code = *from.rbegin();
        from.erase(std::prev(from.end()));
        return code;
    };

    VirtualKeymap result;
    result.layoutName_ = layoutKeys.Name();
    std::map<int, xkb_keycode_t> keycodes;  // virtual-key code -> xkb keycode
    std::vector<std::pair<int, xkb_keysym_t>> missing;
    for (int code = 1; code < 256; ++code) {
        if (const xkb_keycode_t own = layoutKeys.KeycodeFor(code);
            own != 0 && own <= kLastKeycode) {
            keycodes[code] = own;
            continue;
        }
        const xkb_keysym_t sym = VirtualKeyToKeysym(code);
        if (sym == XKB_KEY_NoSymbol) {
            continue;  // no key: a mouse button, or a code no keyboard has
        }
        // A key of the layout that types the keysym without any modifier
        // (the print key for [PRINT] as well as for [SNAPSHOT]).
        for (xkb_keycode_t c = kFirstKeycode; c <= last; ++c) {
            if (layoutKeys.Unshifted(c) == sym) {
                keycodes[code] = c;
                break;
            }
        }
        if (keycodes.count(code) == 0) {
            missing.emplace_back(code, sym);
        }
    }

    // The keys to add: first those whose place on a PC keyboard is free,
    // then the others on what is left.
    std::map<xkb_keysym_t, xkb_keycode_t> placed;
    for (const auto& [code, sym] : missing) {
        const xkb_keycode_t natural = VirtualKeyToEvdev(code) + 8u;
        if (placed.count(sym) == 0 &&
            (unused.erase(natural) != 0 || unreachable.erase(natural) != 0)) {
            placed[sym] = natural;
        }
    }
    for (const auto& [code, sym] : missing) {
        if (placed.count(sym) == 0) {
            xkb_keycode_t key = takeHighest(unused);
            if (key == 0) {
                key = takeHighest(unreachable);
            }
            if (key == 0) {
                result.unplaced_.insert(code);
                continue;
            }
            placed[sym] = key;
        }
        keycodes[code] = placed[sym];
    }
    std::string lines;
    for (const auto& [sym, key] : placed) {
        lines += "    replace key <" + std::string(xkb_keymap_key_get_name(base, key)) + "> { [ " +
                 KeysymName(sym) + " ] };\n";
    }

    const std::optional<std::string> combined = WithSymbols(KeymapText(base), lines);
    if (!combined) {
        error = "the layout's keymap has no symbols section";
        return std::nullopt;
    }
    const SharedKeymap compiled = CompileKeymap(*combined, error);
    if (!compiled) {
        error = "cannot compile the layout with the added keys: " + error;
        return std::nullopt;
    }
    result.text_ = KeymapText(compiled.get());
    result.keymap_ = CompileKeymap(result.text_, error);
    if (!result.keymap_) {
        return std::nullopt;
    }
    for (const auto& [sym, key] : placed) {
        result.added_.insert(key - 8);
    }
    for (const auto& [code, key] : keycodes) {
        result.keys_[code] = key - 8;
    }
    return result;
}

std::optional<std::uint32_t> VirtualKeymap::KeyFor(int virtualKey) const {
    const auto it = keys_.find(virtualKey);
    if (it == keys_.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace qv::wayland
