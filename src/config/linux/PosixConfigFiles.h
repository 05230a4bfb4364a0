#pragma once
// ConfigFiles over POSIX calls. A file is replaced by writing a temporary file
// beside it (mkstemp), fsync, rename over the old one, and fsync of the folder, so
// a crash or a full disk leaves either the old or the new file, never a torn one.
// A symbolic link is followed (its target is replaced). The new file keeps the old
// file's permission bits (0644 for a new file); missing folders are created 0700.

#include <string>
#include <string_view>

#include "config/ConfigFiles.h"

namespace qv {

class PosixConfigFiles final : public ConfigFiles {
public:
    ReadStatus ReadFile(const std::string& path, std::string& bytes) override;
    bool ReplaceFile(const std::string& path, std::string_view bytes) override;
    // Beside /proc/self/exe when that folder is writable and not a system
    // program folder, else
    // $XDG_CONFIG_HOME/quorvane/Quorvane.ini (default ~/.config/quorvane/).
    std::string DefaultIniPath() override;
};

// True for the folders where a system installs its programs (/usr/bin,
// /usr/local/bin, /bin, ...). A program there is an installed one: it keeps its
// file in the user's folder, also when it runs as root and could write there,
// so it never leaves a file among the packaged ones.
bool IsSystemProgramFolder(std::string_view folder);

// The path DefaultIniPath picks, from what it found: the executable's folder (empty when
// unknown) and whether it is writable, $XDG_CONFIG_HOME (used only when absolute) and the
// home folder.
std::string ChooseIniPath(std::string_view exeDir, bool exeDirWritable,
                          std::string_view xdgConfigHome, std::string_view home);

}  // namespace qv
