// The virtual keyboard's keymap: the user's layout unchanged, plus keys for
// the codes it has none for, on keycodes XWayland can carry; the text
// uploaded to the compositor stands on its own.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "keys/KeyNames.h"
#include "keys/wayland/VirtualKeymap.h"

namespace qv::wayland {
namespace {

VirtualKeymap Build(const std::string& layout, const std::string& model,
                    const std::string& options = {}) {
    std::string error;
    auto built = VirtualKeymap::Build(KeymapFromNames(layout, "", model, options), error);
    if (!built) {
        ADD_FAILURE() << layout << ": " << error;
        std::abort();
    }
    return std::move(*built);
}

const VirtualKeymap& Us() {
    static const VirtualKeymap kKeymap = Build("us", "pc105");
    return kKeymap;
}

const VirtualKeymap& Jp() {
    static const VirtualKeymap kKeymap = Build("jp", "jp106");
    return kKeymap;
}

std::string Name(xkb_keysym_t sym) {
    char name[64] = "";
    xkb_keysym_get_name(sym, name, sizeof name);
    return name;
}

using UniqueState = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;

// What the evdev key types with the given evdev keys held first.
std::string Typed(xkb_keymap* keymap, std::uint32_t key, std::vector<std::uint32_t> held = {}) {
    UniqueState state(xkb_state_new(keymap), xkb_state_unref);
    for (const std::uint32_t h : held) {
        xkb_state_update_key(state.get(), h + 8, XKB_KEY_DOWN);
    }
    return Name(xkb_state_key_get_one_sym(state.get(), key + 8));
}

// The locked modifiers after pressing and releasing the key.
xkb_mod_mask_t LocksAfter(xkb_keymap* keymap, std::uint32_t key) {
    UniqueState state(xkb_state_new(keymap), xkb_state_unref);
    xkb_state_update_key(state.get(), key + 8, XKB_KEY_DOWN);
    xkb_state_update_key(state.get(), key + 8, XKB_KEY_UP);
    return xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED);
}

TEST(VirtualKeymap, EveryKeyOfTheVocabularyHasAKeyXwaylandCarries) {
    for (const VirtualKeymap* keymap : {&Us(), &Jp()}) {
        EXPECT_TRUE(keymap->Unplaced().empty()) << keymap->LayoutName();
        int keys = 0;
        for (const KeyName& name : KeyVocabulary()) {
            const auto key = keymap->KeyFor(name.code);
            if (VirtualKeyToKeysym(name.code) == 0) {
                EXPECT_FALSE(key) << name.name;  // the mouse buttons
                continue;
            }
            ASSERT_TRUE(key) << keymap->LayoutName() << " " << name.name;
            EXPECT_LE(*key + 8, 255u) << name.name;
            EXPECT_NE(Typed(keymap->Keymap(), *key), "NoSymbol") << name.name;
            ++keys;
        }
        EXPECT_EQ(keys, static_cast<int>(KeyVocabulary().size()) - 3);
    }
}

TEST(VirtualKeymap, TheUsersKeysTypeWhatTheyTypeOnTheLayout) {
    for (const auto& [layout, model] :
         {std::pair<std::string, std::string>{"us", "pc105"}, {"jp", "jp106"}}) {
        const LayoutKeys own(KeymapFromNames(layout, "", model));
        const VirtualKeymap keymap = Build(layout, model);
        for (int code = 1; code < 256; ++code) {
            const xkb_keycode_t key = own.KeycodeFor(code);
            if (key == 0 || key > 255) {
                continue;
            }
            EXPECT_EQ(keymap.KeyFor(code), key - 8) << layout << " code " << code;
            EXPECT_FALSE(keymap.IsAddedKey(key - 8)) << layout << " code " << code;
            EXPECT_EQ(Typed(keymap.Keymap(), key - 8), Name(own.Unshifted(key)))
                << layout << " code " << code;
            EXPECT_EQ(Typed(keymap.Keymap(), key - 8, {KEY_LEFTSHIFT}), Name(own.Shifted(key)))
                << layout << " code " << code;
        }
    }
}

TEST(VirtualKeymap, OnAJapaneseLayoutTheDigitRowAndTheInputMethodKeysAreJapanese) {
    xkb_keymap* km = Jp().Keymap();
    EXPECT_EQ(Typed(km, *Jp().KeyFor('2'), {KEY_LEFTSHIFT}), "quotedbl");
    EXPECT_EQ(Typed(km, *Jp().KeyFor('7'), {KEY_LEFTSHIFT}), "apostrophe");
    EXPECT_EQ(Typed(km, *Jp().KeyFor(0x19)), "Zenkaku_Hankaku");  // [KANJI]
    EXPECT_EQ(Typed(km, *Jp().KeyFor(0xF3)), "Zenkaku_Hankaku");  // [243]
    EXPECT_EQ(Typed(km, *Jp().KeyFor(0x15)), "Hiragana_Katakana");
    EXPECT_EQ(Typed(km, *Jp().KeyFor(0x14)), "Eisu_toggle");  // [CAPITAL]
    EXPECT_EQ(Typed(km, *Jp().KeyFor(0xC0)), "at");
    EXPECT_EQ(LocksAfter(km, *Jp().KeyFor(0x14)), 0u) << "英数 locked a modifier";
    EXPECT_EQ(Typed(Us().Keymap(), *Us().KeyFor('2'), {KEY_LEFTSHIFT}), "at");
    EXPECT_NE(LocksAfter(Us().Keymap(), *Us().KeyFor(0x14)), 0u) << "Caps Lock did not lock";
}

TEST(VirtualKeymap, KeysTheLayoutLacksAreAddedWherePossibleInTheirPcPlace) {
    xkb_keymap* km = Us().Keymap();
    // Kanji: no key of the US layout.
    ASSERT_TRUE(Us().KeyFor(0x19));
    EXPECT_EQ(Typed(km, *Us().KeyFor(0x19)), "Kanji");
    EXPECT_TRUE(Us().IsAddedKey(*Us().KeyFor(0x19)));
    // F13 takes the place of XF86Tools, which no code types.
    EXPECT_EQ(Us().KeyFor(0x7C), KEY_F13);
    EXPECT_EQ(Typed(km, KEY_F13), "F13");
    EXPECT_EQ(Us().KeyFor(0x87), KEY_F24);
    // The keypad's digits need Num Lock on the layout's keys: added keys
    // type them whatever the lock.
    EXPECT_EQ(Typed(km, *Us().KeyFor(0x60)), "KP_0");
    EXPECT_EQ(Typed(km, *Us().KeyFor(0x6E)), "KP_Decimal");
    EXPECT_EQ(Typed(km, KEY_KP0), "KP_Insert");
    // [LSHIFT] is the layout's left Shift, [PRINT] its print key.
    EXPECT_EQ(Us().KeyFor(0xA0), KEY_LEFTSHIFT);
    EXPECT_EQ(Us().KeyFor(0x2A), Us().KeyFor(0x2C));
    EXPECT_FALSE(Us().IsAddedKey(*Us().KeyFor(0x2A)));
    EXPECT_GT(Us().AddedKeys(), 0u);
}

TEST(VirtualKeymap, KeysWithDifferentKeysymsNeverShareAKey) {
    for (const VirtualKeymap* keymap : {&Us(), &Jp()}) {
        std::map<std::uint32_t, std::string> byKey;
        for (int code = 1; code < 256; ++code) {
            const auto key = keymap->KeyFor(code);
            if (!key) {
                continue;
            }
            const std::string typed = Typed(keymap->Keymap(), *key);
            const auto [it, inserted] = byKey.emplace(*key, typed);
            EXPECT_TRUE(inserted || it->second == typed)
                << keymap->LayoutName() << " code " << code << " shares key " << *key;
        }
    }
}

TEST(VirtualKeymap, ALayoutWithoutCapsLockGetsAnAddedLockKey) {
    // caps:none leaves the Caps Lock key typing nothing: it is free, and the
    // added Caps_Lock goes there.
    const VirtualKeymap keymap = Build("us", "pc105", "caps:none");
    const auto key = keymap.KeyFor(0x14);
    ASSERT_TRUE(key);
    EXPECT_TRUE(keymap.IsAddedKey(*key));
    EXPECT_EQ(*key, static_cast<std::uint32_t>(KEY_CAPSLOCK));
    EXPECT_EQ(Typed(keymap.Keymap(), *key), "Caps_Lock");
    EXPECT_NE(LocksAfter(keymap.Keymap(), *key), 0u);
}

TEST(VirtualKeymap, TheUploadedTextCompilesOnItsOwn) {
    const std::string& text = Us().Text();
    EXPECT_EQ(text.find("include"), std::string::npos);
    // Mod3 is the marker the injector shows XWayland: no key of these layouts sets it.
    EXPECT_EQ(text.find("modifier_map Mod3"), std::string::npos);
    EXPECT_EQ(Jp().Text().find("modifier_map Mod3"), std::string::npos);
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES), xkb_context_unref);
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> again(
        xkb_keymap_new_from_string(context.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                   XKB_KEYMAP_COMPILE_NO_FLAGS),
        xkb_keymap_unref);
    ASSERT_TRUE(again);
    EXPECT_EQ(Typed(again.get(), *Us().KeyFor(0x19)), "Kanji");
    EXPECT_EQ(KeymapText(again.get()), text);
}

TEST(VirtualKeymap, CodesThatAreNoKeyGetNone) {
    for (const int code : {-1, 0, 0x01, 0x02, 0x04, 0x05, 0xFF, 0x7FFF}) {
        EXPECT_FALSE(Us().KeyFor(code)) << code;
    }
    // Codes no key of the layout carries and no keysym stands for.
    EXPECT_FALSE(Us().KeyFor(0xF3));
    EXPECT_FALSE(Us().KeyFor(0xF0));
    std::string error;
    EXPECT_FALSE(VirtualKeymap::Build(nullptr, error));
    EXPECT_FALSE(error.empty());
}

TEST(WithSymbols, LinesGoAtTheEndOfTheSymbolsSection) {
    const std::string text =
        "xkb_keymap {\n xkb_keycodes \"a{\" { <A> = 38; };\n"
        " xkb_symbols \"b}\" { name[group1]=\"x}{\"; key <A> { [ a ] }; };\n};\n";
    EXPECT_EQ(WithSymbols(text, "NEW "),
              "xkb_keymap {\n xkb_keycodes \"a{\" { <A> = 38; };\n"
              " xkb_symbols \"b}\" { name[group1]=\"x}{\"; key <A> { [ a ] }; NEW };\n};\n");
    EXPECT_FALSE(WithSymbols("xkb_keymap { xkb_keycodes { }; };", "NEW"));
    EXPECT_FALSE(WithSymbols("xkb_keymap { xkb_symbols { ", "NEW"));
}

}  // namespace
}  // namespace qv::wayland
