#pragma once
// The Windows HID port: HID device interfaces found through SetupAPI, opened
// with CreateFileW and read and written with overlapped I/O against one
// deadline per transfer.
//
// A transfer that is not complete by its deadline is cancelled (CancelIoEx) and
// waited for until the cancellation has come through, so the kernel never
// writes into a buffer after the call returned. The buffer and the completion
// record belong to the device, not to the caller; should a driver hold a
// cancelled transfer longer than that wait, they stay reserved for it (the
// next transfer in that direction reports TimedOut until it completes), and a
// device closed meanwhile gives them up to the kernel rather than freeing them.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/win32/UniqueHandle.h"
#include "common/win32/Windows.h"
#include "device/HidPort.h"

namespace qv {

// What a failed transfer's system error means: the errors that Windows gives for a
// device that was unplugged are Gone, the rest Failed.
TransferStatus TransferStatusFromError(DWORD error);

class Win32HidDevice final : public HidDevice {
public:
    // Takes a device opened with FILE_FLAG_OVERLAPPED.
    Win32HidDevice(win32::UniqueHandle file, std::string path);
    ~Win32HidDevice() override;
    Win32HidDevice(const Win32HidDevice&) = delete;
    Win32HidDevice& operator=(const Win32HidDevice&) = delete;

    // HidD_GetAttributes; nullopt when the device does not answer it (not HID).
    std::optional<HidAttributes> GetAttributes() override;
    // HidD_GetPreparsedData + HidP_GetCaps; nullopt when they fail.
    std::optional<HidCaps> GetCaps() override;
    // Writes the report (shorter ones padded with zeros to the device's output
    // report length, which Windows insists on).
    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds timeout) override;
    // Reads one report, its ID byte first.
    TransferStatus ReadReport(std::span<std::uint8_t> report,
                              std::chrono::milliseconds timeout) override;

private:
    struct Transfer;

    TransferStatus Run(Transfer& transfer, bool write, std::chrono::milliseconds timeout,
                       DWORD& transferred);
    bool ReportLengths();

    win32::UniqueHandle file_;
    std::string path_;
    std::unique_ptr<Transfer> read_;
    std::unique_ptr<Transfer> write_;
    std::optional<HidCaps> caps_;
};

// What a failed CreateFileW on a device path means for the user.
HidOpenFailure OpenFailureFromError(DWORD error);

class Win32HidPort final : public HidPort {
public:
    // Device interface paths of the present HID devices, in SetupAPI's order.
    std::vector<std::string> EnumerateHidInterfaces() override;
    // Opens the path for reading and writing (shared, overlapped); nullptr when
    // that fails (Windows keeps keyboards and mice to itself, for one).
    std::unique_ptr<HidDevice> Open(const std::string& path) override;
    // The same, with the system's reason and what to do when it fails.
    HidOpenResult TryOpen(const std::string& path) override;
    // HidD_GetAttributes on a handle opened without access rights: every HID
    // device answers it, keyboards and mice included, and none is opened for
    // reading or writing.
    std::optional<HidAttributes> ReadIdentity(const std::string& path) override;
};

}  // namespace qv
