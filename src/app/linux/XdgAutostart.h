#pragma once
// Starting the program at login, for the users who ask for it: `quorvane
// --autostart on` writes a desktop entry into the user's autostart folder
// ($XDG_CONFIG_HOME/autostart/quorvane.desktop, default
// ~/.config/autostart/), which desktop sessions following the XDG autostart
// rules start at login; `--autostart off` removes it. Nothing is installed for
// every user of the machine. Part of the Linux program only (quorvane.exe
// has its own, app/win32/StartupShortcut.h).

#include <string>
#include <string_view>

namespace qv {

// The entry's path: XDG_CONFIG_HOME counts only when it is an absolute path,
// else HOME/.config; empty when neither gives a folder.
std::string AutostartEntryPath(std::string_view xdgConfigHome, std::string_view home);

// One argument as the Exec key of a desktop entry needs it: quoted when it holds
// a reserved character, '"', '`', '$' and '\' escaped inside the quotes, '%'
// doubled. (The entry's string escaping, '\' as "\\", is applied on top by
// AutostartEntryText.)
std::string QuoteExecArgument(std::string_view arg);

// The entry that starts `program` (an absolute path) at login, with
// `--config configPath` when configPath is not empty. Empty when a path cannot
// be written into a desktop entry (a control character, invalid UTF-8).
std::string AutostartEntryText(const std::string& program, const std::string& configPath);

struct AutostartResult {
    int exitCode = 0;
    std::string output;  // for stdout
    std::string error;   // for stderr
};

// Writes the entry (replacing the file as a whole, creating missing folders
// 0700) or removes it. Removing an entry that is not there is no error.
AutostartResult SetAutostart(bool on, const std::string& entryPath, const std::string& program,
                             const std::string& configPath, const std::string& programName);

// The --autostart option: reads XDG_CONFIG_HOME, HOME and the running
// executable's path, applies SetAutostart and prints its messages. Returns
// the exit status. A relative configPath is made absolute first, since the
// session starts the program from another folder.
int RunAutostartOption(bool on, const std::string& configPath, const std::string& programName);

}  // namespace qv
