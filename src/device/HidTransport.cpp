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

clsHidDirect::clsHidDirect(HidPort& port) : mPort(port) {}

clsHidDirect::~clsHidDirect() {
    Destroy();
}

void clsHidDirect::CloseDevice() {
    mDevice.reset();
    mHandleState = HandleState::Closed;
}

bool clsHidDirect::Connect(std::int32_t nVendorID, std::int32_t nDeviceID) {
    mConnectDevicePath.clear();
    Destroy();

    for (const std::string& path : mPort.EnumerateHidInterfaces()) {
        std::unique_ptr<HidDevice> device = mPort.Open(path);
        if (!device) {
            continue;
        }
        const std::optional<HidAttributes> attributes = device->GetAttributes();
        if (!attributes || Widen(attributes->VendorID) != nVendorID ||
            Widen(attributes->ProductID) != nDeviceID) {
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

bool clsHidDirect::Send(std::span<const std::uint8_t> ByteData) {
    if (!mDevice || ByteData.size() > static_cast<std::size_t>(std::max(SendSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(mOutputReportLength), 0);
    std::copy(ByteData.begin(), ByteData.end(), report.begin() + 1);
    return mDevice->WriteReport(report, kTransferTimeout) == TransferStatus::Done;
}

bool clsHidDirect::Recv(std::span<std::uint8_t> ByteData) {
    if (!mDevice || ByteData.size() > static_cast<std::size_t>(std::max(RecvSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(mInputReportLength), 0);
    const TransferStatus status = mDevice->ReadReport(report, kTransferTimeout);
    std::copy_n(report.begin() + 1, ByteData.size(), ByteData.begin());
    return status == TransferStatus::Done;
}

void clsHidDirect::Destroy() {
    mConnectDevicePath.clear();
    CloseDevice();
    mInputReportLength = 0;
    mOutputReportLength = 0;
}

bool clsHidDirect::DeviceCheck(const std::string& strDevicePath, std::int32_t& nVendorID,
                               std::int32_t& nDeviceID) {
    std::unique_ptr<HidDevice> device = mPort.Open(strDevicePath);
    if (!device) {
        return false;
    }
    const std::optional<HidAttributes> attributes = device->GetAttributes();
    if (!attributes) {
        nVendorID = 0;
        nDeviceID = 0;
        return false;
    }
    nVendorID = Widen(attributes->VendorID);
    nDeviceID = Widen(attributes->ProductID);
    return true;
}

}  // namespace qv
