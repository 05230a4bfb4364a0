#pragma once
// ConfigFiles over POSIX calls. Only regular files are read or replaced: a path that
// names a folder, a device, a FIFO or a socket is refused before it is opened (a FIFO
// would block the reader, a device would be replaced by a file). A file is replaced by
// writing the temporary file ".<name>.tmp" beside it (created exclusively; one left by a
// killed write is removed first), fsync, rename over the old one, and fsync of the
// folder, so a crash or a full disk leaves either the old or the new file, never a torn
// one, and at most one temporary file. A symbolic link stays: the file it leads to is
// replaced, in its own folder. The new file keeps the old file's permission bits and
// owner (0666 less the umask for a new file); missing folders are created 0700.

#include <optional>
#include <string>
#include <string_view>

#include "config/ConfigFiles.h"

namespace qv {

class PosixConfigFiles final : public ConfigFiles {
public:
    ReadStatus ReadFile(const std::string& path, std::string& bytes) override;
    bool ReplaceFile(const std::string& path, std::string_view bytes) override;
    // The fixed temporary file beside the file (the link's target for a link).
    void RemoveLeftovers(const std::string& path) override;
    // Beside /proc/self/exe when that folder is writable and not a system
    // program folder, else
    // $XDG_CONFIG_HOME/quorvane/Quorvane.ini (default ~/.config/quorvane/).
    std::string DefaultIniPath() override;
};

// The folder of this process's executable; empty when it cannot be learnt.
std::string ExecutableFolder();
// The file a program in `programFolder` uses when no path is given (what
// DefaultIniPath gives that program); an empty folder stands for a program
// whose folder is unknown.
std::string IniPathForProgramIn(std::string programFolder);

// True for the folders where a system installs its programs (/usr/bin,
// /usr/local/bin, /bin, ...). A program there is an installed one: it keeps its
// file in the user's folder, also when it runs as root and could write there,
// so it never leaves a file among the packaged ones.
bool IsSystemProgramFolder(std::string_view folder);
// Whether `path` can be the configuration file: a regular file, a symbolic link to one, or
// absent (the first write makes it). Otherwise the reason, naming the path and what it is
// ("… is a FIFO (named pipe), not a regular file"). Nothing is opened.
std::optional<std::string> CheckConfigPath(const std::string& path);
// CheckConfigPath of `path` (empty: the default location, as IniStore uses it), then
// removes the temporary file an interrupted write left beside the file; for the program's
// start, under its single-instance lock and before anything reads the file.
std::optional<std::string> PrepareConfigPath(const std::string& path);
// The temporary file a write of `target` goes through: ".<name>.tmp" in the same folder.
std::string TemporaryPathFor(const std::string& target);

// The path DefaultIniPath picks, from what it found: the executable's folder (empty when
// unknown) and whether it is writable, $XDG_CONFIG_HOME (used only when absolute) and the
// home folder.
std::string ChooseIniPath(std::string_view exeDir, bool exeDirWritable,
                          std::string_view xdgConfigHome, std::string_view home);

}  // namespace qv
