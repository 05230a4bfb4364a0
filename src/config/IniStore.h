#pragma once
// The configuration file's location and access, owned by the application (one
// object, no global state). The module functions IniRead, IniReadDefault and
// IniWrite (Settings.h) take it as their first argument; otherwise they keep their
// usual names and argument order.
//
// Path: resolved once, on first use, through ConfigFiles::DefaultIniPath (on Linux:
// "Quorvane.ini" beside the executable, or $XDG_CONFIG_HOME/quorvane/Quorvane.ini,
// default ~/.config/quorvane/, when the executable's folder is not writable).
// SetIniPath (the application's --config FILE, and tests) overrides it.
// The default location may come with a file to start from (ConfigLocation):
// it is read while the file at the path does not exist, and the first change
// copies it there as it is, then changes the copy.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/ConfigFiles.h"
#include "config/IniFile.h"
#include "config/TextCodec.h"

namespace qv {

// A file read for a pass of many reads, and how the reading went.
struct LoadedIni {
    ReadStatus status = ReadStatus::NotFound;
    IniFile file;  // empty unless status is Ok
};

class IniStore {
public:
    IniStore(std::unique_ptr<TextCodec> codec, std::unique_ptr<ConfigFiles> files);

    // Uses `path` as the INI path from now on, instead of the default location (an empty
    // path goes back to the default location).
    void SetIniPath(std::string path);
    // The INI path; the default location is looked up on the first call only.
    const std::string& IniPath();
    // The file read now: the file to start from until the first change copied
    // it, else the INI path.
    std::string FileInUse();
    // Called with the new file in use once it changes (the first change copied
    // the file to start from, or a file appeared at the INI path meanwhile).
    void SetFileInUseChanged(std::function<void(const std::string&)> changed) {
        fileInUseChanged_ = std::move(changed);
    }

    // Reads and parses the file once (`fileName` empty: the INI path).
    LoadedIni Load(std::string_view fileName = "");
    // Sets one value: reads the file, changes the value and replaces the file atomically;
    // when the key already has the value, the file is left as it is. False when the file
    // exists but cannot be read, the value cannot be stored (see IniFile::Set), or the file
    // cannot be written; the old file is then unchanged.
    bool Write(std::string_view section, std::string_view key, std::string_view value,
               std::string_view fileName = "");
    // Sets several keys of one section, in the order given, with one replacement of the file:
    // either every value is stored or none is.
    bool WriteKeys(std::string_view section,
                   const std::vector<std::pair<std::string, std::string>>& keyValues,
                   std::string_view fileName = "");

    // The encoding of new files and of files that hold only ASCII (see IniFile::Parse):
    // UTF-8 (the default), or ShiftJis for the codec's code page, which the Windows
    // program uses so that the file reads alike in the program and in Windows' tools.
    void SetPlainTextEncoding(TextEncoding encoding) { plainText_ = encoding; }

    TextCodec& Codec() { return *codec_; }

private:
    std::string Resolve(std::string_view fileName);
    // The file to start from is no longer used.
    void StopStartingFrom();

    std::unique_ptr<TextCodec> codec_;
    std::unique_ptr<ConfigFiles> files_;
    std::string path_;
    std::string startFrom_;  // see ConfigLocation; empty once copied or when none
    bool resolved_ = false;
    std::function<void(const std::string&)> fileInUseChanged_;
    TextEncoding plainText_ = TextEncoding::Utf8;
};

}  // namespace qv
