// Which key carries each virtual-key code on a layout that xkbcommon
// compiled, for the US (pc105) and Japanese (jp106) layouts: the keys are
// those of Windows' US 101/104 and Japanese 106/109 scan-code tables, named
// here by X's key names and their evdev numbers.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>
#include <tuple>

#include "keys/wayland/LayoutKeys.h"

namespace qv::wayland {
namespace {

const LayoutKeys& Us() {
    static const LayoutKeys kKeys(KeymapFromNames("us", "", "pc105"));
    return kKeys;
}

const LayoutKeys& Jp() {
    static const LayoutKeys kKeys(KeymapFromNames("jp", "", "jp106"));
    return kKeys;
}

struct Carried {
    int code;
    std::uint16_t key;  // KEY_*, 0 for none
};

void ExpectKeys(const LayoutKeys& layout, std::initializer_list<Carried> cases) {
    for (const Carried& c : cases) {
        EXPECT_EQ(layout.EvdevKeyFor(c.code), c.key) << "code 0x" << std::hex << c.code;
        EXPECT_EQ(layout.KeycodeFor(c.code), c.key == 0 ? 0u : c.key + 8u)
            << "code 0x" << std::hex << c.code;
    }
}

TEST(LayoutKeys, UsLayoutPunctuationIsWhereAUsKeyboardHasIt) {
    ASSERT_TRUE(Us().Keymap());
    EXPECT_EQ(Us().Name(), "English (US)");
    ExpectKeys(Us(), {{'A', KEY_A},
                      {'2', KEY_2},
                      {0xBA, KEY_SEMICOLON},   // ; :
                      {0xBB, KEY_EQUAL},       // = +
                      {0xBD, KEY_MINUS},       // - _
                      {0xC0, KEY_GRAVE},       // ` ~
                      {0xDB, KEY_LEFTBRACE},   // [ {
                      {0xDC, KEY_BACKSLASH},   // \ |
                      {0xDD, KEY_RIGHTBRACE},  // ] }
                      {0xDE, KEY_APOSTROPHE},  // ' "
                      {0xE2, KEY_102ND},       // < > of ISO keyboards
                      {0x14, KEY_CAPSLOCK},
                      {0x15, KEY_KATAKANAHIRAGANA},
                      {0x1C, KEY_HENKAN},
                      {0x1D, KEY_MUHENKAN}});
}

TEST(LayoutKeys, JapaneseLayoutPunctuationAndInputMethodKeys) {
    ASSERT_TRUE(Jp().Keymap());
    EXPECT_EQ(Jp().Name(), "Japanese");
    ExpectKeys(Jp(), {{'2', KEY_2},
                      {0xBA, KEY_APOSTROPHE},  // : *
                      {0xBB, KEY_SEMICOLON},   // ; +
                      {0xBD, KEY_MINUS},       // - =
                      {0xC0, KEY_LEFTBRACE},   // @ `
                      {0xDB, KEY_RIGHTBRACE},  // [ {
                      {0xDC, KEY_YEN},         // ¥ |
                      {0xDD, KEY_BACKSLASH},   // ] }
                      {0xDE, KEY_EQUAL},       // ^ ~
                      {0xF3, KEY_GRAVE},       // 半角/全角
                      {0xF0, KEY_CAPSLOCK},    // 英数
                      {0xF2, KEY_KATAKANAHIRAGANA}});
    // \ _ (ろ) is VK_OEM_102; X's jp layout keeps "<" of ISO keyboards on
    // the 102nd key, which comes first but is not the key meant.
    EXPECT_EQ(Jp().EvdevKeyFor(0xE2), KEY_RO);
    EXPECT_EQ(Jp().Unshifted(KEY_RO + 8), static_cast<xkb_keysym_t>(XKB_KEY_backslash));
    EXPECT_EQ(Jp().Shifted(KEY_RO + 8), static_cast<xkb_keysym_t>(XKB_KEY_underscore));
    EXPECT_EQ(Jp().VirtualKeyOf(KEY_102ND + 8), 0xE2);
}

TEST(LayoutKeys, KanjiKanaAndCapitalPressTheJapaneseKeysWhereNoKeyHasThem) {
    // No key of jp106 types Kanji, Caps_Lock or kana without Shift: the
    // input-method keys stand in.
    ExpectKeys(Jp(), {{0x19, KEY_GRAVE}, {0x14, KEY_CAPSLOCK}, {0x15, KEY_KATAKANAHIRAGANA}});
    // On the US layout Kanji has no key at all and Caps Lock is its own key.
    ExpectKeys(Us(), {{0x19, 0}, {0xF3, 0}, {0xF0, 0}});
}

TEST(LayoutKeys, OfKeysSharingACodeTheOneNamedByItWins) {
    ExpectKeys(Us(), {{0x10, KEY_LEFTSHIFT},
                      {0xA0, 0},  // [LSHIFT] is no key's code: Windows gives both 0x10
                      {0x11, KEY_LEFTCTRL},
                      {0x12, KEY_LEFTALT},
                      {0x0D, KEY_ENTER},  // not the keypad's Enter
                      {0x2D, KEY_INSERT},
                      {0x24, KEY_HOME}});
}

TEST(LayoutKeys, EveryKeyWithACodeIsFoundAgainByThatCode) {
    for (const LayoutKeys* layout : {&Us(), &Jp()}) {
        const xkb_keycode_t last = xkb_keymap_max_keycode(layout->Keymap());
        for (xkb_keycode_t key = xkb_keymap_min_keycode(layout->Keymap()); key <= last; ++key) {
            const std::int16_t code = layout->VirtualKeyOf(key);
            if (code == 0) {
                continue;
            }
            // The key found for the code carries the same code (another key
            // may carry it too, as both Shift keys do).
            const xkb_keycode_t found = layout->KeycodeFor(code);
            ASSERT_NE(found, 0u) << layout->Name() << " key " << key;
            EXPECT_EQ(layout->VirtualKeyOf(found), code) << layout->Name() << " key " << key;
        }
    }
}

// Capture reads the keypad as Windows does: its digits and decimal point
// with Num Lock on, the cursor and editing keys they share with it off. The
// keys without a second meaning read the same either way.
TEST(LayoutKeys, TheKeypadReadsAsNumLockHasIt) {
    for (const LayoutKeys* layout : {&Us(), &Jp()}) {
        EXPECT_EQ(layout->NumLockMask(), 1u << 4) << layout->Name();  // Mod2
        const std::initializer_list<std::tuple<int, int, int>> keypad = {
            {KEY_KP0, 0x60, 0x2D},    {KEY_KP1, 0x61, 0x23},     {KEY_KP5, 0x65, 0x0C},
            {KEY_KP8, 0x68, 0x26},    {KEY_KP9, 0x69, 0x21},     {KEY_KPDOT, 0x6E, 0x2E},
            {KEY_KPPLUS, 0x6B, 0x6B}, {KEY_KPSLASH, 0x6F, 0x6F}, {KEY_KPENTER, 0x0D, 0x0D}};
        for (const auto& [key, on, off] : keypad) {
            EXPECT_EQ(layout->VirtualKeyOf(key + 8, true), on) << layout->Name() << " key " << key;
            EXPECT_EQ(layout->VirtualKeyOf(key + 8, false), off)
                << layout->Name() << " key " << key;
        }
        EXPECT_EQ(layout->VirtualKeyOf(KEY_A + 8, true), 'A');
        EXPECT_EQ(layout->VirtualKeyOf(KEY_2 + 8, true), '2');
    }
    EXPECT_EQ(Jp().VirtualKeyOf(KEY_APOSTROPHE + 8, true), 0xBA);
    const LayoutKeys none(nullptr);
    EXPECT_EQ(none.VirtualKeyOf(KEY_KP1 + 8, true), 0);
}

TEST(LayoutKeys, TheFirstLayoutOfSeveralIsRead) {
    const LayoutKeys both(KeymapFromNames("jp,us", "", "jp106", "grp:alt_shift_toggle"));
    ASSERT_TRUE(both.Keymap());
    EXPECT_EQ(both.Name(), "Japanese");
    EXPECT_EQ(both.EvdevKeyFor(0xC0), KEY_LEFTBRACE);
}

TEST(LayoutKeys, CodesThatAreNoKeyAndKeymapsThatDoNotCompile) {
    for (const int code : {-1, 0, 0x01, 0x07, 0xFF, 256, 0x7FFF}) {
        EXPECT_EQ(Us().KeycodeFor(code), 0u) << code;
        EXPECT_EQ(Us().EvdevKeyFor(code), 0) << code;
    }
    std::string error;
    EXPECT_FALSE(CompileKeymap("xkb_keymap { not a keymap", error));
    EXPECT_FALSE(error.empty());
    const LayoutKeys none(nullptr);
    EXPECT_EQ(none.KeycodeFor('A'), 0u);
    EXPECT_EQ(none.Name(), "");
    EXPECT_FALSE(KeymapFromNames("no-such-layout-here"));
}

TEST(LayoutKeys, AKeymapTextCompilesToTheSameLayout) {
    std::string error;
    const SharedKeymap again = CompileKeymap(KeymapText(Jp().Keymap()), error);
    ASSERT_TRUE(again) << error;
    const LayoutKeys keys(again);
    for (int code = 1; code < 256; ++code) {
        EXPECT_EQ(keys.KeycodeFor(code), Jp().KeycodeFor(code)) << code;
    }
}

}  // namespace
}  // namespace qv::wayland
