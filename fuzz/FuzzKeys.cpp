// fuzz_keys: key names and key lists in both forms.
//
// The input is used whole as a key name, as a stored key list and as an editor text, and
// its first two bytes as a virtual-key code. Each answer is checked against the rules
// spelled out once more here: names by their shapes (digit, letter, [Fn], [NUMPADn],
// bracketed names of the vocabulary), lists split at ',' with a 'D' marking a press, the
// editor form's CR LF against the stored form's ", ".
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "keys/KeyNames.h"

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = Upper(c);
    }
    return out;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// The name rules by shape; the bracketed words come from the vocabulary table.
std::int16_t RefNameToCode(std::string_view name) {
    if (name.empty()) {
        return 0;
    }
    const std::string u = UpperAscii(name);
    if (u.size() == 1 && ((u[0] >= '0' && u[0] <= '9') || (u[0] >= 'A' && u[0] <= 'Z'))) {
        return static_cast<std::int16_t>(u[0]);
    }
    if (u.size() >= 4 && u.front() == '[' && u.back() == ']') {
        const std::string inner = u.substr(1, u.size() - 2);
        if (inner.size() >= 2 && inner.size() <= 3 && inner[0] == 'F' && inner[1] != '0' &&
            std::isdigit(static_cast<unsigned char>(inner[1])) &&
            (inner.size() == 2 || std::isdigit(static_cast<unsigned char>(inner[2])))) {
            const int n = std::stoi(inner.substr(1));
            if (n >= 1 && n <= 24) {
                return static_cast<std::int16_t>(0x6F + n);
            }
        }
        if (inner.size() == 7 && inner.rfind("NUMPAD", 0) == 0 &&
            std::isdigit(static_cast<unsigned char>(inner[6]))) {
            return static_cast<std::int16_t>(0x60 + (inner[6] - '0'));
        }
        for (const qv::KeyName& k : qv::KeyVocabulary()) {
            if (UpperAscii(k.name) == u) {
                return k.code;
            }
        }
    }
    // A code written as a number between brackets: 1 to 254, digits only,
    // no leading zero.
    if (name.size() >= 3 && name.size() <= 5 && name.front() == '[' && name.back() == ']' &&
        name[1] != '0' && std::all_of(name.begin() + 1, name.end() - 1, [](char c) {
            return c >= '0' && c <= '9';
        })) {
        const int n = std::stoi(std::string(name.substr(1, name.size() - 2)));
        if (n >= 1 && n <= 254) {
            return static_cast<std::int16_t>(n);
        }
    }
    return -1;
}

bool Named(std::int16_t code) {
    for (const qv::KeyName& k : qv::KeyVocabulary()) {
        if (k.code == code) {
            return true;
        }
    }
    return false;
}

std::size_t FirstCharLength(std::string_view s) {
    if (s.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(s[0]);
    const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (n > s.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return n;
}

std::vector<qv::KeyStroke> RefReadKeyList(std::string_view stored) {
    std::vector<qv::KeyStroke> out;
    if (stored.empty()) {
        return out;
    }
    std::vector<std::string_view> entries;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        if (i == stored.size() || stored[i] == ',') {
            entries.push_back(stored.substr(start, i - start));
            start = i + 1;
        }
    }
    for (std::string_view e : entries) {
        e = TrimBlanks(e);
        const bool press = !e.empty() && e[0] == 'D';
        out.push_back({RefNameToCode(TrimBlanks(e.substr(FirstCharLength(e)))), !press});
    }
    return out;
}

std::string Replace(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s.substr(i, from.size()) == from) {
            out += to;
            i += from.size();
        } else {
            out += s[i++];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // A name.
    const std::int16_t code = qv::KeyNameToCode(text);
    QV_FUZZ_CHECK(code == RefNameToCode(text));
    if (code > 0) {
        QV_FUZZ_CHECK(qv::KeyNameToCode(qv::KeyCodeToName(code)) == code);
    }

    // A code.
    if (size >= 2) {
        const auto c = static_cast<std::int16_t>(data[0] | (data[1] << 8));
        const std::string name = qv::KeyCodeToName(c);
        if (Named(c)) {
            QV_FUZZ_CHECK(qv::KeyNameToCode(name) == c);
            if ((c >= 0x30 && c <= 0x39) || (c >= 0x41 && c <= 0x5A)) {
                QV_FUZZ_CHECK(name == std::string(1, static_cast<char>(c)));
            } else if (c >= 0x70 && c <= 0x87) {
                QV_FUZZ_CHECK(name == "[F" + std::to_string(c - 0x6F) + "]");
            } else if (c >= 0x60 && c <= 0x69) {
                QV_FUZZ_CHECK(name == "[NUMPAD" + std::to_string(c - 0x60) + "]");
            }
        } else {
            QV_FUZZ_CHECK(name == "[" + std::to_string(c) + "]");
            QV_FUZZ_CHECK(qv::KeyNameToCode(name) == (c >= 1 && c <= 254 ? c : -1));
        }
    }

    // A stored key list.
    QV_FUZZ_CHECK(qv::ReadKeyList(text) == RefReadKeyList(text));

    // The two forms.
    const std::string stored = qv::EditorToStoredKeyList(text);
    QV_FUZZ_CHECK(stored == Replace(text, "\r\n", ", "));
    std::string editor = Replace(text, ",", "\r\n");
    std::erase(editor, ' ');
    QV_FUZZ_CHECK(qv::StoredToEditorKeyList(text) == editor);
    // An editor text without commas and blanks comes back from its stored form unchanged.
    if (text.find_first_of(", ") == std::string_view::npos) {
        QV_FUZZ_CHECK(qv::StoredToEditorKeyList(stored) == text);
    }
    return 0;
}
