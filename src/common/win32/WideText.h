#pragma once
// Text at the edge to Windows: the program holds UTF-8 inside and calls the
// wide-character (W) functions, so conversions happen here and nowhere else.
// The ANSI code page appears only where Windows itself stores text in it
// (configuration files written by other Windows tools).

#include "common/win32/Windows.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv::win32 {

// UTF-8 to UTF-16; invalid UTF-8 sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// Bytes in `codePage` to UTF-16; nullopt when they are not valid in it.
std::optional<std::wstring> CodePageToWide(UINT codePage, std::string_view bytes);
// UTF-16 to `codePage`; nullopt when a character has no exact form there (no
// best-fit substitutes such as 'e' for 'é', no '?').
std::optional<std::string> WideToCodePage(UINT codePage, std::wstring_view text);

// "call: <system message> (N)" for a failed call and its GetLastError() code.
std::string ErrorText(std::string_view call, DWORD error);
// Writes ErrorText to the debug log.
void DebugLogLastError(std::string_view call, DWORD error = ::GetLastError());

}  // namespace qv::win32
