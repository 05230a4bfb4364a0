// The SendInput records a batch of key strokes becomes.
#include <gtest/gtest.h>

#include "keys/KeyNames.h"
#include "keys/win32/Win32InputInjector.h"

namespace qv {
namespace {

TEST(Win32InputInjector, OneRecordPerKeyWithItsScanCodeAndDirection) {
    const KeyStroke batch[] = {{VK_RETURN, false}, {VK_RETURN, true}};
    const std::vector<INPUT> inputs = KeyboardInputs(batch);
    ASSERT_EQ(inputs.size(), 2u);
    for (const INPUT& input : inputs) {
        EXPECT_EQ(input.type, INPUT_KEYBOARD);
        EXPECT_EQ(input.ki.wVk, VK_RETURN);
        EXPECT_EQ(input.ki.wScan, ::MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC));
        EXPECT_EQ(input.ki.time, 0u);
        EXPECT_EQ(input.ki.dwExtraInfo, 0u);
    }
    // Enter is not extended: flagged, it would be the numpad's Enter.
    EXPECT_EQ(inputs[0].ki.dwFlags, 0u);
    EXPECT_EQ(inputs[1].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_KEYUP));
}

TEST(Win32InputInjector, ExtendedFlagOnTheKeysWindowsMarksExtended) {
    for (int vk : {VK_RCONTROL,    VK_RMENU, VK_INSERT, VK_DELETE,    VK_HOME,
                   VK_END,         VK_PRIOR, VK_NEXT,   VK_LEFT,      VK_UP,
                   VK_RIGHT,       VK_DOWN,  VK_DIVIDE, VK_NUMLOCK,   VK_SNAPSHOT,
                   VK_LWIN,        VK_RWIN,  VK_APPS,   VK_VOLUME_UP, VK_MEDIA_PLAY_PAUSE,
                   VK_BROWSER_BACK}) {
        EXPECT_TRUE(IsExtendedKey(vk)) << vk;
    }
    for (int vk : {int{'A'}, int{'0'}, VK_RETURN, VK_SPACE, VK_SHIFT, VK_LSHIFT, VK_RSHIFT,
                   VK_CONTROL, VK_LCONTROL, VK_MENU, VK_LMENU, VK_NUMPAD0, VK_MULTIPLY, VK_ADD,
                   VK_F1, VK_F24, VK_ESCAPE, VK_KANJI, VK_CONVERT}) {
        EXPECT_FALSE(IsExtendedKey(vk)) << vk;
    }
    const KeyStroke batch[] = {{VK_RCONTROL, false}, {VK_RCONTROL, true}};
    const auto inputs = KeyboardInputs(batch);
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_EXTENDEDKEY));
    EXPECT_EQ(inputs[1].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP));
}

// A captured key without a name ([186], [226] in a key list) goes to
// SendInput as its code, with its key's scan code and no extended flag.
TEST(Win32InputInjector, CodesWrittenAsNumbersGoOutAsThoseCodes) {
    const std::vector<KeyStroke> batch = ReadKeyList("D[186], U[186], D[226], U[226], D[243]");
    const std::vector<INPUT> inputs = KeyboardInputs(batch);
    ASSERT_EQ(inputs.size(), 5u);
    const WORD codes[] = {VK_OEM_1, VK_OEM_1, VK_OEM_102, VK_OEM_102, 0xF3};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_EQ(inputs[i].ki.wVk, codes[i]) << i;
        EXPECT_EQ(inputs[i].ki.wScan, ::MapVirtualKeyW(codes[i], MAPVK_VK_TO_VSC)) << i;
        EXPECT_EQ(inputs[i].ki.dwFlags & KEYEVENTF_EXTENDEDKEY, 0u) << i;
        EXPECT_EQ((inputs[i].ki.dwFlags & KEYEVENTF_KEYUP) != 0, i % 2 == 1) << i;
    }
    EXPECT_EQ(inputs[0].ki.wScan, 0x27);  // the key right of L
    EXPECT_EQ(inputs[2].ki.wScan, 0x56);  // the 102nd key
}

TEST(Win32InputInjector, CodesWithoutAKeyAreLeftOutAndTheRestKeepsItsOrder) {
    const KeyStroke batch[] = {{-1, false}, {'A', false}, {0, false},   {'A', true},
                               {255, true}, {256, true},  {'B', false}, {'B', true}};
    const auto inputs = KeyboardInputs(batch);
    ASSERT_EQ(inputs.size(), 4u);
    EXPECT_EQ(inputs[0].ki.wVk, 'A');
    EXPECT_EQ(inputs[1].ki.wVk, 'A');
    EXPECT_EQ(inputs[2].ki.wVk, 'B');
    EXPECT_EQ(inputs[3].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_KEYUP));
    EXPECT_TRUE(KeyboardInputs(std::span<const KeyStroke>()).empty());
}

}  // namespace
}  // namespace qv
