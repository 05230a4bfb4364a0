#pragma once
// The simulated bus: receivers, foreign HID devices and non-HID device nodes
// that come and go, the faults they show on request, and the host's open
// handles on them. Portable and single-threaded: the daemon drives it from its
// event loop, the in-process simulator under its own lock.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ReceiverFirmware.h"
#include "device/DeviceEvents.h"
#include "device/HidPort.h"

namespace qv::sim {

// The receiver's identity and report lengths (report-ID byte included). The
// defaults leave room beyond the frames: output reports of 9 bytes carry the
// 3-byte command frame, input reports of 33 bytes the 18-byte reply frame.
struct BusOptions {
    std::uint16_t vendorId = 0x1234;
    std::uint16_t productId = 0x0001;
    std::uint8_t versionMajor = 1;
    std::uint8_t versionMinor = 5;
    bool plugged = true;  // the first receiver is plugged in at start
    int inputReportLength = 33;
    int outputReportLength = 9;
};

// Smallest report lengths the frames fit in (report ID included).
inline constexpr int kMinInputReportLength = 19;
inline constexpr int kMinOutputReportLength = 4;
// Largest report length the simulator accepts.
inline constexpr int kMaxReportLength = 4096;

enum class DeviceKind { Receiver, Foreign, NonHid };

// One device as `status` shows it.
struct DeviceSnapshot {
    std::string path;
    DeviceKind kind = DeviceKind::Receiver;
    std::uint16_t vendorId = 0;   // 0 for non-HID nodes
    std::uint16_t productId = 0;  // 0 for non-HID nodes
    bool present = true;          // false for an unplugged receiver
    std::size_t queued = 0;       // receivers: codes not yet polled
    std::size_t openHandles = 0;  // handles the host holds on it
};

// Faults in force on the whole bus.
struct BusFaults {
    FirmwareFaults firmware;                // silence, error statuses
    std::optional<HidCaps> shortReports;    // report lengths too short for the frames
    bool refuseOpenReceivers = false;       // every receiver refuses to open
    std::set<std::string> refuseOpenPaths;  // these paths refuse to open
    bool unplugMidTransfer = false;         // the next command unplugs its receiver
    std::optional<int> refuseEvents;        // event subscriptions fail with this errno
};

struct BusStatus {
    std::vector<DeviceSnapshot> devices;
    std::size_t queueLength = 0;         // codes queued on all receivers
    CommandCounts counts;                // commands received by all receivers
    std::uint64_t malformedReports = 0;  // output reports the receivers refused
    BusFaults faults;
};

// Result of a control operation: `text` is the output (a new path, a status
// listing) on success and the reason on failure.
struct ControlResult {
    bool ok = true;
    std::string text;
};

using HandleId = std::uint64_t;

struct OpenedDevice {
    HandleId handle = 0;
    std::optional<HidAttributes> attributes;  // nullopt for non-HID nodes
    std::optional<HidCaps> caps;              // nullopt for non-HID nodes
};

class Bus {
public:
    explicit Bus(const BusOptions& options = {});

    // ---- control ----
    // Queues a code on the receiver at `path` (empty: the first plugged receiver).
    ControlResult Press(RemoteCode code, const std::string& path = {});
    // Plugs in the receiver at `path` (empty: the first receiver).
    ControlResult Plug(const std::string& path = {});
    // Unplugs the receiver at `path` (empty: the first plugged receiver).
    ControlResult Unplug(const std::string& path = {});
    // Adds and plugs in another receiver; the text is its path.
    ControlResult AddReceiver();
    // Plugs in a HID device with other identifiers; the text is its path.
    ControlResult AddForeign(std::uint16_t vendorId, std::uint16_t productId);
    // Removes a foreign device by path, or all of them for "all".
    ControlResult RemoveForeign(const std::string& pathOrAll);
    // Adds a device node that opens but is no HID device; the text is its path.
    ControlResult AddNonHid();
    // Removes a non-HID node by path, "all", or (empty) the newest one.
    ControlResult RemoveNonHid(const std::string& pathOrAll = {});
    // Broadcasts an arrival or removal as given, without changing any device.
    ControlResult Broadcast(DeviceChange change);
    // Replaces the faults in force (the text is empty).
    void SetFaults(const BusFaults& faults);
    const BusFaults& Faults() const { return faults_; }
    BusStatus Status() const;
    // Codes queued on all receivers.
    std::size_t QueueLength() const;

    // ---- host side ----
    // Paths of present HID devices (receivers and foreign devices) in bus order.
    std::vector<std::string> EnumerateHid() const;
    // Opens a present device; nullopt when there is none at `path` or it refuses.
    std::optional<OpenedDevice> Open(const std::string& path);
    // Hands one output report (report ID first) to the device behind `handle`.
    TransferStatus Write(HandleId handle, std::span<const std::uint8_t> report);
    // The oldest input report waiting for `handle`, if any.
    std::optional<std::vector<std::uint8_t>> TakeReport(HandleId handle);
    // True when the device behind `handle` went away (or the handle is unknown).
    bool IsGone(HandleId handle) const;
    // Forgets a handle.
    void Close(HandleId handle);
    // Errno with which event subscriptions fail now (0: they succeed).
    int EventsRefusal() const { return faults_.refuseEvents.value_or(0); }

    // ---- what happened, for the driver of the bus ----
    // Arrivals and removals since the last call, oldest first.
    std::vector<DeviceChange> TakeEvents();

private:
    struct Device {
        std::string path;
        DeviceKind kind = DeviceKind::Receiver;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        bool present = true;
        ReceiverFirmware firmware;  // receivers only
    };
    struct Handle {
        std::string path;
        bool gone = false;  // the device went away while this handle was open
        std::deque<std::vector<std::uint8_t>> reports;
    };

    Device* Find(const std::string& path);
    const Device* Find(const std::string& path) const;
    Device* FindReceiver(const std::string& path, bool wantPresent);
    std::string NextHidPath();
    void Arrive(const Device& device);
    void Remove(Device& device);
    HidCaps ReceiverCaps() const;
    void Deliver(const Device& device, const ReplyFrame& reply);

    BusOptions options_;
    std::deque<Device> devices_;  // deque: references stay valid as devices are added
    std::map<HandleId, Handle> handles_;
    std::deque<DeviceChange> events_;
    BusFaults faults_;
    HandleId nextHandle_ = 1;
    int nextHidNumber_ = 0;
    int nextNonHidNumber_ = 0;
    std::uint64_t malformed_ = 0;
};

// Readable names, as the command line uses them.
const char* DeviceKindName(DeviceKind kind);
// "1234:0001" style.
std::string FormatIds(std::uint16_t vendorId, std::uint16_t productId);

}  // namespace qv::sim
