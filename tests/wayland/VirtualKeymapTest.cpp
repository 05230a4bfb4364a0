// The virtual keyboard's keymap: every key of the vocabulary types its own
// keysym on a keycode XWayland can carry, US keys stay where they are, and
// the text uploaded to the compositor stands on its own.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "keys/KeyNames.h"
#include "keys/uinput/EvdevKeys.h"
#include "keys/wayland/VirtualKeymap.h"

namespace qv::wayland {
namespace {

std::vector<std::int16_t> Vocabulary() {
    std::vector<std::int16_t> codes;
    for (const KeyName& name : KeyVocabulary()) {
        codes.push_back(name.code);
    }
    return codes;
}

const VirtualKeymap& Keymap() {
    static const VirtualKeymap kKeymap = [] {
        std::string error;
        auto built = VirtualKeymap::Build(Vocabulary(), error);
        if (!built) {
            ADD_FAILURE() << error;
            std::abort();
        }
        return std::move(*built);
    }();
    return kKeymap;
}

std::string Name(xkb_keysym_t sym) {
    char name[64] = "";
    xkb_keysym_get_name(sym, name, sizeof name);
    return name;
}

// The keysym the key types with the given modifiers down (by name).
xkb_keysym_t Typed(xkb_keymap* keymap, std::uint32_t key, std::vector<std::uint32_t> held = {}) {
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap),
                                                                 xkb_state_unref);
    for (const std::uint32_t h : held) {
        xkb_state_update_key(state.get(), h + 8, XKB_KEY_DOWN);
    }
    return xkb_state_key_get_one_sym(state.get(), key + 8);
}

TEST(VirtualKeymap, EveryKeyOfTheVocabularyTypesItsOwnKeysymOnAKeycodeXwaylandCarries) {
    int keys = 0;
    for (const KeyName& name : KeyVocabulary()) {
        const xkb_keysym_t sym = VirtualKeyToKeysym(name.code);
        const auto key = Keymap().KeyFor(name.code);
        if (sym == XKB_KEY_NoSymbol) {
            EXPECT_FALSE(key) << name.name;
            continue;
        }
        ASSERT_TRUE(key) << name.name;
        EXPECT_LE(*key + 8, 255u) << name.name;
        EXPECT_EQ(Name(Typed(Keymap().Keymap(), *key)), Name(sym)) << name.name;
        ++keys;
    }
    // Everything but the three mouse buttons.
    EXPECT_EQ(keys, static_cast<int>(KeyVocabulary().size()) - 3);
}

TEST(VirtualKeymap, KeysWithDifferentKeysymsNeverShareAKey) {
    std::map<std::uint32_t, xkb_keysym_t> byKey;
    for (const KeyName& name : KeyVocabulary()) {
        const auto key = Keymap().KeyFor(name.code);
        if (!key) {
            continue;
        }
        const xkb_keysym_t sym = VirtualKeyToKeysym(name.code);
        const auto [it, inserted] = byKey.emplace(*key, sym);
        EXPECT_TRUE(inserted || it->second == sym)
            << name.name << " shares key " << *key << " with " << Name(it->second);
    }
}

TEST(VirtualKeymap, KeysSitOnThePcKeyboardsOwnKeysWhereXwaylandCanCarryThem) {
    EXPECT_EQ(Keymap().KeyFor('A'), KEY_A);
    EXPECT_EQ(Keymap().KeyFor('0'), KEY_0);
    EXPECT_EQ(Keymap().KeyFor(0x0D), KEY_ENTER);
    EXPECT_EQ(Keymap().KeyFor(0x10), KEY_LEFTSHIFT);
    EXPECT_EQ(Keymap().KeyFor(0xA0), KEY_LEFTSHIFT);  // [LSHIFT] is the same key
    EXPECT_EQ(Keymap().KeyFor(0xA3), KEY_RIGHTCTRL);
    // The US layout gives these keys other meanings; ours types F13 and KP_0.
    EXPECT_EQ(Keymap().KeyFor(0x7C), KEY_F13);
    EXPECT_EQ(Keymap().KeyFor(0x60), KEY_KP0);
    EXPECT_EQ(Keymap().KeyFor(0xA6), KEY_BACK);
    for (const KeyName& name : KeyVocabulary()) {
        const std::uint16_t evdev = VirtualKeyToEvdev(name.code);
        const auto key = Keymap().KeyFor(name.code);
        // Of the keys with a Linux code XWayland can carry, only the 半角/全角
        // key has no name in the keycodes and goes elsewhere.
        if (evdev != 0 && evdev + 8 <= 255 && evdev != KEY_ZENKAKUHANKAKU) {
            EXPECT_EQ(key, evdev) << name.name;
        }
    }
}

TEST(VirtualKeymap, KeysOutsideTheUsLayoutGetKeycodesItLeavesUnused) {
    for (const std::int16_t code : {0x19, 0x0C, 0x29, 0x2B}) {  // Kanji, Clear, Select, Execute
        const auto key = Keymap().KeyFor(code);
        ASSERT_TRUE(key) << code;
        EXPECT_EQ(Typed(Keymap().Keymap(), *key), VirtualKeyToKeysym(code));
    }
    EXPECT_EQ(Name(Typed(Keymap().Keymap(), *Keymap().KeyFor(0x19))), "Kanji");
    EXPECT_GT(Keymap().AddedKeys(), 0u);
}

TEST(VirtualKeymap, ShiftAndCapsLockMakeCapitalsAsOnAKeyboard) {
    xkb_keymap* km = Keymap().Keymap();
    EXPECT_EQ(Name(Typed(km, KEY_A)), "a");
    EXPECT_EQ(Name(Typed(km, KEY_A, {KEY_LEFTSHIFT})), "A");
    EXPECT_EQ(Name(Typed(km, KEY_A, {KEY_RIGHTSHIFT})), "A");
    EXPECT_EQ(Name(Typed(km, KEY_1, {KEY_LEFTSHIFT})), "exclam");
}

TEST(VirtualKeymap, TheUploadedTextCompilesOnItsOwnAndLeavesMod3Free) {
    const std::string& text = Keymap().Text();
    EXPECT_EQ(text.find("include"), std::string::npos);
    // Mod3 is the marker the injector shows XWayland: no key may set it.
    EXPECT_EQ(text.find("modifier_map Mod3"), std::string::npos);
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES), xkb_context_unref);
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> again(
        xkb_keymap_new_from_string(context.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                   XKB_KEYMAP_COMPILE_NO_FLAGS),
        xkb_keymap_unref);
    ASSERT_TRUE(again);
    EXPECT_EQ(Name(Typed(again.get(), *Keymap().KeyFor(0x19))), "Kanji");
    EXPECT_EQ(xkb_keymap_mod_get_index(again.get(), XKB_MOD_NAME_CTRL), 2u);
}

TEST(VirtualKeymap, CodesThatAreNoKeyGetNone) {
    for (const int code : {-1, 0, 0x01, 0x02, 0x04, 0x05, 0xBA, 0xFF, 0x7FFF}) {
        EXPECT_EQ(VirtualKeyToKeysym(code), static_cast<xkb_keysym_t>(XKB_KEY_NoSymbol)) << code;
        EXPECT_FALSE(Keymap().KeyFor(code)) << code;
    }
}

TEST(VirtualKeymap, AnEmptyVocabularyStillGivesTheUsLayout) {
    std::string error;
    const auto keymap = VirtualKeymap::Build({}, error);
    ASSERT_TRUE(keymap) << error;
    EXPECT_EQ(keymap->AddedKeys(), 0u);
    EXPECT_FALSE(keymap->KeyFor('A'));
    EXPECT_EQ(Name(Typed(keymap->Keymap(), KEY_A)), "a");
}

}  // namespace
}  // namespace qv::wayland
