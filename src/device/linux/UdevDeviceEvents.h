#pragma once
// Device arrivals and removals from udev. With udevd running (its control
// socket /run/udev/control exists) the monitor listens to udev's own
// announcements, which come after the device node exists with its final
// permissions. Without udevd it listens to the kernel's announcements; then
// whoever makes device nodes (devtmpfs, mdev) may not have made the node yet
// when the event arrives, so an arrival with a node is held back until the
// node exists (at most kNodeWait). A thread of the source's own reads the
// monitor and makes the "changes pending" call.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/posix/UniqueFd.h"
#include "device/DeviceChangeQueue.h"
#include "device/DeviceEvents.h"

struct udev;
struct udev_monitor;

namespace qv {

// Properties of one uevent (ACTION, DEVNAME, SUBSYSTEM, ...).
using UeventProperties = std::map<std::string, std::string>;

// The change a uevent announces: "add" is an arrival and "remove" a removal,
// with the node's path ("/dev/" + DEVNAME when DEVNAME is relative), or an
// empty path for devices without a node. nullopt for any other action.
std::optional<DeviceChange> DeviceChangeFromUevent(const UeventProperties& properties);

// Waits until `path` exists, at most `timeout`; true when it does.
bool WaitForDeviceNode(const std::string& path, std::chrono::milliseconds timeout);

class UdevDeviceEvents final : public DeviceEvents {
public:
    // How long a kernel-announced arrival waits for its node.
    static constexpr std::chrono::milliseconds kNodeWait{1000};

    UdevDeviceEvents();
    ~UdevDeviceEvents() override;
    UdevDeviceEvents(const UdevDeviceEvents&) = delete;
    UdevDeviceEvents& operator=(const UdevDeviceEvents&) = delete;

    // False with "udev monitor: <error text> (<failing call>)" in `error`.
    bool Start(ChangesPending changesPending, std::string& error) override;
    void Stop() override;
    std::vector<DeviceChange> ReadPending() override;

    // True when the monitor listens to the kernel rather than udevd.
    bool UsesKernelSource() const { return kernelSource_; }
    // True when udevd runs on this system.
    static bool UdevdRunning();

private:
    // The reader thread: until Stop wakes it, every uevent of the monitor.
    void Read();
    // Turns what the monitor has now into changes in the queue.
    void ReceiveAll();

    struct UdevDeleter {
        void operator()(udev* u) const;
    };
    struct MonitorDeleter {
        void operator()(udev_monitor* m) const;
    };
    std::unique_ptr<udev, UdevDeleter> udev_;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor_;
    bool kernelSource_ = false;
    UniqueFd wake_;  // an eventfd that Stop signals
    DeviceChangeQueue queue_;
    std::thread reader_;
};

}  // namespace qv
