#include "config/win32/Win32ConfigFiles.h"

#include "common/win32/Windows.h"

#include <shlobj.h>

#include <climits>
#include <vector>

#include "common/DebugLog.h"
#include "common/win32/UniqueHandle.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

using win32::DebugLogLastError;
using win32::UniqueHandle;
using win32::Utf8ToWide;
using win32::WideToUtf8;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The folder part of a path ("" for a bare file name); "C:\" stays "C:\".
std::string ParentOf(std::string_view path) {
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string_view::npos) {
        return {};
    }
    if (cut == 2 && path.size() > 2 && path[1] == ':') {
        return std::string(path.substr(0, 3));
    }
    return std::string(path.substr(0, cut));
}

std::string FileNameOf(std::string_view path) {
    const auto cut = path.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string Join(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && !IsSeparator(out.back())) {
        out += '\\';
    }
    out += name;
    return out;
}

// Creates `dir` and its missing parents; true when it is a folder afterwards.
bool MakeFolders(const std::string& dir) {
    if (dir.empty()) {
        return true;
    }
    const std::wstring wide = Utf8ToWide(dir);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DebugLog(dir + " is not a folder");
            return false;
        }
        return true;
    }
    const std::string parent = ParentOf(dir);
    if (!parent.empty() && parent != dir && !MakeFolders(parent)) {
        return false;
    }
    if (!::CreateDirectoryW(wide.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        DebugLogLastError("CreateDirectoryW(" + dir + ")");
        return false;
    }
    return true;
}

// Plain files only: reading a pipe could block for good, and "replacing" a
// device would create a file that shadows nothing.
bool IsDiskFile(HANDLE file, const std::string& path) {
    const DWORD type = ::GetFileType(file);
    if (type != FILE_TYPE_DISK) {
        DebugLog(path + " is a device or a pipe, not a file");
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) {
        DebugLogLastError("GetFileInformationByHandle(" + path + ")");
        return false;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        DebugLog(path + " is a folder");
        return false;
    }
    return true;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            DebugLogLastError("WriteFile");
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Writes the temporary file completely and durably; false (and no file left) on failure.
bool WriteTemporary(const std::wstring& tmp, std::string_view bytes) {
    UniqueHandle file(::CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!file.Valid()) {
        DebugLogLastError("CreateFileW(" + WideToUtf8(tmp) + ")");
        return false;
    }
    bool ok = WriteAll(file.Get(), bytes);
    if (ok && !::FlushFileBuffers(file.Get())) {
        DebugLogLastError("FlushFileBuffers");
        ok = false;
    }
    file.Reset();
    if (!ok && !::DeleteFileW(tmp.c_str())) {
        DebugLogLastError("DeleteFileW(" + WideToUtf8(tmp) + ")");
    }
    return ok;
}

}  // namespace

ReadStatus Win32ConfigFiles::ReadFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const std::wstring wide = Utf8ToWide(path);
    UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return ReadStatus::NotFound;
        }
        DebugLogLastError("CreateFileW(" + path + ")", error);
        return ReadStatus::Error;
    }
    if (!IsDiskFile(file.Get(), path)) {
        return ReadStatus::Error;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0 && size.QuadPart < INT_MAX) {
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    std::vector<char> buffer(65536);
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                        nullptr)) {
            DebugLogLastError("ReadFile(" + path + ")");
            bytes.clear();
            return ReadStatus::Error;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer.data(), got);
    }
    return ReadStatus::Ok;
}

bool Win32ConfigFiles::ReplaceFile(const std::string& path, std::string_view bytes) {
    if (!MakeFolders(ParentOf(path))) {
        return false;
    }
    const std::wstring target = Utf8ToWide(path);
    bool exists = false;
    {
        UniqueHandle old(::CreateFileW(target.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (old.Valid()) {
            if (!IsDiskFile(old.Get(), path)) {
                return false;
            }
            // The user's "do not change this file": Windows refuses to replace it too,
            // but not every file system that Windows programs run on does.
            BY_HANDLE_FILE_INFORMATION info{};
            if (::GetFileInformationByHandle(old.Get(), &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
                DebugLog(path + " is read-only");
                return false;
            }
            exists = true;
        } else if (const DWORD error = ::GetLastError();
                   error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            // A folder cannot be opened this way either: refuse it like anything
            // we cannot look at.
            DebugLogLastError("CreateFileW(" + path + ")", error);
            return false;
        }
    }

    const std::wstring tmp = Utf8ToWide(TemporaryPathFor(path));
    if (!WriteTemporary(tmp, bytes)) {
        return false;
    }
    if (exists && ::ReplaceFileW(target.c_str(), tmp.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        return true;
    }
    if (exists) {
        // The old file vanished meanwhile, or the file system cannot replace (some
        // network shares): a plain move over it still replaces it in one step.
        DebugLogLastError("ReplaceFileW(" + path + ")");
    }
    if (::MoveFileExW(tmp.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DebugLogLastError("MoveFileExW(" + path + ")");
    if (!::DeleteFileW(tmp.c_str())) {
        DebugLogLastError("DeleteFileW(" + WideToUtf8(tmp) + ")");
    }
    return false;
}

std::string Win32ConfigFiles::DefaultIniPath() {
    return DefaultLocation().path;
}

ConfigLocation Win32ConfigFiles::DefaultLocation() {
    return LocationForProgramIn(ExecutableFolder());
}

std::string ExecutableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            DebugLogLastError("GetModuleFileNameW");
            return {};
        }
        if (n < buffer.size()) {
            return ParentOf(WideToUtf8(std::wstring_view(buffer.data(), n)));
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string IniPathForProgramIn(const std::string& programFolder) {
    const ConfigLocation location = LocationForProgramIn(programFolder);
    return location.startFrom.empty() ? location.path : location.startFrom;
}

ConfigLocation LocationForProgramIn(const std::string& programFolder) {
    // Writable means a file can be created there: access checks alone do not see
    // everything that decides it (read-only media, Program Files without elevation).
    bool writable = false;
    if (!programFolder.empty()) {
        const std::wstring probe = Utf8ToWide(Join(programFolder, ".quorvane-write-test"));
        UniqueHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
        writable = file.Valid() || ::GetLastError() == ERROR_FILE_EXISTS;
    }

    std::string appData;
    if (!writable) {
        PWSTR folder = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder))) {
            appData = WideToUtf8(folder);
        } else {
            DebugLog("SHGetKnownFolderPath(FOLDERID_RoamingAppData) failed");
        }
        ::CoTaskMemFree(folder);
    }
    const auto isFile = [](const std::string& path) {
        const DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    };
    const std::string path = ChooseIniPath(programFolder, writable, appData);
    const bool besideIsFile = !programFolder.empty() && isFile(Join(programFolder, kIniFileName));
    return ChooseIniLocation(
        programFolder, writable, appData, besideIsFile,
        ::GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES);
}

std::string ChooseIniPath(std::string_view exeDir, bool exeDirWritable, std::string_view appData) {
    if (!exeDir.empty() && (exeDirWritable || appData.empty())) {
        return Join(exeDir, kIniFileName);
    }
    if (!appData.empty()) {
        return Join(Join(appData, "Quorvane"), kIniFileName);
    }
    return std::string(kIniFileName);
}

ConfigLocation ChooseIniLocation(std::string_view exeDir, bool exeDirWritable,
                                 std::string_view appData, bool besideExeIsFile, bool pathIsThere) {
    ConfigLocation location{ChooseIniPath(exeDir, exeDirWritable, appData), {}};
    const std::string beside = exeDir.empty() ? std::string() : Join(exeDir, kIniFileName);
    if (besideExeIsFile && !pathIsThere && !beside.empty() && location.path != beside) {
        location.startFrom = beside;
    }
    return location;
}

std::string TemporaryPathFor(std::string_view path) {
    return Join(ParentOf(path), "." + FileNameOf(path) + ".tmp");
}

void Win32ConfigFiles::RemoveLeftovers(const std::string& path) {
    const std::string tmp = TemporaryPathFor(path);
    if (::DeleteFileW(Utf8ToWide(tmp).c_str())) {
        DebugLog("removed " + tmp + ", left by an interrupted write");
    } else if (const DWORD error = ::GetLastError();
               error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        DebugLogLastError("DeleteFileW(" + tmp + ")", error);
    }
}

std::optional<std::string> CheckConfigPath(const std::string& path) {
    const std::wstring wide = Utf8ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return path + " is a folder, not a file";
    }
    // Looking at the type opens nothing for reading or writing (access 0).
    UniqueHandle file(::CreateFileW(wide.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        return win32::ErrorText(path, error);
    }
    switch (::GetFileType(file.Get())) {
        case FILE_TYPE_DISK:
            return std::nullopt;
        case FILE_TYPE_PIPE:
            return path + " is a pipe, not a file";
        default:
            return path + " is a device, not a file";
    }
}

std::optional<std::string> PrepareConfigPath(const std::string& given) {
    const std::string path = given.empty() ? Win32ConfigFiles().DefaultIniPath() : given;
    if (auto why = CheckConfigPath(path)) {
        return why;
    }
    Win32ConfigFiles().RemoveLeftovers(path);
    return std::nullopt;
}

}  // namespace qv
