#pragma once
// A fake sysfs tree of hidraw nodes as the kernel lays them out, and a
// stand-in for open(2) that records every node opened and fails the ones it
// is told to, with the errno it is told, for the hidraw backend and the
// receiver search above it.

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/linux/HidrawPort.h"

namespace qv::test {

class FakeSysfs {
public:
    FakeSysfs() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-sysfs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            root_ = pattern;
        }
    }
    ~FakeSysfs() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    std::filesystem::path Sys() const { return root_ / "sys"; }
    std::filesystem::path Dev() const { return root_ / "dev"; }
    std::string Node(const std::string& name) const { return (Dev() / name).string(); }

    // Adds hidraw node `name` under HID device folder `hidDevice` (below
    // devices/): the HID device's uevent with HID_ID (bus 3, USB) when `ids`
    // are given, the node's folder with its own uevent and its "device" link
    // up to the HID device, and the class link to the node's folder.
    void AddNode(const std::string& hidDevice, const std::string& name,
                 std::optional<std::pair<unsigned, unsigned>> ids, bool withUevent = true) {
        namespace fs = std::filesystem;
        const fs::path device = Sys() / "devices" / hidDevice;
        const fs::path dir = device / "hidraw" / name;
        fs::create_directories(dir);
        if (ids) {
            char hidId[64];
            std::snprintf(hidId, sizeof hidId, "HID_ID=0003:%08X:%08X", ids->first, ids->second);
            std::ofstream(device / "uevent") << "DRIVER=hid-generic\n"
                                             << hidId << "\nHID_NAME=test device\n";
        }
        if (withUevent) {
            std::ofstream(dir / "uevent") << "MAJOR=241\nMINOR=0\nDEVNAME=" << name << "\n";
        }
        fs::create_symlink("../..", dir / "device");
        fs::create_directories(Sys() / "class" / "hidraw");
        fs::create_symlink(fs::relative(dir, Sys() / "class" / "hidraw"),
                           Sys() / "class" / "hidraw" / name);
        fs::create_directories(Dev());
        std::ofstream(Dev() / name) << "";
    }

    // Opening `name` fails with `error` (EACCES for a node without the udev rule).
    void FailOpen(const std::string& name, int error) { failures_[Node(name)] = error; }

    // The nodes opened so far, in order.
    std::vector<std::string> Opened() const {
        const std::lock_guard lock(mutex_);
        return opened_;
    }

    // A port over this tree whose opens go through the recorder.
    HidrawPort Port() {
        return HidrawPort(Sys().string(), Dev().string(),
                          [this](const std::string& path, int flags) { return Open(path, flags); });
    }

private:
    int Open(const std::string& path, int flags) {
        {
            const std::lock_guard lock(mutex_);
            opened_.push_back(path);
        }
        const auto failure = failures_.find(path);
        if (failure != failures_.end()) {
            errno = failure->second;
            return -1;
        }
        return ::open(path.c_str(), flags);
    }

    std::filesystem::path root_;
    std::map<std::string, int> failures_;
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

}  // namespace qv::test
