#include "keys/xkb/KeysymCodes.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <utility>

namespace qv {
namespace {

// Keys whose unshifted keysym alone names their code. Codes with several
// keys (both Shift keys, Return and Enter) are those Windows gives the key
// messages of either key.
constexpr std::pair<Keysym, std::int16_t> kByKeysym[] = {
    {XKB_KEY_BackSpace, 0x08},
    {XKB_KEY_Tab, 0x09},
    {XKB_KEY_ISO_Left_Tab, 0x09},
    {XKB_KEY_Clear, 0x0C},
    {XKB_KEY_KP_Begin, 0x0C},  // keypad 5 without Num Lock
    {XKB_KEY_Return, 0x0D},
    {XKB_KEY_KP_Enter, 0x0D},
    {XKB_KEY_Shift_L, 0x10},
    {XKB_KEY_Shift_R, 0x10},
    {XKB_KEY_Control_L, 0x11},
    {XKB_KEY_Control_R, 0x11},
    {XKB_KEY_Alt_L, 0x12},
    {XKB_KEY_Alt_R, 0x12},
    {XKB_KEY_Meta_L, 0x12},
    {XKB_KEY_Meta_R, 0x12},
    {XKB_KEY_ISO_Level3_Shift, 0x12},  // AltGr, which Windows reports as Alt (with Ctrl)
    {XKB_KEY_Pause, 0x13},
    {XKB_KEY_Cancel, 0x03},
    {XKB_KEY_Break, 0x03},
    {XKB_KEY_Caps_Lock, 0x14},
    {XKB_KEY_Escape, 0x1B},
    {XKB_KEY_space, 0x20},
    {XKB_KEY_Prior, 0x21},
    {XKB_KEY_KP_Prior, 0x21},
    {XKB_KEY_Next, 0x22},
    {XKB_KEY_KP_Next, 0x22},
    {XKB_KEY_End, 0x23},
    {XKB_KEY_KP_End, 0x23},
    {XKB_KEY_Home, 0x24},
    {XKB_KEY_KP_Home, 0x24},
    {XKB_KEY_Left, 0x25},
    {XKB_KEY_KP_Left, 0x25},
    {XKB_KEY_Up, 0x26},
    {XKB_KEY_KP_Up, 0x26},
    {XKB_KEY_Right, 0x27},
    {XKB_KEY_KP_Right, 0x27},
    {XKB_KEY_Down, 0x28},
    {XKB_KEY_KP_Down, 0x28},
    {XKB_KEY_Select, 0x29},
    {XKB_KEY_Execute, 0x2B},
    {XKB_KEY_Print, 0x2C},  // the Print Screen key is VK_SNAPSHOT
    {XKB_KEY_Insert, 0x2D},
    {XKB_KEY_KP_Insert, 0x2D},
    {XKB_KEY_Delete, 0x2E},
    {XKB_KEY_KP_Delete, 0x2E},
    {XKB_KEY_Help, 0x2F},
    {XKB_KEY_Super_L, 0x5B},
    {XKB_KEY_Super_R, 0x5C},
    {XKB_KEY_Menu, 0x5D},
    {XKB_KEY_XF86Sleep, 0x5F},
    {XKB_KEY_Num_Lock, 0x90},
    {XKB_KEY_Scroll_Lock, 0x91},
    {XKB_KEY_XF86Back, 0xA6},
    {XKB_KEY_XF86Forward, 0xA7},
    {XKB_KEY_XF86Refresh, 0xA8},
    {XKB_KEY_XF86Stop, 0xA9},
    {XKB_KEY_XF86Search, 0xAA},
    {XKB_KEY_XF86Favorites, 0xAB},
    {XKB_KEY_XF86HomePage, 0xAC},
    {XKB_KEY_XF86AudioMute, 0xAD},
    {XKB_KEY_XF86AudioLowerVolume, 0xAE},
    {XKB_KEY_XF86AudioRaiseVolume, 0xAF},
    {XKB_KEY_XF86AudioNext, 0xB0},
    {XKB_KEY_XF86AudioPrev, 0xB1},
    {XKB_KEY_XF86AudioStop, 0xB2},
    {XKB_KEY_XF86AudioPlay, 0xB3},
    {XKB_KEY_XF86Mail, 0xB4},
    {XKB_KEY_XF86AudioMedia, 0xB5},
    {XKB_KEY_XF86MyComputer, 0xB6},  // the keys Windows gives LAUNCH_APP1 and 2 by default
    {XKB_KEY_XF86Calculator, 0xB7},

    // Punctuation of the US layout (101/104 keys; the 102nd key of ISO
    // keyboards carries "<").
    {XKB_KEY_grave, 0xC0},         // VK_OEM_3
    {XKB_KEY_minus, 0xBD},         // VK_OEM_MINUS (also on Japanese layouts)
    {XKB_KEY_equal, 0xBB},         // VK_OEM_PLUS
    {XKB_KEY_bracketleft, 0xDB},   // VK_OEM_4 (also on Japanese layouts)
    {XKB_KEY_bracketright, 0xDD},  // VK_OEM_6 (also on Japanese layouts)
    {XKB_KEY_apostrophe, 0xDE},    // VK_OEM_7
    {XKB_KEY_comma, 0xBC},         // VK_OEM_COMMA
    {XKB_KEY_period, 0xBE},        // VK_OEM_PERIOD
    {XKB_KEY_slash, 0xBF},         // VK_OEM_2
    {XKB_KEY_less, 0xE2},          // VK_OEM_102

    // Punctuation of the Japanese layout (106/109 keys) where it differs.
    {XKB_KEY_at, 0xC0},           // the key right of P: VK_OEM_3
    {XKB_KEY_colon, 0xBA},        // VK_OEM_1
    {XKB_KEY_asciicircum, 0xDE},  // the key left of ¥: VK_OEM_7
    {XKB_KEY_yen, 0xDC},          // ¥ (OADG 109A layouts): VK_OEM_5

    // The input-method keys. Windows' Japanese layout gives the 半角/全角 key
    // VK_DBE_SBCSCHAR (0xF3, also named VK_OEM_AUTO; 0xF4 while full width
    // is on), the 英数 key VK_DBE_ALPHANUMERIC (0xF0, VK_OEM_ATTN) and the
    // カタカナ/ひらがな key VK_DBE_HIRAGANA (0xF2, VK_OEM_COPY); VK_KANJI,
    // VK_CAPITAL and VK_KANA come from these keys only with Alt or Shift.
    // Captured, they are therefore written [243], [240] and [242], and those
    // codes press the same keys again; the names [KANJI], [CAPITAL] and [KANA]
    // press them too where no key has their own code (StandInKeysyms).
    {XKB_KEY_Zenkaku_Hankaku, 0xF3},
    {XKB_KEY_Eisu_toggle, 0xF0},
    {XKB_KEY_Hiragana_Katakana, 0xF2},
    {XKB_KEY_Henkan, 0x1C},    // 変換: VK_CONVERT
    {XKB_KEY_Muhenkan, 0x1D},  // 無変換: VK_NONCONVERT
    {XKB_KEY_Kanji, 0x19},
    // The Korean keys (VK_HANGUL, VK_HANJA) are left out: X keymaps carry them
    // on every layout, and there they would take [KANA] and [KANJI] from the
    // Japanese keys.
};

constexpr Keysym kKanjiStandIns[] = {XKB_KEY_Zenkaku_Hankaku};
constexpr Keysym kKanaStandIns[] = {XKB_KEY_Hiragana_Katakana};
constexpr Keysym kCapitalStandIns[] = {XKB_KEY_Eisu_toggle};

}  // namespace

std::int16_t VirtualKeyFromKeysyms(Keysym unshifted, Keysym shifted) {
    if (unshifted >= XKB_KEY_a && unshifted <= XKB_KEY_z) {
        return static_cast<std::int16_t>('A' + (unshifted - XKB_KEY_a));
    }
    if (unshifted >= XKB_KEY_A && unshifted <= XKB_KEY_Z) {
        return static_cast<std::int16_t>(unshifted);
    }
    if (unshifted >= XKB_KEY_0 && unshifted <= XKB_KEY_9) {
        return static_cast<std::int16_t>(unshifted);
    }
    if (unshifted >= XKB_KEY_F1 && unshifted <= XKB_KEY_F24) {
        return static_cast<std::int16_t>(0x70 + (unshifted - XKB_KEY_F1));
    }
    if (unshifted >= XKB_KEY_KP_0 && unshifted <= XKB_KEY_KP_9) {
        return static_cast<std::int16_t>(0x60 + (unshifted - XKB_KEY_KP_0));
    }
    // Multiply, Add, Separator, Subtract, Decimal and Divide run in the same
    // order in both numberings.
    if (unshifted >= XKB_KEY_KP_Multiply && unshifted <= XKB_KEY_KP_Divide) {
        return static_cast<std::int16_t>(0x6A + (unshifted - XKB_KEY_KP_Multiply));
    }
    // Two keys of the Japanese layout share their unshifted keysym with a
    // key elsewhere; Shift tells them apart. Japanese ";" (Shift: "+") is
    // VK_OEM_PLUS, where US ";" (Shift: ":") is VK_OEM_1; Japanese "\" left
    // of the right Shift (Shift: "_", the ろ key) is VK_OEM_102, where "\"
    // of ¥ (Shift: "|") and of the US layout is VK_OEM_5.
    if (unshifted == XKB_KEY_semicolon) {
        return shifted == XKB_KEY_plus ? 0xBB : 0xBA;
    }
    if (unshifted == XKB_KEY_backslash) {
        return shifted == XKB_KEY_underscore ? 0xE2 : 0xDC;
    }
    for (const auto& [keysym, code] : kByKeysym) {
        if (keysym == unshifted) {
            return code;
        }
    }
    // The digit row of layouts that put punctuation first (French: "&" and
    // "1" on one key) is still the digit keys on Windows.
    if (shifted >= XKB_KEY_0 && shifted <= XKB_KEY_9) {
        return static_cast<std::int16_t>(shifted);
    }
    return 0;
}

std::span<const Keysym> StandInKeysyms(std::int16_t code) {
    switch (code) {
        case 0x19:
            return kKanjiStandIns;
        case 0x15:
            return kKanaStandIns;
        case 0x14:
            return kCapitalStandIns;
        default:
            return {};
    }
}

Keysym VirtualKeyToKeysym(int code) {
    if (code >= '0' && code <= '9') {
        return XKB_KEY_0 + static_cast<Keysym>(code - '0');
    }
    if (code >= 'A' && code <= 'Z') {
        return XKB_KEY_a + static_cast<Keysym>(code - 'A');
    }
    if (code >= 0x60 && code <= 0x69) {
        return XKB_KEY_KP_0 + static_cast<Keysym>(code - 0x60);
    }
    if (code >= 0x70 && code <= 0x87) {
        return XKB_KEY_F1 + static_cast<Keysym>(code - 0x70);
    }
    switch (code) {
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
        case 0xA0:
            return XKB_KEY_Shift_L;
        case 0x11:
        case 0xA2:
            return XKB_KEY_Control_L;
        case 0x12:
        case 0xA4:
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
        case 0x2A:  // one print key serves [PRINT] and [SNAPSHOT]
        case 0x2C:
            return XKB_KEY_Print;
        case 0x2B:
            return XKB_KEY_Execute;
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
        case 0xA1:
            return XKB_KEY_Shift_R;
        case 0xA3:
            return XKB_KEY_Control_R;
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

namespace {

// The keysym of the key that is meant where several keys carry a code: the
// code's own keysym, and for VK_OEM_102 the ろ key of Japanese layouts,
// which X's jp layout has besides the 102nd key of ISO keyboards ("<").
Keysym OwnKeysym(std::int16_t code) {
    return code == 0xE2 ? Keysym{XKB_KEY_backslash} : VirtualKeyToKeysym(code);
}

}  // namespace

KeysByCode KeysCarryingCodes(std::span<const KeyKeysyms> keys) {
    KeysByCode carrying{};
    std::array<Keysym, 256> unshiftedOf{};  // the unshifted keysym of the key chosen so far
    for (const KeyKeysyms& key : keys) {
        const std::int16_t code = VirtualKeyFromKeysyms(key.unshifted, key.shifted);
        if (code <= 0 || code >= 256 || key.keycode == 0) {
            continue;
        }
        const auto i = static_cast<std::size_t>(code);
        const Keysym own = OwnKeysym(code);
        if (carrying[i] == 0 || (key.unshifted == own && unshiftedOf[i] != own)) {
            carrying[i] = key.keycode;
            unshiftedOf[i] = key.unshifted;
        }
    }
    for (std::size_t code = 1; code < carrying.size(); ++code) {
        for (const Keysym standIn : StandInKeysyms(static_cast<std::int16_t>(code))) {
            for (const KeyKeysyms& key : keys) {
                if (carrying[code] == 0 && key.keycode != 0 && key.unshifted == standIn) {
                    carrying[code] = key.keycode;
                }
            }
        }
    }
    return carrying;
}

}  // namespace qv
