#pragma once
// The HID port: what the receiver transport needs from the platform's HID
// stack, and nothing more. The Linux backend talks to hidraw nodes, the
// simulator backend to the receiver simulator; tests use fakes.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qv {

// Identity of a HID device as the device reports it (16-bit fields).
struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// Report lengths in bytes, report-ID byte included (0 when the device has no
// report of that type).
struct HidCaps {
    std::int32_t inputReportByteLength = 0;
    std::int32_t outputReportByteLength = 0;
};

// Outcome of one report transfer.
enum class TransferStatus {
    Done,      // the whole report went out / one report came in
    TimedOut,  // nothing happened before the deadline
    Gone,      // the device went away (POLLHUP, POLLERR, EIO, ENODEV)
    Failed,    // any other error
};

// One open device interface. Destroying it closes the device.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    // The device's vendor and product identifiers; nullopt when it reports
    // none (the path is not a HID device).
    virtual std::optional<HidAttributes> GetAttributes() = 0;
    // The device's report lengths; nullopt when they cannot be learnt.
    virtual std::optional<HidCaps> GetCaps() = 0;
    // Writes one output report; `report[0]` is the report ID.
    virtual TransferStatus WriteReport(std::span<const std::uint8_t> report,
                                       std::chrono::milliseconds timeout) = 0;
    // Reads one input report into `report`; `report[0]` receives the report
    // ID (0 for devices whose reports are unnumbered), the payload follows.
    // A shorter report leaves the rest of `report` untouched.
    virtual TransferStatus ReadReport(std::span<std::uint8_t> report,
                                      std::chrono::milliseconds timeout) = 0;
};

// Why a device could not be opened for transfers.
enum class HidOpenFailure {
    Gone,          // nothing at the path (any more)
    AccessDenied,  // the user may not open it
    InUse,         // another program holds it
    Other,
};

struct HidOpenError {
    HidOpenFailure kind = HidOpenFailure::Other;
    // The system's words for it ("Permission denied"); may be empty.
    std::string reason;
    // What the user can do about it, in the window's language; may be empty.
    std::string advice;
};

struct HidOpenResult {
    std::unique_ptr<HidDevice> device;  // nullptr when it could not be opened
    HidOpenError error;                 // why, when it could not
};

class HidPort {
public:
    virtual ~HidPort() = default;
    // Paths of the present HID device interfaces, in a stable enumeration order.
    virtual std::vector<std::string> EnumerateHidInterfaces() = 0;
    // Opens a device path for reading and writing; nullptr when it can't be opened.
    virtual std::unique_ptr<HidDevice> Open(const std::string& path) = 0;
    // The same, saying why not when it fails. By default without a reason.
    virtual HidOpenResult TryOpen(const std::string& path) {
        HidOpenResult result;
        result.device = Open(path);
        return result;
    }
    // The identifiers of the device at `path`, read without opening it for
    // transfers where the platform allows (so devices that are not the
    // receiver are left alone); nullopt when it reports none (not HID) or
    // they cannot be read. By default the device is opened to ask it.
    virtual std::optional<HidAttributes> ReadIdentity(const std::string& path) {
        const std::unique_ptr<HidDevice> device = Open(path);
        return device ? device->GetAttributes() : std::nullopt;
    }
};

}  // namespace qv
