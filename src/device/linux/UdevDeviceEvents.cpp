#include "device/linux/UdevDeviceEvents.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

#include "common/DebugLog.h"
#include "common/ErrnoText.h"

namespace qv {

namespace {

constexpr const char* kUdevControl = "/run/udev/control";

// The reason a start failed, as the user reads it after "cannot watch for
// devices: ", with the call that failed for whoever looks into it.
std::string MonitorError(const char* call, int err) {
    DebugLogErrno(call, err);
    return std::string("udev monitor: ") + ErrnoText(err) + " (" + call + ")";
}

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
        change.kind = DeviceChange::Kind::Removal;
    } else {
        // change, move, bind, unbind, online, offline: no arrival or removal.
        return std::nullopt;
    }
    const auto devname = properties.find("DEVNAME");
    if (devname == properties.end() || devname->second.empty()) {
        return change;  // a device without a node: no path
    }
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

bool UdevDeviceEvents::Start(ChangesPending changesPending, std::string& error) {
    Stop();
    errno = 0;
    std::unique_ptr<udev, UdevDeleter> u(udev_new());
    if (!u) {
        error = MonitorError("udev_new", errno != 0 ? errno : ENOMEM);
        return false;
    }
    // Without udevd its netlink group stays silent; listen to the kernel then.
    const bool kernel = !UdevdRunning();
    errno = 0;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor(
        udev_monitor_new_from_netlink(u.get(), kernel ? "kernel" : "udev"));
    if (!monitor) {
        error = MonitorError("udev_monitor_new_from_netlink", errno != 0 ? errno : EPROTONOSUPPORT);
        return false;
    }
    const int rc = udev_monitor_enable_receiving(monitor.get());
    if (rc < 0) {
        error = MonitorError("udev_monitor_enable_receiving", -rc);
        return false;
    }
    if (udev_monitor_get_fd(monitor.get()) < 0) {
        error = MonitorError("udev_monitor_get_fd", EBADF);
        return false;
    }
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) {
        error = MonitorError("eventfd", errno);
        return false;
    }
    udev_ = std::move(u);
    monitor_ = std::move(monitor);
    kernelSource_ = kernel;
    wake_ = std::move(wake);
    queue_.Open(std::move(changesPending));
    reader_ = std::thread([this] { Read(); });
    error.clear();
    return true;
}

void UdevDeviceEvents::Stop() {
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        if (::write(wake_.Get(), &one, sizeof one) < 0) {
            DebugLogErrno("write(eventfd)", errno);
        }
        reader_.join();
    }
    queue_.Close();
    wake_.Reset();
    monitor_.reset();
    udev_.reset();
    kernelSource_ = false;
}

std::vector<DeviceChange> UdevDeviceEvents::ReadPending() {
    return queue_.Take();
}

void UdevDeviceEvents::Read() {
    pollfd watched[2] = {{udev_monitor_get_fd(monitor_.get()), POLLIN, 0},
                         {wake_.Get(), POLLIN, 0}};
    for (;;) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            DebugLogErrno("poll(udev monitor)", errno);
            return;
        }
        if (watched[1].revents != 0) {
            return;  // Stop
        }
        if ((watched[0].revents & (POLLERR | POLLNVAL)) != 0) {
            DebugLog("udev monitor: the socket failed; no more device events");
            return;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            ReceiveAll();
        }
    }
}

void UdevDeviceEvents::ReceiveAll() {
    // The monitor's socket is non-blocking: read until it is empty.
    while (udev_device* device = udev_monitor_receive_device(monitor_.get())) {
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
        if (kernelSource_ && change->kind == DeviceChange::Kind::Arrival && !change->path.empty() &&
            !WaitForDeviceNode(change->path, kNodeWait)) {
            DebugLog("device node " + change->path + " did not appear");
        }
        queue_.Push(std::move(*change));
    }
}

}  // namespace qv
