#pragma once
// The key-name vocabulary of key lists and the two text forms of a key list.
// A key list is a sequence of key presses and releases; the configuration file
// holds it in stored form ("D[CTRL], DC, UC, U[CTRL]"), the key-list box in
// editor form (one entry per line). Everything here is a pure function.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keys/KeyStroke.h"

namespace qv {

// One name of the vocabulary and its virtual-key code.
struct KeyName {
    std::string_view name;  // as written, e.g. "[RETURN]", "A", "[Numlock]"
    std::int16_t code;
    bool canonical;  // true for the name that KeyCodeToName writes for this code
};

// Every name of the vocabulary (synonyms included), in ascending code order.
std::span<const KeyName> KeyVocabulary();

// The virtual-key code of a name (letter case ignored, nothing trimmed): the
// code of a name of the vocabulary; the code itself for a key code written as
// KeyCodeToName writes codes without a name, in decimal between brackets
// ("[186]", 1 to 254, no sign, no leading zero, no blank); 0 for an empty
// name; -1 for anything else ("[NOSUCHKEY]", "[0]", "[255]", "[0186]").
std::int16_t KeyNameToCode(std::string_view name);

// The canonical name of a code, or the code in decimal between brackets
// ("[186]", "[0]", "[-1]") for a code without a name.
std::string KeyCodeToName(std::int16_t code);

// Splits a key list in stored form into its strokes; an empty text gives none.
std::vector<KeyStroke> ReadKeyList(std::string_view stored);

// Editor form to stored form: every CR LF becomes ", ".
std::string EditorToStoredKeyList(std::string_view editor);

// Stored form to editor form: every "," becomes CR LF, then every blank goes.
std::string StoredToEditorKeyList(std::string_view stored);

}  // namespace qv
