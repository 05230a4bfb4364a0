#include "device/clsHidDirect.h"

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

clsHidDirect::clsHidDirect(HidPort& port) : m_port(port) {}

clsHidDirect::~clsHidDirect() {
    Destroy();
}

void clsHidDirect::CloseDevice() {
    m_device.reset();
    m_handleState = HandleState::Closed;
}

bool clsHidDirect::Connect(std::int32_t nVendorID, std::int32_t nDeviceID) {
    m_connectDevicePath.clear();
    Destroy();

    for (const std::string& path : m_port.EnumerateHidInterfaces()) {
        std::unique_ptr<HidDevice> device = m_port.Open(path);
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
            caps->InputReportByteLength < kMinInputReportLength) {
            continue;
        }
        m_device = std::move(device);
        m_handleState = HandleState::Open;
        m_inputReportLength = caps->InputReportByteLength;
        m_outputReportLength = caps->OutputReportByteLength;
        m_connectDevicePath = path;
        return true;
    }
    // Candidates were opened and closed again (or none was found): Closed.
    m_handleState = HandleState::Closed;
    return false;
}

bool clsHidDirect::Send(std::span<const std::uint8_t> ByteData) {
    if (!m_device || ByteData.size() > static_cast<std::size_t>(std::max(SendSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(m_outputReportLength), 0);
    std::copy(ByteData.begin(), ByteData.end(), report.begin() + 1);
    return m_device->WriteReport(report, kTransferTimeout) == TransferStatus::Done;
}

bool clsHidDirect::Recv(std::span<std::uint8_t> ByteData) {
    if (!m_device || ByteData.size() > static_cast<std::size_t>(std::max(RecvSize(), 0))) {
        return false;
    }
    std::vector<std::uint8_t> report(static_cast<std::size_t>(m_inputReportLength), 0);
    const TransferStatus status = m_device->ReadReport(report, kTransferTimeout);
    std::copy_n(report.begin() + 1, ByteData.size(), ByteData.begin());
    return status == TransferStatus::Done;
}

void clsHidDirect::Destroy() {
    m_connectDevicePath.clear();
    CloseDevice();
    m_inputReportLength = 0;
    m_outputReportLength = 0;
}

bool clsHidDirect::DeviceCheck(const std::string& strDevicePath, std::int32_t& nVendorID,
                               std::int32_t& nDeviceID) {
    std::unique_ptr<HidDevice> device = m_port.Open(strDevicePath);
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
