#include "app/qt/VirtualKeyFromQtKey.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

struct Row {
    int key;
    Qt::KeyboardModifiers mods;
    int vk;
};

TEST(VirtualKeyFromQtKey, MapsToWindowsCodes) {
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
    const Row rows[] = {
        {Qt::Key_A, none, 0x41},
        {Qt::Key_Z, Qt::ShiftModifier, 0x5A},
        {Qt::Key_0, none, 0x30},
        {Qt::Key_5, none, 0x35},
        {Qt::Key_5, pad, 0x65},
        {Qt::Key_0, pad, 0x60},
        {Qt::Key_Asterisk, pad, 0x6A},
        {Qt::Key_Plus, pad, 0x6B},
        {Qt::Key_Minus, pad, 0x6D},
        {Qt::Key_Period, pad, 0x6E},
        {Qt::Key_Slash, pad, 0x6F},
        {Qt::Key_Enter, pad, 0x0D},
        {Qt::Key_Home, pad, 0x24},
        {Qt::Key_Clear, pad, 0x0C},
        {Qt::Key_F1, none, 0x70},
        {Qt::Key_F5, none, 0x74},
        {Qt::Key_F24, none, 0x87},
        {Qt::Key_Return, none, 0x0D},
        {Qt::Key_Tab, none, 0x09},
        {Qt::Key_Backtab, Qt::ShiftModifier, 0x09},
        {Qt::Key_Shift, Qt::ShiftModifier, 0x10},
        {Qt::Key_Control, Qt::ControlModifier, 0x11},
        {Qt::Key_Alt, Qt::AltModifier, 0x12},
        {Qt::Key_PageUp, none, 0x21},
        {Qt::Key_Down, none, 0x28},
        {Qt::Key_Delete, none, 0x2E},
        {Qt::Key_Print, none, 0x2C},
        {Qt::Key_Henkan, none, 0x1C},
        {Qt::Key_Muhenkan, none, 0x1D},
        {Qt::Key_Kanji, none, 0x19},
        {Qt::Key_Hiragana_Katakana, none, 0x15},
        {Qt::Key_VolumeUp, none, 0xAF},
        {Qt::Key_MediaTogglePlayPause, none, 0xB3},
        {Qt::Key_Back, none, 0xA6},
        {Qt::Key_HomePage, none, 0xAC},
        {Qt::Key_Semicolon, none, 186},
        {Qt::Key_Colon, Qt::ShiftModifier, 186},
        {Qt::Key_Comma, none, 0xBC},
        {Qt::Key_Slash, none, 0xBF},
        {Qt::Key_Exclam, Qt::ShiftModifier, '1'},
        {Qt::Key_Asterisk, Qt::ShiftModifier, '8'},
        {Qt::Key_NumLock, none, 0x90},
        {Qt::Key_Menu, none, 0x5D},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(VirtualKeyFromQtKey(r.key, r.mods), r.vk) << "Qt key 0x" << std::hex << r.key;
    }
}

TEST(VirtualKeyFromQtKey, KeysWithoutCodeGiveZero) {
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_unknown, Qt::NoModifier), 0);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_F25, Qt::NoModifier), 0);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Adiaeresis, Qt::NoModifier), 0);
}

}  // namespace
}  // namespace qv
