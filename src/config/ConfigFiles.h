#pragma once
// File access for the configuration file. Reading is plain; writing replaces the
// file atomically (a temporary file beside it, written, flushed to disk and
// renamed over the old one), which needs the platform's calls, so this is a port;
// the Linux backend is PosixConfigFiles (config/linux).

#include <string>
#include <string_view>

namespace qv {

// The name of the configuration file.
inline constexpr std::string_view kIniFileName = "Quorvane.ini";

// Where the configuration file is when no path was set.
struct ConfigLocation {
    std::string path;  // where the file is read and written
    // A file read instead while `path` does not exist yet; the first change
    // copies it to `path` byte for byte and goes there (the file beside a
    // program whose folder cannot be written). Empty: none.
    std::string startFrom;
};

enum class ReadStatus {
    Ok,        // the file was read in full
    NotFound,  // there is no such file (every read then yields its default)
    Error,     // the file exists but could not be read; it must not be overwritten blindly
};

class ConfigFiles {
public:
    virtual ~ConfigFiles() = default;
    // Reads the whole file at `path` into `bytes` (cleared first).
    virtual ReadStatus ReadFile(const std::string& path, std::string& bytes) = 0;
    // Replaces the file at `path` with `bytes` atomically, creating missing folders; false on
    // any failure, in which case the old file is left as it was.
    virtual bool ReplaceFile(const std::string& path, std::string_view bytes) = 0;
    // Removes what an interrupted replacement of `path` left behind (a write that
    // changes nothing still tidies up); harmless when there is nothing.
    virtual void RemoveLeftovers(const std::string& /*path*/) {}
    // The configuration file used when no path was set: "Quorvane.ini" beside the executable,
    // or in the per-user configuration folder when the executable's folder is not writable.
    virtual std::string DefaultIniPath() = 0;
    // The location used when no path was set: by default DefaultIniPath, with
    // nothing to start from.
    virtual ConfigLocation DefaultLocation() { return {DefaultIniPath(), {}}; }
};

}  // namespace qv
