#include "app/qt/VirtualKeyFromQtKey.h"

namespace qv {
namespace {

std::int16_t KeypadKey(int k) {
    if (k >= Qt::Key_0 && k <= Qt::Key_9) {
        return static_cast<std::int16_t>(0x60 + (k - Qt::Key_0));  // NUMPAD0..9
    }
    switch (k) {
        case Qt::Key_Asterisk:
            return 0x6A;  // MULTIPLY
        case Qt::Key_Plus:
            return 0x6B;  // ADD
        case Qt::Key_Comma:
            return 0x6C;  // SEPARATOR
        case Qt::Key_Minus:
            return 0x6D;  // SUBTRACT
        case Qt::Key_Period:
            return 0x6E;  // DECIMAL
        case Qt::Key_Slash:
            return 0x6F;  // DIVIDE
        default:
            return 0;  // the keypad's other keys map as usual
    }
}

}  // namespace

std::int16_t VirtualKeyFromQtKey(int k, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::KeypadModifier) {
        if (const std::int16_t vk = KeypadKey(k); vk != 0) {
            return vk;
        }
    }
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) {
        return static_cast<std::int16_t>(k);  // Qt uses the ASCII codes here, as Windows does
    }
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) {
        return static_cast<std::int16_t>(0x70 + (k - Qt::Key_F1));
    }
    switch (k) {
        // Editing and navigation
        case Qt::Key_Cancel:
            return 0x03;
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 0x09;
        case Qt::Key_Clear:
            return 0x0C;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Shift:
            return 0x10;
        case Qt::Key_Control:
            return 0x11;
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
            return 0x12;
        case Qt::Key_Pause:
            return 0x13;
        case Qt::Key_CapsLock:
        case Qt::Key_Eisu_toggle:
            return 0x14;  // the Japanese 英数 key is Caps Lock
        case Qt::Key_Kana_Lock:
        case Qt::Key_Kana_Shift:
        case Qt::Key_Hiragana:
        case Qt::Key_Katakana:
        case Qt::Key_Hiragana_Katakana:
            return 0x15;  // KANA
        case Qt::Key_Kanji:
        case Qt::Key_Zenkaku_Hankaku:
            return 0x19;  // KANJI
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_Henkan:
            return 0x1C;  // CONVERT
        case Qt::Key_Muhenkan:
            return 0x1D;  // NONCONVERT
        case Qt::Key_Mode_switch:
            return 0x1F;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Select:
            return 0x29;
        case Qt::Key_Printer:
            return 0x2A;
        case Qt::Key_Execute:
            return 0x2B;
        case Qt::Key_Print:
        case Qt::Key_SysReq:
            return 0x2C;  // SNAPSHOT
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        case Qt::Key_Help:
            return 0x2F;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
            return 0x5B;  // LWIN
        case Qt::Key_Super_R:
            return 0x5C;  // RWIN
        case Qt::Key_Menu:
            return 0x5D;  // APPS
        case Qt::Key_Sleep:
            return 0x5F;
        case Qt::Key_NumLock:
            return 0x90;
        case Qt::Key_ScrollLock:
            return 0x91;
        // Browser, media and launch keys
        case Qt::Key_Back:
            return 0xA6;
        case Qt::Key_Forward:
            return 0xA7;
        case Qt::Key_Refresh:
            return 0xA8;
        case Qt::Key_Stop:
            return 0xA9;
        case Qt::Key_Search:
            return 0xAA;
        case Qt::Key_Favorites:
            return 0xAB;
        case Qt::Key_HomePage:
            return 0xAC;
        case Qt::Key_VolumeMute:
            return 0xAD;
        case Qt::Key_VolumeDown:
            return 0xAE;
        case Qt::Key_VolumeUp:
            return 0xAF;
        case Qt::Key_MediaNext:
            return 0xB0;
        case Qt::Key_MediaPrevious:
            return 0xB1;
        case Qt::Key_MediaStop:
            return 0xB2;
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaPause:
        case Qt::Key_MediaTogglePlayPause:
            return 0xB3;
        case Qt::Key_LaunchMail:
            return 0xB4;
        case Qt::Key_LaunchMedia:
            return 0xB5;
        case Qt::Key_Launch0:
            return 0xB6;  // "My Computer" on X11 and Windows alike
        case Qt::Key_Launch1:
        case Qt::Key_Calculator:
            return 0xB7;
        // Shifted digits on a US layout are their digit key
        case Qt::Key_Exclam:
            return '1';
        case Qt::Key_At:
            return '2';
        case Qt::Key_NumberSign:
            return '3';
        case Qt::Key_Dollar:
            return '4';
        case Qt::Key_Percent:
            return '5';
        case Qt::Key_AsciiCircum:
        case Qt::Key_Dead_Circumflex:  // the US international layout's dead keys
            return '6';
        case Qt::Key_Ampersand:
            return '7';
        case Qt::Key_Asterisk:
            return '8';
        case Qt::Key_ParenLeft:
            return '9';
        case Qt::Key_ParenRight:
            return '0';
        // Punctuation keys of a US layout (the OEM codes)
        case Qt::Key_Semicolon:
        case Qt::Key_Colon:
            return 0xBA;
        case Qt::Key_Equal:
        case Qt::Key_Plus:
            return 0xBB;
        case Qt::Key_Comma:
        case Qt::Key_Less:
            return 0xBC;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            return 0xBD;
        case Qt::Key_Period:
        case Qt::Key_Greater:
            return 0xBE;
        case Qt::Key_Slash:
        case Qt::Key_Question:
            return 0xBF;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde:
        case Qt::Key_Dead_Grave:
        case Qt::Key_Dead_Tilde:
            return 0xC0;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            return 0xDB;
        case Qt::Key_Backslash:
        case Qt::Key_Bar:
        case Qt::Key_yen:
            return 0xDC;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            return 0xDD;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl:
        case Qt::Key_Dead_Acute:
        case Qt::Key_Dead_Diaeresis:
            return 0xDE;
        default:
            return 0;
    }
}

}  // namespace qv
