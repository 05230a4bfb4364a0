#include "common/win32/Windows.h"

#include "app/win32/StartupShortcut.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <vector>

#include "common/win32/WideText.h"

namespace qv {
namespace {

using win32::Utf8ToWide;
using win32::WideToUtf8;

constexpr std::wstring_view kShortcutName = L"Quorvane.lnk";

// Releases a COM interface when it goes.
template <typename Interface>
class ComReference {
public:
    ComReference() = default;
    ~ComReference() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface** Out() { return &pointer_; }
    void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

std::string HresultText(std::string_view call, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(result));
    return std::string(call) + " failed (" + code + ")";
}

// The folder part of a path ("" for a bare name).
std::wstring FolderOf(const std::wstring& path) {
    const auto cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring Join(const std::wstring& folder, std::wstring_view name) {
    std::wstring out = folder;
    if (!out.empty() && out.back() != L'\\' && out.back() != L'/') {
        out += L'\\';
    }
    out += name;
    return out;
}

// Reads a string of the link through `get` into a buffer of `size` characters.
template <typename Getter>
std::wstring LinkString(std::size_t size, Getter get) {
    std::vector<wchar_t> buffer(size, L'\0');
    if (FAILED(get(buffer.data(), static_cast<int>(buffer.size())))) {
        return {};
    }
    buffer.back() = L'\0';
    return buffer.data();
}

std::optional<std::wstring> ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (buffer.size() <= 32768) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return std::nullopt;
        }
        if (n < buffer.size()) {
            return std::wstring(buffer.data(), n);
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::nullopt;
}

std::optional<std::wstring> FullPath(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(size);
    const DWORD n = ::GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
    if (n == 0 || n >= size) {
        return std::nullopt;
    }
    return std::wstring(buffer.data(), n);
}

StartupResult Failure(const std::string& programName, const std::string& message) {
    return StartupResult{1, "", programName + ": " + message + "\n"};
}

}  // namespace

std::wstring QuoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        return std::wstring(argument);
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are read as escapes: double them, then
        // escape the quote itself.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');  // before the closing quote
    out += L'"';
    return out;
}

Shortcut StartupShortcutFor(const std::wstring& program, const std::wstring& configPath) {
    Shortcut shortcut;
    shortcut.target = program;
    if (!configPath.empty()) {
        shortcut.arguments = L"--config " + QuoteArgument(configPath);
    }
    shortcut.workingFolder = FolderOf(program);
    shortcut.iconPath = program;
    shortcut.iconIndex = 0;
    shortcut.description = L"Quorvane: infrared remote control as a keyboard, started at login";
    return shortcut;
}

std::optional<std::string> WriteShortcut(const std::wstring& path, const Shortcut& shortcut) {
    ComReference<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    link.OutVoid());
    if (FAILED(hr)) {
        return HresultText("CoCreateInstance(ShellLink)", hr);
    }
    if (FAILED(hr = link->SetPath(shortcut.target.c_str())) ||
        FAILED(hr = link->SetArguments(shortcut.arguments.c_str())) ||
        FAILED(hr = link->SetWorkingDirectory(shortcut.workingFolder.c_str())) ||
        FAILED(hr = link->SetIconLocation(shortcut.iconPath.c_str(), shortcut.iconIndex)) ||
        FAILED(hr = link->SetDescription(shortcut.description.c_str()))) {
        return HresultText("IShellLinkW", hr);
    }
    ComReference<IPersistFile> file;
    if (FAILED(hr = link->QueryInterface(IID_IPersistFile, file.OutVoid()))) {
        return HresultText("QueryInterface(IPersistFile)", hr);
    }
    // Saved beside the old one first: the folder never holds half a shortcut.
    const std::wstring temporary = path + L".new";
    if (FAILED(hr = file->Save(temporary.c_str(), TRUE))) {
        ::DeleteFileW(temporary.c_str());
        return HresultText("IPersistFile::Save(" + WideToUtf8(temporary) + ")", hr);
    }
    if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temporary.c_str());
        return win32::ErrorText("MoveFileExW(" + WideToUtf8(path) + ")", error);
    }
    return std::nullopt;
}

std::optional<Shortcut> ReadShortcut(const std::wstring& path) {
    ComReference<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.OutVoid()))) {
        return std::nullopt;
    }
    ComReference<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) ||
        FAILED(file->Load(path.c_str(), STGM_READ))) {
        return std::nullopt;
    }
    Shortcut shortcut;
    constexpr std::size_t kLong = 32768;
    shortcut.target = LinkString(kLong, [&](wchar_t* text, int size) {
        return link->GetPath(text, size, nullptr, SLGP_RAWPATH);
    });
    shortcut.arguments =
        LinkString(kLong, [&](wchar_t* text, int size) { return link->GetArguments(text, size); });
    shortcut.workingFolder = LinkString(
        kLong, [&](wchar_t* text, int size) { return link->GetWorkingDirectory(text, size); });
    shortcut.iconPath = LinkString(kLong, [&](wchar_t* text, int size) {
        return link->GetIconLocation(text, size, &shortcut.iconIndex);
    });
    shortcut.description = LinkString(
        INFOTIPSIZE, [&](wchar_t* text, int size) { return link->GetDescription(text, size); });
    return shortcut;
}

StartupResult SetStartupShortcut(bool on, const std::wstring& folder, const std::wstring& program,
                                 const std::wstring& configPath, const std::string& programName) {
    if (folder.empty()) {
        return Failure(programName, "no Startup folder");
    }
    const std::wstring path = Join(folder, kShortcutName);
    const std::string shown = WideToUtf8(path);
    if (!on) {
        if (::DeleteFileW(path.c_str())) {
            return StartupResult{0, programName + ": autostart off: removed " + shown + "\n", ""};
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return StartupResult{0, programName + ": autostart was off: no " + shown + "\n", ""};
        }
        return Failure(programName, win32::ErrorText("DeleteFileW(" + shown + ")", error));
    }
    if (const auto why = WriteShortcut(path, StartupShortcutFor(program, configPath))) {
        return Failure(programName, "cannot write " + shown + ": " + *why);
    }
    return StartupResult{0, programName + ": autostart on: " + shown + "\n", ""};
}

int RunAutostartOption(bool on, const std::string& configPath, const std::string& programName) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    StartupResult result;
    PWSTR folder = nullptr;
    const std::optional<std::wstring> program = ProgramPath();
    std::optional<std::wstring> config = std::wstring();
    if (!configPath.empty()) {
        config = FullPath(Utf8ToWide(configPath));
    }
    if (FAILED(com)) {
        result = Failure(programName, HresultText("CoInitializeEx", com));
    } else if (const HRESULT hr =
                   ::SHGetKnownFolderPath(FOLDERID_Startup, KF_FLAG_CREATE, nullptr, &folder);
               FAILED(hr)) {
        result = Failure(programName, HresultText("SHGetKnownFolderPath(FOLDERID_Startup)", hr));
    } else if (!program) {
        result = Failure(programName, "cannot find the program's own path");
    } else if (!config) {
        result = Failure(programName, configPath + ": not a usable path");
    } else {
        result = SetStartupShortcut(on, folder, *program, *config, programName);
    }
    ::CoTaskMemFree(folder);
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    std::fputs(result.output.c_str(), stdout);
    std::fputs(result.error.c_str(), stderr);
    return result.exitCode;
}

}  // namespace qv
