#include "device/HidTransport.h"

#include <algorithm>
#include <vector>

namespace qv {
namespace {

DeviceIds Widen(const HidAttributes& attributes) {
    return DeviceIds{static_cast<std::int16_t>(attributes.vendorId),
                     static_cast<std::int16_t>(attributes.productId)};
}

bool Usable(const std::optional<HidCaps>& caps) {
    return caps && caps->outputReportByteLength >= HidTransport::kMinOutputReportLength &&
           caps->inputReportByteLength >= HidTransport::kMinInputReportLength &&
           caps->outputReportByteLength <= HidTransport::kMaxReportLength &&
           caps->inputReportByteLength <= HidTransport::kMaxReportLength;
}

}  // namespace

HidTransport::HidTransport(HidPort& port) : port_(port) {}

HidTransport::~HidTransport() {
    Close();
}

ConnectResult HidTransport::Connect(std::int32_t vendorId, std::int32_t productId) {
    Close();
    const DeviceIds wanted{vendorId, productId};
    ConnectResult firstFailure;
    for (const std::string& path : port_.EnumerateHidInterfaces()) {
        const std::optional<DeviceIds> ids = ReadIds(path);
        if (!ids || *ids != wanted) {
            continue;  // not the receiver: never opened
        }
        HidOpenResult opened = port_.TryOpen(path);
        if (!opened.device) {
            if (firstFailure.outcome == ConnectResult::Outcome::NotFound) {
                firstFailure = {ConnectResult::Outcome::CannotOpen, path, opened.error};
            }
            continue;
        }
        // A matching device whose lengths can't be learnt, or whose reports
        // can't carry the command and reply frames, is not taken for the
        // receiver: the path stays empty so that a later arrival of a usable
        // receiver still connects.
        const std::optional<HidCaps> caps = opened.device->GetCaps();
        if (!Usable(caps)) {
            if (firstFailure.outcome == ConnectResult::Outcome::NotFound) {
                firstFailure = {ConnectResult::Outcome::Unusable, path, {}};
            }
            continue;  // closes the candidate
        }
        device_ = std::move(opened.device);
        inputReportLength_ = caps->inputReportByteLength;
        outputReportLength_ = caps->outputReportByteLength;
        connectDevicePath_ = path;
        return {ConnectResult::Outcome::Connected, path, {}};
    }
    return firstFailure;
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

void HidTransport::Close() {
    connectDevicePath_.clear();
    device_.reset();
    inputReportLength_ = 0;
    outputReportLength_ = 0;
}

std::optional<DeviceIds> HidTransport::ReadIds(const std::string& path) {
    const std::optional<HidAttributes> attributes = port_.ReadIdentity(path);
    if (!attributes) {
        return std::nullopt;
    }
    return Widen(*attributes);
}

}  // namespace qv
