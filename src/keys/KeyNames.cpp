#include "keys/KeyNames.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "common/AsciiCase.h"

namespace qv {
namespace {

// The codes a key can have: 0 is none, 255 (0xFF) is what Windows reports
// for keys without a code of their own.
constexpr int kFirstKeyCode = 1;
constexpr int kLastKeyCode = 254;

// The whole vocabulary. Where a code has two names, the canonical one (the one
// written back) comes first; the synonyms are only read.
constexpr std::array kVocabulary = {
    KeyName{"[LBUTTON]", 0x01, true},
    KeyName{"[RBUTTON]", 0x02, true},
    KeyName{"[CANCEL]", 0x03, true},
    KeyName{"[MBUTTON]", 0x04, true},
    KeyName{"[BACK]", 0x08, true},
    KeyName{"[TAB]", 0x09, true},
    KeyName{"[CLEAR]", 0x0C, true},
    KeyName{"[RETURN]", 0x0D, true},
    KeyName{"[SHIFT]", 0x10, true},
    KeyName{"[CTRL]", 0x11, true},
    KeyName{"[CONTROL]", 0x11, false},
    KeyName{"[ALT]", 0x12, true},
    KeyName{"[MENU]", 0x12, false},
    KeyName{"[PAUSE]", 0x13, true},
    KeyName{"[CAPITAL]", 0x14, true},
    KeyName{"[KANA]", 0x15, true},
    KeyName{"[KANJI]", 0x19, true},
    KeyName{"[ESCAPE]", 0x1B, true},
    KeyName{"[CONVERT]", 0x1C, true},
    KeyName{"[NONCONVERT]", 0x1D, true},
    KeyName{"[MODECHANGE]", 0x1F, true},
    KeyName{"[SPACE]", 0x20, true},
    KeyName{"[PAGEUP]", 0x21, true},
    KeyName{"[PRIOR]", 0x21, false},
    KeyName{"[PAGEDOWN]", 0x22, true},
    KeyName{"[NEXT]", 0x22, false},
    KeyName{"[END]", 0x23, true},
    KeyName{"[HOME]", 0x24, true},
    KeyName{"[LEFT]", 0x25, true},
    KeyName{"[UP]", 0x26, true},
    KeyName{"[RIGHT]", 0x27, true},
    KeyName{"[DOWN]", 0x28, true},
    KeyName{"[SELECT]", 0x29, true},
    KeyName{"[PRINT]", 0x2A, true},
    KeyName{"[EXECUTE]", 0x2B, true},
    KeyName{"[SNAPSHOT]", 0x2C, true},
    KeyName{"[INSERT]", 0x2D, true},
    KeyName{"[DELETE]", 0x2E, true},
    KeyName{"[HELP]", 0x2F, true},
    KeyName{"0", 0x30, true},
    KeyName{"1", 0x31, true},
    KeyName{"2", 0x32, true},
    KeyName{"3", 0x33, true},
    KeyName{"4", 0x34, true},
    KeyName{"5", 0x35, true},
    KeyName{"6", 0x36, true},
    KeyName{"7", 0x37, true},
    KeyName{"8", 0x38, true},
    KeyName{"9", 0x39, true},
    KeyName{"A", 0x41, true},
    KeyName{"B", 0x42, true},
    KeyName{"C", 0x43, true},
    KeyName{"D", 0x44, true},
    KeyName{"E", 0x45, true},
    KeyName{"F", 0x46, true},
    KeyName{"G", 0x47, true},
    KeyName{"H", 0x48, true},
    KeyName{"I", 0x49, true},
    KeyName{"J", 0x4A, true},
    KeyName{"K", 0x4B, true},
    KeyName{"L", 0x4C, true},
    KeyName{"M", 0x4D, true},
    KeyName{"N", 0x4E, true},
    KeyName{"O", 0x4F, true},
    KeyName{"P", 0x50, true},
    KeyName{"Q", 0x51, true},
    KeyName{"R", 0x52, true},
    KeyName{"S", 0x53, true},
    KeyName{"T", 0x54, true},
    KeyName{"U", 0x55, true},
    KeyName{"V", 0x56, true},
    KeyName{"W", 0x57, true},
    KeyName{"X", 0x58, true},
    KeyName{"Y", 0x59, true},
    KeyName{"Z", 0x5A, true},
    KeyName{"[LWIN]", 0x5B, true},
    KeyName{"[RWIN]", 0x5C, true},
    KeyName{"[APPS]", 0x5D, true},
    KeyName{"[SLEEP]", 0x5F, true},
    KeyName{"[NUMPAD0]", 0x60, true},
    KeyName{"[NUMPAD1]", 0x61, true},
    KeyName{"[NUMPAD2]", 0x62, true},
    KeyName{"[NUMPAD3]", 0x63, true},
    KeyName{"[NUMPAD4]", 0x64, true},
    KeyName{"[NUMPAD5]", 0x65, true},
    KeyName{"[NUMPAD6]", 0x66, true},
    KeyName{"[NUMPAD7]", 0x67, true},
    KeyName{"[NUMPAD8]", 0x68, true},
    KeyName{"[NUMPAD9]", 0x69, true},
    KeyName{"[MULTIPLY]", 0x6A, true},
    KeyName{"[ADD]", 0x6B, true},
    KeyName{"[SEPARATOR]", 0x6C, true},
    KeyName{"[SUBTRACT]", 0x6D, true},
    KeyName{"[DECIMAL]", 0x6E, true},
    KeyName{"[DIVIDE]", 0x6F, true},
    KeyName{"[F1]", 0x70, true},
    KeyName{"[F2]", 0x71, true},
    KeyName{"[F3]", 0x72, true},
    KeyName{"[F4]", 0x73, true},
    KeyName{"[F5]", 0x74, true},
    KeyName{"[F6]", 0x75, true},
    KeyName{"[F7]", 0x76, true},
    KeyName{"[F8]", 0x77, true},
    KeyName{"[F9]", 0x78, true},
    KeyName{"[F10]", 0x79, true},
    KeyName{"[F11]", 0x7A, true},
    KeyName{"[F12]", 0x7B, true},
    KeyName{"[F13]", 0x7C, true},
    KeyName{"[F14]", 0x7D, true},
    KeyName{"[F15]", 0x7E, true},
    KeyName{"[F16]", 0x7F, true},
    KeyName{"[F17]", 0x80, true},
    KeyName{"[F18]", 0x81, true},
    KeyName{"[F19]", 0x82, true},
    KeyName{"[F20]", 0x83, true},
    KeyName{"[F21]", 0x84, true},
    KeyName{"[F22]", 0x85, true},
    KeyName{"[F23]", 0x86, true},
    KeyName{"[F24]", 0x87, true},
    KeyName{"[Numlock]", 0x90, true},
    KeyName{"[SCROLL]", 0x91, true},
    KeyName{"[LSHIFT]", 0xA0, true},
    KeyName{"[RSHIFT]", 0xA1, true},
    KeyName{"[LCONTROL]", 0xA2, true},
    KeyName{"[RCONTROL]", 0xA3, true},
    KeyName{"[LMENU]", 0xA4, true},
    KeyName{"[RMENU]", 0xA5, true},
    KeyName{"[BROWSER_BACK]", 0xA6, true},
    KeyName{"[BROWSER_FORWARD]", 0xA7, true},
    KeyName{"[BROWSER_REFRESH]", 0xA8, true},
    KeyName{"[BROWSER_STOP]", 0xA9, true},
    KeyName{"[BROWSER_SEARCH]", 0xAA, true},
    KeyName{"[BROWSER_FAVORITES]", 0xAB, true},
    KeyName{"[BROWSER_HOME]", 0xAC, true},
    KeyName{"[VOLUME_MUTE]", 0xAD, true},
    KeyName{"[VOLUME_DOWN]", 0xAE, true},
    KeyName{"[VOLUME_UP]", 0xAF, true},
    KeyName{"[MEDIA_NEXT_TRACK]", 0xB0, true},
    KeyName{"[MEDIA_PREV_TRACK]", 0xB1, true},
    KeyName{"[MEDIA_STOP]", 0xB2, true},
    KeyName{"[MEDIA_PLAY_PAUSE]", 0xB3, true},
    KeyName{"[LAUNCH_MAIL]", 0xB4, true},
    KeyName{"[LAUNCH_MEDIA_SELECT]", 0xB5, true},
    KeyName{"[LAUNCH_APP1]", 0xB6, true},
    KeyName{"[LAUNCH_APP2]", 0xB7, true},
};

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Bytes of the first UTF-8 character of `text` (0 for an empty text); a
// broken sequence counts as one byte per byte.
std::size_t Utf8CharLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > text.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) {
            out.append(text.substr(pos));
            return out;
        }
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
}

// The code of a name in bracketed decimal ("[186]"), -1 when the name is not
// one: only the form KeyCodeToName writes, for the codes a key can have.
std::int16_t BracketedCode(std::string_view name) {
    if (name.size() < 3 || name.size() > 5 || name.front() != '[' || name.back() != ']' ||
        name[1] == '0') {
        return -1;
    }
    int code = 0;
    for (const char c : name.substr(1, name.size() - 2)) {
        if (c < '0' || c > '9') {
            return -1;
        }
        code = code * 10 + (c - '0');
    }
    return code >= kFirstKeyCode && code <= kLastKeyCode ? static_cast<std::int16_t>(code) : -1;
}

}  // namespace

std::span<const KeyName> KeyVocabulary() {
    return kVocabulary;
}

std::int16_t KeyNameToCode(std::string_view name) {
    if (name.empty()) {
        return 0;
    }
    // Only ASCII letters are folded: every name of the vocabulary is ASCII, so
    // folding other bytes could only turn a non-name into a name.
    for (const KeyName& entry : kVocabulary) {
        if (EqualsIgnoringAsciiCase(name, entry.name)) {
            return entry.code;
        }
    }
    // A captured key whose code has no name, written back as its number.
    return BracketedCode(name);
}

std::string KeyCodeToName(std::int16_t code) {
    for (const KeyName& entry : kVocabulary) {
        if (entry.code == code && entry.canonical) {
            return std::string(entry.name);
        }
    }
    return "[" + std::to_string(code) + "]";
}

std::vector<KeyStroke> ReadKeyList(std::string_view stored) {
    std::vector<KeyStroke> events;
    if (stored.empty()) {
        return events;
    }
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = stored.find(',', pos);
        const std::string_view entry = TrimBlanks(
            stored.substr(pos, comma == std::string_view::npos ? stored.npos : comma - pos));
        const bool press = !entry.empty() && entry.front() == 'D';
        // The marker is the entry's first character, which in UTF-8 text may
        // take several bytes; the name starts after all of them.
        const std::string_view name = TrimBlanks(entry.substr(Utf8CharLength(entry)));
        events.push_back(KeyStroke{KeyNameToCode(name), !press});
        if (comma == std::string_view::npos) {
            return events;
        }
        pos = comma + 1;
    }
}

std::string EditorToStoredKeyList(std::string_view editor) {
    return ReplaceAll(editor, "\r\n", ", ");
}

std::string StoredToEditorKeyList(std::string_view stored) {
    std::string editor = ReplaceAll(stored, ",", "\r\n");
    std::erase(editor, ' ');
    return editor;
}

}  // namespace qv
