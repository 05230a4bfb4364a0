#pragma once
// The program's only path to the receiver: finds it among the present HID
// interfaces by vendor and product identifier (read without opening the
// others), opens it, learns its report lengths and moves one report at a
// time in each direction.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "device/HidPort.h"

namespace qv {

// A device's identifiers as the program compares them: each 16-bit field as
// a signed value widened to 32 bits, so 0x8000..0xFFFF equal -32768..-1.
struct DeviceIds {
    std::int32_t vendorId = 0;
    std::int32_t productId = 0;
    friend bool operator==(const DeviceIds&, const DeviceIds&) = default;
};

// What a search for the receiver found.
struct ConnectResult {
    enum class Outcome {
        Connected,   // open, at `path`
        NotFound,    // no present device has the identifiers
        CannotOpen,  // the one at `path` has them but could not be opened (`error`)
        Unusable,    // the one at `path` has them but its reports cannot carry the frames
    };
    Outcome outcome = Outcome::NotFound;
    std::string path;
    HidOpenError error;
    bool Connected() const { return outcome == Outcome::Connected; }
};

class HidTransport {
public:
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
    // Closes the device.
    ~HidTransport();
    HidTransport(const HidTransport&) = delete;
    HidTransport& operator=(const HidTransport&) = delete;

    // Path of the connected receiver; empty when none is connected.
    const std::string& ConnectDevicePath() const { return connectDevicePath_; }

    // Closes what is open, then opens the first present HID interface with
    // these identifiers whose reports are long enough for the receiver's
    // frames. Only devices with the identifiers are opened. Anything but
    // Connected leaves nothing open and the path empty; when a device with
    // the identifiers was there but could not be opened or used, the result
    // names the first such one.
    ConnectResult Connect(std::int32_t vendorId, std::int32_t productId);
    // Writes one output report: ID 0, then `payload`, then zeros to the full
    // length. False when nothing is open, `payload` exceeds SendSize(), or the
    // write failed or timed out.
    bool Send(std::span<const std::uint8_t> payload);
    // Reads one input report and copies its payload (after the ID byte) into
    // `payload`. False when nothing is open, `payload` exceeds RecvSize(), or
    // the read failed or timed out; `payload` is only meaningful after True.
    bool Recv(std::span<std::uint8_t> payload);
    // Closes the device, empties the path, lengths 0.
    void Close();
    // The identifiers of the device at `path`, read without opening it for
    // transfers; nullopt when it is not a HID device or cannot be read.
    std::optional<DeviceIds> ReadIds(const std::string& path);
    // Payload bytes of an input report (-1 when nothing is connected).
    std::int32_t RecvSize() const { return inputReportLength_ - 1; }
    // Payload bytes of an output report (-1 when nothing is connected).
    std::int32_t SendSize() const { return outputReportLength_ - 1; }

private:
    HidPort& port_;
    std::string connectDevicePath_;
    std::unique_ptr<HidDevice> device_;
    std::int32_t inputReportLength_ = 0;
    std::int32_t outputReportLength_ = 0;
};

}  // namespace qv
