#pragma once
// Starting quorvane.exe at login, for the users who ask for it:
// `quorvane.exe --autostart on` puts the shortcut Quorvane.lnk into the user's
// Startup folder (FOLDERID_Startup), whose shortcuts Windows opens at login;
// `--autostart off` removes it. No registry entry: the program keeps none.
// The shortcut starts the program with `--config FILE` when one was given,
// from the program's folder, with the program's icon.

#include <optional>
#include <string>
#include <string_view>

namespace qv {

// What a shell link holds, as far as the program sets it.
struct Shortcut {
    std::wstring target;         // the program
    std::wstring arguments;      // its command line after the program's name
    std::wstring workingFolder;  // the folder it starts in
    std::wstring iconPath;       // the file holding its icon
    int iconIndex = 0;
    std::wstring description;
};

// One argument as CommandLineToArgvW and the C runtime read it back: quoted
// when empty or holding blanks or quotes, a quote escaped, backslashes before a
// quote (and before the closing quote) doubled.
std::wstring QuoteArgument(std::wstring_view argument);

// The shortcut that starts `program` (absolute) with `configPath` (absolute;
// empty: none) from the program's folder.
Shortcut StartupShortcutFor(const std::wstring& program, const std::wstring& configPath);

// Writes `shortcut` to `path` (IShellLinkW, saved through IPersistFile beside it
// first and then moved over the old one). COM must be initialised on this
// thread. An error text on failure.
std::optional<std::string> WriteShortcut(const std::wstring& path, const Shortcut& shortcut);
// Reads the shortcut at `path` back; nullopt when there is none or it cannot be read.
std::optional<Shortcut> ReadShortcut(const std::wstring& path);

struct StartupResult {
    int exitCode = 0;
    std::string output;  // for stdout
    std::string error;   // for stderr
};

// Writes (on) or removes (off) Quorvane.lnk in `folder`. Removing one that is
// not there is no error.
StartupResult SetStartupShortcut(bool on, const std::wstring& folder, const std::wstring& program,
                                 const std::wstring& configPath, const std::string& programName);

// The --autostart option: the user's Startup folder, this program's path and
// the configuration file made absolute (the shortcut starts the program from
// its own folder); prints SetStartupShortcut's messages; the exit status.
int RunAutostartOption(bool on, const std::string& configPath, const std::string& programName);

}  // namespace qv
