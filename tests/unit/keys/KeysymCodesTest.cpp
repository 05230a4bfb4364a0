#include "keys/xkb/KeysymCodes.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

// One physical key: its name in X's keycode list, the keysyms the layout
// puts on its first two levels (as X's symbol files write them), and the
// virtual-key code Windows gives the key with the same scan code on the
// same layout (Windows' US 101/104 and Japanese 106/109 scan-code tables).
// Written out key by key, apart from the table in the code.
struct PhysicalKey {
    const char* key;
    Keysym unshifted;
    Keysym shifted;
    int code;
};

void ExpectCodes(const std::vector<PhysicalKey>& keys) {
    for (const PhysicalKey& k : keys) {
        EXPECT_EQ(VirtualKeyFromKeysyms(k.unshifted, k.shifted), k.code)
            << k.key << " (" << std::hex << k.unshifted << ", " << k.shifted << ")";
    }
}

TEST(VirtualKeyFromKeysyms, UsLayoutMainBlock) {
    ExpectCodes({
        {"TLDE sc29 ` ~", 0x60, 0x7e, 0xC0},  {"AE01 sc02 1 !", 0x31, 0x21, 0x31},
        {"AE02 sc03 2 @", 0x32, 0x40, 0x32},  {"AE06 sc07 6 ^", 0x36, 0x5e, 0x36},
        {"AE09 sc0A 9 (", 0x39, 0x28, 0x39},  {"AE10 sc0B 0 )", 0x30, 0x29, 0x30},
        {"AE11 sc0C - _", 0x2d, 0x5f, 0xBD},  {"AE12 sc0D = +", 0x3d, 0x2b, 0xBB},
        {"AD01 sc10 q Q", 0x71, 0x51, 0x51},  {"AD10 sc19 p P", 0x70, 0x50, 0x50},
        {"AD11 sc1A [ {", 0x5b, 0x7b, 0xDB},  {"AD12 sc1B ] }", 0x5d, 0x7d, 0xDD},
        {"BKSL sc2B \\ |", 0x5c, 0x7c, 0xDC}, {"AC01 sc1E a A", 0x61, 0x41, 0x41},
        {"AC10 sc27 ; :", 0x3b, 0x3a, 0xBA},  {"AC11 sc28 ' \"", 0x27, 0x22, 0xDE},
        {"AB01 sc2C z Z", 0x7a, 0x5a, 0x5A},  {"AB07 sc32 m M", 0x6d, 0x4d, 0x4D},
        {"AB08 sc33 , <", 0x2c, 0x3c, 0xBC},  {"AB09 sc34 . >", 0x2e, 0x3e, 0xBE},
        {"AB10 sc35 / ?", 0x2f, 0x3f, 0xBF},  {"LSGT sc56 < >", 0x3c, 0x3e, 0xE2},
        {"SPCE sc39", 0x20, 0x20, 0x20},
    });
}

TEST(VirtualKeyFromKeysyms, JapaneseLayoutMainBlock) {
    ExpectCodes({
        {"TLDE sc29 半角/全角", 0xff2a, 0xff21, 0xF3},  // VK_DBE_SBCSCHAR
        {"AE02 sc03 2 \"", 0x32, 0x22, 0x32},
        {"AE06 sc07 6 &", 0x36, 0x26, 0x36},
        {"AE07 sc08 7 '", 0x37, 0x27, 0x37},
        {"AE08 sc09 8 (", 0x38, 0x28, 0x38},
        {"AE09 sc0A 9 )", 0x39, 0x29, 0x39},
        {"AE10 sc0B 0 ~", 0x30, 0x7e, 0x30},
        {"AE11 sc0C - =", 0x2d, 0x3d, 0xBD},  // VK_OEM_MINUS
        {"AE12 sc0D ^ ~", 0x5e, 0x7e, 0xDE},  // VK_OEM_7
        {"AE13 sc7D ¥ |", 0x5c, 0x7c, 0xDC},  // VK_OEM_5, written "\" by X's jp layout
        {"AE13 sc7D ¥ | (OADG 109A)", 0xa5, 0x7c, 0xDC},
        {"AD11 sc1A @ `", 0x40, 0x60, 0xC0},      // VK_OEM_3
        {"AD12 sc1B [ {", 0x5b, 0x7b, 0xDB},      // VK_OEM_4
        {"AC10 sc27 ; +", 0x3b, 0x2b, 0xBB},      // VK_OEM_PLUS
        {"AC11 sc28 : *", 0x3a, 0x2a, 0xBA},      // VK_OEM_1
        {"BKSL sc2B ] }", 0x5d, 0x7d, 0xDD},      // VK_OEM_6
        {"AB11 sc73 \\ _ ろ", 0x5c, 0x5f, 0xE2},  // VK_OEM_102
        {"AB10 sc35 / ?", 0x2f, 0x3f, 0xBF},
        {"CAPS sc3A 英数", 0xff30, 0xffe5, 0xF0},               // VK_DBE_ALPHANUMERIC
        {"HKTG sc70 カタカナ/ひらがな", 0xff27, 0xff24, 0xF2},  // VK_DBE_HIRAGANA
        {"HENK sc79 変換", 0xff23, 0xff7e, 0x1C},               // VK_CONVERT
        {"MUHE sc7B 無変換", 0xff22, 0xff22, 0x1D},             // VK_NONCONVERT
    });
}

TEST(VirtualKeyFromKeysyms, SameCodeWithAndWithoutShift) {
    // The code is the key's, not the character's: what Shift puts on the key
    // only tells the two "\" keys and the two ";" keys of the layouts apart.
    EXPECT_EQ(VirtualKeyFromKeysyms(0x32, 0x40), VirtualKeyFromKeysyms(0x32, 0x22));  // 2 @ / 2 "
    EXPECT_EQ(VirtualKeyFromKeysyms(0x3b, 0x3a), 0xBA);                               // US ;
    EXPECT_EQ(VirtualKeyFromKeysyms(0x3b, 0x2b), 0xBB);                               // Japanese ;
    EXPECT_EQ(VirtualKeyFromKeysyms(0x3b, 0), 0xBA);  // a ; key without a second level
    EXPECT_EQ(VirtualKeyFromKeysyms(0x5c, 0), 0xDC);
}

TEST(VirtualKeyFromKeysyms, FunctionNavigationAndModifierKeys) {
    ExpectCodes({
        {"ESC", 0xff1b, 0xff1b, 0x1B},          {"BKSP", 0xff08, 0xff08, 0x08},
        {"TAB", 0xff09, 0xfe20, 0x09},          {"RTRN", 0xff0d, 0xff0d, 0x0D},
        {"CAPS (US)", 0xffe5, 0xffe5, 0x14},    {"LFSH", 0xffe1, 0xffe1, 0x10},
        {"RTSH", 0xffe2, 0xffe2, 0x10},         {"LCTL", 0xffe3, 0xffe3, 0x11},
        {"RCTL", 0xffe4, 0xffe4, 0x11},         {"LALT", 0xffe9, 0xffe7, 0x12},
        {"RALT", 0xffea, 0xffe8, 0x12},         {"RALT AltGr", 0xfe03, 0xfe03, 0x12},
        {"LWIN", 0xffeb, 0xffeb, 0x5B},         {"RWIN", 0xffec, 0xffec, 0x5C},
        {"COMP", 0xff67, 0xff67, 0x5D},         {"FK01", 0xffbe, 0xffbe, 0x70},
        {"FK12", 0xffc9, 0xffc9, 0x7B},         {"FK13", 0xffca, 0xffca, 0x7C},
        {"FK24", 0xffd5, 0xffd5, 0x87},         {"PRSC", 0xff61, 0xff15, 0x2C},
        {"SCLK", 0xff14, 0xff14, 0x91},         {"PAUS", 0xff13, 0xff6b, 0x13},
        {"INS", 0xff63, 0xff63, 0x2D},          {"DELE", 0xffff, 0xffff, 0x2E},
        {"HOME", 0xff50, 0xff50, 0x24},         {"END", 0xff57, 0xff57, 0x23},
        {"PGUP", 0xff55, 0xff55, 0x21},         {"PGDN", 0xff56, 0xff56, 0x22},
        {"LEFT", 0xff51, 0xff51, 0x25},         {"UP", 0xff52, 0xff52, 0x26},
        {"RGHT", 0xff53, 0xff53, 0x27},         {"DOWN", 0xff54, 0xff54, 0x28},
        {"NMLK", 0xff7f, 0xff7f, 0x90},         {"MUTE", 0x1008ff12, 0x1008ff12, 0xAD},
        {"VOL-", 0x1008ff11, 0x1008ff11, 0xAE}, {"VOL+", 0x1008ff13, 0x1008ff13, 0xAF},
        {"PLAY", 0x1008ff14, 0x1008ff14, 0xB3}, {"WWW back", 0x1008ff26, 0x1008ff26, 0xA6},
        {"MAIL", 0x1008ff19, 0x1008ff19, 0xB4}, {"CALC", 0x1008ff1d, 0x1008ff1d, 0xB7},
    });
}

TEST(VirtualKeyFromKeysyms, KeypadAsNumLockHasIt) {
    ExpectCodes({
        // Num Lock on: the digits come first.
        {"KP7", 0xffb7, 0xff95, 0x67},
        {"KP0", 0xffb0, 0xff9e, 0x60},
        {"KP5", 0xffb5, 0xff9d, 0x65},
        {"KPDL", 0xffae, 0xff9f, 0x6E},
        // Num Lock off: the cursor keys come first.
        {"KP7", 0xff95, 0xffb7, 0x24},
        {"KP5", 0xff9d, 0xffb5, 0x0C},  // VK_CLEAR
        {"KP0", 0xff9e, 0xffb0, 0x2D},
        {"KPDL", 0xff9f, 0xffae, 0x2E},
        // The operators and Enter whatever Num Lock does.
        {"KPMU", 0xffaa, 0xffaa, 0x6A},
        {"KPAD", 0xffab, 0xffab, 0x6B},
        {"KPSU", 0xffad, 0xffad, 0x6D},
        {"KPDV", 0xffaf, 0xffaf, 0x6F},
        {"KPEN", 0xff8d, 0xff8d, 0x0D},
    });
}

TEST(VirtualKeyFromKeysyms, OtherLayoutsByTheSameRule) {
    ExpectCodes({
        {"French AE01 & 1", 0x26, 0x31, 0x31},
        {"French AE02 é 2", 0xe9, 0x32, 0x32},
        {"French AD01 a A", 0x61, 0x41, 0x41},
        {"upper-case first level", 0x51, 0x51, 0x51},
    });
}

TEST(VirtualKeyFromKeysyms, KeysWithoutACode) {
    ExpectCodes({
        {"no keysym", 0, 0, 0},
        {"German ö Ö", 0xf6, 0xd6, 0},
        {"Hangul", 0xff31, 0xff31, 0},  // would take [KANA] from the Japanese key
        {"Hangul_Hanja", 0xff34, 0xff34, 0},
        {"Mode_switch", 0xff7e, 0xff7e, 0},
        {"F25", 0xffd6, 0xffd6, 0},
        {"XF86ClearGrab", 0x1008fe21, 0x1008fe21, 0},
    });
}

TEST(StandInKeysyms, TheJapaneseKeysForKanjiKanaAndCapital) {
    EXPECT_EQ(std::vector<Keysym>(StandInKeysyms(0x19).begin(), StandInKeysyms(0x19).end()),
              std::vector<Keysym>{0xff2a});  // [KANJI]: Zenkaku_Hankaku
    EXPECT_EQ(std::vector<Keysym>(StandInKeysyms(0x15).begin(), StandInKeysyms(0x15).end()),
              std::vector<Keysym>{0xff27});  // [KANA]: Hiragana_Katakana
    EXPECT_EQ(std::vector<Keysym>(StandInKeysyms(0x14).begin(), StandInKeysyms(0x14).end()),
              std::vector<Keysym>{0xff30});  // [CAPITAL]: Eisu_toggle
    for (const int code : {0x1C, 0x1D, 0x41, 0xF3, 0, -1, 0x1F}) {
        EXPECT_TRUE(StandInKeysyms(static_cast<std::int16_t>(code)).empty()) << code;
    }
}

TEST(VirtualKeyToKeysym, TheKeysymAKeyOfTheCodeTypesUnshifted) {
    EXPECT_EQ(VirtualKeyToKeysym('A'), 0x61u);  // a: Shift or Caps Lock make the capital
    EXPECT_EQ(VirtualKeyToKeysym('Z'), 0x7au);
    EXPECT_EQ(VirtualKeyToKeysym('0'), 0x30u);
    EXPECT_EQ(VirtualKeyToKeysym(0x60), 0xffb0u);  // KP_0
    EXPECT_EQ(VirtualKeyToKeysym(0x7C), 0xffcau);  // F13
    EXPECT_EQ(VirtualKeyToKeysym(0x19), 0xff21u);  // Kanji
    EXPECT_EQ(VirtualKeyToKeysym(0xA0), 0xffe1u);  // [LSHIFT]: Shift_L
    EXPECT_EQ(VirtualKeyToKeysym(0xA1), 0xffe2u);  // [RSHIFT]: Shift_R
    EXPECT_EQ(VirtualKeyToKeysym(0x2A), 0xff61u);  // [PRINT] and [SNAPSHOT]: Print
    EXPECT_EQ(VirtualKeyToKeysym(0x2C), 0xff61u);
    EXPECT_EQ(VirtualKeyToKeysym(0xB7), 0x1008ff1du);  // XF86Calculator
    // No keysym: the mouse buttons, codes no keyboard has, punctuation (its
    // keysym depends on the layout), and what is no code at all.
    for (const int code : {-1, 0, 0x01, 0x02, 0x04, 0x07, 0xBA, 0xE2, 0xF3, 0xFF, 0x100}) {
        EXPECT_EQ(VirtualKeyToKeysym(code), 0u) << code;
    }
}

// Keys given as (keycode, unshifted, shifted), in keycode order.
KeysByCode Carrying(std::vector<KeyKeysyms> keys) {
    return KeysCarryingCodes(keys);
}

TEST(KeysCarryingCodes, EachCodeGetsTheKeyWhoseCodeItIs) {
    const KeysByCode keys = Carrying({{10, 0x31, 0x21},        // 1 !
                                      {38, 0x61, 0x41},        // a A
                                      {47, 0x3b, 0x3a},        // ; : (US)
                                      {49, 0xff2a, 0xff21}});  // 半角/全角
    EXPECT_EQ(keys['1'], 10u);
    EXPECT_EQ(keys['A'], 38u);
    EXPECT_EQ(keys[0xBA], 47u);
    EXPECT_EQ(keys[0xF3], 49u);
    EXPECT_EQ(keys['B'], 0u);
    EXPECT_EQ(keys[0], 0u);
}

TEST(KeysCarryingCodes, OfSeveralKeysTheOneNamedByTheCodeWinsElseTheFirst) {
    const KeysByCode keys = Carrying({{36, 0xff0d, 0xff0d},     // Return
                                      {50, 0xffe2, 0xffe2},     // Shift_R, before Shift_L
                                      {62, 0xffe1, 0xffe1},     // Shift_L
                                      {104, 0xff8d, 0xff8d},    // KP_Enter
                                      {108, 0xffea, 0xffea},    // Alt_R
                                      {204, 0xffe9, 0xffe9}});  // Alt_L
    EXPECT_EQ(keys[0x10], 62u);                                 // Shift_L names [SHIFT]
    EXPECT_EQ(keys[0x0D], 36u);
    EXPECT_EQ(keys[0x12], 204u);
    // Without a key of its own keysym the first key carrying the code wins.
    const KeysByCode only = Carrying({{104, 0xff8d, 0xff8d}, {105, 0xff0d, 0xff0d}});
    EXPECT_EQ(only[0x0D], 105u);
    const KeysByCode right = Carrying({{50, 0xffe2, 0xffe2}, {51, 0xffe2, 0xffe2}});
    EXPECT_EQ(right[0x10], 50u);
    // VK_OEM_102 on X's jp layout: the ろ key (\ _), not ISO's 102nd key (< >).
    const KeysByCode jp = Carrying({{94, 0x3c, 0x3e}, {97, 0x5c, 0x5f}});
    EXPECT_EQ(jp[0xE2], 97u);
    const KeysByCode iso = Carrying({{94, 0x3c, 0x3e}, {51, 0x5c, 0x7c}});
    EXPECT_EQ(iso[0xE2], 94u);
    EXPECT_EQ(iso[0xDC], 51u);
}

TEST(KeysCarryingCodes, InputMethodKeysStandInOnlyWhereNoKeyHasTheCode) {
    // jp106: no key types Kanji, Caps_Lock or kana unshifted.
    const KeysByCode jp = Carrying({{49, 0xff2a, 0xff21},     // Zenkaku_Hankaku, Kanji
                                    {66, 0xff30, 0xffe5},     // Eisu_toggle, Caps_Lock
                                    {101, 0xff27, 0xff2e}});  // Hiragana_Katakana, Romaji
    EXPECT_EQ(jp[0x19], 49u);
    EXPECT_EQ(jp[0x14], 66u);
    EXPECT_EQ(jp[0x15], 101u);
    EXPECT_EQ(jp[0xF0], 66u);
    // A layout with keys of their own keeps them.
    const KeysByCode own = Carrying({{49, 0xff2a, 0xff21},     // Zenkaku_Hankaku
                                     {66, 0xffe5, 0xffe5},     // Caps_Lock
                                     {200, 0xff21, 0xff21}});  // Kanji
    EXPECT_EQ(own[0x19], 200u);
    EXPECT_EQ(own[0x14], 66u);
    EXPECT_EQ(own[0xF3], 49u);
    EXPECT_EQ(own[0x15], 0u);
}

}  // namespace
}  // namespace qv
