#include "device/win32/Win32HidPort.h"

#include <setupapi.h>

// MinGW's HID headers lack the C linkage that the HID library's functions have.
// hidsdi.h brings hidpi.h after the types it needs.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstring>

#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {
namespace {

using win32::DebugLogLastError;
using win32::UniqueHandle;

// How long a cancelled transfer is waited for once its deadline has passed. The
// HID class driver completes a cancelled read at once; this bound only keeps a
// misbehaving driver from holding the receiver thread for good.
constexpr DWORD kCancelWaitMs = 1000;

// HidD_GetAttributes on an open handle; nullopt when the device does not
// answer it (not HID).
std::optional<HidAttributes> AttributesOf(HANDLE file, const std::string& path) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!::HidD_GetAttributes(file, &attributes)) {
        DebugLogLastError("HidD_GetAttributes(" + path + ")");
        return std::nullopt;
    }
    return HidAttributes{attributes.VendorID, attributes.ProductID};
}

DWORD TimeoutMs(std::chrono::milliseconds timeout) {
    const auto ms = timeout.count();
    if (ms <= 0) {
        return 0;
    }
    // INFINITE is 0xFFFFFFFF: stay below it.
    return static_cast<DWORD>(std::min<long long>(ms, 0x7FFFFFFF));
}

class PreparsedData {
public:
    explicit PreparsedData(HANDLE file) {
        if (!::HidD_GetPreparsedData(file, &data_)) {
            DebugLogLastError("HidD_GetPreparsedData");
            data_ = nullptr;
        }
    }
    ~PreparsedData() {
        if (data_ != nullptr) {
            ::HidD_FreePreparsedData(data_);
        }
    }
    PreparsedData(const PreparsedData&) = delete;
    PreparsedData& operator=(const PreparsedData&) = delete;
    PHIDP_PREPARSED_DATA Get() const { return data_; }

private:
    PHIDP_PREPARSED_DATA data_ = nullptr;
};

class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (Valid()) {
            ::SetupDiDestroyDeviceInfoList(set_);
        }
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return set_; }

private:
    HDEVINFO set_;
};

}  // namespace

TransferStatus TransferStatusFromError(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_NOT_CONNECTED:  // the usual one for an unplugged HID device
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND:  // some USB stacks, right after the unplug
        case ERROR_GEN_FAILURE:  // "a device attached to the system is not functioning"
        case ERROR_FILE_NOT_FOUND:
            return TransferStatus::Gone;
        default:
            return TransferStatus::Failed;
    }
}

// One direction's transfer state: the completion record, its event and the buffer
// the kernel reads from or writes into. Heap-held so that it can outlive the device
// when a driver never finishes a cancelled transfer.
struct Win32HidDevice::Transfer {
    OVERLAPPED overlapped{};
    UniqueHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<std::uint8_t> buffer;
    bool pending = false;  // cancelled, and not yet seen completing

    // Whether the kernel is done with the buffer; waits up to `ms` for it.
    bool Settle(HANDLE file, DWORD ms) {
        if (!pending) {
            return true;
        }
        if (::WaitForSingleObject(event.Get(), ms) != WAIT_OBJECT_0) {
            return false;
        }
        DWORD ignored = 0;
        ::GetOverlappedResult(file, &overlapped, &ignored, FALSE);
        pending = false;
        return true;
    }
};

Win32HidDevice::Win32HidDevice(UniqueHandle file, std::string path)
    : file_(std::move(file)),
      path_(std::move(path)),
      read_(std::make_unique<Transfer>()),
      write_(std::make_unique<Transfer>()) {}

Win32HidDevice::~Win32HidDevice() {
    for (std::unique_ptr<Transfer>* transfer : {&read_, &write_}) {
        if ((*transfer)->pending) {
            ::CancelIoEx(file_.Get(), &(*transfer)->overlapped);
            if (!(*transfer)->Settle(file_.Get(), kCancelWaitMs)) {
                // The kernel may still complete into this record and buffer: they
                // are left to it for the rest of the process's life.
                DebugLog("HID transfer on " + path_ + " never completed; its buffer is kept");
                (void)transfer->release();
            }
        }
    }
}

std::optional<HidAttributes> Win32HidDevice::GetAttributes() {
    return AttributesOf(file_.Get(), path_);
}

bool Win32HidDevice::ReportLengths() {
    if (caps_) {
        return true;
    }
    PreparsedData data(file_.Get());
    if (data.Get() == nullptr) {
        return false;
    }
    HIDP_CAPS caps{};
    if (::HidP_GetCaps(data.Get(), &caps) != HIDP_STATUS_SUCCESS) {
        DebugLog("HidP_GetCaps(" + path_ + ") failed");
        return false;
    }
    caps_ = HidCaps{caps.InputReportByteLength, caps.OutputReportByteLength};
    return true;
}

std::optional<HidCaps> Win32HidDevice::GetCaps() {
    if (!ReportLengths()) {
        return std::nullopt;
    }
    return caps_;
}

TransferStatus Win32HidDevice::Run(Transfer& transfer, bool write,
                                   std::chrono::milliseconds timeout, DWORD& transferred) {
    transferred = 0;
    const char* call = write ? "WriteFile" : "ReadFile";
    if (!transfer.event.Valid()) {
        DebugLog("CreateEventW failed; no transfers on " + path_);
        return TransferStatus::Failed;
    }

    transfer.overlapped = OVERLAPPED{};
    transfer.overlapped.hEvent = transfer.event.Get();
    ::ResetEvent(transfer.event.Get());
    const auto size = static_cast<DWORD>(transfer.buffer.size());
    const BOOL started =
        write
            ? ::WriteFile(file_.Get(), transfer.buffer.data(), size, nullptr, &transfer.overlapped)
            : ::ReadFile(file_.Get(), transfer.buffer.data(), size, nullptr, &transfer.overlapped);
    if (!started) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            DebugLogLastError(std::string(call) + "(" + path_ + ")", error);
            return TransferStatusFromError(error);
        }
    }

    if (::WaitForSingleObject(transfer.event.Get(), TimeoutMs(timeout)) != WAIT_OBJECT_0) {
        // Deadline passed: cancel, and wait until the kernel has let go of the buffer.
        if (!::CancelIoEx(file_.Get(), &transfer.overlapped) &&
            ::GetLastError() != ERROR_NOT_FOUND) {
            DebugLogLastError("CancelIoEx(" + path_ + ")");
        }
        if (::WaitForSingleObject(transfer.event.Get(), kCancelWaitMs) != WAIT_OBJECT_0) {
            transfer.pending = true;
            DebugLog(std::string(call) + "(" + path_ + "): cancelled transfer still pending");
            return TransferStatus::TimedOut;
        }
        // Either cancelled, or it completed in the meantime (then it counts).
        if (::GetOverlappedResult(file_.Get(), &transfer.overlapped, &transferred, FALSE)) {
            return TransferStatus::Done;
        }
        const DWORD error = ::GetLastError();
        return error == ERROR_OPERATION_ABORTED ? TransferStatus::TimedOut
                                                : TransferStatusFromError(error);
    }
    if (!::GetOverlappedResult(file_.Get(), &transfer.overlapped, &transferred, FALSE)) {
        const DWORD error = ::GetLastError();
        DebugLogLastError(std::string(call) + "(" + path_ + ")", error);
        return TransferStatusFromError(error);
    }
    return TransferStatus::Done;
}

TransferStatus Win32HidDevice::WriteReport(std::span<const std::uint8_t> report,
                                           std::chrono::milliseconds timeout) {
    // A cancelled transfer that the driver still holds keeps its buffer.
    if (!write_->Settle(file_.Get(), 0)) {
        return TransferStatus::TimedOut;
    }
    std::size_t length = report.size();
    if (ReportLengths()) {
        length =
            std::max(length, static_cast<std::size_t>(std::max(caps_->outputReportByteLength, 0)));
    }
    write_->buffer.assign(length, 0);
    std::copy(report.begin(), report.end(), write_->buffer.begin());
    DWORD written = 0;
    return Run(*write_, true, timeout, written);
}

TransferStatus Win32HidDevice::ReadReport(std::span<std::uint8_t> report,
                                          std::chrono::milliseconds timeout) {
    if (!read_->Settle(file_.Get(), 0)) {
        return TransferStatus::TimedOut;
    }
    // Windows refuses reads into a buffer shorter than the device's input report.
    std::size_t length = report.size();
    if (ReportLengths()) {
        length =
            std::max(length, static_cast<std::size_t>(std::max(caps_->inputReportByteLength, 0)));
    }
    read_->buffer.assign(length, 0);
    DWORD got = 0;
    const TransferStatus status = Run(*read_, false, timeout, got);
    if (status == TransferStatus::Done) {
        const std::size_t n = std::min<std::size_t>({got, report.size(), read_->buffer.size()});
        std::copy_n(read_->buffer.begin(), n, report.begin());
    }
    return status;
}

std::vector<std::string> Win32HidPort::EnumerateHidInterfaces() {
    std::vector<std::string> paths;
    GUID hidGuid{};
    ::HidD_GetHidGuid(&hidGuid);
    DeviceInfoSet set(
        ::SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.Valid()) {
        DebugLogLastError("SetupDiGetClassDevsW");
        return paths;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!::SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hidGuid, index, &data)) {
            if (::GetLastError() != ERROR_NO_MORE_ITEMS) {
                DebugLogLastError("SetupDiEnumDeviceInterfaces");
            }
            break;
        }
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            DebugLogLastError("SetupDiGetDeviceInterfaceDetailW(size)");
            continue;
        }
        // The record is variable-length; DWORD-aligned storage for it.
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, detail, required, nullptr,
                                                nullptr)) {
            DebugLogLastError("SetupDiGetDeviceInterfaceDetailW");
            continue;
        }
        paths.push_back(win32::WideToUtf8(detail->DevicePath));
    }
    return paths;
}

HidOpenFailure OpenFailureFromError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return HidOpenFailure::AccessDenied;
        case ERROR_SHARING_VIOLATION:
            return HidOpenFailure::InUse;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_REMOVED:
            return HidOpenFailure::Gone;
        default:
            return HidOpenFailure::Other;
    }
}

std::unique_ptr<HidDevice> Win32HidPort::Open(const std::string& path) {
    return TryOpen(path).device;
}

HidOpenResult Win32HidPort::TryOpen(const std::string& path) {
    const std::wstring wide = win32::Utf8ToWide(path);
    UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
    HidOpenResult result;
    if (file.Valid()) {
        result.device = std::make_unique<Win32HidDevice>(std::move(file), path);
        return result;
    }
    const DWORD error = ::GetLastError();
    DebugLogLastError("CreateFileW(" + path + ")", error);
    result.error.kind = OpenFailureFromError(error);
    result.error.reason = win32::ErrorText("CreateFileW", error);
    if (result.error.kind == HidOpenFailure::AccessDenied ||
        result.error.kind == HidOpenFailure::InUse) {
        result.error.advice = "受信機を使っているほかのプログラムを終わらせてください。";
    }
    return result;
}

std::optional<HidAttributes> Win32HidPort::ReadIdentity(const std::string& path) {
    const std::wstring wide = win32::Utf8ToWide(path);
    UniqueHandle file(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) {
        DebugLogLastError("CreateFileW(" + path + ", no access)");
        return std::nullopt;
    }
    return AttributesOf(file.Get(), path);
}

}  // namespace qv
