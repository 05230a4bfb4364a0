#include "config/IniStore.h"

#include <utility>

#include "common/DebugLog.h"

namespace qv {

IniStore::IniStore(std::unique_ptr<TextCodec> codec, std::unique_ptr<ConfigFiles> files)
    : codec_(std::move(codec)), files_(std::move(files)) {}

void IniStore::SetIniPath(std::string path) {
    path_ = std::move(path);
    startFrom_.clear();
    resolved_ = !path_.empty();
}

const std::string& IniStore::IniPath() {
    if (!resolved_) {
        ConfigLocation location = files_->DefaultLocation();
        path_ = std::move(location.path);
        startFrom_ = std::move(location.startFrom);
        resolved_ = true;
    }
    return path_;
}

std::string IniStore::FileInUse() {
    const std::string& path = IniPath();
    return startFrom_.empty() ? path : startFrom_;
}

void IniStore::StopStartingFrom() {
    startFrom_.clear();
    if (fileInUseChanged_) {
        fileInUseChanged_(path_);
    }
}

std::string IniStore::Resolve(std::string_view fileName) {
    return fileName.empty() ? IniPath() : std::string(fileName);
}

LoadedIni IniStore::Load(std::string_view fileName) {
    LoadedIni out;
    const std::string path = Resolve(fileName);
    std::string bytes;
    out.status = files_->ReadFile(path, bytes);
    if (path == IniPath() && !startFrom_.empty()) {
        if (out.status == ReadStatus::NotFound) {
            out.status = files_->ReadFile(startFrom_, bytes);
        } else {
            StopStartingFrom();  // a file of its own appeared at the path
        }
    }
    if (out.status != ReadStatus::Error) {
        // A missing file is an empty one, in the encoding new files take.
        out.file = IniFile::Parse(bytes, *codec_, plainText_);
    }
    return out;
}

bool IniStore::Write(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view fileName) {
    return WriteKeys(section, {{std::string(key), std::string(value)}}, fileName);
}

bool IniStore::WriteKeys(std::string_view section,
                         const std::vector<std::pair<std::string, std::string>>& keyValues,
                         std::string_view fileName) {
    const std::string path = Resolve(fileName);
    LoadedIni loaded = Load(path);
    if (loaded.status == ReadStatus::Error) {
        // Writing a fresh file over one we could not read would lose everything in it.
        DebugLog("not writing " + path + ": it exists but cannot be read");
        return false;
    }
    for (const auto& [key, value] : keyValues) {
        if (!loaded.file.Set(section, key, value, *codec_)) {
            DebugLog("cannot store [" + std::string(section) + "] " + key + " in " + path);
            return false;
        }
    }
    // Nothing to change: the file is not rewritten and keeps its time stamp;
    // what an interrupted write left beside it still goes.
    if (!loaded.file.Modified()) {
        files_->RemoveLeftovers(path);
        return true;
    }
    if (path == IniPath() && !startFrom_.empty()) {
        // The first change: the file it was read from goes to the path as it
        // is (bytes, encoding, line ends), and the change into that copy.
        // (When it has gone meanwhile, the change makes a new file.)
        std::string original;
        const ReadStatus read = files_->ReadFile(startFrom_, original);
        if (read == ReadStatus::Error ||
            (read == ReadStatus::Ok && !files_->ReplaceFile(path, original))) {
            DebugLog("configuration: cannot copy " + startFrom_ + " to " + path);
            return false;
        }
        if (read == ReadStatus::Ok) {
            DebugLog("configuration: copied " + startFrom_ + " to " + path +
                     ", which takes every change from now on");
        }
        StopStartingFrom();
    }
    return files_->ReplaceFile(path, loaded.file.Serialize());
}

}  // namespace qv
