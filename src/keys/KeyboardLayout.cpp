#include "keys/KeyboardLayout.h"

#include <utility>

namespace qv {
namespace {

// The keysyms this table reads, by their X names (XK_ less its prefix), which
// the naming scheme leaves as X spells them.
// NOLINTBEGIN(readability-identifier-naming)
namespace ks {
constexpr Keysym space = 0x0020, apostrophe = 0x0027, plus = 0x002b;
constexpr Keysym comma = 0x002c, minus = 0x002d, period = 0x002e, slash = 0x002f;
constexpr Keysym digit0 = 0x0030, digit9 = 0x0039, colon = 0x003a, semicolon = 0x003b;
constexpr Keysym less = 0x003c, equal = 0x003d, at = 0x0040, upperA = 0x0041, upperZ = 0x005a;
constexpr Keysym bracketleft = 0x005b, backslash = 0x005c, bracketright = 0x005d;
constexpr Keysym asciicircum = 0x005e, underscore = 0x005f, grave = 0x0060;
constexpr Keysym lowerA = 0x0061, lowerZ = 0x007a, yen = 0x00a5;
constexpr Keysym ISO_Level3_Shift = 0xfe03, ISO_Left_Tab = 0xfe20;
constexpr Keysym BackSpace = 0xff08, Tab = 0xff09, Clear = 0xff0b, Return = 0xff0d;
constexpr Keysym Pause = 0xff13, Scroll_Lock = 0xff14, Escape = 0xff1b;
constexpr Keysym Kanji = 0xff21, Muhenkan = 0xff22, Henkan = 0xff23;
constexpr Keysym Hiragana_Katakana = 0xff27, Zenkaku_Hankaku = 0xff2a, Eisu_toggle = 0xff30;
constexpr Keysym Home = 0xff50, Left = 0xff51, Up = 0xff52, Right = 0xff53, Down = 0xff54;
constexpr Keysym Prior = 0xff55, Next = 0xff56, End = 0xff57;
constexpr Keysym Select = 0xff60, Print = 0xff61, Execute = 0xff62, Insert = 0xff63;
constexpr Keysym Menu = 0xff67, Cancel = 0xff69, Help = 0xff6a, Break = 0xff6b;
constexpr Keysym Num_Lock = 0xff7f, KP_Enter = 0xff8d;
constexpr Keysym KP_Home = 0xff95, KP_Left = 0xff96, KP_Up = 0xff97, KP_Right = 0xff98;
constexpr Keysym KP_Down = 0xff99, KP_Prior = 0xff9a, KP_Next = 0xff9b, KP_End = 0xff9c;
constexpr Keysym KP_Begin = 0xff9d, KP_Insert = 0xff9e, KP_Delete = 0xff9f;
constexpr Keysym KP_Multiply = 0xffaa, KP_Divide = 0xffaf, KP_0 = 0xffb0, KP_9 = 0xffb9;
constexpr Keysym F1 = 0xffbe, F24 = 0xffd5;
constexpr Keysym Shift_L = 0xffe1, Shift_R = 0xffe2, Control_L = 0xffe3, Control_R = 0xffe4;
constexpr Keysym Caps_Lock = 0xffe5, Meta_L = 0xffe7, Meta_R = 0xffe8;
constexpr Keysym Alt_L = 0xffe9, Alt_R = 0xffea, Super_L = 0xffeb, Super_R = 0xffec;
constexpr Keysym Delete = 0xffff;
constexpr Keysym XF86AudioLowerVolume = 0x1008ff11, XF86AudioMute = 0x1008ff12;
constexpr Keysym XF86AudioRaiseVolume = 0x1008ff13, XF86AudioPlay = 0x1008ff14;
constexpr Keysym XF86AudioStop = 0x1008ff15, XF86AudioPrev = 0x1008ff16;
constexpr Keysym XF86AudioNext = 0x1008ff17, XF86HomePage = 0x1008ff18, XF86Mail = 0x1008ff19;
constexpr Keysym XF86Search = 0x1008ff1b, XF86Calculator = 0x1008ff1d, XF86Back = 0x1008ff26;
constexpr Keysym XF86Forward = 0x1008ff27, XF86Stop = 0x1008ff28, XF86Refresh = 0x1008ff29;
constexpr Keysym XF86Sleep = 0x1008ff2f, XF86Favorites = 0x1008ff30;
constexpr Keysym XF86AudioMedia = 0x1008ff32, XF86MyComputer = 0x1008ff33;
}  // namespace ks
// NOLINTEND(readability-identifier-naming)

// Keys whose unshifted keysym alone names their code. Codes with several
// keys (both Shift keys, Return and Enter) are those Windows gives the key
// messages of either key.
constexpr std::pair<Keysym, std::int16_t> kByKeysym[] = {
    {ks::BackSpace, 0x08},
    {ks::Tab, 0x09},
    {ks::ISO_Left_Tab, 0x09},
    {ks::Clear, 0x0C},
    {ks::KP_Begin, 0x0C},  // keypad 5 without Num Lock
    {ks::Return, 0x0D},
    {ks::KP_Enter, 0x0D},
    {ks::Shift_L, 0x10},
    {ks::Shift_R, 0x10},
    {ks::Control_L, 0x11},
    {ks::Control_R, 0x11},
    {ks::Alt_L, 0x12},
    {ks::Alt_R, 0x12},
    {ks::Meta_L, 0x12},
    {ks::Meta_R, 0x12},
    {ks::ISO_Level3_Shift, 0x12},  // AltGr, which Windows reports as Alt (with Ctrl)
    {ks::Pause, 0x13},
    {ks::Cancel, 0x03},
    {ks::Break, 0x03},
    {ks::Caps_Lock, 0x14},
    {ks::Escape, 0x1B},
    {ks::space, 0x20},
    {ks::Prior, 0x21},
    {ks::KP_Prior, 0x21},
    {ks::Next, 0x22},
    {ks::KP_Next, 0x22},
    {ks::End, 0x23},
    {ks::KP_End, 0x23},
    {ks::Home, 0x24},
    {ks::KP_Home, 0x24},
    {ks::Left, 0x25},
    {ks::KP_Left, 0x25},
    {ks::Up, 0x26},
    {ks::KP_Up, 0x26},
    {ks::Right, 0x27},
    {ks::KP_Right, 0x27},
    {ks::Down, 0x28},
    {ks::KP_Down, 0x28},
    {ks::Select, 0x29},
    {ks::Execute, 0x2B},
    {ks::Print, 0x2C},  // the Print Screen key is VK_SNAPSHOT
    {ks::Insert, 0x2D},
    {ks::KP_Insert, 0x2D},
    {ks::Delete, 0x2E},
    {ks::KP_Delete, 0x2E},
    {ks::Help, 0x2F},
    {ks::Super_L, 0x5B},
    {ks::Super_R, 0x5C},
    {ks::Menu, 0x5D},
    {ks::XF86Sleep, 0x5F},
    {ks::Num_Lock, 0x90},
    {ks::Scroll_Lock, 0x91},
    {ks::XF86Back, 0xA6},
    {ks::XF86Forward, 0xA7},
    {ks::XF86Refresh, 0xA8},
    {ks::XF86Stop, 0xA9},
    {ks::XF86Search, 0xAA},
    {ks::XF86Favorites, 0xAB},
    {ks::XF86HomePage, 0xAC},
    {ks::XF86AudioMute, 0xAD},
    {ks::XF86AudioLowerVolume, 0xAE},
    {ks::XF86AudioRaiseVolume, 0xAF},
    {ks::XF86AudioNext, 0xB0},
    {ks::XF86AudioPrev, 0xB1},
    {ks::XF86AudioStop, 0xB2},
    {ks::XF86AudioPlay, 0xB3},
    {ks::XF86Mail, 0xB4},
    {ks::XF86AudioMedia, 0xB5},
    {ks::XF86MyComputer, 0xB6},  // the keys Windows gives LAUNCH_APP1 and 2 by default
    {ks::XF86Calculator, 0xB7},

    // Punctuation of the US layout (101/104 keys; the 102nd key of ISO
    // keyboards carries "<").
    {ks::grave, 0xC0},         // VK_OEM_3
    {ks::minus, 0xBD},         // VK_OEM_MINUS (also on Japanese layouts)
    {ks::equal, 0xBB},         // VK_OEM_PLUS
    {ks::bracketleft, 0xDB},   // VK_OEM_4 (also on Japanese layouts)
    {ks::bracketright, 0xDD},  // VK_OEM_6 (also on Japanese layouts)
    {ks::apostrophe, 0xDE},    // VK_OEM_7
    {ks::comma, 0xBC},         // VK_OEM_COMMA
    {ks::period, 0xBE},        // VK_OEM_PERIOD
    {ks::slash, 0xBF},         // VK_OEM_2
    {ks::less, 0xE2},          // VK_OEM_102

    // Punctuation of the Japanese layout (106/109 keys) where it differs.
    {ks::at, 0xC0},           // the key right of P: VK_OEM_3
    {ks::colon, 0xBA},        // VK_OEM_1
    {ks::asciicircum, 0xDE},  // the key left of ¥: VK_OEM_7
    {ks::yen, 0xDC},          // ¥ (OADG 109A layouts): VK_OEM_5

    // The input-method keys. Windows' Japanese layout gives the 半角/全角 key
    // VK_DBE_SBCSCHAR (0xF3, also named VK_OEM_AUTO; 0xF4 while full width
    // is on), the 英数 key VK_DBE_ALPHANUMERIC (0xF0, VK_OEM_ATTN) and the
    // カタカナ/ひらがな key VK_DBE_HIRAGANA (0xF2, VK_OEM_COPY); VK_KANJI,
    // VK_CAPITAL and VK_KANA come from these keys only with Alt or Shift.
    // Captured, they are therefore written [243], [240] and [242] and, like
    // every code without a name, never sent; the names [KANJI], [CAPITAL] and
    // [KANA] still press these keys on replay (StandInKeysyms).
    {ks::Zenkaku_Hankaku, 0xF3},
    {ks::Eisu_toggle, 0xF0},
    {ks::Hiragana_Katakana, 0xF2},
    {ks::Henkan, 0x1C},    // 変換: VK_CONVERT
    {ks::Muhenkan, 0x1D},  // 無変換: VK_NONCONVERT
    {ks::Kanji, 0x19},
    // The Korean keys (VK_HANGUL, VK_HANJA) are left out: X keymaps carry them
    // on every layout, and there they would take [KANA] and [KANJI] from the
    // Japanese keys.
};

constexpr Keysym kKanjiStandIns[] = {ks::Zenkaku_Hankaku};
constexpr Keysym kKanaStandIns[] = {ks::Hiragana_Katakana};
constexpr Keysym kCapitalStandIns[] = {ks::Eisu_toggle};

}  // namespace

std::int16_t VirtualKeyFromKeysyms(Keysym unshifted, Keysym shifted) {
    if (unshifted >= ks::lowerA && unshifted <= ks::lowerZ) {
        return static_cast<std::int16_t>('A' + (unshifted - ks::lowerA));
    }
    if (unshifted >= ks::upperA && unshifted <= ks::upperZ) {
        return static_cast<std::int16_t>(unshifted);
    }
    if (unshifted >= ks::digit0 && unshifted <= ks::digit9) {
        return static_cast<std::int16_t>(unshifted);
    }
    if (unshifted >= ks::F1 && unshifted <= ks::F24) {
        return static_cast<std::int16_t>(0x70 + (unshifted - ks::F1));
    }
    if (unshifted >= ks::KP_0 && unshifted <= ks::KP_9) {
        return static_cast<std::int16_t>(0x60 + (unshifted - ks::KP_0));
    }
    // Multiply, Add, Separator, Subtract, Decimal and Divide run in the same
    // order in both numberings.
    if (unshifted >= ks::KP_Multiply && unshifted <= ks::KP_Divide) {
        return static_cast<std::int16_t>(0x6A + (unshifted - ks::KP_Multiply));
    }
    // Two keys of the Japanese layout share their unshifted keysym with a
    // key elsewhere; Shift tells them apart. Japanese ";" (Shift: "+") is
    // VK_OEM_PLUS, where US ";" (Shift: ":") is VK_OEM_1; Japanese "\" left
    // of the right Shift (Shift: "_", the ろ key) is VK_OEM_102, where "\"
    // of ¥ (Shift: "|") and of the US layout is VK_OEM_5.
    if (unshifted == ks::semicolon) {
        return shifted == ks::plus ? 0xBB : 0xBA;
    }
    if (unshifted == ks::backslash) {
        return shifted == ks::underscore ? 0xE2 : 0xDC;
    }
    for (const auto& [keysym, code] : kByKeysym) {
        if (keysym == unshifted) {
            return code;
        }
    }
    // The digit row of layouts that put punctuation first (French: "&" and
    // "1" on one key) is still the digit keys on Windows.
    if (shifted >= ks::digit0 && shifted <= ks::digit9) {
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

}  // namespace qv
