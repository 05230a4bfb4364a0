// quorvane-inicheck [FILE]: loads a configuration file as the program does at
// start-up and prints the settings, the remote table and the problems found.
// Without FILE it checks the file the program uses without --config: that of
// the quorvane beside this tool, else of the one on PATH, else of an installed
// one. Exit status: 0 the file was read, 1 it could not be read, 2 usage error.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/ConfigCheck.h"
#include "config/IniStore.h"
#include "config/RemoteTable.h"
#include "config/Settings.h"
#include "config/TimeLists.h"
#ifdef _WIN32
#include <vector>

#include "common/win32/Utf8Console.h"
#include "common/win32/WideText.h"
#include "common/win32/Windows.h"
#include "config/win32/Win32ConfigFiles.h"
#include "config/win32/Win32TextCodec.h"
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "config/linux/IconvTextCodec.h"
#include "config/linux/PosixConfigFiles.h"
#endif

namespace {

void Usage(std::FILE* to) {
    std::fputs(
        "Usage: quorvane-inicheck [FILE]\n"
        "Prints the settings and the remote table that Quorvane reads from FILE\n"
        "and the problems it works around. Without FILE: the file the program uses\n"
        "without --config (the quorvane beside this tool, else the one on PATH).\n"
        "Exit status: 0 file read, 1 file missing or unreadable, 2 usage error.\n",
        to);
}

#ifdef _WIN32
constexpr const char* kProgramName = "quorvane.exe";

bool IsProgram(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(qv::win32::Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> ProgramOnPath() {
    wchar_t found[32768];
    const DWORD n = ::SearchPathW(nullptr, L"quorvane.exe", nullptr, 32768, found, nullptr);
    if (n == 0 || n >= 32768) {
        return std::nullopt;
    }
    return qv::win32::WideToUtf8(std::wstring_view(found, n));
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}
#else
constexpr const char* kProgramName = "quorvane";

bool IsProgram(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> ProgramOnPath() {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/quorvane";
        if (IsProgram(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string(".") : (cut == 0 ? "/" : path.substr(0, cut));
}
#endif

// The program whose file is checked without FILE: the one beside this tool,
// else the one on PATH; nullopt when there is none.
std::optional<std::string> FindProgram() {
    const std::string own = qv::ExecutableFolder();
    if (!own.empty() && IsProgram(Join(own, kProgramName))) {
        return Join(own, kProgramName);
    }
    return ProgramOnPath();
}

std::string Hex(std::int32_t id) {
    char buf[32];
    if (id >= -32768 && id <= 32767) {
        std::snprintf(buf, sizeof buf, "0x%04X",
                      static_cast<unsigned>(static_cast<std::uint16_t>(id)));
    } else {
        std::snprintf(buf, sizeof buf, "0x%08" PRIX32, static_cast<std::uint32_t>(id));
    }
    return buf;
}

void PrintIdentifier(const qv::IniFile& file, const char* key, std::string_view fallback) {
    const auto raw = file.Find("HID", key);
    const std::string text = qv::IniRead(file, "HID", key, fallback);
    const std::int32_t id = qv::ReadIdentifier(text);
    const std::string shown =
        raw ? "\"" + text + "\"" : "(missing, default \"" + std::string(fallback) + "\")";
    std::printf("[HID] %s = %s -> %" PRId32 " (%s)\n", key, shown.c_str(), id, Hex(id).c_str());
}

// The values as the table holds them; the text as written when it can never fire.
std::string PulseValues(const qv::IniFile& file, int n, const qv::RemoteEntry& e) {
    if (e.problem != qv::PulseProblem::None) {
        return "\"" + qv::IniRead(file, qv::RemoteSection(n), "Pulse", "") + "\"";
    }
    std::string out;
    for (int j = 0; j < e.pulseCount; ++j) {
        out += (j == 0 ? "" : ",") + std::to_string(e.pulse[static_cast<std::size_t>(j)]);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Windows gives main() its arguments in the ANSI code page; paths are UTF-8 here.
    const std::vector<std::string> arguments = qv::win32::Utf8Arguments();
    std::vector<char*> utf8Argv;
    for (const std::string& argument : arguments) {
        utf8Argv.push_back(const_cast<char*>(argument.c_str()));
    }
    if (!utf8Argv.empty()) {
        argc = static_cast<int>(utf8Argv.size());
        argv = utf8Argv.data();
    }
    qv::win32::UseUtf8Console();
#endif
    std::string path;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && (arg == "-h" || arg == "--help")) {
            Usage(stdout);
            return 0;
        }
        if ((options && arg.size() > 1 && arg.front() == '-') || arg.empty() || !path.empty()) {
            Usage(stderr);
            return 2;
        }
        path = std::string(arg);
    }

#ifdef _WIN32
    qv::IniStore store(std::make_unique<qv::Win32TextCodec>(),
                       std::make_unique<qv::Win32ConfigFiles>());
#else
    qv::IniStore store(std::make_unique<qv::IconvTextCodec>(),
                       std::make_unique<qv::PosixConfigFiles>());
#endif
    if (path.empty()) {
        // The file the program would use, and which program that is.
        if (const std::optional<std::string> program = FindProgram()) {
            path = qv::IniPathForProgramIn(FolderOf(*program));
            std::printf("The file %s uses without --config: %s\n", program->c_str(), path.c_str());
        } else {
            path = qv::IniPathForProgramIn("");
            std::printf(
                "No %s beside quorvane-inicheck or on PATH; the file an installed "
                "one uses without --config: %s\n",
                kProgramName, path.c_str());
        }
    }
    store.SetIniPath(path);
    const std::string& file = store.IniPath();
    qv::LoadedIni loaded = store.Load();
    if (loaded.status == qv::ReadStatus::NotFound) {
        std::fprintf(stderr,
                     "quorvane-inicheck: %s: no such file (the program would use "
                     "every default)\n",
                     file.c_str());
        return 1;
    }
    if (loaded.status == qv::ReadStatus::Error) {
        const auto why = qv::CheckConfigPath(file);
        std::fprintf(stderr, "quorvane-inicheck: %s\n",
                     why ? why->c_str() : (file + ": cannot be read").c_str());
        return 1;
    }
    const qv::IniFile& ini = loaded.file;

    std::printf("File: %s (%s, %s line ends)\n\n", file.c_str(),
                std::string(qv::EncodingName(ini.Encoding())).c_str(),
                ini.NewLine() == "\r\n" ? "CRLF" : (ini.NewLine() == "\r" ? "CR" : "LF"));

    const auto wct = ini.Find("General", "WindowChangeTime");
    const int index =
        qv::WindowChangeTimeIndex(qv::IniReadDefault(ini, "General", "WindowChangeTime", 0));
    std::printf("[General] WindowChangeTime = %s -> %d (%s, %d ms)\n",
                wct ? ("\"" + std::string(*wct) + "\"").c_str() : "(missing)", index,
                std::string(qv::kWindowChangeTimeItems[static_cast<std::size_t>(index)]).c_str(),
                qv::WindowChangeDelayMs(index));
    PrintIdentifier(ini, "VendorID", qv::kDefaultVendorId);
    PrintIdentifier(ini, "ProductID", qv::kDefaultProductId);

    qv::RemoteTable table;
    const int firstFree = table.Load(ini);
    std::printf("\nRemote table: %d slot(s), first free slot %d\n", table.UpperIndex(), firstFree);
    for (int n = 1; n <= table.UpperIndex(); ++n) {
        const qv::RemoteEntry& e = table[n];
        std::printf("%5d  pulse %-12s adjust %us  window %s  comment \"%s\"\n", n,
                    PulseValues(ini, n, e).c_str(), static_cast<unsigned>(e.adjustTime),
                    e.windowName.empty() ? "(foreground)" : ("\"" + e.windowName + "\"").c_str(),
                    e.comment.c_str());
        std::printf("       keys  %s\n",
                    e.keyList.Stored().empty() ? "(none)" : e.keyList.Stored().c_str());
    }

    const auto problems = qv::CheckConfig(ini, table);
    if (problems.empty()) {
        std::printf("\nNo problems found.\n");
    } else {
        std::printf("\nProblems (%zu):\n", problems.size());
        for (const auto& p : problems) {
            std::printf("  %s\n", p.text.c_str());
        }
    }
    return 0;
}
