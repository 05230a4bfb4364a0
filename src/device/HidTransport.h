#pragma once
// The program's only path to the receiver: finds it among the present HID
// interfaces by vendor and product identifier, opens it, learns its report
// lengths and moves one report at a time in each direction.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "device/HidPort.h"

namespace qv {

class HidTransport {
public:
    // What the device handle holds: nothing yet (0), nothing any more (-1), a device.
    enum class HandleState : std::int32_t { New = 0, Closed = -1, Open = 1 };

    // One deadline per report transfer: the receiver answers well within it.
    static constexpr std::chrono::milliseconds kTransferTimeout{1010};
    // Shortest reports (report ID included) that carry the command and reply frames.
    static constexpr std::int32_t kMinOutputReportLength = 4;
    static constexpr std::int32_t kMinInputReportLength = 19;
    // Longest report taken (the largest a HID report can be through the
    // kernel's hidraw); a device claiming more is not the receiver, and every
    // transfer would allocate its whole length.
    static constexpr std::int32_t kMaxReportLength = 16384;

    // Uses `port` for every device access; `port` must outlive this object.
    explicit HidTransport(HidPort& port);
    // Closes the device (runs Destroy).
    ~HidTransport();
    HidTransport(const HidTransport&) = delete;
    HidTransport& operator=(const HidTransport&) = delete;

    // Path of the connected receiver; empty when none is connected.
    const std::string& ConnectDevicePath() const { return connectDevicePath_; }
    // Overwrites the path that clients compare with (it does not open or close anything).
    void SetConnectDevicePath(const std::string& path) { connectDevicePath_ = path; }

    // Opens the first present HID interface reporting these identifiers (each
    // compared as a signed 16-bit value widened to 32 bits) whose reports are
    // long enough for the receiver's frames. False leaves nothing open and the
    // path empty.
    bool Connect(std::int32_t vendorId, std::int32_t productId);
    // Writes one output report: ID 0, then `payload`, then zeros to the full
    // length. False when nothing is open, `payload` exceeds SendSize(), or the
    // write failed or timed out.
    bool Send(std::span<const std::uint8_t> payload);
    // Reads one input report and copies its payload (after the ID byte) into
    // `payload`. False when nothing is open, `payload` exceeds RecvSize(), or
    // the read failed or timed out; `payload` is only meaningful after True.
    bool Recv(std::span<std::uint8_t> payload);
    // Closes the device, empties the path, lengths 0, handle Closed.
    void Destroy();
    // Identifiers of the device at `devicePath`. Opened but not HID: False,
    // both set to 0. Not opened: False, both left unchanged. Touches no field.
    bool DeviceCheck(const std::string& devicePath, std::int32_t& vendorId,
                     std::int32_t& productId);
    // Payload bytes of an input report (-1 when nothing is connected).
    std::int32_t RecvSize() const { return inputReportLength_ - 1; }
    // Payload bytes of an output report (-1 when nothing is connected).
    std::int32_t SendSize() const { return outputReportLength_ - 1; }

    // State of the device handle.
    HandleState DeviceHandle() const { return handleState_; }
    // Input report length in bytes, ID included; 0 when not connected.
    std::int32_t InputReportLength() const { return inputReportLength_; }
    // Output report length in bytes, ID included; 0 when not connected.
    std::int32_t OutputReportLength() const { return outputReportLength_; }

private:
    void CloseDevice();

    HidPort& port_;
    std::string connectDevicePath_;
    std::unique_ptr<HidDevice> device_;
    HandleState handleState_ = HandleState::New;
    std::int32_t inputReportLength_ = 0;
    std::int32_t outputReportLength_ = 0;
};

}  // namespace qv
