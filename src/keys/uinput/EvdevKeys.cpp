#include "keys/uinput/EvdevKeys.h"

#include "keys/uinput/EvdevLayout.h"

#include <linux/input-event-codes.h>

#include <array>

namespace qv {
namespace {

// Letters A-Z and digits 0-9 in the order of their virtual-key codes.
constexpr std::array<std::uint16_t, 26> kLetters = {
    KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
    KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z,
};
constexpr std::array<std::uint16_t, 10> kDigits = {
    KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9,
};
constexpr std::array<std::uint16_t, 10> kKeypadDigits = {
    KEY_KP0, KEY_KP1, KEY_KP2, KEY_KP3, KEY_KP4, KEY_KP5, KEY_KP6, KEY_KP7, KEY_KP8, KEY_KP9,
};
constexpr std::array<std::uint16_t, 24> kFunctionKeys = {
    KEY_F1,  KEY_F2,  KEY_F3,  KEY_F4,  KEY_F5,  KEY_F6,  KEY_F7,  KEY_F8,
    KEY_F9,  KEY_F10, KEY_F11, KEY_F12, KEY_F13, KEY_F14, KEY_F15, KEY_F16,
    KEY_F17, KEY_F18, KEY_F19, KEY_F20, KEY_F21, KEY_F22, KEY_F23, KEY_F24,
};

}  // namespace

std::uint16_t VirtualKeyToEvdev(int virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        return kLetters[static_cast<std::size_t>(virtualKey - 'A')];
    }
    if (virtualKey >= '0' && virtualKey <= '9') {
        return kDigits[static_cast<std::size_t>(virtualKey - '0')];
    }
    if (virtualKey >= 0x60 && virtualKey <= 0x69) {
        return kKeypadDigits[static_cast<std::size_t>(virtualKey - 0x60)];
    }
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {
        return kFunctionKeys[static_cast<std::size_t>(virtualKey - 0x70)];
    }
    switch (virtualKey) {
        case 0x03:
            return KEY_CANCEL;
        case 0x08:
            return KEY_BACKSPACE;
        case 0x09:
            return KEY_TAB;
        case 0x0C:
            return KEY_CLEAR;
        case 0x0D:
            return KEY_ENTER;
        case 0x10:
            return KEY_LEFTSHIFT;
        case 0x11:
            return KEY_LEFTCTRL;
        case 0x12:
            return KEY_LEFTALT;
        case 0x13:
            return KEY_PAUSE;
        case 0x14:
            return KEY_CAPSLOCK;
        case 0x15:
            return KEY_KATAKANAHIRAGANA;
        case 0x19:
            return KEY_ZENKAKUHANKAKU;  // the 半角/全角 key types VK_KANJI on Windows
        case 0x1B:
            return KEY_ESC;
        case 0x1C:
            return KEY_HENKAN;
        case 0x1D:
            return KEY_MUHENKAN;
        case 0x20:
            return KEY_SPACE;
        case 0x21:
            return KEY_PAGEUP;
        case 0x22:
            return KEY_PAGEDOWN;
        case 0x23:
            return KEY_END;
        case 0x24:
            return KEY_HOME;
        case 0x25:
            return KEY_LEFT;
        case 0x26:
            return KEY_UP;
        case 0x27:
            return KEY_RIGHT;
        case 0x28:
            return KEY_DOWN;
        case 0x29:
            return KEY_SELECT;
        case 0x2A:
            return KEY_PRINT;
        case 0x2C:
            return KEY_SYSRQ;  // the Print Screen key
        case 0x2D:
            return KEY_INSERT;
        case 0x2E:
            return KEY_DELETE;
        case 0x2F:
            return KEY_HELP;
        case 0x5B:
            return KEY_LEFTMETA;
        case 0x5C:
            return KEY_RIGHTMETA;
        case 0x5D:
            return KEY_COMPOSE;  // the context-menu key
        case 0x5F:
            return KEY_SLEEP;
        case 0x6A:
            return KEY_KPASTERISK;
        case 0x6B:
            return KEY_KPPLUS;
        case 0x6C:
            return KEY_KPCOMMA;
        case 0x6D:
            return KEY_KPMINUS;
        case 0x6E:
            return KEY_KPDOT;
        case 0x6F:
            return KEY_KPSLASH;
        case 0x90:
            return KEY_NUMLOCK;
        case 0x91:
            return KEY_SCROLLLOCK;
        case 0xA0:
            return KEY_LEFTSHIFT;
        case 0xA1:
            return KEY_RIGHTSHIFT;
        case 0xA2:
            return KEY_LEFTCTRL;
        case 0xA3:
            return KEY_RIGHTCTRL;
        case 0xA4:
            return KEY_LEFTALT;
        case 0xA5:
            return KEY_RIGHTALT;
        case 0xA6:
            return KEY_BACK;
        case 0xA7:
            return KEY_FORWARD;
        case 0xA8:
            return KEY_REFRESH;
        case 0xA9:
            return KEY_STOP;
        case 0xAA:
            return KEY_SEARCH;
        case 0xAB:
            return KEY_BOOKMARKS;
        case 0xAC:
            return KEY_HOMEPAGE;
        case 0xAD:
            return KEY_MUTE;
        case 0xAE:
            return KEY_VOLUMEDOWN;
        case 0xAF:
            return KEY_VOLUMEUP;
        case 0xB0:
            return KEY_NEXTSONG;
        case 0xB1:
            return KEY_PREVIOUSSONG;
        case 0xB2:
            return KEY_STOPCD;
        case 0xB3:
            return KEY_PLAYPAUSE;
        case 0xB4:
            return KEY_MAIL;
        case 0xB5:
            return KEY_MEDIA;
        case 0xB6:
            return KEY_COMPUTER;
        case 0xB7:
            return KEY_CALC;
        // The punctuation keys where a US keyboard has them (VK_OEM_*).
        case 0xBA:
            return KEY_SEMICOLON;
        case 0xBB:
            return KEY_EQUAL;
        case 0xBC:
            return KEY_COMMA;
        case 0xBD:
            return KEY_MINUS;
        case 0xBE:
            return KEY_DOT;
        case 0xBF:
            return KEY_SLASH;
        case 0xC0:
            return KEY_GRAVE;
        case 0xDB:
            return KEY_LEFTBRACE;
        case 0xDC:
            return KEY_BACKSLASH;
        case 0xDD:
            return KEY_RIGHTBRACE;
        case 0xDE:
            return KEY_APOSTROPHE;
        case 0xE2:
            return KEY_102ND;
        default:
            return KEY_RESERVED;
    }
}

std::uint16_t PcEvdevLayout::KeyFor(int virtualKey) const {
    return VirtualKeyToEvdev(virtualKey);
}

}  // namespace qv
