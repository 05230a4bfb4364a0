#pragma once
// The keys of the layout tests: every key of a US (pc105) or Japanese
// (jp106) keyboard that key capture records, by its name in xkb's keycode
// list, with the name the key list must store for it (the code Windows
// gives the key on that layout). Shared by the X11 and the Wayland tests of
// the real program.

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {

// One key of the table: its name in X's keycode list, whether Shift is held,
// the name the key list must store for it (the code Windows' US 101/104 or
// Japanese 106/109 layout gives the key; "[nnn]" for codes without a name,
// which are sent as that code all the same), and, where it differs from what
// the key typed, the keysym its replay types.
struct KeyCase {
    KeyCase(std::string keyName, bool withShift, std::string recordedName,
            std::string replayedKeysym = {})
        : key(std::move(keyName)),
          shift(withShift),
          recorded(std::move(recordedName)),
          replays(std::move(replayedKeysym)) {}
    std::string key;
    bool shift;
    std::string recorded;
    std::string replays;  // "": what pressing the key typed
};

// The keys stored in one slot; the slot's comment names it.
struct Group {
    std::string comment;
    std::vector<KeyCase> keys;
};

inline std::vector<Group> Groups(const std::string& layout) {
    const bool jp = layout == "jp";
    std::vector<Group> groups;

    Group letters{"letters", {}};
    const char* letterKeys[] = {"AC01", "AB05", "AB03", "AC03", "AD03", "AC04", "AC05",
                                "AC06", "AD08", "AC07", "AC08", "AC09", "AB07", "AB06",
                                "AD09", "AD10", "AD01", "AD04", "AC02", "AD05", "AD07",
                                "AB04", "AD02", "AB02", "AD06", "AB01"};
    for (int i = 0; i < 26; ++i) {
        letters.keys.push_back({letterKeys[i], false, std::string(1, static_cast<char>('A' + i))});
    }
    letters.keys.push_back({"AC01", true, "A"});
    letters.keys.push_back({"AB01", true, "Z"});
    groups.push_back(letters);

    // Shift+digit is the digit key on every layout; the layout decides what
    // it types ("2" with Shift: '"' on jp, '@' on us).
    Group digits{"digits", {}};
    for (int shift = 0; shift < 2; ++shift) {
        for (int digit = 1; digit <= 10; ++digit) {
            char key[8];
            std::snprintf(key, sizeof key, "AE%02d", digit);
            digits.keys.push_back({key, shift == 1, std::string(1, '0' + digit % 10)});
        }
    }
    groups.push_back(digits);

    // Every punctuation key of the main block, with and without Shift: the
    // OEM codes are at 0xBA and above, which have no name and are written as
    // their number.
    Group punctuation{"punctuation", {}};
    const std::vector<std::pair<const char*, const char*>> punctuationKeys =
        jp ? std::vector<std::pair<const char*, const char*>>{
                 {"AE11", "[189]"},  // - =   VK_OEM_MINUS
                 {"AE12", "[222]"},  // ^ ~   VK_OEM_7
                 {"AE13", "[220]"},  // ¥ |   VK_OEM_5
                 {"AD11", "[192]"},  // @ `   VK_OEM_3
                 {"AD12", "[219]"},  // [ {   VK_OEM_4
                 {"AC10", "[187]"},  // ; +   VK_OEM_PLUS
                 {"AC11", "[186]"},  // : *   VK_OEM_1
                 {"BKSL", "[221]"},  // ] }   VK_OEM_6
                 {"AB08", "[188]"},  // , <   VK_OEM_COMMA
                 {"AB09", "[190]"},  // . >   VK_OEM_PERIOD
                 {"AB10", "[191]"},  // / ?   VK_OEM_2
                 {"AB11", "[226]"},  // \ _ (ろ) VK_OEM_102
             }
           : std::vector<std::pair<const char*, const char*>>{
                 {"TLDE", "[192]"},  // ` ~   VK_OEM_3
                 {"AE11", "[189]"},  // - _   VK_OEM_MINUS
                 {"AE12", "[187]"},  // = +   VK_OEM_PLUS
                 {"AD11", "[219]"},  // [ {   VK_OEM_4
                 {"AD12", "[221]"},  // ] }   VK_OEM_6
                 {"BKSL", "[220]"},  // \ |   VK_OEM_5
                 {"AC10", "[186]"},  // ; :   VK_OEM_1
                 {"AC11", "[222]"},  // ' "   VK_OEM_7
                 {"AB08", "[188]"},  // , <   VK_OEM_COMMA
                 {"AB09", "[190]"},  // . >   VK_OEM_PERIOD
                 {"AB10", "[191]"},  // / ?   VK_OEM_2
                 {"LSGT", "[226]"},  // < >   VK_OEM_102 (ISO keyboards)
             };
    for (const auto& [key, name] : punctuationKeys) {
        punctuation.keys.push_back({key, false, name});
        punctuation.keys.push_back({key, true, name});
    }
    groups.push_back(punctuation);

    // The input-method keys, the keypad with Num Lock on, and the function,
    // editing and navigation keys.
    Group others{"others", {}};
    if (jp) {
        others.keys.push_back({"TLDE", false, "[243]"});  // 半角/全角: VK_DBE_SBCSCHAR
        others.keys.push_back({"CAPS", false, "[240]"});  // 英数: VK_DBE_ALPHANUMERIC
    }
    // カタカナ/ひらがな: VK_DBE_HIRAGANA; 変換, 無変換 (X's us keymap has them too).
    others.keys.push_back({"HKTG", false, "[242]"});
    others.keys.push_back({"HENK", false, "[CONVERT]"});
    others.keys.push_back({"MUHE", false, "[NONCONVERT]"});
    for (int digit = 0; digit <= 9; ++digit) {
        others.keys.push_back(
            {"KP" + std::to_string(digit), false, "[NUMPAD" + std::to_string(digit) + "]"});
    }
    // The keypad's Enter shares VK_RETURN with the main Enter key, which is
    // what a key list replays (on Windows too).
    for (const KeyCase& k :
         {KeyCase{"KPDL", false, "[DECIMAL]"},  KeyCase{"KPAD", false, "[ADD]"},
          KeyCase{"KPSU", false, "[SUBTRACT]"}, KeyCase{"KPMU", false, "[MULTIPLY]"},
          KeyCase{"KPDV", false, "[DIVIDE]"},   KeyCase{"KPEN", false, "[RETURN]", "Return"},
          KeyCase{"SPCE", false, "[SPACE]"},    KeyCase{"RTRN", false, "[RETURN]"},
          KeyCase{"ESC", false, "[ESCAPE]"},    KeyCase{"TAB", false, "[TAB]"},
          KeyCase{"BKSP", false, "[BACK]"},     KeyCase{"FK05", false, "[F5]"},
          KeyCase{"INS", false, "[INSERT]"},    KeyCase{"DELE", false, "[DELETE]"},
          KeyCase{"HOME", false, "[HOME]"},     KeyCase{"END", false, "[END]"},
          KeyCase{"PGUP", false, "[PAGEUP]"},   KeyCase{"PGDN", false, "[PAGEDOWN]"},
          KeyCase{"LEFT", false, "[LEFT]"},     KeyCase{"UP", false, "[UP]"},
          KeyCase{"RGHT", false, "[RIGHT]"},    KeyCase{"DOWN", false, "[DOWN]"}}) {
        others.keys.push_back(k);
    }
    groups.push_back(others);
    return groups;
}

// Every group's keys end with F9, which tells the end of the group's keys
// in the target's log.
inline const KeyCase kEndMark{"FK09", false, "[F9]"};

// The stored form of a group's key list as the store command writes it.
inline std::string ExpectedKeyList(const Group& group) {
    std::string line;
    const auto add = [&line](const std::string& entry) {
        line += (line.empty() ? "" : ", ") + entry;
    };
    std::vector<KeyCase> keys = group.keys;
    keys.push_back(kEndMark);
    for (const KeyCase& k : keys) {
        if (k.shift) {
            add("D[SHIFT]");
        }
        add("D" + k.recorded);
        add("U" + k.recorded);
        if (k.shift) {
            add("U[SHIFT]");
        }
    }
    return line;
}

// The key names of a stored key list's presses, Shift's left out: one per
// key of the group, in order, when the list is as it should be.
inline std::vector<std::string> PressedNames(const std::string& keyList) {
    std::vector<std::string> names;
    std::istringstream in(keyList);
    std::string entry;
    while (std::getline(in, entry, ',')) {
        const std::size_t start = entry.find_first_not_of(' ');
        if (start != std::string::npos && entry[start] == 'D' &&
            entry.compare(start, std::string::npos, "D[SHIFT]") != 0) {
            names.push_back(entry.substr(start + 1));
        }
    }
    return names;
}

// Places in the window's client area (QtMainWindow's layout: the page lies at
// (10, 36), the tab strip at (8, 8)).
inline constexpr int kPageX = 10;
inline constexpr int kPageY = 36;
struct Spot {
    int x;
    int y;
};
inline constexpr Spot kRunTab{8 + 20, 8 + 13};                         // "パルス待ち"
inline constexpr Spot kKeyList{kPageX + 145 + 60, kPageY + 172 + 40};  // "送信キーリスト"
inline constexpr Spot kComment{kPageX + 145 + 100, kPageY + 42 + 12};  // "コメント"
inline constexpr Spot kWindowName{kPageX + 145 + 100, kPageY + 140 + 12};  // "送信ウィンドウ"
inline constexpr Spot kStore{kPageX + 265 + 57, kPageY + 268 + 14};        // "追加 / 変更"
inline constexpr Spot kForward{kPageX + 238 + 13, kPageY + 10 + 12};       // the step forward

}  // namespace qv::test
