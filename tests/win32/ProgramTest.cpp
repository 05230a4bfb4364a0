// quorvane.exe as a user starts it: its command line (help text and exit
// codes) and start at login through a shortcut in the Startup folder.
#include "common/win32/Windows.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempFolder.h"
#include "app/win32/StartupShortcut.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using win32::Utf8ToWide;
using win32::WideToUtf8;

constexpr auto kPatience = 30s;

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // standard output and error, lines joined by '\n'
};

ProgramRun RunProgram(const std::wstring& arguments) {
    ChildProcess program(test::WindowsPath(QV_QUORVANE_EXE), arguments,
                         ChildProcess::Errors::Collected);
    ProgramRun run;
    run.exitCode = program.WaitForExit(kPatience);
    program.WaitForLines([](const std::vector<std::string>&) { return false; }, 2s);
    for (const std::string& line : program.Lines()) {
        run.output += line + "\n";
    }
    return run;
}

// What CommandLineToArgvW makes of a command line (the program's name first).
std::vector<std::wstring> Split(const std::wstring& commandLine) {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> out(argv, argv + count);
    ::LocalFree(argv);
    return out;
}

class StartupShortcutFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { ::CoUninitialize(); }
};

TEST(QuorvaneExeCommandLine, HelpDescribesWindowsAndOtherPlatformsOptionsAreUsageErrors) {
    const ProgramRun help = RunProgram(L"--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Quorvane.ini beside quorvane.exe"), std::string::npos)
        << help.output;
    EXPECT_NE(help.output.find("--simulator=tcp:HOST:PORT"), std::string::npos);
    EXPECT_EQ(help.output.find("--backend"), std::string::npos);
    EXPECT_EQ(help.output.find("XDG"), std::string::npos);

    const ProgramRun backend = RunProgram(L"--backend x11");
    EXPECT_EQ(backend.exitCode, 2);
    EXPECT_NE(backend.output.find("unrecognized option '--backend'"), std::string::npos)
        << backend.output;
    const ProgramRun socket = RunProgram(L"--simulator=/run/quorvane-sim.sock");
    EXPECT_EQ(socket.exitCode, 2);
    EXPECT_NE(socket.output.find("tcp:HOST:PORT"), std::string::npos) << socket.output;
    EXPECT_EQ(RunProgram(L"--autostart maybe").exitCode, 2);
    EXPECT_EQ(RunProgram(L"extra").exitCode, 2);
    EXPECT_EQ(RunProgram(L"--version").exitCode, 0);
}

TEST(StartupShortcutArguments, ReadBackAsWrittenWhateverTheyHold) {
    for (const std::wstring& argument :
         {std::wstring(L"plain"), std::wstring(L"C:\\My Files\\Quorvane.ini"),
          std::wstring(L"C:\\ends in a backslash\\"), std::wstring(L"quote\"inside"),
          std::wstring(L"back\\\\\"slashes before a quote"), std::wstring(L""),
          std::wstring(L"tab\there"), std::wstring(L"\\\\server\\share\\q.ini"),
          std::wstring(L"日本語\\設定.ini")}) {
        const std::vector<std::wstring> args = Split(L"quorvane.exe " + QuoteArgument(argument));
        ASSERT_EQ(args.size(), 2u) << WideToUtf8(argument);
        EXPECT_EQ(args[1], argument);
    }
    EXPECT_EQ(QuoteArgument(L"C:\\q\\a.ini"), L"C:\\q\\a.ini");  // nothing to quote
}

TEST_F(StartupShortcutFiles, AShortcutReadsBackAsWritten) {
    const test::TempFolder folder;
    const std::wstring path = Utf8ToWide(folder.File("Quorvane.lnk"));
    const Shortcut written =
        StartupShortcutFor(L"C:\\Program Files\\Quorvane\\quorvane.exe", L"D:\\my \"q\"\\Q.ini");
    ASSERT_EQ(WriteShortcut(path, written), std::nullopt);
    const std::optional<Shortcut> read = ReadShortcut(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->target, written.target);
    EXPECT_EQ(read->arguments, written.arguments);
    EXPECT_EQ(read->workingFolder, L"C:\\Program Files\\Quorvane");
    EXPECT_EQ(read->iconPath, written.target);
    EXPECT_EQ(read->iconIndex, 0);
    EXPECT_EQ(read->description, written.description);
    EXPECT_EQ(Split(L"quorvane.exe " + read->arguments),
              (std::vector<std::wstring>{L"quorvane.exe", L"--config", L"D:\\my \"q\"\\Q.ini"}));
    // No file of the saving is left beside it.
    EXPECT_EQ(::GetFileAttributesW((path + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ReadShortcut(Utf8ToWide(folder.File("none.lnk"))).has_value());
}

TEST_F(StartupShortcutFiles, OnReplacesTheShortcutOffRemovesItAndOffAgainIsNoError) {
    const test::TempFolder folder;
    const std::wstring dir = Utf8ToWide(folder.Path());
    const std::wstring path = dir + L"\\Quorvane.lnk";
    StartupResult r = SetStartupShortcut(true, dir, L"C:\\q\\quorvane.exe", L"", "quorvane");
    EXPECT_EQ(r.exitCode, 0) << r.error;
    EXPECT_EQ(r.output, "quorvane: autostart on: " + WideToUtf8(path) + "\n");
    ASSERT_TRUE(ReadShortcut(path).has_value());
    EXPECT_EQ(ReadShortcut(path)->arguments, L"");

    r = SetStartupShortcut(true, dir, L"C:\\q\\quorvane.exe", L"C:\\q\\b.ini", "quorvane");
    EXPECT_EQ(r.exitCode, 0) << r.error;
    EXPECT_EQ(ReadShortcut(path)->arguments, L"--config C:\\q\\b.ini");

    r = SetStartupShortcut(false, dir, L"", L"", "quorvane");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "quorvane: autostart off: removed " + WideToUtf8(path) + "\n");
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    r = SetStartupShortcut(false, dir, L"", L"", "quorvane");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "quorvane: autostart was off: no " + WideToUtf8(path) + "\n");

    // A folder that is not there: the failure is said, with status 1.
    r = SetStartupShortcut(true, dir + L"\\missing", L"C:\\q\\quorvane.exe", L"", "quorvane");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.error.find("cannot write"), std::string::npos) << r.error;
}

// The option itself, in the user's Startup folder of this test run's Wine prefix.
TEST_F(StartupShortcutFiles, TheOptionPutsAShortcutToThisProgramIntoTheStartupFolder) {
    PWSTR startup = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Startup, KF_FLAG_CREATE, nullptr, &startup)));
    const std::wstring path = std::wstring(startup) + L"\\Quorvane.lnk";
    ::CoTaskMemFree(startup);

    const ProgramRun on = RunProgram(L"--autostart on --config my-settings.ini");
    EXPECT_EQ(on.exitCode, 0) << on.output;
    EXPECT_NE(on.output.find("autostart on: "), std::string::npos) << on.output;
    const std::optional<Shortcut> shortcut = ReadShortcut(path);
    ASSERT_TRUE(shortcut.has_value());
    wchar_t full[MAX_PATH];
    ASSERT_NE(::GetFullPathNameW(L"my-settings.ini", MAX_PATH, full, nullptr), 0u);
    EXPECT_EQ(Split(L"quorvane.exe " + shortcut->arguments),
              (std::vector<std::wstring>{L"quorvane.exe", L"--config", full}));
    const std::wstring program = test::WindowsPath(QV_QUORVANE_EXE);
    EXPECT_EQ(::CompareStringOrdinal(shortcut->target.c_str(), -1, program.c_str(), -1, TRUE),
              CSTR_EQUAL)
        << WideToUtf8(shortcut->target) << " vs " << WideToUtf8(program);
    EXPECT_EQ(shortcut->iconPath, shortcut->target);

    const ProgramRun off = RunProgram(L"--autostart=off");
    EXPECT_EQ(off.exitCode, 0) << off.output;
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The icon group as the resource compiler stores it.
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;  // 0 for 256
    BYTE height;
    BYTE colors;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(QuorvaneExeIcon, OneIconGroupWithEverySizeOfTheLinuxPackage) {
    const HMODULE exe = ::LoadLibraryExW(test::WindowsPath(QV_QUORVANE_EXE).c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr);
    const HRSRC group = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(exe, group)));
    ASSERT_NE(bytes, nullptr);
    const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
    ASSERT_EQ(::SizeofResource(exe, group), 6 + count * sizeof(IconGroupEntry));
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        IconGroupEntry entry;
        std::memcpy(&entry, bytes + 6 + i * sizeof entry, sizeof entry);
        const int size = entry.width == 0 ? 256 : entry.width;
        EXPECT_EQ(entry.height == 0 ? 256 : entry.height, size);
        EXPECT_EQ(entry.bitCount, 32) << size;
        sizes.push_back(size);
        // Each image is there, a PNG from 128 pixels up, a bitmap below.
        const HRSRC image = ::FindResourceW(exe, MAKEINTRESOURCEW(entry.id), RT_ICON);
        ASSERT_NE(image, nullptr) << size;
        const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(exe, image)));
        ASSERT_GE(::SizeofResource(exe, image), 8u);
        const bool png = std::memcmp(data, "\x89PNG", 4) == 0;
        EXPECT_EQ(png, size >= 128) << size;
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 22, 24, 32, 48, 64, 128, 256}));

    // Windows loads it at each of those sizes (the 256 one from its PNG), with
    // a transparent corner and an opaque middle.
    for (const int size : sizes) {
        const auto icon = static_cast<HICON>(
            ::LoadImageW(exe, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAPINFO header{};
        header.bmiHeader.biSize = sizeof header.bmiHeader;
        header.bmiHeader.biWidth = size;
        header.bmiHeader.biHeight = -size;
        header.bmiHeader.biPlanes = 1;
        header.bmiHeader.biBitCount = 32;
        header.bmiHeader.biCompression = BI_RGB;
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
        const HDC screen = ::GetDC(nullptr);
        EXPECT_EQ(
            ::GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &header, DIB_RGB_COLORS),
            size)
            << size;
        ::ReleaseDC(nullptr, screen);
        EXPECT_EQ(pixels.front() >> 24, 0u) << size << ": corner transparent";
        EXPECT_EQ(pixels[static_cast<std::size_t>(size / 2) * size + size / 2] >> 24, 0xFFu)
            << size << ": middle opaque";
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
    ::FreeLibrary(exe);
}

}  // namespace
}  // namespace qv
