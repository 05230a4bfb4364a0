#pragma once
// The program's command line. Without options the program behaves as it always
// has: Quorvane.ini beside the executable, the real receiver, no debug output.
// Each platform has its own table of options and its own --help: quorvane.exe
// takes no --backend, its simulator is reached over TCP, and its files and
// start at login are where Windows keeps them. An option of the other platform
// is a usage error like any unknown one.

#include <optional>
#include <string>
#include <vector>

namespace qv {

struct CommandLine {
    std::string configPath;  // --config FILE; empty: Quorvane.ini beside the executable
    // --simulator[=SOCKET] (Linux), --simulator=tcp:HOST:PORT (Windows): talk
    // to quorvane-sim instead of the real receiver.
    bool simulator = false;
    std::string simSocket;   // empty: the simulator's default socket (Linux only)
    bool debug = false;      // --debug: debug log and accepted receive-list lines on stderr
    bool show = false;       // --show: open the window after start-up as "設定" would
    std::optional<int> tab;  // --tab N: select tab N (1 or 2) after start-up
    // --autostart on|off: write or remove the login autostart entry and exit
    // (with --config, the entry starts the program with that file).
    std::optional<bool> autostart;
    // --backend NAME (Linux: x11, sway, wlroots, kde, gnome, uinput); empty: by
    // the session.
    std::string keysBackend;
};

// Whose options and help text: the Linux program's or quorvane.exe's.
enum class Platform { Linux, Windows };
#ifdef _WIN32
inline constexpr Platform kThisPlatform = Platform::Windows;
#else
inline constexpr Platform kThisPlatform = Platform::Linux;
#endif

// What main() should do after parsing.
struct CommandLineResult {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitCode = 0;     // for Exit
    std::string output;   // text for stdout (help, version)
    std::string error;    // text for stderr (usage errors)
    CommandLine options;  // for Run
};

// Parses argv[1..] with GNU conventions ("--opt VALUE", "--opt=VALUE", "--"
// ends the options). Usage errors give Exit with code 2 and a message.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args,
                                   const std::string& programName,
                                   Platform platform = kThisPlatform);

// The --help text.
std::string UsageText(const std::string& programName, Platform platform = kThisPlatform);

}  // namespace qv
