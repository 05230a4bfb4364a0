#pragma once
// ConfigFiles over Windows' file calls. Paths are UTF-8 inside and UTF-16 at the
// calls. A file is replaced by writing a temporary file beside it (written through
// and flushed), then ReplaceFileW over the old one, which keeps the old file's
// attributes and security, or MoveFileExW(MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH) when there is no old file: a crash or a full disk leaves
// either the old or the new file, never a torn one. Only plain disk files are read
// or replaced: a folder, a device (NUL, CON, COM1) or a pipe is refused.

#include <optional>
#include <string>
#include <string_view>

#include "config/ConfigFiles.h"

namespace qv {

class Win32ConfigFiles final : public ConfigFiles {
public:
    ReadStatus ReadFile(const std::string& path, std::string& bytes) override;
    bool ReplaceFile(const std::string& path, std::string_view bytes) override;
    // Deletes the temporary file an interrupted replacement left beside `path`.
    void RemoveLeftovers(const std::string& path) override;
    // "Quorvane.ini" beside the executable when that folder is writable (a copy
    // unpacked from the zip), else %APPDATA%\Quorvane\Quorvane.ini (installed
    // under Program Files).
    std::string DefaultIniPath() override;
    // DefaultIniPath, and in the second case the Quorvane.ini beside the
    // executable to start from as long as %APPDATA% has none.
    ConfigLocation DefaultLocation() override;
};

// The folder of this process's executable; empty when it cannot be learnt.
std::string ExecutableFolder();
// Where a program in `programFolder` keeps its file when no path is given
// (what DefaultLocation gives that program); an empty folder stands for a
// program whose folder is unknown.
ConfigLocation LocationForProgramIn(const std::string& programFolder);
// The file such a program reads: the file to start from while there is one,
// else DefaultIniPath's.
std::string IniPathForProgramIn(const std::string& programFolder);

// The path DefaultIniPath picks, from what it found: the executable's folder (empty
// when unknown), whether it is writable, and the roaming application-data folder
// (empty when unknown).
std::string ChooseIniPath(std::string_view exeDir, bool exeDirWritable, std::string_view appData);
// The location DefaultLocation picks: ChooseIniPath's path, and the file beside
// the executable to start from when the path is elsewhere, that file is there
// and the path's file is not.
ConfigLocation ChooseIniLocation(std::string_view exeDir, bool exeDirWritable,
                                 std::string_view appData, bool besideExeIsFile, bool pathIsThere);

// The temporary file a replacement of `path` writes first, ".<name>.tmp" in the
// same folder: one fixed name per configuration file, so an interrupted write
// leaves at most one behind, which the next write takes over.
std::string TemporaryPathFor(std::string_view path);

// Whether `path` can be the configuration file: a plain file, or absent (the first
// write makes it). Otherwise the reason, naming the path and what it is ("… is a
// folder, not a file"; devices such as NUL and pipes likewise).
std::optional<std::string> CheckConfigPath(const std::string& path);
// CheckConfigPath of `path` (empty: the default location), then removes the
// temporary file an interrupted write left; for the program's start, under its
// single-instance mutex and before anything reads the file.
std::optional<std::string> PrepareConfigPath(const std::string& path);

}  // namespace qv
