#pragma once
// Conversion between UTF-8, which the program uses inside, and code page 932
// (Shift-JIS), the ANSI code page of Japanese Windows, in which configuration
// files written there arrive. The conversion tables are the platform's, so this
// is a port; the Linux backend is IconvTextCodec (config/linux).

#include <optional>
#include <string>
#include <string_view>

namespace qv {

class TextCodec {
public:
    virtual ~TextCodec() = default;
    // Converts code page 932 bytes to UTF-8; nullopt when the bytes are not valid code page 932.
    virtual std::optional<std::string> Cp932ToUtf8(std::string_view bytes) = 0;
    // Converts UTF-8 text to code page 932; nullopt when a character has no code page 932 form.
    virtual std::optional<std::string> Utf8ToCp932(std::string_view text) = 0;
};

}  // namespace qv
