#include "device/linux/UdevDeviceEvents.h"

#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "common/DebugLog.h"

namespace qv {

namespace {

constexpr const char* kUdevControl = "/run/udev/control";

}  // namespace

std::optional<DeviceChange> DeviceChangeFromUevent(const UeventProperties& properties) {
    const auto action = properties.find("ACTION");
    if (action == properties.end()) {
        return std::nullopt;
    }
    DeviceChange change;
    if (action->second == "add") {
        change.kind = DeviceChange::Kind::Arrival;
    } else if (action->second == "remove") {
        change.kind = DeviceChange::Kind::RemoveComplete;
    } else {
        // change, move, bind, unbind, online, offline: no arrival or removal.
        return std::nullopt;
    }
    const auto devname = properties.find("DEVNAME");
    if (devname == properties.end() || devname->second.empty()) {
        change.deviceType = 0;
        change.path.clear();
        return change;
    }
    change.deviceType = kDevTypDeviceInterface;
    // The kernel names nodes relative to /dev; udev announces the full path.
    change.path = devname->second.front() == '/' ? devname->second : "/dev/" + devname->second;
    return change;
}

bool WaitForDeviceNode(const std::string& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void UdevDeviceEvents::UdevDeleter::operator()(udev* u) const {
    udev_unref(u);
}

void UdevDeviceEvents::MonitorDeleter::operator()(udev_monitor* m) const {
    udev_monitor_unref(m);
}

UdevDeviceEvents::UdevDeviceEvents() = default;

UdevDeviceEvents::~UdevDeviceEvents() {
    Stop();
}

bool UdevDeviceEvents::UdevdRunning() {
    return ::access(kUdevControl, F_OK) == 0;
}

bool UdevDeviceEvents::Start(int& errorNumber) {
    Stop();
    errno = 0;
    std::unique_ptr<udev, UdevDeleter> u(udev_new());
    if (!u) {
        errorNumber = errno != 0 ? errno : ENOMEM;
        DebugLogErrno("udev_new", errorNumber);
        return false;
    }
    // Without udevd its netlink group stays silent; listen to the kernel then.
    const bool kernel = !UdevdRunning();
    errno = 0;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor(
        udev_monitor_new_from_netlink(u.get(), kernel ? "kernel" : "udev"));
    if (!monitor) {
        errorNumber = errno != 0 ? errno : EPROTONOSUPPORT;
        DebugLogErrno("udev_monitor_new_from_netlink", errorNumber);
        return false;
    }
    const int rc = udev_monitor_enable_receiving(monitor.get());
    if (rc < 0) {
        errorNumber = -rc;
        DebugLogErrno("udev_monitor_enable_receiving", errorNumber);
        return false;
    }
    if (udev_monitor_get_fd(monitor.get()) < 0) {
        errorNumber = EBADF;
        DebugLogErrno("udev_monitor_get_fd", errorNumber);
        return false;
    }
    mUdev = std::move(u);
    mMonitor = std::move(monitor);
    mKernelSource = kernel;
    errorNumber = 0;
    return true;
}

void UdevDeviceEvents::Stop() {
    mMonitor.reset();
    mUdev.reset();
    mKernelSource = false;
}

int UdevDeviceEvents::Fd() const {
    return mMonitor ? udev_monitor_get_fd(mMonitor.get()) : -1;
}

std::vector<DeviceChange> UdevDeviceEvents::ReadPending() {
    std::vector<DeviceChange> changes;
    if (!mMonitor) {
        return changes;
    }
    // The monitor's socket is non-blocking: read until it is empty.
    while (udev_device* device = udev_monitor_receive_device(mMonitor.get())) {
        UeventProperties properties;
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
            const char* name = udev_list_entry_get_name(entry);
            const char* value = udev_list_entry_get_value(entry);
            if (name) {
                properties[name] = value ? value : "";
            }
        }
        if (const char* action = udev_device_get_action(device)) {
            properties["ACTION"] = action;
        }
        if (const char* devnode = udev_device_get_devnode(device)) {
            properties["DEVNAME"] = devnode;
        }
        udev_device_unref(device);

        std::optional<DeviceChange> change = DeviceChangeFromUevent(properties);
        if (!change) {
            continue;
        }
        if (mKernelSource && change->kind == DeviceChange::Kind::Arrival && !change->path.empty() &&
            !WaitForDeviceNode(change->path, kNodeWait)) {
            DebugLog("device node " + change->path + " did not appear");
        }
        changes.push_back(std::move(*change));
    }
    return changes;
}

}  // namespace qv
