#pragma once
// The Linux HID port: hidraw device nodes.
//
// Enumeration asks libudev for the devices of subsystem "hidraw" and orders
// them by their sysfs path (the order libudev and hidapi use: the physical
// topology, stable across runs). A port built with explicit roots walks
// `<sysRoot>/class/hidraw` instead, with the same ordering, and names the
// nodes `<devRoot>/<DEVNAME>`; tests use that over a fake sysfs tree, and the
// default port falls back to it (roots "/sys" and "/dev") when libudev can't
// be initialised.
//
// A node's identifiers come from sysfs (HID_ID in the uevent of the HID
// device above `<sysRoot>/class/hidraw/<node>`), as hidapi reads them, so
// only the receiver's node is ever opened: keyboards, mice and other HID
// devices are left alone.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/posix/UniqueFd.h"
#include "device/HidPort.h"

namespace qv {

// One open hidraw node.
//
// usbhid performs a hidraw write synchronously, whatever O_NONBLOCK says, and
// only gives up after its own USB timeout (seconds). So writes run on a thread
// of the device's own, with their own copy of the report, and the caller waits
// only until its deadline. A write that outlives its caller's deadline may
// still go out later; it never touches the caller's buffer, and no second write
// starts until it has returned. The descriptor is shared with that thread: a
// device destroyed while a write is stuck leaves the thread to close the node
// once the kernel lets the write go, so that the descriptor is never closed
// (and its number reused) under a running write.
class HidrawDevice : public HidDevice {
public:
    // Takes an open node (O_RDWR | O_NONBLOCK) and reads its report descriptor
    // with HIDIOCGRDESCSIZE/HIDIOCGRDESC.
    explicit HidrawDevice(UniqueFd fd);
    // Takes any open non-blocking descriptor and uses `reportDescriptor` as the
    // device's descriptor (for descriptors that are not hidraw nodes, such as
    // the sockets of tests).
    HidrawDevice(UniqueFd fd, std::span<const std::uint8_t> reportDescriptor);
    // Returns at once; a write still stuck in the kernel finishes on its own.
    ~HidrawDevice() override;
    HidrawDevice(const HidrawDevice&) = delete;
    HidrawDevice& operator=(const HidrawDevice&) = delete;

    // HIDIOCGRAWINFO; nullopt when the node does not answer it (not HID).
    std::optional<HidAttributes> GetAttributes() override;
    // Report lengths from the report descriptor; nullopt without a usable one.
    std::optional<HidCaps> GetCaps() override;
    // Writes the report as given (ID byte included; the kernel drops a 0 ID
    // for devices with unnumbered reports); TimedOut when the write, or one
    // still stuck from before, has not returned by the deadline.
    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds timeout) override;
    // Reads one report; unnumbered reports get a 0 ID byte in front.
    TransferStatus ReadReport(std::span<std::uint8_t> report,
                              std::chrono::milliseconds timeout) override;

    // Whether the device's reports carry a report ID (from the descriptor).
    bool Numbered() const { return numbered_; }

private:
    struct Shared;

    // The write thread: one write at a time until the device closes.
    static void RunWriter(std::shared_ptr<Shared> shared);
    void UseDescriptor(std::span<const std::uint8_t> reportDescriptor);
    int Fd() const;

    // The descriptor and the hand-over to the write thread, owned jointly
    // with that thread.
    std::shared_ptr<Shared> shared_;
    // Started by the first write.
    std::thread writer_;
    std::optional<HidCaps> caps_;
    bool numbered_ = false;
};

// What the user can do when the receiver's node may not be opened: the udev
// rule that gives the user at the seat access to it.
extern const char* const kHidrawAccessAdvice;

class HidrawPort : public HidPort {
public:
    // How a node is opened: open(2)'s contract (a descriptor, or -1 with
    // errno set). Tests put a recording stand-in here.
    using OpenNode = std::function<int(const std::string& path, int flags)>;

    // Enumerates through libudev.
    HidrawPort();
    // Enumerates by walking `<sysRoot>/class/hidraw`, nodes under `devRoot`;
    // `open` opens them (open(2) when empty).
    HidrawPort(std::string sysRoot, std::string devRoot, OpenNode open = {});

    // Paths of the hidraw nodes, ordered by sysfs path.
    std::vector<std::string> EnumerateHidInterfaces() override;
    // Opens a node read-write, non-blocking; nullptr when that fails.
    std::unique_ptr<HidDevice> Open(const std::string& path) override;
    // The same, with the system's reason and what to do when it fails.
    HidOpenResult TryOpen(const std::string& path) override;
    // HID_ID of the node's HID device in sysfs; the node is not opened.
    std::optional<HidAttributes> ReadIdentity(const std::string& path) override;

private:
    std::vector<std::string> EnumerateWithUdev();
    std::vector<std::string> EnumerateSysfs(const std::string& sysRoot, const std::string& devRoot);

    bool useUdev_;
    std::string sysRoot_;
    std::string devRoot_;
    OpenNode open_;
};

// The vendor and product of a HID device's uevent text (its HID_ID line,
// "bus:vendor:product" in hexadecimal); nullopt without a well-formed one.
std::optional<HidAttributes> HidIdFromUevent(std::string_view uevent);

}  // namespace qv
