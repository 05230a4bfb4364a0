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

HidTransport::HidTransport(HidPort& port) : port_(port) {}

HidTransport::~HidTransport() {
    Destroy();
}

void HidTransport::CloseDevice() {
    device_.reset();
    handleState_ = HandleState::Closed;
}

bool HidTransport::Connect(std::int32_t vendorId, std::int32_t productId) {
    connectDevicePath_.clear();
    Destroy();

    for (const std::string& path : port_.EnumerateHidInterfaces()) {
        std::unique_ptr<HidDevice> device = port_.Open(path);
        if (!device) {
            continue;
        }
        const std::optional<HidAttributes> attributes = device->GetAttributes();
        if (!attributes || Widen(attributes->vendorId) != vendorId ||
            Widen(attributes->productId) != productId) {
            continue;  // closes the candidate
        }
        // A matching device whose lengths can't be learnt, or whose reports
        // can't carry the command and reply frames, is not taken for the
        // receiver: the path stays empty so that a later arrival of a usable
        // receiver still connects.
        const std::optional<HidCaps> caps = device->GetCaps();
        if (!caps || caps->outputReportByteLength < kMinOutputReportLength ||
            caps->inputReportByteLength < kMinInputReportLength ||
            caps->outputReportByteLength > kMaxReportLength ||
            caps->inputReportByteLength > kMaxReportLength) {
            continue;
        }
        device_ = std::move(device);
        handleState_ = HandleState::Open;
        inputReportLength_ = caps->inputReportByteLength;
        outputReportLength_ = caps->outputReportByteLength;
        connectDevicePath_ = path;
        return true;
    }
    // Candidates were opened and closed again (or none was found): Closed.
    handleState_ = HandleState::Closed;
    return false;
}

bool HidTransport::Send(std::span<const std::uint8_t> payload) {
    if (!device_ || payload.size() > static_cast<std::size_t>(std::max(SendSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(outputReportLength_), 0);
    std::copy(payload.begin(), payload.end(), report.begin() + 1);
    return device_->WriteReport(report, kTransferTimeout) == TransferStatus::Done;
}

bool HidTransport::Recv(std::span<std::uint8_t> payload) {
    if (!device_ || payload.size() > static_cast<std::size_t>(std::max(RecvSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(inputReportLength_), 0);
    const TransferStatus status = device_->ReadReport(report, kTransferTimeout);
    std::copy_n(report.begin() + 1, payload.size(), payload.begin());
    return status == TransferStatus::Done;
}

void HidTransport::Destroy() {
    connectDevicePath_.clear();
    CloseDevice();
    inputReportLength_ = 0;
    outputReportLength_ = 0;
}

bool HidTransport::DeviceCheck(const std::string& devicePath, std::int32_t& vendorId,
                               std::int32_t& productId) {
    std::unique_ptr<HidDevice> device = port_.Open(devicePath);
    if (!device) {
        return false;
    }
    const std::optional<HidAttributes> attributes = device->GetAttributes();
    if (!attributes) {
        vendorId = 0;
        productId = 0;
        return false;
    }
    vendorId = Widen(attributes->vendorId);
    productId = Widen(attributes->productId);
    return true;
}

}  // namespace qv
