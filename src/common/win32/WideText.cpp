#include "common/win32/WideText.h"

#include <climits>

#include "common/DebugLog.h"

namespace qv::win32 {
namespace {

// The conversion functions count in int; text longer than that is not ours to convert.
int Length(std::size_t n) {
    return n > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(n);
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
    const int n = Length(text.size());
    if (n <= 0) {
        return {};
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    if (size > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, out.data(), size);
    }
    return out;
}

std::string WideToUtf8(std::wstring_view text) {
    const int n = Length(text.size());
    if (n <= 0) {
        return {};
    }
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), n, out.data(), size, nullptr, nullptr);
    }
    return out;
}

std::optional<std::wstring> CodePageToWide(UINT codePage, std::string_view bytes) {
    const int n = Length(bytes.size());
    if (n < 0) {
        return std::nullopt;
    }
    if (n == 0) {
        return std::wstring();
    }
    const int size =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), n, out.data(), size) !=
        size) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> WideToCodePage(UINT codePage, std::wstring_view text) {
    const int n = Length(text.size());
    if (n < 0) {
        return std::nullopt;
    }
    if (n == 0) {
        return std::string();
    }
    if (codePage == CP_UTF8) {
        // A UTF-8 ANSI code page (a Windows option): every character has a form, and
        // the flags below are refused for it.
        return WideToUtf8(text);
    }
    // WC_NO_BEST_FIT_CHARS and the used-default flag together catch every character
    // that would otherwise come out as a look-alike or as '?'.
    BOOL usedDefault = FALSE;
    const int size = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), n, nullptr,
                                           0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), n, out.data(), size,
                              nullptr, &usedDefault) != size ||
        usedDefault) {
        return std::nullopt;
    }
    return out;
}

std::string ErrorText(std::string_view call, DWORD error) {
    std::string text(call);
    text += ": ";
    wchar_t* message = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (n > 0 && message != nullptr) {
        std::wstring_view m(message, n);
        while (!m.empty() &&
               (m.back() == L'\r' || m.back() == L'\n' || m.back() == L' ' || m.back() == L'.')) {
            m.remove_suffix(1);
        }
        text += WideToUtf8(m);
        text += " ";
    }
    if (message != nullptr) {
        ::LocalFree(message);
    }
    text += "(" + std::to_string(error) + ")";
    return text;
}

void DebugLogLastError(std::string_view call, DWORD error) {
    if (DebugLogEnabled()) {
        DebugLog(ErrorText(call, error));
    }
}

}  // namespace qv::win32
