#include "keys/wayland/VirtualKeymap.h"

#include <cstdlib>
#include <set>
#include <vector>

#include "keys/uinput/EvdevKeys.h"

namespace qv::wayland {
namespace {

// The US layout as a full keymap; the keys it lacks are appended to the
// symbols section. Compiled here with the includes resolved, then uploaded as
// the self-contained text xkbcommon writes back.
constexpr const char* kKeymapHead =
    "xkb_keymap {\n"
    "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
    "  xkb_types { include \"complete\" };\n"
    "  xkb_compat { include \"complete\" };\n"
    "  xkb_symbols { include \"pc+us+inet(evdev)\"\n";
constexpr const char* kKeymapTail =
    "  };\n"
    "};\n";

constexpr xkb_keycode_t kFirstKeycode = 9;   // evdev code 1 (Escape)
constexpr xkb_keycode_t kLastKeycode = 255;  // the highest XWayland can carry

struct ContextUnref {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};

std::shared_ptr<xkb_keymap> Compile(xkb_context* context, const std::string& text) {
    return std::shared_ptr<xkb_keymap>(
        xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                   XKB_KEYMAP_COMPILE_NO_FLAGS),
        [](xkb_keymap* k) {
            if (k != nullptr) {
                xkb_keymap_unref(k);
            }
        });
}

// The keysym that the key types without any modifier (first group, first level).
xkb_keysym_t BaseKeysym(xkb_keymap* keymap, xkb_keycode_t keycode) {
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, 0, 0, &syms);
    return count == 1 ? syms[0] : XKB_KEY_NoSymbol;
}

std::string KeysymName(xkb_keysym_t sym) {
    char name[64];
    return xkb_keysym_get_name(sym, name, sizeof name) > 0 ? std::string(name) : std::string();
}

}  // namespace

xkb_keysym_t VirtualKeyToKeysym(int virtualKey) {
    if (virtualKey >= '0' && virtualKey <= '9') {
        return XKB_KEY_0 + static_cast<xkb_keysym_t>(virtualKey - '0');
    }
    // A letter key's own keysym is the small letter; Shift or Caps Lock make
    // the capital one at the target, as on a real keyboard.
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        return XKB_KEY_a + static_cast<xkb_keysym_t>(virtualKey - 'A');
    }
    if (virtualKey >= 0x60 && virtualKey <= 0x69) {
        return XKB_KEY_KP_0 + static_cast<xkb_keysym_t>(virtualKey - 0x60);
    }
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {
        return XKB_KEY_F1 + static_cast<xkb_keysym_t>(virtualKey - 0x70);
    }
    switch (virtualKey) {
        case 0x03:
            return XKB_KEY_Cancel;
        case 0x08:
            return XKB_KEY_BackSpace;
        case 0x09:
            return XKB_KEY_Tab;
        case 0x0C:
            return XKB_KEY_Clear;
        case 0x0D:
            return XKB_KEY_Return;
        case 0x10:
            return XKB_KEY_Shift_L;
        case 0x11:
            return XKB_KEY_Control_L;
        case 0x12:
            return XKB_KEY_Alt_L;
        case 0x13:
            return XKB_KEY_Pause;
        case 0x14:
            return XKB_KEY_Caps_Lock;
        case 0x15:
            return XKB_KEY_Hiragana_Katakana;
        case 0x19:
            return XKB_KEY_Kanji;
        case 0x1B:
            return XKB_KEY_Escape;
        case 0x1C:
            return XKB_KEY_Henkan;
        case 0x1D:
            return XKB_KEY_Muhenkan;
        case 0x1F:
            return XKB_KEY_Mode_switch;
        case 0x20:
            return XKB_KEY_space;
        case 0x21:
            return XKB_KEY_Prior;
        case 0x22:
            return XKB_KEY_Next;
        case 0x23:
            return XKB_KEY_End;
        case 0x24:
            return XKB_KEY_Home;
        case 0x25:
            return XKB_KEY_Left;
        case 0x26:
            return XKB_KEY_Up;
        case 0x27:
            return XKB_KEY_Right;
        case 0x28:
            return XKB_KEY_Down;
        case 0x29:
            return XKB_KEY_Select;
        case 0x2A:
            return XKB_KEY_Print;  // one print key serves [PRINT] and [SNAPSHOT]
        case 0x2B:
            return XKB_KEY_Execute;
        case 0x2C:
            return XKB_KEY_Print;
        case 0x2D:
            return XKB_KEY_Insert;
        case 0x2E:
            return XKB_KEY_Delete;
        case 0x2F:
            return XKB_KEY_Help;
        case 0x5B:
            return XKB_KEY_Super_L;
        case 0x5C:
            return XKB_KEY_Super_R;
        case 0x5D:
            return XKB_KEY_Menu;
        case 0x5F:
            return XKB_KEY_XF86Sleep;
        case 0x6A:
            return XKB_KEY_KP_Multiply;
        case 0x6B:
            return XKB_KEY_KP_Add;
        case 0x6C:
            return XKB_KEY_KP_Separator;
        case 0x6D:
            return XKB_KEY_KP_Subtract;
        case 0x6E:
            return XKB_KEY_KP_Decimal;
        case 0x6F:
            return XKB_KEY_KP_Divide;
        case 0x90:
            return XKB_KEY_Num_Lock;
        case 0x91:
            return XKB_KEY_Scroll_Lock;
        case 0xA0:
            return XKB_KEY_Shift_L;
        case 0xA1:
            return XKB_KEY_Shift_R;
        case 0xA2:
            return XKB_KEY_Control_L;
        case 0xA3:
            return XKB_KEY_Control_R;
        case 0xA4:
            return XKB_KEY_Alt_L;
        case 0xA5:
            return XKB_KEY_Alt_R;
        case 0xA6:
            return XKB_KEY_XF86Back;
        case 0xA7:
            return XKB_KEY_XF86Forward;
        case 0xA8:
            return XKB_KEY_XF86Refresh;
        case 0xA9:
            return XKB_KEY_XF86Stop;
        case 0xAA:
            return XKB_KEY_XF86Search;
        case 0xAB:
            return XKB_KEY_XF86Favorites;
        case 0xAC:
            return XKB_KEY_XF86HomePage;
        case 0xAD:
            return XKB_KEY_XF86AudioMute;
        case 0xAE:
            return XKB_KEY_XF86AudioLowerVolume;
        case 0xAF:
            return XKB_KEY_XF86AudioRaiseVolume;
        case 0xB0:
            return XKB_KEY_XF86AudioNext;
        case 0xB1:
            return XKB_KEY_XF86AudioPrev;
        case 0xB2:
            return XKB_KEY_XF86AudioStop;
        case 0xB3:
            return XKB_KEY_XF86AudioPlay;
        case 0xB4:
            return XKB_KEY_XF86Mail;
        case 0xB5:
            return XKB_KEY_XF86AudioMedia;
        // The keys that produce these two codes on Windows by default.
        case 0xB6:
            return XKB_KEY_XF86MyComputer;
        case 0xB7:
            return XKB_KEY_XF86Calculator;
        default:
            return XKB_KEY_NoSymbol;
    }
}

std::optional<VirtualKeymap> VirtualKeymap::Build(std::span<const std::int16_t> virtualKeys,
                                                  std::string& error) {
    std::unique_ptr<xkb_context, ContextUnref> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) {
        error = "xkb_context_new failed";
        return std::nullopt;
    }
    const std::string baseText = std::string(kKeymapHead) + kKeymapTail;
    const std::shared_ptr<xkb_keymap> base = Compile(context.get(), baseText);
    if (!base) {
        error = "cannot compile the US keymap (is xkb-data installed?)";
        return std::nullopt;
    }

    // Keysyms the US layout types unshifted, and the keycodes it leaves unused
    // (highest first: they are the least likely to mean anything to a target).
    std::map<xkb_keysym_t, xkb_keycode_t> present;
    std::vector<xkb_keycode_t> unused;
    for (xkb_keycode_t code = kLastKeycode; code >= kFirstKeycode; --code) {
        if (xkb_keymap_key_get_name(base.get(), code) == nullptr) {
            continue;
        }
        if (xkb_keymap_num_layouts_for_key(base.get(), code) == 0) {
            unused.push_back(code);
            continue;
        }
        const xkb_keysym_t sym = BaseKeysym(base.get(), code);
        if (sym != XKB_KEY_NoSymbol) {
            present[sym] = code;  // visited downwards: the lowest keycode stays
        }
    }

    VirtualKeymap result;
    std::string extra;
    std::map<xkb_keycode_t, xkb_keysym_t> taken;  // keycodes given a keysym so far
    const auto replaceKey = [&](xkb_keycode_t code, xkb_keysym_t sym) {
        extra += "    replace key <" + std::string(xkb_keymap_key_get_name(base.get(), code)) +
                 "> { [ " + KeysymName(sym) + " ] };\n";
        taken[code] = sym;
        ++result.added_;
    };
    std::set<int> seen;
    for (const std::int16_t virtualKey : virtualKeys) {
        const xkb_keysym_t sym = VirtualKeyToKeysym(virtualKey);
        if (sym == XKB_KEY_NoSymbol || !seen.insert(virtualKey).second) {
            continue;
        }
        xkb_keycode_t code = 0;
        // The key a PC keyboard has for it, carrying our keysym (its own, or
        // ours in its place when the US layout gives it another meaning).
        const xkb_keycode_t natural = VirtualKeyToEvdev(virtualKey) + 8u;
        if (natural >= kFirstKeycode && natural <= kLastKeycode &&
            xkb_keymap_key_get_name(base.get(), natural) != nullptr) {
            const auto it = taken.find(natural);
            if (it != taken.end()) {
                code = it->second == sym ? natural : 0;
            } else if (BaseKeysym(base.get(), natural) == sym) {
                taken[natural] = sym;
                code = natural;
            } else {
                replaceKey(natural, sym);
                code = natural;
            }
        }
        // Otherwise a key that already types the keysym, or an unused keycode.
        if (code == 0) {
            for (const auto& [c, s] : taken) {
                if (s == sym) {
                    code = c;
                    break;
                }
            }
        }
        if (code == 0) {
            const auto it = present.find(sym);
            if (it != present.end() && taken.count(it->second) == 0) {
                taken[it->second] = sym;
                code = it->second;
            }
        }
        if (code == 0) {
            while (!unused.empty() && taken.count(unused.front()) != 0) {
                unused.erase(unused.begin());
            }
            if (unused.empty()) {
                error = "no unused keycode left for " + KeysymName(sym);
                return std::nullopt;
            }
            code = unused.front();
            unused.erase(unused.begin());
            replaceKey(code, sym);
        }
        result.keys_[virtualKey] = code - 8;
    }

    const std::string text = std::string(kKeymapHead) + extra + kKeymapTail;
    result.keymap_ = Compile(context.get(), text);
    if (!result.keymap_) {
        error = "cannot compile the keymap with the added keys";
        return std::nullopt;
    }
    char* serialized = xkb_keymap_get_as_string(result.keymap_.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (serialized == nullptr) {
        error = "xkb_keymap_get_as_string failed";
        return std::nullopt;
    }
    result.text_ = serialized;
    std::free(serialized);
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
