// The window tests' main: under Wine the tests run on a desktop of their own
// named "shell", which Wine shows as a virtual desktop with a taskbar (and its
// notification area) at the bottom, so that placement beside the taskbar has
// a real taskbar to go by. The test program starts itself again on that
// desktop and hands on its exit code; on Windows it runs where it is.
#include "common/win32/Windows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr wchar_t kChildMark[] = L"QUORVANE_TEST_ON_SHELL_DESKTOP";
constexpr wchar_t kDesktop[] = L"shell";
constexpr wchar_t kDesktopSize[] = L"1280x1024";

bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsChild() {
    wchar_t value[8] = L"";
    return ::GetEnvironmentVariableW(kChildMark, value, 8) > 0;
}

// Wine makes a desktop named in the registry a virtual desktop of that size.
bool ConfigureDesktop() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG set = ::RegSetValueExW(
        key, kDesktop, 0, REG_SZ, reinterpret_cast<const BYTE*>(kDesktopSize), sizeof kDesktopSize);
    ::RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

int RunOnShellDesktop() {
    if (!ConfigureDesktop()) {
        std::fprintf(stderr, "cannot configure Wine's \"shell\" desktop\n");
        return 1;
    }
    ::SetEnvironmentVariableW(kChildMark, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring desktop = kDesktop;
    startup.lpDesktop = desktop.data();
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = ::GetCommandLineW();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "cannot start the tests on the \"shell\" desktop (%lu)\n",
                     static_cast<unsigned long>(::GetLastError()));
        return 1;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    if (UnderWine() && !IsChild()) {
        return RunOnShellDesktop();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
