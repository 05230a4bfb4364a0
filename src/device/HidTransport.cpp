#include "device/HidTransport.h"

#include <algorithm>
#include <vector>

namespace qv {
namespace {

// Identifiers travel as 16-bit fields; callers hold them as signed 32-bit
// values, so 0x8000..0xFFFF compare equal to -32768..-1.
std::int32_t Widen(std::uint16_t id) {
    return static_cast<std::int16_t>(id);
}

}  // namespace

HidTransport::HidTransport(HidPort& port) : mPort(port) {}

HidTransport::~HidTransport() {
    Destroy();
}

void HidTransport::CloseDevice() {
    mDevice.reset();
    mHandleState = HandleState::Closed;
}

bool HidTransport::Connect(std::int32_t vendorId, std::int32_t productId) {
    mConnectDevicePath.clear();
    Destroy();

    for (const std::string& path : mPort.EnumerateHidInterfaces()) {
        std::unique_ptr<HidDevice> device = mPort.Open(path);
        if (!device) {
            continue;
        }
        const std::optional<HidAttributes> attributes = device->GetAttributes();
        if (!attributes || Widen(attributes->VendorID) != vendorId ||
            Widen(attributes->ProductID) != productId) {
            continue;  // closes the candidate
        }
        // A matching device whose lengths can't be learnt, or whose reports
        // can't carry the command and reply frames, is not taken for the
        // receiver: the path stays empty so that a later arrival of a usable
        // receiver still connects.
        const std::optional<HidCaps> caps = device->GetCaps();
        if (!caps || caps->OutputReportByteLength < kMinOutputReportLength ||
            caps->InputReportByteLength < kMinInputReportLength ||
            caps->OutputReportByteLength > kMaxReportLength ||
            caps->InputReportByteLength > kMaxReportLength) {
            continue;
        }
        mDevice = std::move(device);
        mHandleState = HandleState::Open;
        mInputReportLength = caps->InputReportByteLength;
        mOutputReportLength = caps->OutputReportByteLength;
        mConnectDevicePath = path;
        return true;
    }
    // Candidates were opened and closed again (or none was found): Closed.
    mHandleState = HandleState::Closed;
    return false;
}

bool HidTransport::Send(std::span<const std::uint8_t> payload) {
    if (!mDevice || payload.size() > static_cast<std::size_t>(std::max(SendSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(mOutputReportLength), 0);
    std::copy(payload.begin(), payload.end(), report.begin() + 1);
    return mDevice->WriteReport(report, kTransferTimeout) == TransferStatus::Done;
}

bool HidTransport::Recv(std::span<std::uint8_t> payload) {
    if (!mDevice || payload.size() > static_cast<std::size_t>(std::max(RecvSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(mInputReportLength), 0);
    const TransferStatus status = mDevice->ReadReport(report, kTransferTimeout);
    std::copy_n(report.begin() + 1, payload.size(), payload.begin());
    return status == TransferStatus::Done;
}

void HidTransport::Destroy() {
    mConnectDevicePath.clear();
    CloseDevice();
    mInputReportLength = 0;
    mOutputReportLength = 0;
}

bool HidTransport::DeviceCheck(const std::string& devicePath, std::int32_t& vendorId,
                               std::int32_t& productId) {
    std::unique_ptr<HidDevice> device = mPort.Open(devicePath);
    if (!device) {
        return false;
    }
    const std::optional<HidAttributes> attributes = device->GetAttributes();
    if (!attributes) {
        vendorId = 0;
        productId = 0;
        return false;
    }
    vendorId = Widen(attributes->VendorID);
    productId = Widen(attributes->ProductID);
    return true;
}

}  // namespace qv
