#include "keys/KeyNames.h"

#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <map>
#include <set>
#include <string>

namespace qv {
namespace {

TEST(KeyNameToCode, EmptyAndBlankNames) {
    EXPECT_EQ(KeyNameToCode(""), 0);
    EXPECT_EQ(KeyNameToCode(" "), -1);  // nothing is trimmed here
    EXPECT_EQ(KeyNameToCode("[RETURN] "), -1);
    EXPECT_EQ(KeyNameToCode(" [RETURN]"), -1);
    EXPECT_EQ(KeyNameToCode("[ RETURN ]"), -1);
    EXPECT_EQ(KeyNameToCode("RETURN"), -1);
}

TEST(KeyNameToCode, LetterCaseIsIgnored) {
    EXPECT_EQ(KeyNameToCode("[ctrl]"), 0x11);
    EXPECT_EQ(KeyNameToCode("[ReTuRn]"), 0x0D);
    EXPECT_EQ(KeyNameToCode("d"), 0x44);
    EXPECT_EQ(KeyNameToCode("a"), 0x41);
    EXPECT_EQ(KeyNameToCode("[NUMLOCK]"), 0x90);
    EXPECT_EQ(KeyNameToCode("[Numlock]"), 0x90);
    EXPECT_EQ(KeyNameToCode("[numlock]"), 0x90);
    EXPECT_EQ(KeyNameToCode("[browser_back]"), 0xA6);
}

TEST(KeyNameToCode, SynonymsGiveTheSameCode) {
    EXPECT_EQ(KeyNameToCode("[CTRL]"), KeyNameToCode("[CONTROL]"));
    EXPECT_EQ(KeyNameToCode("[ALT]"), 0x12);
    EXPECT_EQ(KeyNameToCode("[MENU]"), 0x12);
    EXPECT_EQ(KeyNameToCode("[PAGEUP]"), 0x21);
    EXPECT_EQ(KeyNameToCode("[PRIOR]"), 0x21);
    EXPECT_EQ(KeyNameToCode("[PAGEDOWN]"), 0x22);
    EXPECT_EQ(KeyNameToCode("[NEXT]"), 0x22);
}

TEST(KeyNameToCode, NumberedNames) {
    EXPECT_EQ(KeyNameToCode("[F1]"), 0x70);
    EXPECT_EQ(KeyNameToCode("[F12]"), 0x7B);
    EXPECT_EQ(KeyNameToCode("[F24]"), 0x87);
    EXPECT_EQ(KeyNameToCode("[NUMPAD0]"), 0x60);
    EXPECT_EQ(KeyNameToCode("[NUMPAD9]"), 0x69);
    EXPECT_EQ(KeyNameToCode("0"), 0x30);
    EXPECT_EQ(KeyNameToCode("9"), 0x39);
    for (const char* notAName : {"[F0]", "[F25]", "[F01]", "[NUMPAD10]", "[NUMPAD]", "[F]", "10",
                                 "AB", "[0]", "[-1]", "F1", "[", "]", "[]"}) {
        EXPECT_EQ(KeyNameToCode(notAName), -1) << notAName;
    }
}

// A captured key whose code has no name is written as its number, and that
// number reads back as the code: the key list sends what was recorded.
TEST(KeyNameToCode, BracketedDecimalIsTheCodeItself) {
    EXPECT_EQ(KeyNameToCode("[1]"), 1);
    EXPECT_EQ(KeyNameToCode("[186]"), 0xBA);  // VK_OEM_1
    EXPECT_EQ(KeyNameToCode("[226]"), 0xE2);  // VK_OEM_102
    EXPECT_EQ(KeyNameToCode("[243]"), 0xF3);  // 半角/全角
    EXPECT_EQ(KeyNameToCode("[254]"), 254);
    // Codes that have a name read in either form.
    EXPECT_EQ(KeyNameToCode("[13]"), KeyNameToCode("[RETURN]"));
    EXPECT_EQ(KeyNameToCode("[65]"), KeyNameToCode("A"));
}

TEST(KeyNameToCode, BracketedDecimalOutsideTheKeyCodesOrNotAsWrittenIsUnknown) {
    // 0 is no key and 255 is what Windows reports for keys without a code;
    // only the form KeyCodeToName writes counts: no sign, no leading zero,
    // no blank, nothing but digits.
    for (const char* name : {"[0]",    "[255]",  "[256]",  "[999]", "[32767]", "[99999]", "[-1]",
                             "[-186]", "[+186]", "[0186]", "[00]",  "[ 186]",  "[186 ]",  "[1 86]",
                             "[1e2]",  "[0x1]",  "[18a]",  "[186",  "186]",    "186",     "[]"}) {
        EXPECT_EQ(KeyNameToCode(name), -1) << name;
    }
}

TEST(KeyNameToCode, OnlyAsciiLettersAreFolded) {
    // Non-ASCII bytes (here the UTF-8 of a small sharp s) never become a name.
    EXPECT_EQ(KeyNameToCode("\xC3\x9F"), -1);
    EXPECT_EQ(KeyNameToCode("[RETURN\xC3\x9F]"), -1);
}

TEST(KeyCodeToName, CanonicalNames) {
    EXPECT_EQ(KeyCodeToName(0x11), "[CTRL]");
    EXPECT_EQ(KeyCodeToName(0x12), "[ALT]");
    EXPECT_EQ(KeyCodeToName(0x21), "[PAGEUP]");
    EXPECT_EQ(KeyCodeToName(0x22), "[PAGEDOWN]");
    EXPECT_EQ(KeyCodeToName(0x90), "[Numlock]");
    EXPECT_EQ(KeyCodeToName(0xA6), "[BROWSER_BACK]");
    EXPECT_EQ(KeyCodeToName(0x5A), "Z");
    EXPECT_EQ(KeyCodeToName(0x35), "5");
    EXPECT_EQ(KeyCodeToName(0x6A), "[MULTIPLY]");
    EXPECT_EQ(KeyCodeToName(0x65), "[NUMPAD5]");
    EXPECT_EQ(KeyCodeToName(0x74), "[F5]");
    EXPECT_EQ(KeyCodeToName(0x87), "[F24]");
    EXPECT_EQ(KeyCodeToName(0xB7), "[LAUNCH_APP2]");
}

TEST(KeyCodeToName, UnnamedCodesInBracketedDecimal) {
    EXPECT_EQ(KeyCodeToName(0x05), "[5]");
    EXPECT_EQ(KeyNameToCode(KeyCodeToName(0x05)), 0x05);
    EXPECT_EQ(KeyCodeToName(0xBA), "[186]");
    EXPECT_EQ(KeyCodeToName(0xB8), "[184]");
    EXPECT_EQ(KeyCodeToName(0), "[0]");
    EXPECT_EQ(KeyCodeToName(-1), "[-1]");
    EXPECT_EQ(KeyCodeToName(-32768), "[-32768]");
    EXPECT_EQ(KeyCodeToName(256), "[256]");
    for (int code : {0x06, 0x07, 0x0A, 0x0B, 0x0E, 0x0F, 0x16, 0x17, 0x18, 0x1A, 0x1E, 0x3A, 0x40,
                     0x5E, 0x88, 0x8F, 0x92, 0x9F, 0xFF}) {
        EXPECT_EQ(KeyCodeToName(static_cast<std::int16_t>(code)), "[" + std::to_string(code) + "]");
    }
}

TEST(KeyVocabulary, EveryNamedCodeRoundTrips) {
    std::set<int> named;
    for (const KeyName& entry : KeyVocabulary()) {
        EXPECT_EQ(KeyNameToCode(entry.name), entry.code) << entry.name;
        named.insert(entry.code);
    }
    // The vocabulary holds 141 codes: every one has exactly one canonical name
    // that reads back to it; every other code is written in decimal, which
    // reads back to the code for the key codes 1..254 and as -1 otherwise.
    EXPECT_EQ(named.size(), 141u);
    for (int code = -2; code <= 0x1FF; ++code) {
        const std::string name = KeyCodeToName(static_cast<std::int16_t>(code));
        if (named.count(code) != 0) {
            EXPECT_EQ(KeyNameToCode(name), code) << name;
            const bool decimalForm = name.size() > 1 && name[0] == '[' &&
                                     ((name[1] >= '0' && name[1] <= '9') || name[1] == '-');
            EXPECT_FALSE(decimalForm) << name;
        } else {
            EXPECT_EQ(name, "[" + std::to_string(code) + "]");
            EXPECT_EQ(KeyNameToCode(name), code >= 1 && code <= 254 ? code : -1) << name;
        }
    }
}

// The vocabulary written out code by code, independently of the table in the
// code: every code from -1 to 0x1FF gets exactly this name (or the bracketed
// decimal form), and the name reads back to the code in any letter case.
TEST(KeyVocabulary, EveryCodeAgainstTheWrittenOutTable) {
    std::map<int, std::string> expected;
    auto run = [&expected](int first, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            expected[first++] = name;
        }
    };
    run(0x01, {"[LBUTTON]", "[RBUTTON]", "[CANCEL]", "[MBUTTON]"});
    run(0x08, {"[BACK]", "[TAB]"});
    run(0x0C, {"[CLEAR]", "[RETURN]"});
    run(0x10, {"[SHIFT]", "[CTRL]", "[ALT]", "[PAUSE]", "[CAPITAL]", "[KANA]"});
    run(0x19, {"[KANJI]"});
    run(0x1B, {"[ESCAPE]", "[CONVERT]", "[NONCONVERT]"});
    run(0x1F, {"[MODECHANGE]", "[SPACE]", "[PAGEUP]", "[PAGEDOWN]", "[END]", "[HOME]", "[LEFT]",
               "[UP]", "[RIGHT]", "[DOWN]", "[SELECT]", "[PRINT]", "[EXECUTE]", "[SNAPSHOT]",
               "[INSERT]", "[DELETE]", "[HELP]"});
    for (int c = '0'; c <= '9'; ++c) {
        expected[c] = std::string(1, static_cast<char>(c));
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        expected[c] = std::string(1, static_cast<char>(c));
    }
    run(0x5B, {"[LWIN]", "[RWIN]", "[APPS]"});
    run(0x5F, {"[SLEEP]"});
    for (int d = 0; d <= 9; ++d) {
        expected[0x60 + d] = "[NUMPAD" + std::to_string(d) + "]";
    }
    run(0x6A, {"[MULTIPLY]", "[ADD]", "[SEPARATOR]", "[SUBTRACT]", "[DECIMAL]", "[DIVIDE]"});
    for (int n = 1; n <= 24; ++n) {
        expected[0x6F + n] = "[F" + std::to_string(n) + "]";
    }
    run(0x90, {"[Numlock]", "[SCROLL]"});
    run(0xA0, {"[LSHIFT]",
               "[RSHIFT]",
               "[LCONTROL]",
               "[RCONTROL]",
               "[LMENU]",
               "[RMENU]",
               "[BROWSER_BACK]",
               "[BROWSER_FORWARD]",
               "[BROWSER_REFRESH]",
               "[BROWSER_STOP]",
               "[BROWSER_SEARCH]",
               "[BROWSER_FAVORITES]",
               "[BROWSER_HOME]",
               "[VOLUME_MUTE]",
               "[VOLUME_DOWN]",
               "[VOLUME_UP]",
               "[MEDIA_NEXT_TRACK]",
               "[MEDIA_PREV_TRACK]",
               "[MEDIA_STOP]",
               "[MEDIA_PLAY_PAUSE]",
               "[LAUNCH_MAIL]",
               "[LAUNCH_MEDIA_SELECT]",
               "[LAUNCH_APP1]",
               "[LAUNCH_APP2]"});
    ASSERT_EQ(expected.size(), 141u);

    for (int code = -1; code <= 0x1FF; ++code) {
        const auto it = expected.find(code);
        const bool named = it != expected.end();
        const std::string name = KeyCodeToName(static_cast<std::int16_t>(code));
        EXPECT_EQ(name, named ? it->second : "[" + std::to_string(code) + "]") << code;
        std::string lower = name;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        const int readBack = named || (code >= 1 && code <= 254) ? code : -1;
        EXPECT_EQ(KeyNameToCode(name), readBack) << name;
        EXPECT_EQ(KeyNameToCode(lower), readBack) << lower;
    }
}

TEST(ReadKeyList, ChordWithAndWithoutBlanks) {
    const std::vector<KeyStroke> expected = {
        {0x11, false}, {0x43, false}, {0x43, true}, {0x11, true}};
    EXPECT_EQ(ReadKeyList("D[CTRL], DC, UC, U[CTRL]"), expected);
    EXPECT_EQ(ReadKeyList("D[CTRL],DC,UC,U[CTRL]"), expected);
    EXPECT_EQ(ReadKeyList("  D [CTRL] ,  D C,U C  ,U   [ctrl]  "), expected);
}

TEST(ReadKeyList, EmptyEntriesAreReleasesOfCodeZero) {
    EXPECT_TRUE(ReadKeyList("").empty());
    EXPECT_EQ(ReadKeyList("DA,,UA"),
              (std::vector<KeyStroke>{{0x41, false}, {0, true}, {0x41, true}}));
    EXPECT_EQ(ReadKeyList("DA,"), (std::vector<KeyStroke>{{0x41, false}, {0, true}}));
    EXPECT_EQ(ReadKeyList(","), (std::vector<KeyStroke>{{0, true}, {0, true}}));
    EXPECT_EQ(ReadKeyList(" "), (std::vector<KeyStroke>{{0, true}}));
    EXPECT_EQ(ReadKeyList("D"), (std::vector<KeyStroke>{{0, false}}));  // press of an empty name
}

TEST(ReadKeyList, OnlyCapitalDPresses) {
    EXPECT_EQ(ReadKeyList("dA"), (std::vector<KeyStroke>{{0x41, true}}));
    EXPECT_EQ(ReadKeyList("XA"), (std::vector<KeyStroke>{{0x41, true}}));
    EXPECT_EQ(ReadKeyList("uA"), (std::vector<KeyStroke>{{0x41, true}}));
    EXPECT_EQ(ReadKeyList("D[NOSUCHKEY]"), (std::vector<KeyStroke>{{-1, false}}));
    EXPECT_EQ(ReadKeyList("D[186], U[186]"), (std::vector<KeyStroke>{{0xBA, false}, {0xBA, true}}));
}

TEST(ReadKeyList, TheMarkerIsOneWholeCharacter) {
    // A marker that is not ASCII is still one character: the name follows it.
    EXPECT_EQ(ReadKeyList("あ[RETURN]"), (std::vector<KeyStroke>{{0x0D, true}}));
    EXPECT_EQ(ReadKeyList("ä A, Д[F1]"), (std::vector<KeyStroke>{{0x41, true}, {0x70, true}}));
    EXPECT_EQ(ReadKeyList("あ"), (std::vector<KeyStroke>{{0, true}}));
    // A stray byte that starts no complete character is a marker of its own.
    EXPECT_EQ(ReadKeyList("\xE3"
                          "A"),
              (std::vector<KeyStroke>{{0x41, true}}));
}

TEST(ReadKeyList, LineBreaksAreNotSeparators) {
    EXPECT_EQ(ReadKeyList("DA\r\nUA"), (std::vector<KeyStroke>{{-1, false}}));
}

TEST(KeyListForms, EditorAndStoredRoundTrip) {
    EXPECT_EQ(EditorToStoredKeyList("D[RETURN]\r\nU[RETURN]"), "D[RETURN], U[RETURN]");
    EXPECT_EQ(StoredToEditorKeyList("D[RETURN], U[RETURN]"), "D[RETURN]\r\nU[RETURN]");
    const std::string editor = "D[CTRL]\r\nDC\r\nUC\r\nU[CTRL]";
    EXPECT_EQ(StoredToEditorKeyList(EditorToStoredKeyList(editor)), editor);
    EXPECT_EQ(EditorToStoredKeyList(""), "");
    EXPECT_EQ(StoredToEditorKeyList(""), "");
}

TEST(KeyListForms, OnlyCrLfAndCommaAndBlanksChange) {
    EXPECT_EQ(EditorToStoredKeyList("DA\nUA\rDB"), "DA\nUA\rDB");  // lone LF or CR stay
    EXPECT_EQ(EditorToStoredKeyList("DA\r\n\r\nUA"), "DA, , UA");
    EXPECT_EQ(StoredToEditorKeyList(" D [RETURN] ,U [ RETURN ] "), "D[RETURN]\r\nU[RETURN]");
    EXPECT_EQ(StoredToEditorKeyList("DA,,UA"), "DA\r\n\r\nUA");
}

}  // namespace
}  // namespace qv
