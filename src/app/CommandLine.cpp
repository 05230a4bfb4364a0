#include "app/CommandLine.h"

#include <string_view>

namespace qv {
namespace {

CommandLineResult UsageError(const std::string& programName, const std::string& message) {
    CommandLineResult r;
    r.action = CommandLineResult::Action::Exit;
    r.exitCode = 2;
    r.error =
        programName + ": " + message + "\nTry '" + programName + " --help' for more information.\n";
    return r;
}

enum class Value { Absent, None, Required, Optional };

// A long option and what it takes on each platform (Absent: not there).
struct KnownOption {
    std::string_view name;
    Value onLinux;
    Value onWindows;
};

// On Windows the simulator is reachable over TCP only, so its address is
// required there (and may be the next word).
constexpr KnownOption kOptions[] = {
    {"config", Value::Required, Value::Required},
    {"simulator", Value::Optional, Value::Required},
    {"debug", Value::None, Value::None},
    {"show", Value::None, Value::None},
    {"tab", Value::Required, Value::Required},
    {"backend", Value::Required, Value::Absent},
    {"autostart", Value::Required, Value::Required},
    {"version", Value::None, Value::None},
    {"help", Value::None, Value::None},
};

Value ValueOn(const KnownOption& option, Platform platform) {
    return platform == Platform::Windows ? option.onWindows : option.onLinux;
}

// Accepts an unambiguous prefix of a long option of `platform`, as getopt_long does.
const KnownOption* MatchLong(std::string_view name, Platform platform, bool& ambiguous) {
    const KnownOption* found = nullptr;
    ambiguous = false;
    for (const KnownOption& candidate : kOptions) {
        if (ValueOn(candidate, platform) == Value::Absent) {
            continue;
        }
        if (candidate.name == name) {
            return &candidate;
        }
        if (!name.empty() && candidate.name.substr(0, name.size()) == name) {
            if (found != nullptr) {
                ambiguous = true;
            }
            found = &candidate;
        }
    }
    return ambiguous ? nullptr : found;
}

// "tcp:HOST:PORT" with a host and a port 1..65535.
bool IsTcpAddress(std::string_view address) {
    constexpr std::string_view kScheme = "tcp:";
    if (address.substr(0, kScheme.size()) != kScheme) {
        return false;
    }
    address.remove_prefix(kScheme.size());
    const std::size_t colon = address.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    const std::string_view port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5) {
        return false;
    }
    long number = 0;
    for (const char c : port) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= 65535;
}

std::string LinuxUsage(const std::string& programName) {
    return "Usage: " + programName +
           " [OPTION]...\n"
           "Turns an infrared remote control receiver into a keyboard.\n"
           "Without options the configuration is Quorvane.ini beside the executable,\n"
           "or $XDG_CONFIG_HOME/quorvane/Quorvane.ini (default ~/.config/quorvane/)\n"
           "when the program is installed in a system folder or its folder is not\n"
           "writable, and the receiver is the USB HID device named there.\n"
           "\n"
           "  --config FILE          use FILE as the configuration file\n"
           "  --simulator[=SOCKET]   use the receiver simulator (quorvane-sim serve)\n"
           "                         listening on SOCKET instead of a real receiver\n"
           "  --debug                write debug lines and every accepted receive-list\n"
           "                         line to standard error\n"
           "  --show                 open the window after start-up\n"
           "  --tab N                select tab N (1 run mode, 2 learning) after start-up\n"
           "  --backend NAME         send keys and switch windows with NAME instead of\n"
           "                         what the session suggests: x11 (XTest and EWMH),\n"
           "                         sway (virtual keyboard and sway's IPC), wlroots\n"
           "                         (virtual keyboard and the foreign-toplevel window\n"
           "                         list), kde (KWin's fake input and Plasma's window\n"
           "                         list), gnome (mutter's remote desktop and the\n"
           "                         Quorvane GNOME Shell extension) or uinput (a uinput\n"
           "                         keyboard; no switching). By default: x11 without\n"
           "                         $WAYLAND_DISPLAY, sway with $SWAYSOCK, wlroots where\n"
           "                         the compositor offers a virtual keyboard, kde on KDE\n"
           "                         Plasma, gnome on GNOME, uinput elsewhere when\n"
           "                         /dev/uinput is writable; --debug names the choice\n"
           "  --autostart on|off     start the program at login, or no longer, for this\n"
           "                         user ($XDG_CONFIG_HOME/autostart/quorvane.desktop,\n"
           "                         with --config FILE when given), and exit\n"
           "  --help                 show this help and exit\n"
           "  --version              show the version and exit\n"
           "\n"
           "Exit status: 0 on success (also when another instance already runs),\n"
           "2 for a usage error, 1 when the program cannot start.\n";
}

std::string WindowsUsage(const std::string& programName) {
    return "Usage: " + programName +
           " [OPTION]...\n"
           "Turns an infrared remote control receiver into a keyboard.\n"
           "Without options the configuration is Quorvane.ini beside quorvane.exe, or\n"
           "%APPDATA%\\Quorvane\\Quorvane.ini when the program's folder is not writable\n"
           "(a Quorvane.ini beside the program is then read until the first change,\n"
           "which goes into a copy of it there), and the receiver is the USB HID\n"
           "device named there.\n"
           "\n"
           "  --config FILE          use FILE as the configuration file\n"
           "  --simulator=tcp:HOST:PORT\n"
           "                         use the receiver simulator (quorvane-sim serve\n"
           "                         --tcp) at HOST:PORT instead of a real receiver\n"
           "  --debug                write debug lines and every accepted receive-list\n"
           "                         line to standard error\n"
           "  --show                 open the window after start-up\n"
           "  --tab N                select tab N (1 run mode, 2 learning) after start-up\n"
           "  --autostart on|off     start the program at login, or no longer, for this\n"
           "                         user (the shortcut Quorvane.lnk in the Startup\n"
           "                         folder, with --config FILE when given), and exit\n"
           "  --help                 show this help and exit\n"
           "  --version              show the version and exit\n"
           "\n"
           "Exit status: 0 on success (also when another instance already runs),\n"
           "2 for a usage error, 1 when the program cannot start.\n";
}

}  // namespace

std::string UsageText(const std::string& programName, Platform platform) {
    return platform == Platform::Windows ? WindowsUsage(programName) : LinuxUsage(programName);
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args,
                                   const std::string& programName, Platform platform) {
    CommandLineResult r;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            if (i + 1 < args.size()) {
                return UsageError(programName, "unexpected argument '" + args[i + 1] + "'");
            }
            break;
        }
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (arg.size() >= 2 && arg[0] == '-') {
                return UsageError(programName, "unrecognized option '" + arg + "'");
            }
            return UsageError(programName, "unexpected argument '" + arg + "'");
        }
        const std::size_t eq = arg.find('=');
        const std::string_view written =
            std::string_view(arg).substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const std::optional<std::string> inlineValue =
            eq == std::string::npos ? std::nullopt : std::optional<std::string>(arg.substr(eq + 1));
        bool ambiguous = false;
        const KnownOption* option = MatchLong(written, platform, ambiguous);
        if (ambiguous) {
            return UsageError(programName, "option '" + arg + "' is ambiguous");
        }
        if (option == nullptr) {
            return UsageError(programName, "unrecognized option '" + arg + "'");
        }
        const std::string_view opt = option->name;
        const bool takesValue = ValueOn(*option, platform) == Value::Required;
        const bool optionalValue = ValueOn(*option, platform) == Value::Optional;
        if (!takesValue && !optionalValue && inlineValue) {
            return UsageError(programName,
                              "option '--" + std::string(opt) + "' doesn't allow an argument");
        }
        std::string value;
        if (takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return UsageError(programName,
                                  "option '--" + std::string(opt) + "' requires an argument");
            }
        }
        if (opt == "config") {
            if (value.empty()) {
                return UsageError(programName, "option '--config' needs a file name");
            }
            r.options.configPath = value;
        } else if (opt == "simulator") {
            if (platform == Platform::Windows && !IsTcpAddress(value)) {
                return UsageError(programName, "invalid argument '" + value +
                                                   "' for '--simulator' (tcp:HOST:PORT)");
            }
            r.options.simulator = true;
            r.options.simSocket = takesValue ? value : inlineValue.value_or("");
        } else if (opt == "debug") {
            r.options.debug = true;
        } else if (opt == "show") {
            r.options.show = true;
        } else if (opt == "tab") {
            if (value != "1" && value != "2") {
                return UsageError(programName,
                                  "invalid argument '" + value + "' for '--tab' (1 or 2)");
            }
            r.options.tab = value == "1" ? 1 : 2;
        } else if (opt == "backend") {
            if (value != "x11" && value != "sway" && value != "wlroots" && value != "kde" &&
                value != "gnome" && value != "uinput") {
                return UsageError(programName, "invalid argument '" + value +
                                                   "' for '--backend' (x11, sway, wlroots, kde, "
                                                   "gnome or uinput)");
            }
            r.options.keysBackend = value;
        } else if (opt == "autostart") {
            if (value != "on" && value != "off") {
                return UsageError(programName,
                                  "invalid argument '" + value + "' for '--autostart' (on or off)");
            }
            r.options.autostart = value == "on";
        } else if (opt == "version") {
            r.action = CommandLineResult::Action::Exit;
            r.exitCode = 0;
            r.output = "quorvane " QUORVANE_VERSION "\n";
            return r;
        } else if (opt == "help") {
            r.action = CommandLineResult::Action::Exit;
            r.exitCode = 0;
            r.output = UsageText(programName, platform);
            return r;
        }
    }
    return r;
}

}  // namespace qv
