#pragma once
// The program's command line. Without options the program behaves as it always
// has: Quorvane.ini beside the executable, the real receiver, no debug output.

#include <optional>
#include <string>
#include <vector>

namespace qv {

struct CommandLine {
    std::string configPath;  // --config FILE; empty: Quorvane.ini beside the executable
    bool simulator = false;  // --simulator[=SOCKET]: talk to quorvane-sim instead of hidraw/udev
    std::string simSocket;   // empty: the simulator's default socket
    bool debug = false;      // --debug: debug log and accepted receive-list lines on stderr
    bool show = false;       // --show: open the window after start-up as "設定" would
    std::optional<int> tab;  // --tab N: select tab N (1 or 2) after start-up
    // --autostart on|off: write or remove the login autostart entry and exit
    // (with --config, the entry starts the program with that file).
    std::optional<bool> autostart;
    std::string keysBackend;  // --backend NAME (x11, sway, wlroots, kde, gnome, uinput); empty: by
                              // the session
};

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
                                   const std::string& programName);

// The --help text.
std::string UsageText(const std::string& programName);

}  // namespace qv
