#pragma once
// Comparison of names that Windows treats without regard to ASCII letter case
// (window class names, device paths, key names). Bytes outside A-Z/a-z,
// UTF-8 included, compare as they are.

#include <algorithm>
#include <string_view>

namespace qv {

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

}  // namespace qv
