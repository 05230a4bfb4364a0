#include "config/win32/Win32TextCodec.h"

#include "common/win32/Windows.h"

#include "common/win32/WideText.h"

namespace qv {

Win32TextCodec::Win32TextCodec() : codePage_(::GetACP()) {}

std::optional<std::string> Win32TextCodec::Cp932ToUtf8(std::string_view bytes) {
    auto wide = win32::CodePageToWide(codePage_, bytes);
    if (!wide) {
        return std::nullopt;
    }
    return win32::WideToUtf8(*wide);
}

std::optional<std::string> Win32TextCodec::Utf8ToCp932(std::string_view text) {
    // Text that is not valid UTF-8 has no exact form anywhere.
    auto wide = win32::CodePageToWide(CP_UTF8, text);
    if (!wide) {
        return std::nullopt;
    }
    return win32::WideToCodePage(codePage_, *wide);
}

}  // namespace qv
