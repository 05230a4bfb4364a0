#pragma once
// A temporary folder for one test, removed with everything in it at the end, and
// file helpers that look at the bytes on disk. Paths are UTF-8, as the program's.

#include "common/win32/Windows.h"

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/win32/UniqueHandle.h"
#include "common/win32/WideText.h"

namespace qv::test {

inline void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = dir + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(path);
            } else {
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(dir.c_str());
}

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1];
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        if (n == 0 || n > MAX_PATH) {
            throw std::runtime_error("GetTempPathW failed");
        }
        for (unsigned i = 0; i < 1000; ++i) {
            std::wstring dir =
                std::wstring(base) + L"qvtest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64() % 100000) + L"-" + std::to_wstring(i);
            if (::CreateDirectoryW(dir.c_str(), nullptr)) {
                path_ = win32::WideToUtf8(dir);
                return;
            }
        }
        throw std::runtime_error("no temporary folder");
    }
    ~TempFolder() { RemoveTree(win32::Utf8ToWide(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "\\" + std::string(name); }

private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, std::string_view bytes) {
    win32::UniqueHandle file(::CreateFileW(win32::Utf8ToWide(path).c_str(), GENERIC_WRITE, 0,
                                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.Valid() ||
        !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
        throw std::runtime_error("cannot write " + path);
    }
}

inline std::string ReadBytes(const std::string& path) {
    win32::UniqueHandle file(::CreateFileW(win32::Utf8ToWide(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        throw std::runtime_error("cannot read " + path);
    }
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    return out;
}

inline bool Exists(const std::string& path) {
    return ::GetFileAttributesW(win32::Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace qv::test
